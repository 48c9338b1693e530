#include "reports/WageStatement.h"

#include "toolkit/DisplayMask.h"

namespace wagestatement {

using toolkit::ReportBandType;
using toolkit::ReportElement;
using toolkit::ReportRuleShape;
using toolkit::ReportSystemValue;

namespace {

constexpr double kTitleHeight = 18.8;
constexpr double kHeaderHeight = 6.35;
constexpr double kDetailHeight = 6.9;
constexpr double kSummaryHeight = 6.35;
constexpr double kFooterHeight = 5.8;

constexpr double kTextLine = 4.2;   // box height of an 11 point line of the page header
constexpr double kSideBar = 0.5;    // width of the table's outer bars
constexpr double kRightBar = 189.4; // left edge of the right-hand bar
constexpr double kSeparator = 0.26; // width of a column separator
constexpr double kSummaryBar = 0.5; // height of the bar that closes the table

// The outer bars and the column separators of a table band.
void addTableRules(toolkit::ReportBand& band, const QList<double>& separators)
{
    band.elements.append(ReportElement::makeRule(QStringLiteral("LeftBar"), ReportRuleShape::FilledBar,
                                                 QRectF(0.0, 0.0, kSideBar, band.height)));
    band.elements.append(ReportElement::makeRule(QStringLiteral("RightBar"), ReportRuleShape::FilledBar,
                                                 QRectF(kRightBar, 0.0, kSideBar, band.height)));
    for (int i = 0; i < separators.size(); ++i)
        band.elements.append(
            ReportElement::makeRule(QStringLiteral("Separator%1").arg(i + 1), ReportRuleShape::VerticalLine,
                                    QRectF(separators.at(i) - kSeparator / 2, 0.0, kSeparator, band.height)));
}

} // namespace

QString headerName(const QString& field)
{
    return field + QStringLiteral("Header");
}

void build(toolkit::Report& report, const QList<Column>& columns, const QList<double>& separators, const Total& total)
{
    toolkit::ReportPageSettings& page = report.pageSettings();
    page = toolkit::ReportPageSettings(); // A4 portrait, 10 mm margins, empty title
    page.pageHeaderOnFirstPage = true;
    page.pageFooterOnLastPage = true;
    page.printIfEmpty = true;
    page.copies = 1;

    const Qt::Alignment topLeft = Qt::AlignLeft | Qt::AlignTop;
    toolkit::ReportBand& title = report.addBand(kTitleBand, ReportBandType::PageHeader, kTitleHeight);
    title.elements = {
        ReportElement::makeLabel(QStringLiteral("TitleLabel"), QStringLiteral("蓝 栎 工 资 条"),
                                 QRectF(3.2, 3.2, 187.3 - 3.2, 7.9), Qt::AlignCenter, 14.0),
        ReportElement::makeLabel(QStringLiteral("PrintDateLabel"), QStringLiteral("打印日期:"),
                                 QRectF(2.1, 13.8, 0.0, kTextLine), topLeft),
        ReportElement::makeSystem(QStringLiteral("PrintDate"), ReportSystemValue::DateTime,
                                  QRectF(20.1, 13.8, 0.0, kTextLine), topLeft),
        ReportElement::makeLabel(QStringLiteral("PageLabel"), QStringLiteral("第"), QRectF(165.4, 13.8, 0.0, kTextLine),
                                 topLeft),
        ReportElement::makeSystem(QStringLiteral("PageNumber"), ReportSystemValue::PageNumber,
                                  QRectF(169.9, 13.8, 183.9 - 169.9, kTextLine), Qt::AlignHCenter | Qt::AlignTop),
        ReportElement::makeLabel(QStringLiteral("PageUnitLabel"), QStringLiteral("页"),
                                 QRectF(184.2, 13.8, 0.0, kTextLine), topLeft),
        ReportElement::makeRule(QStringLiteral("TitleBar"), ReportRuleShape::FilledBar,
                                QRectF(0.0, 18.3, page.usableWidth(), 0.8)),
    };

    toolkit::ReportBand& header = report.addBand(kHeaderBand, ReportBandType::ColumnHeader, kHeaderHeight);
    addTableRules(header, separators);
    for (const Column& column : columns)
        header.elements.append(ReportElement::makeLabel(
            headerName(column.field), column.header,
            QRectF(column.left, 0.0, column.right - column.left, kHeaderHeight), Qt::AlignCenter));

    toolkit::ReportBand& detail = report.addBand(kDetailBand, ReportBandType::Detail, kDetailHeight);
    detail.elements.append(ReportElement::makeRule(QStringLiteral("TopLine"), ReportRuleShape::HorizontalLine,
                                                   QRectF(0.0, 0.0, kRightBar, kSeparator)));
    addTableRules(detail, separators);
    for (const Column& column : columns)
        detail.elements.append(ReportElement::makeField(
            column.field, column.field,
            QRectF(column.left, kSeparator, column.right - column.left, kDetailHeight - kSeparator), column.mask,
            Qt::AlignCenter));

    // The summary's texts stand centred in the height below its bar.
    const double top = kSummaryBar;
    const double height = kSummaryHeight - kSummaryBar;
    toolkit::ReportBand& summary = report.addBand(kSummaryBand, ReportBandType::Summary, kSummaryHeight);
    const Qt::Alignment middleLeft = Qt::AlignLeft | Qt::AlignVCenter;
    summary.elements = {
        ReportElement::makeRule(QStringLiteral("SummaryBar"), ReportRuleShape::FilledBar,
                                QRectF(0.0, 0.0, kRightBar + kSideBar, kSummaryBar)),
        ReportElement::makeLabel(QStringLiteral("CountLabel"), QStringLiteral("共"), QRectF(1.3, top, 0.0, height),
                                 middleLeft),
        ReportElement::makeSystem(QStringLiteral("RowCount"), ReportSystemValue::RowCount,
                                  QRectF(6.6, top, 19.3 - 6.6, height), Qt::AlignCenter),
        ReportElement::makeLabel(QStringLiteral("CountUnitLabel"), QStringLiteral("条数据"),
                                 QRectF(20.6, top, 0.0, height), middleLeft),
        ReportElement::makeSum(QStringLiteral("Total"), total.field,
                               QRectF(total.left, top, total.right - total.left, height), toolkit::kYuanMask,
                               Qt::AlignRight | Qt::AlignVCenter, 12.0),
        ReportElement::makeLabel(
            QStringLiteral("YuanLabel"), QStringLiteral("元"),
            QRectF(total.yuanLeft, top, total.yuanRight > 0.0 ? total.yuanRight - total.yuanLeft : 0.0, height),
            total.yuanAlignment | Qt::AlignVCenter),
    };

    report.addBand(kFooterBand, ReportBandType::PageFooter, kFooterHeight);
}

} // namespace wagestatement
