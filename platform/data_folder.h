// Where the show's pictures are read from.
#pragma once

// The picture catalogue names files (under data/) relative to the current
// folder. When the program's own folder holds more of those files than the
// current one (a bundle started from elsewhere, or from a folder whose data/
// is something else), the program's folder becomes the current one. Returns
// 1 when it changed the current folder, else 0; the first picture missing
// from the folder kept is reported by its load as usual. Null entries are
// skipped.
int UseDataBesideProgram(const char* const* files, int count);
