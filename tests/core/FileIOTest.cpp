#include "core/FileIO.hpp"
#include "core/Surface.hpp"
#include "core/SurfaceFile.hpp"
#include "support/TempDir.hpp"
#include "support/WriteFaults.hpp"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace kalvotune {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;

std::size_t FilesIn(const fs::path& dir)
{
    return static_cast<std::size_t>(std::distance(fs::directory_iterator{dir}, fs::directory_iterator{}));
}

TEST(AtomicWrite, ReplacesWholeFileAndLeavesNoTemporaryBehind)
{
    TempDir dir;
    const fs::path file = dir.Path() / "list";
    ASSERT_TRUE(WriteFileAtomically(file, std::string_view{"first version, long"}).ok);
    ASSERT_TRUE(WriteFileAtomically(file, std::string_view{"second"}).ok);
    const auto bytes = ReadFileBytes(file);
    ASSERT_TRUE(bytes);
    EXPECT_EQ(std::string(bytes->begin(), bytes->end()), "second");
    EXPECT_EQ(FilesIn(dir.Path()), 1u);
}

TEST(AtomicWrite, StreamShowsUnderItsNameOnlyOnceCommitted)
{
    TempDir dir;
    const fs::path target = dir.Path() / "film.mp4";
    ASSERT_TRUE(WriteFileAtomically(target, std::string_view{"old"}).ok);
    const auto write = [](AtomicFileStream& stream) {
        ASSERT_TRUE(stream.Open());
        EXPECT_TRUE(stream.Write("headXXXX", 8));
        EXPECT_EQ(stream.Seek(4, SEEK_SET), 4);
        EXPECT_TRUE(stream.Write("tail", 4));
    };
    {
        AtomicFileStream stream{target};
        write(stream);
        EXPECT_EQ(ReadFileBytes(target), Bytes({'o', 'l', 'd'}));
    } // dropped uncommitted: the old file stays, the temporary goes
    EXPECT_EQ(ReadFileBytes(target), Bytes({'o', 'l', 'd'}));
    EXPECT_EQ(FilesIn(dir.Path()), 1u);

    AtomicFileStream stream{target};
    write(stream);
    EXPECT_TRUE(stream.Commit().ok);
    EXPECT_EQ(ReadFileBytes(target), Bytes({'h', 'e', 'a', 'd', 't', 'a', 'i', 'l'}));

    // A full disk half-way: the write says so, and committing keeps the old file.
    FailNextWriteAfter(5);
    AtomicFileStream full{target};
    ASSERT_TRUE(full.Open());
    EXPECT_TRUE(full.Write("abc", 3));
    EXPECT_FALSE(full.Write("defg", 4));
    EXPECT_FALSE(full.Write("h", 1));
    EXPECT_NE(full.Result().message.find("Не удалось записать файл " + target.string()), std::string::npos);
    EXPECT_FALSE(full.Commit().ok);
    EXPECT_EQ(ReadFileBytes(target), Bytes({'h', 'e', 'a', 'd', 't', 'a', 'i', 'l'}));
    EXPECT_EQ(FilesIn(dir.Path()), 1u);

    AtomicFileStream nowhere{dir.Path() / "gone" / "film.mp4"};
    EXPECT_FALSE(nowhere.Open());
    EXPECT_FALSE(nowhere.Result().ok);
}

TEST(CheckedRead, TellsMissingFromUnreadableFromRead)
{
    TempDir dir;
    const fs::path file = dir.Path() / "Kalvotune";
    EXPECT_EQ(ReadFileChecked(file).status, ReadResult::Status::Missing);
    EXPECT_EQ(ReadFileChecked(dir.Path()).status, ReadResult::Status::Missing);

    ASSERT_TRUE(WriteFileAtomically(file, std::string_view{"*a*0*\r\n"}).ok);
    const ReadResult read = ReadFileChecked(file, 3);
    EXPECT_TRUE(read.ok());
    EXPECT_EQ(std::string(read.bytes.begin(), read.bytes.end()), "*a*");

    FailReadsOf(file);
    const ReadResult failed = ReadFileChecked(file);
    const std::optional<Bytes> readerDuringFailure = ReadFileBytes(file);
    FailReadsOf(std::nullopt);
    EXPECT_EQ(failed.status, ReadResult::Status::Failed);
    EXPECT_TRUE(failed.bytes.empty());
    EXPECT_NE(failed.message.find(file.string()), std::string::npos);
    // The plain reader passes the failure on: an unreadable file is never an empty one.
    EXPECT_FALSE(readerDuringFailure.has_value());
    EXPECT_EQ(ReadFileBytes(file), (Bytes{'*', 'a', '*', '0', '*', '\r', '\n'}));
}

TEST(AtomicWrite, FilesTogetherReplaceAllOrNoneAndKeepTheFoldersOtherEntries)
{
    TempDir dir;
    const fs::path folder = dir.Path() / "Вальс48213";
    fs::create_directories(folder / "sub");
    fs::create_directories(dir.Path() / "elsewhere");
    ASSERT_TRUE(WriteFileAtomically(folder / "sub" / "note", std::string_view{"sub"}).ok);
    fs::create_directory_symlink(dir.Path() / "elsewhere", folder / "link");
    ASSERT_TRUE(WriteFileAtomically(folder / "Blu.kvt", std::string_view{"old blue"}).ok);
    ASSERT_TRUE(WriteFileAtomically(folder / "Speed.kvt", std::string_view{"old speed"}).ok);
    ASSERT_TRUE(WriteFileAtomically(folder / "readme", std::string_view{"kept"}).ok);
    const auto text = [](const fs::path& file) {
        const std::optional<Bytes> bytes = ReadFileBytes(file);
        return bytes ? std::string(bytes->begin(), bytes->end()) : std::string{"<missing>"};
    };

    // The second file runs out of space: neither is replaced, nothing is left behind.
    FailWritesOf(folder / "Speed.kvt");
    WriteResult result = WriteFilesTogether({{folder / "Blu.kvt", "new blue"}, {folder / "Speed.kvt", "new speed"}});
    FailWritesOf(std::nullopt);
    EXPECT_FALSE(result.ok);
    EXPECT_NE(result.message.find("Speed.kvt"), std::string::npos);
    EXPECT_EQ(text(folder / "Blu.kvt"), "old blue");
    EXPECT_EQ(text(folder / "Speed.kvt"), "old speed");
    EXPECT_EQ(FilesIn(dir.Path()), 2u);

    result = WriteFilesTogether(
        {{folder / "Blu.kvt", "new blue"}, {folder / "Speed.kvt", "new speed"}, {folder / "Red.kvt", "red"}});
    EXPECT_TRUE(result.ok) << result.message;
    EXPECT_EQ(text(folder / "Blu.kvt"), "new blue");
    EXPECT_EQ(text(folder / "Speed.kvt"), "new speed");
    EXPECT_EQ(text(folder / "Red.kvt"), "red");
    EXPECT_EQ(text(folder / "readme"), "kept");
    EXPECT_EQ(text(folder / "sub" / "note"), "sub");
    EXPECT_TRUE(fs::is_symlink(folder / "link")) << "a link to a folder stays a link";
    EXPECT_EQ(FilesIn(folder), 6u);
    EXPECT_EQ(FilesIn(dir.Path()), 2u); // the replaced folder is gone

    // A file system without the exchange of names: every new file is renamed into place.
    WithoutRenameExchange(true);
    result = WriteFilesTogether(
        {{folder / "Blu.kvt", "blue 3"}, {folder / "Speed.kvt", "speed 3"}, {folder / "Red.kvt", "red 3"}});
    WithoutRenameExchange(false);
    EXPECT_TRUE(result.ok) << result.message;
    EXPECT_EQ(text(folder / "Blu.kvt") + text(folder / "Speed.kvt") + text(folder / "Red.kvt"), "blue 3speed 3red 3");
    EXPECT_EQ(text(folder / "readme"), "kept");
    EXPECT_TRUE(fs::is_symlink(folder / "link"));
    EXPECT_EQ(FilesIn(folder), 6u);
    EXPECT_EQ(FilesIn(dir.Path()), 2u);

    // Files of two folders are no group.
    EXPECT_FALSE(WriteFilesTogether({{folder / "Blu.kvt", "x"}, {dir.Path() / "Blu.kvt", "x"}}).ok);
    EXPECT_EQ(text(folder / "Blu.kvt"), "blue 3");
}

TEST(AtomicWrite, FailureMidWayKeepsTheOldContentAndSaysSo)
{
    TempDir dir;
    const fs::path file = dir.Path() / "MyLists";
    ASSERT_TRUE(WriteFileAtomically(file, std::string_view{"Kalvotune\r\n"}).ok);
    FailNextWriteAfter(3);
    const WriteResult result = WriteFileAtomically(file, std::string_view{"something much longer\r\n"});
    EXPECT_FALSE(result.ok);
    EXPECT_NE(result.message.find("MyLists"), std::string::npos);
    const auto bytes = ReadFileBytes(file);
    ASSERT_TRUE(bytes);
    EXPECT_EQ(std::string(bytes->begin(), bytes->end()), "Kalvotune\r\n");
    EXPECT_EQ(FilesIn(dir.Path()), 1u);
    // The injected failure is used up.
    EXPECT_TRUE(WriteFileAtomically(file, std::string_view{"x"}).ok);
}

TEST(AtomicWrite, MissingFolderIsReportedNotPassedOverAsSuccess)
{
    TempDir dir;
    EXPECT_FALSE(WriteFileAtomically(dir.Path() / "no-such-folder" / "x", std::string_view{"x"}).ok);
}

TEST(AtomicWrite, SeveralFilesAtOnceEachReplacedWholeOrKeptWhenItFails)
{
    TempDir dir;
    std::vector<FileWrite> writes;
    std::vector<std::string> texts;
    for (int i = 0; i < 12; ++i)
        texts.push_back("list " + std::to_string(i));
    for (int i = 0; i < 12; ++i)
        writes.push_back({dir.Path() / std::to_string(i), texts[static_cast<std::size_t>(i)]});
    ASSERT_TRUE(WriteFileAtomically(dir.Path() / "0", std::string_view{"old"}).ok);
    writes.push_back({dir.Path() / "no-such-folder" / "x", "x"});

    FailNextWriteAfter(1);
    const std::vector<WriteResult> results = WriteFilesAtomically(writes);
    ASSERT_EQ(results.size(), 13u);
    EXPECT_FALSE(results[0].ok); // the injected failure hits the first file only
    const auto first = ReadFileBytes(dir.Path() / "0");
    EXPECT_EQ(std::string(first->begin(), first->end()), "old");
    for (std::size_t i = 1; i < 12; ++i) {
        EXPECT_TRUE(results[i].ok) << i;
        const auto bytes = ReadFileBytes(writes[i].target);
        EXPECT_EQ(std::string(bytes->begin(), bytes->end()), texts[i]);
    }
    EXPECT_FALSE(results[12].ok);
    EXPECT_EQ(FilesIn(dir.Path()), 12u); // no temporary left behind
}

TEST(ReadFile, FolderCountsAsMissingLimitCutsTheReadAndAPlaceTakesItsLengthOnly)
{
    TempDir dir;
    EXPECT_FALSE(ReadFileBytes(dir.Path()));
    EXPECT_FALSE(IsFile(dir.Path()));
    WriteFileAtomically(dir.Path() / "f", std::string_view{"abcdef"});
    EXPECT_EQ(ReadFileBytes(dir.Path() / "f", 4)->size(), 4u);
    // A file read into place must have the place's length exactly.
    std::array<std::uint8_t, 6> six{};
    EXPECT_TRUE(ReadFileInto(dir.Path() / "f", six).ok());
    std::array<std::uint8_t, 4> four{};
    EXPECT_FALSE(ReadFileInto(dir.Path() / "f", four).ok()) << "a longer file";
    std::array<std::uint8_t, 8> eight{};
    EXPECT_FALSE(ReadFileInto(dir.Path() / "f", eight).ok()) << "a shorter file";
}

TEST(FolderLock, KeepsEveryOtherReaderAndWriterWaitingUntilItIsReleased)
{
    const TempDir dir;
    const auto othersMayLock = [&](int kind) {
        const int fd{::open(dir.Path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
        const bool locked{::flock(fd, kind | LOCK_NB) == 0};
        ::close(fd);
        return locked;
    };
    {
        const FolderLock lock{dir.Path()};
        EXPECT_FALSE(othersMayLock(LOCK_EX));
        // A shared lock would let this one in: the lock is exclusive.
        EXPECT_FALSE(othersMayLock(LOCK_SH));
    }
    EXPECT_TRUE(othersMayLock(LOCK_EX));
    const FolderLock nowhere{dir.Path() / "missing"}; // not locked, and no harm done
}

TEST(SurfaceBitmap, RoundTripsAndRejectsOtherGeometry)
{
    TempDir dir;
    Surface surface;
    for (int y = 0; y < Surface::kHeight; ++y)
        for (int x = 0; x < Surface::kRowBytes; ++x)
            surface.Row(y)[x] = static_cast<std::uint8_t>(x * 7 + y);
    const fs::path file = dir.Path() / "ScreenShot.BMP";
    ASSERT_TRUE(SaveSurfaceBmp(file, surface).ok);
    EXPECT_EQ(fs::file_size(file), 54u + 2028u * 524u);

    Surface loaded;
    ASSERT_TRUE(LoadSurfaceBmp(file, loaded));
    for (int y = 0; y < Surface::kHeight; ++y)
        ASSERT_TRUE(std::equal(surface.Row(y), surface.Row(y) + Surface::kRowBytes, loaded.Row(y))) << y;

    // Pixels said to start inside the headers (a fuzzer's find): refused, though the file
    // is long enough for them.
    Bytes inside = EncodeSurfaceBmp(surface);
    inside[10] = 16;
    inside.pop_back();
    WriteFileAtomically(file, inside);
    Surface refused;
    EXPECT_FALSE(LoadSurfaceBmp(file, refused));

    Bytes other = EncodeSurfaceBmp(surface);
    other[18] = 100; // another width
    WriteFileAtomically(file, other);
    Surface untouched;
    EXPECT_FALSE(LoadSurfaceBmp(file, untouched));
    EXPECT_EQ(untouched.revision, 0u);
    EXPECT_FALSE(LoadSurfaceBmp(dir.Path() / "missing.bmp", untouched));
}

} // namespace
} // namespace kalvotune
