#pragma once

#include <QString>
#include <QVariant>

namespace toolkit {

// A number as the decimal the user typed or a sum of such numbers means: a double is read as its
// shortest text cut to 15 significant digits (what a double holds reliably), a whole number exactly.
// Whatever shows or exports a number rounds it here, half away from zero on that decimal, so that
// 1.0005 gives 1.001 although the double lies just below it, and the list, the report and the
// exported file agree on every digit.
struct Decimal {
    char digits[24] = {}; // the significant digits, no trailing zeros; none for zero
    int count = 0;
    int point = 0; // digits before the decimal point: 12.5 is "125" with 2, 0.05 is "5" with -1
    bool negative = false;

    static Decimal of(double value); // a finite value
    static Decimal of(qint64 value);

    bool isZero() const { return count == 0; }
    void roundToDecimals(int decimals);
    // The characters writePlain may write with this many decimals at least.
    qsizetype plainSize(int minDecimals) const;
    // The number without grouping: a minus sign unless it is zero, at least one integer digit, its
    // decimals and zeros up to minDecimals. Returns the end of the text.
    char* writePlain(char* out, int minDecimals) const;

private:
    void roundToDigits(int n);
};

// The yuan amount mask of lists and reports: full-width yuan sign, thousands separators, three decimals.
inline const QString kYuanMask = QStringLiteral("￥#,##0.000");

// Formats a number with a display mask of the kinds the lists and reports use: literal text before
// the digits ("￥"), "0" digit places that always show, "#" places that show only when needed, ","
// for thousands separators and "." for the decimals, as in "0", "0.###", "#,##0.00" and
// "￥#,##0.000". The number is taken as the decimal the user typed or the sum reads (at most 15
// significant digits, as a double holds them) and rounded half away from zero on that decimal, so
// 1.0005 shows 1.001 with three decimals although the double lies just below it.
QString formatNumber(double value, const QString& mask);

// A number with no mask: every decimal it has and no exponent ("1234567.8915", "10000000000000000").
QString formatPlainNumber(double value);

// Display text of a field value under a mask: numbers through formatNumber (whole numbers exactly,
// even past 15 digits), dates through a date mask such as "yyyy-MM-dd" (also for dates held as
// text), an empty mask gives the plain text (numbers as formatPlainNumber), and an empty (null)
// value always gives an empty text.
QString applyDisplayMask(const QVariant& value, const QString& mask);

} // namespace toolkit
