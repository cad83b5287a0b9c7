#pragma once

#include "core/FileIO.hpp"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kalvotune::playlists {

// Folders of the program folder and the list files in `Lists` (no list file has an extension).
inline constexpr std::string_view kListsFolder{"Lists"};
inline constexpr std::string_view kSoundFolder{"Sound"};
inline constexpr std::string_view kDataFolder{"Data"};
inline constexpr std::string_view kMyListsName{"MyLists"};
inline constexpr std::string_view kDefaultListName{"Калейдоскоп"};
inline constexpr std::string_view kHistoryListName{"Былое"};
inline constexpr std::string_view kRegistryName{"Kalvotune"};
inline constexpr std::string_view kTempFileName{"TempFile"};

/// Decodes Windows-1251 bytes to UTF-8. Every byte has a character (0x98, unassigned in
/// the code page, maps to U+0098), so any byte string survives a round trip.
std::string Cp1251ToUtf8(std::string_view bytes);
/// Encodes UTF-8 text to Windows-1251; empty when the text is not valid UTF-8 or holds a
/// character the code page has no byte for.
std::optional<std::string> Utf8ToCp1251(std::string_view text);

/// Appends the UTF-8 bytes of the code point `c`.
void AppendUtf8(std::string& out, char32_t c);

/// Splits text at CR, LF and CR LF. A last line without a break counts, blank lines count,
/// and "" gives no lines.
std::vector<std::string> SplitLines(std::string_view text);

/// The bytes of a list file: every line followed by CR LF, in Windows-1251. When some line
/// holds a character Windows-1251 cannot carry (possible in Linux file names), the whole
/// file is UTF-8 after a byte-order mark instead, so nothing is lost.
std::string EncodeListFile(const std::vector<std::string>& lines);
/// The lines of list-file bytes: UTF-8 after a byte-order mark, Windows-1251 otherwise.
std::vector<std::string> DecodeListFile(std::string_view bytes);

/// A list file as read: its lines, or why there are none.
struct ListReadResult {
    ReadResult::Status status{ReadResult::Status::Missing};
    std::vector<std::string> lines;
    std::string message; ///< the program's words when the file exists and cannot be read

    bool ok() const { return status == ReadResult::Status::Ok; }
    bool missing() const { return status == ReadResult::Status::Missing; }
};

/// The largest list file the program reads. Lists are small (the history holds 1001
/// lines), so anything bigger is damaged or hostile and is not read into memory.
inline constexpr std::size_t kMaxListFileBytes{64u << 20};

/// Reads a list file whole, telling a missing file from an unreadable one: a caller that
/// would write the list back must stop on `Failed`, never treat it as an empty list. A
/// file over `kMaxListFileBytes` is `Failed` with the program's message, unread, so that
/// nothing writes a cut copy back over it.
ListReadResult ReadListFileChecked(const std::filesystem::path& file);

/// Reads a list file whole; empty when it cannot be opened (missing, or a folder).
std::optional<std::vector<std::string>> ReadListFile(const std::filesystem::path& file);
/// The full path of the list file `name` in the folder `listsDir`; empty (a path that
/// reads as missing and that no write accepts) when `name` is not a plain file name or
/// leads out of `listsDir` through a symbolic link.
std::filesystem::path ListFileIn(const std::filesystem::path& listsDir, std::string_view name);

/// The error text for the list file `file` that `read` could not read (missing or
/// unreadable), naming the file and the system's reason.
std::string ListReadErrorText(const std::filesystem::path& file, const ListReadResult& read);

/// Writes a list file whole through `WriteFileAtomically`: on failure the old file is
/// untouched and the result carries the program's message.
WriteResult WriteListFile(const std::filesystem::path& file, const std::vector<std::string>& lines);

} // namespace kalvotune::playlists
