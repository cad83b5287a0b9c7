#include "AppFixture.hpp"

#include "app/WindowBindings.hpp"

#include "core/FileIO.hpp"
#include "core/OptionsFile.hpp"
#include "kaleidoscope/Animators.hpp"
#include "template_commands/LiveTemplate.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <future>
#include <numbers>
#include <set>
#include <stdexcept>
#include <thread>

namespace kalvotune::testing {
namespace {

class WindowModel : public ::testing::Test, public AppFixture {
protected:
    void SetUp() override { MakeProgramFolder(); }

    /// Ships `names` in the Sound folder, each `lengthMs` long, starts the program, shows
    /// the current list and selects every entry.
    void StartWithTracks(std::initializer_list<const char*> names, std::int64_t lengthMs)
    {
        for (const char* name : names) {
            WriteFileAtomically(Dir() / "Sound" / name, std::string_view{"RIFF"});
            device.AddFile(Dir() / "Sound" / name, lengthMs);
        }
        Start();
        App().Click("SpeedButton2");
        Window().CurrentListBox.SelectAll(true);
        App().Click("ListBox1");
    }

    std::vector<std::string> RunningPatternTimers()
    {
        std::vector<std::string> running;
        for (TimerControl* timer : Window().PatternTimers())
            if (timer->enabled)
                running.push_back(timer->name);
        return running;
    }

    std::string Playing() const { return device.openFile.filename().string(); }
};

TEST_F(WindowModel, PauseTwiceStaysPausedAndPlayResumesUpToTheNextTrack)
{
    StartWithTracks({"a.wav", "b.wav"}, 2500);
    App().Click("PlayButton");
    ASSERT_EQ(Playing(), "a.wav");
    Advance(1000);
    App().MenuPopup("PopupMenu1"); // "Пауза" takes the Pause button's state
    App().Click("Pause1");
    App().Click("Pause1"); // Ctrl+Z again: the shortcut kept the state of the last opening
    EXPECT_EQ(device.Mode(), DeviceMode::Paused);
    EXPECT_FALSE(Window().PositionTimer.enabled);
    EXPECT_EQ(Window().PlayButton.caption, "Play");
    const std::int64_t pausedAt = device.PositionMs();
    Advance(5000);
    EXPECT_EQ(device.PositionMs(), pausedAt);

    App().Click("PlayButton");
    EXPECT_EQ(device.Mode(), DeviceMode::Playing);
    EXPECT_TRUE(Window().PositionTimer.enabled);
    Advance(2000);
    EXPECT_EQ(Playing(), "b.wav") << "the end of the track was seen and the next one started";
}

TEST_F(WindowModel, AnErrorEscapingAHandlerIsShownAndTheNextEventRunsAsUsual)
{
    Start();
    App().HandleEvent([] { throw std::runtime_error{"Диск недоступен"}; });
    App().HandleEvent([] { throw 42; });
    EXPECT_EQ(dialogs.errors, (std::vector<std::string>{"Диск недоступен", "Непредвиденная ошибка."}));

    const std::string mode = Window().ModeButton.caption;
    App().HandleEvent([this] { App().Click("SpeedButton5"); });
    EXPECT_NE(Window().ModeButton.caption, mode);
    EXPECT_EQ(dialogs.errors.size(), 2u);
}

TEST_F(WindowModel, StartFigureTypeDependsOnTheClock)
{
    std::set<int> types;
    for (int start = 0; start < 8; ++start) {
        clock.AdvanceSeconds(1);
        random.Seed(1); // each start is a new process
        Start();
        types.insert(Window().FigureType);
    }
    EXPECT_GT(types.size(), 1u);
}

TEST_F(WindowModel, KeepAwakeRunsExactlyWhileAPatternTimerRuns)
{
    StartWithTracks({"a.wav"}, 60'000); // no pattern tables
    App().Click("PlayButton");
    EXPECT_EQ(device.Mode(), DeviceMode::Playing);
    EXPECT_TRUE(RunningPatternTimers().empty());
    EXPECT_FALSE(Window().KeepAwakeTimer.enabled);

    device.Close();
    WriteTables();
    StartWithTracks({}, 0);
    App().Click("PlayButton");
    EXPECT_EQ(RunningPatternTimers().size(), 1u);
    EXPECT_TRUE(Window().KeepAwakeTimer.enabled);
    App().Click("PauseButton");
    EXPECT_TRUE(RunningPatternTimers().empty());
    EXPECT_FALSE(Window().KeepAwakeTimer.enabled);
}

TEST_F(WindowModel, WindowStartsCentredAndLeavesFullScreenWithItsFrameAtTheCorner)
{
    screen.width = 1280;
    screen.height = 1024;
    Start();
    EXPECT_EQ(Window().windowLeft, (1280 - 800) / 2);
    EXPECT_EQ(Window().windowTop, (1024 - 572) / 2);
    EXPECT_EQ(Window().windowWidth, 800);
    EXPECT_EQ(Window().windowHeight, 572);
    EXPECT_GT(Window().placementRevision, 0u);

    App().DoubleClick("Form1");
    EXPECT_EQ(Window().windowLeft, -60);
    EXPECT_EQ(Window().windowTop, -40);
    EXPECT_EQ(Window().windowWidth, 1430);
    EXPECT_EQ(Window().windowHeight, 1430 * 100 / 133);

    const std::uint64_t placed = Window().placementRevision;
    App().DoubleClick("Form1");
    EXPECT_GT(Window().placementRevision, placed);
    EXPECT_EQ(Window().windowLeft, 0);
    EXPECT_EQ(Window().windowTop, 0);
    EXPECT_EQ(Window().windowWidth, 800);
    EXPECT_EQ(Window().windowHeight, 572);
    EXPECT_FALSE(Window().frameless);
}

TEST_F(WindowModel, FullScreenEnteredWithTheGraphicsOffIsLeftWithF5)
{
    StartWithTracks({"a.wav"}, 60'000);
    App().Click("StopGraphica"); // graphics off: no pattern runs, so F5 is off too
    App().Click("PlayButton");
    ASSERT_EQ(device.Mode(), DeviceMode::Playing);
    EXPECT_FALSE(Window().FullScreenItem.enabled);

    App().DoubleClick("Form1");
    ASSERT_TRUE(Window().IsFullScreen);
    EXPECT_TRUE(Window().FullScreenItem.enabled);
    App().Click("Fullscreen1");
    EXPECT_FALSE(Window().IsFullScreen);
    EXPECT_FALSE(Window().FullScreenItem.enabled);
}

TEST_F(WindowModel, LargeScreenQuestionCountsThePhysicalPixels)
{
    screen.width = 1000;
    screen.scalePercent = 150;
    dialogs.answers = {false};
    Start();
    EXPECT_EQ(dialogs.questions.size(), 1u);

    dialogs.questions.clear();
    screen.width = 1100;
    screen.scalePercent = 90;
    Start();
    EXPECT_TRUE(dialogs.questions.empty());
}

TEST_F(WindowModel, PictureIsDraggedOnlyAfterAPressAndAReleaseOnItNeverSeeks)
{
    StartWithTracks({"a.wav"}, 60'000);
    Control& image = Window().Picture;
    App().MouseMove("Image1", 50, 50, true);
    EXPECT_EQ(std::make_pair(image.left, image.top), std::make_pair(4, 4)) << "no press on the picture yet";

    App().MouseDown("Image1", 10, 20);
    App().MouseMove("Image1", 15, 17, false);
    EXPECT_EQ(std::make_pair(image.left, image.top), std::make_pair(4, 4)) << "left button not held";
    App().MouseMove("Image1", 15, 17, true);
    EXPECT_EQ(std::make_pair(image.left, image.top), std::make_pair(9, 1));
    App().MouseMove("Image1", 10, 20, true); // the point grabbed follows the cursor
    EXPECT_EQ(std::make_pair(image.left, image.top), std::make_pair(9, 1));

    App().Click("PlayButton");
    Advance(1200);
    const std::int64_t position = device.PositionMs();
    App().MouseUp("Image1", 300, Window().Picture.height - 2);
    EXPECT_EQ(device.PositionMs(), position);
    App().MouseMove("Image1", 40, 40, true);
    EXPECT_EQ(std::make_pair(image.left, image.top), std::make_pair(9, 1)) << "released";

    // The strip along the bottom of the panel itself does seek.
    App().MouseUp("Panel1", Window().ViewPanel.width / 2, Window().ViewPanel.height - 2);
    EXPECT_EQ(
        device.PositionMs(), (std::int64_t{Window().ViewPanel.width / 2} * 60 / Window().ViewPanel.width + 1) * 1000);
}

TEST_F(WindowModel, PatternTicksThroughTheWindowsTimersDrawEveryModeWithTheShippedTables)
{
    WriteTables();
    StartWithTracks({"a.wav"}, 600'000);
    ASSERT_TRUE(dialogs.messages.empty()) << dialogs.messages.front();
    App().Click("PlayButton");
    const std::vector<std::uint8_t> start = Window().surface.bytes;
    const std::uint64_t shown = Window().surface.revision;
    // Without a template the picture is shown at the generated marks, every 2 s.
    Advance(2500);
    EXPECT_GT(Window().surface.revision, shown);
    EXPECT_NE(Window().surface.bytes, start);
    EXPECT_GT(Window().TemplateTick, 20);

    for (int click = 0; click < 16; ++click) {
        App().Click("SpeedButton5");
        const int mode = Window().ModeNumber;
        const TimerControl& timer = Window().*app::kModeTimers[static_cast<std::size_t>(mode)];
        EXPECT_EQ(RunningPatternTimers(), std::vector<std::string>{timer.name}) << "mode " << mode;
        const int tick = Window().TemplateTick;
        Advance(300);
        EXPECT_GT(Window().TemplateTick, tick) << "mode " << mode;
        EXPECT_GE(timer.interval, 3);
        EXPECT_LE(timer.interval, 80);
    }
}

/// The sound a fake capture hands on, and what was asked of it; shared with the test,
/// as the capture itself belongs to the window.
struct FakeSound {
    std::vector<float> samples;
    CaptureStatus status{CaptureState::Capturing, {}, "test.monitor", 0.02, 0};
    std::vector<std::string> started; ///< the source of every start
    int stops{};
};

class FakeCapture : public SoundCapture {
public:
    explicit FakeCapture(FakeSound& sound)
        : m_sound{sound}
    {
    }
    void Start(const CaptureSettings& settings) override { m_sound.started.push_back(settings.source); }
    void Stop() override { ++m_sound.stops; }
    void Take(std::vector<float>& samples) override
    {
        samples.insert(samples.end(), m_sound.samples.begin(), m_sound.samples.end());
        m_sound.samples.clear();
    }
    CaptureStatus Status() const override { return m_sound.status; }

private:
    FakeSound& m_sound;
};

class ListeningWindow : public WindowModel {
protected:
    void StartListeningWindow()
    {
        WriteTables();
        StartWithTracks({"a.wav"}, 600'000);
        App().listen().SetLiveSound({
            .listSources =
                [this] {
                    ++sourceLists;
                    if (serverAnswers.valid())
                        serverAnswers.wait();
                    return SoundSourceList{true, {},
                        {{"test.monitor", "Monitor of Null Output", true}, {"mic", "Микрофон", false}}};
                },
            .newCapture = [this] { return std::make_unique<FakeCapture>(sound); },
            .newTicker = template_commands::NewLiveTicker,
            .unavailable = {},
        });
    }

    /// `ms` of virtual time with the capture handing on clicks four times a second, or silence.
    void Hear(int ms, bool clicks)
    {
        for (int step = 0; step < ms / 100; ++step) {
            for (int i = 0; i < analysis::kAnalysisRate / 10; ++i, ++m_sample) {
                const long long inBeat = m_sample % (analysis::kAnalysisRate / 4);
                sound.samples.push_back(clicks && inBeat < 400
                        ? 0.6f * static_cast<float>(std::exp(-inBeat / 80.0) * std::sin(inBeat * 0.3))
                        : 0.0f);
            }
            Advance(100);
        }
    }

    /// "Источник звука…", and the wait for the sources, which come on a thread of their own.
    void ChooseSource()
    {
        App().Click("SoundSource");
        for (int wait = 0; wait < 200 && Window().SourceListTimer.enabled; ++wait) {
            std::this_thread::sleep_for(std::chrono::milliseconds{5});
            Advance(50);
        }
    }

    FakeSound sound;
    /// When valid, the server answers for its sources only once it is ready.
    std::shared_future<void> serverAnswers;
    std::atomic<int> sourceLists{};
    long long m_sample{};
};

// Listening takes the picture off the player and gives it back: the track pauses, the
// caption names the source, the picture follows the sound and falls back to generated
// motion in silence; leaving puts the window back and the track goes on where it paused.
// Play leaves too, Stop leaves with the track stopped, and a paused track stays paused.
TEST_F(ListeningWindow, FollowsTheSoundAndGivesThePlayerBack)
{
    StartListeningWindow();
    App().Click("PlayButton");
    Advance(1000);
    const std::string caption = Window().caption;
    const TemplateChannels channels = Window().channels;

    App().Click("ListenSound");
    EXPECT_TRUE(Window().ListenItem.checked);
    EXPECT_EQ(device.Mode(), DeviceMode::Paused);
    const std::int64_t pausedAt = device.PositionMs();
    EXPECT_EQ(sound.started, std::vector<std::string>{""});
    EXPECT_FALSE(RunningPatternTimers().empty());
    const std::uint64_t shown = Window().surface.revision;
    Hear(3000, true);
    // The sources are listed aside; the description shows once they are known.
    for (int wait = 0; wait < 100 && Window().caption.find("Monitor of Null Output") == std::string::npos; ++wait) {
        std::this_thread::sleep_for(std::chrono::milliseconds{10});
        Hear(100, true);
    }
    EXPECT_EQ(Window().caption, Window().CaptionPrefix + "        Слушаю: Monitor of Null Output");
    EXPECT_FALSE(Window().NoTemplate);
    EXPECT_GT(Window().surface.revision, shown);
    EXPECT_GE(Window().TemplateTick, 25);
    EXPECT_TRUE(std::ranges::any_of(Window().channels.speed, [](std::uint8_t s) { return s >= 22; }));

    Hear(2500, false);
    EXPECT_TRUE(Window().NoTemplate) << "generated motion after 2 s of silence";
    Hear(1000, true);
    EXPECT_FALSE(Window().NoTemplate) << "the sound is followed again within a second";

    EXPECT_EQ(device.PositionMs(), pausedAt);

    App().Click("ListenSound");
    EXPECT_FALSE(Window().ListenItem.checked);
    EXPECT_FALSE(Window().ListenTimer.enabled);
    EXPECT_EQ(sound.stops, 1);
    EXPECT_EQ(Window().caption, caption);
    EXPECT_EQ(Window().channels.speed, channels.speed);
    EXPECT_TRUE(Window().NoTemplate);
    EXPECT_EQ(device.Mode(), DeviceMode::Playing);
    EXPECT_EQ(device.PositionMs(), pausedAt);
    EXPECT_FALSE(RunningPatternTimers().empty());
    EXPECT_FALSE(Window().CurrentListBox.visible);
    Advance(1000);
    EXPECT_GT(device.PositionMs(), pausedAt);

    App().Click("ListenSound");
    App().Click("PlayButton");
    EXPECT_FALSE(Window().ListenItem.checked);
    EXPECT_EQ(device.Mode(), DeviceMode::Playing);
    EXPECT_EQ(sound.stops, 2);

    App().Click("ListenSound");
    App().Click("StopButton");
    EXPECT_FALSE(Window().ListenItem.checked);
    EXPECT_EQ(device.Mode(), DeviceMode::Stopped);
    EXPECT_TRUE(RunningPatternTimers().empty());
    EXPECT_TRUE(Window().CurrentListBox.visible);

    App().Click("PlayButton");
    App().Click("PauseButton");
    App().Click("ListenSound");
    App().Click("ListenSound");
    EXPECT_EQ(device.Mode(), DeviceMode::Paused);
    EXPECT_TRUE(dialogs.messages.empty());
}

// A missing server is told once, in the caption too, with generated motion meanwhile; the
// source chosen is kept in the options file and listened to at once.
TEST_F(ListeningWindow, SaysOnceThatThereIsNoServerAndKeepsTheSourceChosen)
{
    StartListeningWindow();
    sound.status = {CaptureState::NoServer, "Нет звукового сервера", {}, 0, 0};
    App().Click("ListenSound");
    Hear(1000, false);
    EXPECT_EQ(dialogs.messages, std::vector<std::string>{"Нет звукового сервера"});
    EXPECT_EQ(Window().caption, Window().CaptionPrefix + "        Нет звукового сервера");
    EXPECT_TRUE(Window().NoTemplate);
    EXPECT_FALSE(RunningPatternTimers().empty());

    sound.status = {CaptureState::Capturing, {}, "test.monitor", 0.02, 0};
    dialogs.choices.push_back(1);
    ChooseSource();
    ASSERT_EQ(dialogs.offered.size(), 1u);
    EXPECT_EQ(dialogs.offered[0], (std::vector<std::string>{"Monitor of Null Output", "Микрофон"}));
    EXPECT_EQ(ReadOptions(Dir() / kOptionsFileName).soundSource, "mic");
    EXPECT_EQ(sound.started, (std::vector<std::string>{"", "mic"}));
    Hear(300, true);
    EXPECT_EQ(Window().caption, Window().CaptionPrefix + "        Слушаю: Микрофон");
    App().Click("ListenSound");
    App().Click("ListenSound");
    EXPECT_EQ(sound.started.back(), "mic");
    ChooseSource();
    EXPECT_EQ(dialogs.offeredCurrent, 1);
}

// A server slow to list its sources never holds the window: the list is offered when it
// comes, and clicks meanwhile ask for nothing more.
TEST_F(ListeningWindow, ASlowServerListingItsSourcesNeverHoldsTheWindow)
{
    StartListeningWindow();
    std::promise<void> answer;
    serverAnswers = answer.get_future().share();
    App().Click("SoundSource");
    App().Click("SoundSource");
    Advance(1000);
    EXPECT_TRUE(dialogs.offered.empty());
    EXPECT_TRUE(Window().SourceListTimer.enabled);
    answer.set_value();
    ChooseSource();
    ASSERT_EQ(dialogs.offered.size(), 1u);
    EXPECT_EQ(dialogs.offered[0], (std::vector<std::string>{"Monitor of Null Output", "Микрофон"}));
    EXPECT_EQ(sourceLists, 1);
    EXPECT_FALSE(Window().SourceListTimer.enabled);
}

// The window builds exactly the controls the table binds: a control the model gains without
// a binding would never show, and a binding whose control went away would act on nothing.
TEST(WindowBindings, EveryControlMenuItemAndTimerOfTheModelHasOneBindingInItsPlace)
{
    Form form;
    std::set<std::string> bound;
    for (const app::WidgetBinding& binding : app::WindowBindings()) {
        EXPECT_TRUE(bound.insert(std::string{binding.widget}).second) << binding.widget;
        const std::string widget{binding.widget};
        if (binding.kind == app::WidgetKind::Timer) {
            EXPECT_NE(form.FindTimer(widget), nullptr) << widget;
        } else if (binding.kind != app::WidgetKind::Window) {
            EXPECT_NE(form.Find(widget), nullptr) << widget;
        }
        if (!binding.place.empty() && binding.kind != app::WidgetKind::MenuItem) {
            EXPECT_LT(app::FindBinding(binding.place), &binding) << widget << " comes before its place";
        }
    }
    const auto menuOf = [&form](const std::string& menuName, const std::vector<MenuNode>& menu) {
        const auto walk = [&menuName](const std::vector<MenuNode>& nodes, auto& self) -> void {
            for (const MenuNode& node : nodes) {
                if (!node.item->separator) {
                    const app::WidgetBinding* binding = app::FindBinding(node.item->name);
                    ASSERT_NE(binding, nullptr) << node.item->name;
                    EXPECT_EQ(binding->place, menuName) << node.item->name;
                }
                self(node.children, self);
            }
        };
        walk(menu, walk);
    };
    menuOf("PopupMenu1", form.WindowMenu);
    menuOf("PopupMenu2", form.ListMenu);
    menuOf("PopupMenu3", form.MyListsMenu);
    menuOf("PopupMenu4", form.PathsMenu);
    for (Control* control : form.AllControls()) {
        if (dynamic_cast<MenuItem*>(control) == nullptr) {
            EXPECT_NE(app::FindBinding(control->name), nullptr) << control->name;
        }
    }
    for (TimerControl* timer : form.AllTimers())
        EXPECT_NE(app::FindBinding(timer->name), nullptr) << timer->name;
}

} // namespace
} // namespace kalvotune::testing
