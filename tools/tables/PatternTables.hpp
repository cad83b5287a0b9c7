#pragma once

// The three pattern tables the kaleidoscope reads at start-up, built in code.
//
// Wedge map (Lumbra12.kvt). The shown frame is four mirrored bands of 131 rows, so the
// picture already has horizontal mirrors at every band edge. The wedge map adds the other
// mirrors of a square-prism kaleidoscope (symmetry p4m): a vertical mirror at the centre
// column and every 131 columns from it, and the diagonals of the 131 x 131 cells between
// the mirrors. Every shown pixel folds into one right triangle with legs of 131 screen
// pixels, whose corners are the picture centre, a cell edge and a cell centre. That
// triangle is sampled from the canvas at kScale canvas pixels per screen pixel, placed
// where the figure anchors roam and inside the fold-back and blur rectangle, so figures
// pass through it at nearly their own size and the fold-back feeds the picture back into
// what is shown. Band rows come out left-right symmetric by construction.
//
// Fade pixels (MassP1.kvt). The fade only darkens listed pixels, so the list holds every
// pixel the wedge map shows and fills the rest with rings around that triangle, which keeps
// the blur from pulling unfaded paint into the picture. The list is ordered from the far
// corner of the triangle towards the picture centre, so backgrounds that scale by
// i / 9825 glow around the picture centre and darken towards the cell centres.
//
// Figure library (MassMF2.kvt). 66 choosable records: shaded balls (kind 1) whose points
// run from the rim to a highlight, so rising paint lights them from the upper left; micro
// figures (kind 11) of at most 30 points, so their drawn start can reach 10..39; and
// rings, stars, spirals, petals, lines, squares and Lissajous curves over drawing styles
// 1, 2, 3, 5, 7 and others. Points are ordered along each figure so ramps read as light
// running along it. Records 66..99 hold more figures of the same kinds. Every point and
// its four neighbours stay inside the canvas, on the anchor's own row band, wherever the
// anchor goes in the movement window.

#include "kaleidoscope/Engine.hpp"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace kalvotune::tables {

/// Canvas pixels per screen pixel inside the fundamental triangle (below 1 magnifies).
inline constexpr double kScale{0.95};
/// Screen length of the triangle's legs: the band height, so the band edges are mirrors.
inline constexpr int kLeg{131};
/// Canvas row and column of the triangle's picture-centre corner.
inline constexpr int kTriangleTop{264};
inline constexpr int kTriangleLeft{180};

/// First and last canvas rows and pixel columns an anchor can reach in the movement window.
inline constexpr int kAnchorTopRow{267};
inline constexpr int kAnchorBottomRow{384};
inline constexpr int kAnchorLeftColumn{134};
inline constexpr int kAnchorRightColumn{400};

/// Figure kinds as the figure types choose them.
inline constexpr int kBallKind{1};
inline constexpr int kMicroKind{11};
/// Micro figures stay this small so their drawn start can fall to 10..39.
inline constexpr int kMicroMaxPoints{30};

/// Canvas pixel offset (of the blue byte) of `row`, `column`.
constexpr std::int32_t PixelOffset(int row, int column)
{
    return row * kalvotune::kaleidoscope::kFrameRowBytes + 3 * column;
}

/// The wedge map: kWedgeRows x kWedgeColumns canvas pixel offsets, row-major.
std::vector<std::int32_t> BuildWedgeMap();

/// The fade list for `wedgeMap`: every pixel it shows, then rings around them, in ramp order.
std::vector<std::int32_t> BuildFadePixels(std::span<const std::int32_t> wedgeMap);

/// The figure library: kLibraryFigures records of kFigureWords words.
std::vector<std::int32_t> BuildFigureLibrary();

/// All three tables; the same every time.
kaleidoscope::TableData BuildTables();

/// Everything wrong with `tables` that the player would trip over, one line per fault;
/// empty when the tables are sound. Stricter than the player's loader: besides sizes and
/// offsets it checks band symmetry, fade coverage, figure words and figure kinds.
std::vector<std::string> FindFaults(const kaleidoscope::TableData& tables);

/// The integers as a raw little-endian file image.
std::string ToFileBytes(std::span<const std::int32_t> values);

} // namespace kalvotune::tables
