#pragma once

#include "analysis/AnalysisModel.hpp"
#include "analysis/FeatureExtractor.hpp"
#include "analysis/TrackFeatures.hpp"

#include "core/TemplateChannels.hpp"

#include <cstdint>
#include <deque>
#include <span>
#include <vector>

namespace kalvotune::analysis {

/// One 100-ms tick of template channels decided live.
struct LiveTick {
    /// The tick of sound time it stands for, counted from the first sample fed: the picture
    /// shows it while that moment of the sound is heard.
    int tick{};
    std::uint8_t blue{};
    std::uint8_t green{};
    std::uint8_t red{};
    std::uint8_t speed{};
    /// 2 s or more without sound above -50 dBFS: the caller shows generated motion.
    bool silent{};
    bool beat{}; ///< a beat falls on this tick (whether or not it carries a marker)
    bool barStart{}; ///< that beat begins a bar
    int root{}; ///< the chord root the hue shows, C = 0
};

struct LiveSettings {
    /// How far ahead of the newest sample a tick's picture is shown: the capture latency
    /// the sound server reports plus the picture's own delay.
    double lookAheadSeconds{};
    /// Markers at least this many ticks apart, as for a template made from a file.
    int pictureChangeTicks{20};
    /// Recording a template: the sound before the first sound above -50 dBFS (over 5 ms)
    /// is skipped, so tick 0 begins with it, and every tick decided is kept for `Heard`.
    /// Otherwise nothing grows with time.
    bool keepHeard{};
    /// The learned decisions (chord model, bar model) the file analysis uses; null for
    /// the hand-set ones.
    const AnalysisModel* model{ShippedAnalysisModel()};
};

/// The music analysis of a stream without end, tick by tick and causal: each tick is
/// decided from the sound up to the moment it is decided, so it can be shown at once.
/// The features come from the file analysis's `FeatureExtractor`, the bytes from its
/// mapping (`ChannelMapping`): speed from onsets and loudness, hue from the chord root
/// (the same chord model and change price, its path decided forward only), brightness
/// from loudness, picture-change
/// markers on the beats and bar starts `BeatsPerMarker` picks, never two closer than
/// `pictureChangeTicks`.
///
/// The tempo comes from the last 8 s of onset curve, the latest weighing most
/// (`FindPeriod`, every half second, a new tempo taken once it has held for a second and a
/// half where the last check's grid holds to no other, or at once where the old beat has
/// stopped fitting the onsets and the new one fits them far better), checked once a second against the file analysis's beats and
/// grid corrections over the last 24 s (a compound metre heard in pairs of eighths moves to
/// its dotted beats, and beats that checks in a row find half a beat off the grid's move
/// onto it); the beats from the phase that best fits the onsets of the last 4 s, held near
/// the phase predicted from the beats before, or for 2 s after a check that kept the tempo,
/// more firmly near its grid's beats; so each beat is predicted `lookAheadSeconds` ahead
/// and its tick is marked when it will be heard. The bars come from `FindBars` (with the
/// model) over the beats of the last 12 s, at each beat, with the chord path of those 12 s
/// decided over all of them; a beat that a jump of the phase passed over still counts, so
/// the bars keep their count. Before a tempo is found, strong onsets change the picture.
/// After 2 s of silence ticks are `silent`; the first tick with sound again is not, and a
/// new tempo is looked for.
///
/// Typical use: `Add` each block the capture gives (mono, `kAnalysisRate`), then
/// `TakeTicks` and hand them to the picture. Not thread-safe: one thread feeds and takes.
class LiveAnalysis {
public:
    explicit LiveAnalysis(LiveSettings settings = {});

    /// Changes the look-ahead (when the server reports another latency); later ticks use
    /// it. Changes under 30 ms are ignored, so a wandering latency does not make ticks skip
    /// or repeat; the look-ahead is kept within 0..5 s.
    void SetLookAhead(double seconds);

    /// Analyses `samples`, mono at `kAnalysisRate`. Samples that are not finite or beyond
    /// full scale are taken as `SanitiseSamples` makes them.
    void Add(std::span<const float> samples);

    /// The ticks decided since the last call, in order, one per 100 ms of sound fed.
    std::vector<LiveTick> TakeTicks();

    /// True once 2 s have passed without sound above -50 dBFS (and before any sound).
    bool Silent() const { return m_silentTicks >= kSilentTicks; }
    /// Seconds per beat of the tempo followed; 0 while none.
    double BeatPeriod() const;
    /// Beats a bar of the metre followed; 0 while none.
    int BeatsPerBar() const { return m_metre; }

    /// What was heard as a template (only with `keepHeard`): the bytes of every tick
    /// decided, tick 0 beginning with the first sound, up to the last tick whose moment
    /// the sound fed has reached. Ticks no decision stands for (those before the first
    /// tick shown, a look-ahead grown in between) repeat the tick after or before them,
    /// without its marker. Empty when nothing was heard.
    TemplateChannels Heard() const;
    /// Seconds of sound skipped before the first sound (with `keepHeard`).
    double SkippedSeconds() const { return static_cast<double>(m_skipped) / kAnalysisRate; }

    /// Ticks of silence after which ticks are `silent`.
    static constexpr int kSilentTicks{20};

private:
    void AnalyseTick(const TrackFeatures& features, std::size_t t);
    void UpdateTempo();
    /// Follows the search's `period` (onset frames) as it finds it, without the corrections
    /// and the hold the checks gave the beat followed before.
    void FollowNewTempo(double period);
    void UpdatePhase();
    void UpdateBars();
    /// Once a second, the file analysis's beats and grid corrections (`FindBeats`,
    /// `CorrectGrid`, with the chords in hindsight) over the last 24 s: when checks in a
    /// row find the music's beat, where the grid's tempo held through the 24 s, at another
    /// ratio to the beat followed, the beats take it (and `m_beatTimes` the grid's beats).
    /// The beat it finds is kept in `m_gridBeat`. Gives true when the beat changed.
    bool ChooseTempoOverHistory();
    /// The roots of the chord path that `chords` (log-probabilities a tick) and the change
    /// price give over all of them, as a file's analysis takes them; quiet ticks name none.
    std::vector<int> HindsightRoots(
        const std::vector<std::array<float, kChordStates>>& chords, const std::vector<float>& loudness) const;
    /// Whether the beats placed over the last 8 s of `grid` (beats in seconds from `from`)
    /// lie about half-way between its beats.
    bool HalfBeatOffGrid(const BeatGrid& grid, double from) const;
    /// When the whole-track tracker, run over the recent sound, finds the beat at the
    /// placed beats' tempo, its bars decide: `metre` becomes theirs and `barPhase` the index
    /// of the latest placed beat on one of their bar starts (`placed` holds the recent
    /// placed beats, `indices` their indices).
    void TakeTrackedBars(const BeatGrid& placed, const std::vector<long long>& indices, const std::vector<int>& roots,
        int& metre, long long& barPhase) const;
    int Root(const TrackFeatures& features, std::size_t t);
    /// `Root` with the learned chord model, from the recent features.
    int LearnedRoot();
    /// The last 8 s of onset curve (of `m_history`), which the tempo and the beats are found in.
    std::span<const float> RecentOnsets() const;
    struct Score {
        double sum{}; ///< the onsets at the beats, each weighed
        double weights{}; ///< the weights
    };
    /// The onsets of the 4 s up to the frame `end` at beats `period` apart (onset frames) back
    /// from `beat`, each beat weighing `kOlderBeatWeight` times the one after it.
    Score BeatsScore(double beat, double period, double end) const;
    /// How well beats `period` apart fit the onsets of the 4 s up to the frame `end`: the
    /// weighted mean onset at them, in the phase where it is highest.
    double BeatFit(double period, double end) const;
    /// Whether the search's new `period` is taken at once, without votes and against the
    /// last check's grid: the beat followed fits the latest onsets much worse than those
    /// before, and `period` far better.
    bool BeatsNoLongerFit(double period) const;
    /// Whether the music still has a pulse: an onset stood out over the last beats.
    bool Pulsing() const;
    /// Whether the music, which has played between its beats over the last 8 s, has not
    /// since the beat before the one just placed (`strong`: its strong onsets).
    bool StoppedBetweenBeats(float strong) const;
    /// Beats at least half a period after the last beat placed, up to `until` (seconds).
    bool NextBeatBefore(double until, double& beat);
    void Emit(const TrackFeatures& features, std::size_t t);

    LiveSettings m_settings;
    FeatureExtractor m_extractor;
    std::vector<LiveTick> m_ticks;
    std::vector<LiveTick> m_heard;
    bool m_heardSound{}; ///< with `keepHeard`: the first sound has come
    long long m_skipped{}; ///< samples skipped before it
    std::vector<float> m_waiting; ///< samples before it, less than 5 ms
    long long m_fed{}; ///< samples analysed

    // Input: the level of each tick as it is fed.
    double m_sumSquares{};
    int m_samplesInTick{};
    std::deque<double> m_levels; ///< RMS of the ticks fed but not yet analysed
    int m_analysedTicks{}; ///< feature ticks analysed so far
    int m_silentTicks{kSilentTicks};
    int m_soundTicks{}; ///< ticks since the sound came back (or began)

    // Tempo and beats, in onset frames (`kFramesPerTick` a tick) of the whole stream.
    long long m_frames{}; ///< onset frames analysed so far
    double m_period{}; ///< frames a beat; 0 while no tempo is followed
    double m_candidate{}; ///< a new period waiting to be taken
    int m_candidateVotes{};
    /// The beat followed against the one the tempo search finds: a grid correction's ratio.
    double m_tempoRatio{1.0};
    int m_lastTempoCheck{-1000000}; ///< the tick of the last check of the tempo
    double m_correction{}; ///< the ratio the last checks found
    int m_correctionVotes{};
    /// The beat (seconds) of the last check's grid where one tempo held over its 24 s; 0
    /// when none did. A new tempo of the search that it does not confirm is not taken.
    double m_gridBeat{};
    /// The beats are placed half a beat after the phase the onsets favour: checks in a row
    /// found the grid's beats half-way between the beats placed.
    bool m_halfBeat{};
    int m_halfBeatVotes{};
    /// The latest beat (onset frame) of the last check's grid that kept the tempo followed,
    /// and the frame the check ran at: for a while after, the beats are held near that
    /// grid's rather than near the beats placed before.
    double m_gridAnchor{-1};
    long long m_gridAnchorAt{};
    /// The onsets, low end and loudness of the last 24 s: the tempo's check weighs all of
    /// them, the tempo search and the beats the last 8 s of onsets; `m_historyFirst` is the
    /// feature tick they begin with.
    TrackFeatures m_history;
    /// The chord model's log-probabilities of the history's ticks, as `m_recentChords`.
    std::vector<std::array<float, kChordStates>> m_historyChords;
    int m_historyFirst{};
    double m_lastBeatFrame{-1}; ///< the latest beat the onsets place (may lie in the past)
    double m_placedBeat{-1e9}; ///< seconds of the last beat given to a tick
    std::vector<double> m_phaseScores; ///< how well each phase fits, the latest beat first

    // Bars: recent features and the beats placed among them.
    TrackFeatures m_recent; ///< the last 12 s of features
    int m_recentFirst{}; ///< the feature tick `m_recent` begins with
    std::vector<int> m_recentRoots;
    /// The chord model's log-probabilities of the recent ticks (with a model), each from
    /// its whole context once that has sounded: the bar search weighs the chord changes
    /// of their whole path, decided in hindsight.
    std::vector<std::array<float, kChordStates>> m_recentChords;
    struct PlacedBeat {
        double seconds{};
        long long index{}; ///< counts the beats a jump of the phase passed over too
    };
    std::deque<PlacedBeat> m_beatTimes; ///< the beats placed in the last 12 s
    long long m_beatCount{}; ///< beats placed so far
    int m_metre{};
    long long m_barPhase{}; ///< a beat index that begins a bar
    /// A beat index that carries a marker when markers span several bars: the bar start
    /// of the recent beats that sounds most like one among those the markers may take.
    long long m_markerPhase{};

    // Hue: the chord path's scores, as in the file analysis but forward only.
    std::vector<double> m_chordScores;
    int m_root{};

    int m_lastTick{-1}; ///< the last tick given out
    int m_lastMarker{-1000000};
    long long m_lastMarkerBeat{-1000000}; ///< the index of the beat it was on, if it was
    double m_windowEnd{-1e9}; ///< seconds: the end of the last tick's beat window
    bool m_newPiece{true}; ///< the next tick gets new figures (tick 0, sound after silence)
};

} // namespace kalvotune::analysis
