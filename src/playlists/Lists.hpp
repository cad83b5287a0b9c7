#pragma once

#include "core/Form.hpp"
#include "core/Services.hpp"
#include "playlists/ListFile.hpp"

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kalvotune::playlists {

/// The window's operations on the list files in `Lists`: start-up lists, history,
/// registry look-up and writing the current list back. Every operation reads the files
/// it needs when it runs and writes them back whole; nothing is cached. Failed reads and
/// writes are shown in an error box naming the file and the system's reason; a failed
/// write leaves the old file as it was, and a file that cannot be read is never written
/// over as if it were empty.
class Lists {
public:
    /// `runPatterns` switches the kaleidoscope's pattern timers on or off; the panel of
    /// the user's lists switches them off when it opens. May be empty in tests.
    Lists(Form& form, Services& services, std::function<void(bool)> runPatterns = {});

    /// Start-up: prepares the program folder's lists as every start does
    /// (`PrepareStartLists`) and shows its messages, fills `CurrentListBox` with
    /// "Калейдоскоп" and opens the panel of the user's lists. A `MyLists` that exists but
    /// cannot be read is left untouched after an error box, and the panel stays closed.
    void LoadStartLists();
    /// Puts `CurrentTrackName` on top of "Былое" (not while "Былое" is the current list),
    /// dropping its older copy and keeping at most `kHistoryLimit` older lines.
    void AddToHistory();
    /// The template folder name the registry `Kalvotune` holds for `track` (first line
    /// whose path equals it byte for byte), or "0". A missing registry gives "0" after an
    /// error box, so the track plays without template.
    std::string LookUpTemplateName(const std::filesystem::path& track);
    /// Writes `CurrentListBox` back into the current list's file, lines sorted by
    /// `ListTextLess`; a list that had no file gets its name appended to `MyLists` once the
    /// file is written. Nothing is written for "0" (no file), for the registry, whose
    /// template fields the items do not carry, for the index `MyLists` or for a name that
    /// is no plain file name.
    void SaveIntoCurrentList();
    /// Shows or hides the panel of the user's lists (`MyListsBox`).
    void ToggleMyLists();

    std::filesystem::path ListsDir() const;
    /// The full path of the list file `name` in `Lists`; empty (a path that reads as
    /// missing and that no write accepts) when `name` is not a plain file name or leads out
    /// of `Lists` through a symbolic link.
    std::filesystem::path ListFilePath(std::string_view name) const;

    /// Reads the list file `name`. A missing or unreadable file gives an error box naming
    /// it with the system's reason, and no lines.
    std::optional<std::vector<std::string>> ReadList(std::string_view name);
    /// Writes the list file `name` whole; on failure shows the error box and gives false.
    bool WriteList(std::string_view name, const std::vector<std::string>& lines);
    /// Replaces `MyListsBox` with the lines of `MyLists`. False, with the box untouched, when
    /// the file is missing (silently) or unreadable (after an error box).
    bool ReadMyListsIntoPanel();
    /// Shows the error box for a list file that could not be read.
    void ShowReadError(const std::filesystem::path& file, const ListReadResult& read);

private:
    Form& m_form;
    Services& m_services;
    std::function<void(bool)> m_runPatterns;
};

} // namespace kalvotune::playlists
