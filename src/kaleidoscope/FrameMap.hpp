#pragma once

#include "core/Surface.hpp"

#include <cstdint>
#include <span>
#include <vector>

namespace kalvotune::kaleidoscope {

inline constexpr int kWedgeRows{131};
inline constexpr int kWedgeColumns{675};
inline constexpr int kFrameRows{524};
inline constexpr int kFrameRowBytes{2025};

/// The fixed mapping from each byte of the shown frame to a canvas byte: one band of 131
/// wedge rows shown four times, upright, mirrored, upright, mirrored.
class FrameMap {
public:
    /// Builds the map from `wedgeMap` (131 x 675 pixel offsets, row-major). The offsets
    /// must already be checked to lie inside the canvas.
    void Build(std::span<const std::int32_t> wedgeMap);
    bool Empty() const { return m_wedge.empty(); }

    /// Canvas byte offset shown at frame row `row` (0..523), byte `b` (0..2024).
    std::int32_t At(int row, int b) const
    {
        return m_wedge[static_cast<std::size_t>(WedgeRow(row)) * kWedgeColumns + static_cast<std::size_t>(b / 3)]
            + b % 3;
    }

    /// Fills the 2025 pixel bytes of every surface row from `canvas`. Gathers the 131 wedge
    /// rows once and copies the mirrored bands, so it costs a quarter of a byte-wise copy.
    /// `canvas` must stay readable for 3 bytes past the highest offset of the map.
    void Present(const std::uint8_t* canvas, Surface& surface) const;

    /// The frame row that shows wedge row `wedgeRow` in band `band` (0..3).
    static int FrameRow(int wedgeRow, int band);
    /// The wedge row that frame row `frameRow` (0..523) shows.
    static int WedgeRow(int frameRow);

private:
    // Only the wedge is kept: the byte-wise map of the whole frame would be 4 MB that
    // every start-up had to fill, for look-ups a division answers as well.
    std::vector<std::int32_t> m_wedge;
};

} // namespace kalvotune::kaleidoscope
