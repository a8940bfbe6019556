// PngFile: PNG pictures written and read through libpng's simplified interface.
#pragma once

#include <string>

#include "media/RgbImage.h"

/// Writes image as an 8-bit RGB PNG at path, atomically (a temporary beside it, then a rename).
/// False, with one line in error naming the path and the reason, for an empty image, an image whose
/// pixel count does not match its size, or a path that cannot be written.
bool writePng(const std::string& path, const RgbImage& image, std::string& error);

/// Reads a PNG of any colour type as 8-bit RGB (alpha composed on black). False, with the reason in
/// error, when the file is missing or is not a PNG that libpng can decode.
bool readPng(const std::string& path, RgbImage& image, std::string& error);
