#include "fuzz/FuzzSupport.hpp"

#include "core/FileIO.hpp"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace kalvotune::fuzz {

namespace {

constexpr std::string_view kSectionMark{"\n#~#\n"};

} // namespace

std::vector<std::string_view> SplitSections(const std::uint8_t* data, std::size_t size, std::size_t count)
{
    std::vector<std::string_view> sections;
    std::string_view rest = AsText(data, size);
    while (sections.size() + 1 < count) {
        const std::size_t mark = rest.find(kSectionMark);
        if (mark == std::string_view::npos)
            break;
        sections.push_back(rest.substr(0, mark));
        rest.remove_prefix(mark + kSectionMark.size());
    }
    sections.push_back(rest);
    sections.resize(count);
    return sections;
}

void PutFile(const std::filesystem::path& file, std::string_view bytes)
{
    std::error_code ec;
    std::filesystem::create_directories(file.parent_path(), ec);
    WriteFileAtomically(file, bytes);
}

std::string WithProgramDir(std::string_view text, const std::filesystem::path& programDir)
{
    std::string out;
    const std::string dir = programDir.string();
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '$' && i + 1 < text.size() && text[i + 1] == 'P') {
            out += dir;
            ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::string ExpandPicture(std::string_view input)
{
    constexpr std::size_t kHeader{54};
    if (input.size() < kHeader + 4)
        return std::string{input};
    std::uint32_t length = 0;
    for (int i = 0; i < 4; ++i)
        length |= static_cast<std::uint32_t>(static_cast<std::uint8_t>(input[kHeader + static_cast<std::size_t>(i)]))
            << (8 * i);
    length %= (4u << 20) + 64;
    std::string file{input.substr(0, std::min<std::size_t>(kHeader, length))};
    const std::string_view pattern = input.substr(kHeader + 4);
    if (pattern.empty()) {
        file.resize(length, '\0');
        return file;
    }
    // The pattern once, then the repeated part doubled until the file is long enough: a
    // one-byte pattern takes twenty appends for a megabyte, not a million.
    const std::size_t start = file.size();
    file.reserve(length);
    file.append(pattern.substr(0, length - start));
    while (file.size() < length)
        file.append(file, start, std::min(file.size() - start, length - file.size()));
    return file;
}

void Require(bool condition, const char* what)
{
    if (condition)
        return;
    std::fprintf(stderr, "property failed: %s\n", what);
    std::abort();
}

} // namespace kalvotune::fuzz
