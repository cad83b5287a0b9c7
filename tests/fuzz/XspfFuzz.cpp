// XSPF playlists: the <location> of each track, XML entities and %XX escapes.
#include "fuzz/PlaylistFuzz.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    kalvotune::fuzz::CheckPlaylistReader(data, size, &kalvotune::playlists::ParseXspf);
    return 0;
}
