#include "platform/AutoStart.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

namespace platform {

QString AutoStart::entryPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/autostart/Dorvik.desktop");
}

bool AutoStart::writeEntry(const QString& programPath)
{
    const QString path = entryPath();
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QString quoted = programPath;
    quoted.replace(QLatin1Char('"'), QStringLiteral("\\\""));
    const QString text = QStringLiteral("[Desktop Entry]\n"
                                        "Type=Application\n"
                                        "Name=Dorvik\n"
                                        "Exec=\"%1\"\n"
                                        "Path=%2\n"
                                        "X-GNOME-Autostart-enabled=true\n")
                             .arg(quoted, QFileInfo(programPath).absolutePath());
    file.write(text.toUtf8());
    return file.commit();
}

bool AutoStart::removeEntry()
{
    return !QFile::exists(entryPath()) || QFile::remove(entryPath());
}

bool AutoStart::entryExists()
{
    return QFile::exists(entryPath());
}

} // namespace platform
