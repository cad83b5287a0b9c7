#include "playback/MpvSoundEffects.hpp"

#include <mpv/client.h>

#include <string>

namespace kalvotune::playback {

MpvSoundEffects::MpvSoundEffects(AudioOutput output)
{
    std::string ignored;
    m_handle = CreateAudioHandle(output, ignored);
}

void MpvSoundEffects::DiscardEvents()
{
    while (mpv_wait_event(m_handle.get(), 0)->event_id != MPV_EVENT_NONE) { }
}

long long MpvSoundEffects::Start(const std::filesystem::path& file)
{
    // Events of earlier sounds are of no interest; dropping them keeps mpv's queue short.
    DiscardEvents();
    mpv_set_property_string(m_handle.get(), mpvname::kPause, "no");
    return LoadFile(m_handle.get(), file.string(), {});
}

int MpvSoundEffects::WaitForEnd(long long entry, std::chrono::steady_clock::time_point deadline)
{
    for (;;) {
        const auto left = std::chrono::duration<double>(deadline - std::chrono::steady_clock::now()).count();
        if (left <= 0) {
            const char* args[]{mpvname::kStop, nullptr};
            mpv_command(m_handle.get(), args);
            return 0;
        }
        const mpv_event* event = mpv_wait_event(m_handle.get(), left);
        if (event->event_id != MPV_EVENT_END_FILE)
            continue;
        const auto* end = static_cast<const mpv_event_end_file*>(event->data);
        if (end->playlist_entry_id == entry)
            return end->reason == MPV_END_FILE_REASON_ERROR ? end->error : 0;
    }
}

void MpvSoundEffects::PlayAndWait(const std::filesystem::path& file)
{
    if (!m_handle)
        return;
    const auto deadline = std::chrono::steady_clock::now() + kLongestWait;
    long long entry = Start(file);
    if (entry < 0)
        return;
    // Without a sound card the wait still lasts as long as the sound, on the null output.
    if (WaitForEnd(entry, deadline) == MPV_ERROR_AO_INIT_FAILED && FallBackToNullOutput(m_handle.get())) {
        entry = Start(file);
        if (entry >= 0)
            WaitForEnd(entry, deadline);
    }
}

void MpvSoundEffects::PlayAsync(const std::filesystem::path& file)
{
    if (m_handle)
        Start(file);
}

} // namespace kalvotune::playback
