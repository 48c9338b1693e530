#include "platform/SingleInstance.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>
#include <QStandardPaths>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace platform {

namespace {

// Opens the lock file beside the database for taking its lock: created when missing (readable and
// writable for every user, so that any user's copy can lock it), read-only when another user made
// it. -1 when it cannot be opened at all.
int openLockFile(const QString& path, bool create)
{
    const QByteArray name = QFile::encodeName(path);
    int fd = ::open(name.constData(), O_RDWR | O_CLOEXEC | (create ? O_CREAT : 0), 0666);
    if (fd < 0)
        fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC);
    return fd;
}

// True when another open file holds the lock: the lock itself could not be taken for that reason.
bool lockedByOther(int fd)
{
    int result;
    do
        result = ::flock(fd, LOCK_EX | LOCK_NB);
    while (result != 0 && errno == EINTR);
    return result != 0 && errno == EWOULDBLOCK;
}

} // namespace

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

QString SingleInstance::databaseLockPath(const QString& databasePath)
{
    return databasePath + QStringLiteral(".lock");
}

SingleInstance::Claim SingleInstance::acquire(const QString& title, const QString& databasePath)
{
    const bool held = isHeld();
    const QString base = baseName(title);
    if (!held) {
        const Claim claim = acquireUserLock(base);
        if (claim != Claim::Alone)
            return claim;
    }
    if (!lockDatabase(databasePath)) {
        // The copy that holds the database runs for another user or in another runtime folder,
        // out of reach of this one's socket.
        if (!held)
            m_lock.reset();
        return Claim::DatabaseInUse;
    }
    if (!held)
        listen(base);
    return Claim::Alone;
}

SingleInstance::Claim SingleInstance::acquireUserLock(const QString& base)
{
    auto lock = std::make_unique<QLockFile>(base + QStringLiteral(".lock"));
    lock->setStaleLockTime(0);
    if (lock->tryLock(0)) {
        m_lock = std::move(lock);
        return Claim::Alone;
    }
    // The runtime folder cannot hold a lock (no rights): the database guard still holds.
    if (lock->error() != QLockFile::LockFailedError)
        return Claim::Alone;
    QLocalSocket socket;
    socket.connectToServer(base + QStringLiteral(".sock"));
    if (!socket.waitForConnected(2000))
        return Claim::DatabaseInUse;
    socket.write("restore\n");
    socket.waitForBytesWritten(2000);
    socket.disconnectFromServer();
    return Claim::OtherRestored;
}

void SingleInstance::listen(const QString& base)
{
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
}

bool SingleInstance::lockDatabase(const QString& databasePath)
{
    const QString path = databaseLockPath(databasePath);
    if (m_databaseLock >= 0 && path == m_databaseLockPath)
        return true;
    // No database, nothing to guard: the start goes on and its statements report the missing file.
    if (!QFileInfo(databasePath).isFile())
        return true;
    const int fd = openLockFile(path, true);
    // A folder where no lock can be made: run unguarded rather than not at all.
    if (fd < 0)
        return true;
    if (lockedByOther(fd)) {
        ::close(fd);
        return false;
    }
    unlockDatabase();
    m_databaseLock = fd;
    m_databaseLockPath = path;
    return true;
}

void SingleInstance::unlockDatabase()
{
    if (m_databaseLock >= 0)
        ::close(m_databaseLock); // closing the only descriptor releases the lock
    m_databaseLock = -1;
    m_databaseLockPath.clear();
}

bool SingleInstance::databaseHeldElsewhere(const QString& databasePath) const
{
    const QString path = databaseLockPath(databasePath);
    if (m_databaseLock >= 0 && path == m_databaseLockPath)
        return false;
    const int fd = openLockFile(path, false);
    if (fd < 0)
        return false;
    const bool held = lockedByOther(fd);
    ::close(fd); // releases the lock taken by the probe, if any
    return held;
}

void SingleInstance::release()
{
    delete m_server;
    m_server = nullptr;
    m_lock.reset();
    unlockDatabase();
}

} // namespace platform
