#pragma once

#include <string>
#include <vector>

namespace kalvotune::demo {

constexpr int kSampleRate{44100};
/// One template tick covers 100 ms of sound.
constexpr int kSamplesPerTick{kSampleRate / 10};

enum class Instrument { Lead, MusicBox, Pluck, Pad, Bass, Kick, Snare, HiHat, OpenHat, Crash };

/// One sounding event. Times are in samples from the start of the piece.
struct Note {
    int start{};
    int length{};
    int pitch{}; ///< MIDI note number; drums ignore it
    float velocity{}; ///< 0..1
    Instrument instrument{Instrument::Lead};
    float pan{}; ///< -1 left .. 1 right
};

/// The harmony over one stretch of the piece.
struct ChordSpan {
    int start{};
    int length{};
    int root{}; ///< pitch class 0..11
    bool minor{};
};

/// A bar of the piece with its beat grid and how busy the music is there.
struct Bar {
    int start{};
    int beatLength{}; ///< samples per beat
    int beats{};
    float energy{}; ///< 0 (quiet) .. 1 (full band)
    bool phraseStart{};
    bool accent{}; ///< a strong hit (crash, section start) on the downbeat
};

/// Everything the generator knows about a track: the notes to render and the musical
/// grid the colour template is built from.
struct Piece {
    std::vector<Note> notes;
    std::vector<ChordSpan> chords;
    std::vector<Bar> bars;
    int length{}; ///< samples, the reverb tail included
    float reverbWet{0.3f};
    float echoFeedback{0.3f};
    int echoDelay{kSampleRate / 4}; ///< samples between echoes of the lead
};

/// Start samples of every beat of every bar, in order.
std::vector<int> BeatStarts(const Piece& piece);

/// Number of 100-ms template ticks a sound of `samples` samples needs (rounded up).
constexpr int TickCount(int samples)
{
    return (samples + kSamplesPerTick - 1) / kSamplesPerTick;
}

/// The tick whose 100 ms hold the sample `sample`.
constexpr int TickOf(int sample)
{
    return sample / kSamplesPerTick;
}

} // namespace kalvotune::demo
