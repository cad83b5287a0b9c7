// How well templates made from the music follow real compositions. Scores that ship in
// Debian packages (MuseScore's demos, abcmidi's examples) and a few tunes of our own are
// turned into MIDI (mscore3, abc2midi), rendered with fluidsynth and the General MIDI
// soundfont, and analysed like any track. The MIDI file gives the truth: beats and bar
// starts from its tempo map and time signatures, the sounding notes for the chords.
//
//   kalvotune_eval_analysis WORK_FOLDER [TUNES_FOLDER]
//
// For each piece it prints the share of picture-change markers within ±100 ms of a beat
// of the score (slider at 0.4 s, markers on every beat where they may), the share within
// ±100 ms of a bar start (slider at 2 s, markers thinned to bars), and the share of ticks
// whose hue names the root of the triad that best fits the notes sounding then; then the
// means over all pieces. The last column shows what the analysis found at the start:
// beats a bar / beats a minute. Renders are kept in WORK_FOLDER for the next run.
// KALVOTUNE_EVAL_ONLY=NAME runs the pieces whose names begin so; KALVOTUNE_EVAL_DEBUG=1
// adds the first beats, bar starts, markers and notes of each piece and how far the hue's
// roots lie from the score's; KALVOTUNE_EVAL_DUMP=FOLDER writes each piece's score beats,
// bar starts, markers, the hue's roots and the score's per tick there, one list a line.
#include "Score.hpp"

#include "analysis/MusicAnalysis.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace {

namespace fs = std::filesystem;
using kalvotune::analysis::AnalyseTrack;
using kalvotune::analysis::AnalysisResult;
using kalvotune::eval::Score;

constexpr double kTolerance{0.1};
constexpr int kBeatSlider{4};
constexpr int kBarSlider{20};
const char* const kSoundfont{"/usr/share/sounds/sf2/FluidR3_GM.sf2"};

enum class Source { MuseScore, Abc, OwnAbc };

struct Piece {
    const char* name;
    Source source;
    const char* file; ///< under the demo or example folder, or our own tunes folder
    int tune; ///< X: number in an ABC file
    double pickupQuarters; ///< upbeat before the first full bar (ABC only)
    const char* what; ///< metre, tempo and ensemble, for the table
};

// clang-format off
const Piece kPieces[]{
    {"Brassed Up", Source::MuseScore, "Brassed_Up.mscx", 0, 0, "2/2, 89 BPM, brass band"},
    {"Dynamic Strings", Source::MuseScore, "Dynamic_Strings.mscx", 0, 0, "4/4, 50-71 BPM changing, strings"},
    {"Fugue 1", Source::MuseScore, "Fugue_1.mscx", 0, 0, "4/4, 84 BPM, mixed ensemble"},
    {"Reunion", Source::MuseScore, "Reunion.mscz", 0, 0, "4/4 and 3/4, 74-135 BPM changing, piano"},
    {"Unclaimed Gift", Source::MuseScore, "Unclaimed_Gift.mscx", 0, 0, "4/4, piano"},
    {"Araber tants", Source::Abc, "araber.abc", 47, 1.0, "4/4, 144 BPM, guitar + chords"},
    {"Baym Rebin's Sude", Source::Abc, "baym_rebin.abc", 63, 0.5, "2/4, 80 BPM, alto sax + chords"},
    {"Coleraine", Source::Abc, "coleraine.abc", 8, 0.5, "6/8, 95 BPM, flute + chords + drums"},
    {"der Gasn Nigun", Source::Abc, "dergasn.abc", 145, 0.75, "3/8, 73 BPM, guitar + chords"},
    {"Horses Branle", Source::Abc, "demo.abc", 1, 0, "4/4, 127 BPM, piano melody"},
    {"Trumpet Hornpipe", Source::Abc, "demo.abc", 2, 0, "4/4, 140 BPM, piano melody"},
    {"Smash the Windows", Source::Abc, "demo.abc", 3, 0.5, "6/8, 133 BPM, piano melody"},
    {"Candlemas Eve", Source::Abc, "demo.abc", 4, 1.0, "4/4, 200 BPM, four voices"},
    {"The Friendly Visit", Source::Abc, "demo.abc", 6, 1.0, "4/4, 200 BPM, piano + chords"},
    {"Roddy McCawley", Source::Abc, "demo.abc", 8, 2.0, "4/4, 120 BPM, flute + arpeggios"},
    {"Heights of Alma", Source::Abc, "demo.abc", 10, 1.0, "4/4, 120 BPM, flute + strings"},
    {"Cuckoo's Nest", Source::Abc, "demo.abc", 12, 0, "4/4, 144 BPM, piano + chords + drums"},
    {"Pyatidolnik (own)", Source::OwnAbc, "five_four.abc", 1, 0, "5/4, 126 BPM, clarinet + chords"},
    {"Kopanitsa (own)", Source::OwnAbc, "seven_eight.abc", 1, 0, "7/8, 180 BPM, clarinet + guitar"},
    {"Valse (own)", Source::OwnAbc, "waltz_tempo.abc", 1, 0, "3/4, 92-150-86 BPM, piano + strings"},
};
// clang-format on

std::string Quote(const fs::path& p)
{
    return "\"" + p.string() + "\"";
}

bool Run(const std::string& command)
{
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

fs::path MuseScoreDemos()
{
    std::error_code ec;
    for (const fs::directory_entry& e : fs::directory_iterator{"/usr/share", ec})
        if (e.path().filename().string().starts_with("mscore3") && fs::is_directory(e.path() / "demos"))
            return e.path() / "demos";
    return {};
}

/// Makes `wav` from the piece's score; gives the MIDI file on the way, or empty.
fs::path Render(const Piece& piece, const fs::path& tunes, const fs::path& work)
{
    const std::string stem{fs::path{piece.file}.stem().string() + "-" + std::to_string(piece.tune)};
    const fs::path mid{work / (stem + ".mid")}, wav{work / (stem + ".wav")};
    if (!fs::exists(mid)) {
        bool ok{};
        if (piece.source == Source::MuseScore) {
            const fs::path demos{MuseScoreDemos()};
            ok = !demos.empty() && fs::exists(demos / piece.file)
                && Run("QT_QPA_PLATFORM=offscreen mscore3 -o " + Quote(mid) + " " + Quote(demos / piece.file));
        } else {
            const fs::path abc{piece.source == Source::Abc ? fs::path{"/usr/share/doc/abcmidi/examples"} / piece.file
                                                           : tunes / piece.file};
            ok = fs::exists(abc)
                && Run("abc2midi " + Quote(abc) + " " + std::to_string(piece.tune) + " -o " + Quote(mid));
        }
        if (!ok || !fs::exists(mid))
            return {};
    }
    if (!fs::exists(wav)
        && !Run(std::string{"fluidsynth -ni -g 0.6 -F "} + Quote(wav) + " -r 44100 " + kSoundfont + " " + Quote(mid)))
        return {};
    return mid;
}

std::string ReadAll(const fs::path& p)
{
    std::ifstream in{p, std::ios::binary};
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

/// Share of `ticks` within the tolerance of some time in `reference` (sorted).
double ShareNear(const std::vector<int>& ticks, const std::vector<double>& reference)
{
    if (ticks.empty())
        return 0;
    int near{};
    for (const int t : ticks) {
        const double at{t / 10.0};
        const auto it = std::lower_bound(reference.begin(), reference.end(), at - kTolerance - 1e-9);
        near += it != reference.end() && *it <= at + kTolerance + 1e-9;
    }
    return static_cast<double>(near) / static_cast<double>(ticks.size());
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s WORK_FOLDER [TUNES_FOLDER]\n", argv[0]);
        return 2;
    }
    const fs::path work{argv[1]};
    const fs::path tunes{argc > 2 ? fs::path{argv[2]} : fs::path{KALVOTUNE_EVAL_TUNES}};
    fs::create_directories(work);

    std::printf("%-22s %-40s %6s %6s %6s %7s %6s\n", "piece", "metre, tempo, ensemble", "beats", "bars", "roots",
        "ticks", "found");
    double beatSum{}, barSum{}, rootSum{};
    int pieces{}, rootPieces{};
    const char* only{std::getenv("KALVOTUNE_EVAL_ONLY")};
    for (const Piece& piece : kPieces) {
        if (only && !std::string{piece.name}.starts_with(only))
            continue;
        const fs::path mid{Render(piece, tunes, work)};
        if (mid.empty()) {
            std::printf(
                "%-22s could not be rendered (mscore3, abc2midi, fluidsynth and the soundfont needed)\n", piece.name);
            continue;
        }
        Score score;
        std::string error;
        if (!kalvotune::eval::ReadScore(ReadAll(mid), piece.pickupQuarters, score, error)) {
            std::printf("%-22s %s: %s\n", piece.name, mid.c_str(), error.c_str());
            continue;
        }
        fs::path wav{mid};
        wav.replace_extension(".wav");
        const AnalysisResult onBeats{AnalyseTrack(wav, kBeatSlider)};
        const AnalysisResult onBars{AnalyseTrack(wav, kBarSlider)};
        if (!onBeats.ok || !onBars.ok) {
            std::printf("%-22s %s\n", piece.name, onBeats.message.c_str());
            continue;
        }
        if (std::getenv("KALVOTUNE_EVAL_DEBUG")) {
            std::printf("  score end %.1f s, sound %.1f s, %zu beats, %zu bars, %zu notes\n  beats:", score.end,
                onBeats.seconds, score.beats.size(), score.barStarts.size(), score.notes.size());
            for (std::size_t i = 0; i < std::min<std::size_t>(12, score.beats.size()); ++i)
                std::printf(" %.2f", score.beats[i]);
            std::printf("\n  bars:");
            for (std::size_t i = 0; i < std::min<std::size_t>(6, score.barStarts.size()); ++i)
                std::printf(" %.2f", score.barStarts[i]);
            std::printf("\n  markers:");
            for (std::size_t i = 0; i < std::min<std::size_t>(12, onBeats.plan.markerTicks.size()); ++i)
                std::printf(" %.1f", onBeats.plan.markerTicks[i] / 10.0);
            std::printf("\n  notes:");
            for (std::size_t i = 0; i < std::min<std::size_t>(8, score.notes.size()); ++i)
                std::printf(" %.2f-%.2f:%d", score.notes[i].start, score.notes[i].end, score.notes[i].pitch);
            std::printf("\n");
        }
        if (const char* dump = std::getenv("KALVOTUNE_EVAL_DUMP")) {
            std::ofstream out{fs::path{dump} / (std::string{piece.name} + ".txt")};
            const auto list = [&out](const char* name, const auto& values, double scale) {
                out << name;
                for (const auto v : values)
                    out << ' ' << v * scale;
                out << '\n';
            };
            std::vector<int> truth;
            for (std::size_t t = 0; t < onBars.plan.rootPerTick.size(); ++t)
                truth.push_back(kalvotune::eval::TriadRoot(
                    score, static_cast<double>(t) / 10.0, static_cast<double>(t + 1) / 10.0));
            list("beats", score.beats, 1.0);
            list("bars", score.barStarts, 1.0);
            list("markers", onBeats.plan.markerTicks, 0.1);
            list("barmarkers", onBars.plan.markerTicks, 0.1);
            list("roots", onBars.plan.rootPerTick, 1);
            list("truth", truth, 1);
        }
        const double beats{ShareNear(onBeats.plan.markerTicks, score.beats)};
        const double bars{ShareNear(onBars.plan.markerTicks, score.barStarts)};
        int judged{}, agree{};
        std::array<int, 12> intervals{};
        const auto& roots{onBars.plan.rootPerTick};
        for (int t = 0; t < static_cast<int>(roots.size()); ++t) {
            const int truth{kalvotune::eval::TriadRoot(score, t / 10.0, (t + 1) / 10.0)};
            if (truth < 0)
                continue;
            ++judged;
            agree += roots[static_cast<std::size_t>(t)] == truth;
            ++intervals[static_cast<std::size_t>((roots[static_cast<std::size_t>(t)] - truth + 12) % 12)];
        }
        if (std::getenv("KALVOTUNE_EVAL_DEBUG")) {
            std::printf("  hue root minus score root, semitones:");
            for (const int n : intervals)
                std::printf(" %d", n);
            std::printf("\n");
        }
        const double rootShare{judged > 0 ? static_cast<double>(agree) / judged : 0.0};
        ++pieces;
        beatSum += beats;
        barSum += bars;
        if (judged > 0) {
            ++rootPieces;
            rootSum += rootShare;
            std::printf("%-22s %-40s %6.2f %6.2f %6.2f %7d", piece.name, piece.what, beats, bars, rootShare, judged);
        } else
            std::printf("%-22s %-40s %6.2f %6.2f %6s %7d", piece.name, piece.what, beats, bars, "-", judged);
        // What the analysis found: beats a bar at the start and the track's tempo.
        std::printf(
            " %d/%.0f\n", onBars.plan.beatsPerBar, onBars.plan.beatsPerBar > 0 ? 60.0 / onBars.plan.period : 0.0);
        std::fflush(stdout);
    }
    if (pieces == 0) {
        std::printf("Music analysis on scores: no piece could be rendered\n");
        return 1;
    }
    std::printf("Music analysis on scores: beats %.3f, bars %.3f, roots %.3f over %d pieces\n", beatSum / pieces,
        barSum / pieces, rootPieces > 0 ? rootSum / rootPieces : 0.0, pieces);
    return 0;
}
