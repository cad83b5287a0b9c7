#include "analysis/FeatureExtractor.hpp"

#include <aubio/aubio.h>
#include <ebur128.h>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace kalvotune::analysis {

namespace {

constexpr int kOnsetWindow{1024};
constexpr int kChromaWindow{4096};
/// The centred spectrum of a tick is taken this many hops after the tick ends: the 186-ms
/// window then has the tick's 100 ms in its middle.
constexpr int kCentreLagHops{(kChromaWindow / 2 - kSamplesPerTick / 2 + kHop / 2) / kHop};
/// The log-frequency spectrum has three bins a semitone (so the tuning can be found
/// afterwards) from MIDI note 28 (E1, 41 Hz) to 100 (E7, 2.6 kHz). Notes up to 52 (E3)
/// make the bass chroma, notes from 45 (A2) up the chroma of the harmony.
constexpr int kLowestNote{28};
constexpr int kHighestNote{100};
constexpr int kBassTop{52};
constexpr int kTrebleBottom{45};
constexpr int kFineBins{(kHighestNote - kLowestNote) * 3};
constexpr double kBassEnergyHz{150.0};
constexpr float kSilenceLufs{-70.0f};

/// Adds a tick's octave of 36 bins to the energy of each third of a semitone.
void AddTuning(const std::array<float, 36>& fine, std::array<double, 3>& phase)
{
    for (std::size_t i = 0; i < fine.size(); ++i)
        phase[i % 3] += fine[i];
}

/// The third of a semitone that holds the most energy (an orchestra at 446 Hz or a tape a
/// little fast moves it off the middle one).
int TuningCentre(const std::array<double, 3>& phase)
{
    return phase[1] > phase[0] && phase[1] > phase[2] ? 1 : (phase[2] > phase[0] ? 2 : 0);
}

/// 36 bins of an octave folded to 12 pitch classes around the tuning's third.
std::array<float, 12> Fold(const std::array<float, 36>& fine, int centre)
{
    std::array<float, 12> chroma{};
    for (std::size_t c = 0; c < 12; ++c) {
        const std::size_t mid{(c * 3 + (centre == 2 ? 35 : static_cast<std::size_t>(centre))) % 36};
        chroma[c] = fine[mid] + 0.5f * (fine[(mid + 35) % 36] + fine[(mid + 1) % 36]);
    }
    return chroma;
}

} // namespace

struct FeatureExtractor::State {
    aubio_onset_t* onset{new_aubio_onset("specflux", kOnsetWindow, kHop, kAnalysisRate)};
    fvec_t* hop{new_fvec(kHop)};
    fvec_t* onsetOut{new_fvec(1)};
    aubio_fft_t* fft{new_aubio_fft(kChromaWindow)};
    fvec_t* chromaIn{new_fvec(kChromaWindow)};
    fvec_t* complexSpectrum{new_fvec(kChromaWindow)};
    cvec_t* spectrum{new_cvec(kChromaWindow)};
    ebur128_state* loudness{ebur128_init(1, kAnalysisRate, EBUR128_MODE_M)};
    std::vector<float> window = std::vector<float>(kChromaWindow);
    /// FFT bins [first, last] feeding each third-of-a-semitone bin of the log spectrum.
    std::vector<std::pair<int, int>> fineBins = std::vector<std::pair<int, int>>(kFineBins);
    int bassEnergyBins{};
    /// Per tick the log spectrum folded to one octave of 36 bins, treble and bass; folded
    /// to 12 pitch classes at `Finish`, once the tuning is known.
    std::vector<std::array<float, 36>> fineTreble;
    std::vector<std::array<float, 36>> fineBass;
    /// The same from the window centred on the tick, one tick behind until `kCentreLagHops`.
    std::vector<std::array<float, 36>> centredTreble;
    std::vector<std::array<float, 36>> centredBass;
    std::vector<float> history = std::vector<float>(kChromaWindow, 0.0f); ///< ring of the last samples
    std::size_t historyEnd{};
    std::array<double, 3> liveTuning{}; ///< `TakeTicks`: the tuning heard so far
    int hopFill{};
    int hopsInTick{};
    int onsetsInTick{};
    TrackFeatures features;

    ~State()
    {
        ebur128_destroy(&loudness);
        del_cvec(spectrum);
        del_fvec(complexSpectrum);
        del_fvec(chromaIn);
        del_aubio_fft(fft);
        del_fvec(onsetOut);
        del_fvec(hop);
        del_aubio_onset(onset);
    }
};

FeatureExtractor::FeatureExtractor()
    : m_state{std::make_unique<State>()}
{
    State& s{*m_state};
    for (int i = 0; i < kChromaWindow; ++i)
        s.window[static_cast<std::size_t>(i)]
            = static_cast<float>(0.5 - 0.5 * std::cos(2 * std::numbers::pi * i / kChromaWindow));
    const double binHz{static_cast<double>(kAnalysisRate) / kChromaWindow};
    for (int f = 0; f < kFineBins; ++f) {
        const auto hz = [](double note) { return 440.0 * std::exp2((note - 69.0) / 12.0); };
        const double centre{kLowestNote + f / 3.0};
        const int first{static_cast<int>(std::ceil(hz(centre - 1.0 / 6) / binHz))};
        const int last{static_cast<int>(std::floor(hz(centre + 1.0 / 6) / binHz))};
        // Below about 200 Hz a third of a semitone is narrower than a bin: take the nearest.
        const int nearest{static_cast<int>(std::lround(hz(centre) / binHz))};
        s.fineBins[static_cast<std::size_t>(f)] = first <= last ? std::pair{first, last} : std::pair{nearest, nearest};
    }
    s.bassEnergyBins = static_cast<int>(kBassEnergyHz / binHz);
}

FeatureExtractor::~FeatureExtractor() = default;

void FeatureExtractor::Add(std::span<const float> samples)
{
    State& s{*m_state};
    for (const float sample : samples) {
        s.hop->data[s.hopFill++] = sample;
        s.history[s.historyEnd] = sample;
        s.historyEnd = (s.historyEnd + 1) % s.history.size();
        if (s.hopFill == kHop)
            Hop();
    }
}

void FeatureExtractor::Hop()
{
    State& s{*m_state};
    s.hopFill = 0;
    aubio_onset_do(s.onset, s.hop, s.onsetOut);
    if (s.onsetOut->data[0] != 0)
        ++s.onsetsInTick;
    s.features.onsetStrength.push_back(aubio_onset_get_descriptor(s.onset));
    ebur128_add_frames_float(s.loudness, s.hop->data, kHop);
    if (++s.hopsInTick == kFramesPerTick)
        EndTick();
    if (s.hopsInTick == kCentreLagHops && s.centredTreble.size() < s.fineTreble.size())
        CentredSpectrum();
}

void FeatureExtractor::EndTick()
{
    State& s{*m_state};
    s.hopsInTick = 0;
    double lufs{};
    if (ebur128_loudness_momentary(s.loudness, &lufs) != EBUR128_SUCCESS || !std::isfinite(lufs))
        lufs = kSilenceLufs;
    s.features.loudness.push_back(std::max(kSilenceLufs, static_cast<float>(lufs)));
    s.features.onsets.push_back(s.onsetsInTick);
    s.onsetsInTick = 0;

    std::array<float, 36> treble{}, bass{};
    s.features.bassEnergy.push_back(FoldedSpectrum(treble, bass));
    s.fineTreble.push_back(treble);
    s.fineBass.push_back(bass);
}

void FeatureExtractor::CentredSpectrum()
{
    State& s{*m_state};
    std::array<float, 36> treble{}, bass{};
    FoldedSpectrum(treble, bass);
    s.centredTreble.push_back(treble);
    s.centredBass.push_back(bass);
}

/// The spectrum of the last `kChromaWindow` samples folded to one octave of 36 bins,
/// treble and bass; gives the energy below `kBassEnergyHz`.
float FeatureExtractor::FoldedSpectrum(std::array<float, 36>& treble, std::array<float, 36>& bass)
{
    State& s{*m_state};
    for (std::size_t i = 0; i < s.history.size(); ++i)
        s.chromaIn->data[i] = s.history[(s.historyEnd + i) % s.history.size()] * s.window[i];
    // Magnitudes only: the phases aubio_fft_do would add cost an arctangent a bin.
    aubio_fft_do_complex(s.fft, s.chromaIn, s.complexSpectrum);
    aubio_fft_get_norm(s.complexSpectrum, s.spectrum);
    for (int f = 0; f < kFineBins; ++f) {
        const auto [first, last] = s.fineBins[static_cast<std::size_t>(f)];
        float peak{};
        for (int bin = first; bin <= last; ++bin)
            peak = std::max(peak, s.spectrum->norm[bin]);
        const int note{kLowestNote + f / 3};
        const auto fold = static_cast<std::size_t>((kLowestNote * 3 + f) % 36);
        if (note >= kTrebleBottom)
            treble[fold] += peak;
        if (note <= kBassTop)
            bass[fold] += peak;
    }
    float low{};
    for (int bin = 1; bin <= s.bassEnergyBins; ++bin)
        low += s.spectrum->norm[bin] * s.spectrum->norm[bin];
    return low;
}

TrackFeatures FeatureExtractor::Finish()
{
    State& s{*m_state};
    if (s.hopFill > 0 || s.hopsInTick > 0) {
        const std::vector<float> silence(static_cast<std::size_t>(kSamplesPerTick), 0.0f);
        const int missing{kSamplesPerTick - s.hopsInTick * kHop - s.hopFill};
        Add(std::span<const float>{silence.data(), static_cast<std::size_t>(missing)});
    }
    // The last tick's centred window reaches past the end: silence there, without onset
    // or loudness frames for it.
    if (s.centredTreble.size() < s.fineTreble.size()) {
        for (int i = 0; i < kCentreLagHops * kHop; ++i) {
            s.history[s.historyEnd] = 0.0f;
            s.historyEnd = (s.historyEnd + 1) % s.history.size();
        }
        CentredSpectrum();
    }
    // The tuning: which third of a semitone holds the most energy over the whole track
    // (an orchestra at 446 Hz or a tape a little fast moves it off the middle one).
    std::array<double, 3> phase{};
    for (const auto& fine : s.fineTreble)
        AddTuning(fine, phase);
    const auto fold = [centre = TuningCentre(phase)](const std::array<float, 36>& fine) { return Fold(fine, centre); };
    for (std::size_t t = 0; t < s.fineTreble.size(); ++t) {
        s.features.chroma.push_back(fold(s.fineTreble[t]));
        s.features.bassChroma.push_back(fold(s.fineBass[t]));
        s.features.centredChroma.push_back(fold(s.centredTreble[t]));
        s.features.centredBassChroma.push_back(fold(s.centredBass[t]));
    }
    return std::move(s.features);
}

int FeatureExtractor::TickDelaySamples()
{
    return kCentreLagHops * kHop;
}

TrackFeatures FeatureExtractor::TakeTicks()
{
    State& s{*m_state};
    // A tick is complete once its centred window is: a few hops after it ends.
    const std::size_t ticks{s.centredTreble.size()};
    TrackFeatures taken;
    const auto move = [ticks](auto& from, auto& to) {
        to.assign(from.begin(), from.begin() + static_cast<long>(ticks));
        from.erase(from.begin(), from.begin() + static_cast<long>(ticks));
    };
    move(s.features.loudness, taken.loudness);
    move(s.features.onsets, taken.onsets);
    move(s.features.bassEnergy, taken.bassEnergy);
    const auto frames = static_cast<long>(ticks * kFramesPerTick);
    taken.onsetStrength.assign(s.features.onsetStrength.begin(), s.features.onsetStrength.begin() + frames);
    s.features.onsetStrength.erase(s.features.onsetStrength.begin(), s.features.onsetStrength.begin() + frames);
    for (std::size_t t = 0; t < ticks; ++t) {
        AddTuning(s.fineTreble[t], s.liveTuning);
        const int centre{TuningCentre(s.liveTuning)};
        taken.chroma.push_back(Fold(s.fineTreble[t], centre));
        taken.bassChroma.push_back(Fold(s.fineBass[t], centre));
        taken.centredChroma.push_back(Fold(s.centredTreble[t], centre));
        taken.centredBassChroma.push_back(Fold(s.centredBass[t], centre));
    }
    const auto drop = [ticks](auto& v) { v.erase(v.begin(), v.begin() + static_cast<long>(ticks)); };
    drop(s.fineTreble);
    drop(s.fineBass);
    drop(s.centredTreble);
    drop(s.centredBass);
    return taken;
}

} // namespace kalvotune::analysis
