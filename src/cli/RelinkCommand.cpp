#include "cli/RelinkCommand.hpp"

#include "playlists/ListFile.hpp"
#include "service/Relink.hpp"
#include "service/WorkingSet.hpp"

namespace kalvotune::cli {

namespace fs = std::filesystem;

int RunRelinkCommand(const fs::path& programDir, const RelinkRequest& request, std::ostream& out)
{
    const service::MusicIndexResult indexed = service::BuildMusicIndex(request.folder);
    if (!indexed.error.empty()) {
        out << indexed.error << "\n";
        return 1;
    }
    if (const std::string unread = service::UnreadableFoldersMessage(indexed); !unread.empty())
        out << unread << "\n";
    service::WorkingSet lists{programDir / playlists::kListsFolder, programDir / playlists::kDataFolder};
    if (const std::optional<std::string> error = service::LoadRelinkSet(lists, programDir / playlists::kListsFolder)) {
        out << *error << "\nНичего не изменено.\n";
        return 1;
    }
    service::RelinkPlan plan = service::PlanRelink(lists, indexed.index);
    for (const service::TrackChange& change : plan.changes)
        out << change.oldPath << " → " << *change.newPath << "\n";
    if (const std::string left = service::RelinkLeftMessage(plan); !left.empty())
        out << left << "\n";
    out << service::RelinkSummary(plan) << " Аудиофайлов в папке: " << indexed.index.Size() << ".\n";
    if (request.dryRun) {
        out << "Пробный прогон: списки не изменены.\n";
        return 0;
    }
    if (plan.changes.empty())
        return 0;
    lists.Apply(service::ChangeChain{std::move(plan.changes)});
    const std::vector<std::string> errors = lists.Write();
    for (const std::string& error : errors)
        out << error << "\n";
    return errors.empty() ? 0 : 1;
}

} // namespace kalvotune::cli
