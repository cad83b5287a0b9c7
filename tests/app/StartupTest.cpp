#include "AppFixture.hpp"

#include "app/ProgramDir.hpp"
#include "app/Settings.hpp"
#include "core/FileIO.hpp"
#include "core/SurfaceFile.hpp"

#include <gtest/gtest.h>

#include <algorithm>

namespace kalvotune::testing {
namespace {

namespace fs = std::filesystem;

bool Has(const std::vector<std::string>& texts, const std::string& part)
{
    return std::any_of(
        texts.begin(), texts.end(), [&](const std::string& t) { return t.find(part) != std::string::npos; });
}

class Startup : public ::testing::Test, public AppFixture {
protected:
    void SetUp() override { MakeProgramFolder(); }
};

TEST_F(Startup, ProgramFolderIsTheStartFolderOnlyWhenItHoldsTheTables)
{
    const fs::path exeDir = Dir() / "bin";
    EXPECT_EQ(app::ResolveProgramDir(Dir(), exeDir), exeDir);
    WriteFileAtomically(Dir() / "MassP1.kvt", std::string_view{"x"});
    EXPECT_EQ(app::ResolveProgramDir(Dir(), exeDir), Dir());
}

TEST_F(Startup, WithoutTablesSaysWhichFileAndStillOpensTheLists)
{
    Start();
    EXPECT_TRUE(Has(dialogs.messages, "MassP1.kvt"));
    EXPECT_EQ(Window().CurrentListName, "Калейдоскоп");
    EXPECT_EQ(Window().caption, " Калейдоскоп");
    EXPECT_TRUE(Window().MyListsBox.visible);
    EXPECT_FALSE(Window().CurrentListBox.visible);
    EXPECT_EQ(Window().PlayButton.caption, "Play");
    EXPECT_FALSE(Window().PauseButton.enabled);
    // No kaleidoscope: starting the patterns enables no pattern timer.
    App().patternCommands().RunPatterns(true);
    for (TimerControl* timer : Window().PatternTimers())
        EXPECT_FALSE(timer->enabled) << timer->name;
}

TEST_F(Startup, MissingStartPictureLeavesTheSurfaceBlackAndAValidOneIsShown)
{
    Start();
    EXPECT_TRUE(
        std::all_of(Window().surface.bytes.begin(), Window().surface.bytes.end(), [](auto b) { return b == 0; }));
    EXPECT_EQ(Window().CurrentListName, "Калейдоскоп");

    Surface picture;
    picture.Row(0)[0] = 7;
    picture.Row(523)[2024] = 9;
    ASSERT_TRUE(SaveSurfaceBmp(Dir() / "ScreenShot" / "ScreenShot.BMP", picture).ok);
    Start();
    EXPECT_EQ(Window().surface.Row(0)[0], 7);
    EXPECT_EQ(Window().surface.Row(523)[2024], 9);
}

TEST_F(Startup, LargeScreenQuestionFromWidth1026AndYesIsRememberedAcrossStarts)
{
    screen.width = 1025;
    Start();
    EXPECT_TRUE(dialogs.questions.empty());

    screen.width = 1026;
    dialogs.answers = {true};
    Start();
    ASSERT_EQ(dialogs.questions.size(), 1u);
    EXPECT_TRUE(Has(dialogs.questions, "  ВНИМАНИЕ! |При таком большом разрешении экрана"));
    EXPECT_TRUE(Window().MotionOff);
    Close();
    EXPECT_EQ(ReadSettings(Dir() / "SetGet.kvt").motionOff, 1);

    Start();
    EXPECT_EQ(dialogs.questions.size(), 1u);
}

TEST_F(Startup, AnsweringNoExplainsAndChangesNothing)
{
    screen.width = 1920;
    dialogs.answers = {false};
    Start();
    EXPECT_FALSE(Window().MotionOff);
    EXPECT_TRUE(Has(dialogs.messages, " Напрасно. Даже на достаточно мощных машинах"));
}

TEST_F(Startup, StartMessageOrGraphicsOffSkipTheQuestion)
{
    screen.width = 1920;
    SavedSettings settings;
    settings.noStartQuestion = 1;
    WriteSettings(Dir() / "SetGet.kvt", settings);
    Start();
    settings.noStartQuestion = 0;
    settings.graphicsOff = 1;
    WriteSettings(Dir() / "SetGet.kvt", settings);
    Start();
    EXPECT_TRUE(dialogs.questions.empty());
    EXPECT_TRUE(Window().GraphicsItem.checked);
}

TEST_F(Startup, CloseRewritesSettingsKeepingTheUninterpretedWords)
{
    SettingsWords record = ToWords(SavedSettings{});
    for (int i = 21; i < 100; ++i)
        record[static_cast<std::size_t>(i)] = i * 7 - 300;
    record[12] = 1; // automatic mode change on
    record[1] = 5;
    WriteSettings(Dir() / "SetGet.kvt", FromWords(record));

    Start();
    EXPECT_TRUE(Window().AutoModeTimer.enabled);
    EXPECT_TRUE(Window().AutoModeRateSlider.visible);
    EXPECT_EQ(Window().ModeButton.caption, "5");
    Close();

    const SettingsWords written = ToWords(ReadSettings(Dir() / "SetGet.kvt"));
    for (int i = 21; i < 100; ++i)
        EXPECT_EQ(written[static_cast<std::size_t>(i)], i * 7 - 300);
    EXPECT_EQ(written[12], 1);
    EXPECT_EQ(written[1], 5);
    EXPECT_EQ(written[0], Window().FigureType);
}

TEST_F(Startup, ExitSoundOnlyWithoutNoJokes)
{
    Start();
    Close();
    EXPECT_TRUE(sounds.played.empty());

    App().Click("Joces"); // auto-tick: now unticked
    EXPECT_FALSE(Window().NoJokesItem.checked);
    Close();
    ASSERT_EQ(sounds.played.size(), 1u);
    EXPECT_EQ(sounds.played[0], Dir() / "jokes" / "Выход.wav");
}

TEST_F(Startup, ExitMenuAsksTheWindowToClose)
{
    Start();
    App().Click("Exit1");
    EXPECT_TRUE(Window().closeRequested);
}

TEST_F(Startup, TrackPlaysToItsEndOnTheTimers)
{
    const fs::path track = Dir() / "Sound" / "Вальс.wav";
    WriteFileAtomically(track, std::string_view{"RIFF"});
    device.AddFile(track, 2500);
    Start();
    App().Click("SpeedButton2"); // show the current list
    ASSERT_EQ(Window().CurrentListBox.Count(), 1);
    Window().CurrentListBox.SetSelected(0, true);
    App().Click("ListBox1");
    App().DoubleClick("ListBox1");

    EXPECT_EQ(device.Mode(), DeviceMode::Playing);
    EXPECT_EQ(Window().caption, " Калейдоскоп        Вальс   (без ЦМШ)");
    EXPECT_EQ(Window().TrackLengthText.caption, "  00:02");
    EXPECT_EQ(Window().PlayButton.caption, "Next");
    EXPECT_TRUE(Window().PositionTimer.enabled);

    Advance(2400);
    EXPECT_EQ(Window().ClockText.caption, "0:2");
    // A one-entry list stops at its end and Pause is disabled.
    EXPECT_FALSE(Window().PositionTimer.enabled);
    EXPECT_EQ(device.Mode(), DeviceMode::NotOpen);
    EXPECT_FALSE(Window().PauseButton.enabled);
    EXPECT_EQ(Window().PlayButton.caption, "Play");
}

TEST_F(Startup, FullScreenAndBackKeepsTheSelectionAndTheDesignGeometry)
{
    for (const char* name : {"a.wav", "b.wav", "c.wav"})
        WriteFileAtomically(Dir() / "Sound" / name, std::string_view{"x"});
    screen.width = 1000;
    Start();
    ListBox& list = Window().CurrentListBox;
    ASSERT_EQ(list.Count(), 3);
    list.SetSelected(0, true);
    list.SetSelected(2, true);

    App().DoubleClick("Form1");
    EXPECT_TRUE(Window().IsFullScreen);
    EXPECT_TRUE(Window().stayOnTop);
    EXPECT_FALSE(Window().PositionStrip.visible);
    EXPECT_FALSE(Window().ListItem.enabled);
    EXPECT_EQ(Window().FullScreenItem.caption, "Назад в окно");
    EXPECT_EQ(Window().clientWidth, 1150);
    EXPECT_EQ(Window().clientHeight, 1150 * 100 / 133);
    EXPECT_EQ(screen.cursor, std::make_pair(1000, 768));
    App().MenuPopup("PopupMenu1");
    EXPECT_FALSE(Window().OpenItem.enabled);

    App().ZoomOutStep();
    // Entered by a double click before anything plays, the way back is open all the same.
    EXPECT_TRUE(Window().FullScreenItem.enabled);
    App().Click("Fullscreen1");
    EXPECT_FALSE(Window().IsFullScreen);
    EXPECT_FALSE(Window().FullScreenItem.enabled) << "back in the window F5 waits for the kaleidoscope";
    EXPECT_FALSE(Window().stayOnTop);
    EXPECT_EQ(Window().FullScreenItem.caption, "Во весь экран");
    EXPECT_EQ(Window().Picture.width, 675);
    EXPECT_EQ(Window().Picture.height, 523);
    EXPECT_EQ(Window().ViewPanel.width, 690);
    EXPECT_EQ(Window().ListButton.left, 746);
    EXPECT_TRUE(list.Selected(0));
    EXPECT_FALSE(list.Selected(1));
    EXPECT_TRUE(list.Selected(2));
}

TEST_F(Startup, WheelZoomStopsAt80AndSnapsBackNearTheDesignSize)
{
    Start();
    for (int i = 0; i < 100; ++i)
        App().ZoomOutStep();
    EXPECT_LE(Window().Picture.width, 80);
    EXPECT_GT(Window().Picture.width, 80 * 12 / 13);
    const int smallest = Window().Picture.width;
    App().ZoomOutStep();
    EXPECT_EQ(Window().Picture.width, smallest);

    Window().Picture.width = 650; // one step in lands within 29 pixels of 675
    App().ZoomInStep();
    EXPECT_EQ(Window().Picture.width, 675);
    EXPECT_EQ(Window().Picture.height, 523);
}

TEST_F(Startup, WheelStepsOncePerWholeNotchInEachDirection)
{
    Start();
    const int start = Window().Picture.width;
    // A touchpad's small steps add up to one notch, then zoom out one step.
    App().MouseWheel(40);
    App().MouseWheel(40);
    EXPECT_EQ(Window().Picture.width, start);
    App().MouseWheel(40);
    const int out = Window().Picture.width;
    EXPECT_EQ(out, start * 12 / 13);
    // Turning back starts a new count: half a notch each way zooms nothing.
    App().MouseWheel(60);
    App().MouseWheel(-60);
    EXPECT_EQ(Window().Picture.width, out);
    App().MouseWheel(-60);
    EXPECT_EQ(Window().Picture.width, start) << "one step in, snapped back to the design size";
    // A fast wheel's event of three notches makes three steps.
    App().MouseWheel(360);
    EXPECT_EQ(Window().Picture.width, start * 12 / 13 * 12 / 13 * 12 / 13);
}

TEST_F(Startup, AboutLabelAlternatesSoundAndText)
{
    Start();
    App().Click("Label1");
    EXPECT_EQ(sounds.played.back(), Dir() / "jokes" / "About.mp3");
    EXPECT_TRUE(dialogs.messages.empty() || !Has(dialogs.messages, "Kalvotune.1.11"));
    App().Click("Label1");
    EXPECT_TRUE(Has(dialogs.messages, "Kalvotune.1.11 - Цветомузыкальный калейдоскоп. Август 2005г. "));
    EXPECT_EQ(sounds.played.size(), 1u);
}

} // namespace
} // namespace kalvotune::testing
