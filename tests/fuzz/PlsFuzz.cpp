// PLS playlists: the FileN= entries among titles, lengths and the header.
#include "fuzz/PlaylistFuzz.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    kalvotune::fuzz::CheckPlaylistReader(data, size, &kalvotune::playlists::ParsePls);
    return 0;
}
