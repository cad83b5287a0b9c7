#include "playlists/Lists.hpp"

#include "playlists/ListFile.hpp"
#include "playlists/ListLine.hpp"
#include "playlists/Registry.hpp"
#include "templates/TemplateFolders.hpp"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace kalvotune::playlists {

namespace fs = std::filesystem;

namespace {

constexpr const char* kMyListsStolen{"Кто-то стащил наш список <MyLists>"};
constexpr const char* kMyListsHowTo{
    "Если не сможете найти: откройте папку ...\\Lists и создайте новый пустой документ с помощ. Блокнота; "
    "закройте и переименуйте на  MyLists(без расширения).  Удачи.."};

bool Contains(const std::vector<std::string>& lines, std::string_view text)
{
    return std::find(lines.begin(), lines.end(), text) != lines.end();
}

void InsertAt(std::vector<std::string>& lines, std::size_t index, std::string_view text)
{
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(std::min(index, lines.size())), std::string{text});
}

std::string RegistryLine(const std::string& path, std::string_view templateField)
{
    return "*" + path + "*" + std::string{templateField} + "*";
}

} // namespace

Lists::Lists(Form& form, Services& services, std::function<void(bool)> runPatterns)
    : m_form{form}
    , m_services{services}
    , m_runPatterns{std::move(runPatterns)}
{
}

fs::path Lists::ListsDir() const
{
    return m_form.ProgramDir / kListsFolder;
}

fs::path Lists::ListFilePath(std::string_view name) const
{
    // Names come from files people edit ("../x", "/etc/x", a link to elsewhere): only a
    // plain name that stays inside `Lists` gets a path.
    const std::string plain{name};
    if (!templates::IsPlainFolderName(plain) || plain.find('\0') != std::string::npos)
        return {};
    fs::path file = ListsDir() / plain;
    if (!IsWithin(ListsDir(), file))
        return {};
    return file;
}

bool Lists::WriteList(std::string_view name, const std::vector<std::string>& lines)
{
    const WriteResult result = WriteListFile(ListFilePath(name), lines);
    if (!result.ok)
        m_services.dialogs.ShowError(result.message);
    return result.ok;
}

void Lists::ShowReadError(const fs::path& file, const ListReadResult& read)
{
    if (read.missing())
        m_services.dialogs.ShowError("Не удалось открыть файл " + file.string() + ": " + std::strerror(ENOENT));
    else
        m_services.dialogs.ShowError(read.message);
}

std::optional<std::vector<std::string>> Lists::ReadList(std::string_view name)
{
    const fs::path file = ListFilePath(name);
    ListReadResult read = ReadListFileChecked(file);
    if (!read.ok()) {
        ShowReadError(file, read);
        return std::nullopt;
    }
    return std::move(read.lines);
}

bool Lists::ReadMyListsIntoPanel()
{
    const fs::path file = ListFilePath(kMyListsName);
    const ListReadResult index = ReadListFileChecked(file);
    if (!index.ok()) {
        if (!index.missing())
            ShowReadError(file, index);
        return false;
    }
    m_form.MyListsBox.Clear();
    for (const std::string& name : index.lines)
        m_form.MyListsBox.Add(name);
    return true;
}

void Lists::LoadStartLists()
{
    m_form.CurrentListBox.Clear();
    m_form.MyListsBox.Clear();
    m_form.WorkListBox.Clear();

    // The shipped tracks, in the order the folder listing gives them.
    const fs::path soundDir = m_form.ProgramDir / kSoundFolder;
    std::vector<std::string> tracks;
    std::vector<std::string> refused;
    std::error_code ec;
    for (fs::directory_iterator it{soundDir, ec}, end; !ec && it != end; it.increment(ec)) {
        std::string path = (soundDir / it->path().filename()).string();
        (FitsListLine(path) ? tracks : refused).push_back(std::move(path));
    }
    if (!refused.empty())
        m_services.dialogs.ShowMessage(UnlistableTracksMessage(refused));

    // Most starts find the default list and the index as they were left: a file that
    // already holds the lines is not written again, which spares a flush to disk.
    const auto writeWhenChanged = [this](std::string_view name, const std::vector<std::string>& lines) {
        if (!FileHolds(ListFilePath(name), EncodeListFile(lines)))
            WriteList(name, lines);
    };
    std::vector<std::string> defaultList;
    for (const std::string& path : tracks)
        defaultList.push_back(RegistryLine(path, "0"));
    writeWhenChanged(kDefaultListName, defaultList);

    // The index: a lost `MyLists` is made anew rather than leaving the window without
    // lists; the history list, when its file survived, is put back into it. One that
    // exists but cannot be read still holds the names of the user's lists: it is left
    // alone.
    const fs::path indexFile = ListFilePath(kMyListsName);
    ListReadResult index = ReadListFileChecked(indexFile);
    const bool indexReadable = index.ok() || index.missing();
    if (index.missing() && IsFile(ListFilePath(kHistoryListName)))
        index.lines.emplace_back(kHistoryListName);
    if (indexReadable) {
        if (!Contains(index.lines, kRegistryName))
            InsertAt(index.lines, 0, kRegistryName);
        if (!Contains(index.lines, kDefaultListName))
            InsertAt(index.lines, 1, kDefaultListName);
        writeWhenChanged(kMyListsName, index.lines);
    } else {
        ShowReadError(indexFile, index);
    }

    if (!IsFile(ListFilePath(kRegistryName)))
        WriteList(kRegistryName, {});
    // An unreadable registry is left alone: writing it back would lose its lines.
    if (std::optional<std::vector<std::string>> registry = ReadList(kRegistryName)) {
        const std::vector<std::string> read{*registry};
        const fs::path dataDir = m_form.ProgramDir / kDataFolder;
        std::vector<templates::TemplateFolderResult> installed;
        for (const std::string& path : tracks) {
            const std::string title = TrackTitleOf(path);
            std::error_code dirError;
            // A link in `Data` leading elsewhere is no shipped template: nothing is copied from it.
            if (!templates::IsPlainFolderName(title) || !fs::is_directory(dataDir / title, dirError)
                || !IsWithin(dataDir, dataDir / title))
                continue;
            const templates::TemplateFolderResult made
                = templates::MakeTemplateFolder(dataDir, title, m_services.random);
            if (!made.ok) {
                m_services.dialogs.ShowMessage(made.message);
                continue;
            }
            registry->push_back(RegistryLine(path, made.name));
            installed.push_back(made);
        }
        if (!installed.empty()) {
            std::stable_sort(registry->begin(), registry->end(), ListTextLess);
            // The shipped folders go only once the registry names their copies.
            if (const WriteResult written = WriteRegistry(m_form, read, *registry); !written.ok)
                m_services.dialogs.ShowError(written.message);
            else
                for (const templates::TemplateFolderResult& made : installed)
                    templates::RemoveReplacedFolder(dataDir, made);
        }
    }

    for (const std::string& line : defaultList)
        m_form.CurrentListBox.Add(MakeListItem(line));
    m_form.CurrentListName = std::string{kDefaultListName};
    m_form.caption = " " + std::string{kDefaultListName};
    // The panel would only repeat the index's error; the current list shows instead.
    if (indexReadable)
        ToggleMyLists();
}

void Lists::AddToHistory()
{
    if (m_form.CurrentListName == kHistoryListName)
        return;
    const std::string track = m_form.CurrentTrackName.string();
    if (!FitsListLine(track)) {
        m_services.dialogs.ShowMessage(UnlistableTracksMessage({track}));
        return;
    }
    const std::string newLine = RegistryLine(track, "0");

    // Without `MyLists` the panel is left as it is; start-up makes the index anew.
    const bool haveIndex = ReadMyListsIntoPanel();
    if (!IsFile(ListFilePath(kHistoryListName))) {
        if (!WriteList(kHistoryListName, {}))
            return;
        if (haveIndex) {
            m_form.MyListsBox.Insert(1, std::string{kHistoryListName});
            WriteList(kMyListsName, m_form.MyListsBox.Items());
        }
    }

    std::optional<std::vector<std::string>> history = ReadList(kHistoryListName);
    if (!history)
        return;
    for (std::size_t i = 0; i < history->size();) {
        if (i >= static_cast<std::size_t>(kHistoryLimit)) {
            history->erase(history->begin() + static_cast<std::ptrdiff_t>(i));
            continue;
        }
        if ((*history)[i] == newLine) {
            history->erase(history->begin() + static_cast<std::ptrdiff_t>(i));
            break;
        }
        ++i;
    }
    history->insert(history->begin(), newLine);
    WriteList(kHistoryListName, *history);
}

std::string Lists::LookUpTemplateName(const fs::path& track)
{
    const std::optional<std::vector<std::string>> registry = ReadList(kRegistryName);
    if (!registry)
        return "0";
    const std::string path = track.string();
    for (const std::string& line : *registry)
        if (LinePath(line) == path)
            return LineTemplate(line);
    return "0";
}

void Lists::SaveIntoCurrentList()
{
    const std::string name = m_form.CurrentListName;
    if (name == "0" || name == kRegistryName)
        return;
    // A name taken from a hand-edited index may point outside `Lists` or at the index itself.
    if (name == kMyListsName || !templates::IsPlainFolderName(name) || ListFilePath(name).empty()) {
        m_services.dialogs.ShowMessage("Список <" + name + "> записать нельзя: такое имя списку не годится.");
        return;
    }

    std::vector<std::string> lines;
    lines.reserve(static_cast<std::size_t>(m_form.CurrentListBox.Count()));
    for (const std::string& item : m_form.CurrentListBox.Items())
        lines.push_back(ItemToLine(item));
    std::stable_sort(lines.begin(), lines.end(), ListTextLess);

    // The name joins the index only once its file really exists.
    const bool hadFile = IsFile(ListFilePath(name));
    if (!WriteList(name, lines) || hadFile)
        return;
    if (std::optional<std::vector<std::string>> index = ReadList(kMyListsName)) {
        index->push_back(name);
        if (WriteList(kMyListsName, *index)) {
            m_form.MyListsBox.Clear();
            for (std::string& entry : *index)
                m_form.MyListsBox.Add(std::move(entry));
        }
    }
}

void Lists::ToggleMyLists()
{
    if (m_form.MyListsBox.visible) {
        m_form.MyListsBox.visible = false;
        m_form.CurrentListBox.visible = true;
        return;
    }
    if (!ReadMyListsIntoPanel()) {
        if (IsFile(ListFilePath(kMyListsName)))
            return; // unreadable: the error box has been shown
        m_services.dialogs.ShowMessage(kMyListsStolen);
        m_services.dialogs.ShowMessage(kMyListsHowTo);
        return;
    }
    if (m_runPatterns)
        m_runPatterns(false);
    m_form.MyListsBox.visible = true;
    m_form.SaveIntoListItem.enabled = true;
    m_form.CurrentListBox.visible = false;
}

} // namespace kalvotune::playlists
