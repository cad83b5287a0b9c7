#pragma once

#include "video/VideoModule.hpp"

#include <filesystem>
#include <optional>
#include <ostream>
#include <string>

namespace kalvotune::app {

/// What `kalvotune --video` was asked to do.
struct VideoCommandRequest {
    std::string track;
    std::string output;
    video::VideoFormat format;
    std::optional<std::uint32_t> seed;
    /// `--overwrite`: an existing file of that name may be replaced (never the track itself).
    bool overwrite{};
    /// The program's message when the arguments make no sense; empty when they do.
    std::string error;
};

/// Reads `--video TRACK --output FILE.mp4 [--size WxH] [--fps N] [--seed S] [--overwrite]`; false when the
/// first argument is not `--video`, so the window starts as usual.
bool ParseVideoRequest(int argc, const char* const argv[], VideoCommandRequest& request);

/// Writes the video of `request.track` for the program folder `programDir` with the saved
/// picture settings (figure type drawn from the seed, as a fresh start draws one). Prints
/// the seed (drawn when not given), then the file written to `out`; a failure prints the
/// program's message to `err` and gives 1. A name without an extension gets ".mp4"; the
/// track itself is never written over, another existing file only with `overwrite`.
/// `exportVideo` writes the video.
int RunVideoCommand(const std::filesystem::path& programDir, const VideoCommandRequest& request,
    std::uint32_t drawnSeed, std::ostream& out, std::ostream& err, const video::VideoExporter& exportVideo);

} // namespace kalvotune::app
