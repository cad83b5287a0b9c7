#include "analysis/AnalysisModule.hpp"

// The entry point of kalvotune-analysis.so, looked up by `AnalysisModule`.
extern "C" void KalvotuneAnalyseTrack(const std::filesystem::path& path, int pictureChangeTicks, std::stop_token stop,
    const kalvotune::analysis::AnalysisProgress& progress, kalvotune::analysis::AnalysisResult& result)
{
    result = kalvotune::analysis::AnalyseTrack(path, pictureChangeTicks, std::move(stop), progress);
}
