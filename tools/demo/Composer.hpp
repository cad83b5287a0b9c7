#pragma once

#include "Piece.hpp"

#include <cstdint>
#include <vector>

namespace kalvotune::demo {

/// A run of bars sharing one chord pattern and one level of energy.
struct Section {
    std::vector<int> degrees; ///< chord per bar as a scale degree, 0 = tonic
    float energy{0.5f};
    bool drums{true};
    bool melody{true};
    bool bass{true};
    bool arpeggio{true};
};

/// The plan of a piece: key, metre, tempo, sound and form.
struct Sketch {
    std::uint32_t seed{1};
    int bpm{100};
    int beatsPerBar{4};
    int tonic{62}; ///< MIDI note of the key's tonic around the middle register
    bool minor{false};
    Instrument melodyVoice{Instrument::Lead};
    Instrument arpeggioVoice{Instrument::Pluck};
    bool padChords{true}; ///< held pad chords; otherwise plucked off-beat chord stabs
    int barsPerPhrase{2};
    float tailSeconds{2.5f};
    float reverbWet{0.3f};
    float echoFeedback{0.3f};
    std::vector<Section> sections;
};

/// Writes the piece the sketch describes: melody, chords, bass, arpeggio and drums.
/// The same sketch always gives the same piece.
Piece Compose(const Sketch& sketch);

} // namespace kalvotune::demo
