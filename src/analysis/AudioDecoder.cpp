#include "analysis/AudioDecoder.hpp"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/error.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

#include <mutex>

namespace kalvotune::analysis {

namespace {

std::string ErrorText(int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE]{};
    av_strerror(code, text, sizeof text);
    return text;
}

} // namespace

AudioDecoder::~AudioDecoder()
{
    Close();
}

void AudioDecoder::Close()
{
    av_frame_free(&m_frame);
    av_packet_free(&m_packet);
    swr_free(&m_resampler);
    avcodec_free_context(&m_codec);
    avformat_close_input(&m_format);
    m_stream = -1;
}

bool AudioDecoder::Fail(const std::string& what, int code)
{
    m_error = code < 0 ? what + ": " + ErrorText(code) : what;
    m_finished = true;
    Close();
    return false;
}

bool AudioDecoder::Open(const std::filesystem::path& path, int sampleRate, int channels)
{
    Close();
    m_error.clear();
    m_inputDone = false;
    m_finished = false;
    m_sampleRate = sampleRate;
    m_channels = channels == 2 ? 2 : 1;
    // FFmpeg's log level is one setting for the whole process; tracks decoded on several
    // threads at once must not all write it.
    static std::once_flag quiet;
    std::call_once(quiet, [] { av_log_set_level(AV_LOG_QUIET); });

    if (const int rc = avformat_open_input(&m_format, path.c_str(), nullptr, nullptr); rc < 0)
        return Fail("файл не открывается", rc);
    if (const int rc = avformat_find_stream_info(m_format, nullptr); rc < 0)
        return Fail("не удалось разобрать файл", rc);
    const AVCodec* decoder{};
    m_stream = av_find_best_stream(m_format, AVMEDIA_TYPE_AUDIO, -1, -1, &decoder, 0);
    if (m_stream < 0 || decoder == nullptr)
        return Fail("в файле нет звуковой дорожки", m_stream < 0 ? m_stream : 0);
    const AVStream* stream{m_format->streams[m_stream]};
    m_codec = avcodec_alloc_context3(decoder);
    if (m_codec == nullptr)
        return Fail("не хватило памяти", AVERROR(ENOMEM));
    if (const int rc = avcodec_parameters_to_context(m_codec, stream->codecpar); rc < 0)
        return Fail("не удалось настроить декодер", rc);
    // One thread: the analysis runs beside the player and must not take every core.
    m_codec->thread_count = 1;
    if (const int rc = avcodec_open2(m_codec, decoder, nullptr); rc < 0)
        return Fail("не удалось открыть декодер", rc);
    if (m_codec->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC) {
        const int channels{m_codec->ch_layout.nb_channels};
        av_channel_layout_uninit(&m_codec->ch_layout);
        av_channel_layout_default(&m_codec->ch_layout, channels);
    }
    if (m_codec->ch_layout.nb_channels <= 0 || m_codec->sample_rate <= 0)
        return Fail("в файле нет звуковой дорожки", 0);

    AVChannelLayout layout{};
    av_channel_layout_default(&layout, m_channels);
    if (const int rc = swr_alloc_set_opts2(&m_resampler, &layout, AV_SAMPLE_FMT_FLT, sampleRate, &m_codec->ch_layout,
            m_codec->sample_fmt, m_codec->sample_rate, 0, nullptr);
        rc < 0)
        return Fail("не удалось настроить пересчёт звука", rc);
    if (const int rc = swr_init(m_resampler); rc < 0)
        return Fail("не удалось настроить пересчёт звука", rc);

    m_packet = av_packet_alloc();
    m_frame = av_frame_alloc();
    if (m_packet == nullptr || m_frame == nullptr)
        return Fail("не хватило памяти", AVERROR(ENOMEM));

    if (stream->duration > 0 && stream->time_base.den > 0)
        m_durationSeconds = static_cast<double>(stream->duration) * av_q2d(stream->time_base);
    else if (m_format->duration > 0)
        m_durationSeconds = static_cast<double>(m_format->duration) / AV_TIME_BASE;
    else
        m_durationSeconds = 0;
    return true;
}

bool AudioDecoder::ConvertFrame(std::vector<float>& block)
{
    const int inSamples{m_frame != nullptr ? m_frame->nb_samples : 0};
    const int room{swr_get_out_samples(m_resampler, inSamples)};
    if (room <= 0)
        return true;
    const std::size_t start{block.size()};
    block.resize(start + static_cast<std::size_t>(room) * static_cast<std::size_t>(m_channels));
    auto* out = reinterpret_cast<std::uint8_t*>(block.data() + start);
    const int made{inSamples > 0
            ? swr_convert(m_resampler, &out, room, const_cast<const std::uint8_t**>(m_frame->extended_data), inSamples)
            : swr_convert(m_resampler, &out, room, nullptr, 0)};
    if (made < 0) {
        block.resize(start);
        return Fail("не удалось пересчитать звук", made);
    }
    block.resize(start + static_cast<std::size_t>(made) * static_cast<std::size_t>(m_channels));
    return true;
}

bool AudioDecoder::Read(std::vector<float>& block)
{
    block.clear();
    if (m_finished || m_codec == nullptr)
        return false;
    while (block.empty()) {
        const int rc{avcodec_receive_frame(m_codec, m_frame)};
        if (rc == 0) {
            const bool ok{ConvertFrame(block)};
            av_frame_unref(m_frame);
            if (!ok)
                return false;
            continue;
        }
        if (rc == AVERROR_EOF) {
            // Drain what the resampler still holds, then the stream is done.
            av_frame_unref(m_frame);
            m_frame->nb_samples = 0;
            if (!ConvertFrame(block))
                return false;
            m_finished = true;
            return !block.empty();
        }
        if (rc == AVERROR_INVALIDDATA)
            continue;
        if (rc != AVERROR(EAGAIN))
            return Fail("не удалось декодировать звук", rc);
        if (m_inputDone)
            return Fail("не удалось декодировать звук", AVERROR_EOF);

        const int read{av_read_frame(m_format, m_packet)};
        if (read == AVERROR_EOF) {
            m_inputDone = true;
            avcodec_send_packet(m_codec, nullptr);
            continue;
        }
        if (read < 0)
            return Fail("не удалось прочитать файл", read);
        if (m_packet->stream_index == m_stream) {
            // A damaged packet is skipped, as a player would: the rest of the track still counts.
            const int sent{avcodec_send_packet(m_codec, m_packet)};
            if (sent < 0 && sent != AVERROR_INVALIDDATA && sent != AVERROR(EAGAIN)) {
                av_packet_unref(m_packet);
                return Fail("не удалось декодировать звук", sent);
            }
        }
        av_packet_unref(m_packet);
    }
    return true;
}

} // namespace kalvotune::analysis
