#include "Synth.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <initializer_list>
#include <random>

namespace kalvotune::demo {

namespace {

constexpr double kTwoPi{6.283185307179586};
constexpr double kDt{1.0 / kSampleRate};

/// One cycle of a waveform built from harmonic amplitudes, read with linear interpolation;
/// far cheaper than summing sines per sample, which keeps the build step quick.
class Wavetable {
public:
    Wavetable(std::initializer_list<float> harmonics)
    {
        constexpr int kSize{4096};
        m_table.resize(kSize + 1);
        float peak = 0.0f;
        for (int i = 0; i <= kSize; ++i) {
            double v = 0.0;
            int k = 1;
            for (float h : harmonics)
                v += h * std::sin(kTwoPi * k++ * i / kSize);
            m_table[static_cast<std::size_t>(i)] = static_cast<float>(v);
            peak = std::max(peak, std::abs(static_cast<float>(v)));
        }
        for (float& v : m_table)
            v /= peak;
    }

    /// Value at `phase` cycles; any real phase is wrapped into one cycle.
    float At(double phase) const
    {
        const double cycle = phase - std::floor(phase);
        const double pos = cycle * static_cast<double>(m_table.size() - 1);
        const auto i = static_cast<std::size_t>(pos);
        const float frac = static_cast<float>(pos - static_cast<double>(i));
        const std::size_t j = std::min(i + 1, m_table.size() - 1);
        return m_table[i] + (m_table[j] - m_table[i]) * frac;
    }

private:
    std::vector<float> m_table;
};

const Wavetable& SineTable()
{
    static const Wavetable table{1.0f};
    return table;
}

const Wavetable& LeadTable()
{
    static const Wavetable table{1.0f, 0.42f, 0.22f, 0.11f, 0.06f, 0.03f};
    return table;
}

const Wavetable& SawTable()
{
    static const Wavetable table{1.0f, 0.5f, 0.333f, 0.25f, 0.2f, 0.167f, 0.143f, 0.125f, 0.111f, 0.1f};
    return table;
}

const Wavetable& BassTable()
{
    static const Wavetable table{1.0f, 0.55f, 0.3f, 0.15f, 0.08f, 0.04f};
    return table;
}

struct Envelope {
    double attack{};
    double decay{};
    double sustain{};
    double release{};

    /// Level at `t` seconds after the note start for a note held `held` seconds.
    double Level(double t, double held) const
    {
        if (t < held)
            return Shape(t);
        const double r = t - held;
        if (r >= release)
            return 0.0;
        const double fall = 1.0 - r / release;
        return Shape(held) * fall * fall;
    }

private:
    double Shape(double t) const
    {
        if (t < attack)
            return t / attack;
        t -= attack;
        if (t < decay)
            return 1.0 - (1.0 - sustain) * t / decay;
        return sustain;
    }
};

/// A one-pole low-pass: enough to take the edge off bright waveforms.
class LowPass {
public:
    explicit LowPass(double cutoffHz)
        : m_a{static_cast<float>(1.0 - std::exp(-kTwoPi * cutoffHz * kDt))}
    {
    }
    float operator()(float x) { return m_y += m_a * (x - m_y); }

private:
    float m_a;
    float m_y{};
};

/// exp(-rate * t), stepped one sample at a time by multiplication instead of calling exp.
class Decay {
public:
    explicit Decay(double rate)
        : m_factor{std::exp(-rate * kDt)}
    {
    }
    double Next()
    {
        const double v = m_value;
        m_value *= m_factor;
        return v;
    }

private:
    double m_factor;
    double m_value{1.0};
};

double Frequency(int pitch)
{
    return 440.0 * std::pow(2.0, (pitch - 69) / 12.0);
}

struct Mixing {
    float gain{};
    float reverb{};
    float echo{};
};

Mixing MixingOf(Instrument instrument)
{
    switch (instrument) {
    case Instrument::Lead:
        return {0.55f, 0.35f, 0.35f};
    case Instrument::MusicBox:
        return {0.5f, 0.45f, 0.25f};
    case Instrument::Pluck:
        return {0.4f, 0.35f, 0.0f};
    case Instrument::Pad:
        return {0.55f, 0.5f, 0.0f};
    case Instrument::Bass:
        return {0.27f, 0.05f, 0.0f};
    case Instrument::Kick:
        return {0.8f, 0.03f, 0.0f};
    case Instrument::Snare:
        return {0.85f, 0.25f, 0.0f};
    case Instrument::HiHat:
        return {0.5f, 0.1f, 0.0f};
    case Instrument::OpenHat:
        return {0.4f, 0.15f, 0.0f};
    case Instrument::Crash:
        return {0.45f, 0.2f, 0.0f};
    }
    return {};
}

class Voices {
public:
    /// Fills `out` with the mono sound of one note, release tail included.
    void Play(const Note& note, std::vector<float>& out)
    {
        const double f = Frequency(note.pitch);
        const double held = note.length * kDt;
        switch (note.instrument) {
        case Instrument::Lead:
            Lead(f, held, out);
            break;
        case Instrument::MusicBox:
            MusicBox(f, held, out);
            break;
        case Instrument::Pluck:
            Pluck(f, held, out);
            break;
        case Instrument::Pad:
            Pad(f, held, out);
            break;
        case Instrument::Bass:
            Bass(f, held, out);
            break;
        case Instrument::Kick:
            Kick(out);
            break;
        case Instrument::Snare:
            Snare(out);
            break;
        case Instrument::HiHat:
            Hat(0.07, 55.0, out);
            break;
        case Instrument::OpenHat:
            Hat(0.4, 9.0, out);
            break;
        case Instrument::Crash:
            Crash(out);
            break;
        }
        for (float& s : out)
            s *= note.velocity;
    }

private:
    static int Samples(double seconds) { return static_cast<int>(seconds * kSampleRate); }

    float Noise() { return static_cast<float>(m_noise()) / 1073741823.5f - 1.0f; }

    void Lead(double f, double held, std::vector<float>& out)
    {
        const Envelope env{0.03, 0.2, 0.75, 0.18};
        out.assign(static_cast<std::size_t>(Samples(held + env.release)), 0.0f);
        LowPass soften{3800.0};
        double phase = 0.0;
        for (std::size_t i = 0; i < out.size(); ++i) {
            const double t = static_cast<double>(i) * kDt;
            const double vibrato = 1.0 + 0.005 * std::sin(kTwoPi * 5.3 * t) * std::min(1.0, t / 0.4);
            phase += f * vibrato * kDt;
            out[i] = soften(LeadTable().At(phase)) * static_cast<float>(env.Level(t, held));
        }
    }

    void MusicBox(double f, double held, std::vector<float>& out)
    {
        out.assign(static_cast<std::size_t>(Samples(held + 1.2)), 0.0f);
        double phase = 0.0;
        Decay brightness{9.0};
        Decay overtoneFade{4.0};
        Decay fade{2.2};
        for (std::size_t i = 0; i < out.size(); ++i) {
            const double t = static_cast<double>(i) * kDt;
            phase += f * kDt;
            const double index = 0.16 * brightness.Next();
            const double tine = SineTable().At(phase + index * SineTable().At(phase * 4.0));
            const double overtone = 0.25 * SineTable().At(phase * 2.0) * overtoneFade.Next();
            const double tail = t < held ? 1.0 : std::max(0.0, 1.0 - (t - held) / 1.2);
            out[i] = static_cast<float>((tine + overtone) * fade.Next() * std::min(1.0, t / 0.002) * tail);
        }
    }

    void Pluck(double f, double held, std::vector<float>& out)
    {
        out.assign(static_cast<std::size_t>(Samples(held + 0.15)), 0.0f);
        double phase = 0.0;
        Decay brightness{5.0};
        Decay fade{1.8};
        for (std::size_t i = 0; i < out.size(); ++i) {
            const double t = static_cast<double>(i) * kDt;
            phase += f * kDt;
            const double index = 0.06 * brightness.Next() + 0.01;
            const double tone = SineTable().At(phase + index * SineTable().At(phase));
            const double tail = t < held ? 1.0 : std::max(0.0, 1.0 - (t - held) / 0.15);
            out[i] = static_cast<float>(tone * fade.Next() * std::min(1.0, t / 0.003) * tail);
        }
    }

    void Pad(double f, double held, std::vector<float>& out)
    {
        const Envelope env{0.35, 0.6, 0.8, 0.9};
        out.assign(static_cast<std::size_t>(Samples(held + env.release)), 0.0f);
        LowPass warm{1400.0};
        // Three slightly detuned voices make the slow beating of a string pad.
        std::array<double, 3> phase{0.0, 0.31, 0.67};
        const std::array<double, 3> detune{0.996, 1.0, 1.004};
        for (std::size_t i = 0; i < out.size(); ++i) {
            const double t = static_cast<double>(i) * kDt;
            float s = 0.0f;
            for (std::size_t v = 0; v < 3; ++v) {
                phase[v] += f * detune[v] * kDt;
                s += SawTable().At(phase[v]);
            }
            out[i] = warm(s / 3.0f) * static_cast<float>(env.Level(t, held));
        }
    }

    void Bass(double f, double held, std::vector<float>& out)
    {
        const Envelope env{0.004, 0.3, 0.6, 0.07};
        out.assign(static_cast<std::size_t>(Samples(held + env.release)), 0.0f);
        LowPass first{700.0};
        LowPass second{700.0};
        double phase = 0.0;
        for (std::size_t i = 0; i < out.size(); ++i) {
            const double t = static_cast<double>(i) * kDt;
            phase += f * kDt;
            const float body = second(first(BassTable().At(phase)));
            out[i] = (body * 1.4f + 0.5f * SineTable().At(phase)) * static_cast<float>(env.Level(t, held));
        }
    }

    void Kick(std::vector<float>& out)
    {
        out.assign(static_cast<std::size_t>(Samples(0.45)), 0.0f);
        double phase = 0.0;
        Decay drop{30.0};
        Decay fade{6.5};
        Decay clickFade{300.0};
        for (std::size_t i = 0; i < out.size(); ++i) {
            phase += (48.0 + 110.0 * drop.Next()) * kDt;
            const double body = SineTable().At(phase) * fade.Next();
            const double click = 0.15 * Noise() * clickFade.Next();
            out[i] = static_cast<float>(body + click);
        }
    }

    void Snare(std::vector<float>& out)
    {
        out.assign(static_cast<std::size_t>(Samples(0.3)), 0.0f);
        double phase = 0.0;
        float previous = 0.0f;
        Decay rattleFade{16.0};
        Decay bodyFade{22.0};
        for (std::size_t i = 0; i < out.size(); ++i) {
            phase += 190.0 * kDt;
            const float n = Noise();
            const double rattle = 0.7 * (n - previous) * rattleFade.Next();
            previous = n;
            const double body = 0.5 * SineTable().At(phase) * bodyFade.Next();
            out[i] = static_cast<float>(rattle + body);
        }
    }

    void Hat(double seconds, double decay, std::vector<float>& out)
    {
        out.assign(static_cast<std::size_t>(Samples(seconds)), 0.0f);
        float a = 0.0f;
        float b = 0.0f;
        Decay fade{decay};
        for (std::size_t i = 0; i < out.size(); ++i) {
            // Two first differences push white noise up to the sizzle of a cymbal.
            const float n = Noise();
            const float d1 = n - a;
            a = n;
            const float d2 = d1 - b;
            b = d1;
            out[i] = static_cast<float>(0.45 * d2 * fade.Next());
        }
    }

    void Crash(std::vector<float>& out)
    {
        out.assign(static_cast<std::size_t>(Samples(1.8)), 0.0f);
        float a = 0.0f;
        Decay fade{2.2};
        for (std::size_t i = 0; i < out.size(); ++i) {
            const double t = static_cast<double>(i) * kDt;
            const float n = Noise();
            const float d = n - a;
            a = n;
            out[i] = static_cast<float>(0.4 * d * fade.Next() * std::min(1.0, t / 0.002));
        }
    }

    std::minstd_rand m_noise{20240601u};
};

/// A small Schroeder reverb: parallel damped combs into a chain of all-passes.
std::vector<float> Reverberate(const std::vector<float>& in, int spread)
{
    const std::array<int, 6> combs{1116, 1188, 1277, 1356, 1422, 1491};
    const std::array<int, 3> allpasses{556, 441, 341};
    std::vector<float> out(in.size(), 0.0f);
    for (int length : combs) {
        std::vector<float> line(static_cast<std::size_t>(length + spread), 0.0f);
        std::size_t at = 0;
        float damped = 0.0f;
        for (std::size_t i = 0; i < in.size(); ++i) {
            const float delayed = line[at];
            damped = delayed * 0.75f + damped * 0.25f;
            line[at] = in[i] + damped * 0.83f;
            out[i] += delayed;
            if (++at == line.size())
                at = 0;
        }
    }
    for (int length : allpasses) {
        std::vector<float> line(static_cast<std::size_t>(length + spread), 0.0f);
        std::size_t at = 0;
        for (float& s : out) {
            const float delayed = line[at];
            line[at] = s + delayed * 0.5f;
            s = delayed - s * 0.5f;
            if (++at == line.size())
                at = 0;
        }
    }
    return out;
}

double Rms(const std::vector<float>& v)
{
    double sum = 0.0;
    for (float s : v)
        sum += static_cast<double>(s) * s;
    return v.empty() ? 0.0 : std::sqrt(sum / static_cast<double>(v.size()));
}

} // namespace

Pcm Render(const Piece& piece)
{
    const auto frames = static_cast<std::size_t>(std::max(piece.length, 0));
    std::vector<float> left(frames, 0.0f);
    std::vector<float> right(frames, 0.0f);
    std::vector<float> reverbSend(frames, 0.0f);
    std::vector<float> echoSend(frames, 0.0f);

    Voices voices;
    std::vector<float> sound;
    for (const Note& note : piece.notes) {
        voices.Play(note, sound);
        const Mixing mix = MixingOf(note.instrument);
        const double angle = (std::clamp(note.pan, -1.0f, 1.0f) + 1.0) * kTwoPi / 8.0;
        const auto gainLeft = static_cast<float>(std::cos(angle) * mix.gain * 1.41421356);
        const auto gainRight = static_cast<float>(std::sin(angle) * mix.gain * 1.41421356);
        for (std::size_t i = 0; i < sound.size(); ++i) {
            const std::size_t at = static_cast<std::size_t>(note.start) + i;
            if (at >= frames)
                break;
            left[at] += sound[i] * gainLeft;
            right[at] += sound[i] * gainRight;
            reverbSend[at] += sound[i] * mix.gain * mix.reverb;
            echoSend[at] += sound[i] * mix.gain * mix.echo;
        }
    }

    // Ping-pong echo of the lead: left first, then right, each repeat softer.
    const auto delay = static_cast<std::size_t>(std::max(piece.echoDelay, 1));
    std::vector<float> echoLeft(frames, 0.0f);
    std::vector<float> echoRight(frames, 0.0f);
    for (std::size_t i = delay; i < frames; ++i) {
        echoLeft[i] = echoSend[i - delay] + piece.echoFeedback * echoRight[i - delay];
        echoRight[i] = piece.echoFeedback * echoLeft[i - delay];
    }
    for (std::size_t i = 0; i < frames; ++i) {
        left[i] += 0.45f * echoLeft[i];
        right[i] += 0.45f * echoRight[i];
        reverbSend[i] += 0.2f * (echoLeft[i] + echoRight[i]);
    }

    std::vector<float> roomLeft = Reverberate(reverbSend, 0);
    std::vector<float> roomRight = Reverberate(reverbSend, 23);
    const double sendLevel = Rms(reverbSend);
    const double roomLevel = std::max(Rms(roomLeft), 1e-9);
    const auto wet = static_cast<float>(piece.reverbWet * 2.0 * sendLevel / roomLevel);
    float peak = 1e-6f;
    for (std::size_t i = 0; i < frames; ++i) {
        left[i] += wet * roomLeft[i];
        right[i] += wet * roomRight[i];
        peak = std::max({peak, std::abs(left[i]), std::abs(right[i])});
    }

    // Loudest sample at -1 dBFS; a short fade so the file never ends on a click.
    const float scale = 0.89f * 32767.0f / peak;
    const std::size_t fade = std::min<std::size_t>(frames, kSampleRate / 4);
    Pcm pcm;
    pcm.samples.resize(frames * 2);
    for (std::size_t i = 0; i < frames; ++i) {
        float g = scale;
        if (i + fade >= frames)
            g *= static_cast<float>(frames - i) / static_cast<float>(fade + 1);
        pcm.samples[2 * i] = static_cast<std::int16_t>(std::lround(std::clamp(left[i] * g, -32768.0f, 32767.0f)));
        pcm.samples[2 * i + 1] = static_cast<std::int16_t>(std::lround(std::clamp(right[i] * g, -32768.0f, 32767.0f)));
    }
    return pcm;
}

std::vector<float> TickLoudness(const Pcm& pcm)
{
    const int frames = pcm.Frames();
    std::vector<float> loudness(static_cast<std::size_t>(TickCount(frames)), 0.0f);
    for (std::size_t tick = 0; tick < loudness.size(); ++tick) {
        const int begin = static_cast<int>(tick) * kSamplesPerTick;
        const int end = std::min(frames, begin + kSamplesPerTick);
        double sum = 0.0;
        for (int i = 2 * begin; i < 2 * end; ++i) {
            const double s = pcm.samples[static_cast<std::size_t>(i)] / 32768.0;
            sum += s * s;
        }
        loudness[tick] = static_cast<float>(std::sqrt(sum / std::max(1, 2 * (end - begin))));
    }
    return loudness;
}

} // namespace kalvotune::demo
