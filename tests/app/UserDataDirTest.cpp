#include "app/UserDataDir.hpp"

#include "core/FileIO.hpp"
#include "support/TempDir.hpp"
#include "support/WriteFaults.hpp"

#include <gtest/gtest.h>

namespace kalvotune::app {
namespace {

namespace fs = std::filesystem;

std::string Text(const fs::path& file)
{
    const auto bytes = ReadFileBytes(file);
    return bytes ? std::string{BytesView(*bytes)} : "<missing>";
}

class UserDataDir : public ::testing::Test {
protected:
    UserDataDir()
    {
        for (const char* file : {"share/kalvotune/MassP1.kvt", "share/kalvotune/SetGet.kvt",
                 "share/kalvotune/Lists/MyLists", "share/kalvotune/Sound/a.mp3"})
            Put(file, "shipped");
        fs::create_directories(root / "share/kalvotune/Data/empty");
        fs::create_directories(root / "bin");
        fs::create_directories(root / "start");
    }
    ~UserDataDir() override { FailNextWriteAfter(std::nullopt); }
    void Put(const fs::path& relative, std::string_view text)
    {
        fs::create_directories((root / relative).parent_path());
        ASSERT_TRUE(WriteFileAtomically(root / relative, text).ok);
    }
    ProgramDirChoice Choose(bool exeWritable = true)
    {
        return ChooseProgramDir(
            root / "start", root / "bin", user, [exeWritable](const fs::path&) { return exeWritable; });
    }

    testing::TempDir dir;
    fs::path root{dir.Path()};
    fs::path user{dir.Path() / "home/.local/share/Kalvotune"};
};

TEST(UserProgramDir, FollowsXdgDataHomeThenHome)
{
    EXPECT_EQ(UserProgramDir("/x/data", "/home/u"), fs::path{"/x/data/Kalvotune"});
    EXPECT_EQ(UserProgramDir("", "/home/u"), fs::path{"/home/u/.local/share/Kalvotune"});
    EXPECT_EQ(UserProgramDir("relative", "/home/u"), fs::path{"/home/u/.local/share/Kalvotune"});
    EXPECT_EQ(UserProgramDir(nullptr, nullptr), fs::path{});
}

TEST_F(UserDataDir, InstalledPlayerCopiesTheShippedFolderOnceAndKeepsWhatTheUserHas)
{
    // The start folder with tables wins; an installed bin/ without tables goes to the user.
    Put("start/MassP1.kvt", "start");
    EXPECT_EQ(Choose().dir, root / "start");
    fs::remove(root / "start/MassP1.kvt");

    const ProgramDirChoice chosen = Choose();
    ASSERT_TRUE(chosen.prepared.ok) << chosen.prepared.message;
    EXPECT_EQ(chosen.dir, user);
    EXPECT_EQ(Text(user / "Sound/a.mp3"), "shipped");
    EXPECT_TRUE(fs::is_directory(user / "Data/empty"));

    // Later starts copy nothing: the user's changes and deletions stay.
    Put("home/.local/share/Kalvotune/Lists/MyLists", "mine");
    fs::remove(user / "Sound/a.mp3");
    EXPECT_EQ(Choose().dir, user);
    EXPECT_EQ(Text(user / "Lists/MyLists"), "mine");
    EXPECT_FALSE(fs::exists(user / "Sound/a.mp3"));
}

TEST_F(UserDataDir, InterruptedCopyIsTakenUpAgainWithoutOverwriting)
{
    Put("home/.local/share/Kalvotune/SetGet.kvt", "mine");
    FailNextWriteAfter(0);
    const ProgramDirChoice failed = Choose();
    EXPECT_FALSE(failed.prepared.ok);
    EXPECT_EQ(failed.dir, root / "share/kalvotune"); // runs on the shipped folder meanwhile
    EXPECT_FALSE(IsFile(user / "MassP1.kvt"));

    const ProgramDirChoice again = Choose();
    ASSERT_TRUE(again.prepared.ok);
    EXPECT_EQ(again.dir, user);
    EXPECT_EQ(Text(user / "SetGet.kvt"), "mine");
    EXPECT_EQ(Text(user / "MassP1.kvt"), "shipped");
}

TEST_F(UserDataDir, ExecutableFolderWithTablesIsUsedOnlyWhileWritable)
{
    Put("bin/MassP1.kvt", "beside");
    EXPECT_EQ(Choose(true).dir, root / "bin");
    EXPECT_EQ(Choose(false).dir, user);
    EXPECT_EQ(Text(user / "MassP1.kvt"), "beside");
}

} // namespace
} // namespace kalvotune::app
