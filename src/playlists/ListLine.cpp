#include "playlists/ListLine.hpp"

#include <cstdio>

namespace kalvotune::playlists {

namespace {

constexpr std::string_view kTemplateTail{"*0*"};
constexpr std::string_view kTagGap{"       "};

bool IsContinuationByte(char c)
{
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// Byte offset of the character with zero-based index `index`; the text's size when the
// text is shorter.
std::size_t ByteOffsetOfChar(std::string_view text, std::size_t index)
{
    std::size_t chars = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (IsContinuationByte(text[i]))
            continue;
        if (chars == index)
            return i;
        ++chars;
    }
    return text.size();
}

std::string_view DropLastChars(std::string_view text, int count)
{
    std::size_t end = text.size();
    for (int k = 0; k < count && end > 0; ++k) {
        --end;
        while (end > 0 && IsContinuationByte(text[end]))
            --end;
    }
    return text.substr(0, end);
}

// The text between the n-th and the (n+1)-th '*' (n counting from 1); empty when the
// text has fewer than n + 1 of them.
std::string_view Field(std::string_view text, int n)
{
    std::size_t open = std::string_view::npos;
    std::size_t from = 0;
    for (int k = 0; k < n; ++k) {
        open = text.find('*', from);
        if (open == std::string_view::npos)
            return {};
        from = open + 1;
    }
    const std::size_t close = text.find('*', from);
    if (close == std::string_view::npos)
        return {};
    return text.substr(from, close - from);
}

bool IsAsciiLetter(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

} // namespace

std::string MakeListItem(std::string_view line)
{
    std::string_view tag;
    std::string_view path;
    std::size_t open = std::string_view::npos;
    if (!line.empty() && line.front() == '*') {
        open = 0;
    } else {
        // The opening '*' must stand before the last character; a lone trailing '*'
        // opens nothing.
        const std::size_t star = line.find('*');
        if (star != std::string_view::npos && star + 1 < line.size()) {
            open = star;
            tag = line.substr(0, star);
        }
    }
    if (open != std::string_view::npos) {
        const std::size_t close = line.find('*', open + 1);
        if (close != std::string_view::npos)
            path = line.substr(open + 1, close - open - 1);
    }
    if (tag == "0")
        tag = {};

    std::string item = TrackTitleOf(path);
    if (!tag.empty()) {
        item += kTagGap;
        item += tag;
    }
    item.append(static_cast<std::size_t>(kItemPadWidth), ' ');
    item += '*';
    item += path;
    item += kTemplateTail;
    return item;
}

std::string ItemToLine(std::string_view item)
{
    const std::size_t from = ByteOffsetOfChar(item, static_cast<std::size_t>(kItemPadWidth - 1));
    const std::size_t star = item.find('*', from);
    if (star == std::string_view::npos)
        return {};
    return std::string{item.substr(star)};
}

std::string LinePath(std::string_view text)
{
    return std::string{Field(text, 1)};
}

std::string_view LinePathView(std::string_view text)
{
    return Field(text, 1);
}

std::string LineTemplate(std::string_view line)
{
    return std::string{Field(line, 2)};
}

bool IsWindowsPath(std::string_view path)
{
    const bool drivePath = path.size() >= 2 && IsAsciiLetter(path[0]) && path[1] == ':';
    return drivePath || path.starts_with("\\\\");
}

std::string TrackFolderOf(std::string_view path)
{
    std::size_t cut = path.rfind('/');
    if (IsWindowsPath(path))
        cut = path.find_last_of("\\/");
    return cut == std::string_view::npos ? std::string{} : std::string{path.substr(0, cut)};
}

std::string TrackTitleOf(std::string_view path)
{
    std::size_t cut = path.rfind('/');
    if (cut == std::string_view::npos && IsWindowsPath(path))
        cut = path.find_last_of("\\:");
    const std::string_view name = cut == std::string_view::npos ? path : path.substr(cut + 1);
    return std::string{DropLastChars(name, 4)};
}

std::string DatedListName(std::string_view prefix, const LocalDateTime& now)
{
    char stamp[96];
    std::snprintf(stamp, sizeof stamp, "%02d.%02d.%04d %02d'%02d'%02d", now.day, now.month, now.year, now.hour,
        now.minute, now.second);
    return std::string{prefix} + stamp;
}

bool HasForbiddenChars(std::string_view name, Dialogs& dialogs)
{
    if (name.find_first_of("/><:*|?\"") == std::string_view::npos)
        return false;
    dialogs.ShowMessage("Увы, закорючки   /><:*|?\"  в имени файла(трека) запрещены \"Windows\".");
    return true;
}

bool FitsListLine(std::string_view path)
{
    return path.find_first_of("*\r\n") == std::string_view::npos;
}

std::string UnlistableTracksMessage(const std::vector<std::string>& paths)
{
    std::string text{"Знак * или перевод строки в имени файла не помещается в строку списка. "
                     "Эти файлы в список не внесены:"};
    for (const std::string& path : paths)
        text += "\n" + path;
    return text;
}

} // namespace kalvotune::playlists
