#pragma once

#include <QLocalServer>
#include <QLockFile>
#include <QObject>

#include <memory>

namespace platform {

// Keeps a second copy of the program from running for the same user. The first copy holds a lock
// file and listens on a local socket, both named from the application title and the user and kept
// in the user's runtime folder; a later copy finds the lock taken, asks the running copy to bring
// its window back and then ends without touching any file.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    static SingleInstance& instance();

    // True when this process runs alone (it then holds the guard for the rest of its life); false
    // when another copy runs, which has been asked to restore its window.
    bool acquire(const QString& title);
    bool isHeld() const { return m_server != nullptr; }
    void release();

signals:
    void restoreRequested();

private:
    SingleInstance() = default;
    static QString baseName(const QString& title);
    std::unique_ptr<QLockFile> m_lock;
    QLocalServer* m_server = nullptr;
};

} // namespace platform
