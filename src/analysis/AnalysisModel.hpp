#pragma once

#include "analysis/BeatTracker.hpp"
#include "analysis/TrackFeatures.hpp"

#include <array>
#include <filesystem>
#include <string>
#include <vector>

namespace kalvotune::analysis {

/// Chord qualities the chord model tells apart (a seventh chord is not its upper triad).
constexpr int kQualities{7};
/// Chord states of a tick: 12 roots × the qualities, root-major (state = quality × 12 + root).
constexpr int kChordStates{12 * kQualities};
/// What the chord model sees of a tick, relative to a candidate root: the pitch-class
/// profile and the bass line of the tick and their means over the two ticks either side.
constexpr int kChordInputs{48};
/// What the bar model sees of a beat (see `BeatInputs`).
constexpr int kBeatInputs{22};
/// What the phase and octave corrections see of a whole beat grid (see `GridInputs`), a constant first.
constexpr int kGridInputs{6};
/// What the tempo choice sees of each candidate grid (see `TempoInputs`).
constexpr int kTempoInputs{14};

/// A candidate for the music's beat, made from the grid the tracker found: beats `ratio`
/// of its beats apart, the first at its beat `offset` (fractional indices in between).
/// Trackers go wrong by these ratios besides the octave: beats of two eighths where the
/// music counts three (12/8), a half bar of a fast waltz taken for the beat, eighths.
struct TempoCandidate {
    double ratio{1.0};
    double offset{};
};
constexpr std::array<TempoCandidate, 9> kTempoCandidates{{{1.0, 0.0}, {1.5, 0.0}, {1.5, 0.5}, {1.5, 1.0},
    {2.0 / 3.0, 0.0}, {2.0 / 3.0, 1.0}, {3.0, 0.0}, {3.0, 1.0}, {3.0, 2.0}}};
/// Ticks each side of a tick that the chord model sees with it.
constexpr int kChordContextTicks{2};
/// A tick quieter than this (LUFS) names no chord.
constexpr float kQuietChordLufs{-60.0f};
/// Metres the bar search considers: 2, 3, 4, 5 and 7 beats a bar.
constexpr std::array<int, 5> kModelMetres{2, 3, 4, 5, 7};

/// The decisions learned from the labelled corpus (`make train-analysis`):
/// - the chord of each tick: a multinomial logistic regression over the 84 chord states
///   whose weights are shared by the twelve roots (the inputs are turned to each root),
///   decoded by a Viterbi path that pays `changePrice` (in log-probability) for a change
///   (`liveChangePrice` where the path is decided forward only, from the sound so far);
/// - the bar start: a logistic regression on each beat's inputs (`BeatInputs`) gives the
///   beat's log-odds of starting a bar; each metre and phase is scored by the mean
///   log-odds of its bar starts against the other beats plus the metre's bonus, over the
///   track and then over each section, which keeps its own choice only when it beats the
///   track's by `sectionMargin`; to that score each metre adds its own `barAccents`
///   weights times how much each input stands out on its bar starts (the mean on them
///   against the mean on the other beats), as what marks a bar start differs between
///   metres;
/// - the grid's phase and tempo octave: two logistic regressions on `GridInputs` say
///   whether the beats found sit half a beat off the music's (they then move by half a
///   beat) and whether they run at twice its tempo (the stronger half is then kept).
struct AnalysisModel {
    std::array<std::array<float, kChordInputs>, kQualities> chordWeights{};
    std::array<float, kQualities> chordBias{};
    float changePrice{3.0f};
    float liveChangePrice{3.0f}; ///< the same for the path decided forward only, live
    std::array<float, kBeatInputs> beatWeights{};
    float beatBias{};
    std::array<float, kModelMetres.size()> metreBonus{};
    float sectionMargin{0.6f};
    /// Per metre of `kModelMetres`.
    std::array<std::array<float, kBeatInputs>, kModelMetres.size()> barAccents{};
    std::array<float, kGridInputs> shiftWeights{}; ///< all 0: the grid is left where found
    std::array<float, kTempoInputs> tempoWeights{};
    std::array<float, kGridInputs> halveWeights{};
};

/// The model as text: a header line, then one line a list of numbers, each led by its name.
std::string WriteAnalysisModel(const AnalysisModel& model);
/// Gives false with `error` saying what is wrong when `text` is not a complete model.
bool ParseAnalysisModel(const std::string& text, AnalysisModel& model, std::string& error);
/// Reads a model file; a missing or damaged file gives false with the program's message.
bool LoadAnalysisModel(const std::filesystem::path& path, AnalysisModel& model, std::string& error);

/// The model built into the program (trained from the corpus); null when its text does
/// not parse, and the analysis then keeps its hand-set decisions.
const AnalysisModel* ShippedAnalysisModel();

/// What the chord model sees of `tick`, pitch classes from C: the profile and the bass
/// line of the tick and of the five ticks around it, each scaled to its strongest class.
/// `causal` leaves out the ticks after `tick`, as the live analysis must.
void ChordProfile(
    const TrackFeatures& features, int tick, std::array<float, kChordInputs>& profile, bool causal = false);
/// The profile turned so that candidate root `root` comes first in each block of twelve.
void TurnToRoot(const std::array<float, kChordInputs>& profile, int root, std::array<float, kChordInputs>& inputs);

/// Log-probabilities of the 84 chord states at `tick` into `row` (all 0 where the sound
/// is too quiet for a chord); the context is clipped to the ticks `features` holds.
void ChordLogProbabilitiesAt(const TrackFeatures& features, int tick, const AnalysisModel& model,
    std::array<float, kChordStates>& row, bool causal = false);

/// One tick of the chord path decided forward only (the live analysis): `scores` (one per
/// state) take the tick's `row`, a change paying `changePrice`; gives the leading state.
int ChordPathStep(std::vector<double>& scores, const std::array<float, kChordStates>& row, double changePrice);

/// Log-probabilities of the 84 chord states at every tick (all 0 where the sound is too
/// quiet for a chord).
std::vector<std::array<float, kChordStates>> ChordLogProbabilities(
    const TrackFeatures& features, const AnalysisModel& model);

/// The chord state path (quality × 12 + root, or -1 where no chord sounds) that the
/// log-probabilities and the change price give.
std::vector<int> DecodeChords(const std::vector<std::array<float, kChordStates>>& logProbabilities,
    const std::vector<bool>& quiet, float changePrice);

/// Roots (C = 0) per tick of a chord state path: ticks without a chord keep the root
/// before them, ticks before the first chord take its root.
std::vector<int> RootsOfChordPath(const std::vector<int>& states);

/// Roots (C = 0) per tick from the model, as `RootsOfChordPath` gives them.
std::vector<int> LearnedRoots(const TrackFeatures& features, const AnalysisModel& model);

/// What the grid corrections see of `grid`: 1, the beat period (seconds), the mean log
/// onset and the mean rise of the low end on the beats against half-way between them,
/// and how much the even and the odd beats differ in each. The first two differences are
/// held within ±1.5: a bare click track, silent between its beats, is no more a grid at
/// twice the music's tempo than one whose beats merely stand out clearly.
std::array<float, kGridInputs> GridInputs(const TrackFeatures& features, const BeatGrid& grid);

/// The beats of `candidate` made from `grid` (whose period they multiply by its ratio).
BeatGrid Regrid(const BeatGrid& grid, const TempoCandidate& candidate);

/// What the tempo choice sees of `candidate` (a grid `Regrid` made with `choice`): which
/// ratio made it, alone and times the found grid's period in octaves from 0.5 s (each
/// ratio corrects grids of some tempi); how onsets and the rise of the low end sit on its beats
/// against half-way between them and on its even against its odd beats; the share of the chord
/// changes of `rootPerTick` that fall on its beats, and its beats per chord change in
/// octaves; how evenly its beats are spaced; how its onsets stand out from those a third
/// and two thirds of the way to the next beat.
std::array<float, kTempoInputs> TempoInputs(const TrackFeatures& features, const BeatGrid& candidate,
    const TempoCandidate& choice, const std::vector<int>& rootPerTick);

/// The strongest onset within two frames of `seconds`.
float PeakNear(const TrackFeatures& features, double seconds);

/// How strongly `beats` sound: the mean log of the onset peak on them, and of the low end
/// with `withLowEnd`.
double BeatStrength(const TrackFeatures& features, const std::vector<double>& beats, bool withLowEnd);

/// One candidate of each ratio of `kTempoCandidates` (indices into it, the grid found
/// first): of the candidates that differ only in where they start, the one whose beats
/// have the strongest onsets, as the bar's first beat has. The low end does not count
/// here: a bass on the off-beats would pull the candidate off the beat.
std::vector<std::size_t> TempoContenders(const TrackFeatures& features, const BeatGrid& grid);

/// The candidate `model` takes for the music's beat among `TempoContenders`, as an index
/// into `kTempoCandidates`.
std::size_t ChooseTempo(const TrackFeatures& features, const BeatGrid& grid, const std::vector<int>& rootPerTick,
    const AnalysisModel& model);

/// The probability a regression with `weights` gives to `inputs`.
double GridProbability(const std::array<float, kGridInputs>& weights, const std::array<float, kGridInputs>& inputs);

} // namespace kalvotune::analysis
