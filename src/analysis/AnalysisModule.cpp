#include "analysis/AnalysisModule.hpp"

#include "core/LoadableModule.hpp"

namespace kalvotune::analysis {

AnalysisModule::AnalysisModule(std::filesystem::path file)
    : m_file{std::move(file)}
{
}

AnalysisResult AnalysisModule::Analyse(
    const std::filesystem::path& path, int pictureChangeTicks, std::stop_token stop, const AnalysisProgress& progress)
{
    std::call_once(m_loaded, [this] {
        const ModuleSymbol symbol = LoadModuleSymbol(m_file, kAnalyseTrackSymbol, "модуль разбора музыки");
        m_analyse = reinterpret_cast<AnalyseTrackFunction>(symbol.address);
        m_error = symbol.error;
    });
    AnalysisResult result;
    if (m_analyse == nullptr) {
        result.message = m_error;
        return result;
    }
    m_analyse(path, pictureChangeTicks, std::move(stop), progress, result);
    return result;
}

Analyser AnalysisModule::AsAnalyser()
{
    return
        [this](const std::filesystem::path& path, int pictureChangeTicks, std::stop_token stop,
            const AnalysisProgress& progress) { return Analyse(path, pictureChangeTicks, std::move(stop), progress); };
}

} // namespace kalvotune::analysis
