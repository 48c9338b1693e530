#include "data/ClientName.h"

#include "data/LoginIdentity.h"

#include <QSysInfo>

namespace data {

namespace {

const QByteArray kPrefix = QByteArrayLiteral("Dorvik ");

// One character (a whole code point) as it goes into the name.
QByteArray encodedCharacter(const QString& character)
{
    const QByteArray bytes = character.toUtf8();
    if (bytes.size() == 1 && bytes[0] >= 0x20 && bytes[0] < 0x7f && bytes[0] != '%' && bytes[0] != '@')
        return bytes;
    QByteArray out;
    for (const char byte : bytes)
        out += '%' + QByteArray::number(uchar(byte), 16).toUpper().rightJustified(2, '0');
    return out;
}

// Appends the text's characters while each fits whole into the name; false once one did not.
bool appendWhole(QByteArray* name, const QString& text)
{
    for (qsizetype i = 0; i < text.size();) {
        const qsizetype length = text.at(i).isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        const QByteArray piece = encodedCharacter(text.mid(i, length));
        if (name->size() + piece.size() > kApplicationNameBytes)
            return false;
        name->append(piece);
        i += length;
    }
    return true;
}

QString decoded(const QString& text)
{
    return QString::fromUtf8(QByteArray::fromPercentEncoding(text.toLatin1()));
}

} // namespace

QByteArray applicationName(const QString& user, const QString& host)
{
    QByteArray name = kPrefix;
    if (appendWhole(&name, user) && name.size() < kApplicationNameBytes) {
        name += '@';
        appendWhole(&name, host);
    }
    return name;
}

QByteArray applicationName()
{
    return applicationName(LoginUser, thisHostName());
}

QString thisHostName()
{
    return QSysInfo::machineHostName();
}

ClientName readApplicationName(const QString& name)
{
    ClientName client;
    if (!name.startsWith(QString::fromLatin1(kPrefix)))
        return client;
    const QString rest = name.mid(kPrefix.size());
    // Only printable ASCII can be of the program's form; "@" appears once, between user and PC.
    for (const QChar c : rest)
        if (c.unicode() < 0x20 || c.unicode() >= 0x7f)
            return client;
    const qsizetype at = rest.indexOf(QLatin1Char('@'));
    if (at >= 0 && rest.indexOf(QLatin1Char('@'), at + 1) >= 0)
        return client;
    client.ours = true;
    client.user = decoded(at < 0 ? rest : rest.left(at));
    client.host = at < 0 ? QString() : decoded(rest.mid(at + 1));
    return client;
}

} // namespace data
