#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace kalvotune::eval {

/// One note of a score, in seconds.
struct Note {
    double start{};
    double end{};
    int pitch{}; ///< MIDI note number
};

/// What a Standard MIDI File says about the music: where the beats and bar starts fall
/// (from its tempo map and time signatures) and which pitched notes sound when.
struct Score {
    std::vector<double> beats; ///< seconds
    std::vector<double> barStarts; ///< seconds
    std::vector<Note> notes; ///< drums (channel 10) left out
    double end{}; ///< last note off
};

/// Reads a MIDI file's bytes. Beats follow the time signatures: the denominator's note,
/// but a dotted one in compound metres (6/8, 9/8, 12/8, 3/8 count 2, 3, 4 and 1 beats).
/// `pickupQuarters` is the length of an upbeat before the first full bar (ABC files do
/// not mark it in their MIDI). Gives false with `error` set when the bytes are no MIDI file.
bool ReadScore(const std::string& bytes, double pickupQuarters, Score& score, std::string& error);

/// Root (C = 0) of the major or minor triad that best fits the notes sounding between
/// `from` and `to` seconds, or -1 when fewer than two of its notes sound.
int TriadRoot(const Score& score, double from, double to);

} // namespace kalvotune::eval
