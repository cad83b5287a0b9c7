#pragma once

#include "core/FileIO.hpp"
#include "core/Surface.hpp"

#include <filesystem>

namespace kalvotune {

/// Loads a 675 x 524, 24-bit uncompressed BMP into `surface`. A missing file or one of
/// another size or format (or over 4 MB) leaves the surface untouched and returns false.
bool LoadSurfaceBmp(const std::filesystem::path& file, Surface& surface);

/// Encodes the surface as a 24-bit BMP file.
Bytes EncodeSurfaceBmp(const Surface& surface);

/// Saves the surface as a 24-bit BMP, replacing any earlier file atomically.
WriteResult SaveSurfaceBmp(const std::filesystem::path& file, const Surface& surface);

} // namespace kalvotune
