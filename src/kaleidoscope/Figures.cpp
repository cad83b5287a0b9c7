// Moving and painting the figures of the 19 slots.
#include "kaleidoscope/Engine.hpp"

#include <algorithm>
#include <utility>

namespace kalvotune::kaleidoscope {

namespace {

bool AboveWindow(std::int64_t next)
{
    return next > kWindowHigh;
}
bool BelowWindow(std::int64_t next)
{
    return next < kWindowLow;
}
bool LeftOfWindow(std::int64_t next)
{
    return next % kFrameRowBytes < kWindowLeft;
}
bool RightOfWindow(std::int64_t next)
{
    return next % kFrameRowBytes > kWindowRight;
}

bool InWindow(std::int64_t next)
{
    return !AboveWindow(next) && !BelowWindow(next) && !LeftOfWindow(next) && !RightOfWindow(next);
}

/// Far more rounds than a reachable window ever needs; only a figure stuck outside it hits this.
constexpr int kMaxTurnRounds{100'000};

enum Operation { kFlat, kRising, kFalling };

/// The words in use; a slot set from outside never makes us read past its 4000 words.
int LengthOf(std::span<const std::int32_t, kFigureWords> f)
{
    return std::clamp(f[kLength], 0, kFigureWords);
}

} // namespace

void Engine::MoveFigures(int first, int end, int step)
{
    if (!m_ready)
        return;
    first = std::max(first, 0);
    end = std::min(end, kFigureSlots);
    const bool redOdd = (m_inputs.channels.Red(m_inputs.state.templateTick) & 1) != 0;
    for (int s = first; s < end; ++s) {
        const std::span<std::int32_t, kFigureWords> f = Figure(s);
        const int n = LengthOf(f);
        if (redOdd) {
            f[kDirection] = m_random.Next() % 16;
            f[kStepCount] = 0;
            f[kTurnPeriod] = 1 + m_random.Next() % 50;
        }
        if (++f[kStepCount] > f[kTurnPeriod]) {
            f[kStepCount] = 0;
            f[kDirection] += f[kTurnSign];
            if (f[kDirection] > 15) {
                f[kDirection] = 0;
                f[kTurnSign] = -f[kTurnSign];
            }
            if (f[kDirection] < 0) {
                f[kDirection] = 15;
                f[kTurnSign] = -f[kTurnSign];
            }
        }
        // Only a slot set from outside can hold a direction beyond 0..15.
        f[kDirection] &= 15;
        if (n <= kAnchor)
            continue; // no points: nothing to move
        const std::int64_t anchor = f[kAnchor];
        const auto nextFor = [&](int direction) {
            return anchor + static_cast<std::int64_t>(kDirectionOffsets[static_cast<std::size_t>(direction)]) * step;
        };
        // When no direction at all reaches the window at this step (step 0 outside it, say),
        // searching could never end: the figure stays where it is.
        bool reachable = false;
        for (int d = 0; d < 16 && !reachable; ++d)
            reachable = InWindow(nextFor(d));
        if (!reachable)
            continue;
        std::int64_t next = nextFor(f[kDirection]);
        const auto turn = [&](int direction) {
            f[kDirection] = direction;
            f[kStepCount] = 0;
            next = nextFor(direction);
        };
        int rounds = 0;
        while (!InWindow(next) && rounds < kMaxTurnRounds) {
            while (AboveWindow(next) && ++rounds < kMaxTurnRounds)
                turn(9 + m_random.Next() % 7);
            while (BelowWindow(next) && ++rounds < kMaxTurnRounds)
                turn(1 + m_random.Next() % 7);
            while (LeftOfWindow(next) && ++rounds < kMaxTurnRounds) {
                const int d = m_random.Next() % 7;
                turn(d > 3 ? d + 9 : d);
            }
            while (RightOfWindow(next) && ++rounds < kMaxTurnRounds)
                turn(5 + m_random.Next() % 7);
        }
        if (!InWindow(next))
            continue;
        const int style = f[kStyle];
        if (style == 5 || style == 7) {
            const int intensity = m_current.CurrentBlue / 2 + m_current.CurrentRed + m_current.CurrentGreen / 2;
            int drawnStart = n + 10 - n * intensity / 510;
            if (drawnStart < 40) {
                if (f[kKind] == 11)
                    drawnStart = std::max(drawnStart, 10);
                else
                    drawnStart = 40;
            }
            f[kDrawnStart] = drawnStart;
        }
        const auto delta = static_cast<std::int32_t>(next - anchor);
        for (int i = kAnchor; i < n; ++i)
            f[static_cast<std::size_t>(i)] += delta;
    }
}

void Engine::DrawFigures(int value, int first, int channel, int end, int operation)
{
    if (!m_ready || channel < 0 || channel > 2)
        return;
    first = std::max(first, 0);
    end = std::min(end, kFigureSlots);
    std::uint8_t* canvas = m_canvas.data() + channel;
    const auto put = [canvas](std::int32_t point, int x) { canvas[point] = static_cast<std::uint8_t>(x); };
    for (int s = first; s < end; ++s) {
        const std::span<const std::int32_t, kFigureWords> f = std::as_const(*this).Figure(s);
        const int n = LengthOf(f);
        if (n <= kAnchor)
            continue;
        const int style = f[kStyle];
        if (style == 5 || style == 7) {
            // A drawn start kept from the file may be anything; only point words are drawn.
            const int ds = std::clamp(f[kDrawnStart], kAnchor, n);
            for (int i = ds; i < n; ++i)
                put(f[static_cast<std::size_t>(i)], value * (i - ds) / (n - ds));
            continue;
        }
        for (int i = kAnchor; i < n; ++i) {
            int x = value;
            std::int32_t point = f[static_cast<std::size_t>(i)];
            if (operation == kRising) {
                if (style == 1)
                    x = (7 * value / 8) * i / n + value / 8;
                else if (style == 2)
                    x = (3 * value / 4) * i / n + value / 4;
                else
                    x = value * i / n;
            } else if (operation == kFalling) {
                x = value - value * i / n;
                if (style == 3)
                    point = f[static_cast<std::size_t>(n + 9 - i)];
            }
            put(point, x);
        }
    }
}

void Engine::DrawFiguresFlat(int value, int first, int channel, int end)
{
    DrawFigures(value, first, channel, end, kFlat);
}

void Engine::DrawFiguresRising(int value, int first, int channel, int end)
{
    DrawFigures(value, first, channel, end, kRising);
}

void Engine::DrawFiguresFalling(int value, int first, int channel, int end)
{
    DrawFigures(value, first, channel, end, kFalling);
}

void Engine::SmoothFigures()
{
    if (!m_ready)
        return;
    std::uint8_t* canvas = m_canvas.data();
    for (int s = 0; s < kFigureSlots; ++s) {
        const std::span<const std::int32_t, kFigureWords> f = std::as_const(*this).Figure(s);
        const int n = LengthOf(f);
        for (int i = kAnchor; i < n; ++i) {
            std::uint8_t* b = canvas + f[static_cast<std::size_t>(i)];
            for (int k = 0; k < 3; ++k, ++b)
                *b = static_cast<std::uint8_t>((b[0] + b[3] + b[-3] + b[kFrameRowBytes] + b[-kFrameRowBytes]) / 5);
        }
    }
}

} // namespace kalvotune::kaleidoscope
