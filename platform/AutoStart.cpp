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
    const QString folder = QFileInfo(programPath).absolutePath();
    // The program's own picture beside it (icon/), named by its full path: a program run from its
    // build folder has no icon in the desktop's theme.
    const QString text = QStringLiteral("[Desktop Entry]\n"
                                        "Type=Application\n"
                                        "Name=蓝栎服装计件工资管理系统\n"
                                        "Name[zh_CN]=蓝栎服装计件工资管理系统\n"
                                        "Comment=Piece-work wages of a garment workshop\n"
                                        "Comment[zh_CN]=服装车间的计件数据、工序单价与月度工资\n"
                                        "Icon=%3\n"
                                        "Exec=\"%1\"\n"
                                        "Path=%2\n"
                                        "Terminal=false\n"
                                        "X-GNOME-Autostart-enabled=true\n")
                             .arg(quoted, folder, QDir(folder).filePath(QStringLiteral("icon/dorvik.png")));
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
