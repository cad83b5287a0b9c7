// The start picture `ScreenShot.BMP`, in the expanded form of `fuzz::ExpandPicture`: a
// header, the file's length and a small pixel pattern, so loadable pictures of about a
// megabyte come from inputs of a few dozen bytes and every one reaches the round trip.
#include "core/SurfaceFile.hpp"
#include "fuzz/FuzzSupport.hpp"
#include "support/TempDir.hpp"

#include <algorithm>

using namespace kalvotune;

namespace {

std::uint32_t Field(const std::string& file, std::size_t at)
{
    std::uint32_t v = 0;
    for (std::size_t i = 0; i < 4; ++i)
        v |= static_cast<std::uint32_t>(static_cast<std::uint8_t>(file[at + i])) << (8 * i);
    return v;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const testing::TempDir dir;
    static Surface surface;
    const std::filesystem::path file = dir.Path() / "ScreenShot.BMP";
    const std::string bytes = fuzz::ExpandPicture(fuzz::AsText(data, size));
    fuzz::PutFile(file, bytes);

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
    constexpr std::size_t kPixelBytes = static_cast<std::size_t>(Surface::kStride) * Surface::kHeight;
    fuzz::Require(bytes.size() >= 54 + kPixelBytes, "a short file loaded");
    // The first and last pixel rows on screen come from where the header says: after the
    // data offset, bottom-up unless the height is negative.
    const std::size_t offset = Field(bytes, 10);
    const bool topDown = static_cast<std::int32_t>(Field(bytes, 22)) < 0;
    fuzz::Require(offset + kPixelBytes <= bytes.size(), "pixels read past the file's end");
    const std::size_t top = offset + (topDown ? 0 : kPixelBytes - Surface::kStride);
    const std::size_t bottom = offset + (topDown ? kPixelBytes - Surface::kStride : 0);
    const auto* file8 = reinterpret_cast<const std::uint8_t*>(bytes.data());
    fuzz::Require(
        std::equal(surface.Row(0), surface.Row(0) + Surface::kRowBytes, file8 + top), "the top row is not the file's");
    fuzz::Require(std::equal(surface.Row(Surface::kHeight - 1), surface.Row(Surface::kHeight - 1) + Surface::kRowBytes,
                      file8 + bottom),
        "the bottom row is not the file's");
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
