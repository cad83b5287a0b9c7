#include "templates/TemplateFolders.hpp"

#include "support/Fakes.hpp"
#include "support/TempDir.hpp"

#include <gtest/gtest.h>

#include <fstream>

namespace kalvotune::templates {
namespace {

namespace fs = std::filesystem;

void Write(const fs::path& file, const std::string& text)
{
    std::ofstream{file} << text;
}

std::string Read(const fs::path& file)
{
    std::ifstream in{file};
    return {std::istreambuf_iterator<char>{in}, {}};
}

class TemplateFoldersTest : public ::testing::Test {
protected:
    testing::TempDir dir;
    const fs::path data{dir.Path() / "Data"};

    void SetUp() override { fs::create_directory(data); }
    testing::FakeClock clock;
    Random random{clock};
};

TEST_F(TemplateFoldersTest, MovesOnlyTheChannelFilesIntoANumberedFolder)
{
    fs::create_directories(data / "Вальс" / "sub");
    for (const char* file : {"Blu.kvt", "Green.kvt", "Red.kvt", "Speed.kvt", "readme.txt"})
        Write(data / "Вальс" / file, file);

    const TemplateFolderResult made = MakeTemplateFolder(data, "Вальс", random);
    const std::string name = made.name;
    const std::string number = name.substr(std::string{"Вальс"}.size());
    ASSERT_TRUE(name.starts_with("Вальс") && !number.empty());
    EXPECT_EQ(number.find_first_not_of("0123456789"), std::string::npos);
    EXPECT_TRUE(number == "0" || number.front() != '0');
    // The old folder stays until the caller has registered the new one, then goes whole.
    EXPECT_EQ(made.replaced, "Вальс");
    EXPECT_TRUE(fs::exists(data / "Вальс" / "readme.txt"));
    RemoveReplacedFolder(data, made);
    EXPECT_FALSE(fs::exists(data / "Вальс"));
    for (const char* file : {"Blu.kvt", "Green.kvt", "Red.kvt", "Speed.kvt"})
        EXPECT_EQ(Read(data / name / file), file);
    EXPECT_FALSE(fs::exists(data / name / "readme.txt"));

    // Same clock second, same first draw: the next folder still gets a name of its own,
    // and a missing old folder gives an empty new one.
    const std::string next = MakeTemplateFolder(data, "Вальс", random).name;
    EXPECT_NE(next, name);
    EXPECT_TRUE(fs::is_empty(data / next));
}

TEST_F(TemplateFoldersTest, TitleThatIsNotAFolderNameTouchesNothing)
{
    fs::create_directory(data / "Data");
    Write(data / "keep.txt", "k");
    for (const std::string title : {"", ".", ".."})
        EXPECT_TRUE(fs::is_directory(data / "Data" / MakeTemplateFolder(data / "Data", title, random).name)) << title;
    EXPECT_EQ(Read(data / "keep.txt"), "k");
}

TEST_F(TemplateFoldersTest, DeleteFolderTreeClearsProtectionAndKeepsLinkTargets)
{
    fs::create_directories(data / "outside");
    Write(data / "outside" / "precious", "p");
    const fs::path tree = data / "tree";
    fs::create_directories(tree / "locked" / "deep");
    Write(tree / "locked" / "deep" / "f", "f");
    fs::create_directory_symlink(data / "outside", tree / "link");
    fs::permissions(tree / "locked", fs::perms::owner_read | fs::perms::owner_exec);

    DeleteFolderTree(tree);
    EXPECT_FALSE(fs::exists(tree));
    EXPECT_EQ(Read(data / "outside" / "precious"), "p");
    DeleteFolderTree({}); // silent, touches nothing
    EXPECT_TRUE(fs::exists(data / "outside"));
}

} // namespace
} // namespace kalvotune::templates
