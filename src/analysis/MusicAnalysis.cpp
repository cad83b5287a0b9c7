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

AnalysisResult AnalyseTrack(
    const std::filesystem::path& path, int pictureChangeTicks, std::stop_token stop, const AnalysisProgress& progress)
{
    AudioDecoder decoder;
    if (!decoder.Open(path, kAnalysisRate))
        return Failed(path, decoder.Error());
    const double expected{decoder.DurationSeconds()};

    FeatureExtractor extractor;
    std::vector<float> block;
    long long decoded{};
    long long reported{};
    while (decoder.Read(block)) {
        if (stop.stop_requested()) {
            AnalysisResult result;
            result.cancelled = true;
            result.message = "Разбор музыки прерван";
            return result;
        }
        extractor.Add(block);
        decoded += static_cast<long long>(block.size());
        // Progress every second of sound is plenty and keeps queued calls few.
        if (progress && expected > 0 && decoded - reported >= kAnalysisRate) {
            reported = decoded;
            progress(std::min(1.0, static_cast<double>(decoded) / kAnalysisRate / expected));
        }
    }
    if (!decoder.Error().empty())
        return Failed(path, decoder.Error());
    if (decoded == 0)
        return Failed(path, "в нём нет ни одного звука");

    const TrackFeatures features{extractor.Finish()};
    BeatGrid grid{TrackBeats(features.onsetStrength, static_cast<double>(kAnalysisRate) / kHop)};
    SettleOnBassNotes(features, grid);
    AnalysisResult result;
    result.ok = true;
    result.seconds = static_cast<double>(decoded) / kAnalysisRate;
    result.plan = MapToChannels(features, grid, pictureChangeTicks);
    if (progress)
        progress(1.0);
    return result;
}

} // namespace kalvotune::analysis
