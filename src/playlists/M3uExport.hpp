#pragma once

#include "core/Form.hpp"
#include "core/Services.hpp"

namespace kalvotune::playlists {

/// "Сохранить как M3U8…": writes the current list for other players.
class M3uExport {
public:
    /// Both references must outlive the object.
    M3uExport(Form& form, Dialogs& dialogs);

    /// Asks for a file with the save dialog and writes the paths of `CurrentListBox`'s entries
    /// there as an M3U8 playlist (`.m3u8` added when the name has no playlist extension),
    /// in one atomic write. An empty list, a cancelled dialog or a failed write leave
    /// every file as it was.
    void SaveAsM3u();

private:
    Form& m_form;
    Dialogs& m_dialogs;
};

} // namespace kalvotune::playlists
