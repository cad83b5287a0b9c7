#pragma once

#include "core/FileIO.hpp"
#include "core/Surface.hpp"

#include <filesystem>

namespace kalvotune::tables {

/// Encodes the surface as an 8-bit RGB PNG (the surface holds blue, green, red).
Bytes EncodeSurfacePng(const Surface& surface);

/// Encodes `rgb` (rows of `width` red, green, blue pixels, top down) as an 8-bit RGB PNG.
Bytes EncodeRgbPng(int width, int height, const Bytes& rgb);

/// Writes the surface as a PNG file, replacing any earlier file.
WriteResult SaveSurfacePng(const std::filesystem::path& file, const Surface& surface);

} // namespace kalvotune::tables
