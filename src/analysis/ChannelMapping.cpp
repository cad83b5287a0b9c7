#include "analysis/ChannelMapping.hpp"

#include "analysis/Metre.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <iterator>

namespace kalvotune::analysis {

namespace {

constexpr int kTopSpeed{20};
constexpr int kMarker{kPictureChangeMarker};
constexpr int kDensityHalfSpan{10}; // ticks each side: onset density over 2 s
constexpr double kFullDensity{8.0}; // onsets a second
constexpr float kQuietLufs{-60.0f}; // below this a tick has no chord
constexpr float kTailDepth{24.0f}; // markers stop this far below the loud passages

/// How a chord path weighs the bass and holds its chords.
struct ChordPath {
    double bassWeight; ///< how much the bass note decides the root
    double noChordFit; ///< a triad must fit better than this to be heard
    double changePrice; ///< what a change of chord costs the path
};
/// The hue follows the chord of each tick: the bass decides less and a new chord is taken
/// sooner, which names the sounding triad more often on rendered scores
/// (`make eval-analysis`) than the bar search's weights do.
constexpr ChordPath kHueChords{0.2, 0.6, 0.6};
/// The bar search weighs where harmony moves: bass-led, slow to change.
constexpr ChordPath kBarChords{0.35, 0.72, 0.8};
constexpr int kSectionHalfSpan{40}; // 4 s each side
constexpr int kSectionSpacing{80}; // 8 s
constexpr double kSectionThreshold{0.45};

double LoudnessLevel(float lufs)
{
    return std::clamp((static_cast<double>(lufs) + 50.0) / 40.0, 0.0, 1.0);
}

std::vector<double> Activity(const TrackFeatures& f, std::vector<double>& density)
{
    const int ticks{f.Ticks()};
    std::vector<int> prefix(static_cast<std::size_t>(ticks) + 1, 0);
    for (int t = 0; t < ticks; ++t)
        prefix[static_cast<std::size_t>(t) + 1]
            = prefix[static_cast<std::size_t>(t)] + f.onsets[static_cast<std::size_t>(t)];
    std::vector<double> activity(static_cast<std::size_t>(ticks));
    density.assign(static_cast<std::size_t>(ticks), 0.0);
    for (int t = 0; t < ticks; ++t) {
        const int from{std::max(0, t - kDensityHalfSpan)}, to{std::min(ticks, t + kDensityHalfSpan + 1)};
        const double perSecond{
            10.0 * (prefix[static_cast<std::size_t>(to)] - prefix[static_cast<std::size_t>(from)]) / (to - from)};
        density[static_cast<std::size_t>(t)] = OnsetDensity(perSecond);
        activity[static_cast<std::size_t>(t)]
            = ActivityOf(density[static_cast<std::size_t>(t)], f.loudness[static_cast<std::size_t>(t)]);
    }
    return activity;
}

/// How well each of the 24 major and minor triads and "no chord" fit one tick.
std::array<double, kTriadStates> ChordFits(
    const std::array<float, 12>& x, const std::array<float, 12>& b, float lufs, const ChordPath& path)
{
    constexpr int kChords{24}, kNoChord{24};
    double norm{}, bassTop{};
    for (int c = 0; c < 12; ++c) {
        norm += static_cast<double>(x[static_cast<std::size_t>(c)]) * x[static_cast<std::size_t>(c)];
        bassTop = std::max(bassTop, static_cast<double>(b[static_cast<std::size_t>(c)]));
    }
    norm = std::sqrt(norm);
    std::array<double, kTriadStates> row{};
    const bool quiet{lufs < kQuietLufs || norm < 1e-6};
    for (int s = 0; s < kChords; ++s) {
        const int root{s % 12}, third{s < 12 ? 4 : 3};
        const auto at = [&](int k) { return static_cast<double>(x[static_cast<std::size_t>((root + k) % 12)]); };
        const auto low
            = [&](int k) { return bassTop > 1e-9 ? b[static_cast<std::size_t>((root + k) % 12)] / bassTop : 0.0; };
        row[static_cast<std::size_t>(s)] = quiet ? 0.0
                                                 : (at(0) + at(third) + at(7)) / (std::sqrt(3.0) * norm)
                + path.bassWeight * (low(0) + 0.3 * std::max(low(third), low(7)));
    }
    row[kNoChord] = quiet ? 1.0 : path.noChordFit;
    return row;
}

/// Chord root per tick: each tick's pitch-class profile and bass line are compared with
/// the 24 major and minor triads and "no chord"; a Viterbi path through them, with a price
/// on every change, keeps one chord until the music clearly moves to another, so the hue
/// holds still within a chord. Ticks without a chord keep the root before them.
std::vector<int> Roots(const TrackFeatures& f, const std::vector<std::array<float, 12>>& chroma,
    const std::vector<std::array<float, 12>>& bassChroma, const ChordPath& path)
{
    const int ticks{f.Ticks()};
    constexpr int kStates{kTriadStates}, kNoChord{kTriadStates - 1};
    std::vector<std::array<double, kStates>> fit(static_cast<std::size_t>(ticks));
    for (int t = 0; t < ticks; ++t) {
        fit[static_cast<std::size_t>(t)] = ChordFits(chroma[static_cast<std::size_t>(t)],
            bassChroma[static_cast<std::size_t>(t)], f.loudness[static_cast<std::size_t>(t)], path);
    }

    std::vector<double> score(kStates, 0.0), next(kStates);
    std::vector<std::array<std::uint8_t, kStates>> from(static_cast<std::size_t>(ticks));
    for (int t = 0; t < ticks; ++t) {
        int bestState{0};
        for (int s = 1; s < kStates; ++s)
            if (score[static_cast<std::size_t>(s)] > score[static_cast<std::size_t>(bestState)])
                bestState = s;
        for (int s = 0; s < kStates; ++s) {
            const double stay{score[static_cast<std::size_t>(s)]};
            const double change{score[static_cast<std::size_t>(bestState)] - path.changePrice};
            const bool changes{change > stay};
            from[static_cast<std::size_t>(t)][static_cast<std::size_t>(s)]
                = static_cast<std::uint8_t>(changes ? bestState : s);
            next[static_cast<std::size_t>(s)]
                = (changes ? change : stay) + fit[static_cast<std::size_t>(t)][static_cast<std::size_t>(s)];
        }
        score.swap(next);
    }
    std::vector<int> states(static_cast<std::size_t>(ticks), kNoChord);
    if (ticks > 0) {
        int s{0};
        for (int k = 1; k < kStates; ++k)
            if (score[static_cast<std::size_t>(k)] > score[static_cast<std::size_t>(s)])
                s = k;
        for (int t = ticks - 1; t >= 0; --t) {
            states[static_cast<std::size_t>(t)] = s;
            s = from[static_cast<std::size_t>(t)][static_cast<std::size_t>(s)];
        }
    }
    // Ticks before the first chord take its root; later ticks without one keep the last.
    int root{0};
    for (const int s : states)
        if (s != kNoChord) {
            root = s % 12;
            break;
        }
    std::vector<int> roots(static_cast<std::size_t>(ticks));
    for (int t = 0; t < ticks; ++t) {
        if (states[static_cast<std::size_t>(t)] != kNoChord)
            root = states[static_cast<std::size_t>(t)] % 12;
        roots[static_cast<std::size_t>(t)] = root;
    }
    return roots;
}

std::vector<int> Sections(const TrackFeatures& f, const std::vector<double>& density)
{
    const int ticks{f.Ticks()};
    std::vector<double> novelty(static_cast<std::size_t>(ticks), 0.0);
    const auto meanOver = [&](int from, int to, double& loud, double& busy, std::array<double, 12>& chroma) {
        loud = busy = 0;
        chroma.fill(0);
        for (int t = from; t < to; ++t) {
            loud += LoudnessLevel(f.loudness[static_cast<std::size_t>(t)]);
            busy += density[static_cast<std::size_t>(t)];
            for (int c = 0; c < 12; ++c)
                chroma[static_cast<std::size_t>(c)]
                    += f.chroma[static_cast<std::size_t>(t)][static_cast<std::size_t>(c)];
        }
        loud /= to - from;
        busy /= to - from;
        double total{};
        for (const double v : chroma)
            total += v;
        for (double& v : chroma)
            v = total > 1e-9 ? v / total : 0.0;
    };
    for (int t = kSectionHalfSpan; t + kSectionHalfSpan <= ticks; ++t) {
        double loudA{}, busyA{}, loudB{}, busyB{};
        std::array<double, 12> a{}, b{};
        meanOver(t - kSectionHalfSpan, t, loudA, busyA, a);
        meanOver(t, t + kSectionHalfSpan, loudB, busyB, b);
        double harmony{};
        for (int c = 0; c < 12; ++c)
            harmony += std::abs(a[static_cast<std::size_t>(c)] - b[static_cast<std::size_t>(c)]);
        novelty[static_cast<std::size_t>(t)] = 2.0 * std::abs(loudA - loudB) + std::abs(busyA - busyB) + 0.5 * harmony;
    }
    std::vector<int> sections;
    for (int t = 0; t < ticks; ++t) {
        const double v{novelty[static_cast<std::size_t>(t)]};
        if (v < kSectionThreshold)
            continue;
        bool peak{true};
        for (int u = std::max(0, t - kSectionHalfSpan); u < std::min(ticks, t + kSectionHalfSpan + 1) && peak; ++u)
            peak = novelty[static_cast<std::size_t>(u)] < v || (novelty[static_cast<std::size_t>(u)] == v && u >= t);
        if (peak && (sections.empty() || t - sections.back() >= kSectionSpacing))
            sections.push_back(t);
    }
    return sections;
}

int TickOf(double seconds)
{
    return static_cast<int>(std::lround(seconds * 10.0));
}

} // namespace

/// Beats a marker spans for bars of `metre` beats of `period` seconds: the smallest
/// division of the bar (or whole number of bars, doubling) at least `spacing` ticks long.
int BeatsPerMarker(int metre, double period, int spacing)
{
    // Allow 3% slack so a bar of exactly the slider's span still counts as long enough.
    const auto longEnough = [&](int k) { return k * period * 10.0 >= spacing * 0.97; };
    for (int k = 1; k < metre; ++k)
        if (metre % k == 0 && longEnough(k))
            return k;
    int k{metre};
    while (k < 8 * metre && !longEnough(k))
        k *= 2;
    return k;
}

namespace {

std::array<std::uint8_t, 3> HueToRgb(int root, double value)
{
    // Full saturation: one of the six sextants of the colour wheel, 30° per pitch class.
    const double h{std::fmod(root * 30.0, 360.0) / 60.0};
    const int sextant{static_cast<int>(h)};
    const double f{h - sextant};
    const double v{value * 255.0};
    double r{}, g{}, b{};
    switch (sextant) {
    case 0:
        r = v, g = v * f, b = 0;
        break;
    case 1:
        r = v * (1 - f), g = v, b = 0;
        break;
    case 2:
        r = 0, g = v, b = v * f;
        break;
    case 3:
        r = 0, g = v * (1 - f), b = v;
        break;
    case 4:
        r = v * f, g = 0, b = v;
        break;
    default:
        r = v, g = 0, b = v * (1 - f);
        break;
    }
    const auto even = [](double x) { return static_cast<std::uint8_t>(static_cast<int>(std::lround(x)) & ~1); };
    return {even(r), even(g), even(b)};
}

} // namespace

double OnsetDensity(double onsetsPerSecond)
{
    return std::min(1.0, onsetsPerSecond / kFullDensity);
}

double ActivityOf(double density, float lufs)
{
    return 0.6 * density + 0.4 * LoudnessLevel(lufs);
}

std::uint8_t SpeedByteOf(double activity)
{
    return static_cast<std::uint8_t>(std::clamp(static_cast<int>(std::lround(activity * kTopSpeed)), 0, kTopSpeed));
}

std::array<std::uint8_t, 3> ColourOf(int root, float lufs)
{
    return HueToRgb(root, 0.25 + 0.75 * LoudnessLevel(lufs));
}

std::array<double, kTriadStates> HueChordFits(
    const std::array<float, 12>& chroma, const std::array<float, 12>& bassChroma, float lufs)
{
    return ChordFits(chroma, bassChroma, lufs, kHueChords);
}

double HueChordChangePrice()
{
    return kHueChords.changePrice;
}

void CorrectGrid(
    const TrackFeatures& features, const AnalysisModel& model, const std::vector<int>& rootPerTick, BeatGrid& grid)
{
    if (grid.period <= 0 || grid.beats.size() < 8)
        return;
    if (GridProbability(model.shiftWeights, GridInputs(features, grid)) > 0.5) {
        std::vector<double> moved;
        for (std::size_t i = 0; i + 1 < grid.beats.size(); ++i)
            moved.push_back(0.5 * (grid.beats[i] + grid.beats[i + 1]));
        grid.beats = std::move(moved);
    }
    const std::size_t tempo{ChooseTempo(features, grid, rootPerTick, model)};
    if (tempo != 0)
        grid = Regrid(grid, kTempoCandidates[tempo]);
    if (GridProbability(model.halveWeights, GridInputs(features, grid)) <= 0.5)
        return;
    // Of the even and the odd beats, the half whose onsets and low end are stronger.
    std::array<std::vector<double>, 2> halves;
    for (std::size_t i = 0; i < grid.beats.size(); ++i)
        halves[i % 2].push_back(grid.beats[i]);
    std::vector<double> kept{
        std::move(halves[BeatStrength(features, halves[1], true) > BeatStrength(features, halves[0], true) ? 1 : 0])};
    grid.beats = std::move(kept);
    grid.period *= 2;
}

ChannelPlan MapToChannels(
    const TrackFeatures& features, BeatGrid grid, int pictureChangeTicks, const AnalysisModel* model)
{
    ChannelPlan plan;
    const int ticks{features.Ticks()};
    plan.channels.Reset(ticks);
    if (ticks == 0)
        return plan;
    const int spacing{std::max(1, pictureChangeTicks)};

    std::vector<double> density;
    const std::vector<double> activity{Activity(features, density)};
    // The hue names the chord sounding during each tick; the bar search weighs chord
    // changes against the other features of a beat, all taken with windows that end with
    // their tick.
    plan.rootPerTick = model ? LearnedRoots(features, *model)
                             : Roots(features, features.centredChroma, features.centredBassChroma, kHueChords);
    plan.sectionTicks = Sections(features, density);

    std::vector<int> beatMarkers, barStarts;
    if (grid.period > 0 && !grid.beats.empty()) {
        if (model)
            CorrectGrid(features, *model, plan.rootPerTick, grid);
        BarGrid bars{FindBars(features, grid, plan.sectionTicks,
            model ? plan.rootPerTick : Roots(features, features.chroma, features.bassChroma, kBarChords), model)};
        GroupInDottedBeats(features, grid, bars);
        plan.beatsPerBar = bars.beatsPerBar.front();
        plan.period = grid.period;
        plan.beatsPerMarker = BeatsPerMarker(plan.beatsPerBar, grid.period, spacing);
        // Markers fall on divisions of the bar, or on every second, fourth… bar start,
        // counted from the first bar of each run of one metre.
        int bar{-1};
        for (std::size_t i = 0; i < grid.beats.size(); ++i) {
            const int metre{bars.beatsPerBar[i]}, position{bars.position[i]};
            if (i > 0 && metre != bars.beatsPerBar[i - 1])
                bar = -1;
            if (position == 0) {
                ++bar;
                barStarts.push_back(TickOf(grid.beats[i]));
            }
            const int k{BeatsPerMarker(metre, grid.period, spacing)};
            if (k <= metre ? position % k == 0 : position == 0 && bar % (k / metre) == 0)
                beatMarkers.push_back(TickOf(grid.beats[i]));
        }
    }

    // A new section begins on a bar start: a change found from 4 s of sound each side
    // moves to the nearest bar start within a bar of it (one that has a beat marker, when
    // markers are thinned to every second or fourth bar, so the count of bars holds),
    // or else to the nearest beat.
    if (!barStarts.empty()) {
        const int barTicks{std::max(1, TickOf(plan.beatsPerBar * grid.period))};
        const int beatTicks{std::max(1, TickOf(grid.period))};
        const auto nearest = [](const std::vector<int>& sorted, int tick) {
            const auto it = std::lower_bound(sorted.begin(), sorted.end(), tick);
            if (it == sorted.end())
                return sorted.back();
            if (it == sorted.begin() || *it - tick < tick - *(it - 1))
                return *it;
            return *(it - 1);
        };
        std::vector<int> beatTicksAll;
        for (const double b : grid.beats)
            beatTicksAll.push_back(TickOf(b));
        std::vector<int> markedBars;
        std::set_intersection(
            barStarts.begin(), barStarts.end(), beatMarkers.begin(), beatMarkers.end(), std::back_inserter(markedBars));
        for (int& tick : plan.sectionTicks) {
            const int bar{nearest(barStarts, tick)}, beat{nearest(beatTicksAll, tick)};
            const int marked{markedBars.empty() ? -ticks : nearest(markedBars, tick)};
            if (std::abs(marked - tick) <= barTicks)
                tick = marked;
            else if (std::abs(bar - tick) <= barTicks)
                tick = bar;
            else if (std::abs(beat - tick) <= beatTicks)
                tick = beat;
            tick = std::clamp(tick, 0, ticks - 1);
        }
        plan.sectionTicks.erase(
            std::unique(plan.sectionTicks.begin(), plan.sectionTicks.end()), plan.sectionTicks.end());
    }

    // Section changes always get a marker; beat markers keep their distance from every
    // marker kept. Two beat markers in a row span the beats `BeatsPerMarker` found long
    // enough, but rounded to ticks they may come a tick closer; they still both count. A
    // beat too close to the last marker gets none: a picture change comes with its beat
    // or not at all, never a tick or two after it.
    std::vector<int> markers;
    std::size_t nextSection{};
    int last{-spacing};
    std::size_t lastBeatMarker{beatMarkers.size()}; ///< the last marker's, when it was a beat marker
    const auto placeSection = [&](int tick) {
        // On the beat marker after the last one, it is that beat's marker.
        const bool nextBeat{lastBeatMarker + 1 < beatMarkers.size() && beatMarkers[lastBeatMarker + 1] == tick};
        while (!markers.empty() && tick - markers.back() < (nextBeat ? spacing - 1 : spacing))
            markers.pop_back();
        markers.push_back(tick);
        last = tick;
        lastBeatMarker = beatMarkers.size();
    };
    for (std::size_t i = 0; i < beatMarkers.size(); ++i) {
        const int beat{beatMarkers[i]};
        while (nextSection < plan.sectionTicks.size() && plan.sectionTicks[nextSection] <= beat + spacing / 2)
            placeSection(plan.sectionTicks[nextSection++]);
        if (beat >= ticks)
            break;
        const int gap{beat - last};
        if (gap == 0) // a section change on this beat: its marker is the beat's
            lastBeatMarker = i;
        else if (gap >= spacing || (gap == spacing - 1 && lastBeatMarker + 1 == i)) {
            markers.push_back(beat);
            last = beat;
            lastBeatMarker = i;
        }
    }
    while (nextSection < plan.sectionTicks.size())
        placeSection(plan.sectionTicks[nextSection++]);
    std::sort(markers.begin(), markers.end());
    markers.erase(std::unique(markers.begin(), markers.end()), markers.end());
    // No picture changes in silence or in the faded tail of a track: a marker needs sound
    // within kTailDepth LU of the track's loud passages (its 90th percentile).
    std::vector<float> levels{features.loudness};
    std::nth_element(levels.begin(), levels.begin() + static_cast<long>(levels.size() * 9 / 10), levels.end());
    const float floor{std::max(kQuietLufs, levels[levels.size() * 9 / 10] - kTailDepth)};
    std::erase_if(markers, [&](int t) { return features.loudness[static_cast<std::size_t>(t)] < floor; });
    plan.markerTicks = markers;

    for (int t = 0; t < ticks; ++t) {
        const auto i = static_cast<std::size_t>(t);
        plan.channels.speed[i] = SpeedByteOf(activity[i]);
        const auto [r, g, b] = ColourOf(plan.rootPerTick[i], features.loudness[i]);
        plan.channels.red[i] = r;
        plan.channels.green[i] = g;
        plan.channels.blue[i] = b;
    }
    for (const int t : markers)
        plan.channels.speed[static_cast<std::size_t>(t)]
            = static_cast<std::uint8_t>(plan.channels.speed[static_cast<std::size_t>(t)] + kMarker);
    plan.channels.blue[0] |= 1;
    for (const int t : plan.sectionTicks)
        plan.channels.blue[static_cast<std::size_t>(t)] |= 1;
    for (const int t : barStarts)
        if (t >= 0 && t < ticks)
            plan.channels.red[static_cast<std::size_t>(t)] |= 1;
    return plan;
}

} // namespace kalvotune::analysis
