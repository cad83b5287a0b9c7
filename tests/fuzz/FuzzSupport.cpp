#include "fuzz/FuzzSupport.hpp"

#include "core/FileIO.hpp"

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

void Require(bool condition, const char* what)
{
    if (condition)
        return;
    std::fprintf(stderr, "property failed: %s\n", what);
    std::abort();
}

} // namespace kalvotune::fuzz
