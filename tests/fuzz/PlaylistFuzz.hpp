#pragma once

// What every playlist reader must hold to, whatever bytes it is given: shared by the
// M3U, PLS and XSPF targets.
#include "fuzz/FuzzSupport.hpp"
#include "playlists/ListLine.hpp"
#include "playlists/M3u.hpp"
#include "support/TempDir.hpp"

#include <filesystem>
#include <fstream>
#include <string_view>

namespace kalvotune::fuzz {

/// A music folder made once per run: `$P` in an input names it, so entries reach files
/// that exist (plain, Cyrillic, with a blank, a capital extension, one level down).
inline const std::filesystem::path& PlaylistMusicFolder()
{
    static const testing::TempDir dir;
    static const bool made = [] {
        for (const char* name : {"a.mp3", "b c.wav", "x.WMA", "Артист/01 Вальс.mp3", "Артист/a&b.wav"}) {
            std::filesystem::create_directories((dir.Path() / name).parent_path());
            std::ofstream{dir.Path() / name} << "audio";
        }
        return true;
    }();
    (void)made;
    return dir.Path();
}

/// Reads `input` with `parse` against the music folder and checks what came out: every
/// entry either a Windows path kept as written or an absolute normal path; the missing
/// ones counted exactly; the existing tracks written as M3U8 and read again unchanged.
inline void CheckPlaylistReader(const std::uint8_t* data, std::size_t size,
    playlists::M3uEntries (*parse)(std::string_view, const std::filesystem::path&))
{
    const std::filesystem::path& folder = PlaylistMusicFolder();
    const std::string text = WithProgramDir(AsText(data, size), folder);
    const playlists::M3uEntries entries = parse(text, folder);
    Require(entries.error.empty(), "a reader of bytes reports a read error");
    Require(entries.skipped >= 0 && entries.missing >= 0, "a negative count");
    Require(static_cast<std::size_t>(entries.missing) <= entries.tracks.size(), "more missing entries than entries");

    std::vector<std::filesystem::path> existing;
    int missing = 0;
    for (const std::filesystem::path& track : entries.tracks) {
        Require(!track.empty(), "an empty track");
        if (playlists::IsWindowsPath(track.string())) {
            ++missing;
            continue;
        }
        Require(track.is_absolute(), "a track that is not absolute");
        Require(track == track.lexically_normal(), "a track that is not in normal form");
        if (IsFile(track))
            existing.push_back(track);
        else
            ++missing;
    }
    Require(missing == entries.missing, "the missing count disagrees with the tracks");
    Require(playlists::SkippedEntriesMessage("p.m3u", entries).empty() == (entries.skipped == 0 && missing == 0),
        "the message disagrees with the counts");

    const playlists::M3uEntries again = playlists::ParseM3u(playlists::EncodeM3u8(existing), folder);
    Require(again.tracks == existing && again.missing == 0 && again.skipped == 0,
        "existing tracks change when written as M3U8 and read again");
}

} // namespace kalvotune::fuzz
