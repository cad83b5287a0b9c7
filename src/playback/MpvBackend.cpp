// The entry of the audio module: libmpv and everything it pulls in are loaded only when
// the program loads this module, after its window shows.
#include "playback/AudioBackend.hpp"
#include "playback/MpvDevice.hpp"
#include "playback/MpvSoundEffects.hpp"

namespace kalvotune::playback {
namespace {

class MpvBackend : public AudioBackend {
public:
    AudioDevice& Device() override { return m_device; }
    SoundEffects& Sounds() override { return m_sounds; }
    void SetWakeupHandler(std::function<void()> postToUiThread) override
    {
        m_device.SetWakeupHandler(std::move(postToUiThread));
    }
    void DrainEvents() override { m_device.DrainEvents(); }

private:
    MpvDevice m_device;
    MpvSoundEffects m_sounds;
};

} // namespace
} // namespace kalvotune::playback

extern "C" kalvotune::playback::AudioBackend* KalvotuneCreateAudioBackend()
{
    return new kalvotune::playback::MpvBackend;
}
