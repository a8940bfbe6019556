// Rgba: a colour as the material and colour calls take it (floats, red, green, blue, alpha).
#pragma once

#include <array>

using Rgba = std::array<float, 4>;
