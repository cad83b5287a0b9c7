#pragma once

#include <array>
#include <vector>

namespace kalvotune::analysis {

/// Decoding rate of the analysis: enough for onsets, harmony and loudness at a quarter of
/// the work of CD rate.
constexpr int kAnalysisRate{22050};
/// Samples per 100-ms template tick at that rate.
constexpr int kSamplesPerTick{kAnalysisRate / 10};
/// Onset frames per tick: the onset curve has 9 values per 100 ms (hop of 245 samples).
constexpr int kFramesPerTick{9};
constexpr int kHop{kSamplesPerTick / kFramesPerTick};

/// What the analysis measured in a track, per tick and per onset frame. Small: a
/// four-minute track needs a few hundred kilobytes.
struct TrackFeatures {
    std::vector<float> loudness; ///< momentary loudness per tick, LUFS, -70 for silence
    std::vector<int> onsets; ///< onsets found per tick
    std::vector<std::array<float, 12>> chroma; ///< pitch-class strength per tick, C = 0, tuning corrected
    std::vector<std::array<float, 12>> bassChroma; ///< the same below about 260 Hz: the bass line
    /// `chroma` and `bassChroma` come from a window that ends with the tick, like the low
    /// end, so a beat's attack falls into the tick it starts in; these two come from a
    /// window centred on the tick, so they hold the chord that sounds during the tick.
    std::vector<std::array<float, 12>> centredChroma;
    std::vector<std::array<float, 12>> centredBassChroma;
    std::vector<float> bassEnergy; ///< spectral energy below 150 Hz per tick, for bar starts
    std::vector<float> onsetStrength; ///< onset curve, `kFramesPerTick` values per tick

    int Ticks() const { return static_cast<int>(loudness.size()); }
};

} // namespace kalvotune::analysis
