#include "Rig.hpp"
#include "core/FileIO.hpp"
#include "support/TempDir.hpp"

#include <functional>

namespace kalvotune::kaleidoscope::testing {
namespace {

Bytes ToBytes(const std::vector<std::int32_t>& values)
{
    Bytes bytes;
    for (const std::int32_t v : values)
        for (int shift = 0; shift < 32; shift += 8)
            bytes.push_back(static_cast<std::uint8_t>(static_cast<std::uint32_t>(v) >> shift));
    return bytes;
}

struct LoadTables : ::testing::Test {
    TempDir dir;
    Rig rig;

    void Write(const TableData& t)
    {
        ASSERT_TRUE(WriteFileAtomically(dir.Path() / Engine::kFadeFile, ToBytes(t.fadePixels)).ok);
        ASSERT_TRUE(WriteFileAtomically(dir.Path() / Engine::kWedgeFile, ToBytes(t.wedgeMap)).ok);
        ASSERT_TRUE(WriteFileAtomically(dir.Path() / Engine::kFigureFile, ToBytes(t.figures)).ok);
    }

    /// Loads tables spoilt by `spoil` into a fresh engine and returns the result.
    LoadResult LoadSpoilt(const std::function<void(TableData&)>& spoil)
    {
        TableData t = bench::SyntheticTables();
        spoil(t);
        Write(t);
        Form form;
        Engine engine{form.Pattern(), rig.random};
        LoadResult result = engine.LoadTables(dir.Path());
        EXPECT_EQ(engine.Ready(), result.ok);
        return result;
    }
};

std::int32_t& Word(TableData& t, int figure, int word)
{
    return t.figures[static_cast<std::size_t>(figure) * kFigureWords + static_cast<std::size_t>(word)];
}

TEST_F(LoadTables, ReadsValidFilesAndBuildsTheMap)
{
    const TableData t = bench::SyntheticTables();
    Write(t);
    Form form;
    Engine engine{form.Pattern(), rig.random};
    EXPECT_FALSE(engine.Ready());
    const LoadResult result = engine.LoadTables(dir.Path());
    EXPECT_TRUE(result.ok) << result.message;
    EXPECT_TRUE(engine.Ready());
    EXPECT_EQ(engine.FadePixels()[9824], t.fadePixels[9824]);
    EXPECT_EQ(engine.Map().At(523, 3 * 674 + 1), t.wedgeMap[674] + 1);
    EXPECT_EQ(engine.LibraryKind(99), Word(const_cast<TableData&>(t), 99, kKind));
}

TEST_F(LoadTables, RejectsMissingAndWrongSizedFiles)
{
    Write(bench::SyntheticTables());
    std::filesystem::remove(dir.Path() / Engine::kWedgeFile);
    Form form;
    Engine engine{form.Pattern(), rig.random};
    LoadResult result = engine.LoadTables(dir.Path());
    EXPECT_FALSE(result.ok);
    EXPECT_NE(result.message.find("Lumbra12.kvt"), std::string::npos) << result.message;
    EXPECT_FALSE(engine.Ready());

    result = LoadSpoilt([](TableData& t) { t.figures.pop_back(); });
    EXPECT_FALSE(result.ok);
    EXPECT_NE(result.message.find("MassMF2.kvt"), std::string::npos) << result.message;
    EXPECT_NE(result.message.find("1599996"), std::string::npos) << result.message;
    result = LoadSpoilt([](TableData& t) { t.fadePixels.resize(100); });
    EXPECT_NE(result.message.find("MassP1.kvt"), std::string::npos) << result.message;
}

TEST_F(LoadTables, RejectsOffsetsThatAreNoPixelOrLieOutsideTheCanvas)
{
    struct Case {
        const char* file;
        std::function<void(TableData&)> spoil;
    };
    const Case cases[]{
        {"MassP1.kvt", [](TableData& t) { t.fadePixels[5] += 1; }},
        {"MassP1.kvt", [](TableData& t) { t.fadePixels[5] = -3; }},
        {"MassP1.kvt", [](TableData& t) { t.fadePixels[5] = kCanvasBytes; }},
        {"Lumbra12.kvt", [](TableData& t) { t.wedgeMap[700] = 2; }},
        {"Lumbra12.kvt", [](TableData& t) { t.wedgeMap[700] = 1'200'000; }},
        {"MassMF2.kvt", [](TableData& t) { Word(t, 3, kAnchor + 2) += 2; }},
        {"MassMF2.kvt", [](TableData& t) { Word(t, 3, kLength) = 9; }},
        {"MassMF2.kvt", [](TableData& t) { Word(t, 65, kLength) = 4001; }},
        // In the file the point is fine, but the figure may carry it off the canvas.
        {"MassMF2.kvt", [](TableData& t) { Word(t, 7, kAnchor + 1) = bench::kSyntheticAnchor + 200 * 2025; }},
        // A neighbour of the anchor itself leaves the canvas.
        {"MassMF2.kvt", [](TableData& t) { Word(t, 8, kAnchor) = 3; }},
    };
    for (const Case& c : cases) {
        const LoadResult result = LoadSpoilt(c.spoil);
        EXPECT_FALSE(result.ok);
        EXPECT_NE(result.message.find(c.file), std::string::npos) << result.message;
    }
    // Records the program never chooses are not held against the file.
    EXPECT_TRUE(LoadSpoilt([](TableData& t) { Word(t, 80, kLength) = 0; }).ok);
}

TEST_F(LoadTables, AFailedLoadKeepsTheTablesInUse)
{
    const std::int32_t kept = rig.engine.FadePixels()[0];
    TableData t = bench::SyntheticTables();
    t.fadePixels[0] = 1;
    EXPECT_FALSE(rig.engine.LoadTables(t).ok);
    EXPECT_TRUE(rig.engine.Ready());
    EXPECT_EQ(rig.engine.FadePixels()[0], kept);
}

} // namespace
} // namespace kalvotune::kaleidoscope::testing
