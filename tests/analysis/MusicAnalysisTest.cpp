#include "analysis/MusicAnalysis.hpp"
#include "analysis/AnalysisModule.hpp"
#include "analysis/AnalysisWorker.hpp"

#include "Catalogue.hpp"
#include "Composer.hpp"
#include "Wav.hpp"

#include "core/FileIO.hpp"
#include "support/TempDir.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <future>
#include <numbers>

namespace kalvotune::analysis {
namespace {

using testing::TempDir;

constexpr double kTolerance{0.1};

/// F-measure of marker ticks against reference times, each reference matched at most
/// once within ±100 ms of the moment the marker changes the picture.
double FMeasure(const std::vector<int>& markerTicks, const std::vector<double>& reference)
{
    if (markerTicks.empty() || reference.empty())
        return 0;
    std::vector<bool> used(reference.size());
    int hits{};
    for (const int tick : markerTicks) {
        const double at{tick / 10.0};
        for (std::size_t i = 0; i < reference.size(); ++i)
            if (!used[i] && std::abs(reference[i] - at) <= kTolerance + 1e-9) {
                used[i] = true;
                ++hits;
                break;
            }
    }
    const double precision{static_cast<double>(hits) / static_cast<double>(markerTicks.size())};
    const double recall{static_cast<double>(hits) / static_cast<double>(reference.size())};
    return hits == 0 ? 0 : 2 * precision * recall / (precision + recall);
}

/// A metronome of `seconds` seconds: a high, loud click on each bar start and lower ones on
/// the other beats; with `band`, a plucked bass and chord stabs play along off the beat.
demo::Pcm ClickTrack(double bpm, double seconds, bool band, std::vector<double>& beats)
{
    const int frames{static_cast<int>(seconds * demo::kSampleRate)};
    std::vector<float> mix(static_cast<std::size_t>(frames));
    const auto tone = [&](double start, double hz, double length, double level, double decay) {
        const int from{static_cast<int>(start * demo::kSampleRate)};
        const int count{static_cast<int>(length * demo::kSampleRate)};
        for (int i = 0; i < count && from + i < frames; ++i) {
            const double t{static_cast<double>(i) / demo::kSampleRate};
            mix[static_cast<std::size_t>(from + i)]
                += static_cast<float>(level * std::exp(-t / decay) * std::sin(2 * std::numbers::pi * hz * t));
        }
    };
    const double period{60.0 / bpm};
    const double roots[]{110.0, 146.83, 130.81, 98.0};
    int beat{};
    for (double t = 0.5; t < seconds - 0.5; t += period, ++beat) {
        beats.push_back(t);
        const bool bar{beat % 4 == 0};
        tone(t, bar ? 1760.0 : 1320.0, 0.04, bar ? 0.5 : 0.3, 0.01);
        if (band) {
            const double root{roots[(beat / 4) % 4]};
            tone(t + period / 2, root, period * 0.45, 0.25, 0.12);
            tone(t + period / 2, root * 2.52, period * 0.3, 0.08, 0.08);
        }
    }
    demo::Pcm pcm;
    for (const float v : mix) {
        const auto s = static_cast<std::int16_t>(std::lround(std::clamp(v, -1.0f, 1.0f) * 32000));
        pcm.samples.push_back(s);
        pcm.samples.push_back(s);
    }
    return pcm;
}

std::filesystem::path WriteClickTrack(const TempDir& dir, double bpm, bool band, std::vector<double>& beats)
{
    const auto path = dir.Path() / ("click" + std::to_string(static_cast<int>(bpm)) + (band ? "band" : "") + ".wav");
    EXPECT_TRUE(WriteFileAtomically(path, demo::EncodeWav(ClickTrack(bpm, 40.0, band, beats))).ok);
    return path;
}

std::vector<double> EveryKth(const std::vector<double>& beats, int k)
{
    std::vector<double> out;
    for (std::size_t i = 0; i < beats.size(); i += static_cast<std::size_t>(std::max(1, k)))
        out.push_back(beats[i]);
    return out;
}

void ExpectSpacing(const std::vector<int>& markers, int spacing)
{
    for (std::size_t i = 1; i < markers.size(); ++i)
        EXPECT_GE(markers[i] - markers[i - 1], spacing)
            << "markers at ticks " << markers[i - 1] << " and " << markers[i];
}

TEST(MusicAnalysis, ClickTracksGetMarkersOnTheirBeats)
{
    TempDir dir;
    for (const bool band : {false, true})
        for (const double bpm : {70.0, 96.0, 120.0, 138.0, 160.0}) {
            SCOPED_TRACE(std::to_string(bpm) + (band ? " BPM with band" : " BPM"));
            std::vector<double> beats;
            const AnalysisResult result{AnalyseTrack(WriteClickTrack(dir, bpm, band, beats), 4)};
            ASSERT_TRUE(result.ok) << result.message;
            const ChannelPlan& plan{result.plan};
            // Beats closer than the slider allows are thinned to every second one from the bar start.
            EXPECT_EQ(plan.beatsPerMarker, bpm > 150 ? 2 : 1);
            const double f{FMeasure(plan.markerTicks, EveryKth(beats, plan.beatsPerMarker))};
            std::printf("%5.0f BPM%s: F = %.3f\n", bpm, band ? " + band" : "", f);
            EXPECT_GE(f, 0.9);
            ExpectSpacing(plan.markerTicks, 4);
            for (const int t : plan.markerTicks)
                EXPECT_GE(plan.channels.speed[static_cast<std::size_t>(t)], 22);
        }
}

TEST(MusicAnalysis, SlowSliderThinsMarkersToBarStarts)
{
    TempDir dir;
    std::vector<double> beats;
    const AnalysisResult result{AnalyseTrack(WriteClickTrack(dir, 120.0, true, beats), 20)};
    ASSERT_TRUE(result.ok) << result.message;
    EXPECT_EQ(result.plan.beatsPerMarker, 4);
    EXPECT_GE(FMeasure(result.plan.markerTicks, EveryKth(beats, 4)), 0.9);
    ExpectSpacing(result.plan.markerTicks, 20);
    // Red turns the figures on bar starts only, so its odd ticks sit on the loud clicks too.
    std::vector<int> redOdd;
    for (int t = 0; t < result.plan.channels.Length(); ++t)
        if (result.plan.channels.red[static_cast<std::size_t>(t)] & 1)
            redOdd.push_back(t);
    EXPECT_GE(FMeasure(redOdd, EveryKth(beats, 4)), 0.9);
}

TEST(MusicAnalysis, SameFileGivesSameBytesOfTheTracksLength)
{
    TempDir dir;
    std::vector<double> beats;
    const auto path = WriteClickTrack(dir, 110.0, true, beats);
    const AnalysisResult first{AnalyseTrack(path, 20)};
    const AnalysisResult second{AnalyseTrack(path, 20)};
    ASSERT_TRUE(first.ok) << first.message;
    const TemplateChannels& a{first.plan.channels};
    EXPECT_EQ(a.Length(), 400); // 40 s in tenths
    EXPECT_EQ(a.green.size(), a.blue.size());
    EXPECT_EQ(a.red.size(), a.blue.size());
    EXPECT_EQ(a.speed.size(), a.blue.size());
    EXPECT_EQ(a.blue, second.plan.channels.blue);
    EXPECT_EQ(a.green, second.plan.channels.green);
    EXPECT_EQ(a.red, second.plan.channels.red);
    EXPECT_EQ(a.speed, second.plan.channels.speed);
    EXPECT_EQ(a.blue[0] & 1, 1);
    for (const std::uint8_t s : a.speed)
        EXPECT_TRUE(s <= 20 || (s >= 22 && s <= 42)) << int{s};
}

TEST(MusicAnalysis, UnreadableFilesAreNamedWithTheReason)
{
    TempDir dir;
    const auto corrupt = dir.Path() / "Битый.mp3";
    std::string noise(20000, '\0');
    for (std::size_t i = 0; i < noise.size(); ++i)
        noise[i] = static_cast<char>((i * 7919 + 13) % 251);
    ASSERT_TRUE(WriteFileAtomically(corrupt, noise).ok);
    const auto picture = dir.Path() / "Картинка.ppm";
    ASSERT_TRUE(WriteFileAtomically(picture, std::string("P6\n2 2\n255\n") + std::string(12, '\x7f')).ok);
    const auto empty = dir.Path() / "Пусто.wav";
    ASSERT_TRUE(WriteFileAtomically(empty, demo::EncodeWav(demo::Pcm{})).ok);
    const auto missing = dir.Path() / "Нет.wav";

    for (const auto& path : {corrupt, picture, empty, missing}) {
        const AnalysisResult result{AnalyseTrack(path, 20)};
        EXPECT_FALSE(result.ok) << path;
        EXPECT_FALSE(result.cancelled);
        EXPECT_NE(result.message.find(path.filename().string()), std::string::npos) << result.message;
        EXPECT_EQ(result.plan.channels.Length(), 0);
    }
    EXPECT_NE(AnalyseTrack(picture, 20).message.find("нет звуковой дорожки"), std::string::npos);
    EXPECT_NE(AnalyseTrack(empty, 20).message.find("нет ни одного звука"), std::string::npos);
}

TEST(MusicAnalysis, StopRequestEndsWithoutChannels)
{
    TempDir dir;
    std::vector<double> beats;
    const auto path = WriteClickTrack(dir, 100.0, false, beats);
    std::stop_source stop;
    int calls{};
    const AnalysisResult result{AnalyseTrack(path, 20, stop.get_token(), [&](double share) {
        ++calls;
        EXPECT_GE(share, 0.0);
        EXPECT_LE(share, 1.0);
        stop.request_stop();
    })};
    EXPECT_EQ(calls, 1);
    EXPECT_FALSE(result.ok);
    EXPECT_TRUE(result.cancelled);
    EXPECT_EQ(result.plan.channels.Length(), 0);
}

TEST(AnalysisWorker, GivesTheResultFromItsOwnThreadAndStopsOnRequest)
{
    TempDir dir;
    std::vector<double> beats;
    const auto path = WriteClickTrack(dir, 100.0, false, beats);
    AnalysisWorker worker{AnalyseTrack};
    std::promise<AnalysisResult> finished;
    std::thread::id ranOn;
    worker.Start(path, 20, {}, [&](AnalysisResult result) {
        ranOn = std::this_thread::get_id();
        finished.set_value(std::move(result));
    });
    const AnalysisResult result = finished.get_future().get();
    EXPECT_TRUE(result.ok) << result.message;
    EXPECT_EQ(result.plan.channels.Length(), 400);
    EXPECT_NE(ranOn, std::this_thread::get_id());

    // A stop request from the progress callback's first call ends the analysis there.
    std::promise<AnalysisResult> stopped;
    worker.Start(
        path, 20, [&](double) { worker.RequestStop(); }, [&](AnalysisResult r) { stopped.set_value(std::move(r)); });
    EXPECT_TRUE(stopped.get_future().get().cancelled);
}

TEST(AnalysisModule, GivesWhatTheAnalysisGivesOrWhyTheModuleCouldNotLoad)
{
    TempDir dir;
    std::vector<double> beats;
    const auto path = WriteClickTrack(dir, 120.0, true, beats);
    AnalysisModule module{std::filesystem::path{KALVOTUNE_PROGRAM_DIR} / kAnalysisModuleFile};
    const AnalysisResult loaded{module.AsAnalyser()(path, 20, {}, {})};
    ASSERT_TRUE(loaded.ok) << loaded.message;
    EXPECT_EQ(loaded.plan.channels.speed, AnalyseTrack(path, 20).plan.channels.speed);

    AnalysisModule missing{dir.Path() / kAnalysisModuleFile};
    const AnalysisResult failed{missing.Analyse(path, 20, {}, {})};
    EXPECT_FALSE(failed.ok);
    EXPECT_NE(failed.message.find("Не удалось загрузить модуль разбора музыки"), std::string::npos) << failed.message;
}

/// The demo tracks were composed with a known beat grid and chords: how well the
/// analysis of their encoded files finds them.
TEST(MusicAnalysis, DemoTracksFollowTheirBeatsAndChords)
{
    for (const demo::ShippedTrack& track : demo::ShippedTracks()) {
        SCOPED_TRACE(track.title);
        const demo::Piece piece{demo::Compose(track.sketch)};
        const auto path = std::filesystem::path{KALVOTUNE_PROGRAM_DIR} / "Sound" / (track.title + track.extension);
        const AnalysisResult result{AnalyseTrack(path, 4)};
        ASSERT_TRUE(result.ok) << result.message;
        std::vector<double> beats;
        for (const int start : demo::BeatStarts(piece))
            beats.push_back(static_cast<double>(start) / demo::kSampleRate);
        const double f{FMeasure(result.plan.markerTicks, EveryKth(beats, result.plan.beatsPerMarker))};
        int agree{}, judged{};
        for (const demo::ChordSpan& chord : piece.chords)
            for (int t = demo::TickOf(chord.start) + 5; t < demo::TickOf(chord.start + chord.length); ++t)
                if (t < result.plan.channels.Length()) {
                    ++judged;
                    agree += result.plan.rootPerTick[static_cast<std::size_t>(t)] == chord.root;
                }
        const double rootShare{judged > 0 ? static_cast<double>(agree) / judged : 0.0};
        std::printf("%s: beats every %d, F = %.3f, hue on the chord root %.0f%% of the time\n", track.title.c_str(),
            result.plan.beatsPerMarker, f, 100.0 * rootShare);
        EXPECT_GE(f, 0.6);
        EXPECT_GE(rootShare, 0.4);
    }
}

} // namespace
} // namespace kalvotune::analysis
