#include "analysis/MusicAnalysis.hpp"

#include "analysis/AudioDecoder.hpp"
#include "analysis/BeatTracker.hpp"
#include "analysis/FeatureExtractor.hpp"
#include "analysis/Metre.hpp"

namespace kalvotune::analysis {

namespace {

AnalysisResult Failed(const std::filesystem::path& path, const std::string& reason)
{
    AnalysisResult result;
    result.message = "Не удалось разобрать музыку в файле " + path.filename().string() + ": " + reason;
    return result;
}

} // namespace

BeatGrid FindBeats(const TrackFeatures& features)
{
    BeatGrid grid{TrackBeats(features.onsetStrength, static_cast<double>(kAnalysisRate) / kHop)};
    SettleOnBassNotes(features, grid);
    return grid;
}

bool MeasureTrack(const std::filesystem::path& path, MeasuredTrack& track, std::string& message, std::stop_token stop,
    const AnalysisProgress& progress)
{
    AudioDecoder decoder;
    if (!decoder.Open(path, kAnalysisRate)) {
        message = decoder.Error();
        return false;
    }
    const double expected{decoder.DurationSeconds()};

    FeatureExtractor extractor;
    std::vector<float> block;
    long long decoded{};
    long long reported{};
    while (decoder.Read(block)) {
        if (stop.stop_requested()) {
            message.clear();
            return false;
        }
        extractor.Add(block);
        decoded += static_cast<long long>(block.size());
        // Progress every second of sound is plenty and keeps queued calls few.
        if (progress && expected > 0 && decoded - reported >= kAnalysisRate) {
            reported = decoded;
            progress(std::min(1.0, static_cast<double>(decoded) / kAnalysisRate / expected));
        }
    }
    if (!decoder.Error().empty()) {
        message = decoder.Error();
        return false;
    }
    if (decoded == 0) {
        message = "в нём нет ни одного звука";
        return false;
    }
    track.features = extractor.Finish();
    track.grid = FindBeats(track.features);
    track.seconds = static_cast<double>(decoded) / kAnalysisRate;
    return true;
}

AnalysisResult AnalyseTrack(
    const std::filesystem::path& path, int pictureChangeTicks, std::stop_token stop, const AnalysisProgress& progress)
{
    MeasuredTrack track;
    std::string reason;
    if (!MeasureTrack(path, track, reason, stop, progress)) {
        if (reason.empty()) {
            AnalysisResult result;
            result.cancelled = true;
            result.message = "Разбор музыки прерван";
            return result;
        }
        return Failed(path, reason);
    }
    AnalysisResult result;
    result.ok = true;
    result.seconds = track.seconds;
    result.plan = MapToChannels(track.features, track.grid, pictureChangeTicks);
    if (progress)
        progress(1.0);
    return result;
}

} // namespace kalvotune::analysis
