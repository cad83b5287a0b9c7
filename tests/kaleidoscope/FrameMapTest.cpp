#include "Rig.hpp"
#include "bench/ReferencePresentFrame.hpp"

#include <random>

namespace kalvotune::kaleidoscope::testing {
namespace {

TEST(FrameMap, MirrorsWedgeRowsIntoFourBands)
{
    std::vector<std::int32_t> wedge(static_cast<std::size_t>(kWedgeRows) * kWedgeColumns);
    for (std::size_t i = 0; i < wedge.size(); ++i)
        wedge[i] = static_cast<std::int32_t>(i) * 3;
    FrameMap map;
    map.Build(wedge);
    const auto wedgeAt = [&](int r, int c) { return wedge[static_cast<std::size_t>(r) * kWedgeColumns + c]; };
    for (int frameRow : {0, 261, 262, 523})
        EXPECT_EQ(map.At(frameRow, 0), wedgeAt(0, 0)) << frameRow;
    for (int frameRow : {130, 131, 392, 393})
        EXPECT_EQ(map.At(frameRow, 3 * 674 + 2), wedgeAt(130, 674) + 2) << frameRow;
    // Every frame row belongs to exactly one wedge row, and a pixel's bytes stay together.
    for (int r = 0; r < kFrameRows; ++r) {
        const int band = r / kWedgeRows;
        const int wedgeRow = band % 2 == 0 ? r % kWedgeRows : kWedgeRows - 1 - r % kWedgeRows;
        for (int c = 0; c < kWedgeColumns; ++c)
            for (int k = 0; k < 3; ++k)
                ASSERT_EQ(map.At(r, 3 * c + k), wedgeAt(wedgeRow, c) + k) << r << " " << c;
    }
}

TEST(FrameMap, PresentFrameEqualsByteWiseReferenceAndKeepsPadding)
{
    std::mt19937 gen{7};
    TableData tables = bench::SyntheticTables();
    // Any canvas pixel may be shown, including the very last one.
    for (auto& v : tables.wedgeMap)
        v = static_cast<std::int32_t>(gen() % (kCanvasBytes / 3)) * 3;
    tables.wedgeMap.back() = (kCanvasBytes / 3 - 1) * 3;
    Rig rig{tables};
    Surface expected;
    for (int round = 0; round < 20; ++round) {
        for (auto& b : rig.engine.Canvas())
            b = static_cast<std::uint8_t>(gen());
        for (int r = 0; r < kFrameRows; ++r)
            for (int pad = kFrameRowBytes; pad < Surface::kStride; ++pad)
                rig.form.surface.Row(r)[pad] = expected.Row(r)[pad] = static_cast<std::uint8_t>(0xA0 + round);
        const std::uint64_t revision = rig.form.surface.revision;
        bench::ReferencePresentFrame(rig.engine.Map(), rig.engine.Canvas().data(), expected);
        rig.engine.PresentFrame();
        ASSERT_EQ(rig.form.surface.bytes, expected.bytes) << "round " << round;
        EXPECT_EQ(rig.form.surface.revision, revision + 1);
    }
}

} // namespace
} // namespace kalvotune::kaleidoscope::testing
