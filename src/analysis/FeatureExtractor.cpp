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
/// Pitch classes are taken from partials between these frequencies: below, bins are too
/// wide to tell semitones apart; above, there is little but noise and cymbals.
constexpr double kLowestPitchHz{80.0};
constexpr double kHighestPitchHz{5000.0};
constexpr float kSilenceLufs{-70.0f};

} // namespace

struct FeatureExtractor::State {
    aubio_onset_t* onset{new_aubio_onset("specflux", kOnsetWindow, kHop, kAnalysisRate)};
    fvec_t* hop{new_fvec(kHop)};
    fvec_t* onsetOut{new_fvec(1)};
    aubio_fft_t* fft{new_aubio_fft(kChromaWindow)};
    fvec_t* chromaIn{new_fvec(kChromaWindow)};
    cvec_t* spectrum{new_cvec(kChromaWindow)};
    ebur128_state* loudness{ebur128_init(1, kAnalysisRate, EBUR128_MODE_M)};
    std::vector<float> window = std::vector<float>(kChromaWindow);
    std::vector<int> binClass = std::vector<int>(kChromaWindow / 2 + 1, -1);
    std::vector<float> history = std::vector<float>(kChromaWindow, 0.0f); ///< ring of the last samples
    std::size_t historyEnd{};
    int hopFill{};
    int hopsInTick{};
    int onsetsInTick{};
    TrackFeatures features;

    ~State()
    {
        ebur128_destroy(&loudness);
        del_cvec(spectrum);
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
    for (int bin = 1; bin <= kChromaWindow / 2; ++bin) {
        const double hz{static_cast<double>(bin) * kAnalysisRate / kChromaWindow};
        if (hz < kLowestPitchHz || hz > kHighestPitchHz)
            continue;
        const double midi{69.0 + 12.0 * std::log2(hz / 440.0)};
        s.binClass[static_cast<std::size_t>(bin)] = static_cast<int>(std::lround(midi)) % 12;
    }
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

    for (std::size_t i = 0; i < s.history.size(); ++i)
        s.chromaIn->data[i] = s.history[(s.historyEnd + i) % s.history.size()] * s.window[i];
    aubio_fft_do(s.fft, s.chromaIn, s.spectrum);
    std::array<float, 12> chroma{};
    for (std::size_t bin = 0; bin < s.binClass.size(); ++bin)
        if (s.binClass[bin] >= 0)
            chroma[static_cast<std::size_t>(s.binClass[bin])] += s.spectrum->norm[bin] * s.spectrum->norm[bin];
    s.features.chroma.push_back(chroma);
}

TrackFeatures FeatureExtractor::Finish()
{
    State& s{*m_state};
    if (s.hopFill > 0 || s.hopsInTick > 0) {
        const std::vector<float> silence(static_cast<std::size_t>(kSamplesPerTick), 0.0f);
        const int missing{kSamplesPerTick - s.hopsInTick * kHop - s.hopFill};
        Add(std::span<const float>{silence.data(), static_cast<std::size_t>(missing)});
    }
    return std::move(s.features);
}

} // namespace kalvotune::analysis
