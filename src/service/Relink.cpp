#include "service/Relink.hpp"

#include "core/FileIO.hpp"
#include "playlists/ExternalFiles.hpp"
#include "playlists/ListFile.hpp"
#include "playlists/ListLine.hpp"

#include <algorithm>
#include <unordered_set>

namespace kalvotune::service {

namespace fs = std::filesystem;

namespace {

/// Paths named in the message about what stayed, per kind; the rest are counted.
constexpr std::size_t kListedPaths{30};
/// Files between two progress reports of the index.
constexpr std::size_t kProgressStep{500};

char32_t FoldCodePoint(char32_t c)
{
    if ((c >= 0x00C0 && c <= 0x00DE && c != 0x00D7) || (c >= 0x0410 && c <= 0x042F))
        return c + 0x20;
    if (c >= 0x0400 && c <= 0x040F)
        return c + 0x50;
    // Further Cyrillic letters come in pairs, the capital first, except for a run of
    // pairs after U+04C0, where the capital is the odd one.
    if ((c >= 0x0460 && c <= 0x0481) || (c >= 0x048A && c <= 0x04BF) || (c >= 0x04D0 && c <= 0x04FF))
        return c | 1;
    if (c == 0x04C0)
        return 0x04CF;
    if (c >= 0x04C1 && c <= 0x04CE && (c & 1) != 0)
        return c + 1;
    return c;
}

/// The path's folder names from the innermost outwards, the file name left out.
std::vector<std::string_view> FoldersInward(std::string_view path, std::string_view separators)
{
    std::vector<std::string_view> folders;
    std::size_t end = path.find_last_of(separators);
    while (end != std::string_view::npos && end > 0) {
        const std::size_t start = path.find_last_of(separators, end - 1);
        const std::size_t from = start == std::string_view::npos ? 0 : start + 1;
        if (end > from)
            folders.push_back(path.substr(from, end - from));
        if (start == std::string_view::npos)
            break;
        end = start;
    }
    return folders;
}

/// The separators of a path as its system writes them: a path from Windows (or one
/// without any '/') also splits at backslashes.
std::string_view SeparatorsOf(std::string_view path)
{
    return playlists::IsWindowsPath(path) || path.find('/') == std::string_view::npos ? "\\/" : "/";
}

std::string FileNameOf(std::string_view path)
{
    const std::size_t cut = path.find_last_of(SeparatorsOf(path));
    return std::string{cut == std::string_view::npos ? path : path.substr(cut + 1)};
}

/// How many of the innermost folders agree, counted until the first that does not.
std::size_t AgreeingFolders(const std::vector<std::string>& old, std::string_view candidate)
{
    const std::vector<std::string_view> folders = FoldersInward(candidate, "/");
    std::size_t agree = 0;
    while (agree < old.size() && agree < folders.size() && FoldCase(folders[agree]) == old[agree])
        ++agree;
    return agree;
}

void AppendPaths(std::string& text, const char* heading, const std::vector<std::string>& paths)
{
    if (paths.empty())
        return;
    text += text.empty() ? "" : "\n\n";
    text += heading;
    for (std::size_t i = 0; i < paths.size() && i < kListedPaths; ++i)
        text += "\n" + paths[i];
    if (paths.size() > kListedPaths)
        text += "\n… и ещё " + std::to_string(paths.size() - kListedPaths);
}

// The whole of one folder as the file system gives it.
std::error_code ReadWholeFolder(const fs::path& folder, std::vector<fs::directory_entry>& entries)
{
    std::error_code ec;
    for (fs::directory_iterator at{folder, ec}; !ec && at != fs::directory_iterator{}; at.increment(ec))
        entries.push_back(*at);
    return ec;
}

bool IsPermissionError(const std::error_code& error)
{
    return error == std::errc::permission_denied || error == std::errc::operation_not_permitted;
}

} // namespace

std::string FoldCase(std::string_view text)
{
    std::string folded;
    folded.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto b0 = static_cast<unsigned char>(text[i]);
        if (b0 >= 'A' && b0 <= 'Z') {
            folded += static_cast<char>(b0 + ('a' - 'A'));
            continue;
        }
        // Every letter folded here is a two-byte character: U+00C0..U+04FF.
        const bool twoBytes = b0 >= 0xC3 && b0 <= 0xD3 && i + 1 < text.size()
            && (static_cast<unsigned char>(text[i + 1]) & 0xC0) == 0x80;
        if (!twoBytes) {
            folded += static_cast<char>(b0);
            continue;
        }
        const char32_t c = (static_cast<char32_t>(b0 & 0x1F) << 6) | (static_cast<unsigned char>(text[i + 1]) & 0x3F);
        playlists::AppendUtf8(folded, FoldCodePoint(c));
        ++i;
    }
    return folded;
}

void MusicIndex::Add(std::string path)
{
    std::string name = FoldCase(FileNameOf(path));
    m_byName[std::move(name)].push_back(std::move(path));
    ++m_size;
}

const std::vector<std::string>* MusicIndex::Candidates(const std::string& foldedName) const
{
    const auto found = m_byName.find(foldedName);
    return found == m_byName.end() ? nullptr : &found->second;
}

MusicIndexResult BuildMusicIndex(const fs::path& folder, const std::function<void(std::size_t files)>& progress,
    std::stop_token stop, const FolderReader& read)
{
    MusicIndexResult result;
    std::error_code ec;
    if (!fs::is_directory(folder, ec)) {
        result.error = "Папка " + folder.string() + " не найдена.";
        return result;
    }
    const FolderReader& reader = read ? read : ReadWholeFolder;
    std::vector<fs::path> pending{folder};
    std::vector<fs::directory_entry> entries;
    while (!pending.empty()) {
        if (stop.stop_requested()) {
            result.cancelled = true;
            return result;
        }
        const fs::path current = std::move(pending.back());
        pending.pop_back();
        entries.clear();
        if (const std::error_code failed = reader(current, entries); failed && !IsPermissionError(failed)) {
            if (current == folder && entries.empty()) {
                result.error = "Папку " + folder.string() + " не удалось прочитать: " + failed.message();
                return result;
            }
            result.unreadable.push_back(current.string() + ": " + failed.message());
        }
        for (const fs::directory_entry& entry : entries) {
            if (stop.stop_requested()) {
                result.cancelled = true;
                return result;
            }
            // A folder link is never followed, so a link back up cannot loop the walk.
            if (entry.is_directory(ec) && !entry.is_symlink(ec)) {
                pending.push_back(entry.path());
                continue;
            }
            if (!entry.is_regular_file(ec) || !playlists::IsAudioFile(entry.path()))
                continue;
            std::string path = fs::absolute(entry.path(), ec).lexically_normal().string();
            // A file a list line cannot carry cannot be relinked to.
            if (ec || !playlists::FitsListLine(path))
                continue;
            result.index.Add(std::move(path));
            if (progress && result.index.Size() % kProgressStep == 0)
                progress(result.index.Size());
        }
    }
    if (progress)
        progress(result.index.Size());
    return result;
}

std::string UnreadableFoldersMessage(const MusicIndexResult& result)
{
    std::string text;
    AppendPaths(text, "Эти папки прочитать не удалось, треки в них не искались:", result.unreadable);
    return text;
}

TrackMatch MatchMovedTrack(const MusicIndex& index, std::string_view oldPath)
{
    const std::vector<std::string>* candidates = index.Candidates(FoldCase(FileNameOf(oldPath)));
    if (candidates == nullptr || candidates->empty())
        return {};
    if (candidates->size() == 1)
        return {TrackMatch::Kind::Found, candidates->front()};

    std::vector<std::string> old;
    for (const std::string_view folder : FoldersInward(oldPath, SeparatorsOf(oldPath)))
        old.push_back(FoldCase(folder));
    std::size_t best = 0;
    const std::string* winner = nullptr;
    bool tie = false;
    for (const std::string& candidate : *candidates) {
        const std::size_t agree = AgreeingFolders(old, candidate);
        if (winner == nullptr || agree > best) {
            best = agree;
            winner = &candidate;
            tie = false;
        } else if (agree == best) {
            tie = true;
        }
    }
    if (tie)
        return {TrackMatch::Kind::Ambiguous, {}};
    return {TrackMatch::Kind::Found, *winner};
}

bool IsMissingTrack(const std::string& path)
{
    return !path.empty() && (playlists::IsWindowsPath(path) || !IsFile(path));
}

RelinkPlan PlanRelink(const WorkingSet& lists, const MusicIndex& index)
{
    RelinkPlan plan;
    // Views into the set's lines, which do not change while the plan is made.
    std::unordered_set<std::string_view> seen;
    for (const std::string& name : lists.Names()) {
        for (const std::string& line : *lists.Lines(name)) {
            const std::string_view view = playlists::LinePathView(line);
            if (view.empty() || !seen.insert(view).second)
                continue;
            std::string path{view};
            if (!IsMissingTrack(path))
                continue;
            TrackMatch match = MatchMovedTrack(index, path);
            switch (match.kind) {
            case TrackMatch::Kind::Found:
                plan.changes.push_back({std::move(path), std::move(match.path)});
                break;
            case TrackMatch::Kind::Ambiguous:
                plan.ambiguous.push_back(std::move(path));
                break;
            case TrackMatch::Kind::NotFound:
                plan.unfound.push_back(std::move(path));
                break;
            }
        }
    }
    if (!plan.changes.empty()) {
        WorkingSet preview{lists};
        preview.Apply(ChangeChain{plan.changes});
        plan.dropped = preview.Dropped();
    }
    return plan;
}

RelinkLists ListsToRelink(const fs::path& listsDir)
{
    RelinkLists lists;
    const playlists::ListReadResult index = playlists::ReadListFileChecked(listsDir / playlists::kMyListsName);
    if (!index.ok() && !index.missing()) {
        lists.error = index.message;
        return lists;
    }
    std::vector<std::string> names = index.lines;
    names.emplace_back(playlists::kHistoryListName);
    names.emplace_back(playlists::kRegistryName);
    for (std::string& name : names)
        if (!name.empty() && IsFile(listsDir / name)
            && std::find(lists.names.begin(), lists.names.end(), name) == lists.names.end())
            lists.names.push_back(std::move(name));
    return lists;
}

std::optional<std::string> LoadRelinkSet(WorkingSet& lists, const fs::path& listsDir)
{
    const RelinkLists names = ListsToRelink(listsDir);
    if (!names.error.empty())
        return names.error;
    return lists.Load(names.names);
}

std::string RelinkSummary(const RelinkPlan& plan)
{
    const std::string dropped = RelinkDroppedMessage(plan.dropped, false);
    return "Найдено " + std::to_string(plan.changes.size()) + " из " + std::to_string(plan.Missing()) + " треков; "
        + std::to_string(plan.ambiguous.size()) + " неоднозначных." + (dropped.empty() ? "" : "\n\n" + dropped);
}

std::string RelinkDroppedMessage(const std::vector<DroppedTemplate>& dropped, bool done)
{
    std::vector<std::string> items;
    for (const DroppedTemplate& line : dropped)
        items.push_back(line.track + " (ЦМШ " + line.folder + ")");
    std::string text;
    AppendPaths(text,
        done ? "У этих треков была вторая строка в реестре: оставлен более новый ЦМШ, более старый удалён вместе со "
               "своей строкой:"
             : "У этих треков уже есть своя строка в реестре: останется более новый ЦМШ, более старый будет удалён "
               "вместе со своей строкой:",
        items);
    return text;
}

std::string RelinkLeftMessage(const RelinkPlan& plan)
{
    std::string text;
    AppendPaths(text, "Не найдены, пути оставлены как были:", plan.unfound);
    AppendPaths(text, "Найдено несколько файлов с таким именем, пути оставлены как были:", plan.ambiguous);
    return text;
}

} // namespace kalvotune::service
