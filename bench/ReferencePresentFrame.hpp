#pragma once

#include "core/Surface.hpp"
#include "kaleidoscope/FrameMap.hpp"

#include <cstdint>

namespace kalvotune::bench {

/// The plain presenter: one frame-map look-up for every byte of the frame. The engine's
/// `PresentFrame` must give the same surface, only faster.
inline void ReferencePresentFrame(const kaleidoscope::FrameMap& map, const std::uint8_t* canvas, Surface& surface)
{
    for (int r = 0; r < kaleidoscope::kFrameRows; ++r) {
        std::uint8_t* row = surface.Row(r);
        for (int b = 0; b < kaleidoscope::kFrameRowBytes; ++b)
            row[b] = canvas[map.At(r, b)];
    }
}

} // namespace kalvotune::bench
