#include "Rig.hpp"

#include <limits>
#include <set>
#include <utility>

namespace kalvotune::kaleidoscope::testing {
namespace {

struct SchedulerTest : ::testing::Test {
    Rig rig;
    Form& form = rig.form;
    Scheduler& scheduler = rig.scheduler;
    app::PatternCommands& commands = rig.commands;

    int EnabledPatternTimers()
    {
        int n = 0;
        for (TimerControl* timer : form.PatternTimers())
            n += timer->enabled ? 1 : 0;
        return n;
    }
};

TEST_F(SchedulerTest, PictureDelayShiftsTheTickAgainstThePosition)
{
    form.PictureDelayMs = 300;
    rig.At(100);
    scheduler.TickStep();
    EXPECT_EQ(form.TemplateTick, 97);
    form.PictureDelayMs = -1000;
    scheduler.TickStep();
    EXPECT_EQ(form.TemplateTick, 110);
    // Before the delay has passed the picture waits at the first tick.
    form.PictureDelayMs = 1000;
    rig.At(5);
    scheduler.TickStep();
    EXPECT_EQ(form.TemplateTick, 0);
}

TEST_F(SchedulerTest, IntervalClimbsWhileTheTickStandsAndFallsWhileItAdvances)
{
    rig.At(10);
    for (int i = 0; i < 100; ++i)
        scheduler.TickStep();
    EXPECT_EQ(form.PatternInterval, 80);
    EXPECT_EQ(form.TemplateTick, 10);
    for (int t = 11; t < 120; ++t) {
        rig.At(t);
        scheduler.TickStep();
    }
    EXPECT_EQ(form.PatternInterval, 3);
    EXPECT_EQ(scheduler.PreviousTick(), 119);

    // The handler hands the interval to its timer.
    form.ModeNumber = 4;
    commands.RunPatterns(true);
    rig.At(119);
    commands.OnPatternTick(form.Timer9);
    EXPECT_EQ(form.PatternInterval, 4);
    EXPECT_EQ(form.Timer9.interval, 4);
}

TEST_F(SchedulerTest, SpeedTwentyOneIsAMarkOnlyForMicroTypes)
{
    form.channels.speed[7] = 21;
    form.channels.blue[7] = 100;
    for (std::uint8_t type : {1, 2, 3, 4, 5}) {
        form.FigureType = type;
        form.AutoChangeDue = true;
        form.ModeNumber = 1;
        commands.RunPatterns(true);
        rig.At(7);
        const bool micro = type == 4 || type == 5;
        // The window's tick: a change shows the new mode and restarts its timer instead of drawing.
        commands.OnPatternTick(form.Timer6);
        EXPECT_EQ(form.AutoChangeDue, !micro) << int{type};
        if (micro) {
            EXPECT_EQ(rig.engine.Current().CurrentSpeed, 0);
            EXPECT_EQ(form.ModeButton.caption, std::to_string(form.ModeNumber));
            EXPECT_TRUE((form.*app::kModeTimers[static_cast<std::size_t>(form.ModeNumber)]).enabled);
            EXPECT_FALSE(type == 4 && form.ModeNumber == 7);
        } else {
            EXPECT_EQ(rig.engine.Current().CurrentSpeed, 21);
            EXPECT_EQ(rig.engine.Current().CurrentBlue, 100);
        }
    }
}

TEST_F(SchedulerTest, SeveralAutoFiringsGiveOneChangeAtTheNextMark)
{
    commands.ToggleAutoModeChange();
    EXPECT_TRUE(form.AutoModeTimer.enabled);
    EXPECT_TRUE(form.AutoModeRateSlider.visible);
    commands.OnAutoModeTick();
    commands.OnAutoModeTick();
    commands.OnAutoModeTick();
    commands.ToggleAutoModeChange(); // switching Auto off keeps the pending change
    EXPECT_FALSE(form.AutoModeRateSlider.visible);
    form.channels.speed[5] = 24;
    form.channels.speed[9] = 24;
    form.channels.green[5] = form.channels.green[9] = 77;
    rig.At(5);
    EXPECT_FALSE(scheduler.TickStep());
    EXPECT_EQ(rig.engine.Current().CurrentSpeed, 2);
    EXPECT_NE(rig.engine.Current().CurrentGreen, 77) << "colours are not updated on a change";
    const int mode = form.ModeNumber;
    rig.At(9);
    EXPECT_TRUE(scheduler.TickStep()) << "a mark without a pending change only lowers the speed";
    EXPECT_EQ(form.ModeNumber, mode);
    EXPECT_EQ(rig.engine.Current().CurrentSpeed, 2);
    EXPECT_EQ(rig.engine.Current().CurrentGreen, 77);

    form.AutoModeRateSlider.position = 9000;
    commands.ApplyAutoModeRate();
    EXPECT_EQ(form.AutoModeTimer.interval, 9000);
}

TEST_F(SchedulerTest, ManualModeSwitchWrapsAndSkipsSevenForMicroPlus)
{
    form.ModeNumber = 15;
    commands.NextMode();
    EXPECT_EQ(form.ModeNumber, 0);
    EXPECT_EQ(form.ModeButton.caption, "0");
    EXPECT_TRUE(form.Timer5.enabled);
    // Settings may hold any number: the largest one wraps too, a negative one counts up.
    for (const auto& [stored, next] : {std::pair{std::numeric_limits<int>::max(), 0}, std::pair{-3, -2}}) {
        form.ModeNumber = stored;
        commands.NextMode();
        EXPECT_EQ(form.ModeNumber, next) << stored;
    }
    form.FigureType = 4;
    form.ModeNumber = 6;
    commands.NextMode();
    EXPECT_EQ(form.ModeNumber, 8);
    EXPECT_TRUE(form.Timer6.enabled);

    rig.device.Pause();
    commands.RunPatterns(false);
    commands.NextMode();
    EXPECT_EQ(form.ModeNumber, 9);
    EXPECT_EQ(EnabledPatternTimers(), 0) << "while not playing only the number changes";
}

TEST_F(SchedulerTest, RunPatternsStartsOneTimerAndStopsAll)
{
    form.ModeNumber = 12;
    commands.RunPatterns(true);
    EXPECT_EQ(EnabledPatternTimers(), 1);
    EXPECT_TRUE(form.Timer10.enabled);
    EXPECT_TRUE(form.KeepAwakeTimer.enabled);
    EXPECT_TRUE(form.FullScreenItem.enabled);
    form.ModeNumber = 40;
    commands.RunPatterns(true);
    EXPECT_TRUE(form.Timer10.enabled);
    commands.RunPatterns(false);
    EXPECT_EQ(EnabledPatternTimers(), 0);
    EXPECT_FALSE(form.KeepAwakeTimer.enabled);
    EXPECT_FALSE(form.FullScreenItem.enabled);
    form.IsFullScreen = true;
    form.FullScreenItem.enabled = true;
    commands.RunPatterns(false);
    EXPECT_TRUE(form.FullScreenItem.enabled);

    // Without tables no pattern timer ever runs.
    Form bare;
    Engine engine{bare.Pattern(), rig.random};
    Scheduler unloadedScheduler{engine, rig.device, rig.random};
    app::PatternCommands unloaded{bare, rig.device, engine, unloadedScheduler};
    unloaded.RunPatterns(true);
    const auto timers = bare.PatternTimers();
    EXPECT_EQ(std::count_if(timers.begin(), timers.end(), [](TimerControl* t) { return t->enabled; }), 0);
    unloaded.OnPatternTick(bare.Timer7);
    EXPECT_EQ(bare.surface.revision, 0u);
}

TEST_F(SchedulerTest, FigureTypesChooseTheirKinds)
{
    const auto kinds = [&] {
        std::vector<int> k;
        for (int s = 0; s < kFigureSlots; ++s)
            k.push_back(rig.engine.Figure(s)[kKind]);
        return k;
    };
    commands.ChooseBallFigures();
    EXPECT_EQ(form.FigureType, 1);
    for (int k : kinds())
        EXPECT_EQ(k, 1);
    commands.ChooseBallPlusFigures();
    for (int s = 0; s < kFigureSlots; ++s)
        EXPECT_EQ(kinds()[s] == 1, s <= 13) << s;
    commands.ChooseMicroFigures();
    EXPECT_EQ(form.FigureType, 5);
    for (int k : kinds())
        EXPECT_EQ(k, 11);
    commands.ChooseMicroPlusFigures();
    EXPECT_EQ(form.FigureType, 4);
    for (int s = 0; s < kFigureSlots; ++s) {
        EXPECT_EQ(kinds()[s] == 11, s <= 14) << s;
        EXPECT_EQ(rig.engine.Figure(s)[kTurnSign], 1);
    }
    commands.ChooseRandomFigures();
    EXPECT_EQ(form.FigureType, 3);
    for (int s = 0; s < kFigureSlots; ++s) {
        const auto f = rig.engine.Figure(s);
        EXPECT_GE(f[kDirection], 0);
        EXPECT_LE(f[kDirection], 15);
        EXPECT_GE(f[kTurnPeriod], 1);
        EXPECT_LE(f[kTurnPeriod], 50);
        EXPECT_GE(f[kAnchor], kWindowLow) << "placed inside the window while playing";
        EXPECT_LE(f[kAnchor], kWindowHigh);
    }
}

TEST_F(SchedulerTest, SelectionsWithinOneSecondRepeat)
{
    std::vector<std::int32_t> first;
    const auto snapshot = [&] {
        std::vector<std::int32_t> words;
        for (int s = 0; s < kFigureSlots; ++s)
            words.insert(words.end(), rig.engine.Figure(s).begin(), rig.engine.Figure(s).begin() + kAnchor + 1);
        return words;
    };
    rig.device.Pause(); // not playing: the figures keep their library places
    commands.ChooseRandomFigures();
    first = snapshot();
    commands.ChooseRandomFigures();
    EXPECT_EQ(snapshot(), first);
    rig.clock.AdvanceSeconds(1);
    commands.ChooseRandomFigures();
    EXPECT_NE(snapshot(), first);

    // An odd blue byte re-selects; with "авто" ticked it picks a random type instead.
    form.FigureType = 1;
    form.channels.blue[3] = 1;
    rig.At(3);
    scheduler.TickStep();
    EXPECT_EQ(form.FigureType, 1);
    EXPECT_EQ(rig.engine.Figure(0)[kKind], 1);
    form.pattern.autoFigureType = true;
    std::set<int> types;
    for (int i = 0; i < 40; ++i) {
        rig.clock.AdvanceSeconds(1);
        scheduler.TickStep();
        types.insert(form.FigureType);
    }
    EXPECT_EQ(types, (std::set<int>{1, 2, 3, 4, 5}));
}

TEST_F(SchedulerTest, MissingKindsLeaveTheSlotsAsTheyWere)
{
    TableData tables = bench::SyntheticTables();
    for (int k = 0; k < kLibraryFigures; ++k)
        tables.figures[static_cast<std::size_t>(k) * kFigureWords + kKind] = 2;
    Rig noBalls{tables};
    noBalls.commands.ChooseRandomFigures();
    std::vector<std::int32_t> before(noBalls.engine.Figure(3).begin(), noBalls.engine.Figure(3).end());
    noBalls.device.Pause();
    noBalls.commands.ChooseBallFigures();
    noBalls.commands.ChooseMicroFigures();
    EXPECT_TRUE(std::equal(before.begin(), before.end(), noBalls.engine.Figure(3).begin()));
    noBalls.commands.ChooseBallPlusFigures(); // slots 14..18 can still be filled
    EXPECT_EQ(noBalls.engine.Figure(16)[kKind], 2);
}

TEST_F(SchedulerTest, PictureChangePeriodRewritesTheMarks)
{
    form.channels.Reset(20);
    form.channels.speed[0] = 24;
    form.channels.speed[4] = 30;
    form.channels.speed[5] = 7;
    form.PictureRateSlider.position = 8;
    commands.ApplyPictureRate();
    EXPECT_EQ(form.channels.speed[0], 24) << "only without a template";
    form.NoTemplate = true;
    commands.ApplyPictureRate();
    const std::vector<std::uint8_t> expected{6, 23, 0, 0, 6, 7, 0, 0, 0, 23, 0, 0, 0, 0, 0, 0, 0, 23, 0, 0};
    EXPECT_EQ(form.channels.speed, expected);

    commands.ToggleMotion();
    EXPECT_TRUE(form.MotionOff);
    commands.ToggleMotion();
    EXPECT_FALSE(form.MotionOff);
}

} // namespace
} // namespace kalvotune::kaleidoscope::testing
