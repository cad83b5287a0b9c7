#include "app/Settings.hpp"
#include "core/FileIO.hpp"
#include "support/TempDir.hpp"

#include <gtest/gtest.h>

namespace kalvotune::app {
namespace {

using testing::TempDir;

TEST(Settings, MissingOrShortFileFallsBackToTheFormsInitialStates)
{
    TempDir dir;
    // The initial values of the named words are what a window never changed gathers.
    const SavedSettings defaults;
    EXPECT_EQ(GatherSettings(Form{}, defaults), defaults);
    EXPECT_EQ(ReadSettings(dir.Path() / "SetGet.kvt"), defaults);
    const SettingsWords words = ToWords(defaults);
    EXPECT_EQ(words[2], 20);
    EXPECT_EQ(words[3], 6000);
    EXPECT_EQ(words[4], 1); // clock shown
    EXPECT_EQ(words[5], 1); // smoothing
    EXPECT_EQ(words[10], 1); // no jokes
    EXPECT_EQ(words[1], 1); // mode 1

    // Eight bytes: words 0 and 1 come from the file, the rest are the initial ones.
    WriteFileAtomically(dir.Path() / "SetGet.kvt", Bytes{3, 0, 0, 0, 9, 0, 0, 0, 0xFF});
    const SavedSettings shortRecord = ReadSettings(dir.Path() / "SetGet.kvt");
    EXPECT_EQ(shortRecord.figureType, 3);
    EXPECT_EQ(shortRecord.mode, 9);
    EXPECT_EQ(shortRecord.pictureChangeSlider, 20);
}

TEST(Settings, RoundTripsAllHundredWordsLittleEndianByteForByte)
{
    TempDir dir;
    SettingsWords words{};
    for (int i = 0; i < 100; ++i)
        words[static_cast<std::size_t>(i)] = i * 1000003 - 7;
    const SavedSettings settings = FromWords(words);
    EXPECT_EQ(settings.figureType, -7);
    EXPECT_EQ(settings.autoModes, 12 * 1000003 - 7);
    EXPECT_EQ(settings.noStartQuestion, 20 * 1000003 - 7);
    EXPECT_EQ(settings.unnamed.front(), 21 * 1000003 - 7);
    ASSERT_TRUE(WriteSettings(dir.Path() / "SetGet.kvt", settings).ok);
    const auto bytes = ReadFileBytes(dir.Path() / "SetGet.kvt");
    ASSERT_TRUE(bytes);
    ASSERT_EQ(bytes->size(), 400u);
    EXPECT_EQ((*bytes)[0], 0xF9); // -7 little-endian
    EXPECT_EQ(ToWords(ReadSettings(dir.Path() / "SetGet.kvt")), words);

    // Any 400 bytes, flags of any value included, are written back exactly as read.
    Bytes any(400);
    for (std::size_t i = 0; i < any.size(); ++i)
        any[i] = static_cast<std::uint8_t>(i * 37 + 11);
    ASSERT_TRUE(WriteFileAtomically(dir.Path() / "any.kvt", any).ok);
    ASSERT_TRUE(WriteSettings(dir.Path() / "again.kvt", ReadSettings(dir.Path() / "any.kvt")).ok);
    EXPECT_EQ(ReadFileBytes(dir.Path() / "again.kvt"), any);
}

TEST(Settings, ApplyClampsSlidersAndRunsHandlersOnlyOnChange)
{
    Form form;
    SavedSettings settings;
    settings.pictureChangeSlider = 100;
    settings.autoModeSlider = 6000; // the slider's own position: no change reported
    int bar1 = 0;
    int bar2 = 0;
    ApplySettings(form, settings, {[&] { ++bar1; }, [&] { ++bar2; }});
    EXPECT_EQ(form.PictureRateSlider.position, 80);
    EXPECT_EQ(bar1, 1);
    EXPECT_EQ(bar2, 0);

    settings.autoModeSlider = 500;
    ApplySettings(form, settings, {[&] { ++bar1; }, [&] { ++bar2; }});
    EXPECT_EQ(form.AutoModeRateSlider.position, 1000);
    EXPECT_EQ(bar2, 1);
    const SavedSettings gathered = GatherSettings(form, settings);
    EXPECT_EQ(gathered.pictureChangeSlider, 80);
    EXPECT_EQ(gathered.autoModeSlider, 1000);
}

TEST(Settings, GraphicsOffWordTicksTheItemAndFlagsReadAnyNonZeroAsSet)
{
    Form form;
    SavedSettings settings;
    settings.graphicsOff = 1;
    settings.motionOff = -5;
    settings.figureType = 0x1234;
    ApplySettings(form, settings, {});
    EXPECT_TRUE(form.GraphicsItem.checked);
    EXPECT_EQ(form.GraphicsItem.tag, 1);
    EXPECT_TRUE(form.MotionOff);
    EXPECT_EQ(form.FigureType, 0x34);
    EXPECT_EQ(GatherSettings(form, settings).motionOff, 1);
}

} // namespace
} // namespace kalvotune::app
