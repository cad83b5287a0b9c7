#pragma once

#include <vector>

namespace kalvotune::analysis {

/// The beat grid found in an onset-strength curve.
struct BeatGrid {
    double period{}; ///< seconds per beat over the whole track; 0 when no steady pulse was found
    std::vector<double> beats; ///< beat times in seconds, ascending
};

/// Finds the tempo of `onsetStrength` (one value per frame, `framesPerSecond` frames a
/// second) by autocorrelation weighted towards 120 BPM (60..200 BPM considered), a beat
/// that divides the bar (the strongest repetition up to 6 s) into whole beats, then the
/// tempo of every second (the autocorrelation of 6 s of curve around it above its
/// average over the tempi, held near the track's tempo, smoothed by a Viterbi path that
/// prices changes), then the beats by dynamic programming: each
/// beat sits on strong onsets while the gaps stay close to the period of their moment.
/// A grid on the off-beats of swung eighths (a short gap to the next onset place, none
/// as far before) moves on by that gap to the beats. Whole-track and deterministic; the
/// grid reaches back to the first beat of the track instead of waiting for the tracker
/// to lock on, and ends on the last beat whose onset stands out against the strong onsets
/// of the seconds before it, not in the final notes' ring (a quiet ending keeps its beats).
BeatGrid TrackBeats(const std::vector<float>& onsetStrength, double framesPerSecond);

/// The strong onsets of a stretch of onset curve: the level 99 in 100 of its frames stay
/// below. 0 for an empty stretch.
float StrongOnsets(std::vector<float> onsets);

/// Onset strength above its own average, scaled to unit spread, so the beat search
/// does not depend on the track's level.
std::vector<double> Normalised(const std::vector<float>& strength);

/// The beat period of a normalised onset curve in frames (fractional), or 0 when the
/// curve, which must span at least three beats of 60 BPM, has no pulse: the period
/// `TrackBeats` starts from, with the same preference and the same bar check.
double FindPeriod(const std::vector<double>& odf, double framesPerSecond);

} // namespace kalvotune::analysis
