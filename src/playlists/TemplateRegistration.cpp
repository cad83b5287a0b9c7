#include "playlists/TemplateRegistration.hpp"

#include "playlists/ListFile.hpp"
#include "playlists/ListLine.hpp"
#include "playlists/Registry.hpp"
#include "templates/TemplateFolders.hpp"
#include "templates/TemplateLoader.hpp"

#include <algorithm>

namespace kalvotune::playlists {

namespace fs = std::filesystem;

namespace {

fs::path JournalFile(const fs::path& programDir)
{
    return programDir / kListsFolder / kRegistrationJournalName;
}

std::string LineOf(const TemplateRegistration::Entry& entry)
{
    return "*" + entry.track + "*" + entry.folder + "*";
}

// Two lines an entry: the registry line, then the folder taken over ("" for none).
std::vector<TemplateRegistration::Entry> ReadJournal(const fs::path& programDir)
{
    const std::vector<std::string> lines = ReadListFile(JournalFile(programDir)).value_or(std::vector<std::string>{});
    std::vector<TemplateRegistration::Entry> entries;
    for (std::size_t i = 0; i + 1 < lines.size(); i += 2)
        entries.push_back({LinePath(lines[i]), LineTemplate(lines[i]), lines[i + 1]});
    return entries;
}

WriteResult WriteJournal(const fs::path& programDir, const std::vector<TemplateRegistration::Entry>& entries)
{
    std::vector<std::string> lines;
    for (const TemplateRegistration::Entry& entry : entries) {
        lines.push_back(LineOf(entry));
        lines.push_back(entry.replaced);
    }
    // The write flushes the journal's folder too: its name reaches the disk before the
    // template folder's does.
    return WriteListFile(JournalFile(programDir), lines);
}

bool Names(const std::vector<std::string>& registry, const std::string& folder)
{
    return std::any_of(
        registry.begin(), registry.end(), [&](const std::string& l) { return LineTemplate(l) == folder; });
}

void RemoveUnnamedFolder(const fs::path& data, const std::vector<std::string>& registry, const std::string& folder)
{
    if (templates::IsPlainFolderName(folder) && !Names(registry, folder))
        templates::DeleteFolderTree(data / folder);
}

// Gives every folder of `entries` its registry line (only with `finish`) or removes it;
// then the folders the registered ones took over go, and so does the journal. Empty when
// done, else the message.
std::string Settle(const fs::path& programDir, const std::vector<TemplateRegistration::Entry>& entries, bool finish)
{
    const fs::path data = programDir / kDataFolder;
    ListReadResult registry = ReadRegistryWorkList(RegistryFile(programDir));
    if (!registry.ok() && !registry.missing())
        return registry.message;
    const std::vector<std::string> read{registry.lines};
    std::vector<std::string>& lines = registry.lines;
    std::vector<std::string> registered;
    std::vector<std::string> dropped;
    for (const TemplateRegistration::Entry& entry : entries) {
        if (!templates::IsPlainFolderName(entry.folder))
            continue;
        if (Names(lines, entry.folder)) {
            registered.push_back(entry.replaced);
            continue;
        }
        if (!finish || !IsFile(data / entry.folder / templates::kSpeedFile) || !FitsListLine(entry.track)) {
            templates::DeleteFolderTree(data / entry.folder);
            continue;
        }
        std::erase_if(lines, [&](const std::string& line) {
            if (LinePath(line) != entry.track)
                return false;
            dropped.push_back(LineTemplate(line));
            return true;
        });
        AddRegistryLine(lines, LineOf(entry));
        registered.push_back(entry.replaced);
    }
    if (lines != read)
        if (const WriteResult written = WriteRegistry(programDir, read, lines); !written.ok)
            return written.message;
    for (const std::string& folder : registered)
        RemoveUnnamedFolder(data, lines, folder);
    for (const std::string& folder : dropped)
        RemoveUnnamedFolder(data, lines, folder);
    std::error_code ec;
    fs::remove(JournalFile(programDir), ec);
    return {};
}

} // namespace

TemplateRegistration::TemplateRegistration(fs::path programDir)
    : m_programDir{std::move(programDir)}
    , m_lock{m_programDir / kDataFolder}
    , m_entries{ReadJournal(m_programDir)}
{
    // What cannot be settled now stays in the journal beside this registration's entries.
    if (!m_entries.empty() && Settle(m_programDir, m_entries, true).empty())
        m_entries.clear();
}

TemplateRegistration::~TemplateRegistration()
{
    // The writer said the registration failed: its folders go rather than appear later.
    if (!m_entries.empty())
        Settle(m_programDir, m_entries, false);
}

std::function<WriteResult(const std::string&, const std::string&)> TemplateRegistration::AnnounceFor(std::string track)
{
    return [this, track = std::move(track)](const std::string& folder, const std::string& replaced) {
        m_entries.push_back({track, folder, replaced});
        const WriteResult written = WriteJournal(m_programDir, m_entries);
        if (!written.ok)
            m_entries.pop_back();
        return written;
    };
}

void TemplateRegistration::Registered()
{
    for (const Entry& entry : m_entries)
        templates::RemoveReplacedFolder(m_programDir / kDataFolder, {true, entry.folder, {}, entry.replaced});
    m_entries.clear();
    std::error_code ec;
    fs::remove(JournalFile(m_programDir), ec);
}

std::string SettleCutRegistrations(const fs::path& programDir)
{
    const FolderLock lock{programDir / kDataFolder};
    const std::vector<TemplateRegistration::Entry> entries = ReadJournal(programDir);
    if (entries.empty()) {
        std::error_code ec;
        fs::remove(JournalFile(programDir), ec);
        return {};
    }
    return Settle(programDir, entries, true);
}

} // namespace kalvotune::playlists
