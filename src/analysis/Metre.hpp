#pragma once

#include "analysis/AnalysisModel.hpp"
#include "analysis/BeatTracker.hpp"
#include "analysis/TrackFeatures.hpp"

#include <array>
#include <vector>

namespace kalvotune::analysis {

/// Where the bars begin among the beats of a track.
struct BarGrid {
    std::vector<int> beatsPerBar; ///< per beat: the beats in the bar it belongs to
    std::vector<int> position; ///< per beat: 0 on a bar start, then 1, 2, …
    std::vector<double> salience; ///< per beat of the grid searched: how much it sounds like a bar start
};

/// A slow grid (beats 0.45 s apart or more) that sits on the backbeat — the chord stabs
/// between the bass notes — is moved by half a beat onto the bass notes, which mark the
/// strong beats of a bar; otherwise `grid` stays as it is.
void SettleOnBassNotes(const TrackFeatures& features, BeatGrid& grid);

/// Finds the metre (`kModelMetres` beats a bar; six beats are two bars of three, compound
/// metres counted in dotted beats) and the bar starts among `grid`'s beats. A bar start is
/// where the harmony and the bass line move and the low end sounds: for every metre and
/// phase the mean of that salience on the would-be bar starts (and the chord changes of
/// `rootPerTick` there) is set against its mean on the other beats, and the clearest
/// contrast wins. Done over the whole track, then again in each section (between
/// `sectionTicks`), which keeps its own metre or phase only when it shows them clearly.
/// With `model`, the salience of a beat is the model's log-odds of a bar start from its
/// `BeatInputs`, and the metres' bonuses and accents and the section margin are the model's.
BarGrid FindBars(const TrackFeatures& features, const BeatGrid& grid, const std::vector<int>& sectionTicks,
    const std::vector<int>& rootPerTick, const AnalysisModel* model = nullptr);

/// What the bar model sees of each beat of `grid`, z-scored over the track: how much the
/// harmony and the bass line move, the low end, the onset, a chord change of
/// `rootPerTick`, the rise of the low end, the loudness, the onset half-way to the next
/// beat, and how the harmony and the bass line of the two beats from it differ from those
/// of the two before; then the first six against the mean of the beats either side, and
/// against the mean of those two beats away.
std::vector<std::array<float, kBeatInputs>> BeatInputs(
    const TrackFeatures& features, const BeatGrid& grid, const std::vector<int>& rootPerTick);

/// A metre and phase that the bar search weighs among some beats.
struct MetreHypothesis {
    std::size_t metre{}; ///< index into `kModelMetres`
    int phase{}; ///< beats whose index less this is a multiple of the metre start bars
    double contrast{}; ///< mean salience of those beats against the other beats
    /// The same for each of the beats' `BeatInputs`.
    std::array<float, kBeatInputs> accents{};
};

/// Every metre and phase among beats [from, to) with enough beats to tell, from each
/// beat's `salience` and, when given, its `BeatInputs`.
std::vector<MetreHypothesis> MetreHypotheses(const std::vector<double>& salience,
    const std::vector<std::array<float, kBeatInputs>>& inputs, std::size_t from, std::size_t to);

/// How clearly `hypothesis` shows itself under `model`: its contrast, its metre's bonus
/// and its metre's bar accent weights times its accents.
double HypothesisScore(const MetreHypothesis& hypothesis, const AnalysisModel& model);

/// The model's log-odds of a bar start for each beat from its `BeatInputs`.
std::vector<double> BarStartLogOdds(
    const std::vector<std::array<float, kBeatInputs>>& inputs, const AnalysisModel& model);

/// Bars of three beats whose low end sounds half-way through the bar rather than on its
/// second and third beats are two dotted beats (6/8 or 12/8 heard in its eighths taken
/// in pairs): `grid` then keeps each bar start and the bar's middle, in bars of two.
void GroupInDottedBeats(const TrackFeatures& features, BeatGrid& grid, BarGrid& bars);

} // namespace kalvotune::analysis
