#include "playback/DeferredAudio.hpp"

#include "core/LoadableModule.hpp"

#include <chrono>
#include <stdexcept>

namespace kalvotune::playback {

namespace {

namespace fs = std::filesystem;

std::unique_ptr<AudioBackend> LoadBackend(const fs::path& module)
{
    const ModuleSymbol create = LoadModuleSymbol(module, kCreateAudioBackendSymbol, "звуковой модуль");
    if (create.address == nullptr)
        throw std::runtime_error{create.error};
    return std::unique_ptr<AudioBackend>{reinterpret_cast<CreateAudioBackendFunction>(create.address)()};
}

/// The device until the back end is ready: closed, and every command does nothing; an
/// open waits for the back end.
class DeferredDevice : public AudioDevice {
public:
    explicit DeferredDevice(DeferredAudio& audio)
        : m_audio{audio}
    {
    }

    OpenResult Open(const fs::path& file) override
    {
        if (AudioBackend* backend = m_audio.Backend())
            return backend->Device().Open(file);
        return {false, m_audio.LoadError()};
    }
    void Close() override
    {
        if (AudioDevice* device = Ready())
            device->Close();
    }
    void Play() override
    {
        if (AudioDevice* device = Ready())
            device->Play();
    }
    bool Pause() override
    {
        AudioDevice* device = Ready();
        return device != nullptr && device->Pause();
    }
    void Stop() override
    {
        if (AudioDevice* device = Ready())
            device->Stop();
    }
    void Seek(std::int64_t ms) override
    {
        if (AudioDevice* device = Ready())
            device->Seek(ms);
    }
    DeviceMode Mode() const override
    {
        const AudioDevice* device = Ready();
        return device != nullptr ? device->Mode() : DeviceMode::NotOpen;
    }
    std::int64_t LengthMs() const override
    {
        const AudioDevice* device = Ready();
        return device != nullptr ? device->LengthMs() : 0;
    }
    std::int64_t PositionMs() const override
    {
        const AudioDevice* device = Ready();
        return device != nullptr ? device->PositionMs() : 0;
    }

private:
    // Nothing can have been opened before the back end was ready, so until then the
    // device is closed, and waiting for it would only stall the window.
    AudioDevice* Ready() const
    {
        AudioBackend* backend = m_audio.ReadyBackend();
        return backend != nullptr ? &backend->Device() : nullptr;
    }

    DeferredAudio& m_audio;
};

/// The program's sounds: a sound waits for the back end; without one it is skipped.
class DeferredSounds : public SoundEffects {
public:
    explicit DeferredSounds(DeferredAudio& audio)
        : m_audio{audio}
    {
    }

    void PlayAndWait(const fs::path& file) override
    {
        if (AudioBackend* backend = m_audio.Backend())
            backend->Sounds().PlayAndWait(file);
    }
    void PlayAsync(const fs::path& file) override
    {
        if (AudioBackend* backend = m_audio.Backend())
            backend->Sounds().PlayAsync(file);
    }

private:
    DeferredAudio& m_audio;
};

} // namespace

DeferredAudio::DeferredAudio(fs::path module)
    : m_module{std::move(module)}
    , m_device{std::make_unique<DeferredDevice>(*this)}
    , m_sounds{std::make_unique<DeferredSounds>(*this)}
{
}

DeferredAudio::~DeferredAudio()
{
    if (m_loading.valid())
        Take();
    if (m_backend)
        m_backend->SetWakeupHandler({});
    m_backend.reset();
}

void DeferredAudio::StartLoading()
{
    if (m_taken || m_loading.valid())
        return;
    m_loading = std::async(std::launch::async, [module = m_module] { return LoadBackend(module); });
}

void DeferredAudio::Take()
{
    if (m_taken)
        return;
    m_taken = true;
    try {
        m_backend = m_loading.get();
    } catch (const std::exception& error) {
        m_error = error.what();
    }
    if (m_backend && m_wakeup)
        m_backend->SetWakeupHandler(m_wakeup);
}

AudioBackend* DeferredAudio::Backend()
{
    StartLoading();
    Take();
    return m_backend.get();
}

AudioBackend* DeferredAudio::ReadyBackend()
{
    if (!m_taken && m_loading.valid() && m_loading.wait_for(std::chrono::seconds{0}) == std::future_status::ready)
        Take();
    return m_backend.get();
}

void DeferredAudio::SetWakeupHandler(std::function<void()> postToUiThread)
{
    m_wakeup = std::move(postToUiThread);
    if (m_backend)
        m_backend->SetWakeupHandler(m_wakeup);
}

void DeferredAudio::DrainEvents()
{
    if (AudioBackend* backend = ReadyBackend())
        backend->DrainEvents();
}

} // namespace kalvotune::playback
