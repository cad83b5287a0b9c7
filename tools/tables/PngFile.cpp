#include "PngFile.hpp"

#include <array>
#include <string_view>
#include <zlib.h>

namespace kalvotune::tables {

namespace {

void PutBigEndian(Bytes& out, std::uint32_t value)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<std::uint8_t>(value >> shift));
}

void PutChunk(Bytes& out, const char (&type)[5], const Bytes& data)
{
    PutBigEndian(out, static_cast<std::uint32_t>(data.size()));
    const std::size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    const uLong crc = crc32(0, out.data() + start, static_cast<uInt>(out.size() - start));
    PutBigEndian(out, static_cast<std::uint32_t>(crc));
}

} // namespace

Bytes EncodeSurfacePng(const Surface& surface)
{
    // Each scan line: filter byte 0, then red, green, blue per pixel.
    Bytes raw;
    raw.reserve(static_cast<std::size_t>(Surface::kHeight) * (1 + Surface::kRowBytes));
    for (int y = 0; y < Surface::kHeight; ++y) {
        const std::uint8_t* row = surface.Row(y);
        raw.push_back(0);
        for (int x = 0; x < Surface::kWidth; ++x) {
            raw.push_back(row[3 * x + 2]);
            raw.push_back(row[3 * x + 1]);
            raw.push_back(row[3 * x]);
        }
    }
    uLongf packedSize = compressBound(static_cast<uLong>(raw.size()));
    Bytes packed(packedSize);
    compress2(packed.data(), &packedSize, raw.data(), static_cast<uLong>(raw.size()), 6);
    packed.resize(packedSize);

    Bytes header;
    PutBigEndian(header, Surface::kWidth);
    PutBigEndian(header, Surface::kHeight);
    header.insert(header.end(), {8, 2, 0, 0, 0}); // 8-bit truecolour, no interlace

    Bytes png{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    PutChunk(png, "IHDR", header);
    PutChunk(png, "IDAT", packed);
    PutChunk(png, "IEND", {});
    return png;
}

WriteResult SaveSurfacePng(const std::filesystem::path& file, const Surface& surface)
{
    return WriteFileAtomically(file, EncodeSurfacePng(surface));
}

} // namespace kalvotune::tables
