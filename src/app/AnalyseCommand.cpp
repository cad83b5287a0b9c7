#include "app/AnalyseCommand.hpp"

#include "analysis/MusicAnalysis.hpp"
#include "app/Settings.hpp"
#include "core/Form.hpp"
#include "playlists/ListLine.hpp"
#include "template_commands/MusicTemplates.hpp"
#include "playlists/Registry.hpp"

#include <algorithm>
#include <string_view>

namespace kalvotune::app {

namespace fs = std::filesystem;

bool ParseAnalyseRequest(int argc, const char* const argv[], AnalyseRequest& request)
{
    if (argc < 2 || std::string_view{argv[1]} != "--analyse")
        return false;
    request = {};
    for (int i = 2; i < argc; ++i) {
        if (std::string_view{argv[i]} == "--replace")
            request.replace = true;
        else
            request.files.emplace_back(argv[i]);
    }
    return true;
}

int RunAnalyseCommand(const fs::path& programDir, const AnalyseRequest& request, Random& random, std::ostream& out,
    const analysis::Analyser& analyse)
{
    Form form;
    form.ProgramDir = programDir;
    const int spacing = std::clamp(ReadSettings(programDir / kSettingsFileName)[2], 4, 80);
    if (request.files.empty()) {
        out << "Укажите файлы: kalvotune --analyse ФАЙЛ... [--replace]\n";
        return 1;
    }
    int failed{};
    for (const std::string& file : request.files) {
        std::error_code ec;
        const fs::path absolute = fs::absolute(file, ec);
        const std::string track = ec ? file : absolute.lexically_normal().string();
        const playlists::ListReadResult registry = playlists::ReadRegistryWorkList(form);
        if (!registry.ok() && !registry.missing()) {
            out << track << ": " << registry.message << "\n";
            ++failed;
            continue;
        }
        const auto line = std::find_if(registry.lines.begin(), registry.lines.end(),
            [&](const std::string& l) { return playlists::LinePath(l) == track; });
        if (line != registry.lines.end() && !request.replace) {
            out << track << ": ЦМШ уже есть (" << playlists::LineTemplate(*line) << "), оставлен\n";
            continue;
        }
        const analysis::AnalysisResult result = analyse(track, spacing, {}, {});
        if (!result.ok) {
            out << track << ": " << result.message << "\n";
            ++failed;
            continue;
        }
        const template_commands::MusicTemplateInstall installed
            = template_commands::InstallMusicTemplate(form, random, track, result.plan.channels);
        if (!installed.ok) {
            out << track << ": " << installed.message << "\n";
            ++failed;
            continue;
        }
        out << track << ": " << installed.folder << "\n";
    }
    return failed == 0 ? 0 : 1;
}

} // namespace kalvotune::app
