// The start picture `ScreenShot.BMP`.
#include "core/SurfaceFile.hpp"
#include "fuzz/FuzzSupport.hpp"
#include "support/TempDir.hpp"

#include <algorithm>

using namespace kalvotune;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const testing::TempDir dir;
    static Surface surface;
    const std::filesystem::path file = dir.Path() / "ScreenShot.BMP";
    fuzz::PutFile(file, fuzz::AsText(data, size));

    // A picture that is not loaded leaves the surface as it was: every byte 0x5A.
    for (int y = 0; y < Surface::kHeight; ++y)
        std::fill_n(surface.Row(y), Surface::kRowBytes, std::uint8_t{0x5A});
    const std::uint64_t revision = surface.revision;
    const bool loaded = LoadSurfaceBmp(file, surface);
    if (!loaded) {
        fuzz::Require(surface.revision == revision, "a refused picture bumped the revision");
        for (int y = 0; y < Surface::kHeight; ++y)
            fuzz::Require(std::all_of(surface.Row(y), surface.Row(y) + Surface::kRowBytes,
                              [](std::uint8_t b) { return b == 0x5A; }),
                "a refused picture changed the surface");
        return 0;
    }
    fuzz::Require(size >= 54 + static_cast<std::size_t>(Surface::kStride) * Surface::kHeight, "a short file loaded");
    // What loaded saves and loads again unchanged.
    const Bytes encoded = EncodeSurfaceBmp(surface);
    fuzz::PutFile(file, std::string_view{reinterpret_cast<const char*>(encoded.data()), encoded.size()});
    static Surface again;
    fuzz::Require(LoadSurfaceBmp(file, again), "a saved picture does not load");
    for (int y = 0; y < Surface::kHeight; ++y)
        fuzz::Require(std::equal(surface.Row(y), surface.Row(y) + Surface::kRowBytes, again.Row(y)),
            "a saved picture loads differently");
    return 0;
}
