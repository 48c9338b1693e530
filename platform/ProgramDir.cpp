#include "platform/ProgramDir.h"

#include <QCoreApplication>
#include <QDir>

namespace platform {

namespace {
QString& overrideDir()
{
    static QString dir;
    return dir;
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

} // namespace platform
