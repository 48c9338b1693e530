#pragma once

#include "toolkit/ReportEngine.h"

#include <QList>
#include <QString>

// The frame both wage statements share: A4 portrait with 10 mm margins, the page header with
// title, print date and page number, the ruled table of the column header and detail bands, and
// the summary line "共 n 条数据 ... 元".
namespace wagestatement {

// One table column: its box (left, right), header text, data field and display mask.
struct Column {
    double left = 0.0;
    double right = 0.0;
    QString header{};
    QString field{};
    QString mask{}; // none: the value as it is
};

// Where the total of the summary stands and how the "元" after it is set.
struct Total {
    QString field{};
    double left = 0.0;
    double right = 0.0;
    double yuanLeft = 0.0;
    double yuanRight = 0.0; // 0: the label is as wide as its text
    Qt::Alignment yuanAlignment = Qt::AlignLeft;
};

// Band names and the names of the elements tests and readers look for.
inline const QString kTitleBand = QStringLiteral("Title");
inline const QString kHeaderBand = QStringLiteral("Header");
inline const QString kDetailBand = QStringLiteral("Detail");
inline const QString kSummaryBand = QStringLiteral("Summary");
inline const QString kFooterBand = QStringLiteral("PageFooterBand1");

// Builds the bands of a wage statement into an empty report.
void build(toolkit::Report& report, const QList<Column>& columns, const QList<double>& separators, const Total& total);

// Name of the header label of a column: the field followed by "Header".
QString headerName(const QString& field);

} // namespace wagestatement
