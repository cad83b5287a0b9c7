#include "playback/PulseCapture.hpp"
#include "template_commands/LiveTemplate.hpp"

#include "Wav.hpp"

#include "core/FileIO.hpp"
#include "support/SoundServer.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <future>
#include <numbers>
#include <thread>

namespace kalvotune::playback {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

/// A second of a 440-Hz tone at half of full scale, as a WAV file in `folder`.
std::filesystem::path ToneFile(const std::filesystem::path& folder)
{
    demo::Pcm pcm;
    for (int i = 0; i < demo::kSampleRate; ++i) {
        const auto v
            = static_cast<std::int16_t>(16384 * std::sin(2 * std::numbers::pi * 440.0 * i / demo::kSampleRate));
        pcm.samples.push_back(v);
        pcm.samples.push_back(v);
    }
    const std::filesystem::path file{folder / "tone.wav"};
    EXPECT_TRUE(WriteFileAtomically(file, demo::EncodeWav(pcm)).ok);
    return file;
}

/// Polls `capture` until `done` holds or `limit` passes; the samples taken meanwhile
/// are appended to `taken`.
template <typename Done>
bool WaitFor(PulseCapture& capture, std::vector<float>& taken, Done done, std::chrono::milliseconds limit = 10s)
{
    const auto deadline{Clock::now() + limit};
    while (Clock::now() < deadline) {
        capture.Take(taken);
        if (done())
            return true;
        std::this_thread::sleep_for(10ms);
    }
    return false;
}

/// Stops the capture on another thread, so a hang fails the test instead of stalling it.
bool StopsPromptly(PulseCapture& capture)
{
    auto stopped = std::async(std::launch::async, [&] { capture.Stop(); });
    return stopped.wait_for(10s) == std::future_status::ready;
}

TEST(PulseCapture, RecordsWhatTheDefaultOutputPlays)
{
    testing::SoundServer server;
    ASSERT_TRUE(server.Start());

    const SoundSourceList list{ListSoundSources()};
    ASSERT_TRUE(list.ok) << list.message;
    ASSERT_FALSE(list.sources.empty());
    EXPECT_EQ(list.sources.front().name, "test.monitor");
    EXPECT_TRUE(list.sources.front().monitor);
    EXPECT_FALSE(list.sources.front().description.empty());

    PulseCapture capture;
    capture.Start({});
    std::vector<float> taken;
    ASSERT_TRUE(WaitFor(capture, taken, [&] { return !capture.Status().source.empty(); }));
    auto played = std::async(std::launch::async, [&] { return server.Play(ToneFile(server.Folder())); });
    float peak{};
    const auto start{Clock::now()};
    const bool heard{WaitFor(capture, taken, [&] {
        for (const float s : taken)
            peak = std::max(peak, std::abs(s));
        taken.clear();
        return peak > 0.3f;
    })};
    const double seconds{std::chrono::duration<double>(Clock::now() - start).count()};
    EXPECT_TRUE(heard) << "loudest sample " << peak;
    EXPECT_LE(peak, 1.0f);
    const CaptureStatus status{capture.Status()};
    EXPECT_EQ(status.state, CaptureState::Capturing);
    EXPECT_EQ(status.source, "test.monitor");
    EXPECT_TRUE(status.message.empty());
    EXPECT_GT(status.latencySeconds, 0.0);
    EXPECT_LT(status.latencySeconds, 1.0);
    std::printf("Tone heard %.0f ms after paplay started; capture latency %.1f ms\n", seconds * 1000,
        status.latencySeconds * 1000);
    EXPECT_TRUE(played.get());
    EXPECT_TRUE(StopsPromptly(capture));
    EXPECT_EQ(capture.Status().state, CaptureState::Stopped);
}

TEST(PulseCapture, ReconnectsWhenTheServerComesBack)
{
    testing::SoundServer server;
    ASSERT_TRUE(server.Start());
    PulseCapture capture;
    capture.Start({});
    std::vector<float> taken;
    ASSERT_TRUE(WaitFor(capture, taken, [&] { return !capture.Status().source.empty(); }));

    server.Kill();
    ASSERT_TRUE(WaitFor(capture, taken, [&] { return capture.Status().state == CaptureState::NoServer; }));
    EXPECT_EQ(capture.Status().message, kNoSoundServerMessage);

    const auto back{Clock::now()};
    ASSERT_TRUE(server.Start());
    ASSERT_TRUE(WaitFor(capture, taken, [&] {
        const CaptureState state{capture.Status().state};
        return state == CaptureState::Connecting || state == CaptureState::Capturing;
    }));
    std::printf("Capture reconnected %.0f ms after the server came back\n",
        std::chrono::duration<double, std::milli>(Clock::now() - back).count());
    EXPECT_TRUE(capture.Status().message.empty());
    EXPECT_TRUE(StopsPromptly(capture));
}

TEST(PulseCapture, WithoutServerSaysSoAndKeepsTrying)
{
    testing::SoundServer server; // never started: its socket does not exist
    const SoundSourceList list{ListSoundSources(500ms)};
    EXPECT_FALSE(list.ok);
    EXPECT_EQ(list.message, kNoSoundServerMessage);

    PulseCapture capture;
    capture.Start({});
    std::vector<float> taken;
    ASSERT_TRUE(WaitFor(capture, taken, [&] { return capture.Status().state == CaptureState::NoServer; }));
    EXPECT_EQ(capture.Status().message, kNoSoundServerMessage);
    // A server that appears later is found by the next attempt.
    ASSERT_TRUE(server.Start());
    EXPECT_TRUE(WaitFor(capture, taken, [&] { return !capture.Status().source.empty(); }));
    EXPECT_TRUE(StopsPromptly(capture));
}

TEST(PulseCapture, NamesASourceThatDoesNotExist)
{
    testing::SoundServer server;
    ASSERT_TRUE(server.Start());
    PulseCapture capture;
    capture.Start({.source = "no-such-source", .sampleRate = 22050, .channels = 1});
    std::vector<float> taken;
    ASSERT_TRUE(WaitFor(capture, taken, [&] { return capture.Status().state == CaptureState::NoSource; }));
    EXPECT_EQ(capture.Status().message, "Нет источника звука <no-such-source>");
    EXPECT_TRUE(taken.empty());
    EXPECT_TRUE(StopsPromptly(capture));
}

TEST(PulseCapture, ClickTrackRecordedAsATemplateHasItsMarkersOnTheClicks)
{
    testing::SoundServer server;
    ASSERT_TRUE(server.Start());
    // 8 s of clicks every half second, the first 0.3 s in.
    demo::Pcm pcm;
    pcm.samples.assign(static_cast<std::size_t>(8 * demo::kSampleRate) * 2, 0);
    for (double t = 0.3; t < 8; t += 0.5)
        for (int i = 0; i < demo::kSampleRate / 50; ++i) {
            const double x{std::exp(-i / (0.005 * demo::kSampleRate))
                * std::sin(2 * std::numbers::pi * 1500.0 * i / demo::kSampleRate)};
            const auto at = static_cast<std::size_t>(t * demo::kSampleRate + i) * 2;
            pcm.samples[at] = pcm.samples[at + 1] = static_cast<std::int16_t>(16000 * x);
        }
    const std::filesystem::path clicks{server.Folder() / "clicks.wav"};
    ASSERT_TRUE(WriteFileAtomically(clicks, demo::EncodeWav(pcm)).ok);

    PulseCapture capture;
    template_commands::LiveTemplateRequest request;
    request.seconds = 8;
    request.folder = server.Folder() / "Щелчки";
    request.pictureChangeTicks = 1;
    auto recorded = std::async(std::launch::async, [&] { return RecordLiveTemplate(capture, request); });
    EXPECT_TRUE(server.Play(clicks));
    const template_commands::LiveTemplateResult result{recorded.get()};
    ASSERT_TRUE(result.ok) << result.message;
    EXPECT_EQ(result.source, "test.monitor");

    // Tick 0 is the first click heard, so the clicks fall on every fifth tick after it.
    const std::optional<Bytes> speed{ReadFileBytes(request.folder / "Speed.kvt")};
    ASSERT_TRUE(speed);
    double sum{};
    int markers{};
    for (std::size_t t = 50; t < speed->size(); ++t)
        if ((*speed)[t] >= 22) {
            const double offset{std::remainder(static_cast<double>(t) / 10.0, 0.5)};
            EXPECT_LE(std::abs(offset), 0.05) << "marker at tick " << t;
            sum += offset;
            ++markers;
        }
    EXPECT_GE(markers, 3);
    std::printf("%d markers after the first 5 s, mean offset from the clicks %+.0f ms; capture latency %.0f ms\n",
        markers, markers > 0 ? 1000 * sum / markers : 0.0, result.latencySeconds * 1000);
    std::printf("%s", LiveTemplateSummary(request, result).c_str());
}

} // namespace
} // namespace kalvotune::playback
