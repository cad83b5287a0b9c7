// M3U and M3U8 playlists (one reader): comments, #EXTINF, code pages, file URLs, Windows and relative paths.
#include "fuzz/PlaylistFuzz.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    kalvotune::fuzz::CheckPlaylistReader(data, size, &kalvotune::playlists::ParseM3u);
    return 0;
}
