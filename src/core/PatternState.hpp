#pragma once

#include "core/Surface.hpp"
#include "core/TemplateChannels.hpp"

#include <cstdint>

namespace kalvotune {

/// What the kaleidoscope draws with besides the template: the picture's options, the
/// mode and figure type, and the state its ticks carry from one to the next. The window
/// sets the options from its menu and buttons; a video sets them from its request.
struct PatternState {
    /// "сглаживать": the figures are smoothed, the centre folded back and blurred every third tick.
    bool smoothing{};
    /// "размазать": the centre is folded back and blurred twice on every tick.
    bool smearing{};
    /// Drive: with a template the picture changes only at the marks of the speed channel.
    bool motionOff{};
    /// "авто": a figure re-selection picks one of the five figure types at random.
    bool autoFigureType{};
    /// The track plays with generated channels: the picture shows in short bursts at marks.
    bool noTemplate{};
    /// The mode drawn, 0..15 (another number draws as mode 11).
    int modeNumber{1};
    /// The figure type 1..5 (ball, ball and casual, casual, micro plus, micro).
    std::uint8_t figureType{};
    /// How much later than the play position the picture follows the sound, in ms.
    int pictureDelayMs{};
    /// The template tick the last pattern tick drew, in tenths of a second.
    int templateTick{};
    /// The pattern timer's interval in ms: longer while the tick stands, shorter while it runs.
    int patternInterval{20};
    /// The automatic mode change is due at the next mark.
    bool autoChangeDue{};
};

/// Everything a kaleidoscope draws from and into; each must outlive whoever holds this.
struct PatternInputs {
    PatternState& state;
    TemplateChannels& channels;
    Surface& surface;
};

} // namespace kalvotune
