#include "platform/ProgramDir.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <unistd.h>

namespace platform {

namespace {

QString& overrideDir()
{
    static QString dir;
    return dir;
}

const QString kDatabaseName = QStringLiteral("DorvikSalary.mdb");

bool canWrite(const QString& folder)
{
    return ::access(QFile::encodeName(folder).constData(), W_OK) == 0;
}

} // namespace

QString programDir()
{
    if (!overrideDir().isEmpty())
        return overrideDir();
    return QCoreApplication::applicationDirPath();
}

QString programFile(const QString& relativePath)
{
    return QDir(programDir()).filePath(relativePath);
}

void setProgramDir(const QString& path)
{
    overrideDir() = path;
}

QString dataDirFor(const QString& programFolder)
{
    if (canWrite(programFolder))
        return programFolder;
    const QString folder =
        QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/Dorvik");
    QDir().mkpath(folder);
    // First start of this user: the shipped empty database, copied whole or not at all (the copy
    // goes to a temporary file that is renamed when complete), writable by its owner.
    const QString database = QDir(folder).filePath(kDatabaseName);
    const QString shipped = QDir(programFolder).filePath(kDatabaseName);
    if (!QFileInfo::exists(database) && QFileInfo(shipped).isFile() && QFile::copy(shipped, database))
        QFile::setPermissions(database, QFile::permissions(database) | QFile::ReadOwner | QFile::WriteOwner);
    return folder;
}

QString dataDir()
{
    if (!overrideDir().isEmpty())
        return overrideDir();
    static const QString folder = [] {
        const QString named = qEnvironmentVariable("DORVIK_DATA_DIR");
        return named.isEmpty() ? dataDirFor(QCoreApplication::applicationDirPath()) : QDir(named).absolutePath();
    }();
    return folder;
}

QString dataFile(const QString& relativePath)
{
    return QDir(dataDir()).filePath(relativePath);
}

} // namespace platform
