#include "playlists/ListFile.hpp"

#include "templates/TemplateFolders.hpp"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>

namespace kalvotune::playlists {

namespace {

constexpr std::string_view kUtf8Mark{"\xEF\xBB\xBF"};

// Characters of the bytes 0x80..0xBF; 0xC0..0xFF are U+0410..U+044F in order.
constexpr std::array<char16_t, 64> kHighHalf{
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, // 0x80
    0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F, // 0x88
    0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, // 0x90
    0x0098, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, // 0x98
    0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7, // 0xA0
    0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407, // 0xA8
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7, // 0xB0
    0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457, // 0xB8
};

char32_t CharOfByte(unsigned char b)
{
    if (b < 0x80)
        return b;
    if (b >= 0xC0)
        return 0x0410 + (b - 0xC0);
    return kHighHalf[b - 0x80];
}

std::optional<unsigned char> ByteOfChar(char32_t c)
{
    if (c < 0x80)
        return static_cast<unsigned char>(c);
    if (c >= 0x0410 && c <= 0x044F)
        return static_cast<unsigned char>(0xC0 + (c - 0x0410));
    const auto at = std::find(kHighHalf.begin(), kHighHalf.end(), static_cast<char16_t>(c));
    if (c > 0xFFFF || at == kHighHalf.end())
        return std::nullopt;
    return static_cast<unsigned char>(0x80 + (at - kHighHalf.begin()));
}

// Decodes the code point at `i` and moves past it; empty for a malformed sequence.
std::optional<char32_t> NextUtf8(std::string_view text, std::size_t& i)
{
    const auto b0 = static_cast<unsigned char>(text[i]);
    int extra = 0;
    char32_t c = 0;
    if (b0 < 0x80) {
        ++i;
        return b0;
    } else if ((b0 & 0xE0) == 0xC0) {
        extra = 1;
        c = b0 & 0x1F;
    } else if ((b0 & 0xF0) == 0xE0) {
        extra = 2;
        c = b0 & 0x0F;
    } else if ((b0 & 0xF8) == 0xF0) {
        extra = 3;
        c = b0 & 0x07;
    } else {
        return std::nullopt;
    }
    if (i + static_cast<std::size_t>(extra) >= text.size())
        return std::nullopt;
    for (int k = 1; k <= extra; ++k) {
        const auto b = static_cast<unsigned char>(text[i + static_cast<std::size_t>(k)]);
        if ((b & 0xC0) != 0x80)
            return std::nullopt;
        c = (c << 6) | (b & 0x3F);
    }
    // Overlong forms would let two spellings of one name compare unequal after a round trip.
    constexpr char32_t kSmallest[] = {0, 0x80, 0x800, 0x10000};
    if (c < kSmallest[extra] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
        return std::nullopt;
    i += static_cast<std::size_t>(extra) + 1;
    return c;
}

} // namespace

void AppendUtf8(std::string& out, char32_t c)
{
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

std::string Cp1251ToUtf8(std::string_view bytes)
{
    std::string out;
    out.reserve(bytes.size() * 2);
    for (const char b : bytes)
        AppendUtf8(out, CharOfByte(static_cast<unsigned char>(b)));
    return out;
}

std::optional<std::string> Utf8ToCp1251(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const std::optional<char32_t> c = NextUtf8(text, i);
        if (!c)
            return std::nullopt;
        const std::optional<unsigned char> b = ByteOfChar(*c);
        if (!b)
            return std::nullopt;
        out += static_cast<char>(*b);
    }
    return out;
}

std::vector<std::string> SplitLines(std::string_view text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos) {
            lines.emplace_back(text.substr(start));
            break;
        }
        lines.emplace_back(text.substr(start, end - start));
        start = end + 1;
        if (text[end] == '\r' && start < text.size() && text[start] == '\n')
            ++start;
    }
    return lines;
}

std::string EncodeListFile(const std::vector<std::string>& lines)
{
    std::string text;
    for (const std::string& line : lines) {
        text += line;
        text += "\r\n";
    }
    // A Windows-1251 text that happens to begin with the mark's bytes ("п»ї") would be
    // read back as UTF-8, so such a file is written as UTF-8 too.
    if (std::optional<std::string> bytes = Utf8ToCp1251(text); bytes && !bytes->starts_with(kUtf8Mark))
        return std::move(*bytes);
    return std::string{kUtf8Mark} + text;
}

std::vector<std::string> DecodeListFile(std::string_view bytes)
{
    if (bytes.starts_with(kUtf8Mark))
        return SplitLines(bytes.substr(kUtf8Mark.size()));
    return SplitLines(Cp1251ToUtf8(bytes));
}

ListReadResult ReadListFileChecked(const std::filesystem::path& file)
{
    const ReadResult read = ReadFileChecked(file, kMaxListFileBytes + 1);
    if (read.ok() && read.bytes.size() > kMaxListFileBytes)
        return {ReadResult::Status::Failed, {},
            "Файл списка " + file.string() + " больше 64 МБ. Это не список: файл не прочитан и не изменён."};
    ListReadResult result{read.status, {}, read.message};
    if (read.ok())
        result.lines = DecodeListFile(BytesView(read.bytes));
    return result;
}

std::optional<std::vector<std::string>> ReadListFile(const std::filesystem::path& file)
{
    ListReadResult read = ReadListFileChecked(file);
    if (!read.ok())
        return std::nullopt;
    return std::move(read.lines);
}

WriteResult WriteListFile(const std::filesystem::path& file, const std::vector<std::string>& lines)
{
    return WriteFileAtomically(file, EncodeListFile(lines));
}

} // namespace kalvotune::playlists

namespace kalvotune::playlists {

std::filesystem::path ListFileIn(const std::filesystem::path& listsDir, std::string_view name)
{
    // Names come from files people edit ("../x", "/etc/x", a link to elsewhere): only a
    // plain name that stays inside `Lists` gets a path.
    const std::string plain{name};
    if (!templates::IsPlainFolderName(plain) || plain.find('\0') != std::string::npos)
        return {};
    std::filesystem::path file = listsDir / plain;
    if (!IsWithin(listsDir, file))
        return {};
    return file;
}

std::string ListReadErrorText(const std::filesystem::path& file, const ListReadResult& read)
{
    if (read.missing())
        return "Не удалось открыть файл " + file.string() + ": " + std::strerror(ENOENT);
    return read.message;
}

} // namespace kalvotune::playlists
