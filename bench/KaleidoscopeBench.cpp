// Pattern-tick and presenter timings. The last line printed is the presenter's speed-up
// over the byte-wise reference, measured side by side on the same canvas.
#include "ReferencePresentFrame.hpp"
#include "SyntheticTables.hpp"
#include "app/PatternCommands.hpp"
#include "core/AudioDevice.hpp"
#include "core/Form.hpp"
#include "core/Random.hpp"
#include "core/Services.hpp"
#include "kaleidoscope/Animators.hpp"
#include "kaleidoscope/Engine.hpp"
#include "kaleidoscope/Scheduler.hpp"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace kalvotune::bench {
namespace {

using namespace kaleidoscope;

struct QuietDialogs : Dialogs {
    void ShowMessage(const std::string&) override { }
    void ShowError(const std::string&) override { }
    bool AskYesNo(const std::string&, const std::string&) override { return false; }
    std::optional<std::string> InputBox(const std::string&, const std::string&, const std::string&) override
    {
        return std::nullopt;
    }
    std::vector<std::filesystem::path> OpenAudioFiles(bool) override { return {}; }
    std::optional<std::filesystem::path> ChooseFolder(const std::string&) override { return std::nullopt; }
};

struct StillClock : Clock {
    std::int64_t UnixSeconds() const override { return 1'800'000'000; }
    LocalDateTime Now() const override { return {}; }
};

/// A device that is always playing, at whatever position the bench sets.
struct PlayingDevice : AudioDevice {
    OpenResult Open(const std::filesystem::path&) override { return {true, {}}; }
    void Close() override { }
    void Play() override { }
    bool Pause() override { return true; }
    void Stop() override { }
    void Seek(std::int64_t ms) override { position = ms; }
    DeviceMode Mode() const override { return DeviceMode::Playing; }
    std::int64_t LengthMs() const override { return 600'000; }
    std::int64_t PositionMs() const override { return position; }
    std::int64_t position{};
};

struct NoScreen : Screen {
    int Width() const override { return 1920; }
    int Height() const override { return 1080; }
    int PhysicalWidth() const override { return 1920; }
    void SetCursorPos(int, int) override { }
};
struct NoSounds : SoundEffects {
    void PlayAndWait(const std::filesystem::path&) override { }
    void PlayAsync(const std::filesystem::path&) override { }
};
struct NoActivity : UserActivity {
    void Poke() override { }
};

/// The kaleidoscope of a playing track with a full template, tables from the built
/// program folder when they are there, synthetic ones otherwise.
struct Setup {
    QuietDialogs dialogs;
    StillClock clock;
    Random random{clock};
    PlayingDevice device;
    NoScreen screen;
    NoSounds sounds;
    NoActivity activity;
    Services services{dialogs, clock, random, device, screen, sounds, activity};
    Form form;
    Engine engine{form.Pattern(), random};
    Scheduler scheduler{engine, device, random};
    app::PatternCommands commands{form, device, engine, scheduler};
    bool programTables{};

    Setup()
    {
        programTables = engine.LoadTables(std::filesystem::path{KALVOTUNE_PROGRAM_DIR}).ok;
        if (!programTables)
            engine.LoadTables(SyntheticTables());
        // A template with bright colours, a mark every two seconds and rare re-selections.
        const int length = 6000;
        form.channels.Reset(length);
        Random bytes{clock};
        bytes.Seed(5);
        for (int i = 0; i < length; ++i) {
            const auto at = static_cast<std::size_t>(i);
            form.channels.blue[at] = static_cast<std::uint8_t>((bytes.Next() % 256) & (i % 50 == 0 ? 0xFF : 0xFE));
            form.channels.green[at] = static_cast<std::uint8_t>(bytes.Next() % 256);
            form.channels.red[at] = static_cast<std::uint8_t>((bytes.Next() % 256) & (i % 30 == 0 ? 0xFF : 0xFE));
            form.channels.speed[at]
                = static_cast<std::uint8_t>(i % 20 == 0 ? 22 + bytes.Next() % 10 : bytes.Next() % 12);
        }
        form.NoTemplate = false;
        form.SmoothingItem.checked = true;
        form.FigureType = 3;
        commands.ChooseRandomFigures();
        for (auto& b : engine.Canvas())
            b = static_cast<std::uint8_t>(bytes.Next());
    }

    /// One pattern tick of `mode`, a tenth of a second after the previous one.
    void Tick(int mode)
    {
        device.position = (device.position + 100) % 590'000;
        form.ModeNumber = mode;
        commands.OnPatternTick(form.*app::kModeTimers[static_cast<std::size_t>(mode)]);
    }
};

Setup& Shared()
{
    static Setup setup;
    return setup;
}

void ModeTick(benchmark::State& state)
{
    Setup& s = Shared();
    const int mode = static_cast<int>(state.range(0));
    for (auto _ : state)
        s.Tick(mode);
    benchmark::DoNotOptimize(s.form.surface.bytes.data());
}
BENCHMARK(ModeTick)->DenseRange(0, 15)->Unit(benchmark::kMicrosecond);

void PresentFrame(benchmark::State& state)
{
    Setup& s = Shared();
    for (auto _ : state) {
        s.engine.PresentFrame();
        benchmark::ClobberMemory();
    }
}
BENCHMARK(PresentFrame)->Unit(benchmark::kMicrosecond);

void ReferencePresent(benchmark::State& state)
{
    Setup& s = Shared();
    for (auto _ : state) {
        ReferencePresentFrame(s.engine.Map(), s.engine.Canvas().data(), s.form.surface);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(ReferencePresent)->Unit(benchmark::kMicrosecond);

void Fade(benchmark::State& state)
{
    Setup& s = Shared();
    for (auto _ : state) {
        s.engine.Fade(15, 16, 15, 16, 15, 16);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(Fade)->Unit(benchmark::kMicrosecond);

template <typename F> double Seconds(F&& f)
{
    const auto start = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace
} // namespace kalvotune::bench

int main(int argc, char** argv)
{
    using namespace kalvotune::bench;
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    Setup& s = Shared();
    std::printf("Tables: %s\n", s.programTables ? KALVOTUNE_PROGRAM_DIR : "synthetic (no program folder tables)");

    double slowest = 0;
    int slowestMode = 0;
    for (int mode = 0; mode < kalvotune::kaleidoscope::kModeCount; ++mode) {
        std::vector<double> rounds;
        for (int round = 0; round < 9; ++round)
            rounds.push_back(Seconds([&] {
                for (int i = 0; i < 50; ++i)
                    s.Tick(mode);
            }) / 50);
        const double tick = Median(rounds);
        if (tick > slowest) {
            slowest = tick;
            slowestMode = mode;
        }
    }
    std::printf("Slowest mode tick: mode %d, %.3f ms\n", slowestMode, slowest * 1e3);

    std::vector<double> ratios;
    for (int round = 0; round < 41; ++round) {
        const double reference = Seconds([&] {
            for (int i = 0; i < 5; ++i)
                ReferencePresentFrame(s.engine.Map(), s.engine.Canvas().data(), s.form.surface);
        });
        benchmark::DoNotOptimize(s.form.surface.bytes.data());
        const double engine = Seconds([&] {
            for (int i = 0; i < 5; ++i)
                s.engine.PresentFrame();
        });
        benchmark::DoNotOptimize(s.form.surface.bytes.data());
        ratios.push_back(reference / engine);
    }
    std::printf("PresentFrame speed-up over the byte-by-byte reference: %.1f\n", Median(ratios));
    return 0;
}
