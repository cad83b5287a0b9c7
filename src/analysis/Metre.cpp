#include "analysis/Metre.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

namespace kalvotune::analysis {

namespace {

/// Beats at least this far apart (seconds) may be the half-time of a backbeat.
constexpr double kSlowBeat{0.45};
/// How much more the low end must rise between the beats than on them (log units).
constexpr double kBackbeatMargin{0.3};
/// Beats at least this far apart (seconds, under 67 BPM) are usually every other beat.
constexpr double kHalfSpeedBeat{0.9};
/// A rise of the low end between the beats this much above the one on them (log units)
/// puts the bar's strong beats on the bass notes even under louder chord stabs.
constexpr double kClearBackbeat{2.0};
/// Onsets between the beats at least this share of those on them make an even pulse.
constexpr double kEvenPulse{0.6};
/// Weight of a change of chord (the hue's root) on the beat: the surest sign of a bar start.
constexpr double kChordWeight{2.0};
/// How common each metre of `kModelMetres` is: near-ties go to 4 and 3 beats, and the rare
/// 5 and 7, whose fewer bar starts show a contrast by chance more easily, must show it
/// clearly.
constexpr std::array<double, kModelMetres.size()> kMetreBonus{0.0, 0.05, 0.1, -0.25, -0.5};
/// A bar of three beats is two dotted beats when the low end rises this much more (log
/// units, on average) half-way through it than on its second and third beats.
constexpr double kDottedBassMargin{0.6};
/// Fewer bars of three than this say too little about how they divide.
constexpr int kFewestDottedBars{8};
/// A section keeps its own metre or phase only when its contrast beats the track's by this.
constexpr double kSectionMargin{0.6};
/// Fewer beats than this in a section say too little about its bars: by chance alone
/// some metre and phase stands out in a few dozen beats.
constexpr int kFewestSectionBeats{48};

int TickOf(double seconds)
{
    return static_cast<int>(std::lround(seconds * 10.0));
}

/// `ZScore` finds the mean and spread of the bulk of the values in this many rounds,
/// each over the values within `kInlierSpreads` spreads of the last round's mean.
constexpr int kSpreadRounds{3};
constexpr double kInlierSpreads{3.0};

void ZScore(std::vector<double>& v)
{
    if (v.empty())
        return;
    // The mean and spread of the values within `kInlierSpreads` spreads of the mean, found
    // again from those a few times: a few beats in silence (the log of no onset at all)
    // would otherwise widen the spread until all the other beats look alike.
    double mean{}, spread{std::numeric_limits<double>::infinity()};
    for (int round = 0; round < kSpreadRounds; ++round) {
        const auto inlier = [&](double x) { return std::abs(x - mean) <= kInlierSpreads * spread; };
        double sum{}, squares{};
        int n{};
        for (const double x : v)
            if (inlier(x)) {
                sum += x;
                ++n;
            }
        if (n == 0)
            break;
        const double m{sum / n};
        for (const double x : v)
            if (inlier(x))
                squares += (x - m) * (x - m);
        const double s{std::sqrt(squares / n)};
        // Values nearly all alike but for a few (a chord change on few beats) keep the
        // spread of all of them.
        if (round > 0 && s <= 1e-12)
            break;
        mean = m;
        spread = s;
    }
    // Clipped, so a few beats in a rest or on a crash cannot outweigh all the others.
    for (double& x : v)
        x = spread > 1e-12 ? std::clamp((x - mean) / spread, -2.0, 2.0) : 0.0;
}

double BassRise(const TrackFeatures& f, int tick);

/// What each beat shows of a bar start, z-scored over the track: harmony moved, bass
/// line moved, low end, onset, chord change, rise of the low end (a bass note), loudness,
/// onset half-way to the next beat, and how the harmony and the bass line of the two beats
/// from it differ from those of the two beats before it.
constexpr int kBeatMeasures{10};
/// Beats each side that the harmony of a beat is set against.
constexpr std::size_t kHarmonicSpan{2};
/// The first this many measures are also set against the beats either side and against
/// those two beats away.
constexpr int kContrastedMeasures{6};
static_assert(kBeatMeasures + 2 * kContrastedMeasures == kBeatInputs);
std::vector<std::array<double, kBeatMeasures>> BeatMeasures(
    const TrackFeatures& f, const BeatGrid& grid, const std::vector<int>& roots)
{
    const std::size_t beats{grid.beats.size()};
    const int ticks{f.Ticks()};
    std::vector<double> harmony(beats), bass(beats), low(beats), onset(beats), chord(beats), rise(beats), loud(beats),
        off(beats), harmonyTurn(beats), bassTurn(beats);
    std::array<double, 12> chromaBefore{}, bassBefore{};
    std::vector<std::array<double, 12>> chromaOf(beats), lineOf(beats);
    for (std::size_t i = 0; i < beats; ++i) {
        const int from{std::clamp(TickOf(grid.beats[i]), 0, ticks - 1)};
        const int to{std::clamp(i + 1 < beats ? TickOf(grid.beats[i + 1]) : from + 5, from + 1, ticks)};
        std::array<double, 12> chroma{}, line{};
        double chromaSum{}, lineSum{}, energy{};
        for (int t = from; t < to; ++t)
            for (std::size_t c = 0; c < 12; ++c) {
                chroma[c] += f.chroma[static_cast<std::size_t>(t)][c];
                line[c] += f.bassChroma[static_cast<std::size_t>(t)][c];
            }
        for (std::size_t c = 0; c < 12; ++c) {
            chromaSum += chroma[c];
            lineSum += line[c];
        }
        for (int t = from; t < std::min(to, from + 2); ++t)
            energy += f.bassEnergy[static_cast<std::size_t>(t)];
        double moved{}, bassMoved{};
        for (std::size_t c = 0; c < 12; ++c) {
            chroma[c] = chromaSum > 1e-9 ? chroma[c] / chromaSum : 0.0;
            line[c] = lineSum > 1e-9 ? line[c] / lineSum : 0.0;
            moved += std::abs(chroma[c] - chromaBefore[c]);
            bassMoved += std::abs(line[c] - bassBefore[c]);
        }
        chromaBefore = chromaOf[i] = chroma;
        bassBefore = lineOf[i] = line;
        harmony[i] = i > 0 ? moved : 0.0;
        bass[i] = i > 0 ? bassMoved : 0.0;
        low[i] = std::log(1e-6 + energy);
        onset[i] = std::log(1e-6 + PeakNear(f, grid.beats[i]));
        // A new chord within a tick of the beat.
        const auto rootAt = [&](int t) { return roots[static_cast<std::size_t>(std::clamp(t, 0, ticks - 1))]; };
        chord[i] = rootAt(from + 1) != rootAt(from - 2) ? 1.0 : 0.0;
        rise[i] = BassRise(f, from);
        loud[i] = f.loudness[static_cast<std::size_t>(from)];
        const double gap{i + 1 < beats ? grid.beats[i + 1] - grid.beats[i] : grid.period};
        off[i] = std::log(1e-6 + PeakNear(f, grid.beats[i] + gap / 2));
    }
    // The harmony turns where a chord that held for some beats gives way to another,
    // even when the new chord's own stab comes a beat after its bass note.
    const auto turn = [&](const std::vector<std::array<double, 12>>& of, std::size_t i) {
        if (i < kHarmonicSpan || i + kHarmonicSpan > beats)
            return 0.0;
        double distance{};
        for (std::size_t c = 0; c < 12; ++c) {
            double before{}, after{};
            for (std::size_t d = 0; d < kHarmonicSpan; ++d) {
                before += of[i - 1 - d][c];
                after += of[i + d][c];
            }
            distance += std::abs(after - before);
        }
        return distance / kHarmonicSpan;
    };
    for (std::size_t i = 0; i < beats; ++i) {
        harmonyTurn[i] = turn(chromaOf, i);
        bassTurn[i] = turn(lineOf, i);
    }
    std::vector<std::array<double, kBeatMeasures>> measures(beats);
    std::size_t k{};
    for (std::vector<double>* v :
        {&harmony, &bass, &low, &onset, &chord, &rise, &loud, &off, &harmonyTurn, &bassTurn}) {
        ZScore(*v);
        for (std::size_t i = 0; i < beats; ++i)
            measures[i][k] = (*v)[i];
        ++k;
    }
    return measures;
}

/// How much each beat sounds like the start of a bar, by hand-set weights.
std::vector<double> Salience(const TrackFeatures& f, const BeatGrid& grid, const std::vector<int>& roots)
{
    const auto measures{BeatMeasures(f, grid, roots)};
    std::vector<double> salience(measures.size());
    for (std::size_t i = 0; i < measures.size(); ++i) {
        const auto& m{measures[i]};
        salience[i] = m[0] + 0.7 * m[1] + 0.5 * m[2] + 0.4 * m[3] + kChordWeight * m[4];
    }
    return salience;
}

/// The longest bar of `kModelMetres`.
constexpr int kLongestMetre{*std::max_element(kModelMetres.begin(), kModelMetres.end())};

struct Choice {
    int metre{4};
    int phase{0}; ///< index of the first bar start, counted from beat 0 of the track
    double score{-1e9};
};

/// How clearly `hypothesis` shows itself: under the hand-set decisions its contrast and
/// its metre's bonus.
double Score(const MetreHypothesis& hypothesis, const AnalysisModel* model)
{
    return model ? HypothesisScore(hypothesis, *model) : hypothesis.contrast + kMetreBonus[hypothesis.metre];
}

/// The metre and phase of `hypotheses` that show themselves most clearly.
Choice Best(const std::vector<MetreHypothesis>& hypotheses, const AnalysisModel* model)
{
    Choice best;
    for (const MetreHypothesis& h : hypotheses) {
        const double score{Score(h, model)};
        if (score > best.score + 1e-12)
            best = {kModelMetres[h.metre], h.phase, score};
    }
    return best;
}

/// Rise of the low end (below 150 Hz) at `tick`, in natural-log units.
double BassRise(const TrackFeatures& f, int tick)
{
    if (tick <= 0 || tick >= f.Ticks())
        return 0;
    // The rise over the tick and the one after, so a note between two ticks still counts.
    const auto at
        = [&](int t) { return std::log(1e-6 + f.bassEnergy[static_cast<std::size_t>(std::min(t, f.Ticks() - 1))]); };
    return std::max(at(tick) - at(tick - 1), at(tick + 1) - at(tick - 1));
}

} // namespace

void SettleOnBassNotes(const TrackFeatures& features, BeatGrid& grid)
{
    if (grid.period < kSlowBeat || grid.beats.size() < 8)
        return;
    double onBeats{}, between{};
    for (std::size_t i = 0; i + 1 < grid.beats.size(); ++i) {
        onBeats += BassRise(features, TickOf(grid.beats[i]));
        between += BassRise(features, TickOf(0.5 * (grid.beats[i] + grid.beats[i + 1])));
    }
    const auto pairs = static_cast<double>(grid.beats.size() - 1);
    if (between / pairs < onBeats / pairs + kBackbeatMargin)
        return;
    // Only when the beats divide in two: in a compound metre the middle of a dotted beat
    // holds no note, and the low end between them rises on the later eighths.
    // And only when the notes between the beats sound as strongly as those on them, as
    // in a pulse the tracker took at half speed: an accompaniment between clearly
    // stronger beats stays between them. A grid slower than `kHalfSpeedBeat` is itself
    // every other beat of the music; when the bass plainly sounds between its beats and
    // not on them (an oom-pah whose chord stabs are louder than its bass notes), the bass
    // notes are the strong beats of the bar.
    double halves{}, thirds{}, beats{};
    for (std::size_t i = 0; i + 1 < grid.beats.size(); ++i) {
        const double a{grid.beats[i]}, gap{grid.beats[i + 1] - grid.beats[i]};
        beats += PeakNear(features, a);
        halves += PeakNear(features, a + gap / 2);
        thirds += 0.5 * (PeakNear(features, a + gap / 3) + PeakNear(features, a + 2 * gap / 3));
    }
    if (halves <= thirds
        || (halves < kEvenPulse * beats
            && (grid.period < kHalfSpeedBeat || between < onBeats + kClearBackbeat * pairs)))
        return;
    std::vector<double> moved;
    for (std::size_t i = 0; i + 1 < grid.beats.size(); ++i)
        moved.push_back(0.5 * (grid.beats[i] + grid.beats[i + 1]));
    const double last{grid.beats.back() + 0.5 * (grid.beats.back() - grid.beats[grid.beats.size() - 2])};
    if (TickOf(last) < features.Ticks())
        moved.push_back(last);
    grid.beats = std::move(moved);
}

void GroupInDottedBeats(const TrackFeatures& features, BeatGrid& grid, BarGrid& bars)
{
    const std::size_t beats{grid.beats.size()};
    const auto fullBarOfThree = [&](std::size_t i) {
        return i + 2 < beats && bars.beatsPerBar[i] == 3 && bars.position[i] == 0 && bars.position[i + 2] == 2;
    };
    double middle{}, sides{};
    int counted{};
    for (std::size_t i = 0; i < beats; ++i)
        if (fullBarOfThree(i)) {
            const double second{grid.beats[i + 1]}, third{grid.beats[i + 2]};
            middle += BassRise(features, TickOf(0.5 * (second + third)));
            sides += 0.5 * (BassRise(features, TickOf(second)) + BassRise(features, TickOf(third)));
            ++counted;
        }
    if (counted < kFewestDottedBars || middle - sides < kDottedBassMargin * counted)
        return;
    BeatGrid regrouped{.period = grid.period, .beats = {}};
    BarGrid regroupedBars;
    const auto keep = [&](double at, int metre, int position) {
        regrouped.beats.push_back(at);
        regroupedBars.beatsPerBar.push_back(metre);
        regroupedBars.position.push_back(position);
    };
    std::size_t inDottedBars{};
    for (std::size_t i = 0; i < beats;)
        if (fullBarOfThree(i)) {
            keep(grid.beats[i], 2, 0);
            keep(0.5 * (grid.beats[i + 1] + grid.beats[i + 2]), 2, 1);
            inDottedBars += 3;
            i += 3;
        } else {
            keep(grid.beats[i], bars.beatsPerBar[i], bars.position[i]);
            ++i;
        }
    // The beat is now the dotted one where most of the track is counted in it.
    if (inDottedBars * 2 > beats)
        regrouped.period *= 1.5;
    grid = std::move(regrouped);
    bars = std::move(regroupedBars);
}

std::vector<std::array<float, kBeatInputs>> BeatInputs(
    const TrackFeatures& features, const BeatGrid& grid, const std::vector<int>& rootPerTick)
{
    const auto measures{BeatMeasures(features, grid, rootPerTick)};
    const std::size_t beats{measures.size()};
    std::vector<std::array<float, kBeatInputs>> inputs(beats);
    for (std::size_t i = 0; i < beats; ++i)
        for (std::size_t k = 0; k < kBeatMeasures; ++k) {
            inputs[i][k] = static_cast<float>(measures[i][k]);
            // Against the beats either side: a bar start stands out from its neighbours;
            // and against those two beats away: the bar's first beat from its third.
            if (k < kContrastedMeasures)
                for (std::size_t d = 1; d <= 2; ++d) {
                    const double before{i >= d ? measures[i - d][k] : measures[i][k]};
                    const double after{i + d < beats ? measures[i + d][k] : measures[i][k]};
                    inputs[i][kBeatMeasures + (d - 1) * kContrastedMeasures + k]
                        = static_cast<float>(measures[i][k] - 0.5 * (before + after));
                }
        }
    return inputs;
}

std::vector<MetreHypothesis> MetreHypotheses(const std::vector<double>& salience,
    const std::vector<std::array<float, kBeatInputs>>& inputs, std::size_t from, std::size_t to)
{
    std::vector<MetreHypothesis> hypotheses;
    to = std::min(to, salience.size());
    // Totals over all beats, then by beat index modulo each metre.
    double total{};
    std::array<double, kBeatInputs> inputTotal{};
    for (std::size_t i = from; i < to; ++i) {
        total += salience[i];
        if (i < inputs.size())
            for (std::size_t k = 0; k < kBeatInputs; ++k)
                inputTotal[k] += inputs[i][k];
    }
    const int all{static_cast<int>(to > from ? to - from : 0)};
    for (std::size_t m = 0; m < kModelMetres.size(); ++m) {
        const int metre{kModelMetres[m]};
        std::array<double, kLongestMetre> salienceSum{};
        std::array<int, kLongestMetre> count{};
        std::array<std::array<double, kBeatInputs>, kLongestMetre> inputSum{};
        for (std::size_t i = from; i < to; ++i) {
            const auto residue{static_cast<std::size_t>(static_cast<int>(i) % metre)};
            salienceSum[residue] += salience[i];
            ++count[residue];
            if (i < inputs.size())
                for (std::size_t k = 0; k < kBeatInputs; ++k)
                    inputSum[residue][k] += inputs[i][k];
        }
        for (int phase = 0; phase < metre; ++phase) {
            const auto on{static_cast<std::size_t>(phase)};
            const int onCount{count[on]}, offCount{all - count[on]};
            if (onCount < 2 || offCount < 1)
                continue;
            MetreHypothesis h{.metre = m, .phase = phase, .contrast = 0.0, .accents = {}};
            h.contrast = salienceSum[on] / onCount - (total - salienceSum[on]) / offCount;
            for (std::size_t k = 0; k < kBeatInputs; ++k)
                h.accents[k]
                    = static_cast<float>(inputSum[on][k] / onCount - (inputTotal[k] - inputSum[on][k]) / offCount);
            hypotheses.push_back(h);
        }
    }
    return hypotheses;
}

double HypothesisScore(const MetreHypothesis& hypothesis, const AnalysisModel& model)
{
    double score{hypothesis.contrast + model.metreBonus[hypothesis.metre]};
    for (std::size_t k = 0; k < kBeatInputs; ++k)
        score += static_cast<double>(model.barAccents[hypothesis.metre][k]) * hypothesis.accents[k];
    return score;
}

std::vector<double> BarStartLogOdds(
    const std::vector<std::array<float, kBeatInputs>>& inputs, const AnalysisModel& model)
{
    std::vector<double> logOdds;
    logOdds.reserve(inputs.size());
    for (const auto& in : inputs) {
        double s{model.beatBias};
        for (std::size_t k = 0; k < kBeatInputs; ++k)
            s += static_cast<double>(model.beatWeights[k]) * in[k];
        logOdds.push_back(s);
    }
    return logOdds;
}

BarGrid FindBars(const TrackFeatures& features, const BeatGrid& grid, const std::vector<int>& sectionTicks,
    const std::vector<int>& rootPerTick, const AnalysisModel* model)
{
    BarGrid bars;
    const std::size_t beats{grid.beats.size()};
    if (beats == 0 || features.Ticks() == 0)
        return bars;
    std::vector<std::array<float, kBeatInputs>> inputs;
    std::vector<double> salience;
    if (model) {
        inputs = BeatInputs(features, grid, rootPerTick);
        salience = BarStartLogOdds(inputs, *model);
    } else
        salience = Salience(features, grid, rootPerTick);
    const double sectionMargin{model ? static_cast<double>(model->sectionMargin) : kSectionMargin};
    const Choice track{Best(MetreHypotheses(salience, inputs, 0, beats), model)};

    // Sections as beat ranges.
    std::vector<std::size_t> starts{0};
    for (const int tick : sectionTicks) {
        std::size_t i{starts.back()};
        while (i < beats && TickOf(grid.beats[i]) < tick)
            ++i;
        if (i > starts.back() && i < beats)
            starts.push_back(i);
    }
    starts.push_back(beats);
    bars.beatsPerBar.assign(beats, track.metre);
    bars.position.assign(beats, 0);
    for (std::size_t s = 0; s + 1 < starts.size(); ++s) {
        const std::size_t from{starts[s]}, to{starts[s + 1]};
        Choice here{track};
        if (to - from >= static_cast<std::size_t>(kFewestSectionBeats) && starts.size() > 2) {
            const std::vector<MetreHypothesis> hypotheses{MetreHypotheses(salience, inputs, from, to)};
            const Choice own{Best(hypotheses, model)};
            // The track's choice measured on this section alone.
            double kept{-1e9};
            for (const MetreHypothesis& h : hypotheses)
                if (kModelMetres[h.metre] == track.metre && h.phase == track.phase)
                    kept = Score(h, model);
            if (own.score > kept + sectionMargin)
                here = own;
        }
        for (std::size_t i = from; i < to; ++i) {
            bars.beatsPerBar[i] = here.metre;
            bars.position[i] = ((static_cast<int>(i) - here.phase) % here.metre + here.metre) % here.metre;
        }
    }
    bars.salience = std::move(salience);
    return bars;
}

} // namespace kalvotune::analysis
