#include "Training.hpp"

#include "analysis/ChannelMapping.hpp"
#include "analysis/Metre.hpp"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <numeric>
#include <optional>
#include <random>
#include <thread>

namespace kalvotune::training {

namespace {

using analysis::AnalysisModel;
using analysis::kBeatInputs;
using analysis::kChordInputs;
using analysis::kChordStates;
using analysis::kQualities;

constexpr int kBeatSlider{4};
constexpr int kBarSlider{20};

/// Runs `work(i)` for every piece on two threads; each result lands in its own slot, so
/// the sums over them do not depend on the threads.
template <typename Work> std::vector<double> ForEachPiece(std::size_t count, const Work& work)
{
    std::vector<double> out(count);
    std::atomic<std::size_t> next{0};
    const auto run = [&] {
        for (std::size_t i = next++; i < count; i = next++)
            out[i] = work(i);
    };
    {
        std::jthread a{run}, b{run};
    }
    return out;
}

double Mean(const std::vector<double>& v)
{
    return v.empty() ? 0.0 : std::accumulate(v.begin(), v.end(), 0.0) / static_cast<double>(v.size());
}

double RootShare(const std::vector<int>& roots, const corpus::Labels& labels)
{
    int judged{}, agree{};
    for (std::size_t t = 0; t < roots.size(); ++t) {
        const int truth{corpus::RootAt(labels, (static_cast<double>(t) + 0.5) / 10.0)};
        if (truth < 0)
            continue;
        ++judged;
        agree += roots[t] == truth;
    }
    return judged > 0 ? static_cast<double>(agree) / judged : 0.0;
}

double BarShare(const Piece& p, const AnalysisModel& model)
{
    return corpus::ShareNear(
        analysis::MapToChannels(p.features, p.grid, kBarSlider, &model).markerTicks, p.labels.barStarts);
}

/// How well the plan's bars fit the labelled ones, as the mean of the share of bar markers
/// on bar starts (the slider at 2 s) and the F-measure of the bar starts themselves (where
/// red turns the figures): the markers alone cannot tell bars of two from bars of four.
double BarFit(const Piece& p, const AnalysisModel& model)
{
    const analysis::ChannelPlan plan{analysis::MapToChannels(p.features, p.grid, kBarSlider, &model)};
    std::vector<int> starts;
    std::vector<double> startSeconds;
    for (int t = 0; t < plan.channels.Length(); ++t)
        if (plan.channels.red[static_cast<std::size_t>(t)] & 1) {
            starts.push_back(t);
            startSeconds.push_back(t / 10.0);
        }
    const std::vector<double>& labelled{p.labels.barStarts};
    int found{};
    for (const double at : labelled)
        found += corpus::NearAny(startSeconds, at, 1e-9);
    const double precision{corpus::ShareNear(starts, labelled)};
    const double recall{labelled.empty() ? 0.0 : static_cast<double>(found) / static_cast<double>(labelled.size())};
    const double f{precision + recall > 0 ? 2 * precision * recall / (precision + recall) : 0.0};
    return 0.5 * (corpus::ShareNear(plan.markerTicks, labelled) + f);
}

double BeatShare(const Piece& p, const AnalysisModel& model)
{
    return corpus::ShareNear(
        analysis::MapToChannels(p.features, p.grid, kBeatSlider, &model).markerTicks, p.labels.beats);
}

/// Fits the chord regression: Adam on mini-batches of ticks, a fixed shuffle.
void FitChords(const std::vector<Piece>& pieces, AnalysisModel& model)
{
    std::vector<std::array<float, kChordInputs>> profiles;
    std::vector<int> targets;
    for (const Piece& p : pieces)
        for (int t = 0; t < p.features.Ticks(); ++t) {
            corpus::Quality quality{};
            const int root{corpus::RootAt(p.labels, (t + 0.5) / 10.0, &quality)};
            if (root < 0 || p.features.loudness[static_cast<std::size_t>(t)] < -60.0f)
                continue;
            std::array<float, kChordInputs> profile{};
            analysis::ChordProfile(p.features, t, profile);
            profiles.push_back(profile);
            targets.push_back(static_cast<int>(quality) * 12 + root);
        }
    constexpr int kParams{kQualities * (kChordInputs + 1)};
    std::vector<double> w(kParams, 0.0), m(kParams, 0.0), v(kParams, 0.0), g(kParams);
    const auto weight
        = [&](int q, std::size_t k) -> double& { return w[static_cast<std::size_t>(q * (kChordInputs + 1)) + k]; };
    std::vector<std::size_t> order(profiles.size());
    std::iota(order.begin(), order.end(), 0);
    std::mt19937 shuffle{7};
    constexpr int kEpochs{10};
    constexpr std::size_t kBatch{256};
    // The decay keeps the weights small enough to carry over to grooves and soundfonts the
    // fitting never heard: on groove families held out of the training part, 3e-3 names
    // more roots and, through cleaner chord changes, more bar starts than 1e-4 did.
    constexpr double kRate{0.02}, kDecay{3e-3};
    int step{};
    std::array<std::array<float, kChordInputs>, 12> turned{};
    std::array<double, kChordStates> score{};
    for (int epoch = 0; epoch < kEpochs; ++epoch) {
        for (std::size_t i = order.size(); i > 1; --i)
            std::swap(order[i - 1], order[shuffle() % i]);
        for (std::size_t start = 0; start < order.size(); start += kBatch) {
            std::fill(g.begin(), g.end(), 0.0);
            const std::size_t end{std::min(order.size(), start + kBatch)};
            for (std::size_t b = start; b < end; ++b) {
                const auto& profile{profiles[order[b]]};
                for (int r = 0; r < 12; ++r)
                    analysis::TurnToRoot(profile, r, turned[static_cast<std::size_t>(r)]);
                double top{-1e300};
                for (int q = 0; q < kQualities; ++q)
                    for (int r = 0; r < 12; ++r) {
                        double s{weight(q, kChordInputs)};
                        for (std::size_t k = 0; k < kChordInputs; ++k)
                            s += weight(q, k) * turned[static_cast<std::size_t>(r)][k];
                        score[static_cast<std::size_t>(q * 12 + r)] = s;
                        top = std::max(top, s);
                    }
                double sum{};
                for (double& s : score)
                    sum += (s = std::exp(s - top));
                for (int q = 0; q < kQualities; ++q)
                    for (int r = 0; r < 12; ++r) {
                        const int state{q * 12 + r};
                        const double d{score[static_cast<std::size_t>(state)] / sum - (state == targets[order[b]])};
                        if (std::abs(d) < 1e-7)
                            continue;
                        const auto& in{turned[static_cast<std::size_t>(r)]};
                        const auto base = static_cast<std::size_t>(q * (kChordInputs + 1));
                        for (std::size_t k = 0; k < kChordInputs; ++k)
                            g[base + k] += d * in[k];
                        g[base + kChordInputs] += d;
                    }
            }
            ++step;
            const double n{static_cast<double>(end - start)};
            for (std::size_t k = 0; k < w.size(); ++k) {
                const double grad{g[k] / n + kDecay * w[k]};
                m[k] = 0.9 * m[k] + 0.1 * grad;
                v[k] = 0.999 * v[k] + 0.001 * grad * grad;
                const double mh{m[k] / (1 - std::pow(0.9, step))}, vh{v[k] / (1 - std::pow(0.999, step))};
                w[k] -= kRate * mh / (std::sqrt(vh) + 1e-8);
            }
        }
    }
    for (int q = 0; q < kQualities; ++q) {
        for (std::size_t k = 0; k < kChordInputs; ++k)
            model.chordWeights[static_cast<std::size_t>(q)][k] = static_cast<float>(weight(q, k));
        model.chordBias[static_cast<std::size_t>(q)] = static_cast<float>(weight(q, kChordInputs));
    }
}

/// The change price that names the labelled roots best on the pieces.
void FitChangePrice(const std::vector<Piece>& pieces, AnalysisModel& model, double& share)
{
    std::vector<std::vector<std::array<float, kChordStates>>> logs(pieces.size());
    for (std::size_t i = 0; i < pieces.size(); ++i)
        logs[i] = analysis::ChordLogProbabilities(pieces[i].features, model);
    share = -1;
    float best{model.changePrice};
    for (const float price : {0.5f, 1.0f, 2.0f, 3.0f, 4.0f, 5.0f, 6.0f, 8.0f, 10.0f, 13.0f, 16.0f}) {
        AnalysisModel candidate{model};
        candidate.changePrice = price;
        const double s{Mean(ForEachPiece(pieces.size(), [&](std::size_t i) {
            return RootShare(analysis::LearnedRoots(pieces[i].features, candidate), pieces[i].labels);
        }))};
        if (s > share + 1e-9) {
            share = s;
            best = price;
        }
    }
    model.changePrice = best;

    // The live analysis decides each tick's chord from the sound up to it: its price is
    // fitted on the path decided so, forward only, from profiles without the ticks after.
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        const analysis::TrackFeatures& f{pieces[i].features};
        for (int t = 0; t < f.Ticks(); ++t)
            analysis::ChordLogProbabilitiesAt(f, t, model, logs[i][static_cast<std::size_t>(t)], true);
    }
    double liveShare{-1};
    for (const float price : {0.5f, 1.0f, 2.0f, 3.0f, 4.0f, 5.0f, 6.0f, 8.0f, 10.0f, 13.0f, 16.0f}) {
        const double s{Mean(ForEachPiece(pieces.size(), [&](std::size_t i) {
            std::vector<double> scores(kChordStates, 0.0);
            std::vector<int> roots(logs[i].size());
            int root{};
            for (std::size_t t = 0; t < logs[i].size(); ++t) {
                const int state{analysis::ChordPathStep(scores, logs[i][t], price)};
                if (pieces[i].features.loudness[t] >= analysis::kQuietChordLufs)
                    root = state % 12;
                roots[t] = root;
            }
            return RootShare(roots, pieces[i].labels);
        }))};
        if (s > liveShare + 1e-9) {
            liveShare = s;
            model.liveChangePrice = price;
        }
    }
}

/// Fits the bar regression on the beats the tracker found (with the model's tempo
/// octave): a beat within 100 ms of a labelled bar start starts a bar, one near another
/// labelled beat does not; beats near no labelled beat teach nothing.
void FitBeats(const std::vector<Piece>& pieces, AnalysisModel& model)
{
    std::vector<std::array<float, kBeatInputs>> xs;
    std::vector<double> ys;
    for (const Piece& p : pieces) {
        analysis::BeatGrid grid{p.grid};
        if (grid.beats.empty())
            continue;
        const std::vector<int> roots{analysis::LearnedRoots(p.features, model)};
        analysis::CorrectGrid(p.features, model, roots, grid);
        const auto inputs{analysis::BeatInputs(p.features, grid, roots)};
        for (std::size_t i = 0; i < grid.beats.size(); ++i) {
            const double at{grid.beats[i]};
            if (!corpus::NearAny(p.labels.beats, at))
                continue;
            xs.push_back(inputs[i]);
            ys.push_back(corpus::NearAny(p.labels.barStarts, at) ? 1.0 : 0.0);
        }
    }
    std::array<double, kBeatInputs + 1> w{}, m{}, v{};
    for (int step = 1; step <= 400; ++step) {
        std::array<double, kBeatInputs + 1> g{};
        for (std::size_t i = 0; i < xs.size(); ++i) {
            double s{w[kBeatInputs]};
            for (std::size_t k = 0; k < kBeatInputs; ++k)
                s += w[k] * xs[i][k];
            const double d{1.0 / (1.0 + std::exp(-s)) - ys[i]};
            for (std::size_t k = 0; k < kBeatInputs; ++k)
                g[k] += d * xs[i][k];
            g[kBeatInputs] += d;
        }
        for (std::size_t k = 0; k <= kBeatInputs; ++k) {
            const double grad{g[k] / std::max<std::size_t>(1, xs.size()) + 1e-4 * w[k]};
            m[k] = 0.9 * m[k] + 0.1 * grad;
            v[k] = 0.999 * v[k] + 0.001 * grad * grad;
            w[k] -= 0.05 * (m[k] / (1 - std::pow(0.9, step))) / (std::sqrt(v[k] / (1 - std::pow(0.999, step))) + 1e-8);
        }
    }
    for (std::size_t k = 0; k < kBeatInputs; ++k)
        model.beatWeights[k] = static_cast<float>(w[k]);
    model.beatBias = static_cast<float>(w[kBeatInputs]);
}

/// A stretch of a piece's beats the bar search weighs as one, with the metre and phase
/// its labels give there.
struct BarExample {
    std::vector<analysis::MetreHypothesis> hypotheses;
    std::size_t truth{}; ///< index into `hypotheses`
    double weight{1.0};
};

/// Seconds of the stretches the bar accents also learn from: as long as the live bar
/// search hears, so the accents serve both it and the whole track's.
constexpr double kAccentWindow{12.0};
/// The whole track counts this many windows' worth.
constexpr double kWholeTrackWeight{4.0};
/// A stretch whose best metre and phase find fewer of its labelled bar starts than this
/// (F-measure) teaches nothing: its labels fit none of them.
constexpr double kFewestAgreeing{0.67};

/// The hypotheses of beats [from, to) of `grid` (its inputs measured over just those
/// beats) and the one whose bar starts best match the labelled ones; none when no
/// hypothesis matches well.
std::optional<BarExample> BarExampleOf(const Piece& p, const analysis::BeatGrid& grid, const std::vector<int>& roots,
    std::size_t from, std::size_t to, const AnalysisModel& model)
{
    analysis::BeatGrid window{.period = grid.period, .beats = {}};
    window.beats.assign(grid.beats.begin() + static_cast<long>(from), grid.beats.begin() + static_cast<long>(to));
    const auto inputs{analysis::BeatInputs(p.features, window, roots)};
    BarExample example;
    example.hypotheses = analysis::MetreHypotheses(analysis::BarStartLogOdds(inputs, model), inputs, 0, inputs.size());
    double best{};
    for (std::size_t h = 0; h < example.hypotheses.size(); ++h) {
        const auto& hypothesis{example.hypotheses[h]};
        const int metre{analysis::kModelMetres[hypothesis.metre]};
        int hits{}, predicted{}, labelled{};
        for (std::size_t i = 0; i < window.beats.size(); ++i) {
            if (!corpus::NearAny(p.labels.beats, window.beats[i]))
                continue;
            const bool start{static_cast<int>(i) % metre == hypothesis.phase};
            const bool bar{corpus::NearAny(p.labels.barStarts, window.beats[i])};
            predicted += start;
            labelled += bar;
            hits += start && bar;
        }
        const double f{predicted + labelled > 0 ? 2.0 * hits / (predicted + labelled) : 0.0};
        if (f > best + 1e-9) {
            best = f;
            example.truth = h;
        }
    }
    if (best < kFewestAgreeing)
        return std::nullopt;
    return example;
}

/// Fits the metres' bonuses and bar accents: a softmax over each stretch's hypotheses
/// (the whole track and windows of `kAccentWindow`) that the labelled one should win,
/// on top of the bar regression's contrast. Adam on the whole batch.
void FitBarAccents(const std::vector<Piece>& pieces, AnalysisModel& model)
{
    std::vector<std::vector<BarExample>> perPiece(pieces.size());
    ForEachPiece(pieces.size(), [&](std::size_t n) {
        const Piece& p{pieces[n]};
        analysis::BeatGrid grid{p.grid};
        if (grid.beats.size() < 8)
            return 0.0;
        const std::vector<int> roots{analysis::LearnedRoots(p.features, model)};
        analysis::CorrectGrid(p.features, model, roots, grid);
        if (auto whole{BarExampleOf(p, grid, roots, 0, grid.beats.size(), model)}) {
            whole->weight = kWholeTrackWeight;
            perPiece[n].push_back(std::move(*whole));
        }
        const auto span{static_cast<std::size_t>(std::max(8.0, kAccentWindow / std::max(grid.period, 0.1)))};
        for (std::size_t from = 0; from + span <= grid.beats.size(); from += span / 2)
            if (auto window{BarExampleOf(p, grid, roots, from, from + span, model)})
                perPiece[n].push_back(std::move(*window));
        return 0.0;
    });
    std::vector<BarExample> examples;
    for (auto& piece : perPiece)
        for (auto& example : piece)
            examples.push_back(std::move(example));

    constexpr std::size_t kBonuses{analysis::kModelMetres.size()};
    constexpr std::size_t kAccents{analysis::kBeatInputs};
    constexpr std::size_t kParams{kBonuses * (1 + kAccents)};
    // The bonuses first, then each metre's accent weights.
    const auto accentIndex = [](std::size_t metre, std::size_t k) { return kBonuses + metre * kAccents + k; };
    std::vector<double> w(kParams), m(kParams), v(kParams);
    for (std::size_t k = 0; k < kBonuses; ++k)
        w[k] = model.metreBonus[k];
    double totalWeight{};
    for (const BarExample& e : examples)
        totalWeight += e.weight;
    constexpr double kRate{0.02}, kDecay{0.03};
    std::vector<double> g(kParams), scores;
    for (int step = 1; step <= 600 && totalWeight > 0; ++step) {
        std::fill(g.begin(), g.end(), 0.0);
        for (const BarExample& e : examples) {
            scores.assign(e.hypotheses.size(), 0.0);
            double top{-1e300};
            for (std::size_t h = 0; h < e.hypotheses.size(); ++h) {
                const auto& hyp{e.hypotheses[h]};
                double s{hyp.contrast + w[hyp.metre]};
                for (std::size_t k = 0; k < kAccents; ++k)
                    s += w[accentIndex(hyp.metre, k)] * hyp.accents[k];
                scores[h] = s;
                top = std::max(top, s);
            }
            double sum{};
            for (double& s : scores)
                sum += s = std::exp(s - top);
            for (std::size_t h = 0; h < e.hypotheses.size(); ++h) {
                const auto& hyp{e.hypotheses[h]};
                const double d{e.weight * (scores[h] / sum - (h == e.truth ? 1.0 : 0.0))};
                g[hyp.metre] += d;
                for (std::size_t k = 0; k < kAccents; ++k)
                    g[accentIndex(hyp.metre, k)] += d * hyp.accents[k];
            }
        }
        for (std::size_t k = 0; k < kParams; ++k) {
            const double grad{g[k] / totalWeight + (k >= kBonuses ? kDecay * w[k] : 0.0)};
            m[k] = 0.9 * m[k] + 0.1 * grad;
            v[k] = 0.999 * v[k] + 0.001 * grad * grad;
            w[k] -= kRate * (m[k] / (1 - std::pow(0.9, step))) / (std::sqrt(v[k] / (1 - std::pow(0.999, step))) + 1e-8);
        }
    }
    for (std::size_t metre = 0; metre < kBonuses; ++metre) {
        model.metreBonus[metre] = static_cast<float>(w[metre]);
        for (std::size_t k = 0; k < kAccents; ++k)
            model.barAccents[metre][k] = static_cast<float>(w[accentIndex(metre, k)]);
    }
}

/// The metres' bonuses and the section margin, one at a time, twice over: each takes the
/// value with the best `BarFit`.
double FitMetres(const std::vector<Piece>& pieces, AnalysisModel& model)
{
    const auto bars = [&](const AnalysisModel& candidate) {
        return Mean(ForEachPiece(pieces.size(), [&](std::size_t i) { return BarFit(pieces[i], candidate); }));
    };
    double best{bars(model)};
    for (int round = 0; round < 2; ++round) {
        for (std::size_t m = 0; m <= model.metreBonus.size(); ++m) {
            const bool margin{m == model.metreBonus.size()};
            float& value{margin ? model.sectionMargin : model.metreBonus[m]};
            const std::vector<float> candidates{margin ? std::vector<float>{0.3f, 1.0f, 2.5f, 100.0f}
                                                       : std::vector<float>{-2.0f, -1.0f, -0.5f, 0.0f, 0.5f, 1.0f}};
            for (const float c : candidates) {
                const float kept{value};
                value = c;
                const double s{bars(model)};
                if (s > best + 1e-9)
                    best = s;
                else
                    value = kept;
            }
        }
    }
    return best;
}

/// A logistic regression on a few examples: Adam on the whole batch, inputs as they are.
std::array<float, analysis::kGridInputs> FitLogistic(
    const std::vector<std::array<float, analysis::kGridInputs>>& xs, const std::vector<double>& ys)
{
    constexpr std::size_t kInputs{analysis::kGridInputs};
    std::array<double, kInputs> w{}, m{}, v{};
    for (int step = 1; step <= 2000 && !xs.empty(); ++step) {
        std::array<double, kInputs> g{};
        for (std::size_t i = 0; i < xs.size(); ++i) {
            double s{};
            for (std::size_t k = 0; k < kInputs; ++k)
                s += w[k] * xs[i][k];
            const double d{1.0 / (1.0 + std::exp(-s)) - ys[i]};
            for (std::size_t k = 0; k < kInputs; ++k)
                g[k] += d * xs[i][k];
        }
        for (std::size_t k = 0; k < kInputs; ++k) {
            const double grad{g[k] / static_cast<double>(xs.size()) + 1e-3 * w[k]};
            m[k] = 0.9 * m[k] + 0.1 * grad;
            v[k] = 0.999 * v[k] + 0.001 * grad * grad;
            w[k] -= 0.05 * (m[k] / (1 - std::pow(0.9, step))) / (std::sqrt(v[k] / (1 - std::pow(0.999, step))) + 1e-8);
        }
    }
    std::array<float, kInputs> out{};
    for (std::size_t k = 0; k < kInputs; ++k)
        out[k] = static_cast<float>(w[k]);
    return out;
}

/// Share of `times` within the tolerance of a labelled beat.
double OnBeats(const std::vector<double>& times, const corpus::Labels& labels)
{
    if (times.empty())
        return 0;
    int near{};
    for (const double at : times)
        near += corpus::NearAny(labels.beats, at);
    return static_cast<double>(near) / static_cast<double>(times.size());
}

/// Median gap between successive `times`, or 0 with fewer than two.
double MedianGap(const std::vector<double>& times)
{
    std::vector<double> gaps;
    for (std::size_t i = 1; i < times.size(); ++i)
        gaps.push_back(times[i] - times[i - 1]);
    if (gaps.empty())
        return 0;
    std::nth_element(gaps.begin(), gaps.begin() + static_cast<long>(gaps.size() / 2), gaps.end());
    return gaps[gaps.size() / 2];
}

/// The tempo choice: a conditional logit over each piece's candidate grids (the grid after
/// the phase correction), fitted so that the candidates whose beats land on the labelled
/// beats at the labelled spacing take the probability. Pieces none of whose candidates
/// are right teach nothing.
std::string FitTempo(const std::vector<Piece>& pieces, AnalysisModel& model)
{
    using analysis::kTempoCandidates;
    using analysis::kTempoInputs;
    struct Example {
        std::vector<std::array<float, kTempoInputs>> inputs;
        std::vector<bool> right;
    };
    model.tempoWeights.fill(0.0f);
    model.halveWeights.fill(0.0f);
    std::vector<Example> examples(pieces.size());
    ForEachPiece(pieces.size(), [&](std::size_t i) {
        const Piece& p{pieces[i]};
        analysis::BeatGrid grid{p.grid};
        const std::vector<int> roots{analysis::LearnedRoots(p.features, model)};
        analysis::CorrectGrid(p.features, model, roots, grid);
        const double labelled{MedianGap(p.labels.beats)};
        if (grid.beats.size() < 8 || labelled <= 0)
            return 0.0;
        for (const std::size_t index : analysis::TempoContenders(p.features, grid)) {
            const analysis::TempoCandidate& c{kTempoCandidates[index]};
            const analysis::BeatGrid candidate{analysis::Regrid(grid, c)};
            examples[i].inputs.push_back(analysis::TempoInputs(p.features, candidate, c, roots));
            examples[i].right.push_back(OnBeats(candidate.beats, p.labels) > 0.75
                && std::abs(MedianGap(candidate.beats) / labelled - 1) < 0.12);
        }
        return 0.0;
    });
    std::erase_if(
        examples, [](const Example& e) { return std::find(e.right.begin(), e.right.end(), true) == e.right.end(); });
    std::array<double, kTempoInputs> w{}, m{}, v{};
    std::vector<double> p;
    for (int step = 1; step <= 3000; ++step) {
        std::array<double, kTempoInputs> g{};
        for (const Example& e : examples) {
            p.resize(e.inputs.size());
            double top{-1e300};
            for (std::size_t c = 0; c < p.size(); ++c) {
                p[c] = 0;
                for (std::size_t k = 0; k < kTempoInputs; ++k)
                    p[c] += w[k] * e.inputs[c][k];
                top = std::max(top, p[c]);
            }
            double all{}, right{};
            for (std::size_t c = 0; c < p.size(); ++c) {
                p[c] = std::exp(p[c] - top);
                all += p[c];
                right += e.right[c] ? p[c] : 0.0;
            }
            for (std::size_t c = 0; c < p.size(); ++c) {
                const double d{p[c] / all - (e.right[c] ? p[c] / right : 0.0)};
                for (std::size_t k = 0; k < kTempoInputs; ++k)
                    g[k] += d * e.inputs[c][k];
            }
        }
        for (std::size_t k = 0; k < kTempoInputs; ++k) {
            const double grad{g[k] / static_cast<double>(std::max<std::size_t>(1, examples.size())) + 1e-3 * w[k]};
            m[k] = 0.9 * m[k] + 0.1 * grad;
            v[k] = 0.999 * v[k] + 0.001 * grad * grad;
            w[k] -= 0.03 * (m[k] / (1 - std::pow(0.9, step))) / (std::sqrt(v[k] / (1 - std::pow(0.999, step))) + 1e-8);
        }
    }
    for (std::size_t k = 0; k < kTempoInputs; ++k)
        model.tempoWeights[k] = static_cast<float>(w[k]);
    std::size_t moved{}, chosenRight{};
    for (const Example& e : examples) {
        moved += !e.right[0];
        std::size_t best{};
        double bestScore{};
        for (std::size_t c = 0; c < e.inputs.size(); ++c) {
            double s{};
            for (std::size_t k = 0; k < kTempoInputs; ++k)
                s += static_cast<double>(model.tempoWeights[k]) * e.inputs[c][k];
            if (c == 0 || s > bestScore) {
                bestScore = s;
                best = c;
            }
        }
        chosenRight += e.right[best];
    }
    char line[160];
    std::snprintf(line, sizeof line, "tempo: %zu of %zu grids need another candidate, the choice is right on %zu",
        moved, examples.size(), chosenRight);
    return line;
}

/// The grid corrections: a grid whose beats miss the labelled beats while the points
/// half-way between them hit, should move; then the tempo choice (`FitTempo`); last, one
/// whose beats come twice as often as the labelled beats should be halved.
std::string FitGrid(const std::vector<Piece>& pieces, AnalysisModel& model)
{
    std::vector<std::array<float, analysis::kGridInputs>> xs;
    std::vector<double> ys;
    for (const Piece& p : pieces) {
        if (p.grid.beats.size() < 8)
            continue;
        std::vector<double> mids;
        for (std::size_t i = 0; i + 1 < p.grid.beats.size(); ++i)
            mids.push_back(0.5 * (p.grid.beats[i] + p.grid.beats[i + 1]));
        const double on{OnBeats(p.grid.beats, p.labels)}, mid{OnBeats(mids, p.labels)};
        if (on > 0.7 || (on < 0.3 && mid > 0.7)) {
            xs.push_back(analysis::GridInputs(p.features, p.grid));
            ys.push_back(on > 0.7 ? 0.0 : 1.0);
        }
    }
    model.shiftWeights = FitLogistic(xs, ys);
    const auto shifts = std::count(ys.begin(), ys.end(), 1.0);
    std::string tempo{FitTempo(pieces, model)};
    xs.clear();
    ys.clear();
    for (const Piece& p : pieces) {
        analysis::BeatGrid grid{p.grid};
        const double labelled{MedianGap(p.labels.beats)};
        if (grid.beats.size() < 8 || labelled <= 0)
            continue;
        analysis::CorrectGrid(p.features, model, analysis::LearnedRoots(p.features, model), grid);
        const double ratio{labelled / grid.period};
        if (std::abs(ratio - 1) < 0.1 || std::abs(ratio - 2) < 0.2) {
            xs.push_back(analysis::GridInputs(p.features, grid));
            ys.push_back(std::abs(ratio - 2) < 0.2 ? 1.0 : 0.0);
        }
    }
    model.halveWeights = FitLogistic(xs, ys);
    char line[120];
    std::snprintf(line, sizeof line, "grid corrections: %ld of the grids to move, %ld to halve; ",
        static_cast<long>(shifts), static_cast<long>(std::count(ys.begin(), ys.end(), 1.0)));
    return line + tempo;
}

std::string Format(const char* step, const Figures& f)
{
    char line[160];
    std::snprintf(line, sizeof line, "%s: beats %.3f, bars %.3f, roots %.3f", step, f.beats, f.bars, f.roots);
    return line;
}

} // namespace

Figures Measure(const std::vector<Piece>& pieces, const AnalysisModel& model)
{
    Figures f;
    f.beats = Mean(ForEachPiece(pieces.size(), [&](std::size_t i) { return BeatShare(pieces[i], model); }));
    f.bars = Mean(ForEachPiece(pieces.size(), [&](std::size_t i) { return BarShare(pieces[i], model); }));
    f.roots = Mean(ForEachPiece(pieces.size(),
        [&](std::size_t i) { return RootShare(analysis::LearnedRoots(pieces[i].features, model), pieces[i].labels); }));
    return f;
}

void Report(
    const std::vector<Piece>& pieces, const AnalysisModel& model, const std::function<void(const std::string&)>& log)
{
    for (const Piece& p : pieces) {
        analysis::BeatGrid grid{p.grid};
        analysis::CorrectGrid(p.features, model, analysis::LearnedRoots(p.features, model), grid);
        const double beat{MedianGap(p.labels.beats)};
        const analysis::ChannelPlan plan{analysis::MapToChannels(p.features, p.grid, kBarSlider, &model)};
        char line[240];
        std::snprintf(line, sizeof line,
            "%-34s %-5s beat %.3f grid %.3f -> %.3f (x%.2f) metre %d  beats %.2f bars %.2f roots %.2f", p.name.c_str(),
            p.labels.metre.c_str(), beat, p.grid.period, grid.period, grid.period > 0 ? beat / grid.period : 0.0,
            plan.beatsPerBar, BeatShare(p, model), BarShare(p, model),
            RootShare(analysis::LearnedRoots(p.features, model), p.labels));
        log(line);
    }
}

AnalysisModel Train(const std::vector<Piece>& pieces, const std::function<void(const std::string&)>& log)
{
    AnalysisModel model;
    model.metreBonus = {0.0f, 0.05f, 0.1f, -0.25f, -0.5f};
    FitChords(pieces, model);
    double roots{};
    FitChangePrice(pieces, model, roots);
    log("chords fitted: roots " + std::to_string(roots) + " at change price " + std::to_string(model.changePrice)
        + ", live " + std::to_string(model.liveChangePrice));
    log(FitGrid(pieces, model));
    FitBeats(pieces, model);
    FitBarAccents(pieces, model);
    log("bars fitted: bars " + std::to_string(FitMetres(pieces, model)));
    log(Format("on the training pieces", Measure(pieces, model)));
    return model;
}

} // namespace kalvotune::training
