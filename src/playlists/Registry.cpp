#include "playlists/Registry.hpp"

#include "playlists/ListLine.hpp"

#include <algorithm>

namespace kalvotune::playlists {

std::filesystem::path RegistryFile(const Form& form)
{
    return form.ProgramDir / kListsFolder / kRegistryName;
}

ListReadResult ReadRegistryWorkList(const Form& form)
{
    ListReadResult registry = ReadListFileChecked(RegistryFile(form));
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

} // namespace kalvotune::playlists
