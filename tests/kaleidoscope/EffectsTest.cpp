#include "Rig.hpp"

#include <functional>

namespace kalvotune::kaleidoscope::testing {
namespace {

TEST(Effects, FillDarkPixelsPaintsTheDominantColourAndTiesGoToRed)
{
    struct Case {
        int blue, green, red;
        std::array<std::uint8_t, 3> start;
        std::array<std::uint8_t, 3> expected;
    };
    const Case cases[]{
        {200, 100, 100, {3, 9, 3}, {200, 9, 3}}, // blue branch accepts green up to 9
        {100, 200, 100, {3, 9, 3}, {3, 9, 3}}, // green branch needs green below 4
        {100, 201, 100, {3, 3, 3}, {3, 201, 100}}, // green, and half of it in red
        {100, 100, 200, {0, 0, 0}, {0, 0, 200}}, {150, 150, 150, {0, 0, 0}, {0, 0, 150}}, // all equal: red
        {150, 150, 10, {0, 0, 0}, {0, 0, 10}}, // blue and green tie: red branch, red value
        {200, 100, 100, {4, 0, 0}, {4, 0, 0}}, // not dark enough
    };
    for (const Case& c : cases) {
        Rig rig;
        const std::int32_t p = rig.engine.FadePixels()[100];
        auto canvas = rig.engine.Canvas();
        std::copy(c.start.begin(), c.start.end(), canvas.begin() + p);
        rig.engine.Current() = {0, c.blue, c.green, c.red};
        rig.engine.FillDarkPixels();
        EXPECT_EQ((std::array<std::uint8_t, 3>{canvas[p], canvas[p + 1], canvas[p + 2]}), c.expected)
            << c.blue << " " << c.green << " " << c.red;
    }
}

struct Frames : ::testing::Test {
    Rig rig;

    /// Runs FinishFrame at ticks first..first+count-1 and returns how many frames it showed.
    int Shown(int first, int count)
    {
        int shown = 0;
        for (int t = first; t < first + count; ++t) {
            rig.form.TemplateTick = t;
            const std::uint64_t before = rig.form.surface.revision;
            rig.engine.FinishFrame();
            shown += rig.form.surface.revision != before ? 1 : 0;
        }
        return shown;
    }
};

TEST_F(Frames, WithoutTemplateAMarkStartsABurstOfFourFrames)
{
    rig.form.NoTemplate = true;
    rig.form.channels.speed[10] = 24;
    EXPECT_EQ(Shown(0, 10), 0);
    EXPECT_EQ(Shown(10, 1), 1);
    EXPECT_EQ(Shown(11, 20), 3);
    EXPECT_EQ(rig.engine.BurstCounter(), 0);

    for (int t = 40; t < 45; ++t)
        rig.form.channels.speed[static_cast<std::size_t>(t)] = 23;
    EXPECT_EQ(Shown(40, 5), 5);
    EXPECT_EQ(Shown(45, 20), 3) << "five marked ticks show eight frames in all";

    // A speed byte of 21 is no mark here.
    rig.form.channels.speed[70] = 21;
    EXPECT_EQ(Shown(70, 5), 0);
}

TEST_F(Frames, WithTemplateDriveOffShowsOnlyMarks)
{
    rig.form.NoTemplate = false;
    rig.form.MotionOff = true;
    rig.form.channels.speed[3] = 22;
    rig.form.channels.speed[7] = 30;
    EXPECT_EQ(Shown(0, 10), 2);
    rig.form.MotionOff = false;
    EXPECT_EQ(Shown(0, 10), 10);
}

/// FinishFrame's canvas after the options against the same steps called by hand.
void ExpectSmoothing(bool utiug, bool razmazat, int tick, const std::function<void(Engine&)>& byHand)
{
    Rig a, b;
    for (Rig* rig : {&a, &b}) {
        rig->engine.Current() = {0, 0, 0, 0};
        auto canvas = rig->engine.Canvas();
        for (std::size_t i = 0; i < canvas.size(); ++i)
            canvas[i] = static_cast<std::uint8_t>(i * 7 % 251);
    }
    a.commands.ChooseBallFigures();
    b.commands.ChooseBallFigures();
    a.form.pattern.smoothing = utiug;
    a.form.pattern.smearing = razmazat;
    a.form.TemplateTick = tick;
    a.engine.FinishFrame();
    byHand(b.engine);
    EXPECT_TRUE(std::equal(a.engine.Canvas().begin(), a.engine.Canvas().end(), b.engine.Canvas().begin()))
        << utiug << razmazat << tick;
}

TEST(Effects, SmoothingOptionsRunTheirStepsInOrder)
{
    ExpectSmoothing(false, false, 3, [](Engine&) {});
    ExpectSmoothing(true, false, 3, [](Engine& e) {
        e.FoldBack();
        e.BlurCentre();
        e.SmoothFigures();
    });
    ExpectSmoothing(true, false, 4, [](Engine& e) { e.SmoothFigures(); });
    ExpectSmoothing(false, true, 4, [](Engine& e) {
        e.FoldBack();
        e.BlurCentre();
        e.BlurCentre();
    });
    ExpectSmoothing(true, true, 6, [](Engine& e) {
        e.FoldBack();
        e.BlurCentre();
        e.BlurCentre();
        e.FoldBack();
        e.BlurCentre();
        e.SmoothFigures();
    });
}

} // namespace
} // namespace kalvotune::kaleidoscope::testing
