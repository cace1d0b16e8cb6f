// The show's soundtrack: the embedded module, started once by StartShow.
#pragma once
#include <cstddef>

// The composed XM module, generated at build time by generators/xm_composer.
extern const unsigned char g_moduleData[];
extern const size_t g_moduleSize;

// 1 when the music plays; 0 after a failure it has reported.
int StartMusic();
