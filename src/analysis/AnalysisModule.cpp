#include "analysis/AnalysisModule.hpp"

namespace kalvotune::analysis {

AnalysisModule::AnalysisModule(std::filesystem::path file)
    : m_analyse{std::move(file), kAnalyseTrackSymbol, "модуль разбора музыки"}
{
}

AnalysisResult AnalysisModule::Analyse(
    const std::filesystem::path& path, int pictureChangeTicks, std::stop_token stop, const AnalysisProgress& progress)
{
    AnalysisResult result;
    const AnalyseTrackFunction analyse = m_analyse.Get();
    if (analyse == nullptr) {
        result.message = m_analyse.Error();
        return result;
    }
    analyse(path, pictureChangeTicks, std::move(stop), progress, result);
    return result;
}

Analyser AnalysisModule::AsAnalyser()
{
    return
        [this](const std::filesystem::path& path, int pictureChangeTicks, std::stop_token stop,
            const AnalysisProgress& progress) { return Analyse(path, pictureChangeTicks, std::move(stop), progress); };
}

} // namespace kalvotune::analysis
