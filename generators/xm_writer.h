// Writes a module as an XM file (version 0x0104) of linear 8-bit samples.
#pragma once
#include <cstdint>
#include <vector>

#include "generators/xm_module.h"

std::vector<uint8_t> WriteXm(const XmModule& module);
