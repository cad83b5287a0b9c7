#include "app/qt/SingleInstance.hpp"

#include <QCryptographicHash>
#include <QDataStream>
#include <QLocalSocket>
#include <QStringList>

#include <unistd.h>

namespace kalvotune::app {

namespace {

constexpr int kConnectMs{1000};
constexpr int kWriteMs{3000};
/// The message is a list of strings: the files, then, for `--listen`, an empty string (no
/// file is named so) and the source. A player of an earlier version sends the files alone.
const QString kListenMark{};

} // namespace

SingleInstance::SingleInstance(const std::filesystem::path& programDir)
{
    const QByteArray folder
        = QByteArray::fromStdString(std::filesystem::absolute(programDir).lexically_normal().string());
    const QByteArray digest = QCryptographicHash::hash(folder, QCryptographicHash::Sha1).toHex().left(16);
    m_name = QStringLiteral("kalvotune-%1-%2").arg(::getuid()).arg(QString::fromLatin1(digest));
}

bool SingleInstance::HandOver(const HandedStart& start)
{
    QLocalSocket socket;
    socket.connectToServer(m_name);
    if (!socket.waitForConnected(kConnectMs))
        return false;
    QStringList paths;
    for (const std::filesystem::path& file : start.files)
        paths << QString::fromStdString(file.string());
    if (start.listen)
        paths << kListenMark << QString::fromStdString(start.source);
    QByteArray message;
    QDataStream out{&message, QIODevice::WriteOnly};
    out << paths;
    socket.write(message);
    if (!socket.waitForBytesWritten(kWriteMs))
        return false;
    socket.disconnectFromServer();
    if (socket.state() != QLocalSocket::UnconnectedState)
        socket.waitForDisconnected(kWriteMs);
    return true;
}

void SingleInstance::Listen(std::function<void(const HandedStart&)> received)
{
    m_received = std::move(received);
    // A player that crashed leaves its socket file behind; HandOver found nobody there.
    QLocalServer::removeServer(m_name);
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server.listen(m_name))
        return;
    connect(&m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = m_server.nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
                QDataStream in{socket};
                in.startTransaction();
                QStringList paths;
                in >> paths;
                if (!in.commitTransaction())
                    return; // the rest is still on its way
                HandedStart start;
                for (qsizetype i = 0; i < paths.size(); ++i) {
                    if (paths[i] == kListenMark) {
                        start.listen = true;
                        start.source = i + 1 < paths.size() ? paths[i + 1].toStdString() : std::string{};
                        break;
                    }
                    start.files.emplace_back(paths[i].toStdString());
                }
                socket->disconnectFromServer();
                if (m_received)
                    m_received(start);
            });
        }
    });
}

} // namespace kalvotune::app
