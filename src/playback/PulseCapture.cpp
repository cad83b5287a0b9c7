#include "playback/PulseCapture.hpp"

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <bit>
#include <cstring>

namespace kalvotune::playback {

namespace {

constexpr const char* kClientName{"Kalvotune"};
/// The server's name for the monitor of the default output.
constexpr const char* kDefaultMonitor{"@DEFAULT_MONITOR@"};
constexpr double kFragmentSeconds{0.015};
constexpr double kRingSeconds{4.0};

std::string NoSourceMessage(const std::string& source)
{
    return source.empty() ? "Нет источника звука: у звукового сервера нет выхода по умолчанию"
                          : "Нет источника звука <" + source + ">";
}

/// The sources as the user picks from them: the default output's monitor, then
/// microphones and line inputs, then what the other outputs play; in the server's order
/// within each group.
void SortSources(std::vector<SoundSource>& sources, const std::string& defaultMonitor)
{
    const auto rank = [&](const SoundSource& s) { return s.name == defaultMonitor ? 0 : (s.monitor ? 2 : 1); };
    std::stable_sort(
        sources.begin(), sources.end(), [&](const SoundSource& a, const SoundSource& b) { return rank(a) < rank(b); });
}

} // namespace

SoundSourceList ListSoundSources(std::chrono::milliseconds timeout)
{
    struct Listing {
        SoundSourceList result;
        std::string defaultSink;
        std::string defaultMonitor;
        int pending{};
        bool failed{};
        pa_context* context{};
    } listing;

    pa_mainloop* loop{pa_mainloop_new()};
    if (loop == nullptr)
        return {false, kNoSoundServerMessage, {}};
    listing.context = pa_context_new(pa_mainloop_get_api(loop), kClientName);
    if (listing.context == nullptr) {
        pa_mainloop_free(loop);
        return {false, kNoSoundServerMessage, {}};
    }

    static constexpr auto onSource = [](pa_context*, const pa_source_info* info, int eol, void* user) {
        auto& l{*static_cast<Listing*>(user)};
        if (eol != 0) {
            --l.pending;
            return;
        }
        l.result.sources.push_back({info->name, info->description != nullptr ? info->description : info->name,
            info->monitor_of_sink != PA_INVALID_INDEX});
    };
    static constexpr auto onSink = [](pa_context*, const pa_sink_info* info, int eol, void* user) {
        auto& l{*static_cast<Listing*>(user)};
        if (eol != 0) {
            --l.pending;
            return;
        }
        if (info->monitor_source_name != nullptr)
            l.defaultMonitor = info->monitor_source_name;
    };
    static constexpr auto onServer = [](pa_context* c, const pa_server_info* info, void* user) {
        auto& l{*static_cast<Listing*>(user)};
        if (info != nullptr && info->default_sink_name != nullptr) {
            l.defaultSink = info->default_sink_name;
            if (pa_operation* op = pa_context_get_sink_info_by_name(c, info->default_sink_name, onSink, user)) {
                ++l.pending;
                pa_operation_unref(op);
            }
        }
        --l.pending;
    };
    const auto onState = [](pa_context* c, void* user) {
        auto& l{*static_cast<Listing*>(user)};
        switch (pa_context_get_state(c)) {
        case PA_CONTEXT_READY:
            if (pa_operation* op = pa_context_get_server_info(c, onServer, user)) {
                ++l.pending;
                pa_operation_unref(op);
            }
            if (pa_operation* op = pa_context_get_source_info_list(c, onSource, user)) {
                ++l.pending;
                pa_operation_unref(op);
            }
            if (l.pending == 0)
                l.failed = true;
            break;
        case PA_CONTEXT_FAILED:
        case PA_CONTEXT_TERMINATED:
            l.failed = true;
            break;
        default:
            break;
        }
    };
    pa_context_set_state_callback(listing.context, onState, &listing);

    bool ready{};
    if (pa_context_connect(listing.context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) >= 0) {
        const auto deadline{std::chrono::steady_clock::now() + timeout};
        bool started{};
        while (!listing.failed) {
            if (started && listing.pending == 0) {
                ready = true;
                break;
            }
            started = started || listing.pending > 0;
            const auto left{
                std::chrono::duration_cast<std::chrono::microseconds>(deadline - std::chrono::steady_clock::now())};
            if (left.count() <= 0)
                break;
            if (pa_mainloop_iterate(loop, 0, nullptr) > 0)
                continue;
            // Nothing was ready: wait for the server, at most until the deadline.
            if (pa_mainloop_prepare(loop, static_cast<int>(left.count())) < 0 || pa_mainloop_poll(loop) < 0
                || pa_mainloop_dispatch(loop) < 0)
                break;
        }
    }
    pa_context_set_state_callback(listing.context, nullptr, nullptr);
    pa_context_disconnect(listing.context);
    pa_context_unref(listing.context);
    pa_mainloop_free(loop);

    if (!ready)
        return {false, kNoSoundServerMessage, {}};
    if (listing.defaultMonitor.empty() && !listing.defaultSink.empty())
        listing.defaultMonitor = listing.defaultSink + ".monitor";
    SortSources(listing.result.sources, listing.defaultMonitor);
    listing.result.ok = true;
    return listing.result;
}

PulseCapture::PulseCapture() = default;

PulseCapture::~PulseCapture()
{
    Stop();
}

void PulseCapture::Start(const CaptureSettings& settings)
{
    Stop();
    m_settings = settings;
    m_settings.channels = std::clamp(m_settings.channels, 1, 2);
    m_settings.sampleRate = std::clamp(m_settings.sampleRate, 8000, 192000);
    const auto ringSize{
        std::bit_ceil(static_cast<std::size_t>(kRingSeconds * m_settings.sampleRate * m_settings.channels))};
    m_ring.assign(ringSize, 0.0f);
    m_written = 0;
    m_read = 0;
    m_dropped = 0;
    {
        const std::lock_guard lock{m_statusMutex};
        m_status = {};
        m_status.state = CaptureState::Connecting;
    }
    m_loop = pa_threaded_mainloop_new();
    if (m_loop == nullptr) {
        SetState(CaptureState::NoServer, kNoSoundServerMessage);
        return;
    }
    pa_threaded_mainloop_lock(m_loop);
    if (pa_threaded_mainloop_start(m_loop) < 0) {
        pa_threaded_mainloop_unlock(m_loop);
        pa_threaded_mainloop_free(m_loop);
        m_loop = nullptr;
        SetState(CaptureState::NoServer, kNoSoundServerMessage);
        return;
    }
    Connect();
    pa_threaded_mainloop_unlock(m_loop);
}

void PulseCapture::Stop()
{
    if (m_loop != nullptr) {
        pa_threaded_mainloop_lock(m_loop);
        Disconnect();
        if (m_retry != nullptr) {
            pa_threaded_mainloop_get_api(m_loop)->time_free(m_retry);
            m_retry = nullptr;
        }
        pa_threaded_mainloop_unlock(m_loop);
        // Only tells the loop's thread to end and joins it: nothing here waits for the server.
        pa_threaded_mainloop_stop(m_loop);
        pa_threaded_mainloop_free(m_loop);
        m_loop = nullptr;
    }
    m_read = m_written.load();
    const std::lock_guard lock{m_statusMutex};
    m_status.state = CaptureState::Stopped;
    m_status.message.clear();
}

void PulseCapture::Take(std::vector<float>& samples)
{
    const std::uint64_t written{m_written.load(std::memory_order_acquire)};
    std::uint64_t read{m_read.load(std::memory_order_relaxed)};
    const std::size_t mask{m_ring.size() - 1};
    samples.reserve(samples.size() + static_cast<std::size_t>(written - read));
    for (; read < written; ++read)
        samples.push_back(m_ring[static_cast<std::size_t>(read) & mask]);
    m_read.store(read, std::memory_order_release);
}

CaptureStatus PulseCapture::Status() const
{
    const std::lock_guard lock{m_statusMutex};
    CaptureStatus status{m_status};
    status.framesDropped = m_dropped.load() / std::max(1, m_settings.channels);
    return status;
}

void PulseCapture::Connect()
{
    m_context = pa_context_new(pa_threaded_mainloop_get_api(m_loop), kClientName);
    if (m_context == nullptr) {
        SetState(CaptureState::NoServer, kNoSoundServerMessage);
        Retry();
        return;
    }
    pa_context_set_state_callback(
        m_context, [](pa_context*, void* self) { static_cast<PulseCapture*>(self)->OnContextState(); }, this);
    // Never start a server of our own: the user's desktop runs one or there is none.
    if (pa_context_connect(m_context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
        SetState(CaptureState::NoServer, kNoSoundServerMessage);
        Retry();
    }
}

void PulseCapture::Disconnect()
{
    if (m_stream != nullptr) {
        pa_stream_set_state_callback(m_stream, nullptr, nullptr);
        pa_stream_set_read_callback(m_stream, nullptr, nullptr);
        pa_stream_disconnect(m_stream);
        pa_stream_unref(m_stream);
        m_stream = nullptr;
    }
    if (m_context != nullptr) {
        pa_context_set_state_callback(m_context, nullptr, nullptr);
        pa_context_disconnect(m_context);
        pa_context_unref(m_context);
        m_context = nullptr;
    }
}

void PulseCapture::Retry()
{
    // The old connection is torn down by the timer, not here: this may run inside one of
    // its own callbacks.
    if (m_retry != nullptr)
        return;
    timeval at{};
    pa_gettimeofday(&at);
    pa_timeval_add(&at, static_cast<pa_usec_t>(std::chrono::microseconds{kReconnectDelay}.count()));
    m_retry = pa_threaded_mainloop_get_api(m_loop)->time_new(
        pa_threaded_mainloop_get_api(m_loop), &at,
        [](pa_mainloop_api* api, pa_time_event* event, const timeval*, void* user) {
            auto& self{*static_cast<PulseCapture*>(user)};
            api->time_free(event);
            self.m_retry = nullptr;
            self.Disconnect();
            self.Connect();
        },
        this);
}

void PulseCapture::OpenStream()
{
    pa_sample_spec spec{};
    spec.format = PA_SAMPLE_FLOAT32NE;
    spec.rate = static_cast<std::uint32_t>(m_settings.sampleRate);
    spec.channels = static_cast<std::uint8_t>(m_settings.channels);
    m_stream = pa_stream_new(m_context, "Kalvotune: звук компьютера", &spec, nullptr);
    if (m_stream == nullptr) {
        SetState(CaptureState::NoServer, kNoSoundServerMessage);
        Retry();
        return;
    }
    pa_stream_set_state_callback(
        m_stream, [](pa_stream*, void* self) { static_cast<PulseCapture*>(self)->OnStreamState(); }, this);
    pa_stream_set_read_callback(
        m_stream, [](pa_stream*, std::size_t bytes, void* self) { static_cast<PulseCapture*>(self)->OnRead(bytes); },
        this);
    pa_buffer_attr attr{};
    attr.maxlength = static_cast<std::uint32_t>(-1);
    attr.tlength = attr.prebuf = attr.minreq = static_cast<std::uint32_t>(-1);
    attr.fragsize = static_cast<std::uint32_t>(kFragmentSeconds * m_settings.sampleRate) * pa_frame_size(&spec);
    const std::string& source{m_settings.source};
    const pa_stream_flags_t flags{static_cast<pa_stream_flags_t>(
        PA_STREAM_ADJUST_LATENCY | PA_STREAM_AUTO_TIMING_UPDATE | PA_STREAM_INTERPOLATE_TIMING)};
    if (pa_stream_connect_record(m_stream, source.empty() ? kDefaultMonitor : source.c_str(), &attr, flags) < 0) {
        SetState(CaptureState::NoSource, NoSourceMessage(source));
        Retry();
    }
}

void PulseCapture::OnContextState()
{
    switch (pa_context_get_state(m_context)) {
    case PA_CONTEXT_READY:
        if (m_stream == nullptr)
            OpenStream();
        break;
    case PA_CONTEXT_FAILED:
    case PA_CONTEXT_TERMINATED:
        SetState(CaptureState::NoServer, kNoSoundServerMessage);
        Retry();
        break;
    default:
        break;
    }
}

void PulseCapture::OnStreamState()
{
    switch (pa_stream_get_state(m_stream)) {
    case PA_STREAM_READY: {
        const char* device{pa_stream_get_device_name(m_stream)};
        const std::lock_guard lock{m_statusMutex};
        m_status.source = device != nullptr ? device : m_settings.source;
        // Still connecting until the first fragment: an idle monitor may keep it back.
        if (m_status.state != CaptureState::Capturing) {
            m_status.state = CaptureState::Connecting;
            m_status.message.clear();
        }
        break;
    }
    case PA_STREAM_FAILED:
    case PA_STREAM_TERMINATED:
        // A stream that fails on a live connection lost its source; a lost server fails
        // the connection too, and that says so.
        if (pa_context_get_state(m_context) == PA_CONTEXT_READY) {
            SetState(CaptureState::NoSource, NoSourceMessage(m_settings.source));
            Retry();
        }
        break;
    default:
        break;
    }
}

void PulseCapture::OnRead(std::size_t)
{
    const void* data{};
    std::size_t bytes{};
    while (pa_stream_readable_size(m_stream) > 0) {
        if (pa_stream_peek(m_stream, &data, &bytes) < 0 || bytes == 0)
            break;
        // A hole (data null) is sound the server lost: nothing to hand on.
        if (data != nullptr) {
            m_scratch.resize(bytes / sizeof(float));
            std::memcpy(m_scratch.data(), data, m_scratch.size() * sizeof(float));
            SanitiseSamples(m_scratch);
            Push(m_scratch.data(), m_scratch.size());
        }
        pa_stream_drop(m_stream);
    }
    pa_usec_t latency{};
    int negative{};
    const bool timed{pa_stream_get_latency(m_stream, &latency, &negative) == 0};
    const std::lock_guard lock{m_statusMutex};
    if (m_status.state != CaptureState::Capturing) {
        m_status.state = CaptureState::Capturing;
        m_status.message.clear();
    }
    if (timed)
        m_status.latencySeconds = negative != 0 ? 0.0 : static_cast<double>(latency) / 1e6;
}

void PulseCapture::SetState(CaptureState state, std::string message)
{
    const std::lock_guard lock{m_statusMutex};
    m_status.state = state;
    m_status.message = std::move(message);
}

void PulseCapture::Push(const float* samples, std::size_t count)
{
    const std::uint64_t written{m_written.load(std::memory_order_relaxed)};
    const std::uint64_t read{m_read.load(std::memory_order_acquire)};
    const std::size_t free{m_ring.size() - static_cast<std::size_t>(written - read)};
    // Whole frames only, so the channels never swap places.
    const std::size_t frame{static_cast<std::size_t>(m_settings.channels)};
    const std::size_t kept{std::min(count, free) / frame * frame};
    const std::size_t mask{m_ring.size() - 1};
    for (std::size_t i = 0; i < kept; ++i)
        m_ring[static_cast<std::size_t>(written + i) & mask] = samples[i];
    m_written.store(written + kept, std::memory_order_release);
    if (kept < count)
        m_dropped += static_cast<long long>(count - kept);
}

} // namespace kalvotune::playback
