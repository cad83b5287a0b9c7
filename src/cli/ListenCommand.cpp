#include "cli/ListenCommand.hpp"

namespace kalvotune::cli {

int RunListenCommand(const ListenRequest& request, std::ostream& out, std::ostream& err, const LiveRecorder& record)
{
    template_commands::LiveTemplateRequest live;
    live.source = request.source;
    live.seconds = request.seconds;
    live.folder = request.folder;
    const template_commands::LiveTemplateResult result = record(live);
    if (!result.ok) {
        err << "kalvotune: " << result.message << '\n';
        return 1;
    }
    out << template_commands::LiveTemplateSummary(live, result);
    return 0;
}

} // namespace kalvotune::cli
