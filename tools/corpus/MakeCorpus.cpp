// Makes the labelled corpus the analysis learns from and is measured on: chord charts
// written here from a fixed seed, turned into MIDI by mma with the grooves of its library
// (and a few of our own for metres it lacks), rendered by fluidsynth with one of three
// General MIDI soundfonts at varied gain, some with reverb and chorus. The labels come
// from the charts: every beat, every bar start, the metre and the chord of every moment.
//
//   kalvotune_make_corpus FOLDER [PIECES] [JOBS]
//
// Pieces already made are kept, so a second run only finishes what is missing. Groove
// families and soundfonts are split: a validation family is rendered only with the
// validation soundfont, and no chart is used twice.
#include "Corpus.hpp"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <mutex>
#include <random>
#include <span>
#include <sstream>
#include <thread>

namespace {

namespace fs = std::filesystem;
using namespace kalvotune::corpus;

/// A groove family: one file of mma's library (or one of ours), played in one metre.
struct Family {
    const char* name; ///< library file under /usr/share/mma/lib, or "own/…"
    int time; ///< mma beats (quarter notes of the MIDI file) a bar
    int group; ///< mma beats a felt beat: 3 for 6/8 written as six eighths
    const char* metre;
    int slowest, fastest; ///< felt beats a minute
    bool validation;
};

// clang-format off
const Family kFamilies[]{
    {"stdlib/50srock", 4, 1, "4/4", 100, 170, false},
    {"stdlib/8beat", 4, 1, "4/4", 80, 140, false},
    {"stdlib/ballad", 4, 1, "4/4", 55, 90, false},
    {"stdlib/bossanova", 4, 1, "4/4", 90, 150, true},
    {"stdlib/chacha", 4, 1, "4/4", 100, 130, false},
    {"stdlib/countryswing", 4, 1, "4/4", 100, 180, false},
    {"stdlib/folk", 4, 1, "4/4", 80, 140, true},
    {"stdlib/foxtrot", 4, 1, "4/4", 100, 150, false},
    {"stdlib/jazzcombo", 4, 1, "4/4", 90, 200, false},
    {"stdlib/popballad", 4, 1, "4/4", 60, 100, false},
    {"stdlib/ragtime", 4, 1, "4/4", 80, 140, false},
    {"stdlib/rhumba", 4, 1, "4/4", 90, 140, true},
    {"stdlib/samba", 4, 1, "4/4", 90, 160, false},
    {"stdlib/ska", 4, 1, "4/4", 110, 180, false},
    {"stdlib/slowblues", 4, 1, "4/4", 50, 80, true},
    {"stdlib/swing", 4, 1, "4/4", 110, 210, false},
    {"stdlib/twist", 4, 1, "4/4", 120, 170, true},
    {"stdlib/softrock", 4, 1, "4/4", 70, 120, false},
    {"casio/funk1", 4, 1, "4/4", 90, 120, false},
    {"kara/kbossa", 4, 1, "4/4", 100, 150, true},
    {"yamaha/jazzswing", 4, 1, "4/4", 110, 200, false},
    {"pflib/rock1", 4, 1, "4/4", 100, 150, true},
    {"stdlib/waltz", 3, 1, "3/4", 80, 160, false},
    {"stdlib/jazzwaltz", 3, 1, "3/4", 100, 200, false},
    {"stdlib/countrywaltz", 3, 1, "3/4", 90, 160, true},
    {"stdlib/rockwaltz", 3, 1, "3/4", 80, 140, false},
    {"stdlib/vienesewaltz", 3, 1, "3/4", 150, 210, false},
    {"casio/popwaltz", 3, 1, "3/4", 80, 140, true},
    {"stdlib/68swing", 6, 3, "6/8", 55, 80, false},
    {"stdlib/arpeggio68", 6, 3, "6/8", 50, 75, true},
    {"stdlib/blues68", 6, 3, "6/8", 50, 75, false},
    {"stdlib/68march", 2, 1, "6/8", 90, 130, false},
    {"stdlib/blues128", 4, 1, "12/8", 55, 85, false},
    {"stdlib/rock-128", 4, 1, "12/8", 60, 90, true},
    {"stdlib/ballad128", 4, 1, "12/8", 50, 80, false},
    {"stdlib/jazz-54", 5, 1, "5/4", 110, 190, false},
    {"own/five", 5, 1, "5/4", 90, 170, true},
    {"own/two", 2, 1, "2/4", 90, 150, false},
    {"own/polka", 2, 1, "2/4", 100, 160, true},
    {"own/seven", 7, 1, "7/4", 120, 200, false},
    {"own/mixed", 4, 1, "4/4", 90, 150, false},
};

/// More training families for the pieces from `kFirstWiderPiece` on: the training part
/// hears more kinds of accompaniment, while the pieces before keep their families (and so
/// the validation part stays as it was). None is a style of a validation family.
const Family kWiderFamilies[]{
    {"stdlib/60srock", 4, 1, "4/4", 100, 160, false},
    {"stdlib/beguine", 4, 1, "4/4", 100, 140, false},
    {"stdlib/bigband", 4, 1, "4/4", 110, 190, false},
    {"stdlib/boggiewoggie", 4, 1, "4/4", 100, 160, false},
    {"stdlib/calypso", 4, 1, "4/4", 100, 140, false},
    {"stdlib/charleston", 4, 1, "4/4", 130, 200, false},
    {"stdlib/dixie", 4, 1, "4/4", 120, 200, false},
    {"stdlib/dsoul", 4, 1, "4/4", 80, 120, false},
    {"stdlib/easyswing", 4, 1, "4/4", 90, 150, false},
    {"stdlib/jive", 4, 1, "4/4", 140, 190, false},
    {"stdlib/mambo", 4, 1, "4/4", 100, 150, false},
    {"stdlib/merengue", 4, 1, "4/4", 110, 160, false},
    {"stdlib/pianoballad", 4, 1, "4/4", 60, 90, false},
    {"stdlib/rb", 4, 1, "4/4", 80, 120, false},
    {"stdlib/showtune", 4, 1, "4/4", 100, 150, false},
    {"stdlib/softshoe", 4, 1, "4/4", 90, 130, false},
    {"stdlib/strut", 4, 1, "4/4", 90, 130, false},
    {"stdlib/zydeco", 4, 1, "4/4", 110, 160, false},
    {"stdlib/westernswing", 4, 1, "4/4", 120, 180, false},
    {"stdlib/hymn", 4, 1, "4/4", 70, 110, false},
    {"stdlib/basicrock", 4, 1, "4/4", 100, 150, false},
    {"stdlib/bvfunk", 4, 1, "4/4", 90, 120, false},
    {"stdlib/march", 4, 1, "4/4", 100, 130, false},
    {"casio/discosoul", 4, 1, "4/4", 110, 130, false},
    {"casio/hip-hop", 4, 1, "4/4", 80, 100, false},
    {"kara/8beatmotown", 4, 1, "4/4", 110, 150, false},
    {"pflib/16beat1", 4, 1, "4/4", 80, 120, false},
    {"pflib/metal1", 4, 1, "4/4", 100, 160, false},
    {"stdlib/fastwaltz", 3, 1, "3/4", 150, 200, false},
    {"stdlib/frenchwaltz", 3, 1, "3/4", 100, 170, false},
    {"stdlib/latinwaltz", 3, 1, "3/4", 100, 160, false},
    {"stdlib/modernjazzwaltz", 3, 1, "3/4", 110, 180, false},
    {"stdlib/broadwaywaltz", 3, 1, "3/4", 90, 150, false},
    {"casio/jazzwaltz", 3, 1, "3/4", 100, 170, false},
    {"casio/68ballad", 6, 3, "6/8", 50, 75, false},
    // Written in four dotted beats a bar, like the 12/8 families above.
    {"stdlib/ballad68", 4, 1, "12/8", 50, 80, false},
};
// clang-format on

/// The first piece whose family comes from `kWiderFamilies`.
constexpr int kFirstWiderPiece{440};

/// The family of piece `i`, taken in turn from the families of its part of the corpus, and
/// how many times that part's families have been taken before it.
const Family& FamilyOf(int i, int& round)
{
    const bool wider{i >= kFirstWiderPiece};
    const int from{wider ? kFirstWiderPiece : 0};
    const int count{static_cast<int>(wider ? std::size(kWiderFamilies) : std::size(kFamilies))};
    round = (i - from) / count;
    return wider ? kWiderFamilies[(i - from) % count] : kFamilies[(i - from) % count];
}

struct Soundfont {
    const char* name;
    const char* path;
};
const Soundfont kTrainingFonts[]{
    {"FluidR3", "/usr/share/sounds/sf2/FluidR3_GM.sf2"},
    {"TimGM6mb", "/usr/share/sounds/sf2/TimGM6mb.sf2"},
};
const Soundfont kValidationFont{"MuseScoreGeneral", "/usr/share/sounds/sf3/MuseScore_General.sf3"};

// Our grooves: drums, bass and a chord instrument, accents where the metre puts them.
const char* const kOwnGrooves{R"(Begin Drum-Kick
 Tone KickDrum1
End
Begin Drum-Snare
 Tone SnareDrum1
End
Begin Drum-Hat
 Tone ClosedHiHat
End
Begin Bass
 Voice FingeredBass
 Octave 3
End
Begin Chord
 Voice Piano1
End
Time 2
Timesig 2 4
Drum-Kick Sequence {1 0 110}
Drum-Snare Sequence {2 0 90}
Drum-Hat Sequence {1 0 60; 1.5 0 45; 2 0 60; 2.5 0 45}
Bass Sequence {1 4 1 100; 2 4 5 80}
Chord Sequence {1.5 8 80; 2.5 8 80}
DefGroove OwnTwo
Chord Voice Accordion
Chord Sequence {2 4 75}
Drum-Hat Sequence {1.5 0 60; 2.5 0 60}
Bass Sequence {1 4 1 100; 1.5 8 5 70; 2 4 5 80}
DefGroove OwnPolka
Time 5
Timesig 5 4
Drum-Kick Sequence {1 0 110; 4 0 90}
Drum-Snare Sequence {3 0 80; 5 0 70}
Drum-Hat Sequence {1 0 60; 2 0 50; 3 0 60; 4 0 55; 5 0 50}
Bass Sequence {1 2 1 100; 4 2 5 85}
Chord Voice Piano1
Chord Sequence {2 4 70; 3 4 70; 5 4 70}
DefGroove OwnFive
Time 7
Timesig 7 4
Drum-Kick Sequence {1 0 110; 3 0 80; 5 0 90}
Drum-Snare Sequence {2 0 70; 4 0 70; 6 0 75}
Drum-Hat Sequence {1 0 60; 2 0 50; 3 0 55; 4 0 50; 5 0 55; 6 0 50; 7 0 50}
Bass Sequence {1 2 1 100; 3 2 5 80; 5 3 1 85}
Chord Sequence {2 4 70; 4 4 70; 6 4 70; 7 4 65}
DefGroove OwnSeven
Time 3
Timesig 3 4
Drum-Kick Sequence {1 0 110}
Drum-Snare Sequence {2 0 60; 3 0 60}
Drum-Hat Sequence {1 0 60; 2 0 50; 3 0 50}
Bass Sequence {1 4 1 100}
Chord Sequence {2 4 70; 3 4 70}
DefGroove OwnThree
Time 4
Timesig 4 4
Drum-Kick Sequence {1 0 110; 3 0 95}
Drum-Snare Sequence {2 0 85; 4 0 85}
Drum-Hat Sequence {1 0 60; 1.5 0 45; 2 0 60; 2.5 0 45; 3 0 60; 3.5 0 45; 4 0 60; 4.5 0 45}
Bass Sequence {1 4 1 100; 3 4 5 85}
Chord Sequence {1 2 75; 3 2 70}
DefGroove OwnFour
)"};

/// Chord progressions, one chord a token: a scale degree (b or # in front for the notes
/// outside the major scale) and an mma chord suffix. Minor-key charts spell their flats.
// clang-format off
const char* const kProgressions[]{
    "1 5 6m 4", "1 6m 4 5", "1 4 5 1", "2m7 5 1 1", "1 6m 2m 5", "1maj7 67 2m7 57",
    "17 47 17 17 47 47 17 17 57 47 17 57", "1 27 5 1", "1 37 6m 4 5 1",
    "1 4 7m7b5 3m 6m 2m 5 1", "1 b7 1 b7", "1m 4 1m 4", "1m b6 b7 1m", "1m 4m 57 1m",
    "1m 2m7b5 57 1m", "1m b6 b3 b7", "1 5 6m 3m 4 1 4 5", "1 5sus4 5 1", "1 4 1 57",
    "1m7 47 1m7 47", "1maj7 4maj7", "2m7 57 1maj7 6m7", "1 b3 4 1", "1 1 4 4 5 4 1 5",
    "1m b7 b6 57", "16 2m7 57 1", "1 b7 4 1", "1 2m 3m 4 5 4 3m 2m", "1m 1m 4m 4m 57 57 1m 1m",
    "17 47 17 57", "1 3 4 4m", "6m 4 1 5", "1 5 4 5", "1m7 2m7 1m7 2m7",
};
// clang-format on

const char* const kNoteNames[]{"C", "C#", "D", "Eb", "E", "F", "F#", "G", "Ab", "A", "Bb", "B"};

struct Chord {
    int root{};
    std::string suffix;
    Quality quality{};
};

Quality QualityOf(const std::string& suffix)
{
    if (suffix.empty() || suffix == "6" || suffix == "aug")
        return Quality::Major;
    if (suffix == "m" || suffix == "m6")
        return Quality::Minor;
    if (suffix == "7" || suffix == "9")
        return Quality::Dominant7;
    if (suffix == "maj7")
        return Quality::Major7;
    if (suffix == "m7")
        return Quality::Minor7;
    if (suffix == "dim" || suffix == "m7b5")
        return Quality::Diminished;
    return Quality::Suspended;
}

Chord ParseToken(const std::string& token, int key)
{
    std::size_t at{};
    int shift{};
    while (at < token.size() && (token[at] == 'b' || token[at] == '#'))
        shift += token[at++] == 'b' ? -1 : 1;
    static constexpr int kDegrees[]{0, 2, 4, 5, 7, 9, 11};
    const int degree{token[at++] - '1'};
    Chord c;
    c.root = ((key + kDegrees[degree] + shift) % 12 + 12) % 12;
    c.suffix = token.substr(at);
    c.quality = QualityOf(c.suffix);
    return c;
}

/// Random numbers from a fixed seed, the same on every platform.
struct Dice {
    std::mt19937 engine;
    int Below(int n) { return static_cast<int>(engine() % static_cast<unsigned>(n)); }
    double Unit() { return static_cast<double>(engine() % 1000000u) / 1e6; }
    bool Chance(double p) { return Unit() < p; }
};

/// The grooves a library file defines, without intros, endings and fills.
std::vector<std::string> GroovesOf(const Family& family)
{
    if (std::string{family.name} == "own/two")
        return {"OwnTwo"};
    if (std::string{family.name} == "own/polka")
        return {"OwnPolka"};
    if (std::string{family.name} == "own/five")
        return {"OwnFive"};
    if (std::string{family.name} == "own/seven")
        return {"OwnSeven"};
    if (std::string{family.name} == "own/mixed")
        return {"OwnFour"};
    std::vector<std::string> grooves;
    std::istringstream in{ReadFile(fs::path{"/usr/share/mma/lib"} / (std::string{family.name} + ".mma"))};
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream words{line};
        std::string word, name;
        words >> word >> name;
        std::transform(word.begin(), word.end(), word.begin(), [](unsigned char ch) { return std::tolower(ch); });
        if (word != "defgroove" || name.empty())
            continue;
        std::string lower{name};
        std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char ch) { return std::tolower(ch); });
        if (lower.find("intro") == std::string::npos && lower.find("end") == std::string::npos
            && lower.find("fill") == std::string::npos && lower.find("drum") == std::string::npos
            && lower.find("break") == std::string::npos)
            grooves.push_back(name);
    }
    return grooves;
}

struct Made {
    std::string chart;
    Labels labels;
};

/// Writes one piece's chart and its labels: bars of the family's metre (the mixed family
/// turns to bars of three half-way), one or two chords a bar, a tempo change in some.
Made WriteChart(const Family& family, const std::vector<std::string>& grooves, int seed)
{
    Dice dice{std::mt19937{static_cast<unsigned>(seed)}};
    const std::string groove{grooves[static_cast<std::size_t>(dice.Below(static_cast<int>(grooves.size())))]};
    const int key{dice.Below(12)};
    const std::string progression{kProgressions[dice.Below(std::size(kProgressions))]};
    const double felt{family.slowest + dice.Unit() * (family.fastest - family.slowest)};
    const bool sevenths{dice.Chance(0.3)}, inversions{dice.Chance(0.25)}, twoABar{dice.Chance(0.3)};
    const bool tempoChange{dice.Chance(0.2)};
    const double newTempoFactor{dice.Chance(0.5) ? 0.8 + 0.1 * dice.Unit() : 1.12 + 0.13 * dice.Unit()};
    const bool mixed{std::string{family.name} == "own/mixed"};

    std::vector<Chord> chords;
    {
        std::istringstream tokens{progression};
        for (std::string token; tokens >> token;) {
            Chord c{ParseToken(token, key)};
            if (sevenths && (c.suffix.empty() || c.suffix == "m")) {
                const int degree{(c.root - key + 12) % 12};
                c.suffix = c.suffix == "m" ? "m7" : degree == 7 ? "7" : "maj7";
                c.quality = QualityOf(c.suffix);
            }
            chords.push_back(c);
        }
    }
    const double target{30.0 + 15.0 * dice.Unit()}; // seconds of music
    std::ostringstream chart;
    chart << "// seed " << seed << ", " << family.name << "\n";
    // mma humanises timing and velocity at random: seeded, the same chart makes the same MIDI.
    chart << "RndSeed " << seed << "\n";
    if (std::string{family.name}.starts_with("own/"))
        chart << kOwnGrooves;
    else
        chart << "Use " << family.name << "\n";
    chart << "Groove " << groove << "\n";
    double tempo{felt * family.group}; // mma beats a minute
    chart << "Tempo " << std::lround(tempo) << "\n";
    tempo = static_cast<double>(std::lround(tempo));

    Made made;
    made.labels.metre = family.metre;
    double now{};
    int bar{1};
    std::size_t next{};
    int time{family.time};
    while (now < target || bar <= 4) {
        if (tempoChange && now >= target / 2 && tempo == static_cast<double>(std::lround(felt * family.group))) {
            tempo = static_cast<double>(std::lround(tempo * newTempoFactor));
            chart << "Tempo " << std::lround(tempo) << "\n";
        }
        if (mixed && now >= target / 2 && time == 4) {
            time = 3;
            chart << "Groove OwnThree\n";
        }
        const double beatSeconds{60.0 / tempo};
        const int felts{time / family.group};
        made.labels.barStarts.push_back(now);
        made.labels.beatsPerBar.push_back(felts);
        for (int b = 0; b < felts; ++b)
            made.labels.beats.push_back(now + b * family.group * beatSeconds);
        // The chords of this bar: one, or two with the second on the felt beat nearest the middle.
        const int perBar{twoABar && felts >= 2 ? 2 : 1};
        const int split{(felts + 1) / 2};
        chart << bar;
        for (int c = 0; c < perBar; ++c) {
            const Chord chord{chords[next++ % chords.size()]};
            const int fromFelt{c == 0 ? 0 : split}, toFelt{perBar == 1 || c == 1 ? felts : split};
            std::string name{std::string{kNoteNames[chord.root]} + chord.suffix};
            if (inversions && dice.Chance(0.3) && (chord.quality == Quality::Major || chord.quality == Quality::Minor))
                name += "/" + std::string{kNoteNames[(chord.root + (chord.quality == Quality::Major ? 4 : 3)) % 12]};
            for (int m = fromFelt * family.group; m < toFelt * family.group; ++m)
                chart << ' ' << (m == fromFelt * family.group ? name : "/");
            made.labels.chords.push_back(ChordSpan{now + fromFelt * family.group * beatSeconds,
                now + toFelt * family.group * beatSeconds, chord.root, chord.quality});
        }
        chart << "\n";
        now += time * beatSeconds;
        ++bar;
    }
    made.chart = chart.str();
    return made;
}

bool Run(const std::string& command)
{
    return std::system(("nice -n 19 " + command + " >/dev/null 2>&1").c_str()) == 0;
}

std::string Quote(const fs::path& p)
{
    return "\"" + p.string() + "\"";
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s FOLDER [PIECES] [JOBS]\n", argv[0]);
        return 2;
    }
    const fs::path folder{argv[1]};
    const int pieces{argc > 2 ? std::atoi(argv[2]) : 740};
    const int jobs{std::clamp(argc > 3 ? std::atoi(argv[3]) : 2, 1, 8)};
    fs::create_directories(folder);

    std::map<std::string, std::vector<std::string>> grooves;
    for (const auto& part : {std::span<const Family>{kFamilies}, std::span<const Family>{kWiderFamilies}})
        for (const Family& f : part) {
            grooves[f.name] = GroovesOf(f);
            if (grooves[f.name].empty()) {
                std::fprintf(stderr, "no grooves in %s: is mma installed?\n", f.name);
                return 1;
            }
        }

    std::vector<Entry> entries(static_cast<std::size_t>(pieces));
    std::atomic<int> nextPiece{0}, failed{0};
    std::mutex printing;
    const auto work = [&] {
        for (int i = nextPiece++; i < pieces; i = nextPiece++) {
            int round{};
            const Family& family{FamilyOf(i, round)};
            const Soundfont font{family.validation ? kValidationFont : kTrainingFonts[(i + round) % 2]};
            std::string stem{family.name};
            std::replace(stem.begin(), stem.end(), '/', '-');
            char name[64];
            std::snprintf(name, sizeof name, "p%03d-%s", i, stem.c_str());
            Entry& e{entries[static_cast<std::size_t>(i)]};
            e = Entry{name, "mma", family.name, family.metre, font.name, family.validation};
            const fs::path labels{folder / (e.name + ".labels")}, wav{folder / (e.name + ".wav")};
            if (fs::exists(labels) && fs::exists(wav))
                continue;
            const Made made{WriteChart(family, grooves[family.name], 1000 + i)};
            const fs::path chart{folder / (e.name + ".mma")}, mid{folder / (e.name + ".mid")};
            std::ofstream{chart} << made.chart;
            Dice dice{std::mt19937{static_cast<unsigned>(5000 + i)}};
            const double gain{0.25 + 0.55 * dice.Unit()};
            const bool reverb{dice.Chance(0.4)}, chorus{dice.Chance(0.3)};
            char options[160];
            std::snprintf(options, sizeof options,
                "-ni -q -o synth.dynamic-sample-loading=1 -g %.2f -R %d -C %d -r 22050", gain, reverb ? 1 : 0,
                chorus ? 1 : 0);
            const bool ok{Run("mma -f " + Quote(mid) + " " + Quote(chart))
                && Run(
                    std::string{"fluidsynth "} + options + " -F " + Quote(wav) + " " + font.path + " " + Quote(mid))};
            if (ok)
                std::ofstream{labels} << WriteLabels(made.labels);
            const std::lock_guard lock{printing};
            if (!ok) {
                ++failed;
                std::printf("%s: could not be made\n", e.name.c_str());
            } else
                std::printf("%s %s %s %s\n", e.name.c_str(), e.metre.c_str(), font.name,
                    family.validation ? "validation" : "training");
            std::fflush(stdout);
        }
    };
    std::vector<std::thread> threads;
    for (int j = 0; j < jobs; ++j)
        threads.emplace_back(work);
    for (std::thread& t : threads)
        t.join();
    std::erase_if(entries, [&](const Entry& e) { return !fs::exists(folder / (e.name + ".labels")); });
    WriteIndex(folder, entries);
    std::printf("Corpus: %zu pieces in %s (%d could not be made)\n", entries.size(), folder.c_str(), failed.load());
    return failed > 0 ? 1 : 0;
}
