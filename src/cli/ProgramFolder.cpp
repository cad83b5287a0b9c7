#include "cli/ProgramFolder.hpp"

#include "playlists/StartLists.hpp"

namespace kalvotune::cli {

void PrepareProgramFolder(const std::filesystem::path& programDir, Random& random, std::ostream& err)
{
    for (const playlists::StartNotice& notice : playlists::PrepareStartLists(programDir, random).notices)
        err << notice.text << '\n';
}

} // namespace kalvotune::cli
