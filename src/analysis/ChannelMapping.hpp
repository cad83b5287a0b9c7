#pragma once

#include "analysis/BeatTracker.hpp"
#include "analysis/TrackFeatures.hpp"

#include "core/TemplateChannels.hpp"

#include <vector>

namespace kalvotune::analysis {

/// Where the picture changes and why, next to the channels made from it.
struct ChannelPlan {
    TemplateChannels channels;
    std::vector<int> markerTicks; ///< ticks carrying a picture-change marker, ascending
    std::vector<int> sectionTicks; ///< ticks where a new section begins
    double period{}; ///< seconds per beat at the track's start; 0 when no beat was found
    int beatsPerBar{}; ///< the metre found (at the track's start); 0 when no beat was found
    int beatsPerMarker{}; ///< beats between markers there: a division of the bar or whole bars
    std::vector<int> rootPerTick; ///< pitch class (C = 0) the hue shows at each tick
};

/// Maps the measured music onto the four template channels, one byte per tick.
///
/// - Speed (0..20): 0.6 × onset density (onsets a second over 2 s, 8 a second = full)
///   + 0.4 × loudness (-50 LUFS = 0, -10 LUFS = full), so quiet passages move slowly and
///   busy ones fast. 21 is never written: the "микро" figure types read the byte one
///   higher and would take it for a marker.
/// - Picture-change markers (+22 on the speed byte): on every k-th beat, k the smallest of
///   1, 2, 4, 8, 16 whose span is at least `pictureChangeTicks` ticks, starting on the beat
///   the bar most likely begins on (strongest onsets and harmony changes); always at a
///   section change; never two closer than `pictureChangeTicks` ticks.
/// - Colour: hue from the harmony: the best-fitting major or minor triad over the last
///   second of the pitch-class profile gives a root, root r is hue r × 30° (C red, E
///   green, G# blue); brightness from loudness (a quarter at silence, full at -10 LUFS).
/// - Blue is odd (new figures) at tick 0 and at section changes, red is odd (new figure
///   directions) on bar starts; everywhere else both are even.
///
/// Sections begin where loudness, activity and harmony over the 4 s after a tick differ
/// clearly from the 4 s before it, at least 8 s apart.
ChannelPlan MapToChannels(const TrackFeatures& features, const BeatGrid& grid, int pictureChangeTicks);

} // namespace kalvotune::analysis
