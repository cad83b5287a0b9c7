#pragma once

#include "core/AudioDevice.hpp"

#include <cstdint>
#include <map>
#include <string>

namespace kalvotune::testing {

/// A playback device on a virtual clock. Files are known by path with a length; opening
/// an unknown or failing file gives the back end's error. Time moves only by `Advance`.
class FakeAudioDevice : public AudioDevice {
public:
    /// Makes `file` openable with the given length.
    void AddFile(const std::filesystem::path& file, std::int64_t lengthMs);
    /// Makes opening `file` fail with `error`.
    void FailOpen(const std::filesystem::path& file, std::string error);
    /// Moves the virtual clock; a playing device advances and stops at its length.
    void Advance(std::int64_t ms);

    OpenResult Open(const std::filesystem::path& file) override;
    void Close() override;
    void Play() override;
    bool Pause() override;
    void Stop() override;
    void Seek(std::int64_t ms) override;
    DeviceMode Mode() const override;
    std::int64_t LengthMs() const override;
    std::int64_t PositionMs() const override;

    std::filesystem::path openFile;
    int opens{};
    int closes{};

private:
    std::map<std::filesystem::path, std::int64_t> m_lengths;
    std::map<std::filesystem::path, std::string> m_failures;
    DeviceMode m_mode{DeviceMode::NotOpen};
    std::int64_t m_length{};
    std::int64_t m_position{};
};

} // namespace kalvotune::testing
