#include "playback/MpvSoundEffects.hpp"

#include "mpv/TestMedia.hpp"

#include <gtest/gtest.h>

#include <chrono>

namespace kalvotune::playback {
namespace {

using testing::TestMedia;
using Clock = std::chrono::steady_clock;

std::int64_t MsSince(Clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

TEST(MpvSoundEffects, PlayAndWaitLastsAsLongAsTheSoundAndFailuresReturn)
{
    const TestMedia* media = TestMedia::Get();
    if (media == nullptr)
        GTEST_SKIP() << TestMedia::Missing();
    MpvSoundEffects sounds{AudioOutput::Null};

    auto start = Clock::now();
    sounds.PlayAndWait(media->shortWav);
    EXPECT_GE(MsSince(start), 1500);

    start = Clock::now();
    sounds.PlayAndWait(media->missing);
    sounds.PlayAndWait(media->corrupt);
    EXPECT_LT(MsSince(start), 2000);
}

TEST(MpvSoundEffects, PlayAsyncReturnsAtOnceAndANewSoundReplacesIt)
{
    const TestMedia* media = TestMedia::Get();
    if (media == nullptr)
        GTEST_SKIP() << TestMedia::Missing();
    MpvSoundEffects sounds{AudioOutput::Null};

    const auto start = Clock::now();
    sounds.PlayAsync(media->wav);
    sounds.PlayAsync(media->mp3);
    EXPECT_LT(MsSince(start), 1500);
    sounds.PlayAndWait(media->shortWav);
    EXPECT_GE(MsSince(start), 1500) << "the replaced sound's end must not cut the wait short";
}

} // namespace
} // namespace kalvotune::playback
