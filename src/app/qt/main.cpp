#include "app/Kalvotune.hpp"
#include "app/ProgramDir.hpp"
#include "app/qt/MainWindow.hpp"
#include "app/qt/QtServices.hpp"
#include "core/Random.hpp"
#include "playback/DeferredAudio.hpp"

#include <QApplication>
#include <QMessageBox>
#include <QMetaObject>

#include <clocale>
#include <exception>

int main(int argc, char* argv[])
{
    using namespace kalvotune;
    QApplication application{argc, argv};
    QApplication::setApplicationName(QString::fromUtf8(kApplicationTitle));
    // libmpv parses numbers in the C locale; Qt has just set the user's.
    std::setlocale(LC_NUMERIC, "C");

    try {
        const std::filesystem::path programDir = app::ResolveProgramDir(
            std::filesystem::current_path(), QCoreApplication::applicationDirPath().toStdString());
        app::QtDialogs dialogs;
        app::SystemClock clock;
        Random random{clock};
        app::QtScreen screen;
        app::DBusUserActivity activity;
        playback::DeferredAudio audio{
            std::filesystem::path{QCoreApplication::applicationDirPath().toStdString()} / playback::kAudioModuleFile};
        Services services{dialogs, clock, random, audio.Device(), screen, audio.Sounds(), activity};

        app::Kalvotune player{programDir, services};
        app::MainWindow window{player};
        dialogs.SetParent(&window);
        audio.SetWakeupHandler([&window, &audio] {
            QMetaObject::invokeMethod(
                &window, [&audio] { audio.DrainEvents(); }, Qt::QueuedConnection);
        });
        window.Sync();
        player.HandleEvent([&player] { player.FormCreate(); });
        window.Sync();
        window.show();
        // The sound libraries load while the window draws itself; a track cannot be
        // chosen and started faster than that.
        audio.StartLoading();
        const int status = QApplication::exec();
        audio.SetWakeupHandler({});
        return status;
    } catch (const std::exception& error) {
        QMessageBox::critical(nullptr, QString::fromUtf8(kApplicationTitle), QString::fromStdString(error.what()));
        return 1;
    }
}
