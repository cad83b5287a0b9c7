#pragma once

#include "core/Form.hpp"
#include "core/Services.hpp"

#include <filesystem>
#include <string>

namespace kalvotune::playlists {

/// The window's operations on the list files in `Lists`: start-up lists, history,
/// registry look-up and writing the current list back.
class Lists {
public:
    Lists(Form& form, Services& services);

    /// Start-up: rebuilds "Калейдоскоп" from `Sound`, repairs `MyLists`, registers the
    /// shipped templates once, fills `ListBox1` and opens the panel of the user's lists.
    void LoadStartLists();
    /// Puts `CurrentTrackName` on top of "Былое" (not while "Былое" is the current list).
    void AddToHistory();
    /// The template folder name the registry `Kalvotune` holds for `track`, or "0".
    std::string LookUpTemplateName(const std::filesystem::path& track);
    /// Writes `ListBox1` back into the current list's file.
    void SaveChangeListClick();
    /// Shows or hides the panel of the user's lists (`ListBox3`).
    void SpeedButton11Click();

    std::filesystem::path ListsDir() const;

private:
    Form& m_form;
    Services& m_services;
};

} // namespace kalvotune::playlists
