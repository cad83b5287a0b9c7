#include "app/qt/QtServices.hpp"

#include "core/Form.hpp"

#include <QCursor>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QScreen>
#include <QStandardPaths>

#include <algorithm>

namespace kalvotune::app {

namespace {

QString Q(const std::string& text)
{
    return QString::fromStdString(text);
}

QString Title()
{
    return QString::fromUtf8(kApplicationTitle);
}

} // namespace

void QtDialogs::ShowMessage(const std::string& text)
{
    QMessageBox box{QMessageBox::NoIcon, Title(), Q(text), QMessageBox::Ok, m_parent};
    box.exec();
}

void QtDialogs::ShowError(const std::string& text)
{
    QMessageBox::critical(m_parent, Title(), Q(text), QMessageBox::Ok);
}

bool QtDialogs::AskYesNo(const std::string& text, const std::string& caption)
{
    return QMessageBox::question(m_parent, Q(caption), Q(text), QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

std::optional<std::string> QtDialogs::InputBox(
    const std::string& caption, const std::string& prompt, const std::string& value)
{
    QInputDialog dialog{m_parent};
    dialog.setWindowTitle(Q(caption));
    dialog.setLabelText(Q(prompt));
    dialog.setTextValue(Q(value));
    // A long prompt wraps instead of stretching the box across the screen.
    for (QLabel* label : dialog.findChildren<QLabel*>()) {
        label->setWordWrap(true);
        label->setMinimumWidth(440);
    }
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.textValue().toStdString();
}

std::vector<std::filesystem::path> QtDialogs::OpenAudioFiles(bool tracksOnly)
{
    QString folder = QString::fromStdString(m_lastFolder.string());
    if (folder.isEmpty() || !QFileInfo{folder}.isDir()) {
        folder = QStandardPaths::writableLocation(QStandardPaths::MusicLocation);
        if (folder.isEmpty() || !QFileInfo{folder}.isDir())
            folder = QDir::homePath();
    }
    QFileDialog dialog{m_parent, QString{}, folder};
    dialog.setFileMode(QFileDialog::ExistingFiles);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    // Character classes make the patterns match any letter case in every dialog back end;
    // the label shows only the filter's name.
    QStringList filters{QStringLiteral("Аудиофайлы (*.wma, *.mp3, *.wav) "
                                       "(*.[wW][mM][aA] *.[mM][pP]3 *.[wW][aA][vV])")};
    if (!tracksOnly)
        filters.append(QStringLiteral("Списки воспроизведения (*.m3u, *.m3u8, *.pls, *.xspf) "
                                      "(*.[mM]3[uU] *.[mM]3[uU]8 *.[pP][lL][sS] *.[xX][sS][pP][fF])"));
    dialog.setNameFilters(filters);
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    dialog.setSizeGripEnabled(true);
    if (dialog.exec() != QDialog::Accepted)
        return {};
    std::vector<std::filesystem::path> paths;
    for (const QString& file : dialog.selectedFiles())
        paths.emplace_back(file.toStdString());
    if (!paths.empty())
        m_lastFolder = paths.front().parent_path();
    return paths;
}

std::optional<std::filesystem::path> QtDialogs::SavePlaylistFile(const std::string& suggested)
{
    QString folder = QString::fromStdString(m_lastFolder.string());
    if (folder.isEmpty() || !QFileInfo{folder}.isDir()) {
        folder = QStandardPaths::writableLocation(QStandardPaths::MusicLocation);
        if (folder.isEmpty() || !QFileInfo{folder}.isDir())
            folder = QDir::homePath();
    }
    const QString file = QFileDialog::getSaveFileName(
        m_parent, QString{}, QDir{folder}.filePath(Q(suggested)), QStringLiteral("Список M3U8 (*.m3u8 *.m3u)"));
    if (file.isEmpty())
        return std::nullopt;
    return std::filesystem::path{file.toStdString()};
}

std::optional<VideoFileChoice> QtDialogs::SaveVideoFile(
    const std::string& suggested, const std::vector<std::string>& shapes)
{
    QString folder = QStandardPaths::writableLocation(QStandardPaths::MoviesLocation);
    if (folder.isEmpty() || !QFileInfo{folder}.isDir())
        folder = QDir::homePath();
    // The shapes are the dialog's file types, so the choice sits in the dialog itself,
    // native or not.
    QStringList filters;
    for (const std::string& shape : shapes)
        filters << QStringLiteral("MP4, %1 (*.mp4)").arg(Q(shape));
    if (filters.isEmpty())
        filters << QStringLiteral("MP4 (*.mp4)");
    QString picked = filters.front();
    // The command asks itself before replacing a file, once the ".mp4" it may add is on
    // the name, so the dialog does not ask too.
    const QString file = QFileDialog::getSaveFileName(m_parent, QString{}, QDir{folder}.filePath(Q(suggested)),
        filters.join(QStringLiteral(";;")), &picked, QFileDialog::DontConfirmOverwrite);
    if (file.isEmpty())
        return std::nullopt;
    return VideoFileChoice{
        std::filesystem::path{file.toStdString()}, static_cast<int>(std::max<qsizetype>(filters.indexOf(picked), 0))};
}

std::optional<int> QtDialogs::ChooseItem(
    const std::string& caption, const std::string& prompt, const std::vector<std::string>& items, int current)
{
    QStringList lines;
    for (const std::string& item : items)
        lines << Q(item);
    bool accepted{};
    const QString chosen = QInputDialog::getItem(m_parent, Q(caption), Q(prompt), lines, current, false, &accepted);
    if (!accepted || !lines.contains(chosen))
        return std::nullopt;
    return static_cast<int>(lines.indexOf(chosen));
}

std::optional<std::filesystem::path> QtDialogs::ChooseFolder(const std::string& title)
{
    // Browsing starts at the desktop (the home folder where there is none), nothing
    // preselected, and only folders can be chosen.
    QString start = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    if (!QDir{start}.exists())
        start = QDir::homePath();
    const QString folder = QFileDialog::getExistingDirectory(m_parent, Q(title), start, QFileDialog::ShowDirsOnly);
    if (folder.isEmpty())
        return std::nullopt;
    return std::filesystem::path{folder.toStdString()};
}

std::int64_t SystemClock::UnixSeconds() const
{
    return QDateTime::currentSecsSinceEpoch();
}

LocalDateTime SystemClock::Now() const
{
    const QDateTime now = QDateTime::currentDateTime();
    const QDate d = now.date();
    const QTime t = now.time();
    return {d.year(), d.month(), d.day(), t.hour(), t.minute(), t.second()};
}

int QtScreen::Width() const
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen != nullptr ? screen->size().width() : 0;
}

int QtScreen::Height() const
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen != nullptr ? screen->size().height() : 0;
}

int QtScreen::PhysicalWidth() const
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen != nullptr ? qRound(screen->size().width() * screen->devicePixelRatio()) : 0;
}

void QtScreen::SetCursorPos(int x, int y)
{
    QCursor::setPos(x, y);
}

void DBusUserActivity::Poke()
{
    static const QString service = QStringLiteral("org.freedesktop.ScreenSaver");
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || bus.interface() == nullptr || !bus.interface()->isServiceRegistered(service))
        return;
    bus.asyncCall(QDBusMessage::createMethodCall(
        service, QStringLiteral("/org/freedesktop/ScreenSaver"), service, QStringLiteral("SimulateUserActivity")));
}

} // namespace kalvotune::app
