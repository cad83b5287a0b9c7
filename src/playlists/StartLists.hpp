#pragma once

#include "core/Random.hpp"

#include <filesystem>
#include <string>
#include <vector>

namespace kalvotune::playlists {

/// A message of the preparation, shown by the window in a plain message box or, for a
/// file that could not be read or written, in an error box; a command prints it.
struct StartNotice {
    bool error{};
    std::string text;
};

/// What preparing the program folder gave.
struct PreparedStartLists {
    /// The lines of "Калейдоскоп": the shipped tracks in `Sound`, in folder order.
    std::vector<std::string> defaultList;
    /// False when `MyLists` exists but cannot be read (it is then left untouched).
    bool indexReadable{};
    std::vector<StartNotice> notices;
};

/// Prepares the lists of the program folder `programDir` as every start needs them,
/// the window's and each command's alike: settles a template registration a kill cut
/// short, rebuilds "Калейдоскоп" from `Sound`, repairs `MyLists` (creating it when it is
/// missing), creates the registry when it is missing and registers the templates that
/// ship in `Data` for the tracks of `Sound`, each once. A `Sound` entry whose name a list
/// line cannot carry is left out with one notice; a file that already holds what it
/// should is not written again. An unreadable `MyLists` or registry is left as it is.
/// Safe while another start of the program runs: registrations take turns.
PreparedStartLists PrepareStartLists(const std::filesystem::path& programDir, Random& random);

} // namespace kalvotune::playlists
