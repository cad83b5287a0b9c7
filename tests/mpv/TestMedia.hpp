#pragma once

#include "support/TempDir.hpp"

#include <filesystem>
#include <memory>
#include <string>

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

    /// Null when ffmpeg is not installed or could not make a track; `Missing` says which.
    static const TestMedia* Get();
    /// Why `Get` gave null, for the tests' skip message: no ffmpeg, or the track it could
    /// not make with the encoder asked for and ffmpeg's own last words.
    static std::string Missing();
};

} // namespace kalvotune::testing
