#include "platform/ProfileFile.h"

#include <QFile>
#include <QSaveFile>
#include <QTextStream>

#include <optional>

namespace platform {

namespace {

std::optional<QString> sectionName(const QString& line)
{
    const QString trimmed = line.trimmed();
    if (trimmed.startsWith(QLatin1Char('[')) && trimmed.endsWith(QLatin1Char(']')))
        return trimmed.mid(1, trimmed.size() - 2).trimmed();
    return std::nullopt;
}

bool isKeyLine(const QString& line, const QString& key)
{
    const int eq = line.indexOf(QLatin1Char('='));
    return eq > 0 && line.left(eq).trimmed().compare(key, Qt::CaseInsensitive) == 0;
}

struct Location {
    int sectionLine = -1; // index of the "[Section]" line
    int sectionEnd = -1;  // index one past the section's last non-blank line
    int keyLine = -1;
};

Location locate(const QStringList& lines, const QString& section, const QString& key)
{
    Location loc;
    for (int i = 0; i < lines.size(); ++i) {
        if (const auto name = sectionName(lines.at(i))) {
            if (loc.sectionLine >= 0)
                break;
            if (name->compare(section, Qt::CaseInsensitive) == 0) {
                loc.sectionLine = i;
                loc.sectionEnd = i + 1;
            }
            continue;
        }
        if (loc.sectionLine < 0)
            continue;
        if (!lines.at(i).trimmed().isEmpty())
            loc.sectionEnd = i + 1;
        if (loc.keyLine < 0 && isKeyLine(lines.at(i), key))
            loc.keyLine = i;
    }
    return loc;
}

} // namespace

QStringList ProfileFile::readLines() const
{
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    for (QString& line : lines)
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
    return lines;
}

QString ProfileFile::readString(const QString& section, const QString& key, const QString& defaultValue) const
{
    const QStringList lines = readLines();
    const Location loc = locate(lines, section, key);
    if (loc.keyLine < 0)
        return defaultValue;
    const QString& line = lines.at(loc.keyLine);
    return line.mid(line.indexOf(QLatin1Char('=')) + 1).trimmed();
}

int ProfileFile::readInt(const QString& section, const QString& key, int defaultValue) const
{
    bool ok = false;
    const int value = readString(section, key, QString()).toInt(&ok, 10);
    return ok ? value : defaultValue;
}

bool ProfileFile::writeString(const QString& section, const QString& key, const QString& value)
{
    QStringList lines = readLines();
    const Location loc = locate(lines, section, key);
    const QString keyLine = key + QLatin1Char('=') + value;
    if (loc.keyLine >= 0) {
        // The key keeps the spelling it has in the file.
        const QString& old = lines.at(loc.keyLine);
        lines[loc.keyLine] = old.left(old.indexOf(QLatin1Char('='))).trimmed() + QLatin1Char('=') + value;
    } else if (loc.sectionLine >= 0) {
        lines.insert(loc.sectionEnd, keyLine);
    } else {
        lines << QLatin1Char('[') + section + QLatin1Char(']') << keyLine;
    }
    QSaveFile file(m_path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write((lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n")).toUtf8());
    return file.commit();
}

bool ProfileFile::writeInt(const QString& section, const QString& key, int value)
{
    return writeString(section, key, QString::number(value));
}

} // namespace platform
