#include "video/VideoExport.hpp"

#include "analysis/AudioDecoder.hpp"
#include "analysis/MusicAnalysis.hpp"
#include "core/FileIO.hpp"
#include "playlists/Registry.hpp"
#include "templates/TemplateLoader.hpp"

extern "C" {
#include <libavutil/frame.h>
#include <libswscale/swscale.h>
}

#include <condition_variable>
#include <cstring>
#include <deque>
#include <limits>
#include <mutex>
#include <thread>

namespace kalvotune::video {

namespace fs = std::filesystem;

namespace {

/// Frames drawn ahead of the encoder: enough to keep both threads busy, few enough that
/// memory stays flat (about 3 MB a frame at 1080p).
constexpr std::size_t kQueuedFrames{4};

VideoResult Failed(std::string message)
{
    VideoResult result;
    result.message = std::move(message);
    return result;
}

VideoResult Cancelled()
{
    VideoResult result;
    result.cancelled = true;
    result.message = "Запись видео прервана";
    return result;
}

std::string SoundFailure(const fs::path& track, const std::string& reason)
{
    return "Не удалось прочитать звук из файла " + track.string() + ": " + reason;
}

/// A frame handed from the drawing thread to the encoding thread; null stands for a
/// frame that could not be made.
struct FramePtr {
    AVFrame* frame{};
};

/// A bounded queue of frames between the two threads. `Close` wakes both sides for good.
class FrameQueue {
public:
    ~FrameQueue()
    {
        for (AVFrame* frame : m_frames)
            av_frame_free(&frame);
    }

    /// False when the queue was closed; the frame is then freed here.
    bool Push(AVFrame* frame)
    {
        std::unique_lock lock{m_mutex};
        m_space.wait(lock, [this] { return m_closed || m_frames.size() < kQueuedFrames; });
        if (m_closed) {
            av_frame_free(&frame);
            return false;
        }
        m_frames.push_back(frame);
        m_ready.notify_one();
        return true;
    }

    /// False when the queue was closed.
    bool Pop(AVFrame*& frame)
    {
        std::unique_lock lock{m_mutex};
        m_ready.wait(lock, [this] { return m_closed || !m_frames.empty(); });
        if (m_frames.empty())
            return false;
        frame = m_frames.front();
        m_frames.pop_front();
        m_space.notify_one();
        return true;
    }

    void Close()
    {
        std::lock_guard lock{m_mutex};
        m_closed = true;
        m_space.notify_all();
        m_ready.notify_all();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_space;
    std::condition_variable m_ready;
    std::deque<AVFrame*> m_frames;
    bool m_closed{};
};

/// Scales the 675 x 524 surface smoothly (bicubic) into the video's frame in yuv420p,
/// placed as `fit` asks.
class SurfaceScaler {
public:
    SurfaceScaler(const VideoFormat& format, VideoFit fit)
        : m_format{format}
        , m_place{PlacePicture(fit, format.width, format.height)}
    {
        m_context = sws_getContext(m_place.source.width, m_place.source.height, AV_PIX_FMT_BGR24, m_place.target.width,
            m_place.target.height, AV_PIX_FMT_YUV420P, SWS_BICUBIC, nullptr, nullptr, nullptr);
        if (m_context != nullptr) {
            const int* bt709 = sws_getCoefficients(SWS_CS_ITU709);
            sws_setColorspaceDetails(m_context, bt709, 1, bt709, 0, 0, 1 << 16, 1 << 16);
        }
    }
    ~SurfaceScaler() { sws_freeContext(m_context); }
    SurfaceScaler(const SurfaceScaler&) = delete;
    SurfaceScaler& operator=(const SurfaceScaler&) = delete;

    /// A new frame of the surface; null when memory ran out.
    AVFrame* Scale(const Surface& surface) const
    {
        if (m_context == nullptr)
            return nullptr;
        AVFrame* frame = Mp4Writer::NewVideoFrame(m_format);
        if (frame == nullptr)
            return nullptr;
        const PixelRect& from = m_place.source;
        const PixelRect& to = m_place.target;
        const std::uint8_t* source[1]{surface.bytes.data() + static_cast<std::ptrdiff_t>(from.y) * Surface::kStride
            + static_cast<std::ptrdiff_t>(from.x) * 3};
        const int stride[1]{Surface::kStride};
        if (to.width == m_format.width && to.height == m_format.height) {
            sws_scale(m_context, source, stride, 0, from.height, frame->data, frame->linesize);
            return frame;
        }
        // A padded picture is scaled apart and copied in: the scaler may write a few
        // pixels past the end of its rows, which would show in the black bar.
        AVFrame* picture = Mp4Writer::NewVideoFrame({to.width, to.height, m_format.fps});
        if (picture == nullptr) {
            av_frame_free(&frame);
            return nullptr;
        }
        sws_scale(m_context, source, stride, 0, from.height, picture->data, picture->linesize);
        for (int plane = 0; plane < 3; ++plane) {
            const int shift = plane == 0 ? 0 : 1;
            // Black in the video's limited range.
            const int black = plane == 0 ? 16 : 128;
            for (int y = 0; y < frame->height >> shift; ++y) {
                std::uint8_t* row = frame->data[plane] + static_cast<std::ptrdiff_t>(y) * frame->linesize[plane];
                std::memset(row, black, static_cast<std::size_t>(frame->width >> shift));
                const int pictureRow = y - (to.y >> shift);
                if (pictureRow >= 0 && pictureRow < to.height >> shift)
                    std::memcpy(row + (to.x >> shift),
                        picture->data[plane] + static_cast<std::ptrdiff_t>(pictureRow) * picture->linesize[plane],
                        static_cast<std::size_t>(to.width >> shift));
            }
        }
        av_frame_free(&picture);
        return frame;
    }

private:
    VideoFormat m_format;
    PicturePlacement m_place;
    SwsContext* m_context{};
};

/// The registry's template folder for `track`, "0" when it has none.
std::string RegisteredTemplate(const fs::path& programDir, const fs::path& track)
{
    const playlists::ListReadResult registry = playlists::ReadRegistryWorkList(playlists::RegistryFile(programDir));
    const std::string folder = playlists::RegisteredFolder(registry.lines, track.string());
    return folder.empty() ? "0" : folder;
}

/// Draws every frame of the film into the queue; closes it at the end.
void DrawFrames(std::stop_token stop, KaleidoscopeFilm& film, const VideoFormat& format, VideoFit fit,
    std::int64_t frames, FrameQueue& queue)
{
    const SurfaceScaler scaler{format, fit};
    AVFrame* last{};
    std::uint64_t lastRevision{};
    for (std::int64_t n = 0; n < frames && !stop.stop_requested(); ++n) {
        const Surface& surface = film.At(n * 1000 / format.fps);
        // A picture that has not changed since the last frame is the same frame again.
        AVFrame* frame
            = last != nullptr && surface.revision == lastRevision ? av_frame_clone(last) : scaler.Scale(surface);
        if (frame != nullptr && frame != last) {
            av_frame_free(&last);
            last = av_frame_clone(frame);
            lastRevision = surface.revision;
        }
        if (!queue.Push(frame) || frame == nullptr)
            break;
    }
    av_frame_free(&last);
    queue.Close();
}

} // namespace

VideoResult ExportVideo(const VideoRequest& request, std::stop_token stop, const VideoProgress& progress)
{
    const VideoFormat& format = request.format;
    if (std::string wrong = CheckVideoFormat(format); !wrong.empty())
        return Failed(std::move(wrong));
    if (!IsFile(request.track))
        return Failed("Трек " + request.track.string() + " не найден.");
    if (std::string overTrack = CheckVideoTarget(request.track, request.output); !overTrack.empty())
        return Failed(std::move(overTrack));
    const fs::path folder = request.output.parent_path().empty() ? fs::path{"."} : request.output.parent_path();
    std::error_code error;
    if (request.output.filename().empty() || !fs::is_directory(folder, error))
        return Failed("Не удалось записать видео " + request.output.string() + ": папки " + folder.string() + " нет.");

    // The sound decides the length: its samples are counted once before anything is drawn.
    std::int64_t samples{};
    {
        analysis::AudioDecoder sound;
        if (!sound.Open(request.track, kAudioRate, kAudioChannels))
            return Failed(SoundFailure(request.track, sound.Error()));
        std::vector<float> block;
        while (sound.Read(block)) {
            samples += static_cast<std::int64_t>(block.size() / kAudioChannels);
            if (stop.stop_requested())
                return Cancelled();
        }
        if (!sound.Error().empty())
            return Failed(SoundFailure(request.track, sound.Error()));
        if (samples == 0)
            return Failed(SoundFailure(request.track, "в нём нет ни одного звука"));
    }
    const std::int64_t frames = std::max<std::int64_t>(1, (samples * format.fps + kAudioRate / 2) / kAudioRate);
    const std::int64_t lengthMs = samples * 1000 / kAudioRate;

    const std::string templateName = RegisteredTemplate(request.programDir, request.track);
    auto film = std::make_unique<KaleidoscopeFilm>(
        request.programDir, request.track, templateName, lengthMs, request.look, request.seed);
    if (!film->Error().empty())
        return Failed(film->Error());
    // "Сам создавать ЦМШ": a track with no template at all plays with the one its music gives.
    if (request.look.musicTemplates && film->Template() == templates::TemplateState::None) {
        analysis::AnalysisResult made = analysis::AnalyseTrack(request.track, request.look.pictureChangeTicks, stop);
        if (made.cancelled || stop.stop_requested())
            return Cancelled();
        if (made.ok)
            film = std::make_unique<KaleidoscopeFilm>(request.programDir, request.track, templateName, lengthMs,
                request.look, request.seed, std::move(made.plan.channels));
    }

    Mp4Writer writer{request.output};
    if (!writer.Open(format))
        return Failed(writer.Error());
    analysis::AudioDecoder sound;
    if (!sound.Open(request.track, kAudioRate, kAudioChannels))
        return Failed(SoundFailure(request.track, sound.Error()));

    FrameQueue queue;
    std::jthread drawing{
        [&](std::stop_token drawStop) { DrawFrames(drawStop, *film, format, request.fit, frames, queue); }};
    const std::stop_callback closeOnStop{stop, [&queue] { queue.Close(); }};
    const auto abandon = [&] {
        drawing.request_stop();
        queue.Close();
    };

    std::vector<float> block;
    std::int64_t soundWritten{};
    bool soundDone{};
    // Sound up to `until` samples (all of it when `until` is past the end).
    const auto writeSound = [&](std::int64_t until) {
        while (!soundDone && soundWritten < until) {
            if (!sound.Read(block)) {
                soundDone = true;
                return sound.Error().empty();
            }
            const auto count = static_cast<std::int64_t>(block.size() / kAudioChannels);
            soundWritten += count;
            if (!writer.WriteAudio(block.data(), static_cast<std::size_t>(count)))
                return false;
        }
        return true;
    };

    for (std::int64_t n = 0; n < frames; ++n) {
        AVFrame* frame{};
        if (!queue.Pop(frame)) {
            abandon();
            return stop.stop_requested() ? Cancelled() : Failed("Не удалось нарисовать кадр видео.");
        }
        if (frame == nullptr) {
            abandon();
            return Failed("Не хватило памяти для кадра видео.");
        }
        const bool sent = writeSound((n + 1) * kAudioRate / format.fps) && writer.WriteVideo(*frame);
        av_frame_free(&frame);
        if (!sent || stop.stop_requested()) {
            abandon();
            if (stop.stop_requested())
                return Cancelled();
            return Failed(writer.Error().empty() ? SoundFailure(request.track, sound.Error()) : writer.Error());
        }
        if (progress && ((n + 1) % format.fps == 0 || n + 1 == frames))
            progress(static_cast<double>(n + 1) / static_cast<double>(frames));
    }
    drawing.join();
    if (!writeSound(std::numeric_limits<std::int64_t>::max()))
        return Failed(writer.Error().empty() ? SoundFailure(request.track, sound.Error()) : writer.Error());
    if (stop.stop_requested())
        return Cancelled();
    if (!writer.Finish())
        return Failed(writer.Error());
    VideoResult result;
    result.ok = true;
    result.frames = frames;
    result.seconds = static_cast<double>(samples) / kAudioRate;
    return result;
}

} // namespace kalvotune::video
