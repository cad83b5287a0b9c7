#include "Rig.hpp"

#include "app/DisplayOptions.hpp"
#include "core/FileIO.hpp"
#include "core/SurfaceFile.hpp"
#include "support/TempDir.hpp"
#include "support/WriteFaults.hpp"

namespace kalvotune::kaleidoscope::testing {
namespace {

struct DisplayOptionsTest : ::testing::Test {
    Rig rig; // a track is playing
    Form& form = rig.form;
    app::DisplayOptions options{rig.form, rig.services, rig.commands};

    bool PatternsRun() const { return (form.*app::kModeTimers[4]).enabled && form.KeepAwakeTimer.enabled; }
};

TEST_F(DisplayOptionsTest, SmoothingAndSmearingExcludeEachOtherAndBothCanBeOff)
{
    form.SmoothingItem.checked = true;
    options.ToggleSmearing();
    EXPECT_TRUE(form.SmearingItem.checked);
    EXPECT_FALSE(form.SmoothingItem.checked);
    options.ToggleSmoothing();
    EXPECT_TRUE(form.SmoothingItem.checked);
    EXPECT_FALSE(form.SmearingItem.checked);
    options.ToggleSmoothing();
    EXPECT_FALSE(form.SmoothingItem.checked);
    EXPECT_FALSE(form.SmearingItem.checked);
}

TEST_F(DisplayOptionsTest, ClockShowsExactlyWhileItsItemIsTicked)
{
    for (const bool ticked : {false, true, false}) {
        form.ClockItem.checked = ticked;
        options.ApplyClockVisibility();
        EXPECT_EQ(form.ClockText.visible, ticked);
        EXPECT_EQ(form.ShowClock, ticked);
    }
}

TEST_F(DisplayOptionsTest, GraphicsOnRestartsThePatternsOnlyWhilePlayingWithNoListShown)
{
    form.ModeNumber = 4;
    form.CurrentListBox.visible = false;
    rig.commands.RunPatterns(true);
    options.ToggleGraphics();
    EXPECT_EQ(form.GraphicsItem.tag, 1);
    EXPECT_TRUE(form.GraphicsItem.checked);
    EXPECT_FALSE(PatternsRun());
    options.ToggleGraphics();
    EXPECT_EQ(form.GraphicsItem.tag, 0);
    EXPECT_FALSE(form.GraphicsItem.checked);
    EXPECT_TRUE(PatternsRun());

    // Paused, or a list in front of the picture: the patterns wait for the next start.
    const auto switchedBackOn = [&] {
        options.ToggleGraphics();
        options.ToggleGraphics();
        return PatternsRun();
    };
    rig.device.Pause();
    EXPECT_FALSE(switchedBackOn());
    EXPECT_FALSE(form.GraphicsItem.checked);
    rig.device.Play();
    form.CurrentListBox.visible = true;
    EXPECT_FALSE(switchedBackOn());
    form.CurrentListBox.visible = false;
    form.MyListsBox.visible = true;
    EXPECT_FALSE(switchedBackOn());
    form.MyListsBox.visible = false;
    EXPECT_TRUE(switchedBackOn());
}

TEST_F(DisplayOptionsTest, ScreenshotIsOneFileHoldingTheLastPicture)
{
    kalvotune::testing::TempDir dir;
    form.ProgramDir = dir.Path();
    std::filesystem::create_directories(dir.Path() / "ScreenShot");
    const auto shotHolds = [](const std::filesystem::path& file, std::uint8_t first, std::uint8_t last) {
        Surface loaded;
        return LoadSurfaceBmp(file, loaded) && loaded.Row(0)[0] == first && loaded.Row(523)[2024] == last;
    };
    form.surface.Row(0)[0] = 1;
    form.surface.Row(523)[2024] = 2;
    options.SaveScreenShot();
    EXPECT_TRUE(shotHolds(dir.Path() / "ScreenShot" / "ScreenShot.BMP", 1, 2));
    form.surface.Row(0)[0] = 3;
    options.SaveScreenShot();
    EXPECT_TRUE(shotHolds(dir.Path() / "ScreenShot" / "ScreenShot.BMP", 3, 2));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator{dir.Path() / "ScreenShot"}, {}), 1);

    // A failed write says so and leaves the last screenshot as it was.
    form.surface.Row(0)[0] = 4;
    FailNextWriteAfter(100);
    options.SaveScreenShot();
    EXPECT_EQ(rig.dialogs.errors.size(), 1u);
    EXPECT_TRUE(shotHolds(dir.Path() / "ScreenShot" / "ScreenShot.BMP", 3, 2));

    // Without the folder the picture lands in the program folder.
    std::filesystem::remove_all(dir.Path() / "ScreenShot");
    options.SaveScreenShot();
    EXPECT_TRUE(shotHolds(dir.Path() / "ScreenShot.BMP", 4, 2));
}

} // namespace
} // namespace kalvotune::kaleidoscope::testing
