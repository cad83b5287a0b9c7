#include "templates/TemplateLoader.hpp"

#include "core/FileIO.hpp"
#include "core/Random.hpp"

#include <algorithm>

namespace kalvotune::templates {

namespace fs = std::filesystem;

namespace {

constexpr int kGeneratedTicksPerSecond{20};
constexpr int kGeneratedSpareTicks{50};
constexpr int kRedTurnEvery{50};
constexpr int kBlueChangeEvery{161};
constexpr std::uint8_t kGeneratedMarker{24};
// Track lengths beyond a day are taken as a day: a damaged or hostile file may report any
// length, and the channels must stay of a size memory can hold.
constexpr std::int64_t kLongestTrackSeconds{86'400};

// The channel length for the track that starts: `TrackSeconds` x 20 + 50, computed in 64
// bits over the clamped length. Generated channels get exactly this many ticks; a loaded
// template is read no further, as no playback position ever reaches past it.
std::size_t TicksForTrack(int trackSeconds)
{
    const std::int64_t seconds = std::clamp<std::int64_t>(trackSeconds, 0, kLongestTrackSeconds);
    return static_cast<std::size_t>(seconds * kGeneratedTicksPerSecond + kGeneratedSpareTicks);
}

// A channel file counts only as a regular file that stays inside `Data`: a link leading
// elsewhere (or to a device or a pipe) is treated as missing.
bool IsChannelFile(const fs::path& data, const fs::path& file)
{
    return IsFile(file) && IsWithin(data, file);
}

// Reads up to `length` bytes into `channel`; a shorter or unreadable file leaves zeros,
// so no tick of the channel ever holds stale bytes.
void ReadChannel(const fs::path& file, std::vector<std::uint8_t>& channel, std::size_t length)
{
    channel.assign(length, 0);
    if (auto bytes = ReadFileBytes(file, length))
        std::copy(bytes->begin(), bytes->end(), channel.begin());
}

void ReadTemplateChannels(const fs::path& folder, TemplateChannels& channels, std::size_t longest)
{
    // Blu.kvt alone decides the length; the other files are cut or zero-filled to it.
    channels.blue = ReadFileBytes(folder / kBlueFile, longest).value_or(Bytes{});
    const std::size_t length = channels.blue.size();
    ReadChannel(folder / kRedFile, channels.red, length);
    ReadChannel(folder / kGreenFile, channels.green, length);
    ReadChannel(folder / kSpeedFile, channels.speed, length);
}

} // namespace

fs::path TemplateFolderOf(const fs::path& programDir, const std::string& templateName)
{
    // A NUL would cut the name short in the file system ("..\0x" is "..").
    if (!IsPlainFolderName(templateName) || templateName.find('\0') != std::string::npos)
        return {};
    // A link in `Data` may lead anywhere; the template's files stay inside `Data`.
    const fs::path data = programDir / "Data";
    fs::path folder = data / templateName;
    if (!IsWithin(data, folder))
        return {};
    return folder;
}

void FillRandomColour(TemplateChannels& channels, Random& random, int channel)
{
    auto& bytes = channel == 1 ? channels.blue : channel == 2 ? channels.green : channels.red;
    for (auto& value : bytes) {
        const int v = random.Next() % 255;
        value = static_cast<std::uint8_t>(v & ~1);
    }
}

TemplateChannels GeneratedChannels(int ticks, int pictureChangeTicks, Random& random)
{
    TemplateChannels channels;
    channels.Reset(ticks);
    const int length = channels.Length();
    random.SeedFromClock();
    FillRandomColour(channels, random, 1);
    FillRandomColour(channels, random, 2);
    FillRandomColour(channels, random, 3);
    for (int i = 0; i < length; ++i) {
        const auto at = static_cast<std::size_t>(i);
        if (i % kRedTurnEvery == 0)
            ++channels.red[at];
        if (i % kBlueChangeEvery == 0)
            ++channels.blue[at];
    }
    random.SeedFromClock();
    // The bar's own range is 4..80; a zero period from a bad setting must not divide.
    const int period = std::max(pictureChangeTicks, 1);
    for (int i = 0; i < length; ++i) {
        const auto at = static_cast<std::size_t>(i);
        channels.speed[at] = static_cast<std::uint8_t>(random.Next() % 8);
        if (i % period == 0)
            channels.speed[at] = kGeneratedMarker;
    }
    return channels;
}

TrackTemplate LoadTrackTemplate(const fs::path& programDir, const std::string& templateName, int trackSeconds,
    int pictureChangeTicks, Random& random)
{
    TrackTemplate loaded;
    TemplateChannels& channels = loaded.channels;
    const fs::path data = programDir / "Data";
    loaded.dir = TemplateFolderOf(programDir, templateName);
    std::error_code error;
    const bool folderExists = !loaded.dir.empty() && fs::is_directory(loaded.dir, error);
    const fs::path folder = folderExists ? loaded.dir : data;

    const bool full = IsChannelFile(data, folder / kBlueFile) && IsChannelFile(data, folder / kRedFile)
        && IsChannelFile(data, folder / kGreenFile) && IsChannelFile(data, folder / kSpeedFile);
    if (full) {
        loaded.state = TemplateState::Full;
        ReadTemplateChannels(folder, channels, TicksForTrack(trackSeconds));
        return loaded;
    }

    if (IsChannelFile(data, folder / kSpeedFile)) {
        loaded.state = TemplateState::StillPicture;
        channels = GeneratedChannels(static_cast<int>(TicksForTrack(trackSeconds)), 1, random);
        ReadChannel(folder / kSpeedFile, channels.speed, static_cast<std::size_t>(channels.Length()));
        return loaded;
    }
    loaded.state = TemplateState::None;
    channels = GeneratedChannels(static_cast<int>(TicksForTrack(trackSeconds)), pictureChangeTicks, random);
    return loaded;
}

} // namespace kalvotune::templates
