#pragma once

#include "core/FileIO.hpp"

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace kalvotune::playlists {

/// The journal of template registrations, beside the registry in `Lists`.
inline constexpr std::string_view kRegistrationJournalName{"Kalvotune.journal"};

/// Registers new template folders so that a kill at any moment leaves each either named
/// by the registry or gone. Before a folder appears in `Data`, the line that is to name
/// it is recorded in the journal (written and flushed); once the registry holds the line
/// and the folder it took over is removed, the journal goes. What a kill leaves in the
/// journal is settled by the next start (`SettleCutRegistrations`): a folder that holds
/// its speed channel, which every writer writes last, gets its line (any other line of
/// its track goes); any other folder is removed. The object holds a lock on `Data` while
/// it lives, so one registration runs at a time across the program's processes and
/// settling never meets a registration that is still running.
///
/// Typical use: construct, pass `AnnounceFor(track)` to `templates::MakeTemplateFolder`,
/// write the folder's files, write the registry, then call `Registered()`.
class TemplateRegistration {
public:
    /// Takes the lock and first settles what an earlier registration left in the journal.
    explicit TemplateRegistration(std::filesystem::path programDir);
    /// A registration given up before `Registered()` (a failed write) is undone: the
    /// folders it made that the registry does not name are removed.
    ~TemplateRegistration();
    TemplateRegistration(const TemplateRegistration&) = delete;
    TemplateRegistration& operator=(const TemplateRegistration&) = delete;

    /// The `announce` of `templates::MakeTemplateFolder` for a folder of `track`: records
    /// the folder's name and the folder it takes over in the journal.
    std::function<WriteResult(const std::string&, const std::string&)> AnnounceFor(std::string track);

    /// The registry names every announced folder now: the folders they took over are
    /// removed, and the journal goes.
    void Registered();

    /// One announced folder.
    struct Entry {
        std::string track;
        std::string folder;
        std::string replaced;
    };

private:
    std::filesystem::path m_programDir;
    FolderLock m_lock;
    std::vector<Entry> m_entries;
};

/// Start-up: settles the registrations a kill cut short. Empty when done; otherwise the
/// program's message (the registry could not be read or written), and the journal stays
/// for the next start.
std::string SettleCutRegistrations(const std::filesystem::path& programDir);

} // namespace kalvotune::playlists
