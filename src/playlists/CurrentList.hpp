#pragma once

#include "core/Form.hpp"
#include "core/Services.hpp"

#include <filesystem>
#include <vector>

namespace kalvotune::playlists {

// Small operations on the current list (`ListBox1`) that the list commands and the track
// service share. They live here once; nothing else re-implements them.

/// True when at least one entry of `ListBox1` is selected.
bool AnyTrackSelected(const Form& form);

/// When the device is stopped (not playing, not paused) closes it, so that its file may
/// be deleted, moved or renamed, and sets the caption to `CaptionPrefix`. Does nothing in
/// any other state.
void ReleaseStoppedTrack(Form& form, Services& services);

/// Checks the files a file dialog gave, in order: at the first that does not exist shows
/// the program's message and gives true; otherwise gives false.
bool DialogFilesMissing(const std::vector<std::filesystem::path>& files, Dialogs& dialogs);

/// Rebuilds the path view `ListBox2` from `ListBox1` (each entry's path, with the same
/// selection) and shows it exactly while `VisibleListBox2` is checked. Call after every
/// change of `ListBox1`'s entries.
void VisibleListBox2Click(Form& form);

} // namespace kalvotune::playlists
