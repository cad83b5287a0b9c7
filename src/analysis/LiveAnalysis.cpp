#include "analysis/LiveAnalysis.hpp"

#include "analysis/BeatTracker.hpp"
#include "analysis/ChannelMapping.hpp"
#include "analysis/Metre.hpp"
#include "analysis/MusicAnalysis.hpp"

#include "core/SoundCapture.hpp"

#include <algorithm>
#include <array>
#include <cmath>

namespace kalvotune::analysis {

namespace {

constexpr double kFramesPerSecond{static_cast<double>(kAnalysisRate) / kHop};
/// Sound above -50 dBFS (RMS over a tick) counts as sound.
constexpr double kSoundLevel{0.0031623};
constexpr std::size_t kSoundSpan{kAnalysisRate / 200};
/// Onset curve the tempo is found in; at least this much sound before the first try.
constexpr int kTempoFrames{8 * 10 * kFramesPerTick};
constexpr int kFirstTempoFrames{15 * kFramesPerTick};
/// Frames `FindPeriod` wants: three beats of its slowest tempo.
constexpr int kPeriodFrames{3 * 10 * kFramesPerTick};
constexpr int kTempoEveryTicks{5};
/// The tempo search weighs each onset by its age, halving every this many seconds (for a
/// pair of onsets correlated), so a change of tempo shows within a few seconds (chosen on
/// the corpus's training pieces).
constexpr double kTempoHalfLifeSeconds{3.0};
/// A new tempo within this share of the one followed refines it; a farther one must come
/// back `kTempoVotes` times in a row before it is taken, unless the beat followed has
/// stopped fitting (`kLostFit`).
constexpr double kSameTempo{0.04};
constexpr int kTempoVotes{3};
/// The beats' phase is fitted to this much onset curve, recent beats weighing more.
constexpr int kPhaseFrames{4 * 10 * kFramesPerTick};
constexpr double kOlderBeatWeight{0.75};
/// A new tempo of the search is taken at once, without votes and even where the last
/// check's grid holds to the old one, when the beat followed fits the onsets of the last
/// 4 s less than `kLostFit` as well as those of the 4 s before, and the new tempo's beats
/// fit them `kClearlyBetterFit` times better: the grid over 24 s shows a change of tempo
/// only seconds later, while a tempo the search strays to in syncopated music or over a
/// cross-rhythm fits no better, or leaves the beat followed fitting as before (chosen on
/// the corpus's training pieces).
constexpr double kClearlyBetterFit{1.5};
constexpr double kLostFit{0.75};
/// How far (share of a beat) the phase may stray from the prediction before it costs, and
/// the share of its fit it can cost at most: a light hold, so a phase that was wrong gives
/// way to the onsets within a few beats (chosen on the corpus's training pieces).
constexpr double kPhaseSpread{0.2};
constexpr double kPhaseHold{0.2};
/// For this long after a check whose grid kept the tempo followed, the phase is held near
/// that grid's beats, and more firmly: over 24 s the tracker tells the beat from a swung
/// or syncopated eighth that the onsets of 4 s favour at times (chosen on the corpus's
/// training pieces).
constexpr long long kGridAnchorFrames{2 * 10 * kFramesPerTick};
constexpr double kGridHold{0.5};
/// Bars are found among the beats of this many last ticks, once there are enough beats,
/// and each search decides at once: over more sound, or held until searches agree, the
/// bars lag behind a phase that moved (chosen on the corpus's training pieces).
constexpr int kBarTicks{120};
constexpr std::size_t kFewestBarBeats{6};
/// The tracked beats decide the bars only at the placed beats' tempo, within this share.
constexpr double kSameTrackedTempo{0.1};
/// A placed beat within this share of a beat of a tracked one is that beat.
constexpr double kTrackedBeatTolerance{0.25};
constexpr int kDensityTicks{20}; // onset density over 2 s, as in the file analysis
/// The pulse has stopped (a held last chord, a break, the ring after the music) when over
/// this many beats, and at least `kFewestPulseTicks`, no onset reached `kPulseShare` of
/// the strong onsets of the last 8 s (those above 99 in 100). The beat after the last
/// onset may still change the picture, since the sound cannot yet tell a rest from an
/// end; the beats after it change none until the onsets return, even where the last onset
/// fell between two beats. A whole beat, so a beat predicted ahead of its own onset still
/// sees the one before (chosen on the corpus's training pieces).
constexpr double kPulseBeats{1.0};
constexpr int kFewestPulseTicks{5};
constexpr double kPulseShare{0.2};
/// Music that plays between its beats (off-beats, fills) and has stopped there has ended,
/// or rests: its next beat changes no picture either. Between two beats is from
/// `kAfterBeat` of a beat after one to the next; the music plays there when the median of
/// the onset peaks there over the last 8 s reaches `kPlaysBetween` of the strong onsets,
/// and has stopped when the latest peak there is below `kStillPlaying` of that median. A
/// click track, which plays only on its beats, keeps every beat (chosen on the corpus's
/// training pieces).
constexpr double kAfterBeat{0.3};
constexpr double kPlaysBetween{0.1};
constexpr double kStillPlaying{0.5};
constexpr std::size_t kFewestBetweenBeats{4};
/// The tempo is checked once a second over the last 24 s, once there are 12 s, and
/// another ratio must come back in checks in a row: over less sound the corrections move
/// right tempi about as often as wrong ones (chosen on the corpus's training pieces).
constexpr int kHistoryTicks{240};
constexpr int kFewestHistoryTicks{120};
constexpr int kTempoCheckTicks{10};
constexpr int kCorrectionVotes{3};
/// Ratios a grid correction makes (`kTempoCandidates` and the halving), within this share,
/// are taken after `kCorrectionVotes` checks in a row. Any other ratio is the tracker's
/// tempo over 24 s against a search over 8 s that strayed (a samba's syncopation): it is
/// taken after `kOtherRatioVotes`, as a grid over a piece whose beats the tracker too
/// finds hard wavers between tempi from check to check.
constexpr std::array<double, 6> kCorrections{1.5, 2.0 / 3.0, 3.0, 1.0 / 3.0, 2.0, 0.5};
constexpr double kSameRatio{0.06};
constexpr int kOtherRatioVotes{6};
/// The grid's beat is the median gap of its beats in its last 8 s, three gaps at least.
constexpr double kLatestGridSeconds{8.0};
constexpr std::size_t kFewestLatestGaps{3};
/// The grid's beats of its last 4 s fit the sound when their onsets are, on a log scale,
/// at most this much weaker than those of all its beats.
constexpr double kFittingSeconds{4.0};
constexpr double kLooserFit{1.0};
/// The beats placed over the grid's last 8 s are half a beat off its beats when the median
/// of their distances to them is at least this share of a beat, nearer half-way than to them.
constexpr double kHalfBeatOff{0.3};
constexpr std::size_t kFewestComparedBeats{4};
/// Checks in a row that must find the beats half a beat off: over 24 s the grid's phase
/// too is sometimes wrong (chosen on the corpus's training pieces).
constexpr int kHalfBeatVotes{6};
constexpr double kLongestLookAhead{5.0};
constexpr double kLookAheadStep{0.03};

} // namespace

LiveAnalysis::LiveAnalysis(LiveSettings settings)
    : m_settings{settings}
    , m_chordScores(settings.model ? kChordStates : kTriadStates, 0.0)
{
    m_settings.lookAheadSeconds = 0;
    SetLookAhead(settings.lookAheadSeconds);
}

void LiveAnalysis::SetLookAhead(double seconds)
{
    const double lookAhead{std::isfinite(seconds) ? std::clamp(seconds, 0.0, kLongestLookAhead) : 0.0};
    // A server's latency wanders by a few milliseconds from one report to the next; each
    // change moves the ticks on or holds them back, so only a change that matters counts.
    if (std::abs(lookAhead - m_settings.lookAheadSeconds) >= kLookAheadStep)
        m_settings.lookAheadSeconds = lookAhead;
}

double LiveAnalysis::BeatPeriod() const
{
    return m_period / kFramesPerSecond;
}

void LiveAnalysis::Add(std::span<const float> samples)
{
    std::vector<float> clean(samples.begin(), samples.end());
    SanitiseSamples(clean);
    if (m_settings.keepHeard && !m_heardSound) {
        // Tick 0 of a recorded template begins with the first 5 ms above -50 dBFS.
        m_waiting.insert(m_waiting.end(), clean.begin(), clean.end());
        std::size_t from{};
        for (; from + kSoundSpan <= m_waiting.size() && !m_heardSound; from += kSoundSpan) {
            double sum{};
            for (std::size_t i = from; i < from + kSoundSpan; ++i)
                sum += static_cast<double>(m_waiting[i]) * m_waiting[i];
            m_heardSound = std::sqrt(sum / kSoundSpan) > kSoundLevel;
        }
        if (!m_heardSound) {
            m_skipped += static_cast<long long>(from);
            m_waiting.erase(m_waiting.begin(), m_waiting.begin() + static_cast<long>(from));
            return;
        }
        from -= kSoundSpan;
        m_skipped += static_cast<long long>(from);
        clean.assign(m_waiting.begin() + static_cast<long>(from), m_waiting.end());
        m_waiting = {};
    }
    m_fed += static_cast<long long>(clean.size());
    for (const float s : clean) {
        m_sumSquares += static_cast<double>(s) * s;
        if (++m_samplesInTick == kSamplesPerTick) {
            m_levels.push_back(std::sqrt(m_sumSquares / kSamplesPerTick));
            m_sumSquares = 0;
            m_samplesInTick = 0;
        }
    }
    m_extractor.Add(clean);
    const TrackFeatures features{m_extractor.TakeTicks()};
    for (std::size_t t = 0; t < static_cast<std::size_t>(features.Ticks()); ++t)
        AnalyseTick(features, t);
}

std::vector<LiveTick> LiveAnalysis::TakeTicks()
{
    std::vector<LiveTick> ticks;
    ticks.swap(m_ticks);
    return ticks;
}

void LiveAnalysis::AnalyseTick(const TrackFeatures& f, std::size_t t)
{
    const int tick{m_analysedTicks++};
    double level{};
    if (!m_levels.empty()) {
        level = m_levels.front();
        m_levels.pop_front();
    }
    if (level > kSoundLevel) {
        if (Silent()) {
            // Sound after silence is likely another piece: its tempo and metre start afresh.
            m_period = m_candidate = 0;
            m_candidateVotes = 0;
            m_tempoRatio = 1;
            m_correctionVotes = 0;
            m_gridBeat = 0;
            m_halfBeat = false;
            m_gridAnchor = -1;
            m_halfBeatVotes = 0;
            m_history = {};
            m_historyChords.clear();
            m_historyFirst = tick;
            m_beatTimes.clear();
            m_metre = 0;
            m_lastBeatFrame = -1;
            m_newPiece = true;
        }
        m_silentTicks = 0;
    } else if (m_silentTicks < kSilentTicks) {
        ++m_silentTicks;
    }

    m_frames += kFramesPerTick;

    m_recent.loudness.push_back(f.loudness[t]);
    m_recent.onsets.push_back(f.onsets[t]);
    m_recent.chroma.push_back(f.chroma[t]);
    m_recent.bassChroma.push_back(f.bassChroma[t]);
    m_recent.centredChroma.push_back(f.centredChroma[t]);
    m_recent.centredBassChroma.push_back(f.centredBassChroma[t]);
    m_recent.bassEnergy.push_back(f.bassEnergy[t]);
    m_recent.onsetStrength.insert(m_recent.onsetStrength.end(),
        f.onsetStrength.begin() + static_cast<long>(t * kFramesPerTick),
        f.onsetStrength.begin() + static_cast<long>((t + 1) * kFramesPerTick));
    m_recentRoots.push_back(m_settings.model ? LearnedRoot() : Root(f, t));
    if (m_recent.Ticks() > kBarTicks) {
        const auto dropFront = [](auto& v, long n) { v.erase(v.begin(), v.begin() + n); };
        dropFront(m_recent.loudness, 1);
        dropFront(m_recent.onsets, 1);
        dropFront(m_recent.chroma, 1);
        dropFront(m_recent.bassChroma, 1);
        dropFront(m_recent.centredChroma, 1);
        dropFront(m_recent.centredBassChroma, 1);
        dropFront(m_recent.bassEnergy, 1);
        dropFront(m_recent.onsetStrength, kFramesPerTick);
        dropFront(m_recentRoots, 1);
        if (!m_recentChords.empty())
            dropFront(m_recentChords, 1);
        ++m_recentFirst;
    }

    m_history.loudness.push_back(f.loudness[t]);
    m_history.bassEnergy.push_back(f.bassEnergy[t]);
    m_history.onsetStrength.insert(m_history.onsetStrength.end(),
        f.onsetStrength.begin() + static_cast<long>(t * kFramesPerTick),
        f.onsetStrength.begin() + static_cast<long>((t + 1) * kFramesPerTick));
    if (m_settings.model) {
        // Each tick's chord log-probabilities as the recent ones hold them: weighed again
        // with their whole context once it has sounded.
        m_historyChords.push_back(m_recentChords.back());
        const std::size_t settled{kChordContextTicks + 1};
        if (m_historyChords.size() >= settled && m_recentChords.size() >= settled)
            m_historyChords[m_historyChords.size() - settled] = m_recentChords[m_recentChords.size() - settled];
    }
    if (m_history.Ticks() > kHistoryTicks) {
        m_history.loudness.erase(m_history.loudness.begin());
        m_history.bassEnergy.erase(m_history.bassEnergy.begin());
        m_history.onsetStrength.erase(
            m_history.onsetStrength.begin(), m_history.onsetStrength.begin() + kFramesPerTick);
        if (!m_historyChords.empty())
            m_historyChords.erase(m_historyChords.begin());
        ++m_historyFirst;
    }

    if (!Silent() && tick % kTempoEveryTicks == 0)
        UpdateTempo();
    if (m_period > 0)
        UpdatePhase();
    Emit(f, t);
}

void LiveAnalysis::UpdateTempo()
{
    const std::span<const float> onsets{RecentOnsets()};
    if (onsets.size() < static_cast<std::size_t>(kFirstTempoFrames))
        return;
    std::vector<double> odf{Normalised(std::vector<float>(onsets.begin(), onsets.end()))};
    for (std::size_t i = 0; i < odf.size(); ++i)
        odf[i] *= std::exp2(-static_cast<double>(odf.size() - 1 - i) / kFramesPerSecond / (2 * kTempoHalfLifeSeconds));
    // Too little sound yet for the search: silence before it adds nothing to the
    // correlations and lets the search run.
    if (odf.size() < static_cast<std::size_t>(kPeriodFrames))
        odf.insert(odf.begin(), static_cast<std::size_t>(kPeriodFrames) - odf.size(), 0.0);
    const double period{FindPeriod(odf, kFramesPerSecond)};
    if (period <= 0)
        return;
    // The search's tempo, at the ratio a correction took, refines the beat followed; a
    // new tempo that comes back is followed as the search finds it where the last check
    // over 24 s found no other tempo held through them, and one that fits the onsets far
    // better than the beat followed, which has stopped fitting them, is followed at once.
    const double followed{period * m_tempoRatio};
    if (m_period <= 0) {
        FollowNewTempo(period);
        m_lastBeatFrame = -1;
    } else if (std::abs(followed / m_period - 1) < kSameTempo) {
        m_period = 0.8 * m_period + 0.2 * followed;
        m_candidateVotes = 0;
    } else {
        if (m_candidateVotes > 0 && std::abs(period / m_candidate - 1) < kSameTempo)
            ++m_candidateVotes;
        else
            m_candidateVotes = 1;
        m_candidate = period;
        const bool confirmed{m_gridBeat <= 0 || std::abs(period / kFramesPerSecond / m_gridBeat - 1) < kSameTempo};
        if ((m_candidateVotes >= kTempoVotes && confirmed) || BeatsNoLongerFit(period))
            FollowNewTempo(period);
    }
}

void LiveAnalysis::FollowNewTempo(double period)
{
    // What the checks found held for the beat followed before; the new one starts without.
    m_period = period;
    m_tempoRatio = 1;
    m_halfBeat = false;
    m_gridAnchor = -1;
    m_correctionVotes = 0;
    m_candidateVotes = 0;
}

void LiveAnalysis::UpdatePhase()
{
    const double period{m_period};
    const double now{static_cast<double>(m_frames - 1)};
    // The beats sit half a beat after the phase the onsets favour where the check found
    // them between the music's beats (off-beat hi-hats, a skank).
    const double shift{m_halfBeat ? 0.5 * period : 0.0};
    const bool anchored{m_gridAnchor >= 0 && m_frames - m_gridAnchorAt < kGridAnchorFrames};
    const double last{anchored ? m_gridAnchor : m_lastBeatFrame};
    const double hold{anchored ? kGridHold : kPhaseHold};
    double predicted{-1};
    if (last >= 0) {
        const double lastFit{last - shift};
        predicted = lastFit + std::floor((now - lastFit) / period) * period;
    }

    // Candidate beats half a frame apart, the latest first; each onset peak is seen over
    // three frames, so a run of equal scores ends in a tie broken at its middle.
    m_phaseScores.clear();
    for (double back = 0; back < period; back += 0.5) {
        const double beat{now - back};
        double score{BeatsScore(beat, period, now).sum};
        if (predicted >= 0) {
            const double off{std::remainder(beat - predicted, period) / (kPhaseSpread * period)};
            score *= 1 - hold + hold * std::exp(-0.5 * off * off);
        }
        m_phaseScores.push_back(score);
    }
    const auto top = std::max_element(m_phaseScores.begin(), m_phaseScores.end());
    auto end = top;
    while (end + 1 != m_phaseScores.end() && *(end + 1) >= *top - 1e-9 * *top)
        ++end;
    const double back{0.5 * static_cast<double>((top - m_phaseScores.begin()) + (end - m_phaseScores.begin())) / 2};
    // Without onsets to fit, the beats go on as predicted.
    m_lastBeatFrame = (*top > 1e-9 || predicted < 0 ? now - back : predicted) + shift;
}

LiveAnalysis::Score LiveAnalysis::BeatsScore(double beat, double period, double end) const
{
    const std::span<const float> onsets{RecentOnsets()};
    const long long first{m_frames - static_cast<long long>(onsets.size())};
    // The onset curve's peak within a frame of a beat, so a beat between frames counts.
    const auto at = [&](double frame) {
        const auto centre = static_cast<long long>(std::lround(frame));
        float peak{};
        for (long long k = centre - 1; k <= centre + 1; ++k)
            if (k >= first && k < m_frames)
                peak = std::max(peak, onsets[static_cast<std::size_t>(k - first)]);
        return static_cast<double>(peak);
    };
    Score score;
    double weight{1};
    for (double b = beat; b > end - kPhaseFrames && b >= static_cast<double>(first); b -= period) {
        score.sum += weight * at(b);
        score.weights += weight;
        weight *= kOlderBeatWeight;
    }
    return score;
}

double LiveAnalysis::BeatFit(double period, double end) const
{
    double best{};
    for (double back = 0; back < period; back += 0.5) {
        const Score score{BeatsScore(end - back, period, end)};
        if (score.weights > 0)
            best = std::max(best, score.sum / score.weights);
    }
    return best;
}

bool LiveAnalysis::BeatsNoLongerFit(double period) const
{
    const double now{static_cast<double>(m_frames - 1)};
    const double followed{BeatFit(m_period, now)};
    return BeatFit(period, now) > kClearlyBetterFit * followed
        && followed < kLostFit * BeatFit(m_period, now - kPhaseFrames);
}

bool LiveAnalysis::Pulsing() const
{
    const std::span<const float> onsets{RecentOnsets()};
    if (onsets.empty())
        return false;
    const auto recent{static_cast<std::size_t>(
        std::max(kFewestPulseTicks * kFramesPerTick, static_cast<int>(std::lround(kPulseBeats * m_period))))};
    const float latest{
        *std::max_element(onsets.end() - static_cast<long>(std::min(recent, onsets.size())), onsets.end())};
    const float strong{StrongOnsets({onsets.begin(), onsets.end()})};
    return latest > 0 && latest >= kPulseShare * strong && !StoppedBetweenBeats(strong);
}

bool LiveAnalysis::StoppedBetweenBeats(float strong) const
{
    const std::span<const float> onsets{RecentOnsets()};
    const long long first{m_frames - static_cast<long long>(onsets.size())};
    const auto peak = [&](double from, double to) {
        float highest{};
        for (auto k = std::max(first, static_cast<long long>(std::ceil(from))); k <= static_cast<long long>(to); ++k)
            highest = std::max(highest, onsets[static_cast<std::size_t>(k - first)]);
        return highest;
    };
    // From after the beat before the one placed up to the latest onset frame, and the
    // same stretch a beat, two beats… earlier.
    const double end{static_cast<double>(m_frames - 1)};
    const double from{m_placedBeat * kFramesPerSecond - (1 - kAfterBeat) * m_period};
    if (from >= end)
        return false;
    std::vector<float> before;
    for (double back = m_period; from - back >= static_cast<double>(first); back += m_period)
        before.push_back(peak(from - back, end - back));
    if (before.size() < kFewestBetweenBeats)
        return false;
    const auto middle{before.begin() + static_cast<long>(before.size() / 2)};
    std::nth_element(before.begin(), middle, before.end());
    return *middle >= kPlaysBetween * strong && peak(from, end) < kStillPlaying * *middle;
}

std::span<const float> LiveAnalysis::RecentOnsets() const
{
    const std::vector<float>& all{m_history.onsetStrength};
    const std::size_t count{std::min(all.size(), static_cast<std::size_t>(kTempoFrames))};
    return {all.data() + (all.size() - count), count};
}

bool LiveAnalysis::NextBeatBefore(double until, double& beat)
{
    if (m_period <= 0 || m_lastBeatFrame < 0)
        return false;
    const double period{m_period / kFramesPerSecond};
    const double last{m_lastBeatFrame / kFramesPerSecond};
    const double after{std::max(m_windowEnd, m_placedBeat + 0.5 * period)};
    const double next{last + std::floor((after - last) / period + 1) * period};
    if (next > until)
        return false;
    beat = next;
    return true;
}

std::vector<int> LiveAnalysis::HindsightRoots(
    const std::vector<std::array<float, kChordStates>>& chords, const std::vector<float>& loudness) const
{
    std::vector<bool> quiet(loudness.size());
    for (std::size_t t = 0; t < quiet.size(); ++t)
        quiet[t] = loudness[t] < kQuietChordLufs;
    return RootsOfChordPath(DecodeChords(chords, quiet, m_settings.model->changePrice));
}

bool LiveAnalysis::HalfBeatOffGrid(const BeatGrid& grid, double from) const
{
    const double period{grid.period};
    const double end{from + grid.beats.back()};
    std::vector<double> off;
    for (const PlacedBeat& placed : m_beatTimes) {
        if (placed.seconds < end - kLatestGridSeconds || placed.seconds > end)
            continue;
        const double at{placed.seconds - from};
        const auto next = std::lower_bound(grid.beats.begin(), grid.beats.end(), at);
        double nearest{next != grid.beats.end() ? *next - at : period};
        if (next != grid.beats.begin())
            nearest = std::min(nearest, at - *(next - 1));
        off.push_back(std::min(nearest, period) / period);
    }
    if (off.size() < kFewestComparedBeats)
        return false;
    std::nth_element(off.begin(), off.begin() + static_cast<long>(off.size() / 2), off.end());
    return off[off.size() / 2] >= kHalfBeatOff;
}

void LiveAnalysis::UpdateBars()
{
    if (ChooseTempoOverHistory())
        return;
    // Beats whose sound has been analysed, among the recent features.
    const double now{static_cast<double>(m_analysedTicks) / 10.0};
    const double from{static_cast<double>(m_recentFirst) / 10.0};
    BeatGrid grid{.period = BeatPeriod(), .beats = {}};
    long long lastIndex{-1};
    std::vector<long long> indices;
    for (const PlacedBeat& placed : m_beatTimes)
        if (placed.seconds >= from + 0.1 && placed.seconds <= now - 0.2) {
            // The beats a jump of the phase passed over come back, evenly spaced, so the
            // bar search counts the beats the music has.
            const long long missed{indices.empty() ? 0 : placed.index - lastIndex - 1};
            const double before{grid.beats.empty() ? 0.0 : grid.beats.back()};
            for (long long k = 1; k <= missed; ++k) {
                grid.beats.push_back(before
                    + (placed.seconds - from - before) * static_cast<double>(k) / static_cast<double>(missed + 1));
                indices.push_back(lastIndex + k);
            }
            grid.beats.push_back(placed.seconds - from);
            lastIndex = placed.index;
            indices.push_back(lastIndex);
        }
    if (grid.beats.size() < kFewestBarBeats)
        return;
    const std::vector<int> roots{
        m_settings.model ? HindsightRoots(m_recentChords, m_recent.loudness) : m_recentRoots};
    const BarGrid bars{FindBars(m_recent, grid, {}, roots, m_settings.model)};
    int metre{bars.beatsPerBar.back()};
    long long phase{lastIndex - bars.position.back()};
    // The placed beats jitter, and a jump of the phase shifts them, which blurs the bar
    // search over them; the beats the whole-track tracker finds in the same sound are even.
    TakeTrackedBars(grid, indices, roots, metre, phase);
    m_metre = metre;
    m_barPhase = phase;
    // Markers every second (fourth…) bar go on the bar starts that stand out most.
    const int span{BeatsPerMarker(m_metre, BeatPeriod(), std::max(1, m_settings.pictureChangeTicks))};
    if (span <= m_metre)
        return;
    std::vector<double> strength(static_cast<std::size_t>(span / m_metre));
    for (std::size_t i = 0; i < indices.size(); ++i) {
        const long long offset{((indices[i] - m_barPhase) % span + span) % span};
        if (offset % m_metre == 0)
            strength[static_cast<std::size_t>(offset / m_metre)] += bars.salience[i];
    }
    const auto best = std::max_element(strength.begin(), strength.end()) - strength.begin();
    m_markerPhase = m_barPhase + best * m_metre;
}

bool LiveAnalysis::ChooseTempoOverHistory()
{
    if (!m_settings.model || m_history.Ticks() < kFewestHistoryTicks
        || m_analysedTicks - m_lastTempoCheck < kTempoCheckTicks)
        return false;
    m_lastTempoCheck = m_analysedTicks;
    BeatGrid grid{FindBeats(m_history)};
    if (grid.period <= 0)
        return false;
    CorrectGrid(m_history, *m_settings.model, HindsightRoots(m_historyChords, m_history.loudness), grid);
    // The grid's beat where it ends.
    std::vector<double> gaps;
    for (std::size_t i = 1; i < grid.beats.size(); ++i)
        if (grid.beats[i] >= grid.beats.back() - kLatestGridSeconds)
            gaps.push_back(grid.beats[i] - grid.beats[i - 1]);
    if (gaps.size() < kFewestLatestGaps)
        return false;
    std::nth_element(gaps.begin(), gaps.begin() + static_cast<long>(gaps.size() / 2), gaps.end());
    const double latest{gaps[gaps.size() / 2]};
    // Only a tempo that held over the 24 s is checked: after a change of tempo the grid,
    // found over all of them, ends at neither the old one nor the new.
    if (std::abs(latest / grid.period - 1) > kSameTempo) {
        m_correctionVotes = 0;
        m_gridBeat = 0;
        return false;
    }
    // Nor does a grid hold back a new tempo of the search when its last beats fall between
    // the onsets: after a change of tempo the tracker may keep the old one to the end.
    const std::vector<double> lastBeats(
        std::lower_bound(grid.beats.begin(), grid.beats.end(), grid.beats.back() - kFittingSeconds), grid.beats.end());
    const bool fits{
        BeatStrength(m_history, lastBeats, false) >= BeatStrength(m_history, grid.beats, false) - kLooserFit};
    m_gridBeat = fits ? latest : 0;
    const double from{static_cast<double>(m_historyFirst) / 10.0};
    const double ratio{latest / BeatPeriod()};
    if (std::abs(ratio - 1) < kSameTempo) {
        m_correctionVotes = 0;
        m_gridAnchor = (from + grid.beats.back()) * kFramesPerSecond;
        m_gridAnchorAt = m_frames;
        // On the grid's tempo, the beats placed half a beat off its beats in checks in a
        // row move onto them.
        m_halfBeatVotes = HalfBeatOffGrid(grid, from) ? m_halfBeatVotes + 1 : 0;
        if (m_halfBeatVotes >= kHalfBeatVotes) {
            m_halfBeat = !m_halfBeat;
            m_halfBeatVotes = 0;
        }
        return false;
    }
    m_halfBeatVotes = 0;
    const bool again{m_correctionVotes > 0 && std::abs(ratio / m_correction - 1) < kSameRatio};
    m_correctionVotes = again ? m_correctionVotes + 1 : 1;
    m_correction = ratio;
    const bool known{std::any_of(
        kCorrections.begin(), kCorrections.end(), [&](double c) { return std::abs(ratio / c - 1) < kSameRatio; })};
    if (m_correctionVotes < (known ? kCorrectionVotes : kOtherRatioVotes))
        return false;
    // The grid's beats of the last 12 s replace the placed ones, so the bars are found
    // among them at once, and the beats go on from its last one.
    const double recent{static_cast<double>(m_recentFirst) / 10.0};
    m_tempoRatio *= ratio;
    m_period *= ratio;
    m_correctionVotes = 0;
    m_halfBeat = false;
    m_gridAnchor = -1;
    m_beatTimes.clear();
    for (const double at : grid.beats)
        if (from + at >= recent)
            m_beatTimes.push_back({from + at, static_cast<long long>(m_beatTimes.size())});
    m_beatCount = static_cast<long long>(m_beatTimes.size());
    m_placedBeat = from + grid.beats.back();
    m_lastBeatFrame = m_placedBeat * kFramesPerSecond;
    m_metre = 0;
    m_barPhase = m_markerPhase = 0;
    m_lastMarkerBeat = -1000000;
    return true;
}

void LiveAnalysis::TakeTrackedBars(const BeatGrid& placed, const std::vector<long long>& indices,
    const std::vector<int>& roots, int& metre, long long& barPhase) const
{
    const BeatGrid tracked{TrackBeats(m_recent.onsetStrength, kFramesPerSecond)};
    if (tracked.beats.size() < kFewestBarBeats || std::abs(tracked.period / placed.period - 1) > kSameTrackedTempo)
        return;
    const BarGrid bars{FindBars(m_recent, tracked, {}, roots, m_settings.model)};
    if (bars.position.size() != tracked.beats.size())
        return;
    const double tolerance{kTrackedBeatTolerance * placed.period};
    for (std::size_t i = placed.beats.size(); i-- > 0;) {
        const auto near{std::lower_bound(tracked.beats.begin(), tracked.beats.end(), placed.beats[i] - tolerance)};
        if (near == tracked.beats.end() || *near > placed.beats[i] + tolerance)
            continue;
        const auto k{static_cast<std::size_t>(near - tracked.beats.begin())};
        if (bars.position[k] == 0) {
            metre = bars.beatsPerBar[k];
            barPhase = indices[i];
            return;
        }
    }
}

int LiveAnalysis::Root(const TrackFeatures& f, std::size_t t)
{
    const auto fits{HueChordFits(f.centredChroma[t], f.centredBassChroma[t], f.loudness[t])};
    const double price{HueChordChangePrice()};
    const double leader{*std::max_element(m_chordScores.begin(), m_chordScores.end())};
    std::size_t best{};
    for (std::size_t s = 0; s < m_chordScores.size(); ++s) {
        m_chordScores[s] = std::max(m_chordScores[s], leader - price) + fits[s] - leader;
        if (m_chordScores[s] > m_chordScores[best])
            best = s;
    }
    if (best + 1 < m_chordScores.size())
        m_root = static_cast<int>(best % 12);
    return m_root;
}

int LiveAnalysis::LearnedRoot()
{
    std::array<float, kChordStates>& row{m_recentChords.emplace_back()};
    ChordLogProbabilitiesAt(m_recent, m_recent.Ticks() - 1, *m_settings.model, row, true);
    const int best{ChordPathStep(m_chordScores, row, m_settings.model->liveChangePrice)};
    // The bar search looks back, so it takes the chords in hindsight: a tick whose
    // context has now sounded in full is weighed again with all of it, as in a file.
    const int settled{m_recent.Ticks() - 1 - kChordContextTicks};
    if (settled >= 0)
        ChordLogProbabilitiesAt(
            m_recent, settled, *m_settings.model, m_recentChords[static_cast<std::size_t>(settled)]);
    // A quiet tick names no chord: the root before it stays.
    if (m_recent.loudness.back() >= kQuietChordLufs)
        m_root = best % 12;
    return m_root;
}

void LiveAnalysis::Emit(const TrackFeatures& f, std::size_t t)
{
    const int fed{m_analysedTicks};
    const double shownAt{fed / 10.0 + static_cast<double>(FeatureExtractor::TickDelaySamples()) / kAnalysisRate
        + m_settings.lookAheadSeconds};
    const int tick{std::max(m_lastTick + 1, static_cast<int>(std::lround(shownAt * 10.0)))};
    const double windowEnd{tick / 10.0 + 0.05};
    const int spacing{std::max(1, m_settings.pictureChangeTicks)};
    const bool silent{Silent()};

    LiveTick out;
    out.tick = tick;
    bool marker{};
    bool nextBeatMarker{};
    long long markerBeat{-1000000};
    double beat{};
    if (!silent && NextBeatBefore(windowEnd, beat)) {
        // A beat the phase jumped over still counts, so the bars keep their count.
        if (!m_beatTimes.empty())
            m_beatCount += std::max(0LL, std::llround((beat - m_beatTimes.back().seconds) / BeatPeriod()) - 1);
        out.beat = true;
        m_placedBeat = beat;
        const long long index{m_beatCount++};
        m_beatTimes.push_back({beat, index});
        while (!m_beatTimes.empty() && m_beatTimes.front().seconds < static_cast<double>(m_recentFirst) / 10.0)
            m_beatTimes.pop_front();
        UpdateBars();
        // Before the metre is known every beat counts as a bar of one.
        const int metre{std::max(1, m_metre)};
        const int position{static_cast<int>(((index - m_barPhase) % metre + metre) % metre)};
        const bool pulse{Pulsing()};
        out.barStart = pulse && m_metre > 0 && position == 0;
        const int beats{BeatsPerMarker(metre, BeatPeriod(), spacing)};
        if (beats <= metre)
            marker = position % beats == 0;
        else
            marker = ((index - m_markerPhase) % beats + beats) % beats == 0;
        marker = marker && pulse;
        // The beat marker after the last one spans beats found long enough; rounded to
        // ticks it may come a tick closer, as in a template made from a file.
        nextBeatMarker = index - m_lastMarkerBeat == beats;
        if (marker)
            markerBeat = index;
    } else if (!silent && m_period <= 0 && f.onsets[t] > 0) {
        // No tempo yet: the onsets themselves change the picture.
        marker = true;
    }
    const int gap{tick - m_lastMarker};
    marker = marker && (gap >= spacing || (nextBeatMarker && gap == spacing - 1));
    if (marker) {
        m_lastMarker = tick;
        m_lastMarkerBeat = markerBeat;
    }
    m_windowEnd = windowEnd;

    int onsets{};
    for (int i = std::max(0, m_recent.Ticks() - kDensityTicks); i < m_recent.Ticks(); ++i)
        onsets += m_recent.onsets[static_cast<std::size_t>(i)];
    const int span{std::min(kDensityTicks, m_recent.Ticks())};
    const double activity{ActivityOf(OnsetDensity(10.0 * onsets / std::max(1, span)), f.loudness[t])};
    out.speed = static_cast<std::uint8_t>(SpeedByteOf(activity) + (marker ? kPictureChangeMarker : 0));
    out.root = m_recentRoots.back();
    const auto [r, g, b] = ColourOf(out.root, f.loudness[t]);
    out.red = static_cast<std::uint8_t>(r | (out.barStart ? 1 : 0));
    out.green = g;
    out.blue = static_cast<std::uint8_t>(b | (m_newPiece && !silent ? 1 : 0));
    if (!silent)
        m_newPiece = false;
    out.silent = silent;
    m_lastTick = tick;
    m_ticks.push_back(out);
    if (m_settings.keepHeard)
        m_heard.push_back(out);
}

TemplateChannels LiveAnalysis::Heard() const
{
    TemplateChannels channels;
    const int length{
        std::min(m_heard.empty() ? 0 : m_heard.back().tick + 1, static_cast<int>(m_fed / kSamplesPerTick))};
    if (length <= 0)
        return channels;
    channels.Reset(length);
    std::size_t next{};
    for (int t = 0; t < length; ++t) {
        while (next + 1 < m_heard.size() && m_heard[next].tick < t)
            ++next;
        const LiveTick& tick{m_heard[next]};
        const bool here{tick.tick == t};
        const auto at = static_cast<std::size_t>(t);
        channels.blue[at] = here ? tick.blue : static_cast<std::uint8_t>(tick.blue & ~1);
        channels.green[at] = tick.green;
        channels.red[at] = here ? tick.red : static_cast<std::uint8_t>(tick.red & ~1);
        channels.speed[at] = here || tick.speed < kPictureChangeMarker
            ? tick.speed
            : static_cast<std::uint8_t>(tick.speed - kPictureChangeMarker);
    }
    // The template's first tick starts its figures afresh, as a file's does.
    channels.blue[0] |= 1;
    return channels;
}

} // namespace kalvotune::analysis
