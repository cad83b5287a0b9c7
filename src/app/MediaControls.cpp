#include "app/MediaControls.hpp"

#include "core/AudioDevice.hpp"

#include <algorithm>

namespace kalvotune::app {

MediaControls::MediaControls(Kalvotune& app, AudioDevice& device)
    : m_app{app}
    , m_device{device}
    , m_subscription{app.player().Events().Subscribe([this](const playback::PlayerEvent& event) { Follow(event); })}
{
    if (m_device.Mode() != DeviceMode::NotOpen)
        TrackChanged(m_app.form().CurrentTrackName);
}

void MediaControls::TrackChanged(const std::filesystem::path& track)
{
    if (track == m_lastTrack)
        return;
    m_lastTrack = track;
    ++m_trackNumber;
    ++m_pictureNumber;
    m_lastTick = m_app.form().TemplateTick;
}

void MediaControls::Follow(const playback::PlayerEvent& event)
{
    switch (event.kind) {
    case playback::PlayerEvent::Kind::TrackStarted:
        TrackChanged(event.track);
        break;
    case playback::PlayerEvent::Kind::TrackEnded:
        TrackChanged({});
        break;
    case playback::PlayerEvent::Kind::PositionMoved:
        ++m_seekNumber;
        break;
    }
}

bool MediaControls::Playing() const
{
    return m_device.Mode() == DeviceMode::Playing;
}

MediaState MediaControls::State()
{
    const Form& f = m_app.form();
    const DeviceMode mode = m_device.Mode();
    const bool open = mode != DeviceMode::NotOpen && !f.CurrentTrackName.empty();
    MediaState state;
    state.status = mode == DeviceMode::Playing ? "Playing" : mode == DeviceMode::Paused ? "Paused" : "Stopped";
    if (open) {
        state.track = f.CurrentTrackName;
        state.title = f.TrackTitle;
        state.lengthUs = m_device.LengthMs() * 1000;
    }
    state.trackNumber = m_trackNumber;
    // A speed byte above 21 marks a picture change; any mark passed since the last look
    // counts (a jump back only starts the count again).
    const int tick = f.TemplateTick;
    for (int t = m_lastTick + 1; t <= tick; ++t) {
        if (f.channels.Speed(t) > 21) {
            ++m_pictureNumber;
            break;
        }
    }
    m_lastTick = tick;
    state.pictureNumber = m_pictureNumber;
    state.seekNumber = m_seekNumber;
    state.canSeek = Playing();
    state.canPlay = !Playing() && f.PlayButton.enabled && (mode == DeviceMode::Paused || f.CurrentListBox.Count() > 0);
    state.canPause = Playing() && f.PauseButton.enabled;
    state.canGoNext = Playing() && f.PlayButton.enabled;
    return state;
}

std::int64_t MediaControls::PositionUs() const
{
    const DeviceMode mode = m_device.Mode();
    if (mode == DeviceMode::NotOpen)
        return 0;
    return m_device.PositionMs() * 1000;
}

void MediaControls::Play()
{
    // While playing, the button means "Next".
    if (!Playing())
        m_app.Click("PlayButton");
}

void MediaControls::Pause()
{
    if (Playing())
        m_app.Click("PauseButton");
}

void MediaControls::PlayPause()
{
    if (Playing())
        Pause();
    else
        Play();
}

void MediaControls::Stop()
{
    m_app.Click("StopButton");
}

void MediaControls::Next()
{
    if (Playing())
        m_app.Click("PlayButton");
}

void MediaControls::Previous()
{
    m_app.player().SeekPlaying(0);
}

void MediaControls::Seek(std::int64_t offsetUs)
{
    if (!Playing())
        return;
    const std::int64_t target = m_device.PositionMs() + offsetUs / 1000;
    if (target >= m_device.LengthMs())
        Next();
    else
        m_app.player().SeekPlaying(std::max<std::int64_t>(target, 0));
}

void MediaControls::SetPosition(std::int64_t positionUs)
{
    if (positionUs < 0 || positionUs / 1000 > m_device.LengthMs())
        return;
    m_app.player().SeekPlaying(positionUs / 1000);
}

} // namespace kalvotune::app
