#include "PatternTables.hpp"
#include "PngFile.hpp"

#include "core/FileIO.hpp"
#include "core/Form.hpp"
#include "core/Random.hpp"
#include "kaleidoscope/Engine.hpp"
#include "support/Fakes.hpp"
#include "support/TempDir.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <zlib.h>

namespace kalvotune::tables {
namespace {

using namespace kalvotune::kaleidoscope;

const TableData& Tables()
{
    static const TableData tables = BuildTables();
    return tables;
}

std::span<const std::int32_t> Record(const TableData& tables, int k)
{
    return {tables.figures.data() + static_cast<std::size_t>(k) * kFigureWords, static_cast<std::size_t>(kFigureWords)};
}

struct Loaded {
    testing::FakeClock clock;
    Random random{clock};
    Form form;
    Engine engine{form.Pattern(), random};
};

TEST(Tables, WrittenFilesPassTheLoaderAndRepeatByteForByte)
{
    testing::TempDir dir;
    const std::pair<const char*, const std::vector<std::int32_t>*> files[] = {
        {Engine::kFadeFile, &Tables().fadePixels},
        {Engine::kWedgeFile, &Tables().wedgeMap},
        {Engine::kFigureFile, &Tables().figures},
    };
    for (const auto& [name, values] : files)
        ASSERT_TRUE(WriteFileAtomically(dir.Path() / name, ToFileBytes(*values)).ok);
    EXPECT_EQ(ReadFileBytes(dir.Path() / Engine::kFadeFile)->size(), 39'300u);
    EXPECT_EQ(ReadFileBytes(dir.Path() / Engine::kWedgeFile)->size(), 353'700u);
    EXPECT_EQ(ReadFileBytes(dir.Path() / Engine::kFigureFile)->size(), 1'600'000u);

    Loaded loaded;
    const LoadResult result = loaded.engine.LoadTables(dir.Path());
    EXPECT_TRUE(result.ok) << result.message;

    const TableData again = BuildTables();
    EXPECT_EQ(again.fadePixels, Tables().fadePixels);
    EXPECT_EQ(again.wedgeMap, Tables().wedgeMap);
    EXPECT_EQ(again.figures, Tables().figures);
    EXPECT_EQ(ToFileBytes(std::vector<std::int32_t>{1, -2}), std::string("\x01\0\0\0\xFE\xFF\xFF\xFF", 8));
}

TEST(Tables, GeneratedTablesHaveNoFaults)
{
    EXPECT_EQ(FindFaults(Tables()), std::vector<std::string>{});
}

TEST(Tables, BandRowsAreMirrorImagesAndTheFadeCoversEveryShownPixel)
{
    const TableData& t = Tables();
    const std::set<std::int32_t> fade(t.fadePixels.begin(), t.fadePixels.end());
    EXPECT_EQ(fade.size(), static_cast<std::size_t>(kFadePixelCount)) << "fade pixels repeat";
    for (int r = 0; r < kWedgeRows; ++r)
        for (int c = 0; c < kWedgeColumns; ++c) {
            const std::int32_t v = t.wedgeMap[static_cast<std::size_t>(r) * kWedgeColumns + c];
            ASSERT_EQ(v, t.wedgeMap[static_cast<std::size_t>(r) * kWedgeColumns + kWedgeColumns - 1 - c])
                << "row " << r << " column " << c;
            ASSERT_TRUE(fade.contains(v)) << "row " << r << " column " << c;
        }
}

TEST(Tables, TheShownTriangleLiesInsideTheFoldBackAndBlurRectangleAndMeetsTheFigures)
{
    // Fold-back and blur work on rows 254..398, row bytes 438..926 (the narrower blur part).
    int touchedByAnchors = 0;
    for (std::int32_t v : std::set<std::int32_t>(Tables().wedgeMap.begin(), Tables().wedgeMap.end())) {
        const int row = v / kFrameRowBytes;
        const int inRow = v % kFrameRowBytes;
        ASSERT_GE(row, 254);
        ASSERT_LE(row, 398);
        ASSERT_GE(inRow, 438);
        ASSERT_LE(inRow + 2, 926);
        if (v >= kWindowLow && v <= kWindowHigh && inRow >= kWindowLeft && inRow <= kWindowRight)
            ++touchedByAnchors;
    }
    // Most of what is shown is ground the anchors themselves cross.
    EXPECT_GT(touchedByAnchors, 6000);
}

TEST(Tables, PictureCentreGlowsBrightestUnderTheRamp)
{
    // The ramp factor i / 9825 grows along the list; the pixel shown at the picture centre
    // (wedge row 0 at the centre column) must sit near the end, a cell centre near the start.
    const TableData& t = Tables();
    const auto rank = [&](int r, int c) {
        const std::int32_t v = t.wedgeMap[static_cast<std::size_t>(r) * kWedgeColumns + c];
        return std::find(t.fadePixels.begin(), t.fadePixels.end(), v) - t.fadePixels.begin();
    };
    EXPECT_GT(rank(0, 337), kFadePixelCount * 9 / 10);
    EXPECT_LT(rank(130, 337 - 131), kFadePixelCount / 2);
}

TEST(Tables, EveryFigureTypeFindsSeveralFittingFigures)
{
    int balls = 0, micros = 0, general = 0;
    std::set<int> generalStyles, ballStyles, microStyles;
    for (int k = 0; k < kChoosableFigures; ++k) {
        const auto rec = Record(Tables(), k);
        if (rec[kKind] == kBallKind) {
            ++balls;
            ballStyles.insert(rec[kStyle]);
        } else if (rec[kKind] == kMicroKind) {
            ++micros;
            microStyles.insert(rec[kStyle]);
            // Small enough that the drawn start of styles 5 and 7 can fall to 10..39.
            EXPECT_LE(rec[kLength], 40) << "figure " << k;
        } else {
            ++general;
            generalStyles.insert(rec[kStyle]);
        }
    }
    // Ball and Micro fill 19 slots of one kind, BallCasual and MicroPlus mix in others.
    EXPECT_GE(balls, 10);
    EXPECT_GE(micros, 10);
    EXPECT_GE(general, 10);
    for (int style : {1, 2, 3, 5, 7})
        EXPECT_TRUE(generalStyles.contains(style)) << "style " << style;
    EXPECT_TRUE(std::any_of(generalStyles.begin(), generalStyles.end(),
        [](int s) { return s != 1 && s != 2 && s != 3 && s != 5 && s != 7; }));
    EXPECT_GE(ballStyles.size(), 3u);
    EXPECT_GE(microStyles.size(), 3u);
}

TEST(Tables, BallsBrightenTowardsTheirUpperLeftHighlight)
{
    for (int k = 0; k < kChoosableFigures; ++k) {
        const auto rec = Record(Tables(), k);
        if (rec[kKind] != kBallKind)
            continue;
        const int n = rec[kLength];
        // Rising paint is brightest at the last point: it lies up and left of the first.
        const std::int32_t first = rec[kAnchor];
        const std::int32_t last = rec[static_cast<std::size_t>(n - 1)];
        EXPECT_LT(last / kFrameRowBytes, first / kFrameRowBytes) << "figure " << k;
        EXPECT_LT(last % kFrameRowBytes, first % kFrameRowBytes) << "figure " << k;
    }
}

TEST(Tables, FiguresStayOnTheCanvasWhileTheEngineMovesThemAbout)
{
    Loaded loaded;
    ASSERT_TRUE(loaded.engine.LoadTables(Tables()).ok);
    loaded.form.channels.Reset(10);
    for (int k = 0; k < kLibraryFigures; ++k) {
        const int slot = k % kFigureSlots;
        loaded.engine.CopyFigure(k, slot);
        for (int move = 0; move < 60; ++move) {
            loaded.engine.MoveFigures(slot, slot + 1, move % 23);
            const auto f = loaded.engine.Figure(slot);
            for (int w = kAnchor; w < f[kLength]; ++w) {
                const std::int32_t p = f[static_cast<std::size_t>(w)];
                ASSERT_GE(p - kFrameRowBytes - 3, 0) << "figure " << k;
                ASSERT_LT(p + 2 + kFrameRowBytes + 3, kCanvasBytes) << "figure " << k;
            }
        }
    }
}

TEST(Tables, FaultFinderCatchesDamagedTables)
{
    const auto faultsOf = [](auto damage) {
        TableData t = Tables();
        damage(t);
        return FindFaults(t);
    };
    const auto mentions = [](const std::vector<std::string>& faults, const std::string& what) {
        return std::any_of(faults.begin(), faults.end(), [&](const std::string& f) { return f.find(what) != f.npos; });
    };
    EXPECT_TRUE(mentions(faultsOf([](TableData& t) { t.wedgeMap[5] += 3; }), "not symmetric"));
    EXPECT_TRUE(mentions(faultsOf([](TableData& t) { t.wedgeMap[5] = t.wedgeMap[669] = 3; }), "unfaded"));
    EXPECT_TRUE(mentions(faultsOf([](TableData& t) { t.fadePixels[7] += 1; }), "no canvas pixel"));
    EXPECT_TRUE(mentions(faultsOf([](TableData& t) { t.fadePixels[7] = t.fadePixels[8]; }), "repeats"));
    EXPECT_TRUE(
        mentions(faultsOf([](TableData& t) { t.figures[kAnchor + 1] = t.figures[kAnchor] - 300 * kFrameRowBytes; }),
            "leaves the canvas"));
    EXPECT_TRUE(mentions(faultsOf([](TableData& t) { t.figures[kTurnPeriod] = 0; }), "turn period"));
    EXPECT_TRUE(mentions(faultsOf([](TableData& t) {
        for (int k = 0; k < kChoosableFigures; ++k)
            t.figures[static_cast<std::size_t>(k) * kFigureWords + kKind] = 2;
    }),
        "lack a kind"));
    EXPECT_TRUE(mentions(faultsOf([](TableData& t) { t.fadePixels.pop_back(); }), "fade list holds"));
}

TEST(Png, StoresTheSurfaceAsRgbRows)
{
    Surface surface;
    surface.Row(0)[0] = 10; // blue
    surface.Row(0)[1] = 20; // green
    surface.Row(0)[2] = 30; // red
    surface.Row(523)[2024] = 99;
    const Bytes png = EncodeSurfacePng(surface);
    ASSERT_GT(png.size(), 57u);
    EXPECT_EQ(std::string(png.begin() + 1, png.begin() + 4), "PNG");
    EXPECT_EQ(std::string(png.begin() + 12, png.begin() + 16), "IHDR");
    // IHDR data: width 675, height 524, depth 8, colour type 2.
    EXPECT_EQ((png[18] << 8) | png[19], 675);
    EXPECT_EQ((png[22] << 8) | png[23], 524);
    EXPECT_EQ(png[24], 8);
    EXPECT_EQ(png[25], 2);
    const std::size_t idat = 8 + 25 + 8; // after the signature and the IHDR chunk
    const std::size_t length
        = (std::size_t{png[idat - 8]} << 24) | (png[idat - 7] << 16) | (png[idat - 6] << 8) | png[idat - 5];
    Bytes raw(524u * (1 + 2025));
    uLongf rawSize = raw.size();
    ASSERT_EQ(uncompress(raw.data(), &rawSize, png.data() + idat, length), Z_OK);
    ASSERT_EQ(rawSize, raw.size());
    EXPECT_EQ(raw[0], 0); // filter
    EXPECT_EQ(raw[1], 30); // red first
    EXPECT_EQ(raw[2], 20);
    EXPECT_EQ(raw[3], 10);
    EXPECT_EQ(raw[raw.size() - 3], 99); // the last pixel's red byte comes first
}

} // namespace
} // namespace kalvotune::tables
