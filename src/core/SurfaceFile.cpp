#include "core/SurfaceFile.hpp"

#include <cstring>

namespace kalvotune {

namespace {

constexpr std::size_t kHeaderBytes{54};
constexpr std::size_t kPixelBytes{static_cast<std::size_t>(Surface::kStride) * Surface::kHeight};
// A picture of our size is about a megabyte; a longer file is not read into memory.
constexpr std::size_t kLongestFile{4u << 20};

std::uint32_t U32(const Bytes& b, std::size_t at)
{
    return static_cast<std::uint32_t>(b[at]) | static_cast<std::uint32_t>(b[at + 1]) << 8
        | static_cast<std::uint32_t>(b[at + 2]) << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}

std::uint16_t U16(const Bytes& b, std::size_t at)
{
    return static_cast<std::uint16_t>(b[at] | b[at + 1] << 8);
}

void Put32(Bytes& b, std::size_t at, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
}

} // namespace

bool LoadSurfaceBmp(const std::filesystem::path& file, Surface& surface)
{
    const auto bytes = ReadFileBytes(file, kLongestFile + 1);
    if (!bytes || bytes->size() > kLongestFile || bytes->size() < kHeaderBytes || (*bytes)[0] != 'B'
        || (*bytes)[1] != 'M')
        return false;
    const Bytes& b = *bytes;
    const std::uint32_t dataOffset = U32(b, 10);
    const auto width = static_cast<std::int32_t>(U32(b, 18));
    const auto height = static_cast<std::int32_t>(U32(b, 22));
    const std::uint16_t bits = U16(b, 28);
    const std::uint32_t compression = U32(b, 30);
    // In 64 bits: the negative of the smallest height does not fit 32.
    const std::int64_t rows = height < 0 ? -std::int64_t{height} : height;
    if (width != Surface::kWidth || rows != Surface::kHeight || bits != 24 || compression != 0)
        return false;
    // Pixels start after the two headers: an offset inside them would show header bytes.
    if (dataOffset < kHeaderBytes || dataOffset > b.size() || b.size() - dataOffset < kPixelBytes)
        return false;
    // Rows are stored bottom-up unless the height is negative.
    for (int y = 0; y < Surface::kHeight; ++y) {
        const int fileRow = height > 0 ? Surface::kHeight - 1 - y : y;
        std::memcpy(surface.Row(y), b.data() + dataOffset + static_cast<std::size_t>(fileRow) * Surface::kStride,
            Surface::kRowBytes);
    }
    ++surface.revision;
    return true;
}

Bytes EncodeSurfaceBmp(const Surface& surface)
{
    Bytes b(kHeaderBytes + kPixelBytes, 0);
    b[0] = 'B';
    b[1] = 'M';
    Put32(b, 2, static_cast<std::uint32_t>(b.size()));
    Put32(b, 10, kHeaderBytes);
    Put32(b, 14, 40);
    Put32(b, 18, Surface::kWidth);
    Put32(b, 22, Surface::kHeight);
    b[26] = 1;
    b[28] = 24;
    Put32(b, 34, static_cast<std::uint32_t>(kPixelBytes));
    Put32(b, 38, 2835); // 72 dpi
    Put32(b, 42, 2835);
    for (int y = 0; y < Surface::kHeight; ++y)
        std::memcpy(b.data() + kHeaderBytes + static_cast<std::size_t>(Surface::kHeight - 1 - y) * Surface::kStride,
            surface.Row(y), Surface::kRowBytes);
    return b;
}

WriteResult SaveSurfaceBmp(const std::filesystem::path& file, const Surface& surface)
{
    return WriteFileAtomically(file, EncodeSurfaceBmp(surface));
}

} // namespace kalvotune
