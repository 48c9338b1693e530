#pragma once

#include <QString>
#include <QVariant>

namespace toolkit {

// The yuan amount mask of lists and reports: full-width yuan sign, thousands separators, three decimals.
inline const QString kYuanMask = QStringLiteral("￥#,##0.000");

// Formats a number with a display mask of the kinds the lists and reports use: literal text before
// the digits ("￥"), "#" and "0" digit places, "," for thousands separators and "." for the
// decimals, as in "0", "#,##0.00" and "￥#,##0.000". Halves round away from zero.
QString formatNumber(double value, const QString& mask);

// Display text of a field value under a mask: numbers through formatNumber, dates through a date
// mask such as "yyyy-MM-dd" (also for dates held as text), an empty mask gives the plain text,
// and an empty (null) value always gives an empty text.
QString applyDisplayMask(const QVariant& value, const QString& mask);

} // namespace toolkit
