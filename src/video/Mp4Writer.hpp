#pragma once

#include "core/FileIO.hpp"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

struct AVFrame;

namespace kalvotune::video {

inline constexpr int kAudioRate{48'000};
inline constexpr int kAudioChannels{2};

/// The shape of the video stream.
struct VideoFormat {
    int width{1920};
    int height{1080};
    int fps{30};
};

/// Writes an MP4 file: H.264 video (libx264, yuv420p) and AAC sound (48 kHz stereo),
/// the index at the front. The bytes go to a temporary beside the target, which becomes
/// the target only at `Finish`; a writer destroyed before, or a failure, leaves nothing.
/// Not thread-safe: one thread feeds it.
class Mp4Writer {
public:
    explicit Mp4Writer(std::filesystem::path target);
    ~Mp4Writer();
    Mp4Writer(const Mp4Writer&) = delete;
    Mp4Writer& operator=(const Mp4Writer&) = delete;

    /// Prepares the encoders and writes the header; false with `Error` set.
    bool Open(const VideoFormat& format);
    /// A frame of `format`'s size in yuv420p; frames are numbered in order from 0.
    bool WriteVideo(const AVFrame& frame);
    /// `count` instants of interleaved stereo float samples at `kAudioRate`.
    bool WriteAudio(const float* samples, std::size_t count);
    /// Flushes both encoders, finishes the file and gives it the target's name.
    bool Finish();

    /// The program's words for the first failure.
    const std::string& Error() const { return m_error; }

    /// A frame of `format` in the encoder's pixel layout, fresh memory each call.
    static AVFrame* NewVideoFrame(const VideoFormat& format);

private:
    struct Codecs;
    bool Fail(const std::string& what, int code);
    bool EncodeAudioFrame(bool flush);
    bool Drain(int stream, bool flush);

    std::filesystem::path m_target;
    AtomicFileStream m_file;
    std::unique_ptr<Codecs> m_codecs;
    std::string m_error;
};

} // namespace kalvotune::video
