#include "Rig.hpp"

namespace kalvotune::kaleidoscope::testing {
namespace {

constexpr int kAnchorAt{bench::kSyntheticAnchor};

struct Figures : ::testing::Test {
    Rig rig;

    std::uint8_t At(int point, int channel)
    {
        return rig.engine.Canvas()[static_cast<std::size_t>(kAnchorAt + 3 * (point - kAnchor) + channel)];
    }
    void Clear(std::uint8_t value)
    {
        for (auto& b : rig.engine.Canvas())
            b = value;
    }
};

TEST_F(Figures, EachStyleShadesTheChannelAsItsTableSays)
{
    // Twenty points (N = 30), value 200; {style, op, value at point 10, value at point 29}.
    struct Case {
        int style;
        int op;
        int first;
        int last;
    };
    const Case cases[]{
        {1, 0, 200, 200},
        {1, 1, 83, 194},
        {1, 2, 134, 7},
        {2, 1, 100, 195},
        {2, 2, 134, 7},
        {3, 0, 200, 200},
        {3, 1, 66, 193},
        {3, 2, 7, 134},
        {4, 0, 200, 200},
        {4, 1, 66, 193},
        {4, 2, 134, 7},
        {9, 1, 66, 193},
        {2, 0, 200, 200},
    };
    for (const Case& c : cases) {
        Clear(0x55);
        rig.PlaceFigure(0, kAnchorAt, 20, c.style);
        if (c.op == 0)
            rig.engine.DrawFiguresFlat(200, 0, 1, 1);
        else if (c.op == 1)
            rig.engine.DrawFiguresRising(200, 0, 1, 1);
        else
            rig.engine.DrawFiguresFalling(200, 0, 1, 1);
        EXPECT_EQ(At(10, 1), c.first) << "style " << c.style << " op " << c.op;
        EXPECT_EQ(At(29, 1), c.last) << "style " << c.style << " op " << c.op;
        EXPECT_EQ(At(10, 0), 0x55);
        EXPECT_EQ(At(29, 2), 0x55);
        EXPECT_EQ(At(30, 1), 0x55) << "beyond the last point";
    }
}

TEST_F(Figures, StylesFiveAndSevenDrawARampFromTheirDrawnStart)
{
    for (int style : {5, 7}) {
        for (int op = 0; op < 3; ++op) {
            Clear(0x55);
            rig.PlaceFigure(0, kAnchorAt, 20, style);
            rig.engine.Figure(0)[kDrawnStart] = 20;
            if (op == 0)
                rig.engine.DrawFiguresFlat(200, 0, 2, 1);
            else if (op == 1)
                rig.engine.DrawFiguresRising(200, 0, 2, 1);
            else
                rig.engine.DrawFiguresFalling(200, 0, 2, 1);
            EXPECT_EQ(At(19, 2), 0x55);
            EXPECT_EQ(At(20, 2), 0);
            EXPECT_EQ(At(25, 2), 100);
            EXPECT_EQ(At(29, 2), 180);
        }
    }
    // A drawn start outside the points (a bad file value) never writes a non-point word.
    Clear(0x55);
    rig.PlaceFigure(0, kAnchorAt, 20, 5);
    rig.engine.Figure(0)[kDrawnStart] = 0;
    rig.engine.DrawFiguresFlat(200, 0, 0, 1);
    EXPECT_EQ(At(10, 0), 0);
    EXPECT_EQ(At(29, 0), 190);
}

TEST_F(Figures, DrawnStartFollowsTheColourAndTheKind)
{
    const auto drawnStart = [&](int points, int kind, int blue, int green, int red) {
        rig.PlaceFigure(0, kAnchorAt, points, 5, kind);
        rig.engine.Current() = {0, blue, green, red};
        rig.engine.MoveFigures(0, 1, 0);
        return rig.engine.Figure(0)[kDrawnStart];
    };
    EXPECT_EQ(drawnStart(90, 2, 0, 0, 255), 60);
    EXPECT_EQ(drawnStart(90, 11, 0, 0, 255), 60);
    EXPECT_EQ(drawnStart(20, 2, 255, 255, 255), 40) << "never below 40 for non-micro";
    EXPECT_EQ(drawnStart(20, 11, 255, 255, 255), 11) << "a micro figure may start early";
    EXPECT_EQ(drawnStart(20, 1, 0, 0, 0), 40);

    // A figure last moved without any colour draws nothing until it moves again.
    Clear(0x55);
    rig.PlaceFigure(0, kAnchorAt, 60, 7);
    rig.engine.Current() = {0, 0, 0, 0};
    rig.engine.MoveFigures(0, 1, 0);
    rig.engine.DrawFiguresRising(200, 0, 0, 1);
    for (int i = kAnchor; i < kAnchor + 60; ++i)
        ASSERT_EQ(At(i, 0), 0x55) << i;
}

TEST_F(Figures, TurnsAtTheirPeriodAndReverseAtTheEnds)
{
    rig.PlaceFigure(0, kAnchorAt, 5);
    auto f = rig.engine.Figure(0);
    f[kTurnPeriod] = 2;
    f[kStepCount] = 1;
    f[kDirection] = 15;
    rig.engine.MoveFigures(0, 1, 0);
    EXPECT_EQ(f[kStepCount], 2);
    EXPECT_EQ(f[kDirection], 15);
    rig.engine.MoveFigures(0, 1, 0);
    EXPECT_EQ(f[kStepCount], 0);
    EXPECT_EQ(f[kDirection], 0) << "past 15 comes 0";
    EXPECT_EQ(f[kTurnSign], -1);
    f[kStepCount] = 2;
    rig.engine.MoveFigures(0, 1, 0);
    EXPECT_EQ(f[kDirection], 15) << "below 0 comes 15";
    EXPECT_EQ(f[kTurnSign], 1);
    EXPECT_EQ(f[kAnchor], kAnchorAt) << "step 0 turns but does not move";

    // An odd red byte gives a fresh random direction and period.
    rig.form.channels.red[0] = 3;
    f[kStepCount] = 7;
    f[kTurnPeriod] = 50;
    rig.engine.MoveFigures(0, 1, 0);
    EXPECT_EQ(f[kStepCount], 1);
    EXPECT_GE(f[kTurnPeriod], 1);
    EXPECT_LE(f[kTurnPeriod], 50);
}

TEST_F(Figures, WindowEdgesTurnTheFigureBack)
{
    struct Case {
        int anchor;
        int direction;
        std::vector<int> allowed;
    };
    const Case cases[]{
        {384 * 2025 + 801, 4, {9, 10, 11, 12, 13, 14, 15}}, // leaves below: turns upwards
        {267 * 2025 + 801, 12, {1, 2, 3, 4, 5, 6, 7}}, // leaves above: turns downwards
        {320 * 2025 + 402, 8, {0, 1, 2, 3, 13, 14, 15}}, // leaves on the left: turns right
        {320 * 2025 + 1197, 0, {5, 6, 7, 8, 9, 10, 11}}, // leaves on the right: turns left
    };
    for (const Case& c : cases) {
        for (int round = 0; round < 20; ++round) {
            rig.PlaceFigure(0, c.anchor, 6);
            auto f = rig.engine.Figure(0);
            f[kDirection] = c.direction;
            rig.engine.MoveFigures(0, 1, 10);
            const int d = f[kDirection];
            EXPECT_NE(std::find(c.allowed.begin(), c.allowed.end(), d), c.allowed.end()) << c.anchor << " -> " << d;
            const int delta = kDirectionOffsets[static_cast<std::size_t>(d)] * 10;
            EXPECT_EQ(f[kAnchor], c.anchor + delta);
            EXPECT_EQ(f[kAnchor + 5], c.anchor + 15 + delta) << "the points move with the anchor";
            EXPECT_GE(f[kAnchor], kWindowLow);
            EXPECT_LE(f[kAnchor], kWindowHigh);
            EXPECT_GE(f[kAnchor] % 2025, kWindowLeft);
            EXPECT_LE(f[kAnchor] % 2025, kWindowRight);
        }
    }
}

TEST_F(Figures, AFigureThatCannotReachTheWindowStaysWhereItIs)
{
    const int outside = kAnchorAt - 60 * 2025;
    for (int step : {0, 1, 2}) {
        rig.PlaceFigure(0, outside, 6);
        rig.engine.MoveFigures(0, 1, step);
        EXPECT_EQ(rig.engine.Figure(0)[kAnchor], outside) << step;
    }
    // With a long enough step it is brought inside.
    rig.engine.MoveFigures(0, 1, 30);
    EXPECT_GE(rig.engine.Figure(0)[kAnchor], kWindowLow);
}

TEST_F(Figures, AFigureWithoutPointsDrawsAndMovesNothing)
{
    Clear(0x55);
    rig.PlaceFigure(0, kAnchorAt, 0);
    rig.engine.Figure(0)[kAnchor] = kAnchorAt;
    rig.engine.MoveFigures(0, 1, 20);
    rig.engine.DrawFiguresFlat(9, 0, 0, 1);
    rig.engine.DrawFiguresFalling(9, 0, 0, 1);
    rig.engine.SmoothFigures();
    EXPECT_EQ(rig.engine.Figure(0)[kAnchor], kAnchorAt);
    EXPECT_EQ(At(10, 0), 0x55);
}

TEST_F(Figures, SmoothingAveragesWithTheFourNeighboursInPlace)
{
    Clear(0);
    rig.PlaceFigure(0, kAnchorAt, 2);
    auto canvas = rig.engine.Canvas();
    canvas[kAnchorAt] = 100;
    canvas[kAnchorAt - 2025] = 50;
    canvas[kAnchorAt + 3 + 2025] = 25;
    rig.engine.SmoothFigures();
    EXPECT_EQ(canvas[kAnchorAt], 30); // (100 + 50) / 5
    EXPECT_EQ(canvas[kAnchorAt + 3], (30 + 25) / 5) << "sees the already smoothed point";
}

} // namespace
} // namespace kalvotune::kaleidoscope::testing
