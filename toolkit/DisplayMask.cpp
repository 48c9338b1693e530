#include "toolkit/DisplayMask.h"

#include <QDate>
#include <QDateTime>
#include <QRegularExpression>

#include <cmath>

namespace toolkit {

namespace {

struct NumberMask {
    QString prefix;
    QString suffix;
    int minIntegerDigits = 0;
    int decimals = 0;
    bool thousands = false;
};

NumberMask parseNumberMask(const QString& mask)
{
    NumberMask parsed;
    const auto isPattern = [](QChar c) { return c == '#' || c == '0' || c == ',' || c == '.'; };
    int start = 0;
    while (start < mask.size() && !isPattern(mask.at(start)))
        ++start;
    int end = start;
    while (end < mask.size() && isPattern(mask.at(end)))
        ++end;
    parsed.prefix = mask.left(start);
    parsed.suffix = mask.mid(end);
    const QString pattern = mask.mid(start, end - start);
    const int dot = pattern.indexOf(QLatin1Char('.'));
    const QString integerPart = dot < 0 ? pattern : pattern.left(dot);
    parsed.thousands = integerPart.contains(QLatin1Char(','));
    parsed.minIntegerDigits = int(integerPart.count(QLatin1Char('0')));
    parsed.decimals = dot < 0 ? 0 : int(pattern.mid(dot + 1).count(QLatin1Char('0')));
    return parsed;
}

QString groupThousands(const QString& digits)
{
    QString out;
    const int n = int(digits.size());
    for (int i = 0; i < n; ++i) {
        if (i > 0 && (n - i) % 3 == 0)
            out += QLatin1Char(',');
        out += digits.at(i);
    }
    return out;
}

bool looksLikeDateMask(const QString& mask)
{
    return mask.contains(QLatin1String("yy")) || mask.contains(QLatin1String("dd"));
}

} // namespace

QString formatNumber(double value, const QString& mask)
{
    const NumberMask m = parseNumberMask(mask);
    // Nudge by a few units in the last place so that binary halves (2.0005) round away from zero.
    const double magnitude = std::nextafter(std::nextafter(std::fabs(value), INFINITY), INFINITY);
    QString text = QString::number(magnitude, 'f', m.decimals);
    QString integerDigits = text.section(QLatin1Char('.'), 0, 0);
    const QString fraction = m.decimals > 0 ? text.section(QLatin1Char('.'), 1, 1) : QString();
    // "#" places print no leading zero: 0.5 under "#.00" reads ".50".
    if (m.minIntegerDigits == 0 && integerDigits == QLatin1String("0"))
        integerDigits.clear();
    while (integerDigits.size() < m.minIntegerDigits)
        integerDigits.prepend(QLatin1Char('0'));
    if (m.thousands)
        integerDigits = groupThousands(integerDigits);
    QString number = integerDigits;
    if (m.decimals > 0)
        number += QLatin1Char('.') + fraction;
    const bool negative = value < 0 && number.contains(QRegularExpression(QStringLiteral("[1-9]")));
    return (negative ? QStringLiteral("-") : QString()) + m.prefix + number + m.suffix;
}

QString applyDisplayMask(const QVariant& value, const QString& mask)
{
    if (!value.isValid() || value.isNull())
        return QString();
    if (mask.isEmpty())
        return value.toString();
    if (looksLikeDateMask(mask)) {
        QDate date = value.typeId() == QMetaType::QDate ? value.toDate() : QDate();
        if (value.typeId() == QMetaType::QDateTime)
            date = value.toDateTime().date();
        if (!date.isValid())
            date = QDate::fromString(value.toString().left(10), QStringLiteral("yyyy-MM-dd"));
        return date.isValid() ? date.toString(mask) : value.toString();
    }
    bool ok = false;
    const double number = value.toDouble(&ok);
    return ok ? formatNumber(number, mask) : value.toString();
}

} // namespace toolkit
