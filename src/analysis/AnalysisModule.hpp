#pragma once

#include "analysis/MusicAnalysis.hpp"
#include "core/LoadableModule.hpp"

#include <filesystem>
#include <string>

namespace kalvotune::analysis {

/// The file name of the analysis module, kept beside the program like the audio module.
inline constexpr const char* kAnalysisModuleFile{"kalvotune-analysis.so"};
/// The module's one function: `AnalyseTrack`, its result written to `result`.
using AnalyseTrackFunction = void (*)(const std::filesystem::path& path, int pictureChangeTicks, std::stop_token stop,
    const AnalysisProgress& progress, AnalysisResult& result);
inline constexpr const char* kAnalyseTrackSymbol{"KalvotuneAnalyseTrack"};

/// `AnalyseTrack` behind its module. FFmpeg, aubio and libebur128 pull in a hundred
/// libraries that would take longer to load than the window takes to show, and most
/// starts never analyse anything: the module loads on the first analysis, on whatever
/// thread asks. When it cannot be loaded, every analysis fails with the reason.
class AnalysisModule {
public:
    explicit AnalysisModule(std::filesystem::path file);

    AnalysisResult Analyse(const std::filesystem::path& path, int pictureChangeTicks, std::stop_token stop,
        const AnalysisProgress& progress);
    /// `Analyse` as a function object; the module must outlive it.
    Analyser AsAnalyser();

private:
    ModuleFunction<AnalyseTrackFunction> m_analyse;
};

} // namespace kalvotune::analysis
