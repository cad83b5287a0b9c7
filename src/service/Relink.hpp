#pragma once

#include "service/WorkingSet.hpp"

#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <system_error>
#include <unordered_map>
#include <vector>

namespace kalvotune::service {

// Finding moved tracks again: lists, history and the registry brought from another
// computer (Windows paths, another disk) name tracks that are not where the lines say.
// The audio files under a folder are indexed by file name, and every missing track is
// matched by its name and, among several files of that name, by the folders above it.

/// `text` with Latin (A-Z, À-Þ) and Cyrillic capitals turned into small letters, so that
/// file names compare without letter case; every other byte stays as it is.
std::string FoldCase(std::string_view text);

/// The audio files under a folder, by file name without letter case.
class MusicIndex {
public:
    /// Adds one file by its full path.
    void Add(std::string path);
    /// The files whose name folds to `foldedName`; null when there are none.
    const std::vector<std::string>* Candidates(const std::string& foldedName) const;
    std::size_t Size() const { return m_size; }

private:
    std::unordered_map<std::string, std::vector<std::string>> m_byName;
    std::size_t m_size{};
};

/// An index as built: `error` when the folder could not be walked, `cancelled` when a
/// stop was requested before the walk ended (the index is then incomplete).
struct MusicIndexResult {
    MusicIndex index;
    bool cancelled{};
    std::string error;
    /// The folders whose reading failed for a reason other than a missing permission,
    /// each as "path: reason"; the files read before the failure are indexed.
    std::vector<std::string> unreadable;
};

/// Reads one folder of the walk into `entries`: the error that ended the reading, empty
/// when it read to the end. A seam, so that tests can make a folder fail as a broken
/// disk does (they run as root, which no permission stops).
using FolderReader = std::function<std::error_code(
    const std::filesystem::path& folder, std::vector<std::filesystem::directory_entry>& entries)>;

/// Indexes the audio files under `folder`, every level deep; folder links are not
/// followed. A folder without permission to read is passed over; one whose reading fails
/// otherwise is named in `unreadable` and the walk goes on. `progress` (may be empty)
/// hears the number of files found now and then. `read` (empty: the file system) reads
/// each folder. Runs on any thread; nothing is written.
MusicIndexResult BuildMusicIndex(const std::filesystem::path& folder,
    const std::function<void(std::size_t files)>& progress = {}, std::stop_token stop = {},
    const FolderReader& read = {});
/// The message naming the folders an index could not read; empty when it read them all.
std::string UnreadableFoldersMessage(const MusicIndexResult& result);

/// What the index gives for one missing track.
struct TrackMatch {
    enum class Kind { Found, Ambiguous, NotFound };
    Kind kind{Kind::NotFound};
    std::string path; ///< the file found
};

/// Matches a track by its file name (letter case aside). Among several files of that
/// name the one whose folders agree with most of the old path's last folders wins
/// (`Артист\Альбом\01.mp3` prefers `…/Артист/Альбом/01.mp3`); a tie is ambiguous. The
/// old path may be a Windows path (backslashes) or a path of this system.
TrackMatch MatchMovedTrack(const MusicIndex& index, std::string_view oldPath);

/// True when a list line's path names no file here: a Windows path, or a path that is
/// not an existing file. An empty path is no track and never missing.
bool IsMissingTrack(const std::string& path);

/// The missing tracks of a working set, each path once in the order the lists name them.
struct RelinkPlan {
    std::vector<TrackChange> changes; ///< found: old path → the file found
    std::vector<std::string> ambiguous;
    std::vector<std::string> unfound;
    /// Registry lines the changes would drop: a found track that has its own line already
    /// keeps the newer template (`WorkingSet::Apply`).
    std::vector<DroppedTemplate> dropped;

    std::size_t Missing() const { return changes.size() + ambiguous.size() + unfound.size(); }
};
RelinkPlan PlanRelink(const WorkingSet& lists, const MusicIndex& index);

/// The lists relinking rewrites, in order: the names of `MyLists` whose file exists, then
/// "Былое" and the registry `Kalvotune` when they exist and are not named there. Nothing
/// is written. `error` when `MyLists` exists and cannot be read.
struct RelinkLists {
    std::vector<std::string> names;
    std::string error;
};
RelinkLists ListsToRelink(const std::filesystem::path& listsDir);
/// Reads the lists of `ListsToRelink` into `lists` (after any it holds already); the
/// program's message naming the list when one cannot be read: nothing may change then.
std::optional<std::string> LoadRelinkSet(WorkingSet& lists, const std::filesystem::path& listsDir);

/// "Найдено N из M треков; K неоднозначных.", then the templates the plan would drop.
std::string RelinkSummary(const RelinkPlan& plan);
/// The message naming the templates a relink dropped (`done`) or would drop; empty when
/// there are none.
std::string RelinkDroppedMessage(const std::vector<DroppedTemplate>& dropped, bool done);
/// The message naming the tracks that stayed where they were (not found or ambiguous);
/// empty when every missing track was found.
std::string RelinkLeftMessage(const RelinkPlan& plan);

} // namespace kalvotune::service
