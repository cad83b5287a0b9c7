#pragma once

#include "cli/CommandLine.hpp"
#include "core/OptionsFile.hpp"
#include "core/SavedSettings.hpp"
#include "video/VideoModule.hpp"

#include <filesystem>
#include <ostream>

namespace kalvotune::cli {

/// The picture settings a video is made with: the saved ones, as the window applies them
/// at start. The figure type is left to the seed, as a fresh start draws one.
video::VideoLook SavedLook(const SavedSettings& saved, const Options& options);

/// Writes the video of `request.track` for the program folder `programDir` with the saved
/// picture settings (figure type drawn from the seed, as a fresh start draws one). Prints
/// the seed (drawn when not given), then the file written to `out`; a failure prints the
/// program's message to `err` and gives 1. A name without an extension gets ".mp4"; the
/// track itself is never written over, another existing file only with `overwrite`.
/// `exportVideo` writes the video.
int RunVideoCommand(const std::filesystem::path& programDir, const VideoCommandRequest& request,
    std::uint32_t drawnSeed, std::ostream& out, std::ostream& err, const video::VideoExporter& exportVideo);

} // namespace kalvotune::cli
