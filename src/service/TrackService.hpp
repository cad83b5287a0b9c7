#pragma once

#include "core/Controls.hpp"
#include "core/Services.hpp"
#include "service/Relink.hpp"
#include "service/TrackFiles.hpp"
#include "service/WorkingSet.hpp"

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace kalvotune::playlists {
class Lists;
}

namespace kalvotune::service {

/// Builds the index of "Найти перемещённые треки…" away from the window's thread and
/// hands it to `TrackService::MusicIndexed` on the window's thread. The Qt window
/// implements it with a worker thread and a progress dialog; without one the index is
/// built at once.
class MusicIndexRunner {
public:
    virtual ~MusicIndexRunner() = default;
    virtual void Run(std::filesystem::path folder) = 0;
};

/// The parts of the window the track service keeps consistent with the files it changes.
/// The window wires them; a test wires its own.
struct TrackWindow {
    /// The current list: one list line per entry.
    ListBox& currentList;
    /// The path view: the path of each entry of the current list, copied from it.
    ListBox& pathView;
    /// Rebuilds the path view from the current list; called after every change of it.
    std::function<void()> refreshPathView;
    /// Closes the player's track when it is stopped, so that its file may be deleted,
    /// moved or renamed.
    std::function<void()> releaseStoppedTrack;
    /// The path of the player's track; empty when it has none.
    std::function<std::filesystem::path()> currentTrack;
    /// A move or a rename gave the player's track the path `to`.
    std::function<void(const std::filesystem::path& to)> currentTrackMoved;
};

/// The "Сервис (с изменен. списков)" commands: moving, renaming and deleting music files
/// while every list named in `MyLists` (the template registry `Kalvotune` always among
/// them) and the current list follow, and copying the files of the path view.
///
/// Every command reads each list once, before it touches any music file, and stops with
/// an error box naming a list that cannot be read; it writes each list at most once,
/// however many tracks it handles. Questions come before the work and failure messages
/// after it, so no list is held in memory while a dialog is open. Each method is a
/// window event handler and runs on the user-interface thread.
class TrackService {
public:
    /// `programDir` is the program folder (its `Data` holds the template folders); it and
    /// every other reference must outlive the service.
    TrackService(TrackWindow window, const std::filesystem::path& programDir, Services& services,
        playlists::Lists& lists, TrackFiles& files);

    /// "Удаление треков": deletes the chosen files for good; a track whose file is gone
    /// loses its lines in every list and its template folder. A file that cannot be
    /// deleted keeps both, and the user is told.
    void DeleteSelectedTracks();
    /// "Перемещение треков": moves the chosen files into a chosen folder, never over an
    /// existing file. The lists are rewritten while both files exist and the old file is
    /// deleted only after that, so no list ever points at nothing. Within one file
    /// system the move is instant (no copy).
    void MoveSelectedTracks();
    /// "Переименование тр.": asks a new name for each selected entry of the current
    /// list and renames its file in its folder, keeping the extension; an empty name or
    /// Cancel leaves the entry. The track that is playing keeps playing under its new name.
    void RenameSelectedTracks();
    /// "Копировать  треки": copies all or the selected files of the path view into a
    /// chosen folder, replacing files of the same name there; no list changes.
    void CopySelectedTracks();

    /// "Найти перемещённые треки…": asks for the folder the music now lies in and has
    /// its audio files indexed.
    void SearchMovedTracks();
    /// The index is built: every missing track of the lists (`MyLists`, "Былое", the
    /// registry) and of the current list is matched, the user is told what was found and
    /// asked, and on Yes every list is rewritten in one batch, registry lines keeping
    /// their template folders. Then a message names what stayed.
    void MusicIndexed(const MusicIndexResult& result);
    /// The runner that builds the index; without one it is built at once.
    void SetIndexRunner(MusicIndexRunner* runner) { m_indexRunner = runner; }

    /// The name under which the current list is carried through a move or a deletion.
    std::filesystem::path TempFilePath() const;

private:
    /// Prunes `MyLists` and reads every list it names (after the current list as
    /// `TempFile` when `withCurrentList`). False, after an error box, when a list cannot
    /// be read: the command must stop.
    bool LoadWorkingSet(WorkingSet& lists, bool withCurrentList);
    /// The current list as `TempFile`, then the lists relinking rewrites. False, after an
    /// error box, when a list cannot be read.
    bool LoadRelinkLists(WorkingSet& lists);
    /// Applies the changes, writes the lists and shows the write errors; true when every
    /// list was written.
    bool WriteWorkingSet(WorkingSet& lists, const ChangeChain& changes);
    /// Refills the current list from the rewritten `TempFile` and refreshes the path view.
    void RebuildCurrentList(const WorkingSet& lists);
    /// When the player's track moved or was renamed, tells the window its new path.
    void FollowCurrentTrack(const ChangeChain& changes);
    /// The track dialog with the missing-file check; empty when the command must end.
    std::vector<std::filesystem::path> ChooseTracks();

    /// The folder the template folders lie in.
    std::filesystem::path DataDir() const;

    TrackWindow m_window;
    const std::filesystem::path& m_programDir;
    Services& m_services;
    playlists::Lists& m_lists;
    TrackFiles& m_files;
    MusicIndexRunner* m_indexRunner{};
};

} // namespace kalvotune::service
