#pragma once

#include "playback/Player.hpp"
#include "playlists/ListFile.hpp"
#include "playlists/ListLine.hpp"
#include "playlists/Lists.hpp"
#include "service/TrackService.hpp"
#include "support/FakeServices.hpp"
#include "support/FormTrackWindow.hpp"
#include "support/TempDir.hpp"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <fstream>
#include <functional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace kalvotune::service {

/// The real file operations, except that chosen ones fail as a busy or protected file
/// would, links may be made to cross file systems, and a test may look at the disk at
/// the moment a file is about to be deleted.
class FakeTrackFiles : public SystemTrackFiles {
public:
    std::error_code Link(const std::filesystem::path& from, const std::filesystem::path& to) override
    {
        if (otherFileSystem)
            return std::make_error_code(std::errc::cross_device_link);
        return SystemTrackFiles::Link(from, to);
    }
    std::error_code Rename(const std::filesystem::path& from, const std::filesystem::path& to) override
    {
        if (busy.contains(from))
            return std::make_error_code(std::errc::device_or_resource_busy);
        return SystemTrackFiles::Rename(from, to);
    }
    std::error_code Remove(const std::filesystem::path& file) override
    {
        if (beforeRemove)
            beforeRemove(file);
        if (busy.contains(file))
            return std::make_error_code(std::errc::permission_denied);
        return SystemTrackFiles::Remove(file);
    }

    std::set<std::filesystem::path> busy;
    bool otherFileSystem{};
    std::function<void(const std::filesystem::path&)> beforeRemove;
};

using Lines = std::vector<std::string>;

/// A program folder with `Lists` (the index naming the registry, the default list and a
/// user list), `Data` and a music folder; the player and the service act on one window model.
class ServiceTest : public ::testing::Test, public testing::FakeServices {
protected:
    ServiceTest()
    {
        namespace fs = std::filesystem;
        form.ProgramDir = dir.Path();
        for (const fs::path& folder : {ListsDir(), DataDir(), Music(), Elsewhere()})
            fs::create_directories(folder);
        Put("MyLists", {"Kalvotune", "Калейдоскоп", "Мой"});
        Put("Kalvotune", {});
        Put("Калейдоскоп", {});
        Put("Мой", {});
        form.CurrentListName = "Мой";
        form.CurrentListBox.sorted = false;
    }

    std::filesystem::path ListsDir() const { return dir.Path() / "Lists"; }
    std::filesystem::path DataDir() const { return dir.Path() / "Data"; }
    std::filesystem::path Music() const { return dir.Path() / "music"; }
    std::filesystem::path Elsewhere() const { return dir.Path() / "elsewhere"; }

    void Put(const std::string& name, const Lines& lines)
    {
        ASSERT_TRUE(playlists::WriteListFile(ListsDir() / name, lines).ok);
    }
    Lines Read(const std::string& name) const
    {
        return playlists::ReadListFile(ListsDir() / name).value_or(Lines{"<missing>"});
    }
    /// The file's identity: a list written back gets a new one, an untouched list keeps it.
    ino_t Inode(const std::string& name) const
    {
        struct stat st { };
        ::stat((ListsDir() / name).c_str(), &st);
        return st.st_ino;
    }
    static std::string Line(const std::filesystem::path& path, const std::string& field = "0")
    {
        return "*" + path.string() + "*" + field + "*";
    }
    static std::string Content(const std::filesystem::path& file)
    {
        std::ifstream in{file};
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    /// A music file with its own content, known to the fake device.
    std::filesystem::path Track(const std::string& name, const std::filesystem::path& folder = {})
    {
        const std::filesystem::path path = (folder.empty() ? Music() : folder) / name;
        std::ofstream{path} << "audio of " << name;
        device.AddFile(path, 60'000);
        return path;
    }
    /// A template folder in `Data` with one channel file.
    void TemplateFolder(const std::string& name)
    {
        std::filesystem::create_directory(DataDir() / name);
        std::ofstream{DataDir() / name / "Speed.kvt"} << "speed";
    }
    /// Puts the tracks into the current list, selected or not.
    void Show(const std::vector<std::filesystem::path>& tracks, bool selected = false)
    {
        for (const auto& track : tracks) {
            const int index = form.CurrentListBox.Add(playlists::MakeListItem(Line(track)));
            form.CurrentListBox.SetSelected(index, selected);
        }
    }
    Lines Paths() const
    {
        Lines paths;
        for (const std::string& item : form.CurrentListBox.Items())
            paths.push_back(playlists::LinePath(item));
        return paths;
    }

    testing::TempDir dir;
    Form form;
    playlists::Lists lists{form, services};
    FakeTrackFiles files;
    TrackService service{testing::FormTrackWindow(form, services), form.ProgramDir, services, lists, files};
};

} // namespace kalvotune::service
