#include "toolkit/DisplayMask.h"

#include <QDate>
#include <QDateTime>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

namespace toolkit {

namespace {

struct NumberMask {
    QString prefix;
    QString suffix;
    int minIntegerDigits = 0;
    int minDecimals = 0;
    int maxDecimals = 0;
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
    const QString decimalPart = dot < 0 ? QString() : pattern.mid(dot + 1);
    parsed.thousands = integerPart.contains(QLatin1Char(','));
    parsed.minIntegerDigits = int(integerPart.count(QLatin1Char('0')));
    parsed.minDecimals = int(decimalPart.count(QLatin1Char('0')));
    parsed.maxDecimals = parsed.minDecimals + int(decimalPart.count(QLatin1Char('#')));
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

QString formatDecimal(Decimal d, const NumberMask& m)
{
    d.roundToDecimals(m.maxDecimals);
    QString integerDigits;
    for (int i = 0; i < d.point; ++i)
        integerDigits += QLatin1Char(i < d.count ? d.digits[i] : '0');
    while (integerDigits.size() < m.minIntegerDigits)
        integerDigits.prepend(QLatin1Char('0'));
    if (m.thousands)
        integerDigits = groupThousands(integerDigits);
    QString decimals;
    for (int i = std::min(d.point, 0); i < d.count; ++i)
        if (i >= d.point)
            decimals += QLatin1Char(i < 0 ? '0' : d.digits[i]);
    while (decimals.size() < m.minDecimals)
        decimals += QLatin1Char('0');
    QString number = integerDigits;
    if (!decimals.isEmpty())
        number += QLatin1Char('.') + decimals;
    // A number that rounds to zero shows no sign.
    const bool negative = d.negative && !d.isZero();
    return (negative ? QStringLiteral("-") : QString()) + m.prefix + number + m.suffix;
}

QString plainText(const Decimal& d)
{
    QByteArray text(d.plainSize(0), Qt::Uninitialized);
    text.truncate(d.writePlain(text.data(), 0) - text.constData());
    return QString::fromLatin1(text);
}

bool isWholeNumber(const QVariant& value)
{
    switch (value.typeId()) {
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::Short:
    case QMetaType::Long: return true;
    default: return false;
    }
}

bool looksLikeDateMask(const QString& mask)
{
    return mask.contains(QLatin1String("yy")) || mask.contains(QLatin1String("dd"));
}

} // namespace

Decimal Decimal::of(double value)
{
    Decimal d;
    d.negative = std::signbit(value);
    // The shortest text that reads back as the same double, e.g. "6.9225e+01".
    char text[48];
    const auto result = std::to_chars(text, text + sizeof text, std::fabs(value), std::chars_format::scientific);
    const char* e = std::find(text, result.ptr, 'e');
    for (const char* c = text; c < e; ++c)
        if (*c != '.' && d.count < int(sizeof d.digits))
            d.digits[d.count++] = *c;
    int exponent = 0;
    std::from_chars(e + 1 + (e + 1 < result.ptr && e[1] == '+' ? 1 : 0), result.ptr, exponent);
    d.point = exponent + 1;
    d.roundToDigits(std::numeric_limits<double>::digits10);
    return d;
}

Decimal Decimal::of(qint64 value)
{
    Decimal d;
    d.negative = value < 0;
    // Through the unsigned type, so that the smallest value has a magnitude too.
    const quint64 magnitude = d.negative ? 0 - quint64(value) : quint64(value);
    const auto result = std::to_chars(d.digits, d.digits + sizeof d.digits, magnitude);
    d.count = int(result.ptr - d.digits);
    d.point = d.count;
    d.roundToDigits(d.count);
    return d;
}

void Decimal::roundToDecimals(int decimals)
{
    roundToDigits(point + decimals);
}

// Keeps the first n digits, rounding half away from zero on the next one, and drops trailing zeros.
void Decimal::roundToDigits(int n)
{
    if (n < count) {
        const bool up = n >= 0 && digits[n] >= '5';
        count = std::max(n, 0);
        if (up) {
            int i = count - 1;
            while (i >= 0 && digits[i] == '9')
                digits[i--] = '0';
            if (i >= 0) {
                ++digits[i];
            } else {
                // All nines (or nothing kept): 0.9996 becomes 1.000, 0.0005 becomes 0.001.
                std::memmove(digits + 1, digits, size_t(count));
                digits[0] = '1';
                ++count;
                ++point;
            }
        }
    }
    while (count > 0 && digits[count - 1] == '0')
        --count;
    if (count == 0)
        point = 0;
}

qsizetype Decimal::plainSize(int minDecimals) const
{
    // Sign, integer digits (at least one), point, decimals.
    return 3 + qsizetype(std::max(point, 0)) + qsizetype(std::max(count - point, 0)) + std::max(minDecimals, 0);
}

char* Decimal::writePlain(char* out, int minDecimals) const
{
    if (negative && count > 0)
        *out++ = '-';
    if (point <= 0)
        *out++ = '0';
    for (int i = 0; i < point; ++i)
        *out++ = i < count ? digits[i] : '0';
    char* dot = out;
    *out++ = '.';
    int decimals = 0;
    for (int i = std::min(point, 0); i < count; ++i)
        if (i >= point) {
            *out++ = i < 0 ? '0' : digits[i];
            ++decimals;
        }
    for (; decimals < minDecimals; ++decimals)
        *out++ = '0';
    return decimals == 0 ? dot : out;
}

QString formatNumber(double value, const QString& mask)
{
    if (!std::isfinite(value))
        return QString();
    return formatDecimal(Decimal::of(value), parseNumberMask(mask));
}

QString formatPlainNumber(double value)
{
    return std::isfinite(value) ? plainText(Decimal::of(value)) : QString();
}

QString applyDisplayMask(const QVariant& value, const QString& mask)
{
    if (!value.isValid() || value.isNull())
        return QString();
    if (mask.isEmpty()) {
        if (value.typeId() == QMetaType::Double || value.typeId() == QMetaType::Float)
            return formatPlainNumber(value.toDouble());
        return value.toString();
    }
    if (looksLikeDateMask(mask)) {
        QDate date = value.typeId() == QMetaType::QDate ? value.toDate() : QDate();
        if (value.typeId() == QMetaType::QDateTime)
            date = value.toDateTime().date();
        if (!date.isValid())
            date = QDate::fromString(value.toString().left(10), QStringLiteral("yyyy-MM-dd"));
        return date.isValid() ? date.toString(mask) : value.toString();
    }
    if (isWholeNumber(value))
        return formatDecimal(Decimal::of(qint64(value.toLongLong())), parseNumberMask(mask));
    bool ok = false;
    const double number = value.toDouble(&ok);
    return ok ? formatNumber(number, mask) : value.toString();
}

} // namespace toolkit
