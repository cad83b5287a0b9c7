#include "analysis/AnalysisWorker.hpp"

#include <utility>

namespace kalvotune::analysis {

AnalysisWorker::AnalysisWorker(Analyser analyse)
    : m_analyse{std::move(analyse)}
{
}

AnalysisWorker::~AnalysisWorker()
{
    RequestStop();
}

void AnalysisWorker::Start(std::filesystem::path path, int pictureChangeTicks, AnalysisProgress progress, Done done)
{
    // Assigning a new jthread requests a stop of the old one and joins it.
    m_thread = std::jthread{
        [analyse = m_analyse, path = std::move(path), pictureChangeTicks, progress = std::move(progress),
            done = std::move(done)](std::stop_token stop) { done(analyse(path, pictureChangeTicks, stop, progress)); }};
}

void AnalysisWorker::RequestStop()
{
    m_thread.request_stop();
}

} // namespace kalvotune::analysis
