#pragma once

#include "analysis/TrackFeatures.hpp"

#include <array>
#include <memory>
#include <span>

namespace kalvotune::analysis {

/// Turns mono samples at `kAnalysisRate`, fed in blocks of any size, into
/// `TrackFeatures`: aubio's spectral-flux onsets, libebur128's momentary loudness and a
/// 12-bin pitch-class profile from a 4096-point spectrum once per tick (twice: a window
/// ending with the tick and one centred on it). Holds only the last 4096 samples; a tick
/// that is not complete at `Finish` is padded with silence.
class FeatureExtractor {
public:
    FeatureExtractor();
    ~FeatureExtractor();
    FeatureExtractor(const FeatureExtractor&) = delete;
    FeatureExtractor& operator=(const FeatureExtractor&) = delete;

    void Add(std::span<const float> samples);

    /// Completes the last tick and hands the features over; the extractor is spent.
    TrackFeatures Finish();

    /// For a stream without end: hands over the ticks complete so far (each about 45 ms
    /// after its end, when the window centred on it is full), their chroma folded at the
    /// tuning heard up to them, and forgets them, so the extractor holds no history. Not
    /// to be mixed with `Finish`.
    TrackFeatures TakeTicks();
    /// Samples fed after a tick's end before `TakeTicks` gives it.
    static int TickDelaySamples();

private:
    struct State;
    void Hop();
    void EndTick();
    void CentredSpectrum();
    float FoldedSpectrum(std::array<float, 36>& treble, std::array<float, 36>& bass);

    std::unique_ptr<State> m_state;
};

} // namespace kalvotune::analysis
