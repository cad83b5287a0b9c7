#pragma once

#include "analysis/AnalysisModel.hpp"
#include "analysis/BeatTracker.hpp"
#include "analysis/TrackFeatures.hpp"

#include "core/TemplateChannels.hpp"

#include <array>
#include <cstdint>
#include <vector>

namespace kalvotune::analysis {

/// Where the picture changes and why, next to the channels made from it.
struct ChannelPlan {
    TemplateChannels channels;
    std::vector<int> markerTicks; ///< ticks carrying a picture-change marker, ascending
    std::vector<int> sectionTicks; ///< ticks where a new section begins
    double period{}; ///< seconds per beat at the track's tempo; 0 when no beat was found
    int beatsPerBar{}; ///< the metre found (at the track's start); 0 when no beat was found
    int beatsPerMarker{}; ///< beats between markers there: a division of the bar or whole bars
    std::vector<int> rootPerTick; ///< pitch class (C = 0) the hue shows at each tick
};

/// Maps the measured music onto the four template channels, one byte per tick.
///
/// The learned decisions come from `model`: by default the one built into the program,
/// trained by `make train-analysis` on a labelled corpus (mma's grooves playing chord
/// charts, rendered with several soundfonts) and kept in src/analysis/AnalysisModel.txt.
/// Without a model (a built-in text that does not parse) the hand-set decisions below
/// stand. Either way the same features give the same bytes on every run and thread.
///
/// - Speed (0..20): 0.6 × onset density (onsets a second over 2 s, 8 a second = full)
///   + 0.4 × loudness (-50 LUFS = 0, -10 LUFS = full), so quiet passages move slowly and
///   busy ones fast. 21 is never written: the "микро" figure types read the byte one
///   higher and would take it for a marker.
/// - Beats: the track's tempo is the strongest pulse near 120 BPM that divides the bar
///   into whole beats (never a pulse of three sixteenths in 2/4); it is estimated every
///   second from 6 s of onset curve (the autocorrelation above its average over the tempi,
///   so that a slow opening keeps its own beat when a longer fast part sets the track's
///   tempo) and followed by a Viterbi path that takes a new tempo once it has fitted better
///   for a few seconds (accelerando, ritardando, a new tempo in a later section); the beats sit
///   on strong onsets with gaps close to the tempo of their moment, from the first to the
///   last that sits on an onset (`TrackBeats`). In swing, a grid that sits on the long
///   notes melodies start on the swung off-beat moves on to the beat, where the long gap
///   of each long-short pair begins.
/// - Phase and tempo (learned, `CorrectGrid`): from how onsets and the low end sit on the
///   beats against half-way between them, and on the even against the odd beats, the
///   model moves a grid that sits on the off-beats by half a beat; then it takes the
///   music's beat from candidates at simple ratios of the grid (three times its period,
///   one and a half, two thirds) by their tempo, how onsets, the low end and the chord
///   changes sit on their beats, and how evenly the beats fall; last, it halves a grid
///   that runs at twice the music's tempo.
/// - Bars: 2, 3, 4, 5 or 7 beats a bar (compound metres counted in dotted beats, 6/8 as
///   two), the bar starts where harmony and bass line move and the low end sounds; per
///   section when a section shows its own metre clearly (`FindBars`); bars of three
///   whose bass sounds half-way through are two dotted beats (`GroupInDottedBeats`).
///   With the model, how much each beat sounds like a bar start is its learned log-odds
///   (`BeatInputs`: harmony and bass-line movement, low end, onset, chord change,
///   loudness, off-beat onset, and the first five against the neighbouring beats), and
///   the metres' bonuses and the section margin are fitted too.
/// - Picture-change markers (+22 on the speed byte): on bar starts and, when the slider
///   allows, on the divisions of the bar (every beat, every second beat of a bar of four
///   or six…), or on every second, fourth or eighth bar start when a bar is shorter than
///   `pictureChangeTicks` ticks; always at a section change; never two closer than
///   `pictureChangeTicks` ticks; none where the sound is more than 24 LU below the
///   track's loud passages (silence, the fade-out's tail).
/// - Colour: hue from the harmony: a log-frequency chroma (three bins a semitone from
///   41 Hz to 2.6 kHz, the track's tuning found from them) and the bass line below
///   260 Hz, over 186 ms centred on the tick (so a chord that starts on a tick colours
///   it). With the model, the chroma and bass line of the tick and of the five ticks
///   around it give each of 84 chords (12 roots × major, minor, dominant seventh, major
///   seventh, minor seventh, diminished, suspended) a probability by a regression whose
///   weights the roots share, and a Viterbi path that pays the fitted change price for
///   each change gives one chord per stretch of music; without it, the 24 major and minor
///   triads and "no chord" are scored by hand-set weights. Root r is hue r × 30° (C red,
///   E green, G# blue); a tick too quiet for a chord keeps the root before it.
///   Brightness from loudness (a quarter at silence, full at -10 LUFS).
/// - Blue is odd (new figures) at tick 0 and at section changes, red is odd (new figure
///   directions) on bar starts; everywhere else both are even.
///
/// Sections begin where loudness, activity and harmony over the 4 s after a tick differ
/// clearly from the 4 s before it, at least 8 s apart; the change then moves to the
/// nearest bar start within a bar (or else the nearest beat), where sections begin.
ChannelPlan MapToChannels(const TrackFeatures& features, BeatGrid grid, int pictureChangeTicks,
    const AnalysisModel* model = ShippedAnalysisModel());

/// The model's grid corrections: beats it judges half a beat off move to half-way between
/// them; then the grid becomes the tempo candidate the model takes for the music's beat
/// (`ChooseTempo`), with the chords of `rootPerTick`; beats it judges at twice the music's
/// tempo keep the half (even or odd) whose onsets and low end are stronger.
void CorrectGrid(
    const TrackFeatures& features, const AnalysisModel& model, const std::vector<int>& rootPerTick, BeatGrid& grid);

/// The mapping of a single tick, which the live analysis shares with `MapToChannels`.
///
/// Added to the speed byte on a tick that changes the picture.
inline constexpr int kPictureChangeMarker{22};
/// The 24 triads (major on C..B, then minor) and "no chord" (the last) a tick is
/// compared with.
inline constexpr int kTriadStates{25};
/// Onsets a second as a share of a full texture (8 a second), 0..1.
double OnsetDensity(double onsetsPerSecond);
/// How busy a tick is, 0..1: 0.6 × onset density + 0.4 × loudness.
double ActivityOf(double density, float lufs);
/// The speed byte (0..20) of that activity, without marker.
std::uint8_t SpeedByteOf(double activity);
/// The even red, green and blue bytes for the hue of chord root `root` at the brightness
/// of `lufs`.
std::array<std::uint8_t, 3> ColourOf(int root, float lufs);
/// How well each of the `kTriadStates` fits a tick, as the hue's chord path weighs them.
std::array<double, kTriadStates> HueChordFits(
    const std::array<float, 12>& chroma, const std::array<float, 12>& bassChroma, float lufs);
/// What a change of chord costs the hue's path, against the fits of one tick.
double HueChordChangePrice();
/// Beats a marker spans for bars of `metre` beats of `period` seconds: the smallest
/// division of the bar (or whole number of bars, doubling) at least `spacing` ticks long.
int BeatsPerMarker(int metre, double period, int spacing);

} // namespace kalvotune::analysis
