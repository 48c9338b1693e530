#include "platform/RegistryStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QStandardPaths>

namespace platform {

namespace {

// Keys that always exist on the machine, as the system's own keys do in the real registry.
const QStringList kSystemKeys = {QStringLiteral("Software\\Microsoft\\Windows\\CurrentVersion\\Run")};

QString typeName(RegType type)
{
    switch (type) {
    case RegType::Sz: return QStringLiteral("REG_SZ");
    case RegType::Dword: return QStringLiteral("REG_DWORD");
    case RegType::Binary: return QStringLiteral("REG_BINARY");
    }
    return {};
}

std::optional<RegType> typeFromName(const QString& name)
{
    if (name == QLatin1String("REG_SZ"))
        return RegType::Sz;
    if (name == QLatin1String("REG_DWORD"))
        return RegType::Dword;
    if (name == QLatin1String("REG_BINARY"))
        return RegType::Binary;
    return std::nullopt;
}

QJsonObject loadRoot()
{
    QFile file(RegistryStore::filePath());
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QJsonDocument::fromJson(file.readAll()).object();
}

bool saveRoot(const QJsonObject& root)
{
    const QString path = RegistryStore::filePath();
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(QJsonDocument(root).toJson(QJsonDocument::Indented));
    return file.commit();
}

// The stored spelling of a key path, found without regard to case.
QString findKey(const QJsonObject& root, const QString& keyPath)
{
    for (auto it = root.begin(); it != root.end(); ++it)
        if (it.key().compare(keyPath, Qt::CaseInsensitive) == 0)
            return it.key();
    return {};
}

bool isSystemKey(const QString& keyPath)
{
    return kSystemKeys.contains(keyPath, Qt::CaseInsensitive);
}

QJsonObject toJson(const RegValue& value)
{
    QJsonObject obj;
    obj[QStringLiteral("name")] = value.name;
    obj[QStringLiteral("type")] = typeName(value.type);
    switch (value.type) {
    case RegType::Sz: obj[QStringLiteral("data")] = value.data.toString(); break;
    case RegType::Dword: obj[QStringLiteral("data")] = double(value.data.toUInt()); break;
    case RegType::Binary: obj[QStringLiteral("data")] = QString::fromLatin1(value.data.toByteArray().toHex()); break;
    }
    return obj;
}

std::optional<RegValue> fromJson(const QJsonObject& obj)
{
    const auto type = typeFromName(obj.value(QStringLiteral("type")).toString());
    if (!type)
        return std::nullopt;
    RegValue value{obj.value(QStringLiteral("name")).toString(), *type, {}};
    const QJsonValue data = obj.value(QStringLiteral("data"));
    switch (*type) {
    case RegType::Sz: value.data = data.toString(); break;
    case RegType::Dword: value.data = quint32(data.toDouble()); break;
    case RegType::Binary: value.data = QByteArray::fromHex(data.toString().toLatin1()); break;
    }
    return value;
}

} // namespace

QString RegistryStore::filePath()
{
    const QByteArray env = qgetenv("DORVIK_REGISTRY");
    if (!env.isEmpty())
        return QString::fromLocal8Bit(env);
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/Dorvik/registry.json");
}

bool RegistryStore::keyExists(const QString& keyPath)
{
    return isSystemKey(keyPath) || !findKey(loadRoot(), keyPath).isEmpty();
}

std::optional<RegistryKey> RegistryStore::openKey(const QString& keyPath, bool create)
{
    QJsonObject root = loadRoot();
    const QString stored = findKey(root, keyPath);
    if (!stored.isEmpty())
        return RegistryKey(stored);
    if (isSystemKey(keyPath))
        return RegistryKey(keyPath);
    if (!create)
        return std::nullopt;
    root.insert(keyPath, QJsonArray());
    if (!saveRoot(root))
        return std::nullopt;
    return RegistryKey(keyPath);
}

QList<RegValue> RegistryKey::values() const
{
    QList<RegValue> result;
    const QJsonObject root = loadRoot();
    const QString stored = findKey(root, m_path);
    if (stored.isEmpty())
        return result;
    for (const QJsonValue& item : root.value(stored).toArray())
        if (auto value = fromJson(item.toObject()))
            result.append(*value);
    return result;
}

std::optional<RegValue> RegistryKey::value(const QString& name) const
{
    for (const RegValue& value : values())
        if (value.name.compare(name, Qt::CaseInsensitive) == 0)
            return value;
    return std::nullopt;
}

bool RegistryKey::valueExists(const QString& name) const
{
    return value(name).has_value();
}

bool RegistryKey::write(const RegValue& value)
{
    QJsonObject root = loadRoot();
    QString stored = findKey(root, m_path);
    if (stored.isEmpty())
        stored = m_path;
    QJsonArray items = root.value(stored).toArray();
    bool replaced = false;
    for (int i = 0; i < items.size(); ++i) {
        if (items.at(i).toObject().value(QStringLiteral("name")).toString().compare(value.name, Qt::CaseInsensitive) ==
            0) {
            items.replace(i, toJson(value));
            replaced = true;
            break;
        }
    }
    if (!replaced)
        items.append(toJson(value));
    root.insert(stored, items);
    return saveRoot(root);
}

bool RegistryKey::writeString(const QString& name, const QString& data)
{
    return write({name, RegType::Sz, data});
}

bool RegistryKey::writeDword(const QString& name, quint32 data)
{
    return write({name, RegType::Dword, data});
}

bool RegistryKey::writeBinary(const QString& name, const QByteArray& data)
{
    return write({name, RegType::Binary, data});
}

bool RegistryKey::deleteValue(const QString& name)
{
    QJsonObject root = loadRoot();
    const QString stored = findKey(root, m_path);
    if (stored.isEmpty())
        return false;
    QJsonArray items = root.value(stored).toArray();
    for (int i = 0; i < items.size(); ++i) {
        if (items.at(i).toObject().value(QStringLiteral("name")).toString().compare(name, Qt::CaseInsensitive) == 0) {
            items.removeAt(i);
            root.insert(stored, items);
            return saveRoot(root);
        }
    }
    return false;
}

} // namespace platform
