#include "templates/TemplateFolders.hpp"

#include "support/Fakes.hpp"
#include "support/TempDir.hpp"

#include <gtest/gtest.h>

#include <fstream>

namespace kalvotune::templates {
namespace {

namespace fs = std::filesystem;

class TemplateFoldersTest : public ::testing::Test {
protected:
    fs::path Data() const { return dir.Path(); }
    static void Write(const fs::path& file, const std::string& text) { std::ofstream{file} << text; }
    static std::string Read(const fs::path& file)
    {
        std::ifstream in{file};
        return {std::istreambuf_iterator<char>{in}, {}};
    }

    testing::TempDir dir;
    testing::FakeClock clock;
    Random random{clock};
};

TEST_F(TemplateFoldersTest, MovesTheFourChannelFilesIntoANumberedFolder)
{
    fs::create_directory(Data() / "Вальс");
    for (const char* file : {"Blu.kvt", "Green.kvt", "Red.kvt", "Speed.kvt", "readme.txt"})
        Write(Data() / "Вальс" / file, file);
    fs::create_directory(Data() / "Вальс" / "sub");

    const std::string name = MakeTemplateFolder(Data(), "Вальс", random);
    ASSERT_TRUE(name.starts_with("Вальс"));
    const std::string number = name.substr(std::string{"Вальс"}.size());
    ASSERT_FALSE(number.empty());
    EXPECT_EQ(number.find_first_not_of("0123456789"), std::string::npos);
    EXPECT_TRUE(number == "0" || number.front() != '0');

    EXPECT_FALSE(fs::exists(Data() / "Вальс"));
    for (const char* file : {"Blu.kvt", "Green.kvt", "Red.kvt", "Speed.kvt"})
        EXPECT_EQ(Read(Data() / name / file), file);
    EXPECT_FALSE(fs::exists(Data() / name / "readme.txt"));
}

TEST_F(TemplateFoldersTest, NameIsUniqueWithinOneSecond)
{
    // Same seed, same first draw: the second folder must still get a new name.
    fs::create_directory(Data() / "a");
    const std::string first = MakeTemplateFolder(Data(), "a", random);
    fs::create_directory(Data() / "a");
    const std::string second = MakeTemplateFolder(Data(), "a", random);
    EXPECT_NE(first, second);
    EXPECT_TRUE(fs::is_directory(Data() / first));
    EXPECT_TRUE(fs::is_directory(Data() / second));
}

TEST_F(TemplateFoldersTest, PartialOrMissingTemplateGivesWhatThereIs)
{
    fs::create_directory(Data() / "s");
    Write(Data() / "s" / "Speed.kvt", "sp");
    const std::string name = MakeTemplateFolder(Data(), "s", random);
    EXPECT_EQ(Read(Data() / name / "Speed.kvt"), "sp");
    EXPECT_FALSE(fs::exists(Data() / name / "Blu.kvt"));

    const std::string fresh = MakeTemplateFolder(Data(), "none", random);
    EXPECT_TRUE(fs::is_empty(Data() / fresh));
}

TEST_F(TemplateFoldersTest, TitleThatIsNotAFolderNameTouchesNothing)
{
    const fs::path data = Data() / "Data";
    fs::create_directory(data);
    Write(Data() / "keep.txt", "k");
    for (const std::string title : {"", ".", ".."}) {
        const std::string name = MakeTemplateFolder(data, title, random);
        EXPECT_TRUE(fs::is_directory(data / name)) << title;
    }
    EXPECT_EQ(Read(Data() / "keep.txt"), "k");
    EXPECT_FALSE(IsPlainFolderName("a/b"));
    EXPECT_TRUE(IsPlainFolderName("..."));
}

TEST_F(TemplateFoldersTest, DeleteFolderTreeClearsProtectionAndKeepsLinkTargets)
{
    const fs::path outside = Data() / "outside";
    fs::create_directories(outside);
    Write(outside / "precious", "p");

    const fs::path tree = Data() / "tree";
    fs::create_directories(tree / "locked" / "deep");
    Write(tree / "locked" / "deep" / "f", "f");
    Write(tree / ".hidden", "h");
    fs::create_directory_symlink(outside, tree / "link");
    fs::permissions(tree / "locked" / "deep" / "f", fs::perms::owner_read);
    fs::permissions(tree / "locked", fs::perms::owner_read | fs::perms::owner_exec);

    DeleteFolderTree(tree);
    EXPECT_FALSE(fs::exists(tree));
    EXPECT_EQ(Read(outside / "precious"), "p");

    DeleteFolderTree(Data() / "missing"); // silent
    DeleteFolderTree({});
    EXPECT_TRUE(fs::exists(outside));
}

} // namespace
} // namespace kalvotune::templates
