#pragma once

#include <QString>
#include <QVariant>

namespace toolkit {

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
