#include "kaleidoscope/FrameMap.hpp"

#include <cstring>

namespace kalvotune::kaleidoscope {

int FrameMap::FrameRow(int wedgeRow, int band)
{
    switch (band) {
    case 0:
        return wedgeRow;
    case 1:
        return 261 - wedgeRow;
    case 2:
        return 262 + wedgeRow;
    default:
        return 523 - wedgeRow;
    }
}

int FrameMap::WedgeRow(int frameRow)
{
    if (frameRow < kWedgeRows)
        return frameRow;
    if (frameRow <= 261)
        return 261 - frameRow;
    if (frameRow < 262 + kWedgeRows)
        return frameRow - 262;
    return 523 - frameRow;
}

void FrameMap::Build(std::span<const std::int32_t> wedgeMap)
{
    m_wedge.assign(wedgeMap.begin(), wedgeMap.end());
}

void FrameMap::Present(const std::uint8_t* canvas, Surface& surface) const
{
    if (m_wedge.empty())
        return;
    // Upright band: one gather per pixel. Four bytes are moved at a time; the fourth lands
    // on the next pixel's first byte, which the next step overwrites. The last pixel of a
    // row is copied byte-wise so the row padding stays untouched.
    for (int r = 0; r < kWedgeRows; ++r) {
        std::uint8_t* row = surface.Row(r);
        const std::int32_t* wedge = m_wedge.data() + static_cast<std::size_t>(r) * kWedgeColumns;
        for (int c = 0; c < kWedgeColumns - 1; ++c)
            std::memcpy(row + 3 * c, canvas + wedge[c], 4);
        const std::uint8_t* last = canvas + wedge[kWedgeColumns - 1];
        std::uint8_t* out = row + 3 * (kWedgeColumns - 1);
        out[0] = last[0];
        out[1] = last[1];
        out[2] = last[2];
    }
    // The other three bands repeat the first one, mirrored or not.
    for (int r = 0; r < kWedgeRows; ++r) {
        const std::uint8_t* source = surface.Row(r);
        for (int band = 1; band < 4; ++band)
            std::memcpy(surface.Row(FrameRow(r, band)), source, kFrameRowBytes);
    }
}

} // namespace kalvotune::kaleidoscope
