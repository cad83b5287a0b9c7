#pragma once

#include "core/FileIO.hpp"

#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace kalvotune::service {

/// What happens to one track: its list lines follow it to `newPath`, or, without a new
/// path, they are removed together with the template folder a registry line names.
struct TrackChange {
    std::string oldPath;
    std::optional<std::string> newPath;
};

/// A registry line dropped because a change gave its track a second line: the track
/// keeps the line whose template folder is newer.
struct DroppedTemplate {
    std::string track; ///< the track's path after the change
    std::string folder; ///< the template folder of the dropped line
};

/// Track changes applied one after the other, exactly as a walk that handles one track
/// at a time would apply them: a path one change gives may be changed again by a later one.
class ChangeChain {
public:
    explicit ChangeChain(std::vector<TrackChange> changes);

    /// Where a line that names `path` ends up.
    struct Fate {
        bool matched{}; ///< some change named the path
        bool removed{}; ///< a deletion removed it
        std::string path; ///< the final path when matched and not removed; empty otherwise
    };
    Fate Follow(std::string_view path) const;

    bool Empty() const { return m_changes.empty(); }

private:
    /// Hashes paths given as views too, so that a lookup needs no copy of the path.
    struct PathHash {
        using is_transparent = void;
        std::size_t operator()(std::string_view path) const { return std::hash<std::string_view>{}(path); }
    };

    std::vector<TrackChange> m_changes;
    /// Indices of the changes, ascending, by the path they change.
    std::unordered_map<std::string, std::vector<std::size_t>, PathHash, std::equal_to<>> m_byOldPath;
    /// Some change's new path is changed again by a change.
    bool m_chained{};
};

/// The list files one track command rewrites: each read once, changed in memory however
/// many tracks the command handles, and written back once, only when it changed.
///
/// Typical use: `Hold` the lists made in memory (the current list as `TempFile`), `Load`
/// the names of `MyLists`, stop when it gives an error, do the file work, `Apply` the
/// changes of the tracks whose files were handled, then `Write`.
class WorkingSet {
public:
    /// `listsDir` holds the list files; template folders named by removed lines are
    /// looked for in `dataDir`.
    WorkingSet(std::filesystem::path listsDir, std::filesystem::path dataDir);

    /// Adds a list made in memory; it is written back by `Write` whether or not it changed.
    void Hold(std::string_view name, std::vector<std::string> lines);
    /// Reads the named lists in order, skipping names already held. On the first list
    /// that is missing or cannot be read gives the program's message naming it; the
    /// caller must then stop before changing anything.
    std::optional<std::string> Load(const std::vector<std::string>& names);
    /// Rewrites every line the changes name: a moved track's line becomes
    /// "*" + new path + "*" + template field + "*" in place (the walk goes on after it),
    /// a deleted track's line is removed and its template folder marked for removal.
    /// The template field is read as the line's third field with one '*' appended, so
    /// a line lacking its closing '*' still gives it.
    /// A registry line a change gives the path of another registry line is never kept
    /// beside it: of the two the line whose template folder was written last stays (the
    /// one already there on a tie), the other is dropped, its folder marked for removal
    /// unless the kept line names it too, and it is listed in `Dropped`.
    void Apply(const ChangeChain& changes);
    /// The registry lines the `Apply` calls dropped, in the registry's order.
    const std::vector<DroppedTemplate>& Dropped() const { return m_dropped; }
    /// Writes back every list that changed (and every held list), all flushed together. A template folder is
    /// removed only once the list whose line named it has been written, so a failed
    /// write never leaves a line pointing at a removed folder. The registry's changes are
    /// applied to the registry as it is by then (`playlists::WriteRegistry`), so lines
    /// another start of the program registered meanwhile stay. Gives the messages of
    /// failed writes; empty when all went well.
    std::vector<std::string> Write();

    /// The current lines of a list of the set; null when the set has no such list.
    const std::vector<std::string>* Lines(std::string_view name) const;
    /// The names of the lists of the set, in the order they were held or loaded.
    std::vector<std::string> Names() const;

private:
    struct List {
        std::string name;
        std::vector<std::string> lines;
        bool changed{};
        std::vector<std::string> foldersToRemove;
        /// The registry's lines as loaded, so that its write keeps what another start of
        /// the program registered meanwhile (`playlists::MergeRegistryEdit`).
        std::optional<std::vector<std::string>> read{};
    };
    /// The registry of the set merged with the registry as it is now, under `lock`; false,
    /// with the message in `error`, when the registry cannot be read now.
    bool MergeRegistry(List& registry, std::optional<FolderLock>& lock, std::string& error);
    List* Find(std::string_view name);
    /// Keeps one registry line per track among the lines `changed` marks (see `Apply`).
    void DropSecondRegistryLines(List& registry, const std::vector<bool>& changed);

    std::filesystem::path m_listsDir;
    std::filesystem::path m_dataDir;
    std::vector<List> m_lists;
    std::vector<DroppedTemplate> m_dropped;
};

/// The working set's names: reads `MyLists` in `listsDir`, drops the names whose list
/// file does not exist (never `Kalvotune`) and writes `MyLists` back when it dropped any.
/// Gives the names left, in file order; with an error message instead when `MyLists` is
/// missing or cannot be read. A failed write back is reported in `writeError` and the
/// names are still given.
struct PruneResult {
    std::vector<std::string> names;
    std::string error; ///< `MyLists` could not be read: the command must stop
    std::string writeError; ///< the pruned index could not be written
};
PruneResult PruneMyLists(const std::filesystem::path& listsDir);

/// The straightforward form of a track change: reads every list of `names` (in
/// `listsDir`), rewrites the lines of one track and writes each list that held it.
/// `newPath` empty means the track was deleted. Gives the messages of lists that could
/// not be read or written; the commands use `WorkingSet`, which gives the same files.
std::vector<std::string> UpdateListsForTrack(const std::filesystem::path& listsDir,
    const std::filesystem::path& dataDir, const std::vector<std::string>& names, const std::string& oldPath,
    const std::optional<std::string>& newPath);

} // namespace kalvotune::service
