// The show's tune: the score's table of sections played against the timeline.
#pragma once
#include <string>
#include <vector>

#include "generators/xm_module.h"

struct Tune {
  XmModule module;
  std::vector<std::string> clashes;  // wrong notes the composer's own ear found; none to write it
};

Tune ComposeTune();
