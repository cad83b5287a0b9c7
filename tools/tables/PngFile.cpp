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

Bytes EncodeRgbPng(int width, int height, const Bytes& rgb)
{
    // Each scan line: filter byte 0, then the row's pixels.
    const std::size_t rowBytes = static_cast<std::size_t>(width) * 3;
    Bytes raw;
    raw.reserve(static_cast<std::size_t>(height) * (1 + rowBytes));
    for (int y = 0; y < height; ++y) {
        raw.push_back(0);
        const auto row = rgb.begin() + static_cast<std::ptrdiff_t>(y * rowBytes);
        raw.insert(raw.end(), row, row + static_cast<std::ptrdiff_t>(rowBytes));
    }
    uLongf packedSize = compressBound(static_cast<uLong>(raw.size()));
    Bytes packed(packedSize);
    compress2(packed.data(), &packedSize, raw.data(), static_cast<uLong>(raw.size()), 6);
    packed.resize(packedSize);

    Bytes header;
    PutBigEndian(header, static_cast<std::uint32_t>(width));
    PutBigEndian(header, static_cast<std::uint32_t>(height));
    header.insert(header.end(), {8, 2, 0, 0, 0}); // 8-bit truecolour, no interlace

    Bytes png{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    PutChunk(png, "IHDR", header);
    PutChunk(png, "IDAT", packed);
    PutChunk(png, "IEND", {});
    return png;
}

Bytes EncodeSurfacePng(const Surface& surface)
{
    Bytes rgb;
    rgb.reserve(static_cast<std::size_t>(Surface::kHeight) * Surface::kWidth * 3);
    for (int y = 0; y < Surface::kHeight; ++y) {
        const std::uint8_t* row = surface.Row(y);
        for (int x = 0; x < Surface::kWidth; ++x)
            rgb.insert(rgb.end(), {row[3 * x + 2], row[3 * x + 1], row[3 * x]});
    }
    return EncodeRgbPng(Surface::kWidth, Surface::kHeight, rgb);
}

WriteResult SaveSurfacePng(const std::filesystem::path& file, const Surface& surface)
{
    return WriteFileAtomically(file, EncodeSurfacePng(surface));
}

} // namespace kalvotune::tables
