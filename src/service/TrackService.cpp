#include "service/TrackService.hpp"

#include "playlists/CurrentList.hpp"
#include "playlists/ListFile.hpp"
#include "playlists/ListLine.hpp"
#include "playlists/Lists.hpp"

#include <algorithm>

namespace kalvotune::service {

namespace fs = std::filesystem;

namespace {

// The first letter of both texts below is a Latin T, as the program has always shown it.
constexpr const char* kDeleteQuestion{
    " Tреки, которые Вы выберите в следующем диалоге, а также соответствующие ЦМШ, будут удалены мимо 'Корзины'. "
    "Продолжить?"};
constexpr const char* kDeleteCaption{"ВНИМАНИЕ! УДАЛЕНИЕ "};
constexpr const char* kDeleteFailedHead{"Трек  "};
// The track is deleted before its lines are, so a file that stays keeps its lines and template.
constexpr const char* kDeleteFailedTail{
    "  сейчас недоступен. Возможно он занят каким-нибудь приложением. Он оставлен в списках вместе со своим ЦМШ. "};
constexpr const char* kDeleteDone{"Выбранные треки и соответствующие ЦМШ удалены, а Ваши списки отредактированны. "};
constexpr const char* kDeleteListsNotWritten{
    "Выбранные треки удалены, но не все Ваши списки удалось отредактировать: в списках, которые не удалось "
    "записать (о них сказано выше), остались строки удаленных треков, а ЦМШ, названные в этих строках, не удалены. "};
constexpr const char* kNoneDeleted{"Ни один из выбранных треков не удалён: списки и ЦМШ остались как были. "};
constexpr const char* kSomeListsWritten{"Их строки убраны из Ваших списков, а их ЦМШ удалены. "};
constexpr const char* kSomeListsNotWritten{
    "Но не все Ваши списки удалось отредактировать: в списках, которые не удалось записать (о них сказано выше), "
    "остались строки удаленных треков, а ЦМШ, названные в этих строках, не удалены. "};

// The closing word of a deletion says only what was done: a file that could not be
// deleted keeps its lines and template, and a list that could not be written still holds
// its lines of the deleted tracks and keeps their templates while it names them.
std::string DeleteClosingMessage(std::size_t deleted, std::size_t kept, bool listsWritten)
{
    if (kept == 0)
        return listsWritten ? kDeleteDone : kDeleteListsNotWritten;
    if (deleted == 0)
        return kNoneDeleted;
    return "Удалено треков: " + std::to_string(deleted) + " из " + std::to_string(deleted + kept) + ". "
        + (listsWritten ? kSomeListsWritten : kSomeListsNotWritten) + "Не удалено: " + std::to_string(kept)
        + " (о них сказано выше); они остались в списках вместе со своими ЦМШ. ";
}

constexpr const char* kMoveFolderTitle{"Укажите папку,в которую Вы хотите перенести выбранные треки"};
constexpr const char* kMoveFailedHead{"Увы, трек < "};
constexpr const char* kMoveFailedTail{" > переместить не удалось. Возможно в папке уже есть такой же."};
constexpr const char* kOldStaysHead{" Tрек < "};
constexpr const char* kOldStaysTail{
    " > скопирован успешно, но из старой папки отказывается уходить. Возможно он занят. "
    "Пожалуйста, удалите его позже вручную. "};
constexpr const char* kDone{"OK"};

constexpr const char* kSelectTracksToRename{" Пожалуйста,  выделите переименуемые треки "};
constexpr const char* kRenameCaption{"Переименование треков "};
constexpr const char* kRenamePrompt{" Введите новое имя (не обязательно)."};
constexpr const char* kRenameFailedHead{" Переименовать "};
constexpr const char* kRenameFailedTail{" не удается. Возможно трек сейчас занят каким-нибудь приложением "};

constexpr const char* kCopyAllQuestion{" Копировать все треки по списку?"};
constexpr const char* kCopyCaption{"Копирование"};
constexpr const char* kCopySelectedOnly{"Копируем только выделенные треки"};
constexpr const char* kCopyFolderTitle{"Укажите папку,в которую Вы хотите копировать выбранные треки"};

constexpr const char* kMusicFolderTitle{"Укажите папку, в которой теперь лежит Ваша музыка"};
constexpr const char* kRelinkCaption{"Найти перемещённые треки"};
constexpr const char* kRelinkQuestion{"Заменить пути?"};
constexpr const char* kRelinkQuestionTail{" Заменить пути?"};
constexpr const char* kNothingMissing{"Все треки Ваших списков на месте: искать нечего."};
constexpr const char* kRelinkedHead{"Пути заменены: "};

// The renamed track's path: same folder, the entered name, the old extension (the text
// from the last '.' of the file name, dot included; a folder's dot never counts).
std::string RenamedPath(const std::string& oldPath, const std::string& name)
{
    const std::size_t slash = oldPath.rfind('/');
    const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    const std::size_t dot = oldPath.rfind('.');
    const std::string extension = dot == std::string::npos || dot < nameStart ? "" : oldPath.substr(dot);
    return oldPath.substr(0, nameStart) + name + extension;
}

} // namespace

TrackService::TrackService(
    TrackWindow window, const fs::path& programDir, Services& services, playlists::Lists& lists, TrackFiles& files)
    : m_window{std::move(window)}
    , m_programDir{programDir}
    , m_services{services}
    , m_lists{lists}
    , m_files{files}
{
}

fs::path TrackService::DataDir() const
{
    return m_programDir / playlists::kDataFolder;
}

fs::path TrackService::TempFilePath() const
{
    return m_lists.ListFilePath(playlists::kTempFileName);
}

std::vector<fs::path> TrackService::ChooseTracks()
{
    std::vector<fs::path> files = m_services.dialogs.OpenAudioFiles(true);
    if (files.empty() || playlists::DialogFilesMissing(files, m_services.dialogs))
        return {};
    return files;
}

bool TrackService::LoadWorkingSet(WorkingSet& lists, bool withCurrentList)
{
    const PruneResult pruned = PruneMyLists(m_lists.ListsDir());
    if (!pruned.error.empty()) {
        m_services.dialogs.ShowError(pruned.error);
        return false;
    }
    if (!pruned.writeError.empty())
        m_services.dialogs.ShowMessage(pruned.writeError);
    if (withCurrentList) {
        std::vector<std::string> lines;
        lines.reserve(static_cast<std::size_t>(m_window.currentList.Count()));
        for (const std::string& item : m_window.currentList.Items())
            lines.push_back(playlists::ItemToLine(item));
        lists.Hold(playlists::kTempFileName, std::move(lines));
    }
    if (const std::optional<std::string> error = lists.Load(pruned.names)) {
        m_services.dialogs.ShowError(*error);
        return false;
    }
    return true;
}

bool TrackService::LoadRelinkLists(WorkingSet& lists)
{
    std::vector<std::string> current;
    current.reserve(static_cast<std::size_t>(m_window.currentList.Count()));
    for (const std::string& item : m_window.currentList.Items())
        current.push_back(playlists::ItemToLine(item));
    lists.Hold(playlists::kTempFileName, std::move(current));
    if (const std::optional<std::string> error = LoadRelinkSet(lists, m_lists.ListsDir())) {
        m_services.dialogs.ShowError(*error);
        return false;
    }
    return true;
}

bool TrackService::WriteWorkingSet(WorkingSet& lists, const ChangeChain& changes)
{
    lists.Apply(changes);
    const std::vector<std::string> errors = lists.Write();
    for (const std::string& error : errors)
        m_services.dialogs.ShowMessage(error);
    return errors.empty();
}

void TrackService::RebuildCurrentList(const WorkingSet& lists)
{
    ListBox& box = m_window.currentList;
    box.Clear();
    if (const std::vector<std::string>* lines = lists.Lines(playlists::kTempFileName))
        for (const std::string& line : *lines)
            box.Add(playlists::MakeListItem(line));
    m_window.refreshPathView();
}

void TrackService::FollowCurrentTrack(const ChangeChain& changes)
{
    const fs::path current = m_window.currentTrack();
    if (current.empty())
        return;
    const ChangeChain::Fate fate = changes.Follow(current.string());
    if (fate.matched && !fate.removed)
        m_window.currentTrackMoved(fate.path);
}

void TrackService::DeleteSelectedTracks()
{
    Dialogs& dialogs = m_services.dialogs;
    if (!dialogs.AskYesNo(kDeleteQuestion, kDeleteCaption))
        return;
    const std::vector<fs::path> files = ChooseTracks();
    if (files.empty())
        return;
    m_window.releaseStoppedTrack();

    WorkingSet lists{m_lists.ListsDir(), DataDir()};
    if (!LoadWorkingSet(lists, true))
        return;

    // Files first: only a track whose file is really gone loses its lines and template.
    std::vector<TrackChange> deleted;
    std::vector<std::string> kept;
    for (const fs::path& file : files) {
        const std::error_code error = m_files.Remove(file);
        if (!error || error == std::errc::no_such_file_or_directory)
            deleted.push_back({file.string(), std::nullopt});
        else
            kept.push_back(file.string());
    }
    const std::size_t deletedCount = deleted.size();
    const bool listsWritten = WriteWorkingSet(lists, ChangeChain{std::move(deleted)});
    RebuildCurrentList(lists);

    for (const std::string& file : kept)
        dialogs.ShowMessage(kDeleteFailedHead + file + kDeleteFailedTail);
    dialogs.ShowMessage(DeleteClosingMessage(deletedCount, kept.size(), listsWritten));
}

void TrackService::MoveSelectedTracks()
{
    Dialogs& dialogs = m_services.dialogs;
    const std::vector<fs::path> files = ChooseTracks();
    if (files.empty())
        return;
    m_window.releaseStoppedTrack();
    const std::optional<fs::path> folder = dialogs.ChooseFolder(kMoveFolderTitle);
    if (!folder)
        return;

    WorkingSet lists{m_lists.ListsDir(), DataDir()};
    if (!LoadWorkingSet(lists, true))
        return;

    // One message slot per file, shown in the dialog's order once the work is done.
    std::vector<std::string> messages(files.size());
    std::vector<std::string> unlistable;
    std::vector<TrackChange> moved;
    std::vector<std::size_t> oldToDelete;
    for (std::size_t i = 0; i < files.size(); ++i) {
        const fs::path& from = files[i];
        const fs::path to = *folder / from.filename();
        if (!playlists::FitsListLine(to.string())) {
            unlistable.push_back(to.string());
            continue;
        }
        // A second name on the same file system is instant; the old name goes only once
        // the lists point at the new one. Across file systems the file is copied.
        std::error_code error = m_files.Link(from, to);
        bool deleteOld = true;
        if (error == std::errc::cross_device_link) {
            error = m_files.Copy(from, to, false);
        } else if (error && error != std::errc::file_exists) {
            error = m_files.Rename(from, to); // a file system without links
            deleteOld = false;
        }
        if (error) {
            messages[i] = kMoveFailedHead + from.string() + kMoveFailedTail;
            continue;
        }
        moved.push_back({from.string(), to.string()});
        if (deleteOld)
            oldToDelete.push_back(i);
    }

    const ChangeChain changes{std::move(moved)};
    // A list that could not be written still names the old files: they stay.
    if (WriteWorkingSet(lists, changes)) {
        for (const std::size_t i : oldToDelete)
            if (m_files.Remove(files[i]))
                messages[i] = kOldStaysHead + files[i].string() + kOldStaysTail;
    }
    FollowCurrentTrack(changes);
    RebuildCurrentList(lists);

    if (!unlistable.empty())
        dialogs.ShowMessage(playlists::UnlistableTracksMessage(unlistable));
    for (const std::string& message : messages)
        if (!message.empty())
            dialogs.ShowMessage(message);
    dialogs.ShowMessage(kDone);
}

void TrackService::RenameSelectedTracks()
{
    Dialogs& dialogs = m_services.dialogs;
    if (m_window.currentList.SelectedCount() == 0) {
        dialogs.ShowMessage(kSelectTracksToRename);
        return;
    }

    // Every name is asked first; the files and lists change afterwards in one go.
    struct Rename {
        int index{};
        std::string item;
        std::string oldPath;
        std::string newPath;
        bool done{};
    };
    std::vector<Rename> renames;
    const ListBox& box = m_window.currentList;
    for (int i = 0; i < box.Count(); ++i) {
        if (!box.Selected(i))
            continue;
        const std::string oldPath = playlists::LinePath(box.Item(i));
        const std::string title = playlists::TrackTitleOf(oldPath);
        for (;;) {
            const std::optional<std::string> name = dialogs.InputBox(kRenameCaption, kRenamePrompt, title);
            // An empty name would leave only the extension, a hidden file: it counts as Cancel.
            if (!name || name->empty())
                break;
            if (playlists::HasForbiddenChars(*name, dialogs))
                continue;
            std::string newPath = RenamedPath(oldPath, *name);
            if (!playlists::FitsListLine(newPath)) {
                dialogs.ShowMessage(playlists::UnlistableTracksMessage({newPath}));
                continue;
            }
            renames.push_back({i, box.Item(i), oldPath, std::move(newPath)});
            break;
        }
    }
    if (renames.empty()) {
        m_window.refreshPathView();
        return;
    }

    WorkingSet lists{m_lists.ListsDir(), DataDir()};
    if (!LoadWorkingSet(lists, false))
        return;

    std::vector<TrackChange> renamed;
    for (Rename& rename : renames) {
        if (rename.newPath == rename.oldPath) {
            rename.done = true;
            continue;
        }
        if (!fs::path{rename.oldPath}.is_absolute() || m_files.Rename(rename.oldPath, rename.newPath))
            continue;
        rename.done = true;
        renamed.push_back({rename.oldPath, rename.newPath});
    }
    const ChangeChain changes{std::move(renamed)};
    WriteWorkingSet(lists, changes);

    // Every entry of the current list follows its track, not only the selected ones.
    ListBox& items = m_window.currentList;
    for (const Rename& rename : renames) {
        int index = rename.index;
        if (index >= items.Count() || items.Item(index) != rename.item) {
            const auto at = std::find(items.Items().begin(), items.Items().end(), rename.item);
            index = at == items.Items().end() ? -1 : static_cast<int>(at - items.Items().begin());
        }
        if (index < 0)
            continue;
        items.SetSelected(index, false);
        if (rename.done)
            items.SetItem(index, playlists::MakeListItem("*" + rename.newPath + "*"));
    }
    for (int i = 0; i < items.Count(); ++i) {
        const ChangeChain::Fate fate = changes.Follow(playlists::LinePath(items.Item(i)));
        if (fate.matched && !fate.removed)
            items.SetItem(i, playlists::MakeListItem("*" + fate.path + "*"));
    }
    FollowCurrentTrack(changes);
    m_window.refreshPathView();

    for (const Rename& rename : renames)
        if (!rename.done)
            dialogs.ShowMessage(kRenameFailedHead + playlists::TrackTitleOf(rename.oldPath) + kRenameFailedTail);
}

void TrackService::SearchMovedTracks()
{
    const std::optional<fs::path> folder = m_services.dialogs.ChooseFolder(kMusicFolderTitle);
    if (!folder)
        return;
    if (m_indexRunner != nullptr)
        m_indexRunner->Run(*folder);
    else
        MusicIndexed(BuildMusicIndex(*folder));
}

void TrackService::MusicIndexed(const MusicIndexResult& result)
{
    Dialogs& dialogs = m_services.dialogs;
    if (result.cancelled)
        return;
    if (!result.error.empty()) {
        dialogs.ShowMessage(result.error);
        return;
    }
    if (const std::string unread = UnreadableFoldersMessage(result); !unread.empty())
        dialogs.ShowMessage(unread);
    RelinkPlan plan;
    {
        WorkingSet lists{m_lists.ListsDir(), DataDir()};
        if (!LoadRelinkLists(lists))
            return;
        plan = PlanRelink(lists, result.index);
    }
    if (plan.Missing() == 0) {
        dialogs.ShowMessage(kNothingMissing);
        return;
    }
    if (plan.changes.empty()) {
        dialogs.ShowMessage(RelinkSummary(plan) + "\n\n" + RelinkLeftMessage(plan));
        return;
    }
    const std::string question = plan.dropped.empty() ? kRelinkQuestionTail : std::string{"\n\n"} + kRelinkQuestion;
    if (!dialogs.AskYesNo(RelinkSummary(plan) + question, kRelinkCaption))
        return;

    // Read again after the question: a track that started meanwhile may have changed the history.
    WorkingSet lists{m_lists.ListsDir(), DataDir()};
    if (!LoadRelinkLists(lists))
        return;
    plan = PlanRelink(lists, result.index);
    const std::size_t found = plan.changes.size();
    const bool written = WriteWorkingSet(lists, ChangeChain{std::move(plan.changes)});
    RebuildCurrentList(lists);
    if (!written)
        return;
    std::string done = kRelinkedHead + std::to_string(found) + ".";
    for (const std::string& part : {RelinkDroppedMessage(lists.Dropped(), true), RelinkLeftMessage(plan)})
        if (!part.empty())
            done += "\n\n" + part;
    dialogs.ShowMessage(done);
}

void TrackService::CopySelectedTracks()
{
    Dialogs& dialogs = m_services.dialogs;
    const bool all = dialogs.AskYesNo(kCopyAllQuestion, kCopyCaption);
    if (!all)
        dialogs.ShowMessage(kCopySelectedOnly);
    const std::optional<fs::path> folder = dialogs.ChooseFolder(kCopyFolderTitle);
    if (!folder)
        return;

    ListBox& paths = m_window.pathView;
    for (int i = 0; i < paths.Count(); ++i) {
        if (!all && !paths.Selected(i))
            continue;
        const fs::path source{paths.Item(i)};
        // A copy that fails is silent: the entry stays as it was.
        if (!source.is_absolute() || !source.has_filename())
            continue;
        if (!m_files.Copy(source, *folder / source.filename(), true))
            paths.SetSelected(i, false);
    }
    dialogs.ShowMessage(kDone);
}

} // namespace kalvotune::service
