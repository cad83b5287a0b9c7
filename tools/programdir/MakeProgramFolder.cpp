// Lays out the program folder the player runs on: the settings file with the window's
// initial states, the index of the user's lists, an empty template registry, and the
// folders the other generators fill (music, templates, start picture, sounds).
// Usage: kalvotune_make_program_folder <program folder>

#include "core/SavedSettings.hpp"
#include "playlists/ListFile.hpp"

#include <cstdio>
#include <filesystem>

int main(int argc, char* argv[])
{
    using namespace kalvotune;
    namespace fs = std::filesystem;
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <program folder>\n", argv[0]);
        return 2;
    }
    const fs::path dir{argv[1]};
    for (const char* folder : {"Lists", "Sound", "Data", "ScreenShot", "jokes"})
        fs::create_directories(dir / folder);

    const WriteResult results[] = {
        WriteSettings(dir / kSettingsFileName, SavedSettings{}),
        playlists::WriteListFile(dir / "Lists" / "MyLists", {"Kalvotune", "Калейдоскоп"}),
        playlists::WriteListFile(dir / "Lists" / "Kalvotune", {}),
    };
    for (const WriteResult& result : results) {
        if (!result.ok) {
            std::fprintf(stderr, "%s\n", result.message.c_str());
            return 1;
        }
    }
    return 0;
}
