#include "Catalogue.hpp"

namespace kalvotune::demo {

namespace {

int Seconds(double s)
{
    return static_cast<int>(s * kSampleRate);
}

/// Bright and flowing: D major, 100 beats a minute, flute over electric piano.
Sketch SeaBreeze()
{
    Sketch s;
    s.seed = 1703;
    s.bpm = 100;
    s.beatsPerBar = 4;
    s.tonic = 62; // D
    s.melodyVoice = Instrument::Lead;
    s.arpeggioVoice = Instrument::Pluck;
    s.reverbWet = 0.3f;
    s.echoFeedback = 0.3f;
    s.sections = {
        {{0, 4}, 0.25f, false, false, true, true},
        {{0, 4, 5, 3}, 0.55f, true, true, true, true},
        {{0, 4, 5, 3}, 0.8f, true, true, true, true},
        {{3, 4, 2, 5}, 0.9f, true, true, true, true},
        {{3, 0}, 0.4f, true, true, true, false},
    };
    return s;
}

/// Calm and dark: A minor, 84 beats a minute, sparse drums and a long echo.
Sketch NightLanterns()
{
    Sketch s;
    s.seed = 8421;
    s.bpm = 84;
    s.beatsPerBar = 4;
    s.tonic = 57; // A
    s.minor = true;
    s.melodyVoice = Instrument::Lead;
    s.arpeggioVoice = Instrument::MusicBox;
    s.tailSeconds = 3.0f;
    s.reverbWet = 0.45f;
    s.echoFeedback = 0.45f;
    s.sections = {
        {{0, 5}, 0.2f, false, false, true, true},
        {{0, 5, 2, 6}, 0.4f, true, true, true, true},
        {{3, 0, 5, 6}, 0.6f, true, true, true, true},
        {{5, 0}, 0.3f, true, true, true, false},
    };
    return s;
}

/// Merry: an F major waltz at 160 beats a minute on a music box.
Sketch Carousel()
{
    Sketch s;
    s.seed = 316;
    s.bpm = 160;
    s.beatsPerBar = 3;
    s.tonic = 65; // F
    s.melodyVoice = Instrument::MusicBox;
    s.arpeggioVoice = Instrument::Pluck;
    s.padChords = false;
    s.barsPerPhrase = 4;
    s.reverbWet = 0.3f;
    s.echoFeedback = 0.2f;
    s.sections = {
        {{0, 0, 4, 4}, 0.3f, true, false, true, false},
        {{0, 0, 4, 4, 4, 4, 0, 0}, 0.55f, true, true, true, false},
        {{3, 3, 0, 0, 4, 4, 0, 0}, 0.8f, true, true, true, false},
        {{3, 4, 0, 0}, 0.4f, true, true, true, false},
    };
    return s;
}

} // namespace

std::vector<ShippedTrack> ShippedTracks()
{
    return {
        {"Морской бриз", ".mp3", TemplateKind::Full, SeaBreeze()},
        {"Night Lanterns", ".wav", TemplateKind::StillPicture, NightLanterns()},
        {"Carousel", ".wma", TemplateKind::None, Carousel()},
    };
}

Piece ExitJingle()
{
    Piece p;
    const int step = Seconds(0.14);
    const int notes[]{79, 76, 72, 67};
    for (int i = 0; i < 4; ++i)
        p.notes.push_back({i * step, step, notes[i], 0.75f, Instrument::MusicBox, i % 2 == 0 ? -0.3f : 0.3f});
    for (int pitch : {60, 64, 67, 72})
        p.notes.push_back({4 * step, Seconds(0.5), pitch, 0.6f, Instrument::MusicBox, 0.0f});
    p.notes.push_back({4 * step, Seconds(0.6), 48, 0.6f, Instrument::Bass, 0.0f});
    p.length = Seconds(1.5);
    p.reverbWet = 0.35f;
    p.echoFeedback = 0.0f;
    return p;
}

Piece AboutJingle()
{
    Piece p;
    const int step = Seconds(0.11);
    const int rise[]{62, 66, 69, 74, 78, 81};
    for (int i = 0; i < 6; ++i)
        p.notes.push_back({i * step, 2 * step, rise[i], 0.55f + 0.05f * i, Instrument::Pluck, -0.5f + 0.2f * i});
    const int chordAt = 6 * step;
    for (int pitch : {62, 66, 69, 74})
        p.notes.push_back({chordAt, Seconds(1.6), pitch, 0.5f, Instrument::Pad, 0.0f});
    for (int pitch : {86, 90, 93})
        p.notes.push_back({chordAt, Seconds(0.8), pitch, 0.45f, Instrument::MusicBox, 0.2f});
    p.notes.push_back({chordAt, Seconds(1.2), 38, 0.8f, Instrument::Bass, 0.0f});
    p.notes.push_back({chordAt, Seconds(0.4), 0, 0.8f, Instrument::Kick, 0.0f});
    p.notes.push_back({chordAt, Seconds(1.8), 0, 0.4f, Instrument::Crash, 0.3f});
    p.length = Seconds(3.0);
    p.reverbWet = 0.4f;
    p.echoFeedback = 0.0f;
    return p;
}

} // namespace kalvotune::demo
