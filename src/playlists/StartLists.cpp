#include "playlists/StartLists.hpp"

#include "playlists/ListFile.hpp"
#include "playlists/ListLine.hpp"
#include "playlists/Registry.hpp"
#include "playlists/TemplateRegistration.hpp"
#include "templates/TemplateFolders.hpp"

#include <algorithm>

namespace kalvotune::playlists {

namespace fs = std::filesystem;

namespace {

bool Contains(const std::vector<std::string>& lines, std::string_view text)
{
    return std::find(lines.begin(), lines.end(), text) != lines.end();
}

void InsertAt(std::vector<std::string>& lines, std::size_t index, std::string_view text)
{
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(std::min(index, lines.size())), std::string{text});
}

std::string TrackLine(const std::string& path, std::string_view templateField)
{
    return "*" + path + "*" + std::string{templateField} + "*";
}

// Registers the template folders that ship in `Data` under the titles of `tracks`: each
// is copied to a folder of its own, registered, and the shipped folder goes.
void RegisterShippedTemplates(
    const fs::path& programDir, const std::vector<std::string>& tracks, Random& random, PreparedStartLists& prepared)
{
    const fs::path dataDir = programDir / kDataFolder;
    TemplateRegistration registration{programDir};
    // Read under the registration's lock: another start that registered the shipped
    // folders meanwhile has removed them.
    ListReadResult registry = ReadRegistryWorkList(RegistryFile(programDir));
    if (!registry.ok()) {
        if (!registry.missing())
            prepared.notices.push_back({true, registry.message});
        return;
    }
    const std::vector<std::string> read{registry.lines};
    bool made{};
    for (const std::string& path : tracks) {
        const std::string title = TrackTitleOf(path);
        std::error_code dirError;
        // A link in `Data` leading elsewhere is no shipped template: nothing is copied from it.
        if (!templates::IsPlainFolderName(title) || !fs::is_directory(dataDir / title, dirError)
            || !IsWithin(dataDir, dataDir / title))
            continue;
        const templates::TemplateFolderResult folder
            = templates::MakeTemplateFolder(dataDir, title, random, std::nullopt, registration.AnnounceFor(path));
        if (!folder.ok) {
            prepared.notices.push_back({false, folder.message});
            continue;
        }
        AddRegistryLine(registry.lines, TrackLine(path, folder.name));
        made = true;
    }
    if (!made)
        return;
    // The shipped folders go only once the registry names their copies.
    if (const WriteResult written = WriteRegistry(programDir, read, registry.lines); !written.ok)
        prepared.notices.push_back({true, written.message});
    else
        registration.Registered();
}

} // namespace

PreparedStartLists PrepareStartLists(const fs::path& programDir, Random& random)
{
    PreparedStartLists prepared;
    const fs::path listsDir = programDir / kListsFolder;
    // A program folder whose lists were lost (or never unpacked) gets the folder back, so
    // the lists below can be written instead of each failing.
    std::error_code made;
    fs::create_directories(listsDir, made);
    if (std::string unsettled = SettleCutRegistrations(programDir); !unsettled.empty())
        prepared.notices.push_back({true, std::move(unsettled)});

    // The shipped tracks, in the order the folder listing gives them.
    const fs::path soundDir = programDir / kSoundFolder;
    std::vector<std::string> tracks;
    std::vector<std::string> refused;
    std::error_code ec;
    for (fs::directory_iterator it{soundDir, ec}, end; !ec && it != end; it.increment(ec)) {
        std::string path = (soundDir / it->path().filename()).string();
        (FitsListLine(path) ? tracks : refused).push_back(std::move(path));
    }
    if (!refused.empty())
        prepared.notices.push_back({false, UnlistableTracksMessage(refused)});

    const auto write = [&](std::string_view name, const std::vector<std::string>& lines) {
        const WriteResult written = WriteListFile(ListFileIn(listsDir, name), lines);
        if (!written.ok)
            prepared.notices.push_back({true, written.message});
    };
    // Most starts find the default list and the index as they were left: a file that
    // already holds the lines is not written again, which spares a flush to disk.
    const auto writeWhenChanged = [&](std::string_view name, const std::vector<std::string>& lines) {
        if (!FileHolds(ListFileIn(listsDir, name), EncodeListFile(lines)))
            write(name, lines);
    };
    for (const std::string& path : tracks)
        prepared.defaultList.push_back(TrackLine(path, "0"));
    writeWhenChanged(kDefaultListName, prepared.defaultList);

    // The index: a lost `MyLists` is made anew rather than leaving the window without
    // lists; the history list, when its file survived, is put back into it. One that
    // exists but cannot be read still holds the names of the user's lists: it is left
    // alone.
    const fs::path indexFile = ListFileIn(listsDir, kMyListsName);
    ListReadResult index = ReadListFileChecked(indexFile);
    prepared.indexReadable = index.ok() || index.missing();
    if (index.missing() && IsFile(ListFileIn(listsDir, kHistoryListName)))
        index.lines.emplace_back(kHistoryListName);
    if (prepared.indexReadable) {
        if (!Contains(index.lines, kRegistryName))
            InsertAt(index.lines, 0, kRegistryName);
        if (!Contains(index.lines, kDefaultListName))
            InsertAt(index.lines, 1, kDefaultListName);
        writeWhenChanged(kMyListsName, index.lines);
    } else {
        prepared.notices.push_back({true, ListReadErrorText(indexFile, index)});
    }

    const fs::path registryFile = ListFileIn(listsDir, kRegistryName);
    if (!IsFile(registryFile))
        write(kRegistryName, {});
    // An unreadable registry is left alone: writing it back would lose its lines.
    if (const ListReadResult registry = ReadListFileChecked(registryFile); !registry.ok())
        prepared.notices.push_back({true, ListReadErrorText(registryFile, registry)});
    else
        RegisterShippedTemplates(programDir, tracks, random, prepared);
    return prepared;
}

} // namespace kalvotune::playlists
