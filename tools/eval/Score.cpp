#include "Score.hpp"

#include <algorithm>
#include <map>

namespace kalvotune::eval {

namespace {

struct Reader {
    const std::string& bytes;
    std::size_t at{};
    bool ok{true};

    int Byte()
    {
        if (at >= bytes.size()) {
            ok = false;
            return 0;
        }
        return static_cast<unsigned char>(bytes[at++]);
    }
    std::uint32_t Fixed(int count)
    {
        std::uint32_t v{};
        for (int i = 0; i < count; ++i)
            v = (v << 8) | static_cast<std::uint32_t>(Byte());
        return v;
    }
    std::uint32_t Variable()
    {
        std::uint32_t v{};
        for (int i = 0; i < 4; ++i) {
            const int b{Byte()};
            v = (v << 7) | static_cast<std::uint32_t>(b & 0x7f);
            if (b < 0x80)
                break;
        }
        return v;
    }
};

struct TimeSignature {
    long tick;
    int numerator;
    int denominator;
};

} // namespace

bool ReadScore(const std::string& bytes, double pickupQuarters, Score& score, std::string& error)
{
    Reader in{bytes};
    if (bytes.compare(0, 4, "MThd") != 0) {
        error = "not a MIDI file";
        return false;
    }
    in.at = 4;
    const std::uint32_t headerLength{in.Fixed(4)};
    in.Fixed(2); // format
    const int tracks{static_cast<int>(in.Fixed(2))};
    const int division{static_cast<int>(in.Fixed(2))};
    in.at = 8 + headerLength;
    if (division <= 0 || (division & 0x8000)) {
        error = "SMPTE time division";
        return false;
    }

    std::map<long, double> tempo{{0, 500000.0}}; // tick → microseconds per quarter
    std::vector<TimeSignature> signatures;
    struct RawNote {
        long on, off;
        int pitch;
    };
    std::vector<RawNote> raw;
    for (int track = 0; track < tracks && in.ok; ++track) {
        if (bytes.compare(in.at, 4, "MTrk") != 0) {
            error = "track header missing";
            return false;
        }
        in.at += 4;
        const std::size_t length{in.Fixed(4)};
        const std::size_t end{in.at + length};
        long tick{};
        int status{};
        std::map<int, long> open; // channel × 128 + pitch → tick of note on
        while (in.ok && in.at < end) {
            tick += static_cast<long>(in.Variable());
            int b{in.Byte()};
            if (b == 0xff) {
                const int type{in.Byte()};
                const std::size_t length{in.Variable()};
                const std::size_t data{in.at};
                if (type == 0x51 && length == 3)
                    tempo[tick] = static_cast<double>(in.Fixed(3));
                else if (type == 0x58 && length >= 2) {
                    const int numerator{in.Byte()};
                    const int power{in.Byte()};
                    signatures.push_back({tick, std::max(1, numerator), 1 << std::clamp(power, 0, 6)});
                }
                in.at = data + length;
                continue;
            }
            if (b == 0xf0 || b == 0xf7) {
                in.at += in.Variable();
                continue;
            }
            if (b & 0x80)
                status = b;
            else
                --in.at;
            const int kind{status >> 4}, channel{status & 15};
            const int first{in.Byte()};
            const int second{kind == 0xc || kind == 0xd ? 0 : in.Byte()};
            if (channel == 9)
                continue;
            const int key{channel * 128 + first};
            if (kind == 0x9 && second > 0) {
                if (const auto it = open.find(key); it != open.end())
                    raw.push_back({it->second, tick, first});
                open[key] = tick;
            } else if (kind == 0x8 || (kind == 0x9 && second == 0)) {
                if (const auto it = open.find(key); it != open.end()) {
                    raw.push_back({it->second, tick, first});
                    open.erase(it);
                }
            }
        }
        in.at = end;
    }
    if (!in.ok || raw.empty()) {
        error = raw.empty() ? "no notes" : "truncated";
        return false;
    }

    const auto seconds = [&](double tick) {
        double s{}, lastTick{}, perQuarter{500000.0};
        for (const auto& [at, us] : tempo) {
            if (static_cast<double>(at) >= tick)
                break;
            s += (static_cast<double>(at) - lastTick) / division * perQuarter / 1e6;
            lastTick = static_cast<double>(at);
            perQuarter = us;
        }
        return s + (tick - lastTick) / division * perQuarter / 1e6;
    };

    long lastOn{};
    for (const RawNote& n : raw) {
        score.notes.push_back({seconds(static_cast<double>(n.on)), seconds(static_cast<double>(n.off)), n.pitch});
        lastOn = std::max(lastOn, n.on);
        score.end = std::max(score.end, score.notes.back().end);
    }
    std::sort(score.notes.begin(), score.notes.end(),
        [](const Note& a, const Note& b) { return a.start < b.start || (a.start == b.start && a.pitch < b.pitch); });

    std::stable_sort(signatures.begin(), signatures.end(),
        [](const TimeSignature& a, const TimeSignature& b) { return a.tick < b.tick; });
    // Several tracks may state the same signature at the same tick: one is enough.
    for (std::size_t i = 1; i < signatures.size();)
        if (signatures[i].tick == signatures[i - 1].tick)
            signatures.erase(signatures.begin() + static_cast<long>(i - 1));
        else
            ++i;
    if (signatures.empty() || signatures.front().tick > 0)
        signatures.insert(signatures.begin(), {0, 4, 4});
    bool upbeat{};
    for (std::size_t i = 0; i < signatures.size(); ++i) {
        const TimeSignature& sig{signatures[i]};
        const double segmentEnd{
            i + 1 < signatures.size() ? static_cast<double>(signatures[i + 1].tick) : static_cast<double>(lastOn) + 1};
        const double unit{4.0 * division / sig.denominator};
        const bool compound{sig.denominator == 8 && sig.numerator % 3 == 0};
        const double beat{compound ? 3 * unit : unit};
        const int beatsPerBar{compound ? sig.numerator / 3 : sig.numerator};
        double bar{static_cast<double>(sig.tick)};
        // A first measure shorter than a bar is an upbeat: its beats count back from the
        // first full bar, in the beat of that bar.
        const auto barOf = [&](const TimeSignature& t) { return 4.0 * division / t.denominator * t.numerator; };
        if (i == 0 && i + 1 < signatures.size() && segmentEnd - bar <= barOf(sig) + 0.5
            && segmentEnd - bar < barOf(signatures[1]) - 0.5) {
            upbeat = true;
            continue;
        }
        if (upbeat || pickupQuarters > 0) {
            bar += pickupQuarters * division;
            upbeat = false;
            for (double b = bar - beat; b > -0.5; b -= beat)
                score.beats.push_back(seconds(b));
            pickupQuarters = 0;
        }
        for (; bar < segmentEnd - 0.5; bar += beatsPerBar * beat) {
            score.barStarts.push_back(seconds(bar));
            for (int k = 0; k < beatsPerBar && bar + k * beat < segmentEnd - 0.5; ++k)
                score.beats.push_back(seconds(bar + k * beat));
        }
    }
    std::sort(score.beats.begin(), score.beats.end());
    return true;
}

int TriadRoot(const Score& score, double from, double to)
{
    std::array<double, 12> weight{};
    int bass{-1}, lowest{128};
    for (const Note& n : score.notes) {
        if (n.start >= to)
            break;
        const double overlap{std::min(n.end, to) - std::max(n.start, from)};
        if (overlap <= 0)
            continue;
        weight[static_cast<std::size_t>(n.pitch % 12)] += overlap;
        if (n.pitch < lowest) {
            lowest = n.pitch;
            bass = n.pitch % 12;
        }
    }
    int best{-1}, bestCount{};
    double bestScore{};
    for (int root = 0; root < 12; ++root)
        for (const int third : {4, 3}) {
            const std::array<int, 3> tones{root, (root + third) % 12, (root + 7) % 12};
            double fit{};
            int count{};
            for (const int t : tones) {
                fit += weight[static_cast<std::size_t>(t)];
                count += weight[static_cast<std::size_t>(t)] > 0;
            }
            // Ties go to the triad on the bass note, then to one whose root sounds.
            fit += (root == bass ? 1e-4 : 0.0) + (weight[static_cast<std::size_t>(root)] > 0 ? 1e-5 : 0.0);
            if (count >= 2 && fit > bestScore) {
                bestScore = fit;
                best = root;
                bestCount = count;
            }
        }
    return bestCount >= 2 ? best : -1;
}

} // namespace kalvotune::eval
