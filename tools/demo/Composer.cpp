#include "Composer.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <random>

namespace kalvotune::demo {

namespace {

constexpr std::array<int, 7> kMajor{0, 2, 4, 5, 7, 9, 11};
constexpr std::array<int, 7> kMinor{0, 2, 3, 5, 7, 8, 10};

/// A melody note on the eighth-note grid of a bar: onset and length in eighths.
struct Step {
    int onset{};
    int length{};
};
using Rhythm = std::vector<Step>;

// Bar rhythms for the melody; the closing ones end a phrase with a held note.
const std::vector<Rhythm> kOpening44{
    {{0, 2}, {2, 2}, {4, 3}, {7, 1}},
    {{0, 3}, {3, 1}, {4, 2}, {6, 2}},
    {{0, 1}, {1, 1}, {2, 2}, {4, 4}},
    {{0, 2}, {2, 1}, {3, 1}, {4, 2}, {6, 2}},
};
const std::vector<Rhythm> kClosing44{
    {{0, 4}, {4, 2}, {6, 2}},
    {{0, 2}, {2, 6}},
    {{0, 6}},
};
const std::vector<Rhythm> kOpening34{
    {{0, 2}, {2, 2}, {4, 2}},
    {{0, 3}, {3, 1}, {4, 2}},
    {{0, 1}, {1, 1}, {2, 2}, {4, 2}},
};
const std::vector<Rhythm> kClosing34{
    {{0, 4}, {4, 2}},
    {{0, 6}},
};

/// Deterministic choices: the standard fixes mt19937's output, and plain modulo keeps
/// the mapping independent of the library's distributions.
class Dice {
public:
    explicit Dice(std::uint32_t seed)
        : m_engine{seed}
    {
    }
    int Below(int n) { return static_cast<int>(m_engine() % static_cast<std::uint32_t>(n)); }
    float Unit() { return static_cast<float>(m_engine() % 10000u) / 10000.0f; }

private:
    std::mt19937 m_engine;
};

class Writer {
public:
    explicit Writer(const Sketch& sketch)
        : m_sketch{sketch}
        , m_scale{sketch.minor ? kMinor : kMajor}
        , m_dice{sketch.seed}
        , m_beat{2 * static_cast<int>(std::lround(kSampleRate * 30.0 / sketch.bpm))}
    {
    }

    Piece Write()
    {
        m_piece.reverbWet = m_sketch.reverbWet;
        m_piece.echoFeedback = m_sketch.echoFeedback;
        m_piece.echoDelay = m_beat * 3 / 2;
        int totalBars = 0;
        for (const Section& s : m_sketch.sections)
            totalBars += static_cast<int>(s.degrees.size());

        int barIndex = 0;
        for (std::size_t si = 0; si < m_sketch.sections.size(); ++si) {
            const Section& section = m_sketch.sections[si];
            MakeMotif();
            const int bars = static_cast<int>(section.degrees.size());
            for (int i = 0; i < bars; ++i, ++barIndex) {
                const bool lastBar = barIndex == totalBars - 1;
                Bar bar;
                bar.start = m_position;
                bar.beatLength = m_beat;
                bar.beats = m_sketch.beatsPerBar;
                bar.energy = section.energy;
                bar.phraseStart = i % m_sketch.barsPerPhrase == 0;
                bar.accent
                    = section.drums && ((i == 0 && si > 0) || (section.energy >= 0.75f && i % 4 == 0) || lastBar);
                m_piece.bars.push_back(bar);

                const int degree = section.degrees[static_cast<std::size_t>(i)];
                m_piece.chords.push_back({bar.start, BarLength(), PitchClass(degree), IsMinorChord(degree)});
                Chords(bar, degree, lastBar);
                if (section.bass)
                    Bass(bar, degree, lastBar);
                if (section.arpeggio && !lastBar)
                    Arpeggio(bar, degree);
                if (section.drums)
                    Drums(bar, lastBar);
                if (section.melody)
                    Melody(bar, degree, i, lastBar);
                m_position += BarLength();
            }
        }
        m_piece.length = m_position + static_cast<int>(m_sketch.tailSeconds * kSampleRate);
        return std::move(m_piece);
    }

private:
    int BarLength() const { return m_beat * m_sketch.beatsPerBar; }
    int Eighth() const { return m_beat / 2; }

    /// MIDI pitch of a scale degree counted from the tonic (negative degrees go down).
    int DegreePitch(int degree) const
    {
        const int octave = degree >= 0 ? degree / 7 : -((-degree + 6) / 7);
        const int inScale = degree - octave * 7;
        return m_sketch.tonic + 12 * octave + m_scale[static_cast<std::size_t>(inScale)];
    }

    int PitchClass(int degree) const { return ((DegreePitch(degree) % 12) + 12) % 12; }

    bool IsMinorChord(int degree) const { return DegreePitch(degree + 2) - DegreePitch(degree) == 3; }

    void Add(int start, int length, int pitch, float velocity, Instrument instrument, float pan = 0.0f)
    {
        const float jitter = (m_dice.Unit() - 0.5f) * 0.08f;
        m_piece.notes.push_back({start, length, pitch, std::clamp(velocity + jitter, 0.05f, 1.0f), instrument, pan});
    }

    /// Chord tones of a degree voiced close to the tonic, lowest first.
    std::vector<int> ChordVoicing(int degree) const
    {
        std::vector<int> pitches;
        for (int k = 0; k < 3; ++k) {
            int p = DegreePitch(degree + 2 * k);
            while (p > m_sketch.tonic + 7)
                p -= 12;
            while (p < m_sketch.tonic - 5)
                p += 12;
            pitches.push_back(p);
        }
        std::sort(pitches.begin(), pitches.end());
        return pitches;
    }

    void Chords(const Bar& bar, int degree, bool lastBar)
    {
        const std::vector<int> voicing = ChordVoicing(degree);
        const float pans[] = {-0.4f, 0.0f, 0.4f};
        if (m_sketch.padChords || lastBar) {
            const int length = lastBar ? BarLength() * 3 / 2 : BarLength();
            for (std::size_t k = 0; k < voicing.size(); ++k)
                Add(bar.start, length, voicing[k], 0.32f + 0.12f * bar.energy, Instrument::Pad, pans[k]);
            return;
        }
        // Plucked chords on the weak beats: the "pah-pah" of a waltz.
        for (int b = 1; b < bar.beats; ++b)
            for (std::size_t k = 0; k < voicing.size(); ++k)
                Add(bar.start + b * m_beat, m_beat * 2 / 3, voicing[k] + 12, 0.3f + 0.1f * bar.energy,
                    Instrument::Pluck, pans[k]);
    }

    void Bass(const Bar& bar, int degree, bool lastBar)
    {
        int root = DegreePitch(degree);
        while (root > m_sketch.tonic - 15)
            root -= 12;
        while (root < m_sketch.tonic - 27)
            root += 12;
        const int fifth = root + 7;
        const float v = 0.7f + 0.2f * bar.energy;
        if (lastBar || (bar.beats == 4 && bar.energy < 0.45f)) {
            Add(bar.start, BarLength(), root, v, Instrument::Bass);
            return;
        }
        if (bar.beats == 3) {
            const int barNumber = bar.start / BarLength();
            Add(bar.start, m_beat, barNumber % 2 == 0 ? root : fifth - 12, v, Instrument::Bass);
            return;
        }
        Add(bar.start, m_beat * 3 / 2, root, v, Instrument::Bass);
        Add(bar.start + m_beat * 3 / 2, m_beat / 2, root, v * 0.8f, Instrument::Bass);
        Add(bar.start + 2 * m_beat, m_beat, fifth, v * 0.9f, Instrument::Bass);
        Add(bar.start + 3 * m_beat, m_beat, bar.energy >= 0.75f ? root + 12 : root, v * 0.85f, Instrument::Bass);
    }

    void Arpeggio(const Bar& bar, int degree)
    {
        std::vector<int> tones;
        for (int k = 0; k < 5; ++k)
            tones.push_back(DegreePitch(degree + 2 * k) + 12);
        static constexpr int kOrder[]{0, 1, 2, 3, 4, 3, 2, 1};
        const bool busy = bar.energy >= 0.45f;
        const int step = busy ? Eighth() : m_beat;
        const int count = BarLength() / step;
        for (int n = 0; n < count; ++n) {
            const int pitch = tones[static_cast<std::size_t>(kOrder[n % 8])];
            const float accent = n % 2 == 0 ? 1.0f : 0.8f;
            Add(bar.start + n * step, step * 3 / 2, pitch, (0.3f + 0.15f * bar.energy) * accent, m_sketch.arpeggioVoice,
                n % 2 == 0 ? -0.35f : 0.35f);
        }
    }

    void Drums(const Bar& bar, bool lastBar)
    {
        const int e = Eighth();
        if (bar.accent)
            Add(bar.start, m_beat * 4, 0, 0.55f, Instrument::Crash, 0.3f);
        if (lastBar) {
            Add(bar.start, m_beat, 0, 0.9f, Instrument::Kick);
            return;
        }
        if (bar.beats == 3) {
            Add(bar.start, m_beat, 0, 0.85f, Instrument::Kick);
            for (int b = 1; b < 3; ++b)
                Add(bar.start + b * m_beat, e, 0, 0.35f + 0.2f * bar.energy, Instrument::HiHat, 0.25f);
            if (bar.energy >= 0.7f)
                Add(bar.start + 2 * m_beat, e, 0, 0.35f, Instrument::Snare, -0.1f);
            return;
        }
        const float level = bar.energy;
        if (level < 0.45f) {
            Add(bar.start, m_beat, 0, 0.7f, Instrument::Kick);
            Add(bar.start + 2 * m_beat, m_beat, 0, 0.3f, Instrument::Snare, -0.1f);
            for (int b = 0; b < 4; ++b)
                Add(bar.start + b * m_beat, e, 0, 0.3f, Instrument::HiHat, 0.25f);
            return;
        }
        Add(bar.start, m_beat, 0, 0.9f, Instrument::Kick);
        Add(bar.start + 2 * m_beat, m_beat, 0, 0.8f, Instrument::Kick);
        if (level >= 0.6f)
            Add(bar.start + 5 * e, e, 0, 0.6f, Instrument::Kick);
        Add(bar.start + m_beat, m_beat, 0, 0.7f, Instrument::Snare, -0.1f);
        Add(bar.start + 3 * m_beat, m_beat, 0, 0.75f, Instrument::Snare, -0.1f);
        for (int n = 0; n < 8; ++n) {
            if (level >= 0.75f && n == 7) {
                Add(bar.start + n * e, e, 0, 0.4f, Instrument::OpenHat, 0.3f);
                continue;
            }
            Add(bar.start + n * e, e, 0, n % 2 == 0 ? 0.45f : 0.3f, Instrument::HiHat, 0.25f);
        }
    }

    /// A section keeps one rhythm per bar of its phrase and one melodic contour, so its
    /// phrases answer each other while the chords under them change.
    void MakeMotif()
    {
        const bool waltz = m_sketch.beatsPerBar == 3;
        const auto& opening = waltz ? kOpening34 : kOpening44;
        const auto& closing = waltz ? kClosing34 : kClosing44;
        m_motif.clear();
        for (int b = 0; b < m_sketch.barsPerPhrase; ++b) {
            const bool last = b == m_sketch.barsPerPhrase - 1;
            const auto& pool = last ? closing : opening;
            m_motif.push_back(pool[static_cast<std::size_t>(m_dice.Below(static_cast<int>(pool.size())))]);
        }
        static constexpr int kMoves[]{-2, -1, -1, 1, 1, 2, 0, 1, -1, 3, -3};
        m_contour.clear();
        for (int n = 0; n < 32; ++n)
            m_contour.push_back(kMoves[m_dice.Below(11)]);
    }

    int NearestChordTone(int degree, int chordDegree) const
    {
        for (int d = 0; d <= 3; ++d)
            for (int candidate : {degree - d, degree + d}) {
                const int rel = ((candidate - chordDegree) % 7 + 7) % 7;
                if (rel == 0 || rel == 2 || rel == 4)
                    return candidate;
            }
        return degree;
    }

    void Melody(const Bar& bar, int degree, int indexInSection, bool lastBar)
    {
        const int inPhrase = indexInSection % m_sketch.barsPerPhrase;
        if (inPhrase == 0)
            m_contourPos = 0;
        const int melodyDegreeBase = 7; // one octave above the tonic
        const Rhythm& rhythm = m_motif[static_cast<std::size_t>(inPhrase)];
        for (std::size_t n = 0; n < rhythm.size(); ++n) {
            const Step& s = rhythm[n];
            int target = m_melodyDegree + m_contour[static_cast<std::size_t>(m_contourPos++ % 32)];
            // Keep the line within a singable range around the upper tonic; octave steps
            // keep chord tones chord tones.
            if (target > 7)
                target -= 7;
            if (target < -3)
                target += 7;
            const bool strong = s.onset == 0 || s.onset == m_sketch.beatsPerBar;
            if (strong)
                target = NearestChordTone(target, degree);
            // The piece ends on the tonic itself.
            if (lastBar && n + 1 == rhythm.size())
                target = 7 * static_cast<int>(std::lround(target / 7.0));
            m_melodyDegree = target;
            int length = s.length * Eighth();
            if (lastBar && n + 1 == rhythm.size())
                length = BarLength() * 3 / 2 - s.onset * Eighth();
            const float v = 0.55f + 0.3f * bar.energy + (strong ? 0.08f : 0.0f);
            Add(bar.start + s.onset * Eighth(), length * 15 / 16, DegreePitch(melodyDegreeBase + target), v,
                m_sketch.melodyVoice, 0.1f);
        }
    }

    const Sketch& m_sketch;
    const std::array<int, 7>& m_scale;
    Dice m_dice;
    int m_beat{};
    int m_position{};
    Piece m_piece;
    std::vector<Rhythm> m_motif;
    std::vector<int> m_contour;
    int m_contourPos{};
    int m_melodyDegree{0};
};

} // namespace

std::vector<int> BeatStarts(const Piece& piece)
{
    std::vector<int> beats;
    for (const Bar& bar : piece.bars)
        for (int b = 0; b < bar.beats; ++b)
            beats.push_back(bar.start + b * bar.beatLength);
    return beats;
}

Piece Compose(const Sketch& sketch)
{
    return Writer{sketch}.Write();
}

} // namespace kalvotune::demo
