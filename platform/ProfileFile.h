#pragma once

#include <QString>
#include <QStringList>

namespace platform {

// Reader and writer of a profile file ("[Section]" lines followed by "Key=Value" lines).
// A missing file, section or key reads as the given default; a write creates the file, the
// section and the key as needed and keeps every other line as it was.
class ProfileFile {
public:
    explicit ProfileFile(QString path) : m_path(std::move(path)) {}

    const QString& path() const { return m_path; }
    QString readString(const QString& section, const QString& key, const QString& defaultValue) const;
    // A value that is not a decimal integer reads as the default.
    int readInt(const QString& section, const QString& key, int defaultValue) const;
    bool writeString(const QString& section, const QString& key, const QString& value);
    bool writeInt(const QString& section, const QString& key, int value);

private:
    QStringList readLines() const;
    QString m_path;
};

} // namespace platform
