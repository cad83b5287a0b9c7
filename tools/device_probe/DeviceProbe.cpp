// Measures the libmpv playback device on this machine: how long Open takes per file,
// how far the reported position drifts from the wall clock while a track plays, and
// what one PositionMs() query costs.
//
//   kalvotune_device_probe [--null] [--drift SECONDS] FILE...
//
// --null forces the null output (no sound card needed). --drift plays the first file
// for that many seconds (or to its end) and prints position minus elapsed time.

#include "playback/MpvDevice.hpp"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

using namespace kalvotune;
using namespace kalvotune::playback;
using Clock = std::chrono::steady_clock;

namespace {

double MsBetween(Clock::time_point from, Clock::time_point to)
{
    return std::chrono::duration<double, std::milli>(to - from).count();
}

void MeasureOpen(MpvDevice& device, const std::string& file)
{
    constexpr int kRounds{5};
    std::vector<double> times;
    for (int i = 0; i < kRounds; ++i) {
        const auto start = Clock::now();
        const OpenResult result = device.Open(file);
        times.push_back(MsBetween(start, Clock::now()));
        if (!result.ok) {
            std::printf("open %-40s failed: %s\n", file.c_str(), result.error.c_str());
            return;
        }
    }
    std::sort(times.begin(), times.end());
    std::printf("open %-40s length %6lld ms  open min %.1f ms  median %.1f ms  max %.1f ms  (output %s)\n",
        file.c_str(), static_cast<long long>(device.LengthMs()), times.front(), times[kRounds / 2], times.back(),
        device.CurrentOutput().c_str());
}

void MeasureQueryCost(MpvDevice& device, const std::string& file)
{
    if (!device.Open(file).ok)
        return;
    device.Play();
    std::this_thread::sleep_for(std::chrono::milliseconds{300});
    // Back to back, and spaced as the pattern timers ask (every few milliseconds).
    constexpr int kQueries{20000};
    long long sum{};
    const auto start = Clock::now();
    for (int i = 0; i < kQueries; ++i)
        sum += device.PositionMs();
    const double total = MsBetween(start, Clock::now());
    std::vector<double> spaced;
    for (int i = 0; i < 500; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds{2});
        const auto before = Clock::now();
        sum += device.PositionMs();
        spaced.push_back(MsBetween(before, Clock::now()) * 1000.0);
    }
    std::sort(spaced.begin(), spaced.end());
    std::printf("PositionMs(): back to back %.1f us per query; spaced 2 ms apart median %.1f us, 90%% %.1f us "
                "(checksum %lld)\n",
        total * 1000.0 / kQueries, spaced[spaced.size() / 2], spaced[spaced.size() * 9 / 10], sum % 7);
    device.Close();
}

void MeasureDrift(MpvDevice& device, const std::string& file, int seconds)
{
    if (!device.Open(file).ok)
        return;
    device.Play();
    const auto start = Clock::now();
    double worstAhead{-1e9};
    double worstBehind{1e9};
    std::printf("drift over %s (position - elapsed, ms):\n", file.c_str());
    for (int tick = 1; device.Mode() == DeviceMode::Playing && tick <= seconds * 10; ++tick) {
        std::this_thread::sleep_until(start + std::chrono::milliseconds{100 * tick});
        const double offset = static_cast<double>(device.PositionMs()) - MsBetween(start, Clock::now());
        if (device.Mode() != DeviceMode::Playing)
            break;
        worstAhead = std::max(worstAhead, offset);
        worstBehind = std::min(worstBehind, offset);
        if (tick % 50 == 0)
            std::printf("  at %3d s: %+.0f\n", tick / 10, offset);
    }
    while (device.Mode() == DeviceMode::Playing)
        std::this_thread::sleep_for(std::chrono::milliseconds{5});
    std::printf("  range %+.0f .. %+.0f ms; ended after %.0f ms at %lld of %lld ms\n", worstBehind, worstAhead,
        MsBetween(start, Clock::now()), static_cast<long long>(device.PositionMs()),
        static_cast<long long>(device.LengthMs()));
}

} // namespace

int main(int argc, char** argv)
{
    AudioOutput output{AudioOutput::SystemDefault};
    int driftSeconds{};
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--null")
            output = AudioOutput::Null;
        else if (arg == "--drift" && i + 1 < argc)
            driftSeconds = std::atoi(argv[++i]);
        else
            files.push_back(arg);
    }
    if (files.empty()) {
        std::fprintf(stderr, "usage: %s [--null] [--drift SECONDS] FILE...\n", argv[0]);
        return 2;
    }
    MpvDevice device{output};
    for (const auto& file : files)
        MeasureOpen(device, file);
    MeasureQueryCost(device, files.front());
    if (driftSeconds > 0)
        MeasureDrift(device, files.front(), driftSeconds);
    return 0;
}
