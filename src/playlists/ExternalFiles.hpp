#pragma once

#include "core/Services.hpp"

#include <filesystem>
#include <string>
#include <vector>

namespace kalvotune::playlists {

class CurrentList;

/// True for the audio files the player opens (`.wma`, `.mp3`, `.wav`, any case).
bool IsAudioFile(const std::filesystem::path& file);

/// What came of paths handed over from outside: the tracks to list, in order, and the
/// messages naming what was left out.
struct GatheredTracks {
    std::vector<std::filesystem::path> tracks;
    std::vector<std::string> messages;
};

/// Turns paths into tracks: audio files as they are, playlists into their entries, and,
/// when `openFolders` is set, folders into their audio files sorted by name (one level
/// deep). Missing paths and other files are left out and named.
GatheredTracks GatherTracks(const std::vector<std::filesystem::path>& paths, bool openFolders);

/// Tracks handed to the window from outside: files named on the command line or by a
/// second start, files the desktop's media controls open, and files dropped on the window.
/// Each runs the list commands' own code, so the result is what the dialogs would give.
class ExternalFiles {
public:
    /// Both references must outlive the object.
    ExternalFiles(CurrentList& currentList, Dialogs& dialogs);

    /// Opens the files like "Open": they replace the current list and a single track
    /// plays at once; playlists open their entries.
    void OpenFiles(const std::vector<std::filesystem::path>& paths);
    /// Appends dropped files and folders like "Добавить, открыв еще ".
    void DropFiles(const std::vector<std::filesystem::path>& paths);

private:
    std::vector<std::filesystem::path> Gather(const std::vector<std::filesystem::path>& paths, bool openFolders);

    CurrentList& m_currentList;
    Dialogs& m_dialogs;
};

} // namespace kalvotune::playlists
