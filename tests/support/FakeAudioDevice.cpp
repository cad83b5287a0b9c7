#include "support/FakeAudioDevice.hpp"

#include <algorithm>

// `opens` and `closes` count the calls to Open and Close, whatever their outcome, so a
// test can tell whether the code under test asked for them.

namespace kalvotune::testing {

void FakeAudioDevice::AddFile(const std::filesystem::path& file, std::int64_t lengthMs)
{
    m_lengths[file] = std::max<std::int64_t>(lengthMs, 0);
    m_failures.erase(file);
}

void FakeAudioDevice::FailOpen(const std::filesystem::path& file, std::string error)
{
    m_failures[file] = std::move(error);
}

void FakeAudioDevice::Advance(std::int64_t ms)
{
    if (m_mode != DeviceMode::Playing || ms <= 0)
        return;
    m_position = std::min(m_position + ms, m_length);
    if (m_position == m_length)
        m_mode = DeviceMode::Stopped;
}

OpenResult FakeAudioDevice::Open(const std::filesystem::path& file)
{
    ++opens;
    m_mode = DeviceMode::NotOpen;
    openFile.clear();
    m_length = 0;
    m_position = 0;

    if (auto failure = m_failures.find(file); failure != m_failures.end())
        return {false, failure->second};
    auto known = m_lengths.find(file);
    if (known == m_lengths.end())
        return {false, "Cannot open file: " + file.string()};

    openFile = file;
    m_length = known->second;
    m_mode = DeviceMode::Stopped;
    return {true, {}};
}

void FakeAudioDevice::Close()
{
    ++closes;
    m_mode = DeviceMode::NotOpen;
    openFile.clear();
    m_length = 0;
    m_position = 0;
}

void FakeAudioDevice::Play()
{
    // At the end there is nothing left to play; the device stays stopped there.
    if ((m_mode == DeviceMode::Stopped || m_mode == DeviceMode::Paused) && m_position < m_length)
        m_mode = DeviceMode::Playing;
}

bool FakeAudioDevice::Pause()
{
    if (m_mode == DeviceMode::NotOpen)
        return false;
    if (m_mode == DeviceMode::Playing)
        m_mode = DeviceMode::Paused;
    else if (m_mode == DeviceMode::Paused)
        Play();
    return true;
}

void FakeAudioDevice::Stop()
{
    if (m_mode == DeviceMode::Playing || m_mode == DeviceMode::Paused)
        m_mode = DeviceMode::Stopped;
}

void FakeAudioDevice::Seek(std::int64_t ms)
{
    if (m_mode == DeviceMode::NotOpen)
        return;
    m_position = std::clamp<std::int64_t>(ms, 0, m_length);
    m_mode = DeviceMode::Stopped;
}

DeviceMode FakeAudioDevice::Mode() const
{
    return m_mode;
}

std::int64_t FakeAudioDevice::LengthMs() const
{
    return m_length;
}

std::int64_t FakeAudioDevice::PositionMs() const
{
    return m_position;
}

} // namespace kalvotune::testing
