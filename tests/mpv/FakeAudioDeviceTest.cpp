#include "support/FakeAudioDevice.hpp"

#include <gtest/gtest.h>

namespace kalvotune::testing {
namespace {

class FakeAudioDeviceTest : public ::testing::Test {
protected:
    FakeAudioDeviceTest()
    {
        device.AddFile("/music/a.mp3", 3000);
        device.AddFile("/music/b.wav", 5000);
        device.FailOpen("/music/broken.wma", "The driver cannot recognize the specified command.");
    }
    FakeAudioDevice device;
};

TEST_F(FakeAudioDeviceTest, OpensKnownFilesStoppedAtTheStart)
{
    ASSERT_TRUE(device.Open("/music/a.mp3").ok);
    EXPECT_EQ(device.Mode(), DeviceMode::Stopped);
    EXPECT_EQ(device.LengthMs(), 3000);
    EXPECT_EQ(device.PositionMs(), 0);
    EXPECT_EQ(device.openFile, "/music/a.mp3");
}

TEST_F(FakeAudioDeviceTest, FailedOpensGiveTheErrorAndLeaveTheDeviceClosed)
{
    ASSERT_TRUE(device.Open("/music/a.mp3").ok);
    device.Play();

    const OpenResult broken = device.Open("/music/broken.wma");
    EXPECT_FALSE(broken.ok);
    EXPECT_EQ(broken.error, "The driver cannot recognize the specified command.");
    EXPECT_EQ(device.Mode(), DeviceMode::NotOpen);
    EXPECT_TRUE(device.openFile.empty());

    const OpenResult unknown = device.Open("/music/none.mp3");
    EXPECT_FALSE(unknown.ok);
    EXPECT_FALSE(unknown.error.empty());
    EXPECT_EQ(device.opens, 3);
    device.Play();
    EXPECT_EQ(device.Mode(), DeviceMode::NotOpen);
}

TEST_F(FakeAudioDeviceTest, PlaysOnTheVirtualClockAndStopsAtTheLength)
{
    device.Open("/music/a.mp3");
    device.Advance(500);
    EXPECT_EQ(device.PositionMs(), 0) << "time passes only while playing";
    device.Play();
    device.Advance(1200);
    EXPECT_EQ(device.Mode(), DeviceMode::Playing);
    EXPECT_EQ(device.PositionMs(), 1200);
    device.Advance(5000);
    EXPECT_EQ(device.Mode(), DeviceMode::Stopped);
    EXPECT_EQ(device.PositionMs(), 3000);
    device.Play();
    EXPECT_EQ(device.Mode(), DeviceMode::Stopped) << "nothing is left to play at the end";
}

TEST_F(FakeAudioDeviceTest, PauseTogglesAndReportsWhenNothingIsOpen)
{
    EXPECT_FALSE(device.Pause());
    device.Open("/music/a.mp3");
    device.Play();
    device.Advance(100);
    EXPECT_TRUE(device.Pause());
    EXPECT_EQ(device.Mode(), DeviceMode::Paused);
    device.Advance(1000);
    EXPECT_EQ(device.PositionMs(), 100);
    EXPECT_TRUE(device.Pause());
    EXPECT_EQ(device.Mode(), DeviceMode::Playing);
    device.Stop();
    EXPECT_EQ(device.Mode(), DeviceMode::Stopped);
    EXPECT_EQ(device.PositionMs(), 100);
    device.Close();
    EXPECT_FALSE(device.Pause());
    EXPECT_EQ(device.PositionMs(), 0);
    EXPECT_EQ(device.LengthMs(), 0);
}

TEST_F(FakeAudioDeviceTest, SeekLeavesTheDeviceStoppedAtTheTargetWithinTheLength)
{
    device.Seek(1000);
    EXPECT_EQ(device.Mode(), DeviceMode::NotOpen);

    device.Open("/music/a.mp3");
    device.Play();
    device.Advance(4000);
    device.Seek(2000);
    EXPECT_EQ(device.Mode(), DeviceMode::Stopped);
    EXPECT_EQ(device.PositionMs(), 2000);
    device.Play();
    device.Advance(300);
    EXPECT_EQ(device.PositionMs(), 2300);
    device.Seek(9000);
    EXPECT_EQ(device.PositionMs(), 3000);
    device.Seek(-5);
    EXPECT_EQ(device.PositionMs(), 0);
}

TEST_F(FakeAudioDeviceTest, OpeningOverAnOpenFileStartsTheNewOneAfresh)
{
    device.Open("/music/a.mp3");
    device.Play();
    device.Advance(700);
    ASSERT_TRUE(device.Open("/music/b.wav").ok);
    EXPECT_EQ(device.Mode(), DeviceMode::Stopped);
    EXPECT_EQ(device.PositionMs(), 0);
    EXPECT_EQ(device.LengthMs(), 5000);
    EXPECT_EQ(device.openFile, "/music/b.wav");
}

} // namespace
} // namespace kalvotune::testing
