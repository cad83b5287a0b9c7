#pragma once

#include "app/PatternCommands.hpp"
#include "bench/SyntheticTables.hpp"
#include "core/Form.hpp"
#include "core/Random.hpp"
#include "core/Services.hpp"
#include "kaleidoscope/Engine.hpp"
#include "kaleidoscope/Scheduler.hpp"
#include "support/FakeServices.hpp"

#include <gtest/gtest.h>

namespace kalvotune::kaleidoscope::testing {

using namespace kalvotune::testing;

/// A window model with the kaleidoscope on synthetic tables and a playing ten-minute track.
struct Rig : FakeServices {
    Form form;
    Engine engine{form.Pattern(), random};
    Scheduler scheduler{engine, device, random};
    app::PatternCommands commands{form, device, engine, scheduler};

    explicit Rig(const TableData& tables = bench::SyntheticTables())
    {
        const LoadResult loaded = engine.LoadTables(tables);
        EXPECT_TRUE(loaded.ok) << loaded.message;
        form.channels.Reset(6000);
        form.SmoothingItem.checked = false;
        device.AddFile("track.mp3", 600'000);
        device.Open("track.mp3");
        device.Play();
    }

    /// Puts the play position at `tick` tenths of a second, still playing.
    void At(int tick)
    {
        device.Seek(static_cast<std::int64_t>(tick) * 100);
        device.Play();
    }

    /// Makes `slot` a figure of `style` and `kind` whose points run right from `anchor`.
    void PlaceFigure(int slot, int anchor, int points, int style = 4, int kind = 2)
    {
        auto f = engine.Figure(slot);
        std::fill(f.begin(), f.end(), 0);
        f[kLength] = kAnchor + points;
        f[kStyle] = style;
        f[kKind] = kind;
        f[kTurnPeriod] = 50;
        f[kTurnSign] = 1;
        f[kDrawnStart] = kAnchor;
        for (int i = 0; i < points; ++i)
            f[kAnchor + i] = anchor + 3 * i;
    }
};

} // namespace kalvotune::kaleidoscope::testing
