#include "playback/DeferredAudio.hpp"

#include "mpv/TestMedia.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>

namespace kalvotune::playback {
namespace {

using testing::TestMedia;

TEST(DeferredAudio, WithoutItsModuleTheDeviceStaysClosedAndSaysWhy)
{
    DeferredAudio audio{"/nonexistent/kalvotune-audio.so"};
    AudioDevice& device = audio.Device();
    EXPECT_EQ(device.Mode(), DeviceMode::NotOpen);
    EXPECT_FALSE(device.Pause());
    device.Play();
    device.Seek(1000);
    EXPECT_EQ(device.PositionMs(), 0);

    const OpenResult opened = device.Open("track.mp3");
    EXPECT_FALSE(opened.ok);
    EXPECT_NE(
        opened.error.find("Не удалось загрузить звуковой модуль /nonexistent/kalvotune-audio.so"), std::string::npos)
        << opened.error;
    EXPECT_EQ(audio.LoadError(), opened.error);
    EXPECT_EQ(device.Mode(), DeviceMode::NotOpen);
    audio.Sounds().PlayAndWait("About.mp3"); // skipped, and returns at once
    audio.DrainEvents();
}

TEST(DeferredAudio, ClosedUntilLoadedThenPlaysThroughTheModule)
{
    const TestMedia* media = TestMedia::Get();
    if (media == nullptr)
        GTEST_SKIP() << TestMedia::Missing();
    DeferredAudio audio{KALVOTUNE_AUDIO_MODULE};
    std::atomic<int> wakeups{};
    audio.SetWakeupHandler([&wakeups] { ++wakeups; });
    EXPECT_EQ(audio.Device().Mode(), DeviceMode::NotOpen) << "nothing loads before it is asked to";
    EXPECT_EQ(audio.ReadyBackend(), nullptr);

    audio.StartLoading();
    const OpenResult opened = audio.Device().Open(media->wav); // waits for the load
    ASSERT_TRUE(opened.ok) << opened.error;
    ASSERT_NE(audio.ReadyBackend(), nullptr);
    EXPECT_TRUE(audio.LoadError().empty());
    EXPECT_EQ(audio.Device().LengthMs(), 3000);
    audio.Device().Play();
    EXPECT_EQ(audio.Device().Mode(), DeviceMode::Playing);
    EXPECT_TRUE(audio.Device().Pause());
    EXPECT_EQ(audio.Device().Mode(), DeviceMode::Paused);
    audio.Device().Close();
    EXPECT_EQ(audio.Device().Mode(), DeviceMode::NotOpen);
    audio.DrainEvents();
    EXPECT_GT(wakeups.load(), 0) << "the handler given before the load reached the back end";
    audio.SetWakeupHandler({});
}

} // namespace
} // namespace kalvotune::playback
