#pragma once

#include "core/FileIO.hpp"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace kalvotune {

/// The options file beside `SetGet.kvt`: UTF-8 text, one `key=value` line per option.
/// `SetGet.kvt` keeps its fixed 100 words; options added since live here.
inline constexpr const char* kOptionsFileName{"Options.kvt"};

inline constexpr int kMinPictureDelayMs{-1000};
inline constexpr int kMaxPictureDelayMs{1000};

/// Every option with its default.
struct Options {
    /// How much later than the reported play position the picture follows the sound.
    int pictureDelayMs{0};
    /// 1: a track without a template that starts playing gets one made from its music.
    int autoMusicTemplates{0};
    /// The sound server's name of the source "Слушать звук компьютера" listens to; empty
    /// for the monitor of the default output.
    std::string soundSource;
};

/// Reads the options file. A missing file, an unknown key, or a value that is not a whole
/// number in its option's range leaves that option at its default.
Options ReadOptions(const std::filesystem::path& file);

/// Writes every option atomically. Lines of keys this version does not know are kept, so
/// a file written by a later version loses nothing.
WriteResult WriteOptions(const std::filesystem::path& file, const Options& options);

/// A whole number of milliseconds in -1000..1000, blanks around it allowed; empty otherwise.
std::optional<int> ParsePictureDelay(std::string_view text);

} // namespace kalvotune
