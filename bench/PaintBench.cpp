// Painting one frame of the picture into a window-sized 32-bit image, the way a repaint
// does: Qt's scaled drawing of the 24-bit surface (as earlier versions painted), the
// scaler writing straight into the window's pixels, and the scaler through an image of
// its own (what the widget does where it cannot reach the window's pixels). The CPU
// column is what counts: all threads of the process.
#include "app/qt/SurfaceView.hpp"

#include <QImage>
#include <QPainter>

#include <benchmark/benchmark.h>

#include <random>

namespace kalvotune::bench {
namespace {

const Surface& Picture()
{
    static const Surface surface = [] {
        Surface s;
        std::mt19937 gen{11};
        for (auto& b : s.bytes)
            b = static_cast<std::uint8_t>(gen());
        return s;
    }();
    return surface;
}

QSize TargetSize(const benchmark::State& state)
{
    return {static_cast<int>(state.range(0)), static_cast<int>(state.range(1))};
}

void Pixels(benchmark::State& state)
{
    const QSize size = TargetSize(state);
    state.counters["pixels"] = benchmark::Counter(
        static_cast<double>(size.width()) * size.height(), benchmark::Counter::kIsIterationInvariantRate);
}

void PaintQtScaled(benchmark::State& state)
{
    const Surface& surface = Picture();
    const QImage source{
        surface.bytes.data(), Surface::kWidth, Surface::kHeight, Surface::kStride, QImage::Format_BGR888};
    QImage window{TargetSize(state), QImage::Format_RGB32};
    for (auto _ : state) {
        QPainter painter{&window};
        painter.drawImage(window.rect(), source);
        painter.end();
        benchmark::DoNotOptimize(window.constBits());
    }
    Pixels(state);
}

void PaintScaledDirect(benchmark::State& state)
{
    const Surface& surface = Picture();
    QImage window{TargetSize(state), QImage::Format_RGB32};
    app::SurfaceScaler scaler;
    scaler.SetTargetSize(window.width(), window.height());
    for (auto _ : state) {
        scaler.Scale(surface, 0, 0, window.width(), window.height(), window.bits(), window.bytesPerLine());
        benchmark::DoNotOptimize(window.constBits());
    }
    Pixels(state);
}

void PaintScaledViaImage(benchmark::State& state)
{
    const Surface& surface = Picture();
    QImage window{TargetSize(state), QImage::Format_RGB32};
    QImage buffer{window.size(), QImage::Format_RGB32};
    app::SurfaceScaler scaler;
    scaler.SetTargetSize(window.width(), window.height());
    for (auto _ : state) {
        scaler.Scale(surface, 0, 0, buffer.width(), buffer.height(), buffer.bits(), buffer.bytesPerLine());
        QPainter painter{&window};
        painter.drawImage(0, 0, buffer);
        painter.end();
        benchmark::DoNotOptimize(window.constBits());
    }
    Pixels(state);
}

// The picture at its design size, then the whole window at the design size and at two
// screen sizes.
void Sizes(benchmark::internal::Benchmark* b)
{
    // Qt spreads large image drawing over worker threads: the CPU time of the whole
    // process is what a repaint costs.
    b->ArgNames({"w", "h"})
        ->Args({675, 523})
        ->Args({790, 536})
        ->Args({1920, 1080})
        ->Args({3840, 2160})
        ->MeasureProcessCPUTime()
        ->Unit(benchmark::kMicrosecond);
}
BENCHMARK(PaintQtScaled)->Apply(Sizes);
BENCHMARK(PaintScaledDirect)->Apply(Sizes);
BENCHMARK(PaintScaledViaImage)->Apply(Sizes);

} // namespace
} // namespace kalvotune::bench
