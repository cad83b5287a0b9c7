#pragma once

#include <filesystem>
#include <system_error>

namespace kalvotune::service {

/// The file operations the track service performs on music files. They sit behind this
/// seam so that tests can make any of them fail as a busy or protected file would (the
/// tests run as root, which no permission stops). Every operation gives an empty error
/// code on success and never throws.
class TrackFiles {
public:
    virtual ~TrackFiles() = default;

    /// Gives the file `from` the second name `to` (a hard link): instant, and `to` is
    /// never replaced. Fails with `std::errc::cross_device_link` when the two names lie on
    /// different file systems, and with another error where the file system has no links.
    virtual std::error_code Link(const std::filesystem::path& from, const std::filesystem::path& to) = 0;
    /// Renames the file `from` to `to` in one step; an existing `to` is never replaced.
    virtual std::error_code Rename(const std::filesystem::path& from, const std::filesystem::path& to) = 0;
    /// Copies the file `from` to `to`. The copy is made beside `to` under a scratch name
    /// and only then takes the name `to`, so `to` is never left half-written. With
    /// `replace` an existing `to` is replaced; without it the copy fails. Copying a file
    /// onto itself always fails and leaves it intact.
    virtual std::error_code Copy(const std::filesystem::path& from, const std::filesystem::path& to, bool replace) = 0;
    /// Deletes the file `file` for good (no recycle bin), a read-only one too; never a folder.
    virtual std::error_code Remove(const std::filesystem::path& file) = 0;
};

/// The operations on the real file system.
class SystemTrackFiles : public TrackFiles {
public:
    std::error_code Link(const std::filesystem::path& from, const std::filesystem::path& to) override;
    std::error_code Rename(const std::filesystem::path& from, const std::filesystem::path& to) override;
    std::error_code Copy(const std::filesystem::path& from, const std::filesystem::path& to, bool replace) override;
    std::error_code Remove(const std::filesystem::path& file) override;
};

} // namespace kalvotune::service
