#include "service/WorkingSet.hpp"

#include "core/FileIO.hpp"
#include "playlists/ListFile.hpp"
#include "playlists/ListLine.hpp"
#include "playlists/Lists.hpp"
#include "playlists/Registry.hpp"
#include "templates/TemplateFolders.hpp"

#include <algorithm>
#include <unordered_map>

namespace kalvotune::service {

namespace fs = std::filesystem;

namespace {

// A list name stands for one file in `Lists`; anything else ("", "..", "a/b") would
// reach outside it and never names a list.
bool IsListName(const std::string& name)
{
    return templates::IsPlainFolderName(name) && name.find('\0') == std::string::npos;
}

// The template folder a removed line names, when it may be removed: a plain name inside
// `Data`. "0" is the field of every play-list line and means "no template", so it never
// reaches a folder, even one that happens to be called "0".
bool IsTemplateFolderName(const std::string& field)
{
    return field != "0" && IsListName(field);
}

// The template field of a line as `LineTemplate` gives it for the line with one '*'
// appended: a line lacking its closing '*' still gives its field.
std::string_view TemplateField(std::string_view line)
{
    std::size_t from = 0;
    for (int k = 0; k < 2; ++k) {
        const std::size_t star = line.find('*', from);
        if (star == std::string_view::npos)
            return {};
        from = star + 1;
    }
    const std::size_t close = line.find('*', from);
    return line.substr(from, close == std::string_view::npos ? std::string_view::npos : close - from);
}

} // namespace

ChangeChain::ChangeChain(std::vector<TrackChange> changes)
    : m_changes{std::move(changes)}
{
    for (std::size_t i = 0; i < m_changes.size(); ++i)
        m_byOldPath[m_changes[i].oldPath].push_back(i);
    m_chained = std::any_of(m_changes.begin(), m_changes.end(),
        [this](const TrackChange& c) { return c.newPath && m_byOldPath.contains(std::string_view{*c.newPath}); });
}

ChangeChain::Fate ChangeChain::Follow(std::string_view path) const
{
    Fate fate;
    std::string_view current = path;
    std::size_t next = 0;
    for (;;) {
        const auto found = m_byOldPath.find(current);
        if (found == m_byOldPath.end())
            return fate;
        const std::vector<std::size_t>& indices = found->second;
        const auto at = std::lower_bound(indices.begin(), indices.end(), next);
        if (at == indices.end())
            return fate;
        const TrackChange& change = m_changes[*at];
        fate.matched = true;
        if (!change.newPath) {
            fate.removed = true;
            fate.path.clear();
            return fate;
        }
        fate.path = *change.newPath;
        // Without chains the new path names no change: one lookup per path is enough.
        if (!m_chained)
            return fate;
        current = fate.path;
        next = *at + 1;
    }
}

WorkingSet::WorkingSet(fs::path listsDir, fs::path dataDir)
    : m_listsDir{std::move(listsDir)}
    , m_dataDir{std::move(dataDir)}
{
}

WorkingSet::List* WorkingSet::Find(std::string_view name)
{
    const auto at = std::find_if(m_lists.begin(), m_lists.end(), [name](const List& l) { return l.name == name; });
    return at == m_lists.end() ? nullptr : &*at;
}

const std::vector<std::string>* WorkingSet::Lines(std::string_view name) const
{
    const auto at = std::find_if(m_lists.begin(), m_lists.end(), [name](const List& l) { return l.name == name; });
    return at == m_lists.end() ? nullptr : &at->lines;
}

std::vector<std::string> WorkingSet::Names() const
{
    std::vector<std::string> names;
    for (const List& list : m_lists)
        names.push_back(list.name);
    return names;
}

void WorkingSet::Hold(std::string_view name, std::vector<std::string> lines)
{
    if (List* list = Find(name)) {
        list->lines = std::move(lines);
        list->changed = true;
        return;
    }
    m_lists.push_back({std::string{name}, std::move(lines), true, {}});
}

std::optional<std::string> WorkingSet::Load(const std::vector<std::string>& names)
{
    for (const std::string& name : names) {
        if (!IsListName(name) || Find(name) != nullptr)
            continue;
        const fs::path file = m_listsDir / name;
        playlists::ListReadResult read = playlists::ReadListFileChecked(file);
        if (read.missing())
            return "Не удалось открыть файл " + file.string();
        if (!read.ok())
            return read.message;
        std::optional<std::vector<std::string>> registryRead;
        if (name == playlists::kRegistryName)
            registryRead = read.lines;
        m_lists.push_back({name, std::move(read.lines), false, {}, std::move(registryRead)});
    }
    return std::nullopt;
}

void WorkingSet::Apply(const ChangeChain& changes)
{
    if (changes.Empty())
        return;
    for (List& list : m_lists) {
        std::vector<std::string> kept;
        kept.reserve(list.lines.size());
        std::vector<bool> changedAt(list.read ? list.lines.size() : 0);
        for (std::string& line : list.lines) {
            const ChangeChain::Fate fate = changes.Follow(playlists::LinePathView(line));
            if (!fate.matched) {
                kept.push_back(std::move(line));
                continue;
            }
            list.changed = true;
            const std::string_view field = TemplateField(line);
            if (fate.removed) {
                if (IsTemplateFolderName(std::string{field}))
                    list.foldersToRemove.emplace_back(field);
                continue;
            }
            std::string moved;
            moved.reserve(fate.path.size() + field.size() + 3);
            moved.append("*").append(fate.path).append("*").append(field).append("*");
            if (list.read)
                changedAt[kept.size()] = true;
            kept.push_back(std::move(moved));
        }
        list.lines = std::move(kept);
        if (list.read) {
            changedAt.resize(list.lines.size());
            DropSecondRegistryLines(list, changedAt);
        }
    }
}

void WorkingSet::DropSecondRegistryLines(List& registry, const std::vector<bool>& changed)
{
    std::unordered_map<std::string_view, std::vector<std::size_t>> byPath;
    for (std::size_t i = 0; i < registry.lines.size(); ++i)
        byPath[playlists::LinePathView(registry.lines[i])].push_back(i);
    const auto written = [this](std::string_view field) {
        std::error_code ec;
        const fs::file_time_type time = IsTemplateFolderName(std::string{field})
            ? fs::last_write_time(m_dataDir / field, ec)
            : fs::file_time_type::min();
        return ec ? fs::file_time_type::min() : time;
    };
    std::vector<bool> dropped(registry.lines.size());
    for (const auto& [path, lines] : byPath) {
        // Only a change makes a second line here; lines that were doubled before stay as they were.
        if (path.empty() || lines.size() < 2
            || std::none_of(lines.begin(), lines.end(), [&](std::size_t i) { return changed[i]; }))
            continue;
        std::size_t keep = lines.front();
        fs::file_time_type newest = written(TemplateField(registry.lines[keep]));
        for (const std::size_t i : lines) {
            const fs::file_time_type time = written(TemplateField(registry.lines[i]));
            if (time > newest || (time == newest && changed[keep] && !changed[i])) {
                keep = i;
                newest = time;
            }
        }
        for (const std::size_t i : lines)
            if (i != keep)
                dropped[i] = true;
    }
    if (std::find(dropped.begin(), dropped.end(), true) == dropped.end())
        return;
    std::vector<std::string> kept;
    kept.reserve(registry.lines.size());
    std::vector<std::string> keptFolders;
    for (std::size_t i = 0; i < registry.lines.size(); ++i)
        if (!dropped[i])
            keptFolders.emplace_back(TemplateField(registry.lines[i]));
    for (std::size_t i = 0; i < registry.lines.size(); ++i) {
        std::string& line = registry.lines[i];
        if (!dropped[i]) {
            kept.push_back(std::move(line));
            continue;
        }
        const std::string folder{TemplateField(line)};
        if (IsTemplateFolderName(folder)
            && std::find(keptFolders.begin(), keptFolders.end(), folder) == keptFolders.end())
            registry.foldersToRemove.push_back(folder);
        m_dropped.push_back({playlists::LinePath(line), folder});
    }
    registry.lines = std::move(kept);
    registry.changed = true;
}

bool WorkingSet::MergeRegistry(List& registry, std::optional<FolderLock>& lock, std::string& error)
{
    lock.emplace(m_listsDir);
    playlists::ListReadResult current = playlists::ReadRegistryWorkList(m_listsDir / registry.name);
    if (!current.ok() && !current.missing()) {
        error = current.message;
        return false;
    }
    registry.lines = playlists::MergeRegistryEdit(std::move(current.lines), *registry.read, registry.lines);
    return true;
}

std::vector<std::string> WorkingSet::Write()
{
    std::vector<List*> changed;
    std::vector<std::string> bytes;
    std::vector<std::string> errors;
    // Held until the lists are written, when the registry is among them.
    std::optional<FolderLock> registryLock;
    for (List& list : m_lists) {
        if (list.changed) {
            std::string error;
            if (list.read && !MergeRegistry(list, registryLock, error)) {
                errors.push_back(error);
                continue;
            }
            changed.push_back(&list);
            bytes.push_back(playlists::EncodeListFile(list.lines));
        }
    }
    std::vector<FileWrite> writes;
    for (std::size_t i = 0; i < changed.size(); ++i)
        writes.push_back({m_listsDir / changed[i]->name, bytes[i]});
    const std::vector<WriteResult> results = WriteFilesAtomically(writes);

    for (std::size_t i = 0; i < changed.size(); ++i) {
        List& list = *changed[i];
        if (!results[i].ok) {
            errors.push_back(results[i].message);
            continue;
        }
        list.changed = false;
        if (list.read)
            list.read = list.lines;
        for (const std::string& folder : list.foldersToRemove) {
            std::error_code ec;
            if (fs::is_directory(m_dataDir / folder, ec))
                templates::DeleteFolderTree(m_dataDir / folder);
        }
        list.foldersToRemove.clear();
    }
    return errors;
}

PruneResult PruneMyLists(const fs::path& listsDir)
{
    PruneResult result;
    const fs::path index = listsDir / playlists::kMyListsName;
    playlists::ListReadResult read = playlists::ReadListFileChecked(index);
    if (read.missing()) {
        result.error = "Не удалось открыть файл " + index.string();
        return result;
    }
    if (!read.ok()) {
        result.error = read.message;
        return result;
    }
    bool dropped = false;
    for (std::string& name : read.lines) {
        if (name == playlists::kRegistryName || (IsListName(name) && IsFile(listsDir / name)))
            result.names.push_back(std::move(name));
        else
            dropped = true;
    }
    if (dropped) {
        const WriteResult written = playlists::WriteListFile(index, result.names);
        if (!written.ok)
            result.writeError = written.message;
    }
    return result;
}

std::vector<std::string> UpdateListsForTrack(const fs::path& listsDir, const fs::path& dataDir,
    const std::vector<std::string>& names, const std::string& oldPath, const std::optional<std::string>& newPath)
{
    WorkingSet lists{listsDir, dataDir};
    if (std::optional<std::string> error = lists.Load(names))
        return {*error};
    lists.Apply(ChangeChain{{{oldPath, newPath}}});
    return lists.Write();
}

} // namespace kalvotune::service
