#include "playlists/M3u.hpp"

#include "playlists/ListFile.hpp"

#include <algorithm>
#include <cctype>

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

/// The path of a `file://` URL with its %XX escapes decoded.
std::string FileUrlPath(std::string_view url)
{
    url.remove_prefix(std::string_view{"file://"}.size());
    // "file://host/path": only the local host's paths are files here.
    const std::size_t slash = url.find('/');
    if (slash == std::string_view::npos)
        return {};
    url.remove_prefix(slash);
    std::string path;
    for (std::size_t i = 0; i < url.size(); ++i) {
        if (url[i] == '%' && i + 2 < url.size() && HexDigit(url[i + 1]) >= 0 && HexDigit(url[i + 2]) >= 0) {
            path.push_back(static_cast<char>(HexDigit(url[i + 1]) * 16 + HexDigit(url[i + 2])));
            i += 2;
        } else {
            path.push_back(url[i]);
        }
    }
    return path;
}

bool IsUrl(std::string_view entry)
{
    const std::size_t colon = entry.find("://");
    return colon != std::string_view::npos && colon > 1
        && std::all_of(entry.begin(), entry.begin() + static_cast<std::ptrdiff_t>(colon),
            [](unsigned char c) { return std::isalnum(c) || c == '+' || c == '-' || c == '.'; });
}

} // namespace

bool IsM3uFile(const fs::path& file)
{
    const std::string extension = Lower(file.extension().string());
    return extension == ".m3u" || extension == ".m3u8";
}

M3uEntries ParseM3u(std::string_view bytes, const fs::path& folder)
{
    constexpr std::string_view kByteOrderMark{"\xEF\xBB\xBF"};
    if (bytes.starts_with(kByteOrderMark))
        bytes.remove_prefix(kByteOrderMark.size());
    const std::string text = IsUtf8(bytes) ? std::string{bytes} : Cp1251ToUtf8(bytes);

    M3uEntries entries;
    for (std::string line : SplitLines(text)) {
        const auto first = line.find_first_not_of(" \t");
        if (first == std::string::npos || line[first] == '#')
            continue;
        line = line.substr(first, line.find_last_not_of(" \t") - first + 1);
        fs::path track;
        if (Lower(line.substr(0, 7)) == "file://")
            track = FileUrlPath(line);
        else if (!IsUrl(line))
            track = line;
        if (track.empty() || !IsFile(track.is_absolute() ? track : folder / track)) {
            ++entries.skipped;
            continue;
        }
        entries.tracks.push_back((track.is_absolute() ? track : folder / track).lexically_normal());
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
    return ParseM3u(BytesView(read.bytes), fs::absolute(file).parent_path());
}

std::string EncodeM3u8(const std::vector<fs::path>& tracks)
{
    std::string text{"#EXTM3U\n"};
    for (const fs::path& track : tracks)
        text += fs::absolute(track).lexically_normal().string() + "\n";
    return text;
}

std::string SkippedEntriesMessage(const fs::path& playlist, int skipped)
{
    if (skipped == 0)
        return {};
    return "Из списка " + playlist.filename().string() + " не открыто записей: " + std::to_string(skipped)
        + " (адреса в сети или файлы, которых нет)";
}

std::vector<fs::path> ExpandPlaylists(const std::vector<fs::path>& files, std::vector<std::string>& messages)
{
    std::vector<fs::path> tracks;
    for (const fs::path& file : files) {
        if (!IsM3uFile(file)) {
            tracks.push_back(file);
            continue;
        }
        M3uEntries entries = ReadM3u(file);
        if (!entries.error.empty())
            messages.push_back(entries.error);
        else if (entries.skipped > 0)
            messages.push_back(SkippedEntriesMessage(file, entries.skipped));
        tracks.insert(tracks.end(), entries.tracks.begin(), entries.tracks.end());
    }
    return tracks;
}

} // namespace kalvotune::playlists
