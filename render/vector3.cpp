#include "render/vector3.h"

#include <cmath>

static const float kRadiansPerDegree = 0.017453292f;

float SinDeg(float degrees) { return std::sin(degrees * kRadiansPerDegree); }
float CosDeg(float degrees) { return std::cos(degrees * kRadiansPerDegree); }
