// The screenshots of the AppStream data, made at build time from the real window on Qt's
// offscreen platform: the player on a copy of the program folder plays a demo track with
// its template on a virtual clock, then the window and the picture at full-screen size
// are saved as PNG files.
//
//   kalvotune_screenshots <program folder> <output folder>
//       Writes window.png and fullscreen.png (1920 x 1080).

#include "app/AppFixture.hpp"
#include "app/UserDataDir.hpp"
#include "app/qt/MainWindow.hpp"
#include "app/qt/SurfaceView.hpp"
#include "playlists/CurrentList.hpp"

#include <QApplication>
#include <QPixmap>

#include <cstdio>
#include <filesystem>

namespace {

namespace fs = std::filesystem;
using namespace kalvotune;

constexpr const char* kTrack{"Sound/Carousel.wma"};
constexpr int kFullScreenWidth{1920};
constexpr int kFullScreenHeight{1080};

bool Save(const QPixmap& picture, const fs::path& file)
{
    if (picture.save(QString::fromStdString(file.string()), "PNG"))
        return true;
    std::fprintf(stderr, "cannot write %s\n", file.string().c_str());
    return false;
}

int Shoot(const fs::path& programDir, const fs::path& output)
{
    testing::AppFixture fixture;
    if (const WriteResult copied = app::CopyShippedFolder(programDir, fixture.Dir()); !copied.ok) {
        std::fprintf(stderr, "%s\n", copied.message.c_str());
        return 1;
    }
    std::error_code error;
    fs::remove(fixture.Dir() / "kalvotune", error);
    fs::remove(fixture.Dir() / "kalvotune-audio.so", error);
    const fs::path track = fixture.Dir() / kTrack;
    fixture.device.AddFile(track, 180'000);

    app::Kalvotune& player = fixture.Start();
    app::MainWindow window{player};
    window.Sync();
    window.show();
    player.currentList().OpenTracks({track});
    window.Sync();
    fixture.Advance(30'000);
    window.Sync();
    QApplication::processEvents();

    fs::create_directories(output, error);
    if (!Save(window.grab(), output / "window.png"))
        return 1;
    app::SurfaceView fullScreen{fixture.Window().surface, nullptr};
    fullScreen.resize(kFullScreenWidth, kFullScreenHeight);
    return Save(fullScreen.grab(), output / "fullscreen.png") ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s <program folder> <output folder>\n", argv[0]);
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application{argc, argv};
    return Shoot(argv[1], argv[2]);
}
