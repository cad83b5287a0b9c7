#include "Synth.hpp"
#include "Catalogue.hpp"
#include "Wav.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>

namespace kalvotune::demo {
namespace {

std::uint32_t Le(const std::string& bytes, std::size_t at, int size)
{
    std::uint32_t v = 0;
    for (int i = size - 1; i >= 0; --i)
        v = (v << 8) | static_cast<unsigned char>(bytes[at + static_cast<std::size_t>(i)]);
    return v;
}

TEST(DemoSynth, JingleRendersToItsLengthNearFullScaleAndRepeatsExactly)
{
    const Piece jingle = ExitJingle();
    const Pcm pcm = Render(jingle);
    ASSERT_EQ(pcm.Frames(), jingle.length);
    int peak = 0;
    for (std::int16_t s : pcm.samples)
        peak = std::max(peak, std::abs(static_cast<int>(s)));
    EXPECT_GT(peak, 28000); // scaled to just below full scale, not clipped
    EXPECT_LT(peak, 30000);
    EXPECT_EQ(pcm.samples.back(), 0); // faded out, no click at the end
    EXPECT_EQ(Render(jingle).samples, pcm.samples);

    const std::vector<float> loudness = TickLoudness(pcm);
    ASSERT_EQ(loudness.size(), 15u);
    EXPECT_GT(loudness[1], 0.05f);
    EXPECT_LT(loudness[14], loudness[5]);
}

TEST(DemoWav, HeaderDescribesSixteenBitStereoAndDataFollows)
{
    Pcm pcm;
    pcm.samples = {0, -1, 32767, -32768, 258, 5};
    const std::string wav = EncodeWav(pcm);
    ASSERT_EQ(wav.size(), 44u + 12u);
    EXPECT_EQ(wav.substr(0, 4), "RIFF");
    EXPECT_EQ(Le(wav, 4, 4), wav.size() - 8);
    EXPECT_EQ(wav.substr(8, 8), "WAVEfmt ");
    EXPECT_EQ(Le(wav, 16, 4), 16u);
    EXPECT_EQ(Le(wav, 20, 2), 1u); // PCM
    EXPECT_EQ(Le(wav, 22, 2), 2u); // stereo
    EXPECT_EQ(Le(wav, 24, 4), 44100u);
    EXPECT_EQ(Le(wav, 28, 4), 44100u * 4);
    EXPECT_EQ(Le(wav, 32, 2), 4u);
    EXPECT_EQ(Le(wav, 34, 2), 16u);
    EXPECT_EQ(wav.substr(36, 4), "data");
    EXPECT_EQ(Le(wav, 40, 4), 12u);
    for (std::size_t i = 0; i < pcm.samples.size(); ++i)
        EXPECT_EQ(static_cast<std::int16_t>(Le(wav, 44 + 2 * i, 2)), pcm.samples[i]);
}

} // namespace
} // namespace kalvotune::demo
