#include "Wav.hpp"

#include <cstdint>

namespace kalvotune::demo {

namespace {

void PutLittleEndian(std::string& out, std::uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

} // namespace

std::string EncodeWav(const Pcm& pcm)
{
    constexpr std::uint32_t kChannels{2};
    constexpr std::uint32_t kBytesPerFrame{kChannels * 2};
    const auto dataBytes = static_cast<std::uint32_t>(pcm.samples.size() * 2);
    std::string out;
    out.reserve(44 + dataBytes);
    out += "RIFF";
    PutLittleEndian(out, 36 + dataBytes, 4);
    out += "WAVEfmt ";
    PutLittleEndian(out, 16, 4); // size of the format block
    PutLittleEndian(out, 1, 2); // integer PCM
    PutLittleEndian(out, kChannels, 2);
    PutLittleEndian(out, kSampleRate, 4);
    PutLittleEndian(out, kSampleRate * kBytesPerFrame, 4);
    PutLittleEndian(out, kBytesPerFrame, 2);
    PutLittleEndian(out, 16, 2);
    out += "data";
    PutLittleEndian(out, dataBytes, 4);
    for (std::int16_t s : pcm.samples)
        PutLittleEndian(out, static_cast<std::uint16_t>(s), 2);
    return out;
}

} // namespace kalvotune::demo
