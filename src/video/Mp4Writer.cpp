#include "video/Mp4Writer.hpp"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/error.h>
#include <libavutil/opt.h>
}

#include <cstring>
#include <vector>

namespace kalvotune::video {

namespace {

constexpr int kIoBufferBytes{1 << 16};
constexpr std::int64_t kAudioBitRate{192'000};
/// Visually clean for the kaleidoscope's soft gradients at a moderate size.
constexpr const char* kQuality{"21"};
/// Fast enough for well over real time at 1080p on two cores; the picture is a smooth
/// upscale, which the faster presets code nearly as well.
constexpr const char* kPreset{"veryfast"};
/// Two encoding threads beside the drawing thread keep two cores busy. Every frame x264
/// holds costs about 10 MB at 1080p: a short look-ahead and no extra frames for the
/// threads keep the whole export near 250 MB.
constexpr int kEncoderThreads{2};
constexpr const char* kLookahead{"rc-lookahead=8:sync-lookahead=0"};

std::string ErrorText(int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE]{};
    av_strerror(code, text, sizeof text);
    return text;
}

int WritePacket(void* opaque, std::uint8_t* buffer, int size)
{
    auto* file = static_cast<AtomicFileStream*>(opaque);
    return file->Write(buffer, static_cast<std::size_t>(size)) ? size : AVERROR(EIO);
}

std::int64_t SeekFile(void* opaque, std::int64_t offset, int whence)
{
    auto* file = static_cast<AtomicFileStream*>(opaque);
    whence &= ~AVSEEK_FORCE;
    if (whence == AVSEEK_SIZE)
        return -1;
    const std::int64_t at = file->Seek(offset, whence);
    return at < 0 ? AVERROR(EIO) : at;
}

} // namespace

struct Mp4Writer::Codecs {
    AVFormatContext* format{};
    AVIOContext* io{};
    AVCodecContext* video{};
    AVCodecContext* audio{};
    AVStream* videoStream{};
    AVStream* audioStream{};
    AVPacket* packet{};
    AVFrame* audioFrame{};
    std::vector<float> pendingAudio; ///< interleaved samples not yet a whole encoder frame
    std::int64_t audioSamples{};
    std::int64_t videoFrames{};
    bool headerWritten{};

    ~Codecs()
    {
        avcodec_free_context(&video);
        avcodec_free_context(&audio);
        av_packet_free(&packet);
        av_frame_free(&audioFrame);
        if (format != nullptr)
            avformat_free_context(format);
        if (io != nullptr) {
            av_freep(&io->buffer);
            avio_context_free(&io);
        }
    }
};

Mp4Writer::Mp4Writer(std::filesystem::path target)
    : m_target{std::move(target)}
    , m_file{m_target}
{
}

Mp4Writer::~Mp4Writer() = default;

bool Mp4Writer::Fail(const std::string& what, int code)
{
    if (m_error.empty()) {
        const WriteResult written = m_file.Result();
        if (!written.ok)
            m_error = written.message;
        else
            m_error = "Не удалось записать видео " + m_target.string() + ": " + what
                + (code < 0 ? " (" + ErrorText(code) + ")" : std::string{});
    }
    m_codecs.reset();
    m_file.Abandon();
    return false;
}

AVFrame* Mp4Writer::NewVideoFrame(const VideoFormat& format)
{
    AVFrame* frame = av_frame_alloc();
    if (frame == nullptr)
        return nullptr;
    frame->format = AV_PIX_FMT_YUV420P;
    frame->width = format.width;
    frame->height = format.height;
    frame->color_range = AVCOL_RANGE_MPEG;
    frame->colorspace = AVCOL_SPC_BT709;
    frame->color_primaries = AVCOL_PRI_BT709;
    frame->color_trc = AVCOL_TRC_BT709;
    if (av_frame_get_buffer(frame, 0) < 0)
        av_frame_free(&frame);
    return frame;
}

bool Mp4Writer::Open(const VideoFormat& format)
{
    av_log_set_level(AV_LOG_QUIET);
    if (!m_file.Open())
        return Fail("файл не создаётся", 0);
    m_codecs = std::make_unique<Codecs>();
    Codecs& c = *m_codecs;
    const std::string url = m_file.TempPath().string();
    if (const int rc = avformat_alloc_output_context2(&c.format, nullptr, "mp4", url.c_str()); rc < 0)
        return Fail("формат MP4 недоступен", rc);
    auto* buffer = static_cast<std::uint8_t*>(av_malloc(kIoBufferBytes));
    c.io = buffer != nullptr ? avio_alloc_context(buffer, kIoBufferBytes, 1, &m_file, nullptr, WritePacket, SeekFile)
                             : nullptr;
    if (c.io == nullptr) {
        av_free(buffer);
        return Fail("не хватило памяти", AVERROR(ENOMEM));
    }
    c.format->pb = c.io;
    c.format->flags |= AVFMT_FLAG_CUSTOM_IO;
    const bool globalHeader = (c.format->oformat->flags & AVFMT_GLOBALHEADER) != 0;

    const AVCodec* h264 = avcodec_find_encoder_by_name("libx264");
    if (h264 == nullptr)
        return Fail("нет кодировщика H.264 (libx264)", 0);
    c.video = avcodec_alloc_context3(h264);
    if (c.video == nullptr)
        return Fail("не хватило памяти", AVERROR(ENOMEM));
    c.video->width = format.width;
    c.video->height = format.height;
    c.video->pix_fmt = AV_PIX_FMT_YUV420P;
    c.video->time_base = {1, format.fps};
    c.video->framerate = {format.fps, 1};
    c.video->gop_size = 2 * format.fps;
    c.video->color_range = AVCOL_RANGE_MPEG;
    c.video->colorspace = AVCOL_SPC_BT709;
    c.video->color_primaries = AVCOL_PRI_BT709;
    c.video->color_trc = AVCOL_TRC_BT709;
    c.video->thread_count = kEncoderThreads;
    if (globalHeader)
        c.video->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    av_opt_set(c.video->priv_data, "preset", kPreset, 0);
    av_opt_set(c.video->priv_data, "crf", kQuality, 0);
    av_opt_set(c.video->priv_data, "x264-params", kLookahead, 0);
    if (const int rc = avcodec_open2(c.video, h264, nullptr); rc < 0)
        return Fail("кодировщик H.264 не открылся", rc);

    const AVCodec* aac = avcodec_find_encoder(AV_CODEC_ID_AAC);
    if (aac == nullptr)
        return Fail("нет кодировщика AAC", 0);
    c.audio = avcodec_alloc_context3(aac);
    if (c.audio == nullptr)
        return Fail("не хватило памяти", AVERROR(ENOMEM));
    c.audio->sample_fmt = AV_SAMPLE_FMT_FLTP;
    c.audio->sample_rate = kAudioRate;
    av_channel_layout_default(&c.audio->ch_layout, kAudioChannels);
    c.audio->bit_rate = kAudioBitRate;
    c.audio->time_base = {1, kAudioRate};
    if (globalHeader)
        c.audio->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if (const int rc = avcodec_open2(c.audio, aac, nullptr); rc < 0)
        return Fail("кодировщик AAC не открылся", rc);

    c.videoStream = avformat_new_stream(c.format, nullptr);
    c.audioStream = avformat_new_stream(c.format, nullptr);
    if (c.videoStream == nullptr || c.audioStream == nullptr)
        return Fail("не хватило памяти", AVERROR(ENOMEM));
    c.videoStream->time_base = c.video->time_base;
    c.audioStream->time_base = c.audio->time_base;
    if (const int rc = avcodec_parameters_from_context(c.videoStream->codecpar, c.video); rc < 0)
        return Fail("кодировщик H.264 не настроился", rc);
    if (const int rc = avcodec_parameters_from_context(c.audioStream->codecpar, c.audio); rc < 0)
        return Fail("кодировщик AAC не настроился", rc);

    c.packet = av_packet_alloc();
    c.audioFrame = av_frame_alloc();
    if (c.packet == nullptr || c.audioFrame == nullptr)
        return Fail("не хватило памяти", AVERROR(ENOMEM));
    c.audioFrame->format = AV_SAMPLE_FMT_FLTP;
    c.audioFrame->sample_rate = kAudioRate;
    av_channel_layout_default(&c.audioFrame->ch_layout, kAudioChannels);
    c.audioFrame->nb_samples = c.audio->frame_size > 0 ? c.audio->frame_size : 1024;
    if (const int rc = av_frame_get_buffer(c.audioFrame, 0); rc < 0)
        return Fail("не хватило памяти", rc);

    AVDictionary* options{};
    av_dict_set(&options, "movflags", "+faststart", 0);
    const int rc = avformat_write_header(c.format, &options);
    av_dict_free(&options);
    if (rc < 0)
        return Fail("заголовок не записался", rc);
    c.headerWritten = true;
    return true;
}

bool Mp4Writer::Drain(int stream, bool flush)
{
    Codecs& c = *m_codecs;
    AVCodecContext* codec = stream == 0 ? c.video : c.audio;
    AVStream* out = stream == 0 ? c.videoStream : c.audioStream;
    for (;;) {
        const int rc = avcodec_receive_packet(codec, c.packet);
        if (rc == AVERROR(EAGAIN) || (flush && rc == AVERROR_EOF))
            return true;
        if (rc < 0)
            return Fail("кодирование не удалось", rc);
        // Every picture lasts one frame; without it the muxer would end the video's edit
        // list at the last picture's start and players would drop that picture.
        if (stream == 0 && c.packet->duration == 0)
            c.packet->duration = 1;
        av_packet_rescale_ts(c.packet, codec->time_base, out->time_base);
        c.packet->stream_index = out->index;
        if (const int written = av_interleaved_write_frame(c.format, c.packet); written < 0)
            return Fail("запись не удалась", written);
    }
}

bool Mp4Writer::WriteVideo(const AVFrame& frame)
{
    if (!m_codecs)
        return false;
    Codecs& c = *m_codecs;
    AVFrame* numbered = av_frame_clone(&frame);
    if (numbered == nullptr)
        return Fail("не хватило памяти", AVERROR(ENOMEM));
    numbered->pts = c.videoFrames++;
    const int rc = avcodec_send_frame(c.video, numbered);
    av_frame_free(&numbered);
    if (rc < 0)
        return Fail("кодирование не удалось", rc);
    return Drain(0, false);
}

bool Mp4Writer::EncodeAudioFrame(bool flush)
{
    Codecs& c = *m_codecs;
    const auto frameSize = static_cast<std::size_t>(c.audioFrame->nb_samples);
    std::size_t used = 0;
    const std::size_t available = c.pendingAudio.size() / kAudioChannels;
    while (available - used >= frameSize || (flush && available > used)) {
        const std::size_t count = std::min(frameSize, available - used);
        if (const int rc = av_frame_make_writable(c.audioFrame); rc < 0)
            return Fail("не хватило памяти", rc);
        auto* left = reinterpret_cast<float*>(c.audioFrame->data[0]);
        auto* right = reinterpret_cast<float*>(c.audioFrame->data[1]);
        const float* in = c.pendingAudio.data() + used * kAudioChannels;
        for (std::size_t i = 0; i < count; ++i) {
            left[i] = in[2 * i];
            right[i] = in[2 * i + 1];
        }
        c.audioFrame->nb_samples = static_cast<int>(count);
        c.audioFrame->pts = c.audioSamples;
        c.audioSamples += static_cast<std::int64_t>(count);
        used += count;
        const int rc = avcodec_send_frame(c.audio, c.audioFrame);
        c.audioFrame->nb_samples = static_cast<int>(frameSize);
        if (rc < 0)
            return Fail("кодирование звука не удалось", rc);
        if (!Drain(1, false))
            return false;
    }
    c.pendingAudio.erase(
        c.pendingAudio.begin(), c.pendingAudio.begin() + static_cast<std::ptrdiff_t>(used * kAudioChannels));
    return true;
}

bool Mp4Writer::WriteAudio(const float* samples, std::size_t count)
{
    if (!m_codecs)
        return false;
    m_codecs->pendingAudio.insert(m_codecs->pendingAudio.end(), samples, samples + count * kAudioChannels);
    return EncodeAudioFrame(false);
}

bool Mp4Writer::Finish()
{
    if (!m_codecs)
        return false;
    Codecs& c = *m_codecs;
    if (!EncodeAudioFrame(true))
        return false;
    if (const int rc = avcodec_send_frame(c.audio, nullptr); rc < 0)
        return Fail("кодирование звука не удалось", rc);
    if (!Drain(1, true))
        return false;
    if (const int rc = avcodec_send_frame(c.video, nullptr); rc < 0)
        return Fail("кодирование не удалось", rc);
    if (!Drain(0, true))
        return false;
    if (const int rc = av_write_trailer(c.format); rc < 0)
        return Fail("окончание файла не записалось", rc);
    avio_flush(c.io);
    if (c.io->error < 0)
        return Fail("запись не удалась", c.io->error);
    m_codecs.reset();
    if (const WriteResult committed = m_file.Commit(); !committed.ok) {
        m_error = committed.message;
        return false;
    }
    return true;
}

} // namespace kalvotune::video
