#pragma once

#include "core/FileIO.hpp"

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace kalvotune::playlists {

/// True for a playlist file this program reads and writes (`.m3u`, `.m3u8`, any case).
bool IsM3uFile(const std::filesystem::path& file);

/// True for a playlist "Open" reads: M3U, M3U8, PLS and XSPF (any case).
bool IsPlaylistFile(const std::filesystem::path& file);

/// The tracks of a playlist as read.
struct M3uEntries {
    /// Every file entry, in the playlist's order: existing files and missing ones alike,
    /// so that a missing track keeps its line and "Найти перемещённые треки…" can find it.
    std::vector<std::filesystem::path> tracks;
    int missing{}; ///< entries of `tracks` naming no file here (a Windows path among them)
    int skipped{}; ///< web addresses and entries no file name can be (a NUL byte), left out
    std::string error; ///< set when the playlist itself cannot be read
};

/// Parses playlist bytes: UTF-8 (a byte-order mark is dropped), or Windows-1251 when the
/// bytes are not valid UTF-8; comments and `#EXTINF` lines are skipped, `file://` URLs
/// decoded, relative entries resolved against `folder` (backslashes read as slashes when
/// the entry names no file as written). Web addresses are left out and counted; a path
/// naming no file here (a Windows drive or share path too) is kept as written and counted
/// as missing.
M3uEntries ParseM3u(std::string_view bytes, const std::filesystem::path& folder);
/// Parses a PLS playlist: the `FileN=` entries, read like M3U entries.
M3uEntries ParsePls(std::string_view bytes, const std::filesystem::path& folder);
/// Parses an XSPF playlist: the `<location>` of every track, a `file://` URL or a URI
/// relative to `folder`, XML entities and %XX escapes decoded.
M3uEntries ParseXspf(std::string_view bytes, const std::filesystem::path& folder);

/// Reads a playlist file, PLS and XSPF by their extension, anything else as M3U.
M3uEntries ReadM3u(const std::filesystem::path& file);

/// The bytes of an M3U8 playlist: `#EXTM3U`, then one absolute path per line (a Windows
/// path as it is), UTF-8, LF.
std::string EncodeM3u8(const std::vector<std::filesystem::path>& tracks);

/// The message for entries of a playlist that were left out or name no file here; empty
/// when there are none.
std::string SkippedEntriesMessage(const std::filesystem::path& playlist, const M3uEntries& entries);

/// Replaces every playlist in `files` by its tracks, in place. Each unreadable
/// playlist and each playlist with entries left out or missing shows one message in
/// `messages`.
std::vector<std::filesystem::path> ExpandPlaylists(
    const std::vector<std::filesystem::path>& files, std::vector<std::string>& messages);

} // namespace kalvotune::playlists
