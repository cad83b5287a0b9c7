#include "Rig.hpp"

namespace kalvotune::kaleidoscope::testing {
namespace {

struct Modes : ::testing::Test {
    Rig rig;

    void Start(int mode)
    {
        rig.form.ModeNumber = mode;
        rig.commands.RunPatterns(true);
    }
    /// One pattern tick of the running mode at `tick`; true when it showed a frame.
    bool Tick(int tick)
    {
        rig.At(tick);
        const std::uint64_t before = rig.form.surface.revision;
        for (TimerControl* timer : rig.form.PatternTimers())
            if (timer->enabled) {
                rig.commands.OnPatternTick(*timer);
                break;
            }
        return rig.form.surface.revision != before;
    }
    std::vector<int> Anchors()
    {
        std::vector<int> anchors;
        for (int s = 0; s < kFigureSlots; ++s)
            anchors.push_back(rig.engine.Figure(s)[kAnchor]);
        return anchors;
    }
};

TEST_F(Modes, ModeThirteenFreezesAndThawsAtMarks)
{
    rig.form.channels.speed[5] = 24;
    rig.form.channels.speed[9] = 24;
    Start(13);
    EXPECT_TRUE(Tick(1));
    EXPECT_FALSE(Tick(5)) << "the first mark freezes";
    const std::vector<std::uint8_t> frozen(rig.engine.Canvas().begin(), rig.engine.Canvas().end());
    EXPECT_FALSE(Tick(5)) << "the same mark tick again does not thaw";
    EXPECT_FALSE(Tick(6));
    EXPECT_FALSE(Tick(8));
    EXPECT_TRUE(std::equal(frozen.begin(), frozen.end(), rig.engine.Canvas().begin()));
    EXPECT_TRUE(Tick(9)) << "the next mark thaws";
    EXPECT_TRUE(Tick(10));
    EXPECT_EQ(rig.scheduler.PatternAnimators().FreezeSign(), 1);

    // Mode 2 shares the handler but never freezes.
    Start(2);
    EXPECT_TRUE(Tick(5));
    EXPECT_TRUE(Tick(9));
}

TEST_F(Modes, ModeThreeMovesSlotsFourToSixteenOnlyOnMarks)
{
    rig.commands.ChooseRandomFigures();
    Start(3);
    for (int t = 1; t < 30; ++t)
        rig.form.channels.speed[static_cast<std::size_t>(t)] = 5;
    rig.form.channels.speed[20] = 24;
    std::vector<int> before = Anchors();
    Tick(10);
    std::vector<int> after = Anchors();
    for (int s = 0; s < kFigureSlots; ++s)
        EXPECT_EQ(after[s] != before[s], s < 4) << "slot " << s;

    before = after;
    Tick(20);
    after = Anchors();
    for (int s = 4; s < kFigureSlots; ++s) {
        if (s <= 16) {
            const int direction = rig.engine.Figure(s)[kDirection];
            EXPECT_EQ(after[s] - before[s], kDirectionOffsets[static_cast<std::size_t>(direction)] * 15) << s;
        } else {
            EXPECT_EQ(after[s], before[s]) << "slot " << s << " never moves in mode 3";
        }
    }
}

TEST_F(Modes, ModeZeroPaintsOneFigurePerFiftyOfEachColour)
{
    for (int s = 0; s < kFigureSlots; ++s)
        rig.PlaceFigure(s, bench::kSyntheticAnchor + (s * 4 - 36) * 2025, 3);
    for (auto& b : rig.engine.Canvas())
        b = 0;
    const auto painted = [&](int slot, int channel) {
        return rig.engine.Canvas()[static_cast<std::size_t>(rig.engine.Figure(slot)[kAnchor] + channel)];
    };
    rig.form.channels.blue[3] = 40;
    rig.form.channels.green[3] = 48;
    rig.form.channels.red[3] = 10;
    Start(0);
    Tick(3);
    for (int s = 0; s < kFigureSlots; ++s) {
        EXPECT_EQ(painted(s, 0), s == 0 ? 40 : 0) << s;
        EXPECT_EQ(painted(s, 1), s == 6 ? 48 : 0) << s;
        EXPECT_EQ(painted(s, 2), s == 12 ? 10 : 0) << s;
    }
    rig.form.channels.blue[4] = 150; // slots 0..3
    rig.form.channels.green[4] = 254; // slots 6..11
    rig.form.channels.red[4] = 100; // slots 12..14
    Tick(4);
    for (int s = 0; s < kFigureSlots; ++s) {
        EXPECT_EQ(painted(s, 0) == 150, s <= 3) << s;
        EXPECT_EQ(painted(s, 1) == 254, s >= 6 && s <= 11) << s;
        EXPECT_EQ(painted(s, 2) == 100, s >= 12 && s <= 14) << s;
    }
}

TEST_F(Modes, ModeFifteenNeverFades)
{
    const auto farFromFigures = [&](int mode) {
        for (auto& b : rig.engine.Canvas())
            b = 200;
        Start(mode);
        for (int t = 1; t <= 5; ++t)
            Tick(t);
        int kept = 0;
        int far = 0;
        for (const std::int32_t p : rig.engine.FadePixels()) {
            const int row = p / 2025;
            if (row > 200 && row < 450)
                continue;
            ++far;
            kept += rig.engine.Canvas()[static_cast<std::size_t>(p)] == 200 ? 1 : 0;
        }
        return std::pair{kept, far};
    };
    rig.commands.ChooseRandomFigures();
    const auto [kept, far] = farFromFigures(15);
    EXPECT_GT(far, 1000);
    EXPECT_EQ(kept, far);
    EXPECT_EQ(farFromFigures(2).first, 0) << "mode 2 fades them";
}

} // namespace
} // namespace kalvotune::kaleidoscope::testing
