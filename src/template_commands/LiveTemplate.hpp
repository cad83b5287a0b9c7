#pragma once

#include "analysis/LiveAnalysis.hpp"
#include "core/SoundCapture.hpp"

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

namespace kalvotune::template_commands {

/// What to record as a template from live sound.
struct LiveTemplateRequest {
    std::string source; ///< the sound server's name of the source; empty for the default output's monitor
    double seconds{}; ///< sound to capture, counted from the start of the capture
    std::filesystem::path folder; ///< the template folder to write
    int pictureChangeTicks{20}; ///< markers at least this many ticks apart
    double pictureDelaySeconds{}; ///< the picture's own delay, added to the capture latency
};

/// What recording gave: a summary of the template written, or the program's message.
struct LiveTemplateResult {
    bool ok{};
    std::string message;
    std::string source; ///< the source recorded, as the server names it
    int ticks{}; ///< ticks written
    int markers{}; ///< picture-change markers among them
    double beatsPerMinute{}; ///< the tempo followed at the end; 0 when none
    int beatsPerBar{}; ///< the metre followed at the end; 0 when none
    double latencySeconds{}; ///< the capture latency the server reported
    double skippedSeconds{}; ///< sound before the first sound above -50 dBFS, not in the template
};

/// Waits between two looks at the capture; tests pass one that drives a fake capture.
using CaptureWait = std::function<void(std::chrono::milliseconds)>;

/// Records `request.seconds` of sound from `capture` through the live analysis, exactly as
/// the live picture decides its ticks (the look-ahead being the reported capture latency
/// plus the picture's delay), and writes what was heard as the template folder
/// `request.folder` (`templates::WriteTemplateFolder`), tick 0 at the first sound above
/// -50 dBFS. Fails with the program's message, writing nothing, when there is no sound
/// server, no such source, no sound comes for 10 s beyond the time asked, nothing above
/// -50 dBFS sounded, or the folder cannot be written. `wait` defaults to sleeping.
LiveTemplateResult RecordLiveTemplate(
    SoundCapture& capture, const LiveTemplateRequest& request, const CaptureWait& wait = {});

/// The live analysis as the window drives it, tick by tick; made where the analysis's
/// libraries are loaded (the live module), so the window itself does not load them.
class LiveTicker {
public:
    virtual ~LiveTicker() = default;
    /// `LiveAnalysis::SetLookAhead`.
    virtual void SetLookAhead(double seconds) = 0;
    /// `LiveAnalysis::Add`: mono samples at `analysis::kAnalysisRate`.
    virtual void Add(std::span<const float> samples) = 0;
    /// `LiveAnalysis::TakeTicks`.
    virtual std::vector<analysis::LiveTick> TakeTicks() = 0;
};

/// A `LiveAnalysis` with `settings` behind `LiveTicker`.
std::unique_ptr<LiveTicker> NewLiveTicker(const analysis::LiveSettings& settings);

/// Seconds with one decimal, as the messages show them.
std::string SecondsText(double seconds);

/// The lines the command line prints after recording: the source and what was written.
std::string LiveTemplateSummary(const LiveTemplateRequest& request, const LiveTemplateResult& result);

} // namespace kalvotune::template_commands
