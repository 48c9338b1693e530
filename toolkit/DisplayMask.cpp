#include "toolkit/DisplayMask.h"

#include <QDate>
#include <QDateTime>

#include <charconv>
#include <cmath>
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

// A non-negative decimal number as digits and the place of the decimal point: 12.5 is {"125", 2},
// 0.05 is {"5", -1}; zero has no digits.
struct Decimal {
    std::string digits;
    int point = 0;
    bool negative = false;

    // Rounds half away from zero to the given number of decimals.
    void roundToDecimals(int decimals) { roundToDigits(point + decimals); }

    // Keeps the first count digits, rounding half away from zero on the next one.
    void roundToDigits(int count)
    {
        if (count >= int(digits.size()))
            return;
        const bool up = count >= 0 && digits[size_t(count)] >= '5';
        digits.resize(size_t(std::max(count, 0)));
        if (up) {
            int i = count - 1;
            while (i >= 0 && digits[size_t(i)] == '9')
                digits[size_t(i--)] = '0';
            if (i >= 0) {
                ++digits[size_t(i)];
            } else {
                digits.insert(digits.begin(), '1');
                ++point;
            }
        }
        while (!digits.empty() && digits.back() == '0')
            digits.pop_back();
        if (digits.empty())
            point = 0;
    }

    QString integerDigits() const
    {
        QString out;
        for (int i = 0; i < point; ++i)
            out += QLatin1Char(i < int(digits.size()) ? digits[size_t(i)] : '0');
        return out;
    }

    // All decimals, without trailing zeros.
    QString decimalDigits() const
    {
        QString out;
        for (int i = std::min(point, 0); i < int(digits.size()); ++i)
            if (i >= point)
                out += QLatin1Char(i < 0 ? '0' : digits[size_t(i)]);
        return out;
    }
};

// A double holds 15 significant decimal digits reliably: the shortest text that reads back as the
// same double, cut to 15 digits, is the number the user typed or a sum of such numbers means.
constexpr int kSignificantDigits = std::numeric_limits<double>::digits10;

Decimal decimalOf(double value)
{
    Decimal d;
    d.negative = std::signbit(value);
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, std::fabs(value), std::chars_format::scientific);
    const std::string text(buffer, result.ptr);
    const size_t e = text.find('e');
    for (size_t i = 0; i < e; ++i)
        if (text[i] != '.')
            d.digits += text[i];
    d.point = std::stoi(text.substr(e + 1)) + 1;
    while (!d.digits.empty() && d.digits.back() == '0')
        d.digits.pop_back();
    if (d.digits.empty())
        d.point = 0;
    d.roundToDigits(kSignificantDigits);
    return d;
}

Decimal decimalOf(qlonglong value)
{
    Decimal d;
    d.negative = value < 0;
    // Through the unsigned type, so that the smallest value has a magnitude too.
    const qulonglong magnitude = d.negative ? 0 - qulonglong(value) : qulonglong(value);
    d.digits = QString::number(magnitude).toStdString();
    d.point = int(d.digits.size());
    while (!d.digits.empty() && d.digits.back() == '0')
        d.digits.pop_back();
    if (d.digits.empty())
        d.point = 0;
    return d;
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
    QString integerDigits = d.integerDigits();
    while (integerDigits.size() < m.minIntegerDigits)
        integerDigits.prepend(QLatin1Char('0'));
    if (m.thousands)
        integerDigits = groupThousands(integerDigits);
    QString decimals = d.decimalDigits();
    while (decimals.size() < m.minDecimals)
        decimals += QLatin1Char('0');
    QString number = integerDigits;
    if (!decimals.isEmpty())
        number += QLatin1Char('.') + decimals;
    // A number that rounds to zero shows no sign.
    const bool negative = d.negative && !d.digits.empty();
    return (negative ? QStringLiteral("-") : QString()) + m.prefix + number + m.suffix;
}

QString plainText(const Decimal& d)
{
    QString integerDigits = d.integerDigits();
    if (integerDigits.isEmpty())
        integerDigits = QStringLiteral("0");
    const QString decimals = d.decimalDigits();
    const bool negative = d.negative && !d.digits.empty();
    return (negative ? QStringLiteral("-") : QString()) + integerDigits +
           (decimals.isEmpty() ? QString() : QLatin1Char('.') + decimals);
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

QString formatNumber(double value, const QString& mask)
{
    if (!std::isfinite(value))
        return QString();
    return formatDecimal(decimalOf(value), parseNumberMask(mask));
}

QString formatPlainNumber(double value)
{
    return std::isfinite(value) ? plainText(decimalOf(value)) : QString();
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
        return formatDecimal(decimalOf(value.toLongLong()), parseNumberMask(mask));
    bool ok = false;
    const double number = value.toDouble(&ok);
    return ok ? formatNumber(number, mask) : value.toString();
}

} // namespace toolkit
