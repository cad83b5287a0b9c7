#pragma once

#include <filesystem>
#include <string>
#include <vector>

struct AVFormatContext;
struct AVCodecContext;
struct SwrContext;
struct AVPacket;
struct AVFrame;

namespace kalvotune::analysis {

/// Decodes the first audio stream of a file (WMA, MP3, WAV and whatever else FFmpeg
/// reads) to mono (or interleaved stereo) 32-bit float samples at a rate of our choosing,
/// a block at a time, so a track is never held in memory whole.
///
/// Typical use: `Open` the file, then call `Read` until it gives false; `Error` then tells
/// whether the stream ended or failed. Not thread-safe: one decoder per thread.
class AudioDecoder {
public:
    AudioDecoder() = default;
    AudioDecoder(const AudioDecoder&) = delete;
    AudioDecoder& operator=(const AudioDecoder&) = delete;
    ~AudioDecoder();

    /// Opens `path` and prepares output at `sampleRate`, mono or (`channels` 2) stereo with
    /// the samples of each instant side by side. Gives false and sets `Error` to FFmpeg's
    /// reason when the file cannot be read or holds no audio stream.
    bool Open(const std::filesystem::path& path, int sampleRate, int channels = 1);

    /// The stream's length in seconds as the container states it; 0 when unknown.
    double DurationSeconds() const { return m_durationSeconds; }

    /// Replaces `block` with the next decoded samples (a few thousand at most; possibly
    /// none while the decoder fills). Gives false once the stream ended or failed.
    bool Read(std::vector<float>& block);

    /// Empty while decoding goes well or after a clean end; otherwise the reason.
    const std::string& Error() const { return m_error; }

private:
    bool Fail(const std::string& what, int code);
    bool ConvertFrame(std::vector<float>& block);
    void Close();

    AVFormatContext* m_format{};
    AVCodecContext* m_codec{};
    SwrContext* m_resampler{};
    AVPacket* m_packet{};
    AVFrame* m_frame{};
    int m_stream{-1};
    int m_sampleRate{};
    int m_channels{1};
    double m_durationSeconds{};
    bool m_inputDone{};
    bool m_finished{};
    std::string m_error;
};

} // namespace kalvotune::analysis
