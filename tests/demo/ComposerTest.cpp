#include "Composer.hpp"
#include "Catalogue.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

namespace kalvotune::demo {
namespace {

TEST(DemoCatalogue, FileNamesGiveTheTemplateFolderNames)
{
    const std::vector<ShippedTrack> tracks = ShippedTracks();
    ASSERT_EQ(tracks.size(), 3u);
    std::set<std::string> extensions;
    for (const ShippedTrack& t : tracks) {
        // The player's title is the file name less its last four characters.
        const std::string fileName = t.title + t.extension;
        EXPECT_EQ(fileName.substr(0, fileName.size() - 4), t.title);
        EXPECT_EQ(t.extension.size(), 4u);
        EXPECT_EQ(fileName.find_first_of("*/\\:<>|?\""), std::string::npos) << fileName;
        extensions.insert(t.extension);
    }
    EXPECT_EQ(extensions, (std::set<std::string>{".mp3", ".wav", ".wma"}));
    EXPECT_EQ(tracks[0].templateKind, TemplateKind::Full);
    EXPECT_EQ(tracks[1].templateKind, TemplateKind::StillPicture);
    EXPECT_EQ(tracks[2].templateKind, TemplateKind::None);
}

TEST(DemoComposer, TracksLastTwentyToSixtySecondsWithEveryPartPlaying)
{
    for (const ShippedTrack& t : ShippedTracks()) {
        SCOPED_TRACE(t.title);
        const Piece piece = Compose(t.sketch);
        EXPECT_GE(piece.length, 20 * kSampleRate);
        EXPECT_LE(piece.length, 60 * kSampleRate);
        std::set<Instrument> heard;
        for (const Note& n : piece.notes) {
            heard.insert(n.instrument);
            EXPECT_GE(n.start, 0);
            EXPECT_GT(n.length, 0);
            EXPECT_LT(n.start, piece.length);
        }
        EXPECT_TRUE(heard.count(t.sketch.melodyVoice));
        EXPECT_TRUE(heard.count(Instrument::Bass));
        EXPECT_TRUE(heard.count(Instrument::Kick));
        EXPECT_TRUE(heard.count(Instrument::Pad) || heard.count(Instrument::Pluck));

        // Bars follow each other without gaps and each has its chord.
        ASSERT_EQ(piece.chords.size(), piece.bars.size());
        int expectedStart = 0;
        for (std::size_t i = 0; i < piece.bars.size(); ++i) {
            EXPECT_EQ(piece.bars[i].start, expectedStart);
            EXPECT_EQ(piece.chords[i].start, expectedStart);
            expectedStart += piece.bars[i].beats * piece.bars[i].beatLength;
        }
        EXPECT_LT(expectedStart, piece.length); // room for the last chord to ring
    }
}

TEST(DemoComposer, MelodyStaysInTheKey)
{
    for (const ShippedTrack& t : ShippedTracks()) {
        SCOPED_TRACE(t.title);
        const std::vector<int> steps
            = t.sketch.minor ? std::vector<int>{0, 2, 3, 5, 7, 8, 10} : std::vector<int>{0, 2, 4, 5, 7, 9, 11};
        std::set<int> scale;
        for (int s : steps)
            scale.insert((t.sketch.tonic + s) % 12);
        const Piece piece = Compose(t.sketch);
        int melodyNotes = 0;
        for (const Note& n : piece.notes) {
            if (n.instrument != t.sketch.melodyVoice)
                continue;
            ++melodyNotes;
            EXPECT_TRUE(scale.count(n.pitch % 12)) << "pitch " << n.pitch;
            EXPECT_GE(n.pitch, t.sketch.tonic - 2);
            EXPECT_LE(n.pitch, t.sketch.tonic + 36);
        }
        EXPECT_GT(melodyNotes, 20);
    }
}

TEST(DemoComposer, MelodyOnADownbeatIsAToneOfItsChord)
{
    for (const ShippedTrack& t : ShippedTracks()) {
        SCOPED_TRACE(t.title);
        const Piece piece = Compose(t.sketch);
        for (std::size_t b = 0; b < piece.bars.size(); ++b) {
            const ChordSpan& chord = piece.chords[b];
            const std::set<int> triad{chord.root, (chord.root + (chord.minor ? 3 : 4)) % 12, (chord.root + 7) % 12};
            for (const Note& n : piece.notes) {
                if (n.instrument == t.sketch.melodyVoice && n.start == piece.bars[b].start) {
                    EXPECT_TRUE(triad.count(n.pitch % 12)) << "bar " << b << " pitch " << n.pitch;
                }
            }
        }
    }
}

TEST(DemoComposer, SameSketchGivesSamePiece)
{
    const Sketch sketch = ShippedTracks()[0].sketch;
    const Piece a = Compose(sketch);
    const Piece b = Compose(sketch);
    ASSERT_EQ(a.notes.size(), b.notes.size());
    for (std::size_t i = 0; i < a.notes.size(); ++i) {
        EXPECT_EQ(a.notes[i].start, b.notes[i].start);
        EXPECT_EQ(a.notes[i].pitch, b.notes[i].pitch);
        EXPECT_EQ(a.notes[i].velocity, b.notes[i].velocity);
    }
}

} // namespace
} // namespace kalvotune::demo
