#pragma once

#include "core/Form.hpp"
#include "core/Services.hpp"
#include "playlists/Lists.hpp"
#include "playlists/PlayControls.hpp"

#include <filesystem>
#include <string>
#include <string_view>

namespace kalvotune::playlists {

/// The input box that asks for the name of a new list.
inline constexpr std::string_view kNewListTitle{"Сохранение нового списка"};
inline constexpr std::string_view kNewListPrompt{
    "Назовите (не обязательно), не используя знаков,запрещенных Windows в имени файлов   "
    "\\ / : * ? < > | и двойные кавычки."};

/// Commands on the user's named lists in the panel `MyListsBox`: opening lists into the
/// current list, saving the current list as a new list and deleting lists. The panel
/// itself ("My") and writing back into the current list's file are `Lists`'
/// `ToggleMyLists` and `SaveIntoCurrentList`. Every handler runs on the window's
/// thread and reads the files it needs when it runs.
class MyLists {
public:
    /// All references must outlive the object.
    MyLists(Form& form, Services& services, Lists& lists, PlayControls& player);

    /// Replaces the current list by the lists selected in the panel, in panel order; the
    /// last one opened becomes `CurrentListName`. A selected list without a file gets its
    /// message and the others still open; when none of them opens, the current list stays.
    void OpenSelectedLists();
    /// Asks for a name (the caption proposed) and writes the current list into a new list
    /// file, then appends the name to `MyLists`. A refused name asks again; a failed write
    /// changes nothing but the file system's error box.
    void SaveAsNewList();
    /// Deletes the selected lists and their names in `MyLists`: never `Kalvotune`, "Былое"
    /// only after Yes.
    void DeleteSelectedLists();

private:
    Form& m_form;
    Services& m_services;
    Lists& m_lists;
    PlayControls& m_player;
};

/// True, after showing why, when `name` cannot become a new list in `listsDir`: it holds a
/// forbidden character (the message of `HasForbiddenChars`), it is empty, or a file of
/// that name exists or the name is one of the program's own ("." and "..", `MyLists`,
/// `Kalvotune`, `TempFile`), both shown as "Список <" + name + `takenTail`.
bool NewListNameRefused(
    const std::string& name, const std::filesystem::path& listsDir, std::string_view takenTail, Dialogs& dialogs);

} // namespace kalvotune::playlists
