#include "app/MediaControls.hpp"

#include "core/AudioDevice.hpp"

namespace kalvotune::app {

MediaControls::MediaControls(Kalvotune& app, AudioDevice& device)
    : m_app{app}
    , m_device{device}
{
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
    if (state.track != m_lastTrack)
        ++m_trackNumber;
    m_lastTrack = state.track;
    state.trackNumber = m_trackNumber;
    state.canPlay = !Playing() && f.PlayButton.enabled && (mode == DeviceMode::Paused || f.ListBox1.Count() > 0);
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

} // namespace kalvotune::app
