#include "template_commands/LiveTemplate.hpp"

#include "analysis/ChannelMapping.hpp"
#include "analysis/LiveAnalysis.hpp"
#include "core/FileIO.hpp"
#include "support/TempDir.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

namespace kalvotune::template_commands {
namespace {

using analysis::kAnalysisRate;
namespace fs = std::filesystem;

/// A capture that hands on a prepared sound, 20 ms for every wait.
class ScriptedCapture : public SoundCapture {
public:
    std::vector<float> sound;
    CaptureStatus status{CaptureState::Capturing, "", "test.monitor", 0.04, 0};
    bool silentServer{}; ///< gives nothing, ever
    std::size_t available{};
    std::size_t taken{};
    CaptureSettings started;
    bool running{};

    void Start(const CaptureSettings& settings) override
    {
        started = settings;
        running = true;
    }
    void Stop() override { running = false; }
    void Take(std::vector<float>& samples) override
    {
        const std::size_t end{std::min(available, sound.size())};
        samples.insert(samples.end(), sound.begin() + static_cast<long>(taken), sound.begin() + static_cast<long>(end));
        taken = end;
    }
    CaptureStatus Status() const override { return status; }
    CaptureWait Waiter()
    {
        return [this](std::chrono::milliseconds span) {
            if (!silentServer)
                available += static_cast<std::size_t>(span.count()) * kAnalysisRate / 1000;
        };
    }
};

/// `silence` seconds of nothing, then clicks every half second until `seconds`.
std::vector<float> Clicks(double silence, double seconds)
{
    std::vector<float> sound(static_cast<std::size_t>(seconds * kAnalysisRate), 0.0f);
    for (double t = silence; t < seconds; t += 0.5)
        for (std::size_t i = 0; i < 900; ++i) {
            const auto at = static_cast<std::size_t>(t * kAnalysisRate) + i;
            if (at < sound.size())
                sound[at] = static_cast<float>(
                    0.5 * std::exp(-static_cast<double>(i) / 220.0) * std::sin(2 * std::numbers::pi * 1500.0 * i / kAnalysisRate));
        }
    return sound;
}

LiveTemplateRequest Request(double seconds, const fs::path& folder)
{
    LiveTemplateRequest request;
    request.seconds = seconds;
    request.folder = folder;
    return request;
}

TEST(LiveTemplate, WritesWhatThePictureShowedFromTheFirstSound)
{
    const testing::TempDir dir;
    ScriptedCapture capture;
    capture.sound = Clicks(1.0, 8.0);
    const LiveTemplateRequest request{.source = "",
        .seconds = 7.5,
        .folder = dir.Path() / "Живой звук",
        .pictureChangeTicks = 1,
        .pictureDelaySeconds = 0.1};
    const LiveTemplateResult result{RecordLiveTemplate(capture, request, capture.Waiter())};
    ASSERT_TRUE(result.ok) << result.message;
    EXPECT_FALSE(capture.running);
    EXPECT_EQ(capture.started.sampleRate, kAnalysisRate);
    EXPECT_EQ(capture.started.channels, 1);
    EXPECT_EQ(result.source, "test.monitor");
    EXPECT_NEAR(result.skippedSeconds, 1.0, 0.01);
    EXPECT_EQ(result.ticks, 65);
    EXPECT_NEAR(result.beatsPerMinute, 120, 2);

    // The same sound through the analysis the picture runs, in the same blocks.
    analysis::LiveAnalysis live{{.lookAheadSeconds = 0.14, .pictureChangeTicks = 1, .keepHeard = true}};
    for (std::size_t i = 0; i < static_cast<std::size_t>(7.5 * kAnalysisRate); i += kAnalysisRate / 50)
        live.Add(std::span<const float>{capture.sound}.subspan(i, kAnalysisRate / 50));
    const TemplateChannels expected{live.Heard()};
    const std::pair<const char*, const std::vector<std::uint8_t>*> files[]{{"Blu.kvt", &expected.blue},
        {"Green.kvt", &expected.green}, {"Red.kvt", &expected.red}, {"Speed.kvt", &expected.speed}};
    for (const auto& [name, bytes] : files) {
        const std::optional<Bytes> written{ReadFileBytes(request.folder / name)};
        ASSERT_TRUE(written) << name;
        EXPECT_EQ(*written, *bytes) << name;
    }
    int markers{};
    for (int t = 0; t < expected.Length(); ++t)
        if (expected.Speed(t) >= analysis::kPictureChangeMarker) {
            ++markers;
            if (t >= 50) {
                EXPECT_EQ(t % 5, 0) << "marker off the clicks at tick " << t;
            }
        }
    EXPECT_EQ(result.markers, markers);
    const std::string summary{LiveTemplateSummary(request, result)};
    EXPECT_NE(summary.find("Источник звука: test.monitor\n"), std::string::npos) << summary;
    EXPECT_NE(summary.find("6.5 с"), std::string::npos) << summary;

    // Recording again into the same folder replaces the channel files and keeps the rest.
    ASSERT_TRUE(WriteFileAtomically(request.folder / "notes.txt", std::string_view{"mine"}).ok);
    ScriptedCapture again;
    again.sound = Clicks(0.0, 3.0);
    ASSERT_TRUE(RecordLiveTemplate(again, Request(3, request.folder), again.Waiter()).ok);
    EXPECT_EQ(ReadFileBytes(request.folder / "Speed.kvt")->size(), 30u);
    EXPECT_TRUE(IsFile(request.folder / "notes.txt"));
}

TEST(LiveTemplate, FailsWithTheReasonAndWritesNothing)
{
    const testing::TempDir dir;
    const fs::path folder{dir.Path() / "T"};
    const auto record = [&](ScriptedCapture& capture, const fs::path& where = {}) {
        return RecordLiveTemplate(capture, Request(2, where.empty() ? folder : where), capture.Waiter());
    };

    ScriptedCapture noServer;
    noServer.status = {CaptureState::NoServer, "нет сервера", "", 0, 0};
    LiveTemplateResult result{record(noServer)};
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.message, "нет сервера");
    EXPECT_FALSE(noServer.running);

    ScriptedCapture noSource;
    noSource.status = {CaptureState::NoSource, "Нет источника звука <x>", "", 0, 0};
    EXPECT_EQ(record(noSource).message, "Нет источника звука <x>");

    ScriptedCapture quiet;
    quiet.sound.assign(3 * kAnalysisRate, 0.001f);
    result = record(quiet);
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.message, "За 2.0 с не прозвучало ни одного звука громче -50 дБ: шаблон не записан");

    ScriptedCapture stalled;
    stalled.silentServer = true;
    result = record(stalled);
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.message, "Звук не поступает от источника <test.monitor>: записано 0.0 с из 2.0");

    ScriptedCapture blocked;
    blocked.sound = Clicks(0, 3);
    ASSERT_TRUE(WriteFileAtomically(dir.Path() / "file", std::string_view{"x"}).ok);
    result = record(blocked, dir.Path() / "file" / "T");
    EXPECT_FALSE(result.ok);
    EXPECT_NE(result.message.find("Не удалось создать папку"), std::string::npos) << result.message;

    ScriptedCapture zero;
    EXPECT_FALSE(RecordLiveTemplate(zero, Request(0, folder), zero.Waiter()).ok);
    EXPECT_FALSE(zero.running);

    std::vector<fs::path> left;
    for (const auto& entry : fs::directory_iterator{dir.Path()})
        left.push_back(entry.path().filename());
    EXPECT_EQ(left, std::vector<fs::path>{"file"});
}

} // namespace
} // namespace kalvotune::template_commands
