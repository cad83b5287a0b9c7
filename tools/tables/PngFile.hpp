#pragma once

#include "core/FileIO.hpp"
#include "core/Surface.hpp"

#include <filesystem>

namespace kalvotune::tables {

/// Encodes the surface as an 8-bit RGB PNG (the surface holds blue, green, red).
Bytes EncodeSurfacePng(const Surface& surface);

/// Writes the surface as a PNG file, replacing any earlier file.
WriteResult SaveSurfacePng(const std::filesystem::path& file, const Surface& surface);

} // namespace kalvotune::tables
