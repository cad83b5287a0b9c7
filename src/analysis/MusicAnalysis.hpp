#pragma once

#include "analysis/ChannelMapping.hpp"

#include <filesystem>
#include <functional>
#include <stop_token>
#include <string>

namespace kalvotune::analysis {

/// What analysing one track gave: the template's channels (with how they were placed),
/// or the program's message when the track could not be analysed.
struct AnalysisResult {
    bool ok{};
    bool cancelled{};
    std::string message;
    ChannelPlan plan;
    double seconds{}; ///< length of the decoded sound
};

/// Called now and then with the share of the track done, 0..1, on the analysing thread.
using AnalysisProgress = std::function<void(double)>;

/// What the analysis measures in a track before it makes the template from it.
struct MeasuredTrack {
    TrackFeatures features;
    BeatGrid grid; ///< the beats found, settled on the bass notes
    double seconds{}; ///< length of the decoded sound
};

/// The beats of a measured track, settled on its bass notes.
BeatGrid FindBeats(const TrackFeatures& features);

/// Decodes the track at `path` and measures it; false with the reason in `message` when
/// it cannot be decoded or holds no sound, and with `message` empty when stopped.
bool MeasureTrack(const std::filesystem::path& path, MeasuredTrack& track, std::string& message,
    std::stop_token stop = {}, const AnalysisProgress& progress = {});

/// Decodes the track at `path` block by block and makes its full colour-music template,
/// one byte per 100 ms in each channel, markers at least `pictureChangeTicks` ticks
/// apart. Only reads the file; safe on any thread. The same file always gives the same
/// bytes. A file that cannot be decoded, holds no audio stream or no sound at all gives
/// a message naming the file and the reason; a stop request ends the work early with
/// `cancelled` set and no channels.
AnalysisResult AnalyseTrack(const std::filesystem::path& path, int pictureChangeTicks, std::stop_token stop = {},
    const AnalysisProgress& progress = {});

/// `AnalyseTrack` as the window and the command line reach it: through the analysis
/// module (`AnalysisModule`), whose decoding libraries load only when first needed.
using Analyser = std::function<AnalysisResult(
    const std::filesystem::path& path, int pictureChangeTicks, std::stop_token stop, const AnalysisProgress& progress)>;

} // namespace kalvotune::analysis
