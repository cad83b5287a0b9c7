#include "PatternTables.hpp"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>
#include <numbers>
#include <random>
#include <set>
#include <unordered_set>
#include <utility>

namespace kalvotune::tables {

namespace {

using namespace kalvotune::kaleidoscope;

constexpr int kRowBytes{kFrameRowBytes};
constexpr int kCanvasRows{kCanvasBytes / kRowBytes}; // 543 whole rows
constexpr int kColumns{kWedgeColumns};
constexpr int kCentreColumn{(kColumns - 1) / 2}; // 337, on the vertical mirror
constexpr double kPi{std::numbers::pi};

// ---------------------------------------------------------------------------------------
// Wedge map

struct TrianglePoint {
    double u{}; ///< along the leg from the picture centre, 0..kLeg
    double v{}; ///< away from that leg, 0..u
};

/// Folds shown pixel (wedge row, column) into the fundamental triangle.
TrianglePoint Fold(int row, int column)
{
    const int mirrored = std::min(column, kColumns - 1 - column);
    int u = (kCentreColumn - mirrored) % (2 * kLeg);
    if (u > kLeg)
        u = 2 * kLeg - u;
    // Band edges lie between pixel rows, so row r is r + 0.5 from the mirror at the top.
    TrianglePoint p{static_cast<double>(u), row + 0.5};
    if (p.v > p.u)
        std::swap(p.u, p.v);
    return p;
}

struct CanvasPixel {
    int row{};
    int column{};
};

CanvasPixel SourcePixel(TrianglePoint p)
{
    return {kTriangleTop + static_cast<int>(std::lround(kScale * p.v)),
        kTriangleLeft + static_cast<int>(std::lround(kScale * p.u))};
}

/// Distance of a canvas pixel from the picture-centre corner of the triangle, in screen pixels.
double DistanceFromCentre(std::int32_t offset)
{
    const double row = offset / kRowBytes;
    const double column = (offset % kRowBytes) / 3;
    return std::hypot((row - kTriangleTop) / kScale, (column - kTriangleLeft) / kScale);
}

// ---------------------------------------------------------------------------------------
// Figures

struct Cell {
    int dy{};
    int dx{};
    friend bool operator<(Cell a, Cell b) { return std::pair{a.dy, a.dx} < std::pair{b.dy, b.dx}; }
};

using Shape = std::vector<Cell>;

/// Keeps the first occurrence of every cell, in order.
Shape Unique(const Shape& cells)
{
    std::set<Cell> seen;
    Shape out;
    for (Cell c : cells)
        if (seen.insert(c).second)
            out.push_back(c);
    return out;
}

/// Widens a stroke to two pixels: each cell brings its right and lower neighbours along,
/// in the stroke's order, so smoothing leaves the stroke bright.
Shape Thick(const Shape& cells)
{
    Shape out;
    for (Cell c : cells) {
        out.push_back(c);
        out.push_back({c.dy, c.dx + 1});
        out.push_back({c.dy + 1, c.dx});
    }
    return Unique(out);
}

Cell Round(double y, double x)
{
    return {static_cast<int>(std::lround(y)), static_cast<int>(std::lround(x))};
}

/// Cells of a curve given by `at(t)` for t in [0, 1], sampled finely, in curve order.
template <typename F> Shape Curve(F at, int samples)
{
    Shape cells;
    for (int i = 0; i <= samples; ++i) {
        const auto [y, x] = at(static_cast<double>(i) / samples);
        cells.push_back(Round(y, x));
    }
    return Unique(cells);
}

/// Cells of a filled disc ordered from the rim opposite the highlight to the highlight, so

/// The cells in rising order of their keys (ties by position): the order a ramp paints them.
Shape OrderedBy(std::vector<std::pair<double, Cell>> cells)
{
    std::sort(cells.begin(), cells.end(),
        [](const auto& a, const auto& b) { return a.first != b.first ? a.first < b.first : a.second < b.second; });
    Shape out;
    for (const auto& c : cells)
        out.push_back(c.second);
    return out;
}

/// rising paint shades it like a lit ball.
Shape Ball(int radius)
{
    const double hy = -0.4 * radius;
    const double hx = -0.4 * radius;
    std::vector<std::pair<double, Cell>> cells;
    for (int dy = -radius; dy <= radius; ++dy)
        for (int dx = -radius; dx <= radius; ++dx)
            if (dy * dy + dx * dx <= radius * radius + radius / 2)
                cells.push_back({-std::hypot(dy - hy, dx - hx), Cell{dy, dx}});
    return OrderedBy(std::move(cells));
}

/// A ring of `thickness` pixels, ordered by angle from `phase`: ramps run round it.
Shape Ring(double radius, double thickness, double phase)
{
    std::vector<std::pair<double, Cell>> cells;
    const int r = static_cast<int>(std::ceil(radius));
    for (int dy = -r; dy <= r; ++dy)
        for (int dx = -r; dx <= r; ++dx) {
            const double d = std::hypot(dy, dx);
            if (d <= radius + 0.5 && d > radius + 0.5 - thickness) {
                double a = std::atan2(dy, dx) - phase;
                while (a < 0)
                    a += 2 * kPi;
                cells.push_back({a, Cell{dy, dx}});
            }
        }
    return OrderedBy(std::move(cells));
}

/// Arms from the centre, all growing together, so ramps light the tips.
Shape Star(int arms, double radius, double inner, double phase)
{
    Shape cells;
    const int steps = static_cast<int>(radius * 2);
    for (int s = 0; s <= steps; ++s) {
        const double t = static_cast<double>(s) / steps;
        for (int a = 0; a < arms; ++a) {
            const double angle = phase + 2 * kPi * a / arms;
            const double d = inner + (radius - inner) * t;
            cells.push_back(Round(d * std::sin(angle), d * std::cos(angle)));
            // A second, half-length spike between the arms.
            if (t <= 0.5) {
                const double between = angle + kPi / arms;
                const double e = inner + (radius - inner) * t;
                cells.push_back(Round(e * std::sin(between), e * std::cos(between)));
            }
        }
    }
    return Unique(cells);
}

/// An Archimedean spiral with `arms` arms from the centre outwards.
Shape Spiral(int arms, double radius, double turns, double phase)
{
    Shape cells;
    const int samples = static_cast<int>(radius * turns * 12);
    for (int i = 0; i <= samples; ++i) {
        const double t = static_cast<double>(i) / samples;
        for (int a = 0; a < arms; ++a) {
            const double angle = phase + 2 * kPi * (turns * t + static_cast<double>(a) / arms);
            const double d = 1.5 + (radius - 1.5) * t;
            cells.push_back(Round(d * std::sin(angle), d * std::cos(angle)));
        }
    }
    return Unique(cells);
}

/// A rose r = R |cos(k t)|, traced once round; `filled` fills the petals from the centre out.
Shape Petals(int k, double radius, bool filled, double phase)
{
    if (!filled)
        return Curve(
            [&](double t) {
                const double a = 2 * kPi * t;
                const double d = radius * std::abs(std::cos(k * (a - phase) / 2.0));
                return std::pair{d * std::sin(a), d * std::cos(a)};
            },
            static_cast<int>(radius * 40));
    std::vector<std::pair<double, Cell>> cells;
    const int r = static_cast<int>(std::ceil(radius));
    for (int dy = -r; dy <= r; ++dy)
        for (int dx = -r; dx <= r; ++dx) {
            const double d = std::hypot(dy, dx);
            const double a = std::atan2(dy, dx);
            if (d <= radius * std::abs(std::cos(k * (a - phase) / 2.0)) + 0.3)
                cells.push_back({d, Cell{dy, dx}});
        }
    return OrderedBy(std::move(cells));
}

/// A straight stroke of `width` pixels through the centre, from tail to head.
Shape Line(double length, int width, double angle)
{
    Shape cells;
    const int steps = static_cast<int>(length * 2);
    const double ny = std::cos(angle);
    const double nx = -std::sin(angle);
    for (int s = 0; s <= steps; ++s) {
        const double d = -length / 2 + length * s / steps;
        for (int w = 0; w < width; ++w) {
            const double o = w - (width - 1) / 2.0;
            cells.push_back(Round(d * std::sin(angle) + o * ny, d * std::cos(angle) + o * nx));
        }
    }
    return Unique(cells);
}

/// Concentric square outlines turned by `angle`, from the inside out.
Shape Squares(double half, int count, double angle)
{
    Shape cells;
    for (int k = 1; k <= count; ++k) {
        const double h = half * k / count;
        const Shape side = Curve(
            [&](double t) {
                // Walk the four sides of the square of half-size h.
                const double p = 4 * t;
                const int sideIndex = std::min(3, static_cast<int>(p));
                const double f = p - sideIndex;
                const double corners[5][2] = {{-h, -h}, {-h, h}, {h, h}, {h, -h}, {-h, -h}};
                const double y = corners[sideIndex][0] + (corners[sideIndex + 1][0] - corners[sideIndex][0]) * f;
                const double x = corners[sideIndex][1] + (corners[sideIndex + 1][1] - corners[sideIndex][1]) * f;
                return std::pair{y * std::cos(angle) + x * std::sin(angle), x * std::cos(angle) - y * std::sin(angle)};
            },
            static_cast<int>(h * 40));
        cells.insert(cells.end(), side.begin(), side.end());
    }
    return Unique(cells);
}

/// A Lissajous figure y = sin(a t + phase), x = sin(b t).
Shape Lissajous(int a, int b, double radius, double phase)
{
    return Curve(
        [&](double t) {
            const double s = 2 * kPi * t;
            return std::pair{radius * std::sin(a * s + phase), radius * std::sin(b * s)};
        },
        static_cast<int>(radius * 60));
}

/// Filled square block of `side` pixels, from a corner to the opposite corner.
Shape Block(int side)
{
    Shape cells;
    for (int d = 0; d <= 2 * (side - 1); ++d)
        for (int y = 0; y < side; ++y)
            if (d - y >= 0 && d - y < side)
                cells.push_back({y, d - y});
    return cells;
}

/// A small cluster of 9..30 cells for the micro figures: big enough to be seen, small
/// enough that styles 5 and 7 may start drawing at point 10.
Shape Micro(int variant)
{
    switch (variant % 16) {
    case 0:
        return Ball(2);
    case 1:
        return Ring(2.5, 2, 0);
    case 2:
        return Thick(Star(4, 3, 0, 0));
    case 3:
        return Star(4, 4, 0, kPi / 4);
    case 4:
        return Block(4);
    case 5:
        return Ring(3, 1, 1.0);
    case 6:
        return Thick(Line(7, 1, 0.3));
    case 7:
        return Petals(2, 3.4, true, 0.3);
    case 8:
        return Ball(2);
    case 9:
        return Squares(2.5, 1, kPi / 4);
    case 10:
        return Block(3);
    case 11:
        return Star(6, 3, 0, 0);
    case 12:
        return Line(8, 2, 2.0);
    case 13:
        return Thick(Star(3, 3, 0, 0.5));
    case 14:
        return Ring(3, 2, 2.0);
    default:
        return Petals(3, 3.5, true, 0.7);
    }
}

/// One library record for `shape`, anchored at its first cell in the movement window.
std::vector<std::int32_t> Record(int kind, int style, const Shape& shape, std::mt19937& rng)
{
    std::vector<std::int32_t> words(kFigureWords, 0);
    const int n = std::min(kFigureWords, kAnchor + static_cast<int>(shape.size()));
    // Figure centre near the middle of the movement window.
    constexpr int kHomeRow{(kAnchorTopRow + kAnchorBottomRow) / 2};
    constexpr int kHomeColumn{(kAnchorLeftColumn + kAnchorRightColumn) / 2};
    words[kLength] = n;
    words[kDirection] = static_cast<std::int32_t>(rng() % 16);
    words[kStyle] = style;
    words[kKind] = kind;
    words[kTurnPeriod] = static_cast<std::int32_t>(1 + rng() % 50);
    words[kTurnSign] = rng() % 2 == 0 ? 1 : -1;
    words[kDrawnStart] = kind == kMicroKind ? kAnchor : std::min(40, n);
    for (int w = kAnchor; w < n; ++w) {
        const Cell c = shape[static_cast<std::size_t>(w - kAnchor)];
        words[static_cast<std::size_t>(w)] = PixelOffset(kHomeRow + c.dy, kHomeColumn + c.dx);
    }
    return words;
}

/// The record list: balls, micro figures and general figures among the 66 choosable
/// records, then more of each in the unused records.
std::vector<std::vector<std::int32_t>> Records()
{
    std::mt19937 rng{20261207u};
    const auto uniform
        = [&](double low, double high) { return low + (high - low) * static_cast<double>(rng() % 10'000) / 10'000.0; };
    std::vector<std::vector<std::int32_t>> records;

    constexpr int kBallStyles[] = {1, 2, 3, 0, 1, 2, 4, 3, 5, 2, 1, 7, 6, 2, 3, 1, 5, 2};
    const auto addBalls = [&](int count, int offset) {
        for (int i = 0; i < count; ++i) {
            const int radius = 3 + (i * 5 + offset) % 6; // 3..8
            int style = kBallStyles[(i + offset) % std::size(kBallStyles)];
            if ((style == 5 || style == 7) && radius < 6)
                style = 2; // small balls would show only their highlight
            records.push_back(Record(kBallKind, style, Ball(radius), rng));
        }
    };
    // Styles 5 and 7 start their ramp at 0, so only micro figures of a dozen points get them.
    constexpr int kMicroStyles[] = {1, 2, 3, 0, 1, 5, 2, 3, 7, 5, 4, 7, 5, 1, 2, 6};
    const auto addMicros = [&](int count, int offset) {
        for (int i = 0; i < count; ++i) {
            const int variant = i + offset;
            records.push_back(Record(kMicroKind, kMicroStyles[variant % std::size(kMicroStyles)], Micro(variant), rng));
        }
    };
    // General figures: the kind number names the shape, every one is neither 1 nor 11.
    constexpr int kGeneralStyles[] = {1, 2, 3, 5, 7, 0, 4, 6, 2, 5, 1, 3, 7, 8, 2, 1};
    const auto addGenerals = [&](int count, int offset) {
        for (int i = 0; i < count; ++i) {
            const int index = i + offset;
            const int style = kGeneralStyles[index % std::size(kGeneralStyles)];
            const double phase = uniform(0, 2 * kPi);
            switch (index % 8) {
            case 0:
                records.push_back(Record(2, style, Ring(uniform(7, 20), 2 + index % 2, phase), rng));
                break;
            case 1:
                records.push_back(Record(3, style, Thick(Star(5 + index % 4, uniform(10, 22), 1.5, phase)), rng));
                break;
            case 2:
                records.push_back(
                    Record(4, style, Thick(Spiral(1 + index % 3, uniform(12, 24), uniform(1.5, 3), phase)), rng));
                break;
            case 3:
                records.push_back(
                    Record(5, style, Thick(Petals(2 + index % 5, uniform(11, 22), index % 2 == 0, phase)), rng));
                break;
            case 4:
                records.push_back(Record(6, style, Line(uniform(18, 44), 2 + index % 3, phase), rng));
                break;
            case 5:
                records.push_back(Record(7, style, Thick(Squares(uniform(7, 16), 1 + index % 2, phase)), rng));
                break;
            case 6:
                records.push_back(
                    Record(8, style, Thick(Lissajous(1 + index % 3, 2 + index % 2, uniform(10, 20), phase)), rng));
                break;
            default:
                records.push_back(Record(9, style, Ring(uniform(3, 7), 3, phase), rng)); // a bubble
                break;
            }
        }
    };

    addBalls(18, 0);
    addMicros(16, 0);
    addGenerals(32, 0);
    addBalls(6, 3);
    addMicros(8, 5);
    addGenerals(20, 32);
    return records;
}

// ---------------------------------------------------------------------------------------
// Checks

bool IsPixel(std::int32_t offset)
{
    return offset % 3 == 0 && offset >= 0 && static_cast<std::int64_t>(offset) + 2 < kCanvasBytes;
}

/// Rows and columns of `point` relative to `anchor`, on the canvas grid.
Cell Relative(std::int32_t point, std::int32_t anchor)
{
    const int q = (point - anchor) / 3;
    const int dy = static_cast<int>(std::lround(static_cast<double>(q) / kColumns));
    return {dy, q - dy * kColumns};
}

bool InMovementWindow(std::int32_t anchor)
{
    const int inRow = anchor % kRowBytes;
    return anchor >= kWindowLow && anchor <= kWindowHigh && inRow >= kWindowLeft && inRow <= kWindowRight;
}

void CheckFigure(std::span<const std::int32_t> record, int k, std::vector<std::string>& faults)
{
    const auto fault = [&](const std::string& what) { faults.push_back("figure " + std::to_string(k) + ": " + what); };
    const int n = record[kLength];
    if (n <= kAnchor || n > kFigureWords) {
        fault("length " + std::to_string(n));
        return;
    }
    if (record[kDirection] < 0 || record[kDirection] > 15)
        fault("direction " + std::to_string(record[kDirection]));
    if (record[kTurnPeriod] < 1 || record[kTurnPeriod] > 50)
        fault("turn period " + std::to_string(record[kTurnPeriod]));
    if (record[kTurnSign] != 1 && record[kTurnSign] != -1)
        fault("turn sign " + std::to_string(record[kTurnSign]));
    if (record[kDrawnStart] < kAnchor || record[kDrawnStart] > n)
        fault("drawn start " + std::to_string(record[kDrawnStart]));
    if (record[kKind] == kMicroKind && n - kAnchor > kMicroMaxPoints)
        fault("micro figure of " + std::to_string(n - kAnchor) + " points");
    const std::int32_t anchor = record[kAnchor];
    if (!InMovementWindow(anchor))
        fault("anchor outside the movement window");
    std::unordered_set<std::int32_t> seen;
    for (int w = kAnchor; w < n; ++w) {
        const std::int32_t p = record[static_cast<std::size_t>(w)];
        if (!IsPixel(p)) {
            fault("word " + std::to_string(w) + " is no canvas pixel");
            continue;
        }
        if (!seen.insert(p).second)
            fault("word " + std::to_string(w) + " repeats a point");
        // Every anchor position keeps the point's neighbours on the canvas and on its own row.
        const Cell c = Relative(p, anchor);
        if (kAnchorTopRow + c.dy < 1 || kAnchorBottomRow + c.dy > kCanvasRows - 2 || kAnchorLeftColumn + c.dx < 1
            || kAnchorRightColumn + c.dx > kColumns - 2)
            fault("word " + std::to_string(w) + " leaves the canvas when the figure moves");
    }
}

} // namespace

std::vector<std::int32_t> BuildWedgeMap()
{
    std::vector<std::int32_t> map(static_cast<std::size_t>(kWedgeRows) * kWedgeColumns);
    for (int r = 0; r < kWedgeRows; ++r)
        for (int c = 0; c < kWedgeColumns; ++c) {
            const CanvasPixel p = SourcePixel(Fold(r, c));
            map[static_cast<std::size_t>(r) * kWedgeColumns + c] = PixelOffset(p.row, p.column);
        }
    return map;
}

std::vector<std::int32_t> BuildFadePixels(std::span<const std::int32_t> wedgeMap)
{
    std::set<std::int32_t> chosen(wedgeMap.begin(), wedgeMap.end());
    std::vector<std::int32_t> layer(chosen.begin(), chosen.end());
    // Grow rings of 4-neighbours (the neighbours the blur reads) until the list is full.
    while (chosen.size() < static_cast<std::size_t>(kFadePixelCount) && !layer.empty()) {
        std::set<std::int32_t> next;
        for (std::int32_t p : layer) {
            const int row = p / kRowBytes;
            const int column = (p % kRowBytes) / 3;
            const CanvasPixel around[] = {{row - 1, column}, {row + 1, column}, {row, column - 1}, {row, column + 1}};
            for (CanvasPixel q : around)
                if (q.row >= 1 && q.row < kCanvasRows - 1 && q.column >= 1 && q.column < kColumns - 1
                    && !chosen.contains(PixelOffset(q.row, q.column)))
                    next.insert(PixelOffset(q.row, q.column));
        }
        std::vector<std::int32_t> ring(next.begin(), next.end());
        const std::size_t room = static_cast<std::size_t>(kFadePixelCount) - chosen.size();
        if (ring.size() > room) {
            // The last ring is cut evenly: keep the pixels closest to the picture centre.
            std::stable_sort(ring.begin(), ring.end(),
                [](std::int32_t a, std::int32_t b) { return DistanceFromCentre(a) < DistanceFromCentre(b); });
            ring.resize(room);
        }
        chosen.insert(ring.begin(), ring.end());
        layer = std::move(ring);
    }
    std::vector<std::int32_t> list(chosen.begin(), chosen.end());
    std::stable_sort(list.begin(), list.end(),
        [](std::int32_t a, std::int32_t b) { return DistanceFromCentre(a) > DistanceFromCentre(b); });
    return list;
}

std::vector<std::int32_t> BuildFigureLibrary()
{
    std::vector<std::int32_t> library;
    library.reserve(static_cast<std::size_t>(kLibraryFigures) * kFigureWords);
    const auto records = Records();
    for (int k = 0; k < kLibraryFigures; ++k)
        library.insert(
            library.end(), records[static_cast<std::size_t>(k)].begin(), records[static_cast<std::size_t>(k)].end());
    return library;
}

kaleidoscope::TableData BuildTables()
{
    kaleidoscope::TableData tables;
    tables.wedgeMap = BuildWedgeMap();
    tables.fadePixels = BuildFadePixels(tables.wedgeMap);
    tables.figures = BuildFigureLibrary();
    return tables;
}

std::vector<std::string> FindFaults(const kaleidoscope::TableData& tables)
{
    std::vector<std::string> faults;
    if (tables.fadePixels.size() != static_cast<std::size_t>(kFadePixelCount))
        faults.push_back("fade list holds " + std::to_string(tables.fadePixels.size()) + " pixels");
    if (tables.wedgeMap.size() != static_cast<std::size_t>(kWedgeRows) * kWedgeColumns)
        faults.push_back("wedge map holds " + std::to_string(tables.wedgeMap.size()) + " entries");
    if (tables.figures.size() != static_cast<std::size_t>(kLibraryFigures) * kFigureWords)
        faults.push_back("figure library holds " + std::to_string(tables.figures.size()) + " words");
    if (!faults.empty())
        return faults;

    std::unordered_set<std::int32_t> fade;
    for (std::size_t i = 0; i < tables.fadePixels.size(); ++i) {
        if (!IsPixel(tables.fadePixels[i]))
            faults.push_back("fade entry " + std::to_string(i) + " is no canvas pixel");
        if (!fade.insert(tables.fadePixels[i]).second)
            faults.push_back("fade entry " + std::to_string(i) + " repeats a pixel");
    }
    for (int r = 0; r < kWedgeRows; ++r)
        for (int c = 0; c < kWedgeColumns; ++c) {
            const std::int32_t v = tables.wedgeMap[static_cast<std::size_t>(r) * kWedgeColumns + c];
            const auto where = " at wedge row " + std::to_string(r) + ", column " + std::to_string(c);
            if (!IsPixel(v))
                faults.push_back("no canvas pixel" + where);
            else if (!fade.contains(v))
                faults.push_back("unfaded pixel" + where);
            if (v != tables.wedgeMap[static_cast<std::size_t>(r) * kWedgeColumns + (kWedgeColumns - 1 - c)])
                faults.push_back("band row not symmetric" + where);
        }

    std::map<int, int> kinds;
    std::set<int> generalStyles;
    for (int k = 0; k < kLibraryFigures; ++k) {
        const std::span<const std::int32_t> record{
            tables.figures.data() + static_cast<std::size_t>(k) * kFigureWords, static_cast<std::size_t>(kFigureWords)};
        CheckFigure(record, k, faults);
        if (k < kChoosableFigures) {
            ++kinds[record[kKind]];
            if (record[kKind] != kBallKind && record[kKind] != kMicroKind)
                generalStyles.insert(record[kStyle]);
        }
    }
    const int balls = kinds[kBallKind];
    const int micros = kinds[kMicroKind];
    if (balls == 0 || micros == 0 || balls + micros == kChoosableFigures)
        faults.push_back("figure types lack a kind: " + std::to_string(balls) + " balls, " + std::to_string(micros)
            + " micro figures");
    for (int style : {1, 2, 3, 5, 7})
        if (!generalStyles.contains(style))
            faults.push_back("no general figure of drawing style " + std::to_string(style));
    return faults;
}

std::string ToFileBytes(std::span<const std::int32_t> values)
{
    std::string bytes;
    bytes.reserve(values.size() * 4);
    for (std::int32_t v : values) {
        const auto u = static_cast<std::uint32_t>(v);
        for (int shift = 0; shift < 32; shift += 8)
            bytes.push_back(static_cast<char>((u >> shift) & 0xFF));
    }
    return bytes;
}

} // namespace kalvotune::tables
