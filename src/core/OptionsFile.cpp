#include "core/OptionsFile.hpp"

#include <charconv>
#include <set>
#include <string>
#include <vector>

namespace kalvotune {

namespace {

// A whole-number option: its key in the file, its field and its range.
struct IntOption {
    std::string_view key;
    int Options::*field;
    int min;
    int max;
};

constexpr IntOption kIntOptions[]{
    {"PictureDelayMs", &Options::pictureDelayMs, kMinPictureDelayMs, kMaxPictureDelayMs},
    {"AutoMusicTemplates", &Options::autoMusicTemplates, 0, 1},
};

// A text option: its key in the file and its field; the value is the rest of the line.
struct TextOption {
    std::string_view key;
    std::string Options::*field;
};

constexpr TextOption kTextOptions[]{
    {"SoundSource", &Options::soundSource},
};

std::string_view Trim(std::string_view text)
{
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
    while (!text.empty() && blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && blank(text.back()))
        text.remove_suffix(1);
    return text;
}

std::optional<int> ParseInt(std::string_view text, int min, int max)
{
    text = Trim(text);
    if (!text.empty() && text.front() == '+')
        text.remove_prefix(1);
    int value{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc{} || end != text.data() + text.size() || value < min || value > max)
        return std::nullopt;
    return value;
}

std::vector<std::string> SplitLines(const std::string& text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find('\n', start);
        lines.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    return lines;
}

std::string_view KeyOf(std::string_view line)
{
    const std::size_t equals = line.find('=');
    return equals == std::string_view::npos ? std::string_view{} : Trim(line.substr(0, equals));
}

std::vector<std::string> ReadLines(const std::filesystem::path& file)
{
    const std::optional<Bytes> bytes = ReadFileBytes(file);
    if (!bytes)
        return {};
    return SplitLines(std::string(bytes->begin(), bytes->end()));
}

} // namespace

std::optional<int> ParsePictureDelay(std::string_view text)
{
    return ParseInt(text, kMinPictureDelayMs, kMaxPictureDelayMs);
}

Options ReadOptions(const std::filesystem::path& file)
{
    Options options;
    for (const std::string& line : ReadLines(file)) {
        const std::string_view key = KeyOf(line);
        for (const IntOption& option : kIntOptions) {
            if (key != option.key)
                continue;
            const std::string_view value = std::string_view{line}.substr(line.find('=') + 1);
            if (const std::optional<int> parsed = ParseInt(value, option.min, option.max))
                options.*option.field = *parsed;
        }
        for (const TextOption& option : kTextOptions)
            if (key == option.key)
                options.*option.field = Trim(std::string_view{line}.substr(line.find('=') + 1));
    }
    return options;
}

WriteResult WriteOptions(const std::filesystem::path& file, const Options& options)
{
    std::set<std::string_view> known;
    std::string text;
    for (const IntOption& option : kIntOptions) {
        known.insert(option.key);
        text += std::string{option.key} + "=" + std::to_string(options.*option.field) + "\n";
    }
    for (const TextOption& option : kTextOptions) {
        known.insert(option.key);
        // Empty is the default and needs no line; a line end would start a line of its own.
        const std::string& value = options.*option.field;
        if (!value.empty() && value.find_first_of("\r\n") == std::string::npos)
            text += std::string{option.key} + "=" + value + "\n";
    }
    for (const std::string& line : ReadLines(file))
        if (!Trim(line).empty() && !known.contains(KeyOf(line)))
            text += line + "\n";
    return WriteFileAtomically(file, text);
}

} // namespace kalvotune
