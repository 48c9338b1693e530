#pragma once

#include <QLocalServer>
#include <QLockFile>
#include <QObject>

#include <memory>

namespace platform {

// Keeps a second copy of the program from running. Two guards, both held for the whole run:
// - a lock file and a local socket named from the application title and the user, in the user's
//   runtime folder: a later copy of the same user finds the lock taken and asks the running copy,
//   through the socket, to bring its window back;
// - a lock on a file beside the database ("<database>.lock"), which covers every user and every
//   runtime folder: a later copy that finds it taken cannot reach the running copy and is told so.
// Either way the later copy ends without touching any file of the program.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    enum class Claim {
        Alone,         // this process runs alone and now holds both guards
        OtherRestored, // another copy runs and has been asked to restore its window
        DatabaseInUse, // another copy uses the database and cannot be reached
    };

    static SingleInstance& instance();

    // Takes both guards. databasePath names the database file; without such a file there is
    // nothing to guard and no lock file is made beside it. Called again with another database
    // (tests), the database guard moves to it.
    Claim acquire(const QString& title, const QString& databasePath);
    bool isHeld() const { return m_server != nullptr; }
    void release();

    // True while another process holds the guard of this database file.
    bool databaseHeldElsewhere(const QString& databasePath) const;
    static QString databaseLockPath(const QString& databasePath);

signals:
    void restoreRequested();

private:
    SingleInstance() = default;
    static QString baseName(const QString& title);
    // The runtime-folder guard: Alone when taken (or when the folder cannot hold a lock).
    Claim acquireUserLock(const QString& base);
    // False when another process holds the database's guard.
    bool lockDatabase(const QString& databasePath);
    void unlockDatabase();
    void listen(const QString& base);

    std::unique_ptr<QLockFile> m_lock;
    QLocalServer* m_server = nullptr;
    int m_databaseLock = -1;
    QString m_databaseLockPath;
};

} // namespace platform
