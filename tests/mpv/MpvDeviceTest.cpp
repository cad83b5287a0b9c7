#include "playback/MpvDevice.hpp"

#include "mpv/TestMedia.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace kalvotune::playback {
namespace {

using namespace std::chrono_literals;
using testing::TestMedia;
using Clock = std::chrono::steady_clock;

void Sleep(std::chrono::milliseconds time)
{
    std::this_thread::sleep_for(time);
}

std::int64_t MsSince(Clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// Polls until the device leaves Playing; collects the positions seen on the way.
std::vector<std::int64_t> PlayOut(MpvDevice& device, std::chrono::milliseconds limit = 8s)
{
    std::vector<std::int64_t> positions;
    const auto start = Clock::now();
    while (device.Mode() == DeviceMode::Playing && Clock::now() - start < limit) {
        positions.push_back(device.PositionMs());
        Sleep(20ms);
    }
    return positions;
}

class MpvDeviceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        media = TestMedia::Get();
        if (media == nullptr)
            GTEST_SKIP() << TestMedia::Missing();
    }
    const TestMedia* media{};
    MpvDevice device{AudioOutput::Null};
};

class MpvDeviceFormatTest : public MpvDeviceTest, public ::testing::WithParamInterface<const char*> {
protected:
    std::filesystem::path Track() const
    {
        const std::string format = GetParam();
        return format == "wav" ? media->wav : format == "mp3" ? media->mp3 : media->wma;
    }
};

TEST_P(MpvDeviceFormatTest, PlaysPausesSeeksAndEndsStoppedAtTheLength)
{
    const OpenResult opened = device.Open(Track());
    ASSERT_TRUE(opened.ok) << opened.error;
    EXPECT_EQ(device.Mode(), DeviceMode::Stopped);
    EXPECT_EQ(device.PositionMs(), 0);
    const std::int64_t length = device.LengthMs();
    EXPECT_GE(length, 2950);
    EXPECT_LE(length, 3150); // encoders pad a few tens of milliseconds

    device.Play();
    EXPECT_EQ(device.Mode(), DeviceMode::Playing);
    Sleep(600ms);
    const std::int64_t played = device.PositionMs();
    EXPECT_GT(played, 100);
    EXPECT_LT(played, 1300);

    ASSERT_TRUE(device.Pause());
    EXPECT_EQ(device.Mode(), DeviceMode::Paused);
    const std::int64_t paused = device.PositionMs();
    Sleep(300ms);
    EXPECT_NEAR(device.PositionMs(), paused, 20);

    ASSERT_TRUE(device.Pause());
    EXPECT_EQ(device.Mode(), DeviceMode::Playing);
    Sleep(300ms);
    EXPECT_GT(device.PositionMs(), paused);

    device.Seek(2000);
    EXPECT_EQ(device.Mode(), DeviceMode::Stopped);
    EXPECT_EQ(device.PositionMs(), 2000) << "the target is reported before mpv has got there";
    Sleep(300ms);
    EXPECT_EQ(device.Mode(), DeviceMode::Stopped);
    EXPECT_NEAR(device.PositionMs(), 2000, 50);

    const auto start = Clock::now();
    device.Play();
    const std::vector<std::int64_t> positions = PlayOut(device);
    EXPECT_GE(MsSince(start), 500) << "the last second plays in real time";
    EXPECT_EQ(device.Mode(), DeviceMode::Stopped);
    EXPECT_EQ(device.PositionMs(), length);
    for (std::size_t i = 1; i < positions.size(); ++i) {
        EXPECT_GE(positions[i], positions[i - 1]);
        EXPECT_LE(positions[i], length);
    }
    device.Play();
    EXPECT_EQ(device.Mode(), DeviceMode::Stopped) << "nothing is left to play at the end";

    // After the end the file can still be sought and played again.
    device.Seek(1000);
    EXPECT_EQ(device.Mode(), DeviceMode::Stopped);
    EXPECT_EQ(device.PositionMs(), 1000);
    device.Play();
    Sleep(500ms);
    EXPECT_EQ(device.Mode(), DeviceMode::Playing);
    EXPECT_GT(device.PositionMs(), 1000);
    EXPECT_LT(device.PositionMs(), length);

    device.Close();
    EXPECT_EQ(device.Mode(), DeviceMode::NotOpen);
    EXPECT_EQ(device.PositionMs(), 0);
    EXPECT_FALSE(device.Pause());
}

INSTANTIATE_TEST_SUITE_P(Formats, MpvDeviceFormatTest, ::testing::Values("wav", "mp3", "wma"));

TEST_F(MpvDeviceTest, MissingAndCorruptFilesFailWithoutStartingAnything)
{
    for (const auto& bad : {media->missing, media->corrupt}) {
        const OpenResult result = device.Open(bad);
        EXPECT_FALSE(result.ok) << bad;
        EXPECT_NE(result.error.find(bad.string()), std::string::npos) << result.error;
        EXPECT_EQ(device.Mode(), DeviceMode::NotOpen);
        device.Play();
        EXPECT_EQ(device.Mode(), DeviceMode::NotOpen);
        EXPECT_FALSE(device.Pause());
        EXPECT_EQ(device.LengthMs(), 0);
    }
}

TEST_F(MpvDeviceTest, AFailedOpenClosesTheFileThatWasPlaying)
{
    ASSERT_TRUE(device.Open(media->wav).ok);
    device.Play();
    EXPECT_FALSE(device.Open(media->corrupt).ok);
    EXPECT_EQ(device.Mode(), DeviceMode::NotOpen);
    ASSERT_TRUE(device.Open(media->shortWav).ok);
    EXPECT_EQ(device.Mode(), DeviceMode::Stopped);
}

TEST_F(MpvDeviceTest, OpeningOverAPlayingFileTakesTheNewOneToItsEnd)
{
    ASSERT_TRUE(device.Open(media->wav).ok);
    device.Play();
    Sleep(300ms);
    ASSERT_TRUE(device.Open(media->shortWav).ok);
    EXPECT_EQ(device.Mode(), DeviceMode::Stopped);
    EXPECT_EQ(device.PositionMs(), 0);
    const std::int64_t length = device.LengthMs();
    EXPECT_NEAR(length, 2000, 100);

    // The first file's end arrives late; it must not end the second.
    Sleep(200ms);
    EXPECT_EQ(device.Mode(), DeviceMode::Stopped);
    device.Play();
    Sleep(300ms);
    EXPECT_EQ(device.Mode(), DeviceMode::Playing);
    PlayOut(device);
    EXPECT_EQ(device.Mode(), DeviceMode::Stopped);
    EXPECT_EQ(device.PositionMs(), length);
}

TEST_F(MpvDeviceTest, WakeUpHandlerIsCalledAndCanBeLeftSetAtDestruction)
{
    auto own = std::make_unique<MpvDevice>(AudioOutput::Null);
    std::atomic<int> wakeups{};
    own->SetWakeupHandler([&wakeups] { ++wakeups; });
    ASSERT_TRUE(own->Open(media->shortWav).ok);
    own->Play();
    Sleep(200ms);
    own->DrainEvents();
    EXPECT_GT(wakeups.load(), 0);
    own.reset();
}

TEST_F(MpvDeviceTest, DefaultOutputFallsBackToNullWithoutASoundCard)
{
    MpvDevice system{AudioOutput::SystemDefault};
    const OpenResult opened = system.Open(media->shortWav);
    ASSERT_TRUE(opened.ok) << opened.error;
    EXPECT_FALSE(system.CurrentOutput().empty());
    EXPECT_EQ(system.Mode(), DeviceMode::Stopped);
}

} // namespace
} // namespace kalvotune::playback
