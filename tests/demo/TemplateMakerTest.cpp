#include "TemplateMaker.hpp"
#include "Catalogue.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <tuple>

namespace kalvotune::demo {
namespace {

/// A loudness curve that swells and falls, one value per tick of the piece.
std::vector<float> Swell(const Piece& piece)
{
    std::vector<float> loudness(static_cast<std::size_t>(TickCount(piece.length)));
    for (std::size_t i = 0; i < loudness.size(); ++i)
        loudness[i] = 0.1f + 0.2f * static_cast<float>(std::sin(static_cast<double>(i) * 0.05) + 1.0);
    return loudness;
}

std::set<int> BeatTicks(const Piece& piece)
{
    std::set<int> ticks;
    for (int beat : BeatStarts(piece))
        ticks.insert(static_cast<int>(std::floor(beat / 4410.0)));
    return ticks;
}

std::vector<int> OddTicks(const std::vector<std::uint8_t>& channel)
{
    std::vector<int> ticks;
    for (std::size_t i = 0; i < channel.size(); ++i)
        if (channel[i] % 2 == 1)
            ticks.push_back(static_cast<int>(i));
    return ticks;
}

TEST(DemoTemplate, LengthIsTheTrackInTenthsOfASecondRoundedUp)
{
    EXPECT_EQ(TickCount(0), 0);
    EXPECT_EQ(TickCount(1), 1);
    EXPECT_EQ(TickCount(4410), 1);
    EXPECT_EQ(TickCount(4411), 2);
    for (const ShippedTrack& t : ShippedTracks()) {
        const Piece piece = Compose(t.sketch);
        const auto expected = static_cast<std::size_t>(std::ceil(piece.length / 4410.0));
        const TemplateChannels full = MakeFullTemplate(piece, Swell(piece));
        EXPECT_EQ(full.blue.size(), expected);
        EXPECT_EQ(full.green.size(), expected);
        EXPECT_EQ(full.red.size(), expected);
        EXPECT_EQ(full.speed.size(), expected);
        EXPECT_EQ(MakeStillTemplate(piece, Swell(piece)).size(), expected);
    }
}

TEST(DemoTemplate, FullTemplateMarksBarsOnBeatsAndSpacesFigureChanges)
{
    const Piece piece = Compose(ShippedTracks()[0].sketch);
    const TemplateChannels t = MakeFullTemplate(piece, Swell(piece));
    const std::set<int> beats = BeatTicks(piece);

    std::set<int> marks;
    for (std::size_t i = 0; i < t.speed.size(); ++i) {
        const int s = t.speed[i];
        if (s > 21) {
            marks.insert(static_cast<int>(i));
            EXPECT_LE(s - kPictureChangeMark, kTopSpeed) << "tick " << i;
        } else {
            // 21 would read as a mark with the "микро" figure types.
            EXPECT_LE(s, kTopSpeed) << "tick " << i;
        }
    }
    for (int m : marks)
        EXPECT_TRUE(beats.count(m)) << "mark off the beat at tick " << m;
    for (const Bar& bar : piece.bars)
        EXPECT_TRUE(marks.count(bar.start / kSamplesPerTick)) << "bar at tick " << bar.start / kSamplesPerTick;
    EXPECT_GT(marks.size(), piece.bars.size()); // busier parts mark more than the downbeat

    std::set<int> phraseTicks;
    std::set<int> accentTicks;
    for (const Bar& bar : piece.bars) {
        if (bar.phraseStart)
            phraseTicks.insert(bar.start / kSamplesPerTick);
        if (bar.accent)
            accentTicks.insert(bar.start / kSamplesPerTick);
    }
    const std::vector<int> figureChanges = OddTicks(t.blue);
    const std::vector<int> turns = OddTicks(t.red);
    ASSERT_GE(figureChanges.size(), 4u);
    ASSERT_GE(turns.size(), 2u);
    EXPECT_EQ(figureChanges.front(), 0);
    for (std::size_t i = 0; i < figureChanges.size(); ++i) {
        EXPECT_TRUE(phraseTicks.count(figureChanges[i]));
        if (i > 0) {
            EXPECT_GE(figureChanges[i] - figureChanges[i - 1], 30);
        }
    }
    for (std::size_t i = 0; i < turns.size(); ++i) {
        EXPECT_TRUE(accentTicks.count(turns[i]));
        if (i > 0) {
            EXPECT_GE(turns[i] - turns[i - 1], 30);
        }
    }
}

TEST(DemoTemplate, FullTemplateColourFollowsTheChords)
{
    const Piece piece = Compose(ShippedTracks()[0].sketch);
    const TemplateChannels t = MakeFullTemplate(piece, Swell(piece));
    // Ticks in the middle of bars on different chords get different colours.
    std::set<std::tuple<int, int, int>> colours;
    std::set<int> roots;
    for (const ChordSpan& chord : piece.chords) {
        const auto tick = static_cast<std::size_t>((chord.start + chord.length / 2) / kSamplesPerTick);
        roots.insert(chord.root);
        colours.insert({t.red[tick] / 32, t.green[tick] / 32, t.blue[tick] / 32});
    }
    EXPECT_GE(roots.size(), 4u);
    EXPECT_GE(colours.size(), 4u);
}

TEST(DemoTemplate, StillTemplateMarksEveryBeatAndNothingElse)
{
    const Piece piece = Compose(ShippedTracks()[1].sketch);
    const std::vector<std::uint8_t> speed = MakeStillTemplate(piece, Swell(piece));
    std::set<int> marks;
    for (std::size_t i = 0; i < speed.size(); ++i) {
        if (speed[i] > 21) {
            marks.insert(static_cast<int>(i));
            EXPECT_LE(speed[i], kPictureChangeMark + kTopSpeed);
        } else {
            EXPECT_LE(speed[i], kTopSpeed);
        }
    }
    EXPECT_EQ(marks, BeatTicks(piece));
}

} // namespace
} // namespace kalvotune::demo
