#include "app/AnalyseCommand.hpp"
#include "app/Kalvotune.hpp"
#include "app/ProgramDir.hpp"
#include "app/qt/MainWindow.hpp"
#include "app/qt/MusicAnalysisDialog.hpp"
#include "app/qt/QtServices.hpp"
#include "core/Random.hpp"
#include "playback/MpvDevice.hpp"
#include "playback/MpvSoundEffects.hpp"

#include <QApplication>
#include <QMessageBox>
#include <QMetaObject>

#include <clocale>
#include <exception>
#include <iostream>

int main(int argc, char* argv[])
{
    using namespace kalvotune;
    // `--analyse FILE... [--replace]` makes templates for whole collections without a
    // window, so it needs no display either.
    if (app::AnalyseRequest request; app::ParseAnalyseRequest(argc, argv, request)) {
        QCoreApplication core{argc, argv};
        const std::filesystem::path programDir = app::ResolveProgramDir(
            std::filesystem::current_path(), QCoreApplication::applicationDirPath().toStdString());
        app::SystemClock clock;
        Random random{clock};
        return app::RunAnalyseCommand(programDir, request, random, std::cout);
    }
    QApplication application{argc, argv};
    QApplication::setApplicationName(QStringLiteral("Kalvotune"));
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
        playback::MpvDevice device;
        playback::MpvSoundEffects sounds;
        Services services{dialogs, clock, random, device, screen, sounds, activity};

        app::Kalvotune player{programDir, services};
        app::MainWindow window{player};
        dialogs.SetParent(&window);
        app::MusicAnalysisDialog analysis{player, window};
        player.musicTemplates().SetRunner(&analysis);
        device.SetWakeupHandler([&window, &device] {
            QMetaObject::invokeMethod(
                &window, [&device] { device.DrainEvents(); }, Qt::QueuedConnection);
        });
        window.Sync();
        player.FormCreate();
        window.Sync();
        window.show();
        const int status = QApplication::exec();
        device.SetWakeupHandler({});
        return status;
    } catch (const std::exception& error) {
        QMessageBox::critical(nullptr, QStringLiteral("Kalvotune 1.11"), QString::fromStdString(error.what()));
        return 1;
    }
}
