#pragma once

#include "core/Form.hpp"
#include "core/Services.hpp"
#include "playlists/PlayControls.hpp"

#include <filesystem>
#include <string>
#include <vector>

namespace kalvotune::playlists {

class Lists;
class MyLists;

// Small operations on the current list (`CurrentListBox`) that the list commands and the track
// service share. They live here once; nothing else re-implements them.

/// True when at least one entry of `CurrentListBox` is selected.
bool AnyTrackSelected(const Form& form);

/// The tracks a command on "the chosen tracks" works on, each once: the paths of the
/// selected entries of `CurrentListBox` in list order, or `CurrentTrackName` when nothing
/// is selected; empty when there is neither.
std::vector<std::string> SelectedOrPlayingTracks(const Form& form);

/// When the device is stopped (not playing, not paused) closes it, so that its file may
/// be deleted, moved or renamed, and sets the caption to `CaptionPrefix`. Does nothing in
/// any other state.
void ReleaseStoppedTrack(Form& form, Services& services);

/// The player's track now lies at `to` (moved or renamed): `CurrentTrackName` and
/// `TrackTitle` follow it, and so does the title in the caption of an open track.
void FollowMovedTrack(Form& form, const Services& services, const std::filesystem::path& to);

/// Checks the files a file dialog gave, in order: at the first that does not exist shows
/// the program's message and gives true; otherwise gives false.
bool DialogFilesMissing(const std::vector<std::filesystem::path>& files, Dialogs& dialogs);

/// Rebuilds the path view `PathsBox` from `CurrentListBox` (each entry's path, with the same
/// selection) and shows it exactly while `PathsItem` is checked. Call after every
/// change of `CurrentListBox`'s entries.
void TogglePathsView(Form& form);

/// The commands that fill and edit the current list: opening tracks with the file dialog,
/// adding more, removing the selected entries, the enabled state of "В текущий список",
/// and "Записать текущую строку" with its selection box `ListChoiceBox`. No command here writes
/// the current list's own file; saving it is the user's choice (`MyLists`, `Lists`).
///
/// The selection box is closed (both "Записать текущую строку" items unchecked) or open
/// (both checked and captioned "Отменить запись", `ListChoiceBox` shown, the other list boxes
/// hidden with their visibility kept for the close). Every handler runs on the window's
/// thread.
class CurrentList {
public:
    /// All references must outlive the object.
    CurrentList(Form& form, Services& services, Lists& lists, MyLists& myLists, PlayControls& player);

    /// "Open", F9: the chosen tracks replace the current list, which then has no file
    /// (`CurrentListName` "0"); one track plays at once, of several one is selected at
    /// random. While the panel of the user's lists shows, opens the selected lists instead.
    void OpenOtherMusic();
    /// "Добавить, открыв еще ": appends the chosen tracks and extends the caption prefix
    /// with their folder's name.
    void AddMoreFiles();
    /// What "Open" does once the dialog has given `files`: they replace the current list.
    /// Tracks handed over from outside the window open through here too.
    void OpenTracks(const std::vector<std::filesystem::path>& files);
    /// What "Добавить, открыв еще " does once the dialog has given `files`: they are
    /// appended. Tracks dropped on the window are added through here too.
    void AddTracks(const std::vector<std::filesystem::path>& files);
    /// "Удалить выделенн. строки": removes the selected entries from `CurrentListBox` only.
    void DeleteSelectedLines();
    /// Before the list's context menu shows: "В текущий список" is disabled for the
    /// registry and enabled for any list with a file.
    void PrepareListMenu();
    /// Before the window's menu shows: an open selection box can always be cancelled.
    void PrepareWindowMenu();
    /// "Записать текущую строку": opens the selection box for the playing track's line, or
    /// closes it again, restoring the list boxes that were visible.
    void WriteCurrentLine();
    /// A click in the selection box: writes the pending line into the chosen list (unless
    /// it is there already) or into a new list, then closes the box. A cancelled name
    /// prompt or a file error leaves the box open.
    void WriteLineIntoChosenList();

private:
    /// The dialog's files, playlists replaced by their entries; empty when cancelled or
    /// refused.
    std::vector<std::filesystem::path> ChooseTracks();
    /// The files that can become list entries; the others are named in a message.
    std::vector<std::filesystem::path> ListableTracks(const std::vector<std::filesystem::path>& files);
    /// Adds the entries of `files` to `CurrentListBox`, in the dialog's order.
    void AppendTracks(const std::vector<std::filesystem::path>& files);
    /// Writes the pending line into a new list; false when the box must stay open.
    bool WriteIntoNewList();
    /// Writes the pending line into the list `name` unless it holds it already; false
    /// when the box must stay open.
    bool WriteIntoList(const std::string& name);
    void CloseSelectionBox();
    bool Playing() const;

    Form& m_form;
    Services& m_services;
    Lists& m_lists;
    MyLists& m_myLists;
    PlayControls& m_player;
    /// The line the open selection box writes, fixed when it opened.
    std::string m_pendingListLine;
    bool m_listBox1WasVisible{};
    bool m_listBox2WasVisible{};
    bool m_listBox3WasVisible{};
};

} // namespace kalvotune::playlists
