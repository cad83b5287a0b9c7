#include "analysis/AnalysisModule.hpp"
#include "app/Kalvotune.hpp"
#include "app/MediaControls.hpp"
#include "app/UserDataDir.hpp"
#include "app/qt/MainWindow.hpp"
#include "app/qt/Mpris.hpp"
#include "app/qt/MusicAnalysisDialog.hpp"
#include "app/qt/MusicIndexDialog.hpp"
#include "app/qt/QtServices.hpp"
#include "app/qt/SingleInstance.hpp"
#include "app/qt/VideoExportDialog.hpp"
#include "app/qt/WhenIdle.hpp"
#include "cli/AnalyseCommand.hpp"
#include "cli/CommandLine.hpp"
#include "cli/ListenCommand.hpp"
#include "cli/ProgramFolder.hpp"
#include "cli/RelinkCommand.hpp"
#include "cli/VideoCommand.hpp"
#include "core/Random.hpp"
#include "playback/DeferredAudio.hpp"
#include "playback/PulseCapture.hpp"
#include "playlists/ExternalFiles.hpp"
#include "template_commands/LiveModule.hpp"

#include <QApplication>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QLocale>
#include <QMessageBox>
#include <QMetaObject>
#include <QTranslator>
#include <QUrl>

#include <clocale>
#include <cstdlib>
#include <exception>
#include <iostream>
#include <random>
#include <string>
#include <variant>

#include <unistd.h>

namespace {

/// The files named on the command line, as absolute paths (file URLs accepted).
std::vector<std::filesystem::path> AbsoluteFiles(const std::vector<std::string>& named)
{
    std::vector<std::filesystem::path> files;
    for (const std::string& name : named) {
        const QString argument = QString::fromLocal8Bit(name);
        const QUrl url{argument};
        const QString path = url.isLocalFile() ? url.toLocalFile() : argument;
        files.emplace_back(QFileInfo{path}.absoluteFilePath().toStdString());
    }
    return files;
}

/// A module of the program (the sound back end, the music analysis): beside the executable
/// in the build's program folder, in the installed player's own library folder otherwise.
std::filesystem::path ProgramModule(const char* file)
{
    const std::filesystem::path bin{QCoreApplication::applicationDirPath().toStdString()};
    const std::filesystem::path beside = bin / file;
    std::error_code ec;
    if (std::filesystem::exists(beside, ec))
        return beside;
    return bin.parent_path() / KALVOTUNE_INSTALL_LIBDIR / "kalvotune" / file;
}

/// Qt's own texts (the buttons of message boxes, the file dialogs) in Russian like the
/// rest of the program, whatever language the desktop speaks.
void LoadQtTranslations(QApplication& application)
{
    auto* translator = new QTranslator{&application};
    if (translator->load(QLocale{QLocale::Russian, QLocale::Russia}, QStringLiteral("qtbase"), QStringLiteral("_"),
            QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(translator);
}

/// The program folder of a command without a window, chosen as a normal start chooses
/// it and prepared as the window's start prepares it; a problem preparing it is printed.
std::filesystem::path CommandProgramDir()
{
    const kalvotune::app::ProgramDirChoice programDir = kalvotune::app::ChooseProgramDir(
        std::filesystem::current_path(), QCoreApplication::applicationDirPath().toStdString(),
        kalvotune::app::UserProgramDir(std::getenv("XDG_DATA_HOME"), std::getenv("HOME")));
    if (!programDir.prepared.ok)
        std::cerr << programDir.prepared.message << '\n';
    kalvotune::app::SystemClock clock;
    kalvotune::Random random{clock};
    kalvotune::cli::PrepareProgramFolder(programDir.dir, random, std::cerr);
    return programDir.dir;
}

} // namespace

int main(int argc, char* argv[])
{
    using namespace kalvotune;
    // The command line is read here once; `--help`, `--version` and mistakes are answered
    // before anything else starts.
    const cli::CommandLine command = cli::ReadCommandLine(argc, argv);
    if (const std::optional<int> status = cli::AnswerCommandLine(command, std::cout, std::cerr))
        return *status;
    // `--analyse FILE... [--replace] [--jobs N]` makes templates for whole collections
    // without a window, so it needs no display either.
    if (const auto* request = std::get_if<cli::AnalyseRequest>(&command)) {
        QCoreApplication core{argc, argv};
        const std::filesystem::path programDir = CommandProgramDir();
        app::SystemClock clock;
        Random random{clock};
        analysis::AnalysisModule analysis{ProgramModule(analysis::kAnalysisModuleFile)};
        // Ctrl+C lets the track being installed finish and discards those in work.
        const cli::StopSignals stopSignals;
        const cli::AnalyseControl control{&cli::StopSignals::Flag(), &std::cerr, isatty(STDERR_FILENO) == 1};
        return cli::RunAnalyseCommand(programDir, *request, random, std::cout, analysis.AsAnalyser(), control);
    }
    // `--video TRACK --output FILE.mp4 [--size WxH] [--fps N] [--seed S]`: the track's
    // kaleidoscope with its music as a video, without a window.
    if (const auto* request = std::get_if<cli::VideoCommandRequest>(&command)) {
        QCoreApplication core{argc, argv};
        video::VideoModule videoModule{ProgramModule(video::kVideoModuleFile)};
        return cli::RunVideoCommand(
            CommandProgramDir(), *request, std::random_device{}(), std::cout, std::cerr, videoModule.AsExporter());
    }
    // `--relink FOLDER [--dry-run]` finds moved tracks for every list without a window.
    if (const auto* request = std::get_if<cli::RelinkRequest>(&command)) {
        QCoreApplication core{argc, argv};
        return cli::RunRelinkCommand(CommandProgramDir(), *request, std::cout);
    }
    // `--listen --seconds N --save-template DIR [--source NAME]`: a template of what the
    // computer plays, without a window.
    if (const auto* request = std::get_if<cli::ListenRequest>(&command)) {
        QCoreApplication core{argc, argv};
        template_commands::LiveModule live{ProgramModule(template_commands::kLiveModuleFile)};
        return cli::RunListenCommand(*request, std::cout, std::cerr,
            [&live](const template_commands::LiveTemplateRequest& recording) { return live.RecordTemplate(recording); });
    }
    // What is left is the window, with the files named, if any.
    QApplication application{argc, argv};
    // Qt has taken its own options (`-platform offscreen`, `-style …`) out of argv; read
    // what is left again, so they are not opened as files.
    const cli::CommandLine windowCommand = cli::ReadCommandLine(argc, argv);
    const auto* windowStart = std::get_if<cli::WindowStart>(&windowCommand);
    const cli::WindowStart& start = windowStart != nullptr ? *windowStart : std::get<cli::WindowStart>(command);
    QApplication::setApplicationName(QString::fromUtf8(kApplicationTitle));
    QApplication::setDesktopFileName(QString::fromUtf8(kDesktopId));
    LoadQtTranslations(application);
    // libmpv parses numbers in the C locale; Qt has just set the user's.
    std::setlocale(LC_NUMERIC, "C");

    try {
        const app::ProgramDirChoice programDir = app::ChooseProgramDir(std::filesystem::current_path(),
            QCoreApplication::applicationDirPath().toStdString(),
            app::UserProgramDir(std::getenv("XDG_DATA_HOME"), std::getenv("HOME")));
        const std::vector<std::filesystem::path> files = AbsoluteFiles(start.files);
        app::SingleInstance instance{programDir.dir};
        if (instance.HandOver({files, start.listen, start.source}))
            return 0;

        app::QtDialogs dialogs;
        app::SystemClock clock;
        Random random{clock};
        app::QtScreen screen;
        app::DBusUserActivity activity;
        playback::DeferredAudio audio{ProgramModule(playback::kAudioModuleFile)};
        analysis::AnalysisModule analysisModule{ProgramModule(analysis::kAnalysisModuleFile)};
        video::VideoModule videoModule{ProgramModule(video::kVideoModuleFile)};
        template_commands::LiveModule liveModule{ProgramModule(template_commands::kLiveModuleFile)};
        Services services{dialogs, clock, random, audio.Device(), screen, audio.Sounds(), activity};

        app::Kalvotune player{programDir.dir, services};
        player.listen().SetLiveSound({
            .listSources = [&liveModule] { return liveModule.ListSources(playback::kSourceListTimeout); },
            .newCapture = [&liveModule] { return liveModule.NewCapture(); },
            .newTicker = [&liveModule](const analysis::LiveSettings& settings) { return liveModule.NewTicker(settings); },
            .unavailable = [&liveModule] { return liveModule.Error(); },
        });
        app::MainWindow window{player};
        dialogs.SetParent(&window);
        app::MusicAnalysisDialog analysis{player, window, analysisModule.AsAnalyser()};
        player.musicTemplates().SetRunner(&analysis);
        app::VideoExportDialog videoExport{player, window, videoModule.AsExporter()};
        player.saveVideo().SetRunner(&videoExport);
        app::MusicIndexDialog index{player, window};
        player.trackService().SetIndexRunner(&index);
        audio.SetWakeupHandler([&window, &audio] {
            QMetaObject::invokeMethod(
                &window, [&audio] { audio.DrainEvents(); }, Qt::QueuedConnection);
        });
        playlists::ExternalFiles external{player.currentList(), dialogs};
        window.SetDropHandler(
            [&external](const std::vector<std::filesystem::path>& dropped) { external.DropFiles(dropped); });
        window.Sync();
        player.HandleEvent([&player] { player.FormCreate(); });
        window.Sync();
        window.show();
        // The sound libraries load while the window draws itself; a track cannot be
        // chosen and started faster than that.
        audio.StartLoading();
        if (!programDir.prepared.ok)
            dialogs.ShowMessage(programDir.prepared.message);
        if (!files.empty())
            window.Run([&external, &files] { external.OpenFiles(files); });
        else if (start.listen)
            window.Run([&player, &start] { player.listen().StartListening(start.source); });
        app::MediaControls media{player, audio.Device()};
        app::Mpris mpris{media,
            {window, [&external](const std::vector<std::filesystem::path>& opened) { external.OpenFiles(opened); }},
            player.form().surface};
        mpris.Register();
        instance.Listen([&window, &external, &player](const app::HandedStart& handed) {
            window.setWindowState((window.windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
            window.raise();
            window.activateWindow();
            if (!handed.files.empty())
                app::RunWhenIdle(&window, [&window, &external, files = handed.files] {
                    window.Run([&external, &files] { external.OpenFiles(files); });
                });
            else if (handed.listen)
                app::RunWhenIdle(&window, [&window, &player, source = handed.source] {
                    window.Run([&player, &source] { player.listen().StartListening(source); });
                });
        });
        const int status = QApplication::exec();
        audio.SetWakeupHandler({});
        return status;
    } catch (const std::exception& error) {
        QMessageBox::critical(nullptr, QString::fromUtf8(kApplicationTitle), QString::fromStdString(error.what()));
        return 1;
    }
}
