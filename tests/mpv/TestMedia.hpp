#pragma once

#include "support/TempDir.hpp"

#include <filesystem>
#include <memory>

namespace kalvotune::testing {

/// Sine-tone tracks made with ffmpeg in a temporary folder, once per test program.
struct TestMedia {
    TempDir dir;
    std::filesystem::path wav; ///< 3 s
    std::filesystem::path mp3; ///< 3 s
    std::filesystem::path wma; ///< 3 s
    std::filesystem::path shortWav; ///< 2 s
    std::filesystem::path corrupt; ///< random bytes named .mp3
    std::filesystem::path missing; ///< a path with no file

    /// Null when ffmpeg is not installed or failed.
    static const TestMedia* Get();
};

} // namespace kalvotune::testing
