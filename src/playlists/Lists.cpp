#include "playlists/Lists.hpp"

#include "playlists/ListFile.hpp"
#include "playlists/ListLine.hpp"
#include "playlists/Registry.hpp"
#include "playlists/StartLists.hpp"
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
    return ListFileIn(ListsDir(), name);
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
    m_services.dialogs.ShowError(ListReadErrorText(file, read));
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

    const PreparedStartLists prepared = PrepareStartLists(m_form.ProgramDir, m_services.random);
    for (const StartNotice& notice : prepared.notices) {
        if (notice.error)
            m_services.dialogs.ShowError(notice.text);
        else
            m_services.dialogs.ShowMessage(notice.text);
    }

    for (const std::string& line : prepared.defaultList)
        m_form.CurrentListBox.Add(MakeListItem(line));
    m_form.CurrentListName = std::string{kDefaultListName};
    m_form.caption = " " + std::string{kDefaultListName};
    // The panel would only repeat the index's error; the current list shows instead.
    if (prepared.indexReadable)
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
