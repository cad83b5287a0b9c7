#pragma once

#include "kaleidoscope/Engine.hpp"

#include <cstdint>
#include <vector>

namespace kalvotune::bench {

/// A centre pixel of the movement window; synthetic figures are drawn around it.
inline constexpr std::int32_t kSyntheticAnchor{320 * 2025 + 267 * 3};

/// Small valid pattern tables built in code: fade pixels spread over the canvas, a wedge
/// that looks at the centre of the canvas with a left-right mirror, and 100 figures of
/// every kind (record k: kind 1, 11 or 2 by k mod 3) and drawing style, each a spiral of
/// points around `kSyntheticAnchor`.
inline kaleidoscope::TableData SyntheticTables()
{
    using namespace kaleidoscope;
    TableData t;
    constexpr std::int32_t kPixels{kCanvasBytes / 3};
    t.fadePixels.resize(kFadePixelCount);
    for (int i = 0; i < kFadePixelCount; ++i)
        t.fadePixels[static_cast<std::size_t>(i)]
            = static_cast<std::int32_t>((static_cast<std::int64_t>(i) * 7919 + 11) % kPixels) * 3;

    t.wedgeMap.resize(static_cast<std::size_t>(kWedgeRows) * kWedgeColumns);
    for (int r = 0; r < kWedgeRows; ++r)
        for (int c = 0; c < kWedgeColumns; ++c) {
            const int column = c < 338 ? c : 674 - c;
            t.wedgeMap[static_cast<std::size_t>(r) * kWedgeColumns + c]
                = (200 + r + column / 4) * 2025 + 3 * (120 + column * 3 / 4);
        }

    constexpr int kStyles[]{1, 2, 3, 5, 7, 4};
    t.figures.assign(static_cast<std::size_t>(kLibraryFigures) * kFigureWords, 0);
    for (int k = 0; k < kLibraryFigures; ++k) {
        std::int32_t* f = t.figures.data() + static_cast<std::size_t>(k) * kFigureWords;
        const int points = 20 + (k * 37) % 300;
        f[kLength] = kAnchor + points;
        f[kStyle] = kStyles[k % 6];
        f[kKind] = k % 3 == 0 ? 1 : (k % 3 == 1 ? 11 : 2);
        f[kTurnPeriod] = 5;
        f[kTurnSign] = 1;
        f[kDrawnStart] = kAnchor;
        for (int i = 0; i < points; ++i) {
            // Rings growing every 16 points, a 4 x 4 pattern of steps on each.
            const int ring = 1 + i / 16;
            const int dx = (i % 4 - 2) * ring / 2;
            const int dy = ((i / 4) % 4 - 2) * ring / 2;
            f[kAnchor + i] = kSyntheticAnchor + dy * 2025 + dx * 3;
        }
        f[kAnchor] = kSyntheticAnchor;
    }
    return t;
}

} // namespace kalvotune::bench
