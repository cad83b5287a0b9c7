#pragma once

#include "core/Form.hpp"
#include "core/Services.hpp"
#include "service/Relink.hpp"
#include "service/TrackFiles.hpp"
#include "service/WorkingSet.hpp"

#include <filesystem>
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
    /// All references must outlive the service.
    TrackService(Form& form, Services& services, playlists::Lists& lists, TrackFiles& files);

    /// "Удаление треков": deletes the chosen files for good; a track whose file is gone
    /// loses its lines in every list and its template folder. A file that cannot be
    /// deleted keeps both, and the user is told.
    void DeleteTracksClick();
    /// "Перемещение треков": moves the chosen files into a chosen folder, never over an
    /// existing file. The lists are rewritten while both files exist and the old file is
    /// deleted only after that, so no list ever points at nothing. Within one file
    /// system the move is instant (no copy).
    void RemoveTracksClick();
    /// "Переименование тр.": asks a new name for each selected entry of the current
    /// list and renames its file in its folder, keeping the extension; an empty name or
    /// Cancel leaves the entry. The track that is playing keeps playing under its new name.
    void RenameTracksClick();
    /// "Копировать  треки": copies all or the selected files of the path view into a
    /// chosen folder, replacing files of the same name there; no list changes.
    void CopySelectTrackClick();

    /// "Найти перемещённые треки…": asks for the folder the music now lies in and has
    /// its audio files indexed.
    void FindMovedTracksClick();
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
    /// Refills `ListBox1` from the rewritten `TempFile` and refreshes the path view.
    void RebuildCurrentList(const WorkingSet& lists);
    /// When the track of the device moved or was renamed: `CurrentTrackName`, `TrackTitle`
    /// and the caption's title follow it.
    void FollowCurrentTrack(const ChangeChain& changes);
    /// The track dialog with the missing-file check; empty when the command must end.
    std::vector<std::filesystem::path> ChooseTracks();

    Form& m_form;
    Services& m_services;
    playlists::Lists& m_lists;
    TrackFiles& m_files;
    MusicIndexRunner* m_indexRunner{};
};

} // namespace kalvotune::service
