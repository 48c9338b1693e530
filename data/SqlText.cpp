#include "data/SqlText.h"

#include "data/DataSet.h"

namespace {

int hexDigit(QChar c)
{
    const ushort u = c.unicode();
    if (u >= '0' && u <= '9')
        return u - '0';
    if (u >= 'a' && u <= 'f')
        return u - 'a' + 10;
    if (u >= 'A' && u <= 'F')
        return u - 'A' + 10;
    return -1;
}

} // namespace

QVariant KeyParam(const data::Field& field)
{
    return field.isValid() ? field.value() : QVariant();
}

QString ContainsPattern(const QString& text)
{
    QString escaped;
    escaped.reserve(text.size() + 2);
    for (const QChar c : text) {
        if (c == QLatin1Char('%') || c == QLatin1Char('_') || c == QLatin1Char('\\'))
            escaped += QLatin1Char('\\');
        escaped += c;
    }
    return QLatin1Char('%') + escaped + QLatin1Char('%');
}

bool IsInteger(const QString& text)
{
    int i = 0;
    const int n = int(text.size());
    while (i < n && text.at(i) == QLatin1Char(' '))
        ++i;
    if (i == n)
        return false;

    // Hexadecimal: "$", "0x", "0X", "x" or "X", then digits of either case, up to eight significant.
    int hexStart = -1;
    if (text.at(i) == QLatin1Char('$') || text.at(i) == QLatin1Char('x') || text.at(i) == QLatin1Char('X'))
        hexStart = i + 1;
    else if (text.at(i) == QLatin1Char('0') && i + 1 < n &&
             (text.at(i + 1) == QLatin1Char('x') || text.at(i + 1) == QLatin1Char('X')))
        hexStart = i + 2;
    if (hexStart >= 0) {
        if (hexStart == n)
            return false;
        int significant = 0;
        for (int j = hexStart; j < n; ++j) {
            const int d = hexDigit(text.at(j));
            if (d < 0)
                return false;
            if (significant > 0 || d != 0)
                ++significant;
        }
        return significant <= 8;
    }

    bool negative = false;
    if (text.at(i) == QLatin1Char('+') || text.at(i) == QLatin1Char('-')) {
        negative = text.at(i) == QLatin1Char('-');
        ++i;
    }
    if (i == n)
        return false;
    qint64 value = 0;
    for (; i < n; ++i) {
        const ushort u = text.at(i).unicode();
        if (u < '0' || u > '9')
            return false;
        value = value * 10 + (u - '0');
        if (value > qint64(1) << 31)
            return false;
    }
    return negative ? value <= qint64(1) << 31 : value < qint64(1) << 31;
}

qint64 IntegerValue(const QString& text)
{
    QString t = text;
    while (t.startsWith(QLatin1Char(' ')))
        t.remove(0, 1);
    for (const QString& prefix :
         {QStringLiteral("0x"), QStringLiteral("0X"), QStringLiteral("$"), QStringLiteral("x"), QStringLiteral("X")})
        if (t.startsWith(prefix))
            return qint32(t.mid(prefix.size()).toUInt(nullptr, 16));
    return t.toLongLong();
}

QString MonthStart(const QDate& anyDay)
{
    return QDate(anyDay.year(), anyDay.month(), 1).toString(QStringLiteral("yyyy-MM-dd"));
}

QString NextMonthStart(const QDate& anyDay)
{
    return QDate(anyDay.year(), anyDay.month(), 1).addMonths(1).toString(QStringLiteral("yyyy-MM-dd"));
}

QVariantList WorkerAtPlaceParams(const QString& teamName, const QString& machinePlace)
{
    return {machinePlace, teamName};
}
