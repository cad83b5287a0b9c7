#include "playlists/M3u.hpp"

#include "playlists/ListFile.hpp"
#include "playlists/ListLine.hpp"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <iterator>

namespace kalvotune::playlists {

namespace fs = std::filesystem;

namespace {

std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

/// True when `bytes` is well-formed UTF-8 (overlong forms of two-byte characters refused,
/// which keeps Windows-1251 Cyrillic from passing for UTF-8).
bool IsUtf8(std::string_view bytes)
{
    std::size_t i = 0;
    while (i < bytes.size()) {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        std::size_t tail = 0;
        if (lead < 0x80)
            tail = 0;
        else if (lead >= 0xC2 && lead <= 0xDF)
            tail = 1;
        else if (lead >= 0xE0 && lead <= 0xEF)
            tail = 2;
        else if (lead >= 0xF0 && lead <= 0xF4)
            tail = 3;
        else
            return false;
        if (i + tail >= bytes.size() && tail > 0)
            return false;
        for (std::size_t k = 1; k <= tail; ++k)
            if ((static_cast<unsigned char>(bytes[i + k]) & 0xC0) != 0x80)
                return false;
        i += tail + 1;
    }
    return true;
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

/// `text` with its %XX escapes decoded.
std::string PercentDecoded(std::string_view text)
{
    std::string decoded;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && HexDigit(text[i + 1]) >= 0 && HexDigit(text[i + 2]) >= 0) {
            decoded.push_back(static_cast<char>(HexDigit(text[i + 1]) * 16 + HexDigit(text[i + 2])));
            i += 2;
        } else {
            decoded.push_back(text[i]);
        }
    }
    return decoded;
}

/// The path of a `file://` URL with its %XX escapes decoded.
std::string FileUrlPath(std::string_view url)
{
    url.remove_prefix(std::string_view{"file://"}.size());
    // "file://host/path": only the local host's paths are files here.
    const std::size_t slash = url.find('/');
    if (slash == std::string_view::npos)
        return {};
    url.remove_prefix(slash);
    return PercentDecoded(url);
}

bool IsUrl(std::string_view entry)
{
    const std::size_t colon = entry.find("://");
    return colon != std::string_view::npos && colon > 1
        && std::all_of(entry.begin(), entry.begin() + static_cast<std::ptrdiff_t>(colon),
            [](unsigned char c) { return std::isalnum(c) || c == '+' || c == '-' || c == '.'; });
}

/// Playlist bytes as UTF-8 text: a byte-order mark dropped, Windows-1251 decoded when
/// the bytes are not UTF-8.
std::string PlaylistText(std::string_view bytes)
{
    constexpr std::string_view kByteOrderMark{"\xEF\xBB\xBF"};
    if (bytes.starts_with(kByteOrderMark))
        bytes.remove_prefix(kByteOrderMark.size());
    return IsUtf8(bytes) ? std::string{bytes} : Cp1251ToUtf8(bytes);
}

std::string Trimmed(std::string_view text)
{
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos)
        return {};
    return std::string{text.substr(first, text.find_last_not_of(" \t") - first + 1)};
}

/// XML character data with the five named entities and numeric references decoded.
std::string XmlText(std::string_view text)
{
    static constexpr std::pair<std::string_view, char> kNamed[]{
        {"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&apos;", '\''}};
    std::string decoded;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '&') {
            decoded.push_back(text[i]);
            continue;
        }
        const std::size_t semicolon = text.find(';', i);
        const std::string_view entity = text.substr(i, semicolon == std::string_view::npos ? 0 : semicolon - i + 1);
        const auto named
            = std::find_if(std::begin(kNamed), std::end(kNamed), [&](const auto& n) { return n.first == entity; });
        if (named != std::end(kNamed)) {
            decoded.push_back(named->second);
            i = semicolon;
        } else if (entity.size() > 3 && entity[1] == '#') {
            const bool hex = entity[2] == 'x' || entity[2] == 'X';
            const std::string digits{entity.substr(hex ? 3 : 2, entity.size() - (hex ? 4 : 3))};
            char* end = nullptr;
            const unsigned long code = std::strtoul(digits.c_str(), &end, hex ? 16 : 10);
            if (digits.empty() || *end != '\0' || code == 0 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
                decoded.push_back('&');
                continue;
            }
            AppendUtf8(decoded, static_cast<char32_t>(code));
            i = semicolon;
        } else {
            decoded.push_back('&');
        }
    }
    return decoded;
}

/// Adds one playlist entry: a `file://` URL, a path, or a web address (left out, as is
/// an entry no file name can be). A path
/// written on Windows (a drive or a network share) is kept as written, missing here; a
/// relative one with backslashes is read with slashes, against the playlist's folder,
/// unless it names a file as written. A path naming no file is kept and counted missing.
void AddEntry(M3uEntries& entries, const std::string& entry, const fs::path& folder)
{
    if (IsWindowsPath(entry)) {
        entries.tracks.emplace_back(entry);
        ++entries.missing;
        return;
    }
    fs::path track;
    if (Lower(entry.substr(0, 7)) == "file://")
        track = FileUrlPath(entry);
    else if (!IsUrl(entry))
        track = entry;
    // No file name holds a NUL byte (a %00 escape gives one too): cut there, the path
    // would name some other file.
    if (track.empty() || track.native().find('\0') != std::string::npos) {
        ++entries.skipped;
        return;
    }
    if (!track.is_absolute() && entry.find('\\') != std::string::npos && !IsFile(folder / track)) {
        std::string slashed = track.string();
        std::replace(slashed.begin(), slashed.end(), '\\', '/');
        track = slashed;
    }
    track = (track.is_absolute() ? track : folder / track).lexically_normal();
    if (!IsFile(track))
        ++entries.missing;
    entries.tracks.push_back(std::move(track));
}

} // namespace

bool IsM3uFile(const fs::path& file)
{
    const std::string extension = Lower(file.extension().string());
    return extension == ".m3u" || extension == ".m3u8";
}

bool IsPlaylistFile(const fs::path& file)
{
    const std::string extension = Lower(file.extension().string());
    return IsM3uFile(file) || extension == ".pls" || extension == ".xspf";
}

M3uEntries ParseM3u(std::string_view bytes, const fs::path& folder)
{
    M3uEntries entries;
    for (std::string line : SplitLines(PlaylistText(bytes))) {
        const auto first = line.find_first_not_of(" \t");
        if (first == std::string::npos || line[first] == '#')
            continue;
        AddEntry(entries, Trimmed(line), folder);
    }
    return entries;
}

M3uEntries ParsePls(std::string_view bytes, const fs::path& folder)
{
    M3uEntries entries;
    for (const std::string& line : SplitLines(PlaylistText(bytes))) {
        // "FileN=entry"; titles, lengths and the header are not tracks.
        const std::size_t equals = line.find('=');
        const std::string key = Lower(Trimmed(line.substr(0, equals == std::string::npos ? 0 : equals)));
        if (equals == std::string::npos || !key.starts_with("file") || key.size() == 4
            || !std::all_of(key.begin() + 4, key.end(), [](unsigned char c) { return std::isdigit(c); }))
            continue;
        AddEntry(entries, Trimmed(line.substr(equals + 1)), folder);
    }
    return entries;
}

M3uEntries ParseXspf(std::string_view bytes, const fs::path& folder)
{
    constexpr std::string_view kOpen{"<location>"};
    constexpr std::string_view kClose{"</location>"};
    const std::string text = PlaylistText(bytes);
    M3uEntries entries;
    for (std::size_t at = text.find(kOpen); at != std::string::npos; at = text.find(kOpen, at)) {
        at += kOpen.size();
        const std::size_t end = text.find(kClose, at);
        if (end == std::string::npos)
            break;
        // A location is a URI: a relative one is percent-encoded like a file URL's path.
        const std::string location = Trimmed(XmlText(std::string_view{text}.substr(at, end - at)));
        if (Lower(location.substr(0, 7)) == "file://" || IsUrl(location))
            AddEntry(entries, location, folder);
        else
            AddEntry(entries, PercentDecoded(location), folder);
        at = end + kClose.size();
    }
    return entries;
}

M3uEntries ReadM3u(const fs::path& file)
{
    const ReadResult read = ReadFileChecked(file);
    if (!read.ok()) {
        M3uEntries failed;
        failed.error = "Не удалось прочитать список " + file.string()
            + (read.message.empty() ? std::string{": нет такого файла"} : ": " + read.message);
        return failed;
    }
    const fs::path folder = fs::absolute(file).parent_path();
    const std::string extension = Lower(file.extension().string());
    if (extension == ".pls")
        return ParsePls(BytesView(read.bytes), folder);
    if (extension == ".xspf")
        return ParseXspf(BytesView(read.bytes), folder);
    return ParseM3u(BytesView(read.bytes), folder);
}

std::string EncodeM3u8(const std::vector<fs::path>& tracks)
{
    std::string text{"#EXTM3U\n"};
    // A Windows path (a missing entry kept from a list made there) stays as written: made
    // absolute here it would name a file under the working folder.
    for (const fs::path& track : tracks)
        text += (IsWindowsPath(track.string()) ? track : fs::absolute(track).lexically_normal()).string() + "\n";
    return text;
}

std::string SkippedEntriesMessage(const fs::path& playlist, const M3uEntries& entries)
{
    std::string message;
    if (entries.skipped > 0)
        message = "Из списка " + playlist.filename().string() + " не открыто записей: "
            + std::to_string(entries.skipped) + " (адреса в сети и записи, которые не могут быть именем файла)";
    if (entries.missing > 0)
        message += (message.empty() ? "" : "\n") + std::string{"В списке "} + playlist.filename().string()
            + " записей, файлов которых здесь нет: " + std::to_string(entries.missing)
            + ". Они оставлены в списке: \"Найти перемещённые треки…\" найдёт их, если они переехали.";
    return message;
}

std::vector<fs::path> ExpandPlaylists(const std::vector<fs::path>& files, std::vector<std::string>& messages)
{
    std::vector<fs::path> tracks;
    for (const fs::path& file : files) {
        if (!IsPlaylistFile(file)) {
            tracks.push_back(file);
            continue;
        }
        M3uEntries entries = ReadM3u(file);
        if (!entries.error.empty())
            messages.push_back(entries.error);
        else if (std::string message = SkippedEntriesMessage(file, entries); !message.empty())
            messages.push_back(std::move(message));
        tracks.insert(tracks.end(), entries.tracks.begin(), entries.tracks.end());
    }
    return tracks;
}

} // namespace kalvotune::playlists
