#include "TemplateMaker.hpp"

#include <algorithm>
#include <cmath>

namespace kalvotune::demo {

namespace {

constexpr int kMinMarkGap{30}; // ticks between figure changes or turns: 3 s

struct Rgb {
    std::uint8_t red{};
    std::uint8_t green{};
    std::uint8_t blue{};
};

Rgb FromHsv(double hueDegrees, double saturation, double value)
{
    const double h = std::fmod(std::fmod(hueDegrees, 360.0) + 360.0, 360.0) / 60.0;
    const double c = value * saturation;
    const double x = c * (1.0 - std::abs(std::fmod(h, 2.0) - 1.0));
    double r = 0.0;
    double g = 0.0;
    double b = 0.0;
    switch (static_cast<int>(h)) {
    case 0:
        r = c;
        g = x;
        break;
    case 1:
        r = x;
        g = c;
        break;
    case 2:
        g = c;
        b = x;
        break;
    case 3:
        g = x;
        b = c;
        break;
    case 4:
        r = x;
        b = c;
        break;
    default:
        r = c;
        b = x;
        break;
    }
    const double m = value - c;
    auto byte = [](double v) { return static_cast<std::uint8_t>(std::clamp(std::lround(v * 255.0), 0L, 255L)); };
    return {byte(r + m), byte(g + m), byte(b + m)};
}

int TickTotal(const Piece& piece)
{
    return TickCount(piece.length);
}

/// Loudness of each tick relative to the loudest one.
std::vector<double> RelativeLoudness(const std::vector<float>& loudness, int ticks)
{
    std::vector<double> relative(static_cast<std::size_t>(ticks), 0.0);
    const float top = loudness.empty() ? 0.0f : *std::max_element(loudness.begin(), loudness.end());
    for (int t = 0; t < ticks && t < static_cast<int>(loudness.size()); ++t)
        relative[static_cast<std::size_t>(t)] = top > 0.0f ? loudness[static_cast<std::size_t>(t)] / top : 0.0;
    return relative;
}

/// Energy of the bar that holds `sample`; the ringing tail after the last bar is calm.
double EnergyAt(const Piece& piece, int sample)
{
    for (const Bar& bar : piece.bars)
        if (sample >= bar.start && sample < bar.start + bar.beats * bar.beatLength)
            return bar.energy;
    return 0.1;
}

bool IsMelody(const Note& note)
{
    return note.instrument == Instrument::Lead || note.instrument == Instrument::MusicBox;
}

int MarkStride(const Bar& bar)
{
    if (bar.energy < 0.45f)
        return bar.beats;
    if (bar.energy < 0.75f)
        return bar.beats % 2 == 0 ? 2 : bar.beats;
    return 1;
}

} // namespace

TemplateChannels MakeFullTemplate(const Piece& piece, const std::vector<float>& loudness)
{
    const int ticks = TickTotal(piece);
    const std::vector<double> loud = RelativeLoudness(loudness, ticks);
    TemplateChannels channels;
    channels.Reset(ticks);

    // Melody pitch sounding at each tick and the ticks where a melody note begins.
    std::vector<int> melodyPitch(static_cast<std::size_t>(ticks), -1);
    std::vector<double> onset(static_cast<std::size_t>(ticks), 0.0);
    for (const Note& note : piece.notes) {
        if (!IsMelody(note))
            continue;
        const int first = TickOf(note.start);
        const int last = std::min(ticks - 1, TickOf(note.start + note.length - 1));
        for (int t = std::max(first, 0); t <= last; ++t)
            melodyPitch[static_cast<std::size_t>(t)] = note.pitch;
        if (first >= 0 && first < ticks)
            onset[static_cast<std::size_t>(first)]
                = std::max<double>(onset[static_cast<std::size_t>(first)], note.velocity);
    }

    std::size_t chord = 0;
    for (int t = 0; t < ticks; ++t) {
        const auto i = static_cast<std::size_t>(t);
        const int centre = t * kSamplesPerTick + kSamplesPerTick / 2;
        while (chord + 1 < piece.chords.size() && piece.chords[chord + 1].start <= centre)
            ++chord;
        // Each step round the circle of fifths turns the hue by 75 degrees, so the few
        // chords of one key land far apart on the colour wheel; minor chords are paler.
        double hue = 200.0;
        bool minor = false;
        if (!piece.chords.empty()) {
            const ChordSpan& span = piece.chords[chord];
            minor = span.minor;
            hue = 75.0 * ((span.root * 7) % 12);
        }
        if (melodyPitch[i] >= 0)
            hue += std::clamp(3.0 * (melodyPitch[i] - 72), -36.0, 36.0);
        const double energy = EnergyAt(piece, centre);
        const double saturation = (0.5 + 0.45 * energy) * (minor ? 0.85 : 1.0);
        double flash = 0.12 * onset[i];
        if (t > 0)
            flash += 0.06 * onset[i - 1];
        const double value = std::min(1.0, 0.22 + 0.72 * std::sqrt(loud[i]) + flash);
        const Rgb colour = FromHsv(hue, saturation, value);
        channels.blue[i] = colour.blue & 0xFE;
        channels.green[i] = colour.green;
        channels.red[i] = colour.red & 0xFE;
        // Calm steps: the figures glide rather than jump across the movement window.
        const long speed = std::lround(2.0 + 6.0 * energy + 3.0 * loud[i]);
        channels.speed[i] = static_cast<std::uint8_t>(std::clamp(speed, 0L, static_cast<long>(kTopSpeed)));
    }

    int lastFigureChange = -kMinMarkGap;
    int lastTurn = -kMinMarkGap;
    for (const Bar& bar : piece.bars) {
        const int tick = TickOf(bar.start);
        if (tick >= ticks)
            break;
        const auto i = static_cast<std::size_t>(tick);
        if (bar.phraseStart && tick - lastFigureChange >= kMinMarkGap) {
            channels.blue[i] |= 1;
            lastFigureChange = tick;
        }
        if (bar.accent && tick - lastTurn >= kMinMarkGap) {
            channels.red[i] |= 1;
            lastTurn = tick;
        }
        for (int b = 0; b < bar.beats; b += MarkStride(bar)) {
            const int beatTick = TickOf(bar.start + b * bar.beatLength);
            if (beatTick < ticks)
                channels.speed[static_cast<std::size_t>(beatTick)] += kPictureChangeMark;
        }
    }
    return channels;
}

std::vector<std::uint8_t> MakeStillTemplate(const Piece& piece, const std::vector<float>& loudness)
{
    const int ticks = TickTotal(piece);
    const std::vector<double> loud = RelativeLoudness(loudness, ticks);
    std::vector<std::uint8_t> speed(static_cast<std::size_t>(ticks));
    for (int t = 0; t < ticks; ++t)
        speed[static_cast<std::size_t>(t)]
            = static_cast<std::uint8_t>(2 + std::lround(5.0 * loud[static_cast<std::size_t>(t)]));
    for (int beat : BeatStarts(piece)) {
        const int tick = TickOf(beat);
        if (tick < ticks)
            speed[static_cast<std::size_t>(tick)] += kPictureChangeMark;
    }
    return speed;
}

} // namespace kalvotune::demo
