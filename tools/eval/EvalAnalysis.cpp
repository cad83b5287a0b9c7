// How well templates made from the music follow real compositions. Scores that ship in
// Debian packages (MuseScore's demos, abcmidi's examples) and a few tunes of our own are
// turned into MIDI (mscore3, abc2midi), rendered with fluidsynth and the General MIDI
// soundfont, and analysed like any track. The MIDI file gives the truth: beats and bar
// starts from its tempo map and time signatures, the sounding notes for the chords.
//
//   kalvotune_eval_analysis WORK_FOLDER [CORPUS_FOLDER [TUNES_FOLDER]]
//
// For each piece it prints the share of picture-change markers within ±100 ms of a beat
// of the score (slider at 0.4 s, markers on every beat where they may), the share within
// ±100 ms of a bar start (slider at 2 s, markers thinned to bars), and the share of ticks
// whose hue names the root of the triad that best fits the notes sounding then; then the
// means over all pieces. The last column shows what the analysis found at the start:
// beats a bar / beats a minute. Renders are kept in WORK_FOLDER for the next run.
// Given the corpus of `kalvotune_make_corpus`, it then measures its training and its
// validation pieces (with the scores, rendered again with the validation soundfont,
// among the latter): the means per source, metre and soundfont, and of each part. The
// validation pieces are also fed to the streaming analysis in 20-ms blocks, and its
// figures counted after each piece's first 8 s (KALVOTUNE_EVAL_NO_LIVE=1 skips that;
// KALVOTUNE_EVAL_LIVE_TRAINING=1 feeds the training pieces too, to judge a change).
// KALVOTUNE_EVAL_ONLY=NAME runs the pieces whose names begin so; KALVOTUNE_EVAL_DEBUG=1
// adds the first beats, bar starts, markers and notes of each piece and how far the hue's
// roots lie from the score's, and each corpus piece's figures from the file and the live
// analysis; KALVOTUNE_EVAL_DUMP=FOLDER writes each piece's score beats,
// bar starts, markers, the hue's roots and the score's per tick there, one list a line.
// KALVOTUNE_EVAL_MODEL=FILE measures the model in FILE instead of the built-in one, and
// KALVOTUNE_EVAL_MODEL=hand the hand-set decisions the analysis falls back on.
#include "Corpus.hpp"
#include "Score.hpp"

#include "analysis/AnalysisModel.hpp"
#include "analysis/AudioDecoder.hpp"
#include "analysis/ChannelMapping.hpp"
#include "analysis/LiveAnalysis.hpp"
#include "analysis/MusicAnalysis.hpp"

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <span>
#include <sstream>
#include <thread>

namespace {

namespace fs = std::filesystem;
using kalvotune::analysis::AnalysisResult;
using kalvotune::eval::Score;

constexpr int kBeatSlider{4};
constexpr int kBarSlider{20};
struct Font {
    const char* name;
    const char* path;
    const char* suffix; ///< ends the rendered file's name
};
/// The scores as they have always been measured, and again with the validation soundfont
/// of the corpus, which no training piece is rendered with.
const Font kScoreFont{"FluidR3", "/usr/share/sounds/sf2/FluidR3_GM.sf2", ""};
const Font kValidationFont{"MuseScoreGeneral", "/usr/share/sounds/sf3/MuseScore_General.sf3", "-msg"};

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

/// Makes `wav` from the piece's score with `soundfont` (its short name ends the file
/// name); gives the MIDI file on the way, or empty.
fs::path Render(const Piece& piece, const fs::path& tunes, const fs::path& work, const Font& font)
{
    const std::string stem{fs::path{piece.file}.stem().string() + "-" + std::to_string(piece.tune)};
    const fs::path mid{work / (stem + ".mid")};
    const fs::path wav{work / (stem + font.suffix + ".wav")};
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
        && !Run(std::string{"fluidsynth -ni -o synth.dynamic-sample-loading=1 -g 0.6 -F "} + Quote(wav) + " -r 44100 "
            + font.path + " " + Quote(mid)))
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

/// The model measured: the built-in one, or KALVOTUNE_EVAL_MODEL's file ("hand" for the
/// hand-set decisions the analysis keeps when it has no model).
const kalvotune::analysis::AnalysisModel* EvaluatedModel()
{
    static const kalvotune::analysis::AnalysisModel* chosen{[]() -> const kalvotune::analysis::AnalysisModel* {
        const char* file{std::getenv("KALVOTUNE_EVAL_MODEL")};
        if (!file)
            return kalvotune::analysis::ShippedAnalysisModel();
        if (std::string{file} == "hand")
            return nullptr;
        static kalvotune::analysis::AnalysisModel loaded;
        std::string error;
        if (!kalvotune::analysis::LoadAnalysisModel(file, loaded, error)) {
            std::fprintf(stderr, "%s\n", error.c_str());
            std::exit(1);
        }
        return &loaded;
    }()};
    return chosen;
}

/// What the analysis made of one piece against its truth.
struct Measured {
    bool ok{};
    std::string message;
    double beats{}, bars{}, roots{};
    int judged{}; ///< ticks with a chord to name
    std::array<int, 12> intervals{}; ///< hue root minus true root, semitones
    AnalysisResult onBars;
    std::string found; ///< beats a bar / beats a minute found at the start
};

/// Markers against beats and bar starts, and the hue's roots against `rootAt(tick)`
/// (-1 where no chord is known).
template <typename RootAt>
Measured Measure(const kalvotune::analysis::MeasuredTrack& track, const std::vector<double>& beats,
    const std::vector<double>& bars, const RootAt& rootAt, AnalysisResult* onBeatsOut = nullptr)
{
    Measured m;
    AnalysisResult onBeats;
    onBeats.ok = m.onBars.ok = true;
    onBeats.seconds = m.onBars.seconds = track.seconds;
    onBeats.plan = kalvotune::analysis::MapToChannels(track.features, track.grid, kBeatSlider, EvaluatedModel());
    m.onBars.plan = kalvotune::analysis::MapToChannels(track.features, track.grid, kBarSlider, EvaluatedModel());
    m.ok = true;
    m.beats = kalvotune::corpus::ShareNear(onBeats.plan.markerTicks, beats);
    m.bars = kalvotune::corpus::ShareNear(m.onBars.plan.markerTicks, bars);
    int agree{};
    const auto& roots{m.onBars.plan.rootPerTick};
    for (int t = 0; t < static_cast<int>(roots.size()); ++t) {
        const int truth{rootAt(t)};
        if (truth < 0)
            continue;
        ++m.judged;
        agree += roots[static_cast<std::size_t>(t)] == truth;
        ++m.intervals[static_cast<std::size_t>((roots[static_cast<std::size_t>(t)] - truth + 12) % 12)];
    }
    m.roots = m.judged > 0 ? static_cast<double>(agree) / m.judged : 0.0;
    if (onBeatsOut)
        *onBeatsOut = onBeats;
    return m;
}

/// Means over a group of pieces.
struct Tally {
    double beats{}, bars{}, roots{};
    int pieces{}, rootPieces{};
    void Add(const Measured& m)
    {
        ++pieces;
        beats += m.beats;
        bars += m.bars;
        if (m.judged > 0) {
            ++rootPieces;
            roots += m.roots;
        }
    }
    double Beats() const { return pieces > 0 ? beats / pieces : 0.0; }
    double Bars() const { return pieces > 0 ? bars / pieces : 0.0; }
    double Roots() const { return rootPieces > 0 ? roots / rootPieces : 0.0; }
};

int TriadRootOfTick(const Score& score, int t)
{
    return kalvotune::eval::TriadRoot(score, t / 10.0, (t + 1) / 10.0);
}

/// The scores, one by one, as they have always been measured (the General MIDI soundfont
/// of FluidR3); ends with their means. Gives false when no score could be rendered.
bool MeasureScores(const fs::path& tunes, const fs::path& work)
{
    std::printf("%-22s %-40s %6s %6s %6s %7s %6s\n", "piece", "metre, tempo, ensemble", "beats", "bars", "roots",
        "ticks", "found");
    Tally all;
    const char* only{std::getenv("KALVOTUNE_EVAL_ONLY")};
    for (const Piece& piece : kPieces) {
        if (only && !std::string{piece.name}.starts_with(only))
            continue;
        const fs::path mid{Render(piece, tunes, work, kScoreFont)};
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
        kalvotune::analysis::MeasuredTrack track;
        if (!kalvotune::corpus::MeasureCached(wav, track, error)) {
            std::printf("%-22s %s\n", piece.name, error.c_str());
            continue;
        }
        AnalysisResult onBeats;
        const Measured m{Measure(
            track, score.beats, score.barStarts, [&](int t) { return TriadRootOfTick(score, t); }, &onBeats)};
        const AnalysisResult& onBars{m.onBars};
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
            std::printf("\n  hue root minus score root, semitones:");
            for (const int n : m.intervals)
                std::printf(" %d", n);
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
                truth.push_back(TriadRootOfTick(score, static_cast<int>(t)));
            list("beats", score.beats, 1.0);
            list("bars", score.barStarts, 1.0);
            list("markers", onBeats.plan.markerTicks, 0.1);
            list("barmarkers", onBars.plan.markerTicks, 0.1);
            list("roots", onBars.plan.rootPerTick, 1);
            list("truth", truth, 1);
        }
        all.Add(m);
        if (m.judged > 0)
            std::printf(
                "%-22s %-40s %6.2f %6.2f %6.2f %7d", piece.name, piece.what, m.beats, m.bars, m.roots, m.judged);
        else
            std::printf("%-22s %-40s %6.2f %6.2f %6s %7d", piece.name, piece.what, m.beats, m.bars, "-", m.judged);
        // What the analysis found: beats a bar at the start and the track's tempo.
        std::printf(
            " %d/%.0f\n", onBars.plan.beatsPerBar, onBars.plan.beatsPerBar > 0 ? 60.0 / onBars.plan.period : 0.0);
        std::fflush(stdout);
    }
    if (all.pieces == 0) {
        std::printf("Music analysis on scores: no piece could be rendered\n");
        return false;
    }
    std::printf("Music analysis on scores: beats %.3f, bars %.3f, roots %.3f over %d pieces\n", all.Beats(), all.Bars(),
        all.Roots(), all.pieces);
    return true;
}

/// One piece of the split: a corpus piece, or a score rendered with the validation soundfont.
struct SplitPiece {
    kalvotune::corpus::Entry entry;
    fs::path wav;
    std::vector<double> beats, bars;
    std::function<int(int)> rootAt;
    kalvotune::analysis::MeasuredTrack track;
    std::string error; ///< why the piece could not be measured
};

/// Ticks of each piece's start the live figures leave out: the tempo and the bars are
/// still being found.
constexpr int kLiveSettlingTicks{80};

/// The streaming analysis on `wav`, fed in 20-ms blocks: beat markers (slider at 0.4 s) on
/// beats, bar markers (slider at 2 s) on bar starts and the hue's roots, counted from
/// `kLiveSettlingTicks` on.
Measured MeasureLive(const SplitPiece& piece)
{
    Measured m;
    kalvotune::analysis::AudioDecoder decoder;
    if (!decoder.Open(piece.wav, kalvotune::analysis::kAnalysisRate)) {
        m.message = decoder.Error();
        return m;
    }
    kalvotune::analysis::LiveAnalysis onBeats{
        {.lookAheadSeconds = 0, .pictureChangeTicks = kBeatSlider, .keepHeard = false, .model = EvaluatedModel()}};
    kalvotune::analysis::LiveAnalysis onBars{
        {.lookAheadSeconds = 0, .pictureChangeTicks = kBarSlider, .keepHeard = false, .model = EvaluatedModel()}};
    std::vector<int> beatMarkers, barMarkers;
    int agree{};
    const auto take = [&](kalvotune::analysis::LiveAnalysis& live, std::vector<int>& markers, bool roots) {
        for (const kalvotune::analysis::LiveTick& t : live.TakeTicks()) {
            if (t.tick < kLiveSettlingTicks)
                continue;
            if (t.speed >= kalvotune::analysis::kPictureChangeMarker)
                markers.push_back(t.tick);
            const int truth{roots ? piece.rootAt(t.tick) : -1};
            if (truth >= 0) {
                ++m.judged;
                agree += t.root == truth;
            }
        }
    };
    constexpr std::size_t kBlock{kalvotune::analysis::kAnalysisRate / 50};
    std::vector<float> block, pending;
    while (decoder.Read(block)) {
        pending.insert(pending.end(), block.begin(), block.end());
        std::size_t at{};
        for (; at + kBlock <= pending.size(); at += kBlock) {
            const std::span<const float> piece20ms{pending.data() + at, kBlock};
            onBeats.Add(piece20ms);
            onBars.Add(piece20ms);
        }
        pending.erase(pending.begin(), pending.begin() + static_cast<long>(at));
        take(onBeats, beatMarkers, false);
        take(onBars, barMarkers, true);
    }
    onBeats.Add(pending);
    onBars.Add(pending);
    take(onBeats, beatMarkers, false);
    take(onBars, barMarkers, true);
    m.ok = decoder.Error().empty();
    m.message = decoder.Error();
    m.beats = kalvotune::corpus::ShareNear(beatMarkers, piece.beats);
    m.bars = kalvotune::corpus::ShareNear(barMarkers, piece.bars);
    m.roots = m.judged > 0 ? static_cast<double>(agree) / m.judged : 0.0;
    return m;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s WORK_FOLDER [CORPUS_FOLDER [TUNES_FOLDER]]\n", argv[0]);
        return 2;
    }
    const fs::path work{argv[1]};
    const fs::path corpusFolder{argc > 2 ? fs::path{argv[2]} : fs::path{}};
    const fs::path tunes{argc > 3 ? fs::path{argv[3]} : fs::path{KALVOTUNE_EVAL_TUNES}};
    fs::create_directories(work);
    if (!MeasureScores(tunes, work) && !std::getenv("KALVOTUNE_EVAL_ONLY"))
        return 1;
    if (corpusFolder.empty())
        return 0;

    // The split: the corpus pieces as their index places them, and the scores (validation
    // only) rendered again with the validation soundfont.
    std::vector<SplitPiece> pieces;
    const char* only{std::getenv("KALVOTUNE_EVAL_ONLY")};
    std::vector<kalvotune::corpus::Entry> entries;
    for (const auto& e : kalvotune::corpus::ReadIndex(corpusFolder))
        if (!only || e.name.starts_with(only))
            entries.push_back(e);
    std::vector<kalvotune::corpus::LoadedPiece> loaded{kalvotune::corpus::LoadPieces(corpusFolder, entries)};
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const auto labels{std::make_shared<kalvotune::corpus::Labels>(std::move(loaded[i].labels))};
        pieces.push_back(SplitPiece{entries[i], corpusFolder / (entries[i].name + ".wav"), labels->beats,
            labels->barStarts, [labels](int t) { return kalvotune::corpus::RootAt(*labels, (t + 0.5) / 10.0); },
            std::move(loaded[i].track), loaded[i].error});
    }
    if (pieces.empty()) {
        std::printf("No corpus in %s: `make train-analysis` makes it\n", corpusFolder.c_str());
        return 1;
    }
    for (const Piece& piece : kPieces) {
        if (only && !std::string{piece.name}.starts_with(only))
            continue;
        const fs::path mid{Render(piece, tunes, work, kValidationFont)};
        auto score{std::make_shared<Score>()};
        std::string error;
        if (mid.empty() || !kalvotune::eval::ReadScore(ReadAll(mid), piece.pickupQuarters, *score, error))
            continue;
        const std::string metre{piece.what, std::string_view{piece.what}.find(',')};
        SplitPiece split{{piece.name, "score", "scores", metre, kValidationFont.name, true},
            work
                / (fs::path{piece.file}.stem().string() + "-" + std::to_string(piece.tune) + kValidationFont.suffix
                    + ".wav"),
            score->beats, score->barStarts, [score](int t) { return TriadRootOfTick(*score, t); }, {}, {}};
        kalvotune::corpus::MeasureCached(split.wav, split.track, split.error);
        pieces.push_back(std::move(split));
    }

    // Two pieces at a time: the machine's two cores.
    std::vector<Measured> results(pieces.size()), live(pieces.size());
    std::atomic<std::size_t> next{0};
    const auto work2 = [&] {
        for (std::size_t i = next++; i < pieces.size(); i = next++) {
            const SplitPiece& p{pieces[i]};
            if (!p.error.empty()) {
                results[i].message = p.error;
                continue;
            }
            if ((p.entry.validation || std::getenv("KALVOTUNE_EVAL_LIVE_TRAINING"))
                && !std::getenv("KALVOTUNE_EVAL_NO_LIVE"))
                live[i] = MeasureLive(p);
            AnalysisResult onBeats;
            results[i] = Measure(p.track, p.beats, p.bars, p.rootAt, &onBeats);
            const auto& plan{results[i].onBars.plan};
            if (std::getenv("KALVOTUNE_EVAL_DEBUG")) {
                std::string line{p.entry.name + " markers:"};
                for (std::size_t k = 0; k < std::min<std::size_t>(10, onBeats.plan.markerTicks.size()); ++k)
                    line += " " + std::to_string(onBeats.plan.markerTicks[k]);
                line += "; beats:";
                for (std::size_t k = 0; k < std::min<std::size_t>(10, p.beats.size()); ++k)
                    line += " " + std::to_string(p.beats[k]);
                std::printf("%s\n", line.c_str());
            }
            if (std::getenv("KALVOTUNE_EVAL_DEBUG") && live[i].ok)
                std::printf("%s %s: file beats %.2f bars %.2f, live beats %.2f bars %.2f\n", p.entry.name.c_str(),
                    p.entry.metre.c_str(), results[i].beats, results[i].bars, live[i].beats, live[i].bars);
            results[i].found = std::to_string(plan.beatsPerBar) + "/"
                + std::to_string(plan.beatsPerBar > 0 ? std::lround(60.0 / plan.period) : 0);
            results[i].onBars = {};
        }
    };
    {
        std::jthread a{work2}, b{work2};
    }

    std::map<std::string, Tally> groups;
    Tally training, validation, liveTraining, liveValidation;
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        const auto& e{pieces[i].entry};
        const Measured& m{results[i]};
        if (!m.ok) {
            std::printf("%s: %s\n", e.name.c_str(), m.message.c_str());
            continue;
        }
        const std::string split{e.validation ? "validation" : "training"};
        if (std::getenv("KALVOTUNE_EVAL_DEBUG"))
            std::printf("%-32s %-10s %-5s %-16s %6.2f %6.2f %6.2f %s\n", e.name.c_str(), split.c_str(), e.metre.c_str(),
                e.soundfont.c_str(), m.beats, m.bars, m.roots, m.found.c_str());
        groups[split + " source " + e.source].Add(m);
        groups[split + " metre " + e.metre].Add(m);
        groups[split + " soundfont " + e.soundfont].Add(m);
        (e.validation ? validation : training).Add(m);
        if (live[i].ok) {
            (e.validation ? liveValidation : liveTraining).Add(live[i]);
            groups["live " + split + " source " + e.source].Add(live[i]);
        }
    }
    std::printf("\n%-40s %6s %6s %6s %7s\n", "group", "beats", "bars", "roots", "pieces");
    for (const auto& [name, t] : groups)
        std::printf("%-40s %6.3f %6.3f %6.3f %7d\n", name.c_str(), t.Beats(), t.Bars(), t.Roots(), t.pieces);
    std::printf("Music analysis on training pieces: beats %.3f, bars %.3f, roots %.3f over %d pieces\n",
        training.Beats(), training.Bars(), training.Roots(), training.pieces);
    std::printf("Music analysis on validation pieces: beats %.3f, bars %.3f, roots %.3f over %d pieces\n",
        validation.Beats(), validation.Bars(), validation.Roots(), validation.pieces);
    if (liveTraining.pieces > 0)
        std::printf("Live analysis on training pieces: beats %.3f, bars %.3f, roots %.3f over %d pieces\n",
            liveTraining.Beats(), liveTraining.Bars(), liveTraining.Roots(), liveTraining.pieces);
    if (liveValidation.pieces > 0)
        std::printf("Live analysis on validation pieces: beats %.3f, bars %.3f, roots %.3f over %d pieces\n",
            liveValidation.Beats(), liveValidation.Bars(), liveValidation.Roots(), liveValidation.pieces);
    return 0;
}
