#pragma once

namespace kalvotune::playback {

/// The two kaleidoscope calls playback makes at track start, pause, stop and track end.
/// The window adapts the mode scheduler to it.
class PatternControl {
public:
    virtual ~PatternControl() = default;
    /// On starts the pattern timer of the current mode and `KeepAwakeTimer`; off stops them all.
    virtual void RunPatterns(bool on) = 0;
    /// Prepares the figures of the current figure type for a new track.
    virtual void SelectFigures() = 0;
};

} // namespace kalvotune::playback
