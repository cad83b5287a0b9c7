#pragma once

#include "core/Services.hpp"

#include <string>
#include <string_view>
#include <vector>

namespace kalvotune::playlists {

// A list line is "*" + full path + "*" + template field + "*", optionally with a tag in
// front of the first '*'. A `CurrentListBox` item is the display text, `kItemPadWidth` blanks
// and the tail "*" + path + "*0*". Texts are UTF-8; every position and length below
// counts characters (code points), not bytes.

/// Blanks between an item's display text and its line tail; `ItemToLine` searches from here.
inline constexpr int kItemPadWidth{400};
/// Older entries the history list keeps besides the newest one.
inline constexpr int kHistoryLimit{1000};

/// The `CurrentListBox` item of a file line: title, seven blanks and the tag when the line has
/// one (a tag "0" counts as none), the pad and "*" + path + "*0*". Never fails: a line
/// without a path gives an empty title and an empty path.
std::string MakeListItem(std::string_view line);

/// The line tail of an item: from the first '*' at or after character position
/// `kItemPadWidth` (counting from 1) to the end; empty when there is none.
std::string ItemToLine(std::string_view item);

/// The text between the first and the second '*'; empty with fewer than two.
std::string LinePath(std::string_view text);
/// `LinePath` as a view into `text`, for walks over many lines.
std::string_view LinePathView(std::string_view text);

/// The text between the second and the third '*'; empty with fewer than three.
std::string LineTemplate(std::string_view line);

/// The track title: the file-name part with its last four characters removed (no search
/// for the dot, so "Song.flac" gives "Song." and a name of four characters or fewer gives
/// ""). A text holding '/' is split at its last '/' only, so a Linux name may hold ':' or
/// '\'. A text without '/' that looks like a Windows path (a drive letter and ':' in
/// front, or a leading "\\") is split at its last '\' or ':'; any other text is a bare name.
std::string TrackTitleOf(std::string_view path);

/// True for a path written on Windows: one that names a drive ("C:\…", "C:/…") or a
/// network share ("\\server\share\…"). Such a track is never a file here; it counts
/// as missing until it is found again.
bool IsWindowsPath(std::string_view path);

/// The folder part of a track path, for messages: the text before the last '/', or for a
/// Windows path before its last '\' or '/'; empty for a bare name.
std::string TrackFolderOf(std::string_view path);

/// `prefix` + "dd.mm.yyyy hh'mm'ss" of `now`: the time's colons are apostrophes because
/// a colon may not stand in a file name.
std::string DatedListName(std::string_view prefix, const LocalDateTime& now);

/// True, after showing the program's message once, when `name` holds any of
/// / > < : * | ? or the double quote. The backslash is allowed; "" gives false.
bool HasForbiddenChars(std::string_view name, Dialogs& dialogs);

/// False for a track path that a list line cannot carry: one holding '*' (the field
/// separator) or a line break (the file would split it into two lines).
bool FitsListLine(std::string_view path);

/// The program's message for tracks left out because `FitsListLine` refused their paths.
std::string UnlistableTracksMessage(const std::vector<std::string>& paths);

} // namespace kalvotune::playlists
