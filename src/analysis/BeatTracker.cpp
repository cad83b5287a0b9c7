#include "analysis/BeatTracker.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>

namespace kalvotune::analysis {

namespace {

constexpr double kSlowestBpm{60.0};
constexpr double kFastestBpm{200.0};
constexpr double kPreferredBpm{120.0};
/// Width of the tempo preference in octaves: wide enough that 70 and 160 BPM still win
/// when the music says so.
constexpr double kTempoSpreadOctaves{1.0};
/// The longest bar looked for (seconds): a bar of four beats at 40 BPM.
constexpr double kLongestBarSeconds{6.0};
/// How far from a whole number of beats (in beats) the bar may be before the beat is
/// taken for a pulse that does not divide it.
constexpr double kWholeBeatsSlack{0.2};
/// How strongly the dynamic programme holds the gaps to the period.
constexpr double kTightness{100.0};
/// Seconds of onset curve behind each local tempo estimate.
constexpr double kTempoWindowSeconds{6.0};
/// How far a local tempo may stray from the track's, in octaves (one standard deviation).
constexpr double kLocalSpreadOctaves{0.4};
/// The price of changing the period between seconds, against a best fit of 1 a second: a
/// new period must fit better for several seconds before the path takes it.
constexpr double kTempoChangePrice{5.0};
/// Where, as a share of the beat after a beat, the beat of swung eighths lies when the
/// grid sits on their off-beats (the off-beat comes 0.55..0.72 of a beat after the beat).
constexpr double kSwungBeatNearest{0.28};
constexpr double kSwungBeatFarthest{0.45};
/// Places between two beats told apart when looking for swing: 12.5 ms at 120 BPM.
constexpr int kPhaseBins{40};
/// Normalised onset strength a frame needs to count as sitting on an onset.
constexpr double kOnsetFloor{0.5};
/// The last beat's onset must reach this share of the strong onsets of the seconds
/// before it: the ring of the final notes has no onset that does.
constexpr double kEndingShare{0.1};
constexpr double kEndingSeconds{8.0};

} // namespace

float StrongOnsets(std::vector<float> onsets)
{
    if (onsets.empty())
        return 0;
    const auto strong{onsets.begin() + static_cast<long>(onsets.size() * 99 / 100)};
    std::nth_element(onsets.begin(), strong, onsets.end());
    return *strong;
}

/// Onset strength above its own average, scaled to unit spread, so the beat search
/// does not depend on the track's level.
std::vector<double> Normalised(const std::vector<float>& strength)
{
    std::vector<double> out(strength.begin(), strength.end());
    if (out.empty())
        return out;
    double mean{};
    for (const double v : out)
        mean += v;
    mean /= static_cast<double>(out.size());
    double spread{};
    for (const double v : out)
        spread += (v - mean) * (v - mean);
    spread = std::sqrt(spread / static_cast<double>(out.size()));
    for (double& v : out)
        v = spread > 1e-12 ? std::max(0.0, v - mean) / spread : 0.0;
    return out;
}

/// Beat period in frames (fractional), or 0 when the curve has no pulse. The period of
/// the strongest autocorrelation weighted towards `kPreferredBpm`; then the bar, the
/// strongest repetition between two and eight such beats, must hold a whole number of
/// beats: when it does not (a pulse of dotted eighths in 2/4, three eighths in 7/8), the
/// beat is the strongest whole division of the bar instead.
double FindPeriod(const std::vector<double>& odf, double framesPerSecond)
{
    const auto minLag = static_cast<std::size_t>(std::floor(framesPerSecond * 60.0 / kFastestBpm));
    const auto maxLag = static_cast<std::size_t>(std::ceil(framesPerSecond * 60.0 / kSlowestBpm));
    if (odf.size() < maxLag * 3 || minLag < 2)
        return 0;
    const std::size_t longestBar{
        std::min(odf.size() / 3, static_cast<std::size_t>(framesPerSecond * kLongestBarSeconds))};
    const std::size_t lags{std::max(maxLag + 2, longestBar + 1)};
    std::vector<double> acf(lags, 0.0);
    const auto correlate = [&](std::size_t from, std::size_t to) {
        for (std::size_t lag = from; lag <= to; ++lag) {
            double sum{};
            for (std::size_t i = lag; i < odf.size(); ++i)
                sum += odf[i] * odf[i - lag];
            acf[lag] = sum / static_cast<double>(odf.size() - lag);
        }
    };
    correlate(minLag - 1, maxLag + 1);
    const auto weighted = [&](std::size_t lag) {
        const double bpm{60.0 * framesPerSecond / static_cast<double>(lag)};
        const double octaves{std::log2(bpm / kPreferredBpm) / kTempoSpreadOctaves};
        return acf[lag] * std::exp(-0.5 * octaves * octaves);
    };
    double best{};
    std::size_t bestLag{};
    for (std::size_t lag = minLag; lag <= maxLag; ++lag)
        if (weighted(lag) > best) {
            best = weighted(lag);
            bestLag = lag;
        }
    if (bestLag == 0)
        return 0;

    std::size_t barLag{};
    const std::size_t shortestBar{2 * bestLag - bestLag / 5}, longest{std::min(longestBar, 8 * bestLag + bestLag / 5)};
    correlate(std::max(shortestBar, maxLag + 2), longest);
    for (std::size_t lag = shortestBar; lag <= longest; ++lag)
        if (barLag == 0 || acf[lag] > acf[barLag])
            barLag = lag;
    const double beatsInBar{static_cast<double>(barLag) / static_cast<double>(bestLag)};
    if (barLag > 0 && std::abs(beatsInBar - std::round(beatsInBar)) > kWholeBeatsSlack) {
        double bestDivision{};
        for (std::size_t beats = 2; beats <= 8; ++beats) {
            const std::size_t centre{(barLag + beats / 2) / beats};
            for (std::size_t lag = std::max(minLag, centre - 1); lag <= std::min(maxLag, centre + 1); ++lag)
                if (weighted(lag) > bestDivision) {
                    bestDivision = weighted(lag);
                    bestLag = lag;
                }
        }
    }
    // A parabola through the peak and its neighbours gives the period between frames.
    const double left{acf[bestLag - 1]}, mid{acf[bestLag]}, right{acf[bestLag + 1]};
    const double curve{left - 2 * mid + right};
    const double shift{curve < 0 ? std::clamp(0.5 * (left - right) / curve, -0.5, 0.5) : 0.0};
    return static_cast<double>(bestLag) + shift;
}

namespace {

/// The beat period at every frame: the autocorrelation of `kTempoWindow` frames around
/// each second gives each period a score, preferring those near the whole track's
/// `period`; a Viterbi path through the seconds, with a price on changing the period,
/// follows accelerando, ritardando and new tempi without jumping between octaves.
std::vector<double> LocalPeriods(const std::vector<double>& odf, double framesPerSecond, double period)
{
    const auto frames = static_cast<long>(odf.size());
    const auto hop = static_cast<long>(std::lround(framesPerSecond));
    const auto half = static_cast<long>(std::lround(framesPerSecond * kTempoWindowSeconds / 2));
    const auto minLag = static_cast<long>(std::floor(framesPerSecond * 60.0 / kFastestBpm));
    const auto maxLag = static_cast<long>(std::ceil(framesPerSecond * 60.0 / kSlowestBpm));
    const long lags{maxLag - minLag + 1};
    const long windows{frames / hop + 1};
    std::vector<double> score(static_cast<std::size_t>(lags), 0.0), next(static_cast<std::size_t>(lags));
    std::vector<std::vector<long>> from(
        static_cast<std::size_t>(windows), std::vector<long>(static_cast<std::size_t>(lags)));
    std::vector<double> acf(static_cast<std::size_t>(lags));
    for (long w = 0; w < windows; ++w) {
        const long begin{std::max(0L, w * hop - half)}, end{std::min(frames, w * hop + half)};
        // Only the autocorrelation above its average over the tempi counts: an onset curve
        // is positive throughout, so its raw autocorrelation is about as high at every lag,
        // and the preference for the track's period would outweigh the window's own pulse.
        double top{1e-12}, mean{};
        for (long l = 0; l < lags; ++l) {
            const long lag{minLag + l};
            double sum{};
            for (long i = begin + lag; i < end; ++i)
                sum += odf[static_cast<std::size_t>(i)] * odf[static_cast<std::size_t>(i - lag)];
            acf[static_cast<std::size_t>(l)] = sum / static_cast<double>(std::max(1L, end - begin - lag));
            mean += acf[static_cast<std::size_t>(l)] / static_cast<double>(lags);
        }
        for (long l = 0; l < lags; ++l) {
            const double octaves{std::log2(static_cast<double>(minLag + l) / period) / kLocalSpreadOctaves};
            double& a{acf[static_cast<std::size_t>(l)]};
            a = std::max(0.0, a - mean) * std::exp(-0.5 * octaves * octaves);
            top = std::max(top, a);
        }
        for (long l = 0; l < lags; ++l) {
            long best{l};
            double bestScore{-1e300};
            // Neighbouring periods only: a tempo moves by a few per cent a second at most,
            // or jumps at a section change, which the price lets through when it lasts.
            for (long k = 0; k < lags; ++k) {
                const double change{std::log2(static_cast<double>(minLag + k) / static_cast<double>(minLag + l))};
                const double candidate{
                    score[static_cast<std::size_t>(k)] - kTempoChangePrice * std::min(std::abs(change) * 10.0, 1.0)};
                if (candidate > bestScore) {
                    bestScore = candidate;
                    best = k;
                }
            }
            from[static_cast<std::size_t>(w)][static_cast<std::size_t>(l)] = best;
            next[static_cast<std::size_t>(l)] = bestScore + acf[static_cast<std::size_t>(l)] / top;
        }
        score.swap(next);
    }
    long l{0};
    for (long k = 1; k < lags; ++k)
        if (score[static_cast<std::size_t>(k)] > score[static_cast<std::size_t>(l)])
            l = k;
    std::vector<double> perWindow(static_cast<std::size_t>(windows));
    for (long w = windows - 1; w >= 0; --w) {
        perWindow[static_cast<std::size_t>(w)] = static_cast<double>(minLag + l);
        l = from[static_cast<std::size_t>(w)][static_cast<std::size_t>(l)];
    }
    std::vector<double> periods(odf.size());
    for (long t = 0; t < frames; ++t)
        periods[static_cast<std::size_t>(t)]
            = perWindow[static_cast<std::size_t>(std::min(windows - 1, (t + hop / 2) / hop))];
    return periods;
}

/// Onset strength by where it falls between one beat and the next, in `kPhaseBins` bins.
struct PhaseProfile {
    std::array<double, kPhaseBins> bins{};

    PhaseProfile(const std::vector<double>& odf, const std::vector<long>& frames)
    {
        for (std::size_t b = 0; b + 1 < frames.size(); ++b) {
            const long from{frames[b]}, to{frames[b + 1]};
            for (long t = from; t < to; ++t)
                bins[static_cast<std::size_t>((t - from) * kPhaseBins / (to - from))]
                    += odf[static_cast<std::size_t>(t)];
        }
    }

    /// The strength within a bin of `phase` (a share of the beat).
    double Around(double phase) const
    {
        const auto centre = static_cast<int>(std::lround(phase * kPhaseBins));
        double sum{};
        for (int b = centre - 1; b <= centre + 1; ++b)
            sum += bins[static_cast<std::size_t>((b + kPhaseBins) % kPhaseBins)];
        return sum;
    }
};

/// Swung eighths are long-short: the beat is on the onset a long gap follows. A grid on
/// the off-beats of swung eighths, where syncopated melody notes start, has the real
/// beats a short gap after each of its beats and nothing as far before them; the share
/// of a beat between the off-beat and the beat then, or 0 when the music does not swing
/// so. Triplets, straight eighths and dotted rhythms fill the mirrored place or the half
/// beat.
double SwingGap(const PhaseProfile& profile)
{
    int peak{};
    for (int b = static_cast<int>(std::ceil(kSwungBeatNearest * kPhaseBins));
         b <= static_cast<int>(kSwungBeatFarthest * kPhaseBins); ++b)
        if (peak == 0 || profile.bins[static_cast<std::size_t>(b)] > profile.bins[static_cast<std::size_t>(peak)])
            peak = b;
    const double gap{static_cast<double>(peak) / kPhaseBins};
    const double onGrid{profile.Around(0.0)}, beat{profile.Around(gap)};
    return beat > 0.2 * onGrid && profile.Around(1.0 - gap) < 0.2 * beat && profile.Around(0.5) < 0.2 * beat ? gap
                                                                                                             : 0.0;
}

/// The frame of `curve` (onsets, raw or normalised) with the strongest onset within a
/// tenth of a period of `frame`.
template <typename Value> long StrongestNear(const std::vector<Value>& curve, long frame, double period)
{
    const auto slack = static_cast<long>(std::round(period * 0.1));
    const auto last = static_cast<long>(curve.size()) - 1;
    long best{std::clamp(frame, 0L, last)};
    for (long t = std::max(0L, frame - slack); t <= std::min(last, frame + slack); ++t)
        if (curve[static_cast<std::size_t>(t)] > curve[static_cast<std::size_t>(best)])
            best = t;
    return best;
}

/// Whether a beat at `frame` of the raw onset curve has an onset within a tenth of a
/// period that reaches `kEndingShare` of the strong onsets of the `window` frames before.
bool EndsOnOnset(const std::vector<float>& strength, long frame, double period, long window)
{
    const auto last = static_cast<long>(strength.size()) - 1;
    const float near{strength[static_cast<std::size_t>(StrongestNear(strength, frame, period))]};
    const auto begin = strength.begin() + std::max(0L, frame - window);
    const float strong{StrongOnsets({begin, strength.begin() + std::min(last, frame) + 1})};
    return near > 0 && near >= kEndingShare * strong;
}

} // namespace

BeatGrid TrackBeats(const std::vector<float>& onsetStrength, double framesPerSecond)
{
    BeatGrid grid;
    const std::vector<double> odf{Normalised(onsetStrength)};
    const double period{FindPeriod(odf, framesPerSecond)};
    if (period <= 0)
        return grid;
    grid.period = period / framesPerSecond;

    const std::vector<double> periods{LocalPeriods(odf, framesPerSecond, period)};
    const auto n = static_cast<long>(odf.size());
    std::vector<double> score(odf.size());
    std::vector<long> previous(odf.size(), -1);
    for (long t = 0; t < n; ++t) {
        const double local{periods[static_cast<std::size_t>(t)]};
        const auto nearest = static_cast<long>(std::round(local / 2));
        const auto farthest = static_cast<long>(std::round(local * 2));
        double best{0.0};
        long from{-1};
        for (long p = t - farthest; p <= t - nearest; ++p) {
            if (p < 0)
                continue;
            const double gap{std::log(static_cast<double>(t - p) / local)};
            const double candidate{score[static_cast<std::size_t>(p)] - kTightness * gap * gap};
            if (from < 0 || candidate > best) {
                best = candidate;
                from = p;
            }
        }
        score[static_cast<std::size_t>(t)] = odf[static_cast<std::size_t>(t)] + (from >= 0 ? std::max(best, 0.0) : 0.0);
        previous[static_cast<std::size_t>(t)] = from >= 0 && best > 0 ? from : -1;
    }

    // The last beat is the best-scoring frame within the final period.
    long last{n - 1};
    for (long t = std::max(0L, n - static_cast<long>(std::ceil(period))); t < n; ++t)
        if (score[static_cast<std::size_t>(t)] > score[static_cast<std::size_t>(last)])
            last = t;
    std::vector<long> frames;
    for (long t = last; t >= 0; t = previous[static_cast<std::size_t>(t)])
        frames.push_back(t);
    std::reverse(frames.begin(), frames.end());
    // The path runs on past the music's last onset, one period after another, while the
    // final notes ring out: the grid ends on the last beat that has an onset of its own.
    // Weighed against the seconds before it, so a quiet ending keeps its beats.
    const auto endingWindow = static_cast<long>(std::lround(kEndingSeconds * framesPerSecond));
    while (frames.size() > 1
        && !EndsOnOnset(onsetStrength, frames.back(), periods[static_cast<std::size_t>(frames.back())], endingWindow))
        frames.pop_back();
    // Frames before the first beat found that still sit on onsets extend the grid back.
    while (!frames.empty() && frames.front() - periods[static_cast<std::size_t>(frames.front())] >= 0) {
        const double local{periods[static_cast<std::size_t>(frames.front())]};
        const auto guess = static_cast<long>(std::round(static_cast<double>(frames.front()) - local));
        const long bestFrame{StrongestNear(odf, guess, local)};
        if (odf[static_cast<std::size_t>(bestFrame)] <= kOnsetFloor)
            break;
        frames.insert(frames.begin(), bestFrame);
    }
    // A grid on the off-beats of swung eighths moves on to the beats.
    const double swungShift{SwingGap(PhaseProfile{odf, frames})};
    for (std::size_t b = 0; b < frames.size(); ++b) {
        const double gap{b + 1 < frames.size() ? static_cast<double>(frames[b + 1] - frames[b])
                                               : periods[static_cast<std::size_t>(frames[b])]};
        grid.beats.push_back((static_cast<double>(frames[b]) + swungShift * gap) / framesPerSecond);
    }
    return grid;
}

} // namespace kalvotune::analysis
