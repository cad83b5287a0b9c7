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
    const SettingsRecord defaults = DefaultSettings();
    EXPECT_EQ(ReadSettings(dir.Path() / "SetGet.kvt"), defaults);
    EXPECT_EQ(defaults[2], 20);
    EXPECT_EQ(defaults[3], 6000);
    EXPECT_EQ(defaults[4], 1); // clock shown
    EXPECT_EQ(defaults[5], 1); // smoothing
    EXPECT_EQ(defaults[10], 1); // no jokes
    EXPECT_EQ(defaults[1], 1); // mode 1

    // Eight bytes: words 0 and 1 come from the file, the rest from the form.
    WriteFileAtomically(dir.Path() / "SetGet.kvt", Bytes{3, 0, 0, 0, 9, 0, 0, 0, 0xFF});
    const SettingsRecord shortRecord = ReadSettings(dir.Path() / "SetGet.kvt");
    EXPECT_EQ(shortRecord[0], 3);
    EXPECT_EQ(shortRecord[1], 9);
    EXPECT_EQ(shortRecord[2], 20);
}

TEST(Settings, RoundTripsAllHundredWordsLittleEndian)
{
    TempDir dir;
    SettingsRecord record{};
    for (int i = 0; i < 100; ++i)
        record[static_cast<std::size_t>(i)] = i * 1000003 - 7;
    ASSERT_TRUE(WriteSettings(dir.Path() / "SetGet.kvt", record).ok);
    const auto bytes = ReadFileBytes(dir.Path() / "SetGet.kvt");
    ASSERT_TRUE(bytes);
    ASSERT_EQ(bytes->size(), 400u);
    EXPECT_EQ((*bytes)[0], 0xF9); // -7 little-endian
    EXPECT_EQ(ReadSettings(dir.Path() / "SetGet.kvt"), record);
}

TEST(Settings, ApplyClampsSlidersAndRunsHandlersOnlyOnChange)
{
    Form form;
    form.Settings = DefaultSettings();
    form.Settings[2] = 100;
    form.Settings[3] = 6000; // the slider's own position: no change reported
    int bar1 = 0;
    int bar2 = 0;
    ApplySettings(form, {[&] { ++bar1; }, [&] { ++bar2; }});
    EXPECT_EQ(form.TrackBar1.position, 80);
    EXPECT_EQ(bar1, 1);
    EXPECT_EQ(bar2, 0);

    form.Settings[3] = 500;
    ApplySettings(form, {[&] { ++bar1; }, [&] { ++bar2; }});
    EXPECT_EQ(form.TrackBar2.position, 1000);
    EXPECT_EQ(bar2, 1);
    GatherSettings(form);
    EXPECT_EQ(form.Settings[2], 80);
    EXPECT_EQ(form.Settings[3], 1000);
}

TEST(Settings, GraphicsOffWordTicksTheItemAndFlagsReadAnyNonZeroAsSet)
{
    Form form;
    form.Settings = DefaultSettings();
    form.Settings[7] = 1;
    form.Settings[11] = -5;
    form.Settings[0] = 0x1234;
    ApplySettings(form, {});
    EXPECT_TRUE(form.StopGraphica.checked);
    EXPECT_EQ(form.StopGraphica.tag, 1);
    EXPECT_TRUE(form.MotionOff);
    EXPECT_EQ(form.FigureType, 0x34);
    GatherSettings(form);
    EXPECT_EQ(form.Settings[11], 1);
}

} // namespace
} // namespace kalvotune::app
