#include "Rig.hpp"

#include "kaleidoscope/Animators.hpp"

#include <map>
#include <set>

namespace kalvotune::kaleidoscope::testing {
namespace {

using Rgb = std::array<int, 3>; // blue, green, red, as the canvas stores them

/// Pattern ticks of single modes on empty figure slots, so that only the fade and the
/// background rule touch the canvas.
struct Backgrounds : ::testing::Test {
    static constexpr int kBlue{200};
    static constexpr int kGreen{120};
    static constexpr int kRed{60};
    Rig rig;

    Backgrounds()
    {
        // Even colours: an odd blue would select figures, an odd red turn them.
        for (std::size_t t = 0; t < 100; ++t) {
            rig.form.channels.blue[t] = kBlue;
            rig.form.channels.green[t] = kGreen;
            rig.form.channels.red[t] = kRed;
            rig.form.channels.speed[t] = 0;
        }
    }

    void Tick(int mode, int tick)
    {
        rig.form.ModeNumber = mode;
        rig.commands.RunPatterns(true);
        rig.At(tick);
        for (TimerControl* timer : rig.form.PatternTimers())
            if (timer->enabled)
                rig.commands.OnPatternTick(*timer);
    }

    std::uint8_t* Pixel(int i)
    {
        return rig.engine.Canvas().data() + rig.engine.FadePixels()[static_cast<std::size_t>(i)];
    }
    Rgb Read(int i) { return {Pixel(i)[0], Pixel(i)[1], Pixel(i)[2]}; }
    /// Sets fade pixel `i` so that it holds `rgb` once `mode` has faded it.
    void SetAfterFade(int mode, int i, Rgb rgb)
    {
        const std::array<int, 6>& fade = Recipe(mode).fade;
        for (std::size_t k = 0; k < 3; ++k) {
            int v = rgb[k];
            if (fade[2 * k + 1] != 0) {
                v = 0;
                while (v * fade[2 * k] / fade[2 * k + 1] < rgb[k])
                    ++v;
                ASSERT_EQ(v * fade[2 * k] / fade[2 * k + 1], rgb[k]) << "mode " << mode;
            }
            Pixel(i)[k] = static_cast<std::uint8_t>(v);
        }
    }

    static std::vector<int> ModesWith(BackgroundKind kind)
    {
        std::vector<int> modes;
        for (int mode = 0; mode < kModeCount; ++mode)
            if (Recipe(mode).background.kind == kind)
                modes.push_back(mode);
        return modes;
    }
    static int Ramp(int value, int i) { return value * i / kFadePixelCount; }

    struct Case {
        int pixel;
        Rgb afterFade;
        Rgb expected;
    };
    /// One tick of `mode` on the cases' pixels, each checked.
    void Expect(int mode, const std::vector<Case>& cases)
    {
        for (const Case& c : cases)
            SetAfterFade(mode, c.pixel, c.afterFade);
        Tick(mode, 10);
        for (const Case& c : cases)
            EXPECT_EQ(Read(c.pixel), c.expected) << "mode " << mode << ", fade pixel " << c.pixel;
    }
};

TEST_F(Backgrounds, RampBrightensTheDarkChannelsAlongTheFadeList)
{
    ASSERT_EQ(ModesWith(BackgroundKind::Ramp), (std::vector<int>{2, 3, 4, 5, 13}));
    const std::map<int, Rgb> limits{
        {2, {10, 8, 5}}, {3, {10, 6, 4}}, {4, {20, 15, 10}}, {5, {30, 25, 20}}, {13, {10, 8, 5}}}; // a; red; green
    for (const int mode : ModesWith(BackgroundKind::Ramp)) {
        const BackgroundRule rule = Recipe(mode).background;
        EXPECT_EQ((Rgb{rule.a, rule.r, rule.g}), limits.at(mode)) << "mode " << mode;
        Expect(mode,
            {
                {1000, {1, 1, 1}, {Ramp(kBlue, 1000), Ramp(kGreen, 1000), Ramp(kRed, 1000)}},
                {5000, {1, rule.g, rule.r}, {Ramp(kBlue, 5000), rule.g, rule.r}}, // red and green at their limits
                {7000, {0, 1, 0}, {0, Ramp(kGreen, 7000), 0}}, // a zero channel stays zero
                {9000, {rule.a, 1, 1}, {rule.a, 1, 1}}, // one channel too bright: the pixel is left
            });
    }
}

TEST_F(Backgrounds, LevelWritesTheColoursThemselves)
{
    ASSERT_EQ(ModesWith(BackgroundKind::Level), std::vector<int>{9});
    const BackgroundRule rule = Recipe(9).background;
    EXPECT_EQ((Rgb{rule.a, rule.r, rule.g}), (Rgb{11, 10, 8}));
    Expect(9,
        {
            {1000, {1, 1, 1}, {kBlue, kGreen, kRed}},
            {5000, {1, rule.g, rule.r}, {kBlue, rule.g, rule.r}},
            {7000, {0, 0, 1}, {0, 0, kRed}},
            {9000, {1, rule.a, 1}, {1, rule.a, 1}},
        });
}

TEST_F(Backgrounds, ThirdsRepaintsChannelsDivisibleByThree)
{
    ASSERT_EQ(ModesWith(BackgroundKind::Thirds), std::vector<int>{6});
    Expect(6,
        {
            {1000, {3, 6, 9}, {kBlue * 2 / 3, kGreen * 2 / 3, kRed * 2 / 3}},
            {5000, {4, 0, 14}, {4, kGreen * 2 / 3, 14}}, // zero counts as divisible
            {9000, {15, 0, 0}, {15, 0, 0}},
        });
}

TEST_F(Backgrounds, BlackFillsOnlyFullyBlackPixelsOfTheUnfadedMode)
{
    ASSERT_EQ(ModesWith(BackgroundKind::Black), std::vector<int>{15});
    Expect(15,
        {
            {1000, {0, 0, 0}, {Ramp(kBlue, 1000), Ramp(kGreen, 1000), Ramp(kRed, 1000)}},
            {5000, {0, 0, 1}, {0, 0, 1}},
            {9000, {200, 200, 200}, {200, 200, 200}},
        });
}

TEST_F(Backgrounds, ModesWithoutARuleOnlyFade)
{
    ASSERT_EQ(ModesWith(BackgroundKind::None), (std::vector<int>{0, 1, 8, 10, 11}));
    for (const int mode : ModesWith(BackgroundKind::None))
        Expect(mode, {{1000, {0, 0, 0}, {0, 0, 0}}, {5000, {1, 2, 3}, {1, 2, 3}}});
}

TEST_F(Backgrounds, DarkPixelsAreFilledOnMarksInModesSevenAndTwelveAndOnEveryTickInFourteen)
{
    ASSERT_EQ(ModesWith(BackgroundKind::Dark), (std::vector<int>{7, 12, 14}));
    for (const int mode : {7, 12, 14}) {
        SetAfterFade(mode, 1000, {0, 0, 0});
        Tick(mode, 10);
        EXPECT_EQ(Read(1000), (mode == 14 ? Rgb{kBlue, 0, 0} : Rgb{0, 0, 0})) << "mode " << mode << " without a mark";
        SetAfterFade(mode, 1000, {0, 0, 0});
        rig.form.channels.speed[11] = 24;
        Tick(mode, 11);
        EXPECT_EQ(Read(1000), (Rgb{kBlue, 0, 0})) << "mode " << mode << " on a mark";
        rig.form.channels.speed[11] = 0;
    }
}

TEST_F(Backgrounds, ModesOneAndFourteenFadeBlueMoreSlowlyThanModeEight)
{
    for (const int mode : {1, 14, 8}) {
        for (int k = 0; k < 3; ++k)
            Pixel(1000)[k] = 200;
        Tick(mode, 10);
        EXPECT_EQ(Read(1000), (mode == 8 ? Rgb{198, 198, 198} : Rgb{196, 187, 187})) << "mode " << mode;
    }
}

TEST_F(Backgrounds, ModeTenDrawsItsDivisorsAnewOnEveryTick)
{
    rig.PlaceFigure(0, bench::kSyntheticAnchor, 1); // painted B and B div dB
    rig.PlaceFigure(5, bench::kSyntheticAnchor + 30 * 2025, 1); // painted G and G div dG
    const std::uint8_t* blueFigure = rig.engine.Canvas().data() + bench::kSyntheticAnchor;
    const std::uint8_t* greenFigure = blueFigure + 30 * 2025;
    // A one-point rising figure shows 10/11 of the value it is painted with.
    const auto shown = [](int value) { return value * 10 / 11; };
    std::set<int> blueDivided;
    std::set<int> greenDivided;
    for (int tick = 1; tick <= 80; ++tick) {
        Tick(10, tick);
        ASSERT_EQ(blueFigure[0], shown(kBlue));
        ASSERT_EQ(greenFigure[1], shown(kGreen));
        blueDivided.insert(blueFigure[1]);
        greenDivided.insert(greenFigure[2]);
    }
    EXPECT_EQ(blueDivided, (std::set<int>{shown(kBlue / 3), shown(kBlue / 4), shown(kBlue / 5)}));
    EXPECT_EQ(greenDivided, (std::set<int>{shown(kGreen), shown(kGreen / 2), shown(kGreen / 3), shown(kGreen / 4)}));
}

} // namespace
} // namespace kalvotune::kaleidoscope::testing
