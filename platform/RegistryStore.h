#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QVariant>

#include <optional>

namespace platform {

// A small typed key/value store standing in for the machine-wide registry. All keys live in one
// JSON file; every write is saved at once (atomically), so a failed save is reported to the caller.
enum class RegType { Sz, Dword, Binary };

struct RegValue {
    QString name;
    RegType type = RegType::Sz;
    QVariant data; // QString for Sz, quint32 for Dword, QByteArray for Binary
};

class RegistryKey {
public:
    explicit RegistryKey(QString keyPath) : m_path(std::move(keyPath)) {}

    const QString& path() const { return m_path; }
    bool writeString(const QString& name, const QString& data);
    bool writeDword(const QString& name, quint32 data);
    bool writeBinary(const QString& name, const QByteArray& data);
    bool deleteValue(const QString& name);
    bool valueExists(const QString& name) const;
    std::optional<RegValue> value(const QString& name) const;
    // Values in the order they were first written.
    QList<RegValue> values() const;

private:
    bool write(const RegValue& value);
    QString m_path;
};

class RegistryStore {
public:
    // $DORVIK_REGISTRY when set, otherwise registry.json in the user's configuration folder for Dorvik.
    static QString filePath();
    // Opens a key; with create, makes it (and saves) when missing. Key paths compare without case.
    static std::optional<RegistryKey> openKey(const QString& keyPath, bool create);
    static bool keyExists(const QString& keyPath);
};

} // namespace platform
