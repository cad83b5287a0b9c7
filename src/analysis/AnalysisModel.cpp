#include "analysis/AnalysisModel.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <limits>
#include <optional>
#include <sstream>

namespace kalvotune::analysis {

/// The text of `AnalysisModel.txt`, built into the program (generated at build time).
extern const char* const kShippedAnalysisModel;

namespace {

constexpr const char* kHeader{"kalvotune-analysis-model 1"};

template <std::size_t N> void WriteList(std::ostringstream& out, const char* name, const std::array<float, N>& values)
{
    out << name;
    for (const float v : values)
        out << ' ' << v;
    out << '\n';
}

template <std::size_t N> bool ReadList(std::istringstream& words, std::array<float, N>& values)
{
    for (float& v : values)
        if (!(words >> v) || !std::isfinite(v))
            return false;
    std::string rest;
    return !(words >> rest);
}

void Normalise(std::array<float, 12>& v)
{
    float top{};
    for (const float x : v)
        top = std::max(top, x);
    for (float& x : v)
        x = top > 1e-9f ? x / top : 0.0f;
}

} // namespace

float PeakNear(const TrackFeatures& features, double seconds)
{
    const auto frames = static_cast<long>(features.onsetStrength.size());
    const auto frame = static_cast<long>(std::lround(seconds * 10.0 * kFramesPerTick));
    float peak{};
    for (long k = std::max(0L, frame - 2); k <= std::min(frames - 1, frame + 2); ++k)
        peak = std::max(peak, features.onsetStrength[static_cast<std::size_t>(k)]);
    return peak;
}

std::string WriteAnalysisModel(const AnalysisModel& model)
{
    std::ostringstream out;
    out.precision(7);
    out << kHeader << '\n';
    for (int q = 0; q < kQualities; ++q) {
        out << "chordWeights" << q;
        for (const float v : model.chordWeights[static_cast<std::size_t>(q)])
            out << ' ' << v;
        out << '\n';
    }
    WriteList(out, "chordBias", model.chordBias);
    out << "changePrice " << model.changePrice << '\n';
    out << "liveChangePrice " << model.liveChangePrice << '\n';
    WriteList(out, "beatWeights", model.beatWeights);
    out << "beatBias " << model.beatBias << '\n';
    WriteList(out, "metreBonus", model.metreBonus);
    out << "sectionMargin " << model.sectionMargin << '\n';
    out << "barAccents";
    for (const auto& metre : model.barAccents)
        for (const float v : metre)
            out << ' ' << v;
    out << '\n';
    WriteList(out, "shiftWeights", model.shiftWeights);
    WriteList(out, "tempoWeights", model.tempoWeights);
    WriteList(out, "halveWeights", model.halveWeights);
    return out.str();
}

bool ParseAnalysisModel(const std::string& text, AnalysisModel& model, std::string& error)
{
    std::istringstream in{text};
    std::string line;
    if (!std::getline(in, line) || line != kHeader) {
        error = "это не модель разбора музыки";
        return false;
    }
    AnalysisModel read;
    constexpr int kLines{kQualities + 11};
    int seen{};
    std::array<bool, kLines> got{};
    while (std::getline(in, line)) {
        std::istringstream words{line};
        std::string name;
        if (!(words >> name))
            continue;
        std::array<float, 1> one{};
        int index{-1};
        bool ok{};
        if (name.starts_with("chordWeights") && name.size() == 13 && name[12] >= '0'
            && name[12] < static_cast<char>('0' + kQualities)) {
            index = name[12] - '0';
            ok = ReadList(words, read.chordWeights[static_cast<std::size_t>(index)]);
        } else if (name == "chordBias") {
            index = kQualities;
            ok = ReadList(words, read.chordBias);
        } else if (name == "changePrice") {
            index = kQualities + 1;
            ok = ReadList(words, one) && one[0] >= 0;
            read.changePrice = one[0];
        } else if (name == "liveChangePrice") {
            index = kQualities + 8;
            ok = ReadList(words, one) && one[0] >= 0;
            read.liveChangePrice = one[0];
        } else if (name == "beatWeights") {
            index = kQualities + 2;
            ok = ReadList(words, read.beatWeights);
        } else if (name == "beatBias") {
            index = kQualities + 3;
            ok = ReadList(words, one);
            read.beatBias = one[0];
        } else if (name == "metreBonus") {
            index = kQualities + 4;
            ok = ReadList(words, read.metreBonus);
        } else if (name == "sectionMargin") {
            index = kQualities + 5;
            ok = ReadList(words, one);
            read.sectionMargin = one[0];
        } else if (name == "shiftWeights") {
            index = kQualities + 6;
            ok = ReadList(words, read.shiftWeights);
        } else if (name == "tempoWeights") {
            index = kQualities + 7;
            ok = ReadList(words, read.tempoWeights);
        } else if (name == "halveWeights") {
            index = kQualities + 9;
            ok = ReadList(words, read.halveWeights);
        } else if (name == "barAccents") {
            index = kQualities + 10;
            std::array<float, kModelMetres.size() * kBeatInputs> flat{};
            ok = ReadList(words, flat);
            for (std::size_t k = 0; k < flat.size(); ++k)
                read.barAccents[k / kBeatInputs][k % kBeatInputs] = flat[k];
        }
        if (index < 0 || !ok) {
            error = "строка «" + line.substr(0, 40) + "» испорчена";
            return false;
        }
        if (!got[static_cast<std::size_t>(index)])
            ++seen;
        got[static_cast<std::size_t>(index)] = true;
    }
    if (seen != kLines) {
        error = "в ней не хватает строк";
        return false;
    }
    model = read;
    return true;
}

bool LoadAnalysisModel(const std::filesystem::path& path, AnalysisModel& model, std::string& error)
{
    std::ifstream in{path, std::ios::binary};
    if (!in) {
        error = "Не удалось прочитать модель разбора музыки " + path.string() + ": файла нет";
        return false;
    }
    std::ostringstream text;
    text << in.rdbuf();
    std::string why;
    if (!ParseAnalysisModel(text.str(), model, why)) {
        error = "Не удалось прочитать модель разбора музыки " + path.string() + ": " + why;
        return false;
    }
    return true;
}

const AnalysisModel* ShippedAnalysisModel()
{
    static const std::optional<AnalysisModel> shipped{[]() -> std::optional<AnalysisModel> {
        AnalysisModel model;
        std::string error;
        if (!ParseAnalysisModel(kShippedAnalysisModel, model, error))
            return std::nullopt;
        return model;
    }()};
    return shipped ? &*shipped : nullptr;
}

void ChordProfile(const TrackFeatures& f, int tick, std::array<float, kChordInputs>& profile, bool causal)
{
    const int ticks{causal ? tick + 1 : f.Ticks()};
    std::array<float, 12> chroma{f.centredChroma[static_cast<std::size_t>(tick)]};
    std::array<float, 12> bass{f.centredBassChroma[static_cast<std::size_t>(tick)]};
    std::array<float, 12> chromaAround{}, bassAround{};
    for (int t = std::max(0, tick - kChordContextTicks); t <= std::min(ticks - 1, tick + kChordContextTicks); ++t)
        for (std::size_t c = 0; c < 12; ++c) {
            chromaAround[c] += f.centredChroma[static_cast<std::size_t>(t)][c];
            bassAround[c] += f.centredBassChroma[static_cast<std::size_t>(t)][c];
        }
    Normalise(chroma);
    Normalise(bass);
    Normalise(chromaAround);
    Normalise(bassAround);
    std::copy(chroma.begin(), chroma.end(), profile.begin());
    std::copy(chromaAround.begin(), chromaAround.end(), profile.begin() + 12);
    std::copy(bass.begin(), bass.end(), profile.begin() + 24);
    std::copy(bassAround.begin(), bassAround.end(), profile.begin() + 36);
}

void TurnToRoot(const std::array<float, kChordInputs>& profile, int root, std::array<float, kChordInputs>& inputs)
{
    for (std::size_t block = 0; block < kChordInputs; block += 12)
        for (int k = 0; k < 12; ++k)
            inputs[block + static_cast<std::size_t>(k)] = profile[block + static_cast<std::size_t>((root + k) % 12)];
}

void ChordLogProbabilitiesAt(const TrackFeatures& features, int tick, const AnalysisModel& model,
    std::array<float, kChordStates>& row, bool causal)
{
    if (features.loudness[static_cast<std::size_t>(tick)] < kQuietChordLufs) {
        row.fill(0.0f);
        return;
    }
    std::array<float, kChordInputs> profile{}, inputs{};
    std::array<double, kChordStates> score{};
    double top{-std::numeric_limits<double>::infinity()};
    ChordProfile(features, tick, profile, causal);
    for (int root = 0; root < 12; ++root) {
        TurnToRoot(profile, root, inputs);
        for (int q = 0; q < kQualities; ++q) {
            double s{model.chordBias[static_cast<std::size_t>(q)]};
            const auto& w{model.chordWeights[static_cast<std::size_t>(q)]};
            for (std::size_t k = 0; k < kChordInputs; ++k)
                s += static_cast<double>(w[k]) * inputs[k];
            score[static_cast<std::size_t>(q * 12 + root)] = s;
            top = std::max(top, s);
        }
    }
    double sum{};
    for (const double s : score)
        sum += std::exp(s - top);
    const double logSum{top + std::log(sum)};
    for (std::size_t s = 0; s < kChordStates; ++s)
        row[s] = static_cast<float>(score[s] - logSum);
}

std::vector<std::array<float, kChordStates>> ChordLogProbabilities(
    const TrackFeatures& features, const AnalysisModel& model)
{
    std::vector<std::array<float, kChordStates>> out(static_cast<std::size_t>(features.Ticks()));
    for (int t = 0; t < features.Ticks(); ++t)
        ChordLogProbabilitiesAt(features, t, model, out[static_cast<std::size_t>(t)]);
    return out;
}

std::vector<int> DecodeChords(const std::vector<std::array<float, kChordStates>>& logProbabilities,
    const std::vector<bool>& quiet, float changePrice)
{
    const auto ticks = logProbabilities.size();
    std::vector<double> score(kChordStates, 0.0), next(kChordStates);
    std::vector<std::array<std::uint8_t, kChordStates>> from(ticks);
    for (std::size_t t = 0; t < ticks; ++t) {
        const auto best = static_cast<std::size_t>(std::max_element(score.begin(), score.end()) - score.begin());
        for (std::size_t s = 0; s < kChordStates; ++s) {
            const double stay{score[s]}, change{score[best] - changePrice};
            const bool changes{change > stay};
            from[t][s] = static_cast<std::uint8_t>(changes ? best : s);
            next[s] = (changes ? change : stay) + logProbabilities[t][s];
        }
        score.swap(next);
    }
    std::vector<int> states(ticks, -1);
    if (ticks == 0)
        return states;
    auto s = static_cast<std::size_t>(std::max_element(score.begin(), score.end()) - score.begin());
    for (std::size_t t = ticks; t-- > 0;) {
        states[t] = quiet[t] ? -1 : static_cast<int>(s);
        s = from[t][s];
    }
    return states;
}

int ChordPathStep(std::vector<double>& scores, const std::array<float, kChordStates>& row, double changePrice)
{
    const double leader{*std::max_element(scores.begin(), scores.end())};
    std::size_t best{};
    for (std::size_t s = 0; s < scores.size(); ++s) {
        // Kept near 0 (less the leader), so the scores never grow without bound.
        scores[s] = std::max(scores[s], leader - changePrice) + row[s] - leader;
        if (scores[s] > scores[best])
            best = s;
    }
    return static_cast<int>(best);
}

std::vector<int> RootsOfChordPath(const std::vector<int>& states)
{
    int root{0};
    for (const int s : states)
        if (s >= 0) {
            root = s % 12;
            break;
        }
    std::vector<int> roots(states.size());
    for (std::size_t t = 0; t < states.size(); ++t) {
        if (states[t] >= 0)
            root = states[t] % 12;
        roots[t] = root;
    }
    return roots;
}

std::vector<int> LearnedRoots(const TrackFeatures& features, const AnalysisModel& model)
{
    const int ticks{features.Ticks()};
    std::vector<bool> quiet(static_cast<std::size_t>(ticks));
    for (int t = 0; t < ticks; ++t)
        quiet[static_cast<std::size_t>(t)] = features.loudness[static_cast<std::size_t>(t)] < kQuietChordLufs;
    return RootsOfChordPath(DecodeChords(ChordLogProbabilities(features, model), quiet, model.changePrice));
}

std::array<float, kGridInputs> GridInputs(const TrackFeatures& f, const BeatGrid& grid)
{
    std::array<float, kGridInputs> inputs{1.0f, static_cast<float>(grid.period)};
    const std::size_t beats{grid.beats.size()};
    if (beats < 4)
        return inputs;
    // Logs floored at a twentieth of the track's mean, so that silence between the beats
    // (a bare click track) counts as quiet, not as infinitely quieter than the beats.
    double meanOnset{}, meanBass{};
    for (const float v : f.onsetStrength)
        meanOnset += v;
    for (const float v : f.bassEnergy)
        meanBass += v;
    const double onsetFloor{1e-9 + 0.05 * meanOnset / std::max<std::size_t>(1, f.onsetStrength.size())};
    const double bassFloor{1e-9 + 0.05 * meanBass / std::max<std::size_t>(1, f.bassEnergy.size())};
    const auto onset = [&](double seconds) { return std::log(onsetFloor + PeakNear(f, seconds)); };
    const auto rise = [&](double seconds) {
        const int tick{static_cast<int>(std::lround(seconds * 10.0))};
        if (tick <= 0 || tick + 1 >= f.Ticks())
            return 0.0;
        const auto at = [&](int t) { return std::log(bassFloor + f.bassEnergy[static_cast<std::size_t>(t)]); };
        return std::max(at(tick) - at(tick - 1), at(tick + 1) - at(tick - 1));
    };
    double onsetOn{}, onsetMid{}, riseOn{}, riseMid{};
    std::array<double, 2> onsetParity{}, riseParity{};
    for (std::size_t i = 0; i + 1 < beats; ++i) {
        const double at{grid.beats[i]}, mid{0.5 * (grid.beats[i] + grid.beats[i + 1])};
        const double o{onset(at)}, r{rise(at)};
        onsetOn += o;
        riseOn += r;
        onsetMid += onset(mid);
        riseMid += rise(mid);
        onsetParity[i % 2] += o;
        riseParity[i % 2] += r;
    }
    const double n{static_cast<double>(beats - 1)};
    inputs[2] = static_cast<float>(std::clamp((onsetOn - onsetMid) / n, -1.5, 1.5));
    inputs[3] = static_cast<float>(std::clamp((riseOn - riseMid) / n, -1.5, 1.5));
    // The even and the odd beats' difference is capped like the other inputs: a bass that
    // sounds on every other beat only must not outweigh all the rest of a grid.
    inputs[4] = static_cast<float>(std::min(std::abs(onsetParity[0] - onsetParity[1]) / n * 2, 1.5));
    inputs[5] = static_cast<float>(std::min(std::abs(riseParity[0] - riseParity[1]) / n * 2, 1.5));
    return inputs;
}

BeatGrid Regrid(const BeatGrid& grid, const TempoCandidate& candidate)
{
    BeatGrid out{grid.period * candidate.ratio, {}};
    const std::size_t beats{grid.beats.size()};
    if (candidate.ratio == 1.0 && candidate.offset == 0.0)
        return grid;
    for (double at = candidate.offset; beats >= 2 && at <= static_cast<double>(beats - 1) + 1e-9;
         at += candidate.ratio) {
        const auto below = std::min(static_cast<std::size_t>(at + 1e-9), beats - 2);
        const double share{std::clamp(at - static_cast<double>(below), 0.0, 1.0)};
        out.beats.push_back(grid.beats[below] + share * (grid.beats[below + 1] - grid.beats[below]));
    }
    return out;
}

double BeatStrength(const TrackFeatures& features, const std::vector<double>& beats, bool withLowEnd)
{
    double sum{};
    for (const double at : beats) {
        const float peak{PeakNear(features, at)};
        const int tick{std::clamp(static_cast<int>(std::lround(at * 10.0)), 0, features.Ticks() - 1)};
        sum += std::log(1e-6 + peak)
            + (withLowEnd ? std::log(1e-6 + features.bassEnergy[static_cast<std::size_t>(tick)]) : 0.0);
    }
    return beats.empty() ? -1e300 : sum / static_cast<double>(beats.size());
}

std::array<float, kTempoInputs> TempoInputs(const TrackFeatures& f, const BeatGrid& candidate,
    const TempoCandidate& choice, const std::vector<int>& rootPerTick)
{
    std::array<float, kTempoInputs> inputs{};
    inputs[0] = choice.ratio == 1.5 ? 1.0f : 0.0f;
    inputs[1] = choice.ratio < 1.0 ? 1.0f : 0.0f;
    inputs[2] = choice.ratio == 3.0 ? 1.0f : 0.0f;
    const std::size_t beats{candidate.beats.size()};
    if (beats < 4 || candidate.period <= 0)
        return inputs;
    double meanOnset{};
    for (const float v : f.onsetStrength)
        meanOnset += v;
    const double floor{1e-9 + 0.05 * meanOnset / static_cast<double>(std::max<std::size_t>(1, f.onsetStrength.size()))};
    // Each ratio learns at which tempi of the grid found it is the music's beat.
    const double found{std::log2(candidate.period / choice.ratio / 0.5)};
    for (std::size_t r = 0; r < 3; ++r)
        inputs[3 + r] = inputs[r] * static_cast<float>(found);
    const std::array<float, kGridInputs> grid{GridInputs(f, candidate)};
    std::copy(grid.begin() + 2, grid.end(), inputs.begin() + 6);
    // Harmonic rhythm: chords change on beats, every one to eight beats.
    std::vector<int> changes;
    for (std::size_t t = 1; t < rootPerTick.size(); ++t)
        if (rootPerTick[t] != rootPerTick[t - 1])
            changes.push_back(static_cast<int>(t));
    if (!changes.empty()) {
        std::size_t onBeat{};
        for (const int tick : changes) {
            const auto it = std::lower_bound(candidate.beats.begin(), candidate.beats.end(), (tick - 1.5) / 10.0);
            onBeat += it != candidate.beats.end() && *it <= (tick + 1.5) / 10.0;
        }
        inputs[10] = static_cast<float>(static_cast<double>(onBeat) / static_cast<double>(changes.size()));
        const double span{candidate.beats.back() - candidate.beats.front()};
        const double perChange{span / candidate.period / static_cast<double>(changes.size())};
        inputs[11] = static_cast<float>(std::clamp(std::log2(std::max(perChange, 1e-3)), -2.0, 5.0));
    }
    double spread{};
    for (std::size_t i = 1; i < beats; ++i) {
        const double gap{(candidate.beats[i] - candidate.beats[i - 1]) / candidate.period - 1.0};
        spread += gap * gap;
    }
    inputs[12] = static_cast<float>(std::min(1.0, std::sqrt(spread / static_cast<double>(beats - 1))));
    // Onsets on the beats against a third and two thirds of the way to the next: a beat
    // of compound time divides in three, and the beat stands out from its thirds.
    double thirds{};
    for (std::size_t i = 0; i + 1 < beats; ++i) {
        const double at{candidate.beats[i]}, gap{candidate.beats[i + 1] - at};
        thirds += std::log(floor + PeakNear(f, at))
            - 0.5 * (std::log(floor + PeakNear(f, at + gap / 3)) + std::log(floor + PeakNear(f, at + 2 * gap / 3)));
    }
    inputs[13] = static_cast<float>(std::clamp(thirds / static_cast<double>(beats - 1), -3.0, 3.0));
    return inputs;
}

std::vector<std::size_t> TempoContenders(const TrackFeatures& features, const BeatGrid& grid)
{
    std::vector<std::size_t> contenders;
    double strongest{};
    for (std::size_t c = 0; c < kTempoCandidates.size(); ++c) {
        const double strength{c == 0 ? 0.0 : BeatStrength(features, Regrid(grid, kTempoCandidates[c]).beats, false)};
        if (c == 0 || kTempoCandidates[c].ratio != kTempoCandidates[contenders.back()].ratio) {
            contenders.push_back(c);
            strongest = strength;
        } else if (strength > strongest) {
            contenders.back() = c;
            strongest = strength;
        }
    }
    return contenders;
}

std::size_t ChooseTempo(const TrackFeatures& features, const BeatGrid& grid, const std::vector<int>& rootPerTick,
    const AnalysisModel& model)
{
    std::size_t best{};
    double bestScore{};
    for (const std::size_t c : TempoContenders(features, grid)) {
        const std::array<float, kTempoInputs> inputs{
            TempoInputs(features, Regrid(grid, kTempoCandidates[c]), kTempoCandidates[c], rootPerTick)};
        double score{};
        for (std::size_t k = 0; k < kTempoInputs; ++k)
            score += static_cast<double>(model.tempoWeights[k]) * inputs[k];
        if (c == 0 || score > bestScore) {
            bestScore = score;
            best = c;
        }
    }
    return best;
}

double GridProbability(const std::array<float, kGridInputs>& weights, const std::array<float, kGridInputs>& inputs)
{
    double s{};
    for (std::size_t k = 0; k < kGridInputs; ++k)
        s += static_cast<double>(weights[k]) * inputs[k];
    return 1.0 / (1.0 + std::exp(-s));
}

} // namespace kalvotune::analysis
