#pragma once

#include "Piece.hpp"

#include <cstdint>
#include <vector>

namespace kalvotune::demo {

/// Interleaved 16-bit stereo at `kSampleRate`: left, right, left, right...
struct Pcm {
    std::vector<std::int16_t> samples;
    int Frames() const { return static_cast<int>(samples.size() / 2); }
};

/// Renders every note of the piece with its instrument, adds the echo of the lead and a
/// room reverb, and scales the mix so its loudest sample sits just below full scale.
/// The result has exactly `piece.length` frames and is the same on every run.
Pcm Render(const Piece& piece);

/// Root-mean-square level of each 100-ms tick of the sound, 0..1 of full scale; one
/// value per tick, `TickCount(pcm.Frames())` values.
std::vector<float> TickLoudness(const Pcm& pcm);

} // namespace kalvotune::demo
