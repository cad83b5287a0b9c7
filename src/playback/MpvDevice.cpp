#include "playback/MpvDevice.hpp"

#include <mpv/client.h>

#include <algorithm>
#include <cmath>

namespace kalvotune::playback {

namespace {

// How far time-pos may run ahead of real time before it is taken for the leap mpv makes
// once it has decoded the last of the file while the output still plays its buffer.
constexpr std::int64_t kLeapToleranceMs{150};

// mpv takes seconds as text; LC_NUMERIC is "C", but the digits are written by hand anyway.
std::string SecondsText(std::int64_t ms)
{
    std::string fraction = std::to_string(1000 + ms % 1000).substr(1);
    return std::to_string(ms / 1000) + "." + fraction;
}

std::int64_t ToMs(double seconds)
{
    return std::llround(seconds * 1000.0);
}

} // namespace

MpvDevice::MpvDevice(AudioOutput output)
    : m_handle{CreateAudioHandle(output, m_startError)}
{
    if (m_handle)
        mpv_set_wakeup_callback(m_handle.get(), &MpvDevice::OnWakeup, this);
}

MpvDevice::~MpvDevice()
{
    // Teardown order: first no mpv thread may call back into us, then the core goes
    // (mpv_terminate_destroy stops the sound and joins mpv's threads).
    if (m_handle)
        mpv_set_wakeup_callback(m_handle.get(), nullptr, nullptr);
    m_handle.reset();
}

void MpvDevice::SetWakeupHandler(std::function<void()> postToUiThread)
{
    std::lock_guard lock{m_wakeupMutex};
    m_wakeup = std::move(postToUiThread);
}

void MpvDevice::OnWakeup(void* self)
{
    auto* device = static_cast<MpvDevice*>(self);
    std::lock_guard lock{device->m_wakeupMutex};
    if (device->m_wakeup)
        device->m_wakeup();
}

void MpvDevice::DrainEvents()
{
    if (!m_handle)
        return;
    for (;;) {
        const mpv_event* event = mpv_wait_event(m_handle.get(), 0);
        if (event->event_id == MPV_EVENT_NONE)
            break;
        HandleEvent(*event);
    }
}

void MpvDevice::HandleEvent(const mpv_event& event)
{
    switch (event.event_id) {
    case MPV_EVENT_START_FILE:
        m_startedEntry = static_cast<const mpv_event_start_file*>(event.data)->playlist_entry_id;
        break;
    case MPV_EVENT_PLAYBACK_RESTART:
        // Also ends a seek: from here on time-pos tells the new position.
        if (m_startedEntry == m_entryId && m_loaded) {
            m_ready = true;
            if (m_seekTarget >= 0) {
                m_seekTarget = -1;
                m_anchorValid = false;
            }
        }
        break;
    case MPV_EVENT_END_FILE: {
        // Loading over an open file delivers the old file's end first; only ours counts.
        const auto* end = static_cast<const mpv_event_end_file*>(event.data);
        if (end->playlist_entry_id != m_entryId || m_entryId < 0)
            break;
        m_loaded = false;
        m_ready = false;
        m_ended = true;
        m_endError = end->reason == MPV_END_FILE_REASON_ERROR ? end->error : 0;
        if (m_mode != DeviceMode::NotOpen) {
            // Played to the end (or broke off while playing): stopped at the length.
            m_atEnd = true;
            m_mode = DeviceMode::Stopped;
            m_seekTarget = -1;
        }
        break;
    }
    default:
        break;
    }
}

OpenResult MpvDevice::Open(const std::filesystem::path& file)
{
    DrainEvents();
    if (!m_handle)
        return {false, m_startError};
    if (m_mode != DeviceMode::NotOpen || m_entryId >= 0)
        Close();

    std::error_code ignored;
    const std::filesystem::path absolute = std::filesystem::absolute(file, ignored);
    const std::string name = absolute.empty() ? file.string() : absolute.string();

    for (int attempt = 0; attempt < 2; ++attempt) {
        mpv_set_property_string(m_handle.get(), mpvname::kPause, "yes");
        const long long id = LoadFile(m_handle.get(), name, {});
        if (id < 0) {
            Reset();
            return {false, "Cannot open \"" + file.string() + "\": " + mpv_error_string(static_cast<int>(id))};
        }
        m_entryId = id;
        m_file = file;
        m_loaded = true;
        m_ready = false;
        m_ended = false;
        m_endError = 0;

        const auto deadline = SteadyClock::now() + kOpenTimeout;
        while (!m_ready && !m_ended) {
            const auto left = std::chrono::duration<double>(deadline - SteadyClock::now()).count();
            if (left <= 0)
                break;
            const mpv_event* event = mpv_wait_event(m_handle.get(), left);
            HandleEvent(*event);
        }

        // Without a sound card mpv gets ready with no output, or gives up on the output;
        // either way the file is loaded again on the null output.
        const bool noOutput
            = (m_ready && CurrentOutput().empty()) || (m_ended && m_endError == MPV_ERROR_AO_INIT_FAILED);
        if (noOutput && attempt == 0 && FallBackToNullOutput(m_handle.get()))
            continue;

        if (m_ready || (m_ended && m_endError == 0)) {
            double seconds{};
            if (mpv_get_property(m_handle.get(), mpvname::kDuration, MPV_FORMAT_DOUBLE, &seconds) >= 0)
                m_length = std::max<std::int64_t>(ToMs(seconds), 0);
            m_mode = DeviceMode::Stopped;
            m_atEnd = m_ended; // a file with nothing to play is over at once
            m_anchorPos = 0;
            m_anchorAt = SteadyClock::now();
            m_anchorValid = true;
            m_lastReported = 0;
            return {true, {}};
        }

        const std::string reason = m_ended
            ? mpv_error_string(m_endError)
            : "no answer from the audio back end within " + std::to_string(kOpenTimeout.count() / 1000) + " s";
        Close();
        return {false, "Cannot open \"" + file.string() + "\": " + reason};
    }
    Close();
    return {false, "Cannot open \"" + file.string() + "\": no audio output"};
}

void MpvDevice::Close()
{
    DrainEvents();
    if (m_handle && m_loaded) {
        const char* args[]{mpvname::kStop, nullptr};
        mpv_command(m_handle.get(), args);
    }
    Reset();
}

void MpvDevice::Reset()
{
    m_file.clear();
    m_entryId = -1;
    m_loaded = false;
    m_ready = false;
    m_atEnd = false;
    m_ended = false;
    m_endError = 0;
    m_mode = DeviceMode::NotOpen;
    m_length = 0;
    m_seekTarget = -1;
    m_anchorPos = 0;
    m_anchorValid = false;
    m_lastReported = 0;
}

void MpvDevice::Play()
{
    DrainEvents();
    if ((m_mode != DeviceMode::Stopped && m_mode != DeviceMode::Paused) || m_atEnd)
        return;
    HoldPosition();
    mpv_set_property_string(m_handle.get(), mpvname::kPause, "no");
    m_mode = DeviceMode::Playing;
}

bool MpvDevice::Pause()
{
    DrainEvents();
    if (m_mode == DeviceMode::NotOpen)
        return false;
    if (m_mode == DeviceMode::Playing) {
        HoldPosition();
        mpv_set_property_string(m_handle.get(), mpvname::kPause, "yes");
        m_mode = DeviceMode::Paused;
    } else if (m_mode == DeviceMode::Paused) {
        Play();
    }
    return true;
}

void MpvDevice::Stop()
{
    DrainEvents();
    if (m_mode != DeviceMode::Playing && m_mode != DeviceMode::Paused)
        return;
    HoldPosition();
    mpv_set_property_string(m_handle.get(), mpvname::kPause, "yes");
    m_mode = DeviceMode::Stopped;
}

void MpvDevice::Seek(std::int64_t ms)
{
    DrainEvents();
    if (m_mode == DeviceMode::NotOpen)
        return;
    const std::int64_t target = std::clamp<std::int64_t>(ms, 0, m_length);
    mpv_set_property_string(m_handle.get(), mpvname::kPause, "yes");
    m_mode = DeviceMode::Stopped;
    m_atEnd = false;
    m_seekTarget = target;
    m_anchorPos = target;
    m_anchorAt = SteadyClock::now();
    m_anchorValid = false;
    m_lastReported = target;

    if (!m_loaded) {
        Reload(target);
        return;
    }
    const std::string seconds = SecondsText(target);
    const char* args[]{mpvname::kSeek, seconds.c_str(), mpvname::kSeekAbsoluteExact, nullptr};
    if (mpv_command(m_handle.get(), args) < 0)
        m_seekTarget = -1; // not seekable: the position stays where mpv has it
}

void MpvDevice::Reload(std::int64_t ms)
{
    const std::string options = std::string{mpvname::kStartOption} + "=" + SecondsText(ms);
    const long long id = LoadFile(m_handle.get(), m_file.string(), options);
    if (id < 0) {
        m_atEnd = true;
        m_seekTarget = -1;
        return;
    }
    m_entryId = id;
    m_loaded = true;
    m_ready = false;
    m_ended = false;
}

DeviceMode MpvDevice::Mode() const
{
    Pump();
    return m_mode;
}

std::int64_t MpvDevice::LengthMs() const
{
    Pump();
    return m_length;
}

std::int64_t MpvDevice::PositionMs() const
{
    Pump();
    return ReportedPosition();
}

std::string MpvDevice::CurrentOutput() const
{
    if (!m_handle)
        return {};
    char* name = mpv_get_property_string(m_handle.get(), mpvname::kCurrentAo);
    std::string result = name != nullptr ? name : "";
    mpv_free(name);
    return result;
}

void MpvDevice::HoldPosition()
{
    m_anchorPos = ReportedPosition();
    m_anchorAt = SteadyClock::now();
    m_anchorValid = true;
}

std::int64_t MpvDevice::ReportedPosition() const
{
    if (m_mode == DeviceMode::NotOpen)
        return 0;
    if (m_atEnd)
        return m_length;
    if (m_seekTarget >= 0)
        return m_seekTarget;

    // Nothing moves while the device is not playing: it stays where it was opened,
    // stopped, paused or sent. (Some decoders put time-pos a little past 0 at the start.)
    if (m_mode != DeviceMode::Playing)
        return m_anchorPos;

    // time-pos jitters by some tens of milliseconds and leaps to the end of the file
    // while the output still plays its last buffer. What the sound has reached is the
    // last trusted reading carried on in real time; a reading is trusted unless it
    // runs ahead of that.
    const auto now = SteadyClock::now();
    const std::int64_t expected
        = m_anchorPos + std::chrono::duration_cast<std::chrono::milliseconds>(now - m_anchorAt).count();

    std::int64_t position = expected;
    double seconds{};
    if (m_ready && mpv_get_property(m_handle.get(), mpvname::kTimePos, MPV_FORMAT_DOUBLE, &seconds) >= 0) {
        const std::int64_t reading = ToMs(seconds);
        if (!m_anchorValid || reading <= expected + kLeapToleranceMs) {
            position = reading;
            m_anchorPos = reading;
            m_anchorAt = now;
            m_anchorValid = true;
        }
    }
    position = std::clamp<std::int64_t>(std::max(position, m_lastReported), 0, m_length);
    m_lastReported = position;
    return position;
}

} // namespace kalvotune::playback
