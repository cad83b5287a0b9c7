#include "analysis/LiveAnalysis.hpp"
#include "analysis/ChannelMapping.hpp"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>
#include <numbers>

namespace kalvotune::analysis {
namespace {

constexpr int kBlock{kAnalysisRate / 50}; // 20 ms, as the capture hands it on
constexpr double kTickReach{0.6}; // ticks

/// Mono sound at the analysis rate, built note by note.
struct Sound {
    std::vector<float> samples;

    explicit Sound(double seconds)
        : samples(static_cast<std::size_t>(seconds * kAnalysisRate), 0.0f)
    {
    }
    void Tone(double start, double hz, double length, double level, double decay)
    {
        const auto from = static_cast<std::size_t>(start * kAnalysisRate);
        for (std::size_t i = 0; i < static_cast<std::size_t>(length * kAnalysisRate) && from + i < samples.size();
             ++i) {
            const double t{static_cast<double>(i) / kAnalysisRate};
            samples[from + i]
                += static_cast<float>(level * std::exp(-t / decay) * std::sin(2 * std::numbers::pi * hz * t));
        }
    }
    /// A click on every beat from `start` to `end`, the first of each bar of `metre`
    /// higher and louder, with a bass note under it and a chord through the bar (its root
    /// moving by a fifth a bar). Gives the click times.
    std::vector<double> Clicks(double start, double end, double bpm, int metre)
    {
        std::vector<double> beats;
        const double period{60.0 / bpm};
        const double roots[]{110.0, 164.81, 123.47, 146.83};
        int beat{};
        for (double t = start; t < end; t += period, ++beat) {
            beats.push_back(t);
            const bool bar{beat % metre == 0};
            Tone(t, bar ? 1760.0 : 1320.0, 0.04, bar ? 0.5 : 0.25, 0.01);
            if (bar) {
                const double root{roots[(beat / metre) % 4]};
                Tone(t, root / 2, period * metre * 0.9, 0.3, 0.4);
                for (const double ratio : {1.0, 1.26, 1.5})
                    Tone(t, root * 2 * ratio, period * metre * 0.95, 0.08, 1.0);
            }
        }
        return beats;
    }
    /// 6/8 from `start` to `end`, `dotted` seconds a beat: a chord arpeggiated in eighths,
    /// the first of each three a little louder, and a bass note on every dotted beat, the
    /// root moving by a fifth every bar. Gives the dotted beats.
    std::vector<double> Compound(double start, double end, double dotted)
    {
        std::vector<double> beats;
        const double eighth{dotted / 3};
        const double roots[]{110.0, 164.81, 123.47, 146.83};
        int n{};
        for (double t = start; t < end; t += eighth, ++n) {
            const double root{roots[(n / 6) % 4]};
            if (n % 3 == 0) {
                beats.push_back(t);
                Tone(t, root / 2, dotted * 0.9, 0.35, 0.3);
                Tone(t, 1500.0, 0.04, 0.3, 0.01);
            }
            Tone(t, root * 2 * std::array{1.0, 1.26, 1.5}[static_cast<std::size_t>(n % 3)], eighth * 0.95, 0.06, 0.2);
        }
        return beats;
    }
};

/// Feeds `samples` in 20-ms blocks, handing each tick to `each` as it comes, while the
/// analysis is where that tick left it.
template <typename Each> void FeedEach(LiveAnalysis& live, const std::vector<float>& samples, Each each)
{
    for (std::size_t i = 0; i < samples.size(); i += kBlock) {
        live.Add(std::span<const float>{samples}.subspan(i, std::min<std::size_t>(kBlock, samples.size() - i)));
        for (const LiveTick& tick : live.TakeTicks())
            each(tick);
    }
}

std::vector<LiveTick> Feed(LiveAnalysis& live, const std::vector<float>& samples)
{
    std::vector<LiveTick> ticks;
    FeedEach(live, samples, [&](const LiveTick& tick) { ticks.push_back(tick); });
    return ticks;
}

bool Marked(const LiveTick& tick)
{
    return tick.speed >= kPictureChangeMarker;
}

/// Share of the ticks that hold `which` after `from` seconds that stand for one of `times`,
/// and share of `times` after `from` that such a tick stands for. A tick stands for the
/// moments that round to it, give or take 10 ms (the onset curve's own frame).
std::pair<double, double> Agreement(
    const std::vector<LiveTick>& ticks, const std::vector<double>& times, double from, bool (*which)(const LiveTick&))
{
    int found{}, hit{}, wanted{}, caught{};
    for (const LiveTick& tick : ticks)
        if (tick.tick >= from * 10 && which(tick)) {
            ++found;
            for (const double t : times)
                hit += std::abs(t * 10 - tick.tick) <= kTickReach ? 1 : 0;
        }
    for (const double t : times)
        if (t >= from && t < ticks.back().tick / 10.0 - 0.5) {
            ++wanted;
            for (const LiveTick& tick : ticks)
                if (which(tick) && std::abs(t * 10 - tick.tick) <= kTickReach) {
                    ++caught;
                    break;
                }
        }
    return {
        found > 0 ? static_cast<double>(hit) / found : 0.0, wanted > 0 ? static_cast<double>(caught) / wanted : 0.0};
}

/// The live analysis of `sound` follows `period` and places its beats on `beats` after
/// `from` seconds, nine in ten both ways.
void ExpectBeatsFollowed(const Sound& sound, const std::vector<double>& beats, double period, double from)
{
    LiveAnalysis live{{.lookAheadSeconds = 0, .pictureChangeTicks = 1, .keepHeard = false}};
    const std::vector<LiveTick> ticks{Feed(live, sound.samples)};
    EXPECT_NEAR(live.BeatPeriod(), period, 0.02);
    const auto [precision, recall] = Agreement(ticks, beats, from, [](const LiveTick& t) { return t.beat; });
    EXPECT_GE(precision, 0.9);
    EXPECT_GE(recall, 0.9);
}

TEST(LiveAnalysis, PredictsTheClicksOfAClickTrackAhead)
{
    Sound sound{30};
    const std::vector<double> clicks{sound.Clicks(0.5, 29.5, 120, 4)};
    for (const double lookAhead : {0.0, 0.35}) {
        LiveAnalysis live{{.lookAheadSeconds = lookAhead, .pictureChangeTicks = 1, .keepHeard = false}};
        const std::vector<LiveTick> ticks{Feed(live, sound.samples)};
        // The last tick waits for 45 ms of sound after it.
        ASSERT_EQ(static_cast<int>(ticks.size()), 299);
        // Ticks stand for the moment they are shown: the look-ahead moves their numbers on.
        EXPECT_EQ(ticks.front().tick, static_cast<int>(std::lround(1 + 10 * (0.0444 + lookAhead))));
        for (std::size_t i = 1; i < ticks.size(); ++i)
            ASSERT_EQ(ticks[i].tick, ticks[i - 1].tick + 1);
        EXPECT_NEAR(live.BeatPeriod(), 0.5, 0.01);
        const auto [precision, recall] = Agreement(ticks, clicks, 8.0, Marked);
        EXPECT_GE(precision, 0.95) << "look-ahead " << lookAhead;
        EXPECT_GE(recall, 0.95) << "look-ahead " << lookAhead;
        EXPECT_EQ(live.BeatsPerBar(), 4);
        std::vector<double> bars;
        for (std::size_t i = 0; i < clicks.size(); i += 4)
            bars.push_back(clicks[i]);
        const auto [barPrecision, barRecall]
            = Agreement(ticks, bars, 12.0, [](const LiveTick& t) { return (t.red & 1) != 0; });
        EXPECT_GE(barPrecision, 0.9);
        EXPECT_GE(barRecall, 0.9);
    }
    // With the slider at 2 s, bars of 19.5 ticks: every other one comes 19 ticks after the
    // one before, and still gets its marker.
    Sound slower{30};
    const std::vector<double> slowerClicks{slower.Clicks(0.5, 29.5, 123, 4)};
    LiveAnalysis sparse{{.lookAheadSeconds = 0, .pictureChangeTicks = 20, .keepHeard = false}};
    std::vector<double> bars;
    for (std::size_t i = 0; i < slowerClicks.size(); i += 4)
        bars.push_back(slowerClicks[i]);
    const auto [precision, recall] = Agreement(Feed(sparse, slower.samples), bars, 12.0, Marked);
    EXPECT_GE(precision, 0.9);
    EXPECT_GE(recall, 0.9);
}

TEST(LiveAnalysis, AHeldChordChangesNoPictureOnTheBeatsUntilTheOnsetsReturn)
{
    // Clicks until 16 s, a chord held (no onset, far from silent) until 22 s, clicks again.
    Sound sound{36};
    std::vector<double> clicks{sound.Clicks(0.5, 16.0, 120, 4)};
    for (const double hz : {220.0, 277.18, 329.63})
        sound.Tone(16.0, hz, 6.0, 0.1, 100.0);
    for (const double t : sound.Clicks(22.0, 35.5, 120, 4))
        clicks.push_back(t);
    LiveAnalysis live{{.lookAheadSeconds = 0, .pictureChangeTicks = 1, .keepHeard = false}};
    const std::vector<LiveTick> ticks{Feed(live, sound.samples)};
    for (const LiveTick& tick : ticks) {
        if (tick.tick >= 10 && tick.tick < 350) {
            EXPECT_FALSE(tick.silent) << "tick " << tick.tick;
        }
        // The beat after the last click (15.5 s) may still change the picture; from the
        // one after it (16.5 s) on, the pulse has stopped.
        if (tick.tick >= 172 && tick.tick < 220) {
            EXPECT_FALSE(Marked(tick) || (tick.red & 1)) << "tick " << tick.tick;
        }
    }
    // The beats held their tempo through the chord and go on with the clicks.
    const auto [precision, recall] = Agreement(ticks, clicks, 23.0, Marked);
    EXPECT_GE(precision, 0.95);
    EXPECT_GE(recall, 0.95);
}

TEST(LiveAnalysis, TheRingAfterTheMusicChangesNoPictureBeyondTheNextBeat)
{
    // Slow clicks, the last at 14.9 s, then the last chord rings on for seconds: from the
    // last click, or from a last note half a beat after it, or after a groove whose
    // off-beats stop with it.
    enum class End { OnTheBeat, BetweenTwoBeats, GrooveStops };
    constexpr std::array kEnds{"last note on the beat", "last note between two beats", "a groove whose off-beats stop"};
    for (const End end : {End::OnTheBeat, End::BetweenTwoBeats, End::GrooveStops}) {
        SCOPED_TRACE(kEnds[static_cast<std::size_t>(end)]);
        Sound sound{22};
        const std::vector<double> clicks{sound.Clicks(0.5, 15.5, 75, 4)};
        const double half{0.5 * 60.0 / 75};
        const double last{clicks.back() + (end == End::BetweenTwoBeats ? half : 0.0)};
        if (end == End::BetweenTwoBeats)
            sound.Tone(last, 1320.0, 0.04, 0.25, 0.01);
        if (end == End::GrooveStops)
            for (std::size_t i = 0; i + 1 < clicks.size(); ++i)
                sound.Tone(clicks[i] + half, 2640.0, 0.03, 0.06, 0.01);
        for (const double hz : {220.0, 277.18, 329.63})
            sound.Tone(last, hz, 10.0, 0.1, 1.5);
        LiveAnalysis live{{.lookAheadSeconds = 0, .pictureChangeTicks = 1, .keepHeard = false}};
        const std::vector<LiveTick> ticks{Feed(live, sound.samples)};
        int lastMarked{};
        for (const LiveTick& tick : ticks)
            if (Marked(tick) || (tick.red & 1))
                lastMarked = tick.tick;
        // The beat after the last click cannot yet tell a rest from the end, unless the
        // off-beats the music played have stopped; the one after it can, even after a
        // note between them.
        const double lastBeat{end == End::GrooveStops ? clicks.back() : clicks.back() + 60.0 / 75};
        EXPECT_LE(lastMarked, std::lround(10 * lastBeat) + 1);
        EXPECT_GE(lastMarked, std::lround(10 * clicks.back()));
    }
}

TEST(LiveAnalysis, CountsABarOfThree)
{
    Sound sound{30};
    const std::vector<double> clicks{sound.Clicks(0.5, 29.5, 140, 3)};
    LiveAnalysis live{{.lookAheadSeconds = 0.2, .pictureChangeTicks = 1, .keepHeard = false}};
    const std::vector<LiveTick> ticks{Feed(live, sound.samples)};
    EXPECT_EQ(live.BeatsPerBar(), 3);
    std::vector<double> bars;
    for (std::size_t i = 0; i < clicks.size(); i += 3)
        bars.push_back(clicks[i]);
    const auto [precision, recall] = Agreement(ticks, bars, 12.0, [](const LiveTick& t) { return (t.red & 1) != 0; });
    EXPECT_GE(precision, 0.9);
    EXPECT_GE(recall, 0.9);
    // Markers at least 20 ticks apart fall on bar starts only.
    LiveAnalysis sparse{{.lookAheadSeconds = 0.2, .pictureChangeTicks = 12, .keepHeard = false}};
    const std::vector<LiveTick> sparseTicks{Feed(sparse, sound.samples)};
    int last{-100};
    for (const LiveTick& tick : sparseTicks)
        if (Marked(tick)) {
            EXPECT_GE(tick.tick - last, 12);
            last = tick.tick;
            if (tick.tick >= 120) {
                EXPECT_TRUE(tick.red & 1) << "marker off the bar start at tick " << tick.tick;
            }
        }
}

TEST(LiveAnalysis, FollowsSixEightInItsDottedBeatsOnceItHasHeardEnough)
{
    Sound sound{45};
    const std::vector<double> beats{sound.Compound(0.5, 44.5, 1.05)};
    LiveAnalysis live{{.lookAheadSeconds = 0, .pictureChangeTicks = 4, .keepHeard = false}};
    const std::vector<LiveTick> ticks{Feed(live, sound.samples)};
    EXPECT_NEAR(live.BeatPeriod(), 1.05, 0.05);
    const auto [precision, recall] = Agreement(ticks, beats, 30.0, Marked);
    EXPECT_GE(precision, 0.9);
    EXPECT_GE(recall, 0.9);
}

TEST(LiveAnalysis, ANewTempoIsFollowedAtItsNewBeatWithinFourSeconds)
{
    struct Change {
        double before, after; // BPM
        const char* why;
    };
    for (const Change change : {
             // For a while the last 24 s hold more of the old tempo than of the new, at a
             // ratio a grid correction makes; the beats stay with the new one.
             Change{100, 150, "by half"},
             // The check's grid over 24 s holds to the old tempo for seconds after the
             // change, while the new one's beats already fit the onsets far better.
             Change{120, 100, "by a fifth"},
         }) {
        SCOPED_TRACE(change.why);
        Sound sound{50};
        sound.Clicks(0.5, 25.0, change.before, 4);
        const std::vector<double> clicks{sound.Clicks(25.0, 49.5, change.after, 4)};
        LiveAnalysis live{{.lookAheadSeconds = 0, .pictureChangeTicks = 1, .keepHeard = false}};
        std::vector<LiveTick> ticks;
        FeedEach(live, sound.samples, [&](const LiveTick& tick) {
            ticks.push_back(tick);
            if (tick.tick >= 290 && tick.tick % 10 == 0) {
                EXPECT_NEAR(live.BeatPeriod(), 60 / change.after, 0.02) << "at tick " << tick.tick;
            }
        });
        const auto [precision, recall] = Agreement(ticks, clicks, 30.0, [](const LiveTick& t) { return t.beat; });
        EXPECT_GE(precision, 0.9);
        EXPECT_GE(recall, 0.9);
    }
}

TEST(LiveAnalysis, ACrossRhythmOverASteadyBeatLeavesTheBeatWhereItWas)
{
    // 100 BPM throughout, and for 6 s a louder note every 0.45 s across it: the tempo
    // search over the last 8 s finds 133 BPM, while the beats over the last 24 s still
    // run at 100 BPM and fall on the clicks. The beat followed stays.
    Sound sound{52};
    sound.Clicks(0.5, 51.5, 100, 4);
    for (double t = 30.5; t < 36.5; t += 0.45)
        sound.Tone(t, 2637.0, 0.04, 0.6, 0.01);
    LiveAnalysis live{{.lookAheadSeconds = 0, .pictureChangeTicks = 1, .keepHeard = false}};
    FeedEach(live, sound.samples, [&](const LiveTick& tick) {
        if (tick.tick >= 200 && tick.tick % 5 == 0) {
            EXPECT_NEAR(live.BeatPeriod(), 0.6, 0.02) << "at tick " << tick.tick;
        }
    });
}

TEST(LiveAnalysis, OffBeatHiHatsLeaveTheBeatsOnTheBassNotes)
{
    // 105 BPM: a kick and a bass note on every beat, a hi-hat half-way between. The onsets
    // alone favour the hi-hats; the low end, as in a file, puts the beats on the bass.
    Sound sound{50};
    std::vector<double> beats;
    const double period{60.0 / 105};
    const double roots[]{55.0, 82.41, 61.74, 73.42};
    int beat{};
    for (double t = 0.5; t < 49.5; t += period, ++beat) {
        beats.push_back(t);
        sound.Tone(t, 60.0, 0.12, 0.8, 0.04); // the kick
        sound.Tone(t, roots[(beat / 4) % 4] * 2, period * 0.8, 0.4, 0.15);
        sound.Tone(t + period / 2, 6000.0, 0.03, 0.07, 0.008);
    }
    ExpectBeatsFollowed(sound, beats, period, 35.0);
}

TEST(LiveAnalysis, SwungChordStabsInEveryOtherTwoBarsLeaveTheBeatsOnTheDrums)
{
    // 120 BPM: kick, bass and a quiet hi-hat on every beat; a chord stab on the swung
    // eighth before each beat, loud in every other two bars. Over 4 s of onsets the loud
    // stabs outweigh the beats; the tempo check's grid over 24 s keeps to the drums.
    Sound sound{60};
    std::vector<double> beats;
    const double period{0.5};
    const double roots[]{55.0, 82.41, 61.74, 73.42};
    int beat{};
    for (double t = 0.5; t < 59.5; t += period, ++beat) {
        beats.push_back(t);
        const double root{roots[(beat / 4) % 4]};
        sound.Tone(t, 60.0, 0.12, 0.8, 0.04);
        sound.Tone(t, root * 2, period * 0.6, 0.4, 0.15);
        sound.Tone(t, beat % 2 != 0 ? 3000.0 : 2000.0, 0.03, 0.1, 0.006);
        const double stab{(beat / 8) % 2 != 0 ? 0.2 : 0.04};
        for (const double ratio : {8.0, 10.08, 12.0})
            sound.Tone(t + period * 2 / 3, root * ratio, period * 0.3, stab, 0.05);
    }
    ExpectBeatsFollowed(sound, beats, period, 20.0);
}

TEST(LiveAnalysis, HueMovesWithTheChord)
{
    Sound sound{8};
    // C major for 4 s, then E minor: its root is E.
    for (const double hz : {261.63, 329.63, 392.0, 130.81})
        sound.Tone(0, hz, 4, 0.15, 10);
    for (const double hz : {329.63, 392.0, 493.88, 164.81})
        sound.Tone(4, hz, 4, 0.15, 10);
    LiveAnalysis live;
    const std::vector<LiveTick> ticks{Feed(live, sound.samples)};
    const auto rootAt = [&](double seconds) {
        for (const LiveTick& tick : ticks)
            if (tick.tick == static_cast<int>(seconds * 10))
                return tick.root;
        return -1;
    };
    EXPECT_EQ(rootAt(1.0), 0);
    EXPECT_EQ(rootAt(3.9), 0);
    // The change is heard within half a second of the new chord.
    EXPECT_EQ(rootAt(4.6), 4);
    EXPECT_EQ(rootAt(7.5), 4);
    for (const LiveTick& tick : ticks) {
        const auto colour = ColourOf(tick.root, -20.0f);
        EXPECT_EQ(colour[0] == 0, (tick.red & ~1) == 0);
    }
}

TEST(LiveAnalysis, RestsInSilenceAndFollowsSoundAgainAtOnce)
{
    Sound sound{20};
    sound.Clicks(3.0, 9.0, 120, 4);
    sound.Clicks(14.0, 20.0, 100, 4);
    LiveAnalysis live{{.lookAheadSeconds = 0.0, .pictureChangeTicks = 1, .keepHeard = false}};
    std::vector<LiveTick> ticks{Feed(live, sound.samples)};
    const auto silentAt = [&](double seconds) {
        for (const LiveTick& tick : ticks)
            if (tick.tick >= seconds * 10)
                return tick.silent;
        return true;
    };
    EXPECT_TRUE(silentAt(2.5));
    EXPECT_FALSE(silentAt(3.3)); // followed within a few ticks, not a second
    EXPECT_FALSE(silentAt(10.5)); // 1.5 s after the last click's sound: not yet 2 s
    EXPECT_TRUE(silentAt(11.5));
    EXPECT_TRUE(silentAt(13.9));
    EXPECT_FALSE(silentAt(14.3));
    // Sound after silence starts new figures and a new tempo.
    int newFigures{};
    for (const LiveTick& tick : ticks)
        newFigures += (tick.blue & 1) != 0 && tick.tick > 20 ? 1 : 0;
    EXPECT_EQ(newFigures, 2);
    EXPECT_NEAR(live.BeatPeriod(), 0.6, 0.015);
    for (const LiveTick& tick : ticks)
        if (tick.silent) {
            EXPECT_FALSE(Marked(tick)) << tick.tick;
        }
}

TEST(LiveAnalysis, TakesBrokenSamplesAsSilenceOrFullScale)
{
    Sound sound{12};
    sound.Clicks(0.5, 12, 120, 4);
    std::vector<float> broken{sound.samples}, clean{sound.samples};
    for (std::size_t i = 0; i < broken.size(); i += 997) {
        const float bad[]{std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
            -std::numeric_limits<float>::infinity(), 1e30f, -3e38f};
        broken[i] = bad[(i / 997) % 5];
        clean[i] = std::isfinite(broken[i]) ? std::clamp(broken[i], -1.0f, 1.0f) : 0.0f;
    }
    LiveAnalysis brokenLive, cleanLive;
    const std::vector<LiveTick> fromBroken{Feed(brokenLive, broken)}, fromClean{Feed(cleanLive, clean)};
    ASSERT_EQ(fromBroken.size(), fromClean.size());
    for (std::size_t i = 0; i < fromBroken.size(); ++i) {
        EXPECT_EQ(fromBroken[i].speed, fromClean[i].speed);
        EXPECT_EQ(fromBroken[i].blue, fromClean[i].blue);
        EXPECT_EQ(fromBroken[i].red, fromClean[i].red);
        EXPECT_LE(fromBroken[i].speed, 20 + kPictureChangeMarker);
    }
    EXPECT_GT(brokenLive.BeatPeriod(), 0.0);
}

TEST(LiveAnalysis, HeardStartsAtTheFirstSoundWithTheBytesShown)
{
    Sound sound{12.5};
    std::vector<double> clicks{sound.Clicks(2.5, 12.5, 120, 4)};
    LiveAnalysis live{{.lookAheadSeconds = 0.3, .pictureChangeTicks = 1, .keepHeard = true}};
    const std::vector<LiveTick> ticks{Feed(live, sound.samples)};
    EXPECT_NEAR(live.SkippedSeconds(), 2.5, 0.005);
    const TemplateChannels heard{live.Heard()};
    ASSERT_EQ(heard.Length(), 100);
    EXPECT_TRUE(heard.Blue(0) & 1);
    // Every byte is the one the picture showed for its tick; the ticks before the first
    // one shown repeat it without its marks.
    ASSERT_FALSE(ticks.empty());
    for (const LiveTick& tick : ticks)
        if (tick.tick < heard.Length()) {
            EXPECT_EQ(heard.Speed(tick.tick), tick.speed);
            EXPECT_EQ(heard.Red(tick.tick), tick.red);
            EXPECT_EQ(heard.Green(tick.tick), tick.green);
        }
    for (int t = 0; t < ticks.front().tick; ++t)
        EXPECT_EQ(heard.Speed(t), ticks.front().speed % kPictureChangeMarker);
    // The clicks after the first 5 s, counted from the first one, carry the markers.
    std::vector<int> markers;
    for (int t = 50; t < heard.Length(); ++t)
        if (heard.Speed(t) >= kPictureChangeMarker)
            markers.push_back(t);
    EXPECT_EQ(markers.size(), 10u);
    for (const int t : markers)
        EXPECT_EQ(t % 5, 0) << t;
    LiveAnalysis silent{{.lookAheadSeconds = 0, .pictureChangeTicks = 1, .keepHeard = true}};
    Feed(silent, std::vector<float>(kAnalysisRate, 0.0f));
    EXPECT_EQ(silent.Heard().Length(), 0);
    EXPECT_NEAR(silent.SkippedSeconds(), 1.0, 0.01);
}

} // namespace
} // namespace kalvotune::analysis
