// The libmpv back end with the null output: hundreds of opens, seeks and closes of the
// three formats in a row give back every file descriptor and thread they took.
#include "mpv/TestMedia.hpp"
#include "playback/MpvDevice.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <iostream>
#include <thread>

namespace kalvotune::playback {
namespace {

namespace fs = std::filesystem;

std::size_t EntriesIn(const char* folder)
{
    return static_cast<std::size_t>(std::distance(fs::directory_iterator{folder}, fs::directory_iterator{}));
}

// Open descriptors and threads once they have settled: mpv ends the threads of a closed
// file on its own time, so the counts are sampled until four samples in a row agree
// (never longer than five seconds).
std::pair<std::size_t, std::size_t> SettledCounts(MpvDevice& device)
{
    std::pair<std::size_t, std::size_t> last{};
    int same = 0;
    for (int sample = 0; sample < 100 && same < 4; ++sample) {
        device.DrainEvents();
        const std::pair<std::size_t, std::size_t> now{EntriesIn("/proc/self/fd"), EntriesIn("/proc/self/task")};
        same = now == last ? same + 1 : 0;
        last = now;
        std::this_thread::sleep_for(std::chrono::milliseconds{50});
    }
    return last;
}

TEST(MpvSoak, FiveHundredOpensSeeksAndClosesGiveBackDescriptorsAndThreads)
{
    const testing::TestMedia* media = testing::TestMedia::Get();
    if (media == nullptr)
        GTEST_SKIP() << testing::TestMedia::Missing();
    const fs::path tracks[]{media->wav, media->mp3, media->wma};
    MpvDevice device{AudioOutput::Null};

    // The first round starts whatever mpv keeps for the life of its core.
    const auto round = [&](int i) {
        const fs::path& track = tracks[i % 3];
        ASSERT_TRUE(device.Open(track).ok) << track;
        device.Seek(500 + 700 * (i % 3));
        device.Play();
        if (i % 5 == 0)
            device.Pause();
        device.Close();
        ASSERT_EQ(device.Mode(), DeviceMode::NotOpen);
    };
    for (int i = 0; i < 3; ++i)
        round(i);
    const auto [fds, threads] = SettledCounts(device);
    for (int i = 3; i < 503; ++i)
        round(i);
    const auto [fdsAfter, threadsAfter] = SettledCounts(device);
    std::cout << "[ mpv soak ] 500 opens after the first 3: descriptors " << fds << " -> " << fdsAfter << ", threads "
              << threads << " -> " << threadsAfter << "\n";
    EXPECT_EQ(fdsAfter, fds);
    EXPECT_EQ(threadsAfter, threads);
}

} // namespace
} // namespace kalvotune::playback
