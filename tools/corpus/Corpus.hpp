#pragma once

#include "analysis/MusicAnalysis.hpp"

#include <filesystem>
#include <string>
#include <vector>

namespace kalvotune::corpus {

/// Chord qualities the labels name. Sevenths, sixths and ninths keep their own quality so
/// that a model can learn what a major seventh on C sounds like next to E minor.
enum class Quality { Major, Minor, Dominant7, Major7, Minor7, Diminished, Suspended, Count };

/// The chord sounding over a stretch of a piece.
struct ChordSpan {
    double start{}; ///< seconds
    double end{};
    int root{}; ///< pitch class, C = 0
    Quality quality{};
};

/// What is known about a rendered piece: where its beats and bars fall and which chord
/// sounds when. Beats are the felt beats (6/8 counted in two dotted beats).
struct Labels {
    std::string metre; ///< "4/4", "6/8", …: the metre of the piece's first bar
    std::vector<double> beats; ///< seconds, ascending
    std::vector<double> barStarts; ///< seconds, ascending; each also a beat
    std::vector<int> beatsPerBar; ///< per bar start: beats in that bar
    std::vector<ChordSpan> chords; ///< ascending, without gaps inside the music
};

/// One piece of the corpus, as its index lists it.
struct Entry {
    std::string name; ///< file stem: NAME.wav and NAME.labels in the corpus folder
    std::string source; ///< "mma" or "score"
    std::string family; ///< groove family (the mma library file) or the score's collection
    std::string metre;
    std::string soundfont; ///< short name of the soundfont it was rendered with
    bool validation{};
};

/// Reads and writes the labels as text: one list a line, each led by its name.
std::string WriteLabels(const Labels& labels);
/// Gives false with `error` set when `text` is not a complete labels file.
bool ReadLabels(const std::string& text, Labels& labels, std::string& error);

/// The index of a corpus folder ("index.tsv": name, source, family, metre, soundfont,
/// split a line); an empty list when it is missing.
std::vector<Entry> ReadIndex(const std::filesystem::path& folder);
void WriteIndex(const std::filesystem::path& folder, const std::vector<Entry>& entries);

/// Root of the chord sounding at `seconds`, with its quality, or -1 between chords.
int RootAt(const Labels& labels, double seconds, Quality* quality = nullptr);

std::string ReadFile(const std::filesystem::path& path);

} // namespace kalvotune::corpus

namespace kalvotune::corpus {

/// `MeasureTrack` of `wav`, its features kept beside it in WAV.features for the next run:
/// training and evaluation read the same pieces many times. The beats are found anew from
/// the kept features. A cache that is older than the sound, of another size or of another
/// `kFeatureCacheVersion` is measured anew.
bool MeasureCached(const std::filesystem::path& wav, analysis::MeasuredTrack& track, std::string& error);

/// Raised whenever the feature extractor changes what it gives: caches of older versions
/// are then measured anew.
constexpr int kFeatureCacheVersion{2};

/// A corpus piece as the analysis measures it, with its labels.
struct LoadedPiece {
    Labels labels;
    analysis::MeasuredTrack track;
    std::string error; ///< why it could not be loaded; empty when it was
};

/// Reads the labels of each of `entries` in `folder` and measures its sound
/// (`MeasureCached`), two pieces at a time; the result keeps the entries' order.
std::vector<LoadedPiece> LoadPieces(const std::filesystem::path& folder, const std::vector<Entry>& entries);

/// Seconds: a marker this close to a labelled time is on it.
constexpr double kTolerance{0.1};
/// Whether some time of `sorted` lies within the tolerance (widened by `slack`) of `at`.
bool NearAny(const std::vector<double>& sorted, double at, double slack = 0.0);
/// Share of `ticks` (100 ms each) within the tolerance of some time in `reference` (sorted).
double ShareNear(const std::vector<int>& ticks, const std::vector<double>& reference);

} // namespace kalvotune::corpus
