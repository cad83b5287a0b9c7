#include "playlists/Registry.hpp"

#include "core/Controls.hpp"
#include "core/FileIO.hpp"
#include "playlists/ListLine.hpp"

#include <algorithm>
#include <map>
#include <string_view>

namespace kalvotune::playlists {

std::filesystem::path RegistryFile(const std::filesystem::path& programDir)
{
    return programDir / kListsFolder / kRegistryName;
}

ListReadResult ReadRegistryWorkList(const std::filesystem::path& file)
{
    ListReadResult registry = ReadListFileChecked(file);
    if (registry.missing())
        registry.lines.clear();
    std::stable_sort(registry.lines.begin(), registry.lines.end(), ListTextLess);
    return registry;
}

std::string RegisteredFolder(const std::vector<std::string>& lines, const std::string& track)
{
    for (const std::string& line : lines)
        if (LinePath(line) == track)
            return LineTemplate(line);
    return {};
}

void AddRegistryLine(std::vector<std::string>& lines, std::string line)
{
    const auto at = std::upper_bound(lines.begin(), lines.end(), line, ListTextLess);
    lines.insert(at, std::move(line));
}

std::vector<std::string> MergeRegistryEdit(
    std::vector<std::string> current, const std::vector<std::string>& read, const std::vector<std::string>& edited)
{
    // How many copies of each line the writer read, and how many it wants.
    std::map<std::string_view, std::pair<std::size_t, std::size_t>> copies;
    for (const std::string& line : read)
        ++copies[line].first;
    for (const std::string& line : edited)
        ++copies[line].second;
    for (const auto& [line, count] : copies) {
        const auto [before, after] = count;
        if (before == after)
            continue;
        const auto held = static_cast<std::size_t>(std::count(current.begin(), current.end(), line));
        // A line the writer added that another writer added meanwhile is there once, not
        // twice; a line it removed goes, whatever copies of it the registry holds beyond
        // the ones the writer keeps.
        if (after > before) {
            for (std::size_t n = held; n < after; ++n)
                AddRegistryLine(current, std::string{line});
        } else {
            for (std::size_t n = held; n > after; --n)
                current.erase(std::find(current.begin(), current.end(), line));
        }
    }
    return current;
}

WriteResult WriteRegistry(
    const std::filesystem::path& programDir, const std::vector<std::string>& read, std::vector<std::string>& edited)
{
    const std::filesystem::path file{RegistryFile(programDir)};
    const FolderLock lock{file.parent_path()};
    ListReadResult current = ReadRegistryWorkList(file);
    if (!current.ok() && !current.missing())
        return {false, current.message};
    std::vector<std::string> merged{MergeRegistryEdit(std::move(current.lines), read, edited)};
    const WriteResult written = WriteListFile(file, merged);
    if (written.ok)
        edited = std::move(merged);
    return written;
}

} // namespace kalvotune::playlists
