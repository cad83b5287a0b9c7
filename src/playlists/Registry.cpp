#include "playlists/Registry.hpp"

#include "core/FileIO.hpp"
#include "playlists/ListLine.hpp"

#include <algorithm>
#include <iterator>

namespace kalvotune::playlists {

std::filesystem::path RegistryFile(const std::filesystem::path& programDir)
{
    return programDir / kListsFolder / kRegistryName;
}

std::filesystem::path RegistryFile(const Form& form)
{
    return RegistryFile(form.ProgramDir);
}

ListReadResult ReadRegistryWorkList(const Form& form)
{
    return ReadRegistryWorkList(RegistryFile(form));
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
    std::vector<std::string> before{read}, after{edited}, removed, added;
    std::sort(before.begin(), before.end());
    std::sort(after.begin(), after.end());
    std::set_difference(before.begin(), before.end(), after.begin(), after.end(), std::back_inserter(removed));
    std::set_difference(after.begin(), after.end(), before.begin(), before.end(), std::back_inserter(added));
    for (const std::string& line : removed)
        if (const auto at = std::find(current.begin(), current.end(), line); at != current.end())
            current.erase(at);
    for (std::string& line : added)
        AddRegistryLine(current, std::move(line));
    return current;
}

WriteResult WriteRegistry(const Form& form, const std::vector<std::string>& read, std::vector<std::string>& edited)
{
    const std::filesystem::path file{RegistryFile(form)};
    const FolderLock lock{file.parent_path()};
    ListReadResult current = ReadRegistryWorkList(form);
    if (!current.ok() && !current.missing())
        return {false, current.message};
    std::vector<std::string> merged{MergeRegistryEdit(std::move(current.lines), read, edited)};
    const WriteResult written = WriteListFile(file, merged);
    if (written.ok)
        edited = std::move(merged);
    return written;
}

} // namespace kalvotune::playlists
