#include "platform/SingleInstance.h"

#include <QDir>
#include <QLocalSocket>
#include <QStandardPaths>

#include <unistd.h>

namespace platform {

SingleInstance& SingleInstance::instance()
{
    static SingleInstance guard;
    return guard;
}

QString SingleInstance::baseName(const QString& title)
{
    QString user = qEnvironmentVariable("USER");
    if (user.isEmpty())
        user = QString::number(getuid());
    QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (dir.isEmpty())
        dir = QDir::tempPath();
    return QDir(dir).filePath(title + QLatin1Char('-') + user);
}

bool SingleInstance::acquire(const QString& title)
{
    if (isHeld())
        return true;
    const QString base = baseName(title);
    auto lock = std::make_unique<QLockFile>(base + QStringLiteral(".lock"));
    lock->setStaleLockTime(0);
    if (!lock->tryLock(0)) {
        if (lock->error() == QLockFile::LockFailedError) {
            QLocalSocket socket;
            socket.connectToServer(base + QStringLiteral(".sock"));
            if (socket.waitForConnected(2000)) {
                socket.write("restore\n");
                socket.waitForBytesWritten(2000);
                socket.disconnectFromServer();
            }
            return false;
        }
        // The runtime folder cannot hold a lock (no rights): run unguarded rather than not at all.
        return true;
    }
    m_lock = std::move(lock);
    const QString serverName = base + QStringLiteral(".sock");
    QLocalServer::removeServer(serverName);
    m_server = new QLocalServer(this);
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* peer = m_server->nextPendingConnection()) {
            connect(peer, &QLocalSocket::disconnected, peer, &QObject::deleteLater);
            connect(peer, &QLocalSocket::readyRead, this, [this, peer] {
                if (peer->readAll().contains("restore"))
                    emit restoreRequested();
            });
        }
    });
    m_server->listen(serverName);
    return true;
}

void SingleInstance::release()
{
    delete m_server;
    m_server = nullptr;
    m_lock.reset();
}

} // namespace platform
