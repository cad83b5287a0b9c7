#pragma once

#include "core/Form.hpp"
#include "core/Services.hpp"

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace kalvotune::playlists {

/// The window's operations on the list files in `Lists`: start-up lists, history,
/// registry look-up and writing the current list back. Every operation reads the files
/// it needs when it runs and writes them back whole; nothing is cached. Failed writes
/// are shown with the program's message and leave the old file as it was.
class Lists {
public:
    /// `runPatterns` switches the kaleidoscope's pattern timers on or off; the panel of
    /// the user's lists switches them off when it opens. May be empty in tests.
    Lists(Form& form, Services& services, std::function<void(bool)> runPatterns = {});

    /// Start-up: rebuilds "Калейдоскоп" from `Sound`, repairs `MyLists` (creating it when
    /// it is missing), registers the shipped templates once, fills `ListBox1` and opens
    /// the panel of the user's lists. A `Sound` entry whose name a list line cannot carry
    /// is left out with one message.
    void LoadStartLists();
    /// Puts `CurrentTrackName` on top of "Былое" (not while "Былое" is the current list),
    /// dropping its older copy and keeping at most `kHistoryLimit` older lines.
    void AddToHistory();
    /// The template folder name the registry `Kalvotune` holds for `track` (first line
    /// whose path equals it byte for byte), or "0". A missing registry gives "0" after an
    /// error box, so the track plays without template.
    std::string LookUpTemplateName(const std::filesystem::path& track);
    /// Writes `ListBox1` back into the current list's file, lines sorted by
    /// `ListTextLess`; a list that had no file gets its name appended to `MyLists` once the
    /// file is written. Nothing is written for "0" (no file) or for the registry, whose
    /// template fields the items do not carry.
    void SaveChangeListClick();
    /// Shows or hides the panel of the user's lists (`ListBox3`).
    void SpeedButton11Click();

    std::filesystem::path ListsDir() const;
    /// The full path of the list file `name` in `Lists`; empty (a path that reads as
    /// missing and that no write accepts) when `name` is not a plain file name or leads out
    /// of `Lists` through a symbolic link.
    std::filesystem::path ListFilePath(std::string_view name) const;

private:
    /// Writes a list file; on failure shows the program's message and gives false.
    bool Write(std::string_view name, const std::vector<std::string>& lines);
    /// Replaces `ListBox3` with the lines of `MyLists`; false (box untouched) when missing.
    bool ReadMyListsIntoPanel();

    Form& m_form;
    Services& m_services;
    std::function<void(bool)> m_runPatterns;
};

} // namespace kalvotune::playlists
