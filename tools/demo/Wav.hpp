#pragma once

#include "Synth.hpp"

#include <string>

namespace kalvotune::demo {

/// The bytes of a canonical 44-byte-header WAV file: 16-bit PCM, stereo, `kSampleRate`.
std::string EncodeWav(const Pcm& pcm);

} // namespace kalvotune::demo
