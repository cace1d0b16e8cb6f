// Where the show's pictures are read from.
#pragma once

// The picture catalogue names files under data/ relative to the current
// folder. When the current folder has no data/ but the program's own folder
// does (a bundle started from elsewhere), the program's folder becomes the
// current one. Returns 1 when it changed the current folder, else 0; when
// neither folder has data/, nothing changes and the first picture's load
// reports the missing file as usual.
int UseDataBesideProgram();
