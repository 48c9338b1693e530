#include "reports/Slip.h"

#include "data/DataModule.h"
#include "data/DataSet.h"
#include "data/DataSource.h"
#include "data/Sql.h"
#include "data/SqlText.h"
#include "toolkit/CapitalAmount.h"
#include "toolkit/DisplayMask.h"

#include <QCoreApplication>

TSlipReport* SlipReport = nullptr;

using toolkit::ReportBandType;
using toolkit::ReportElement;
using toolkit::ReportRuleShape;

namespace {

constexpr double kHeaderHeight = 24.0;
constexpr double kDetailHeight = 5.0;
constexpr double kFooterHeight = 19.0;
constexpr double kWidth = 190.0; // A4 less the 10 mm margins
constexpr double kLine = 5.0;    // box height of a line of text

struct Column {
    double left;
    double right;
    QString header;
    QString field;
    QString mask;
    Qt::Alignment alignment;
};

const QList<Column>& columns()
{
    static const QList<Column> list = {
        {0.0, 40.0, QStringLiteral("款式号"), QStringLiteral("KindId"), {}, Qt::AlignCenter},
        {40.0, 70.0, QStringLiteral("工序"), QStringLiteral("Process"), {}, Qt::AlignCenter},
        {70.0, 100.0, QStringLiteral("件数"), QStringLiteral("Pieces"), QStringLiteral("0"), Qt::AlignCenter},
        {100.0, 140.0, QStringLiteral("单价(元)"), QStringLiteral("ProcessPrice"), toolkit::kYuanMask,
         Qt::AlignRight | Qt::AlignVCenter},
        {140.0, 185.0, QStringLiteral("金额(元)"), QStringLiteral("Amount"), toolkit::kYuanMask,
         Qt::AlignRight | Qt::AlignVCenter},
    };
    return list;
}

} // namespace

TSlipReport::TSlipReport(QObject* owner) : toolkit::Report(owner)
{
    setObjectName(QStringLiteral("SlipReport"));
    toolkit::ReportPageSettings& page = pageSettings();
    page = toolkit::ReportPageSettings(); // A4 portrait, 10 mm margins
    page.printIfEmpty = false;

    const Qt::Alignment left = Qt::AlignLeft | Qt::AlignVCenter;
    toolkit::ReportBand& header = addBand(slipreport::kHeaderBand, ReportBandType::GroupHeader, kHeaderHeight);
    header.groupFields = {QStringLiteral("WorkerName"), QStringLiteral("DeptName"), QStringLiteral("Machineid")};
    header.keepTogether = true;
    header.elements = {
        ReportElement::makeLabel(QStringLiteral("Title"), QStringLiteral("工 资 条"), QRectF(0.0, 2.0, kWidth, 7.0),
                                 Qt::AlignCenter, 14.0),
        ReportElement::makeLabel(QStringLiteral("NameLabel"), QStringLiteral("姓名:"), QRectF(2.0, 10.0, 0.0, kLine),
                                 left),
        ReportElement::makeField(QStringLiteral("WorkerName"), QStringLiteral("WorkerName"),
                                 QRectF(14.0, 10.0, 36.0, kLine), {}, left),
        ReportElement::makeLabel(QStringLiteral("TeamLabel"), QStringLiteral("班组:"), QRectF(52.0, 10.0, 0.0, kLine),
                                 left),
        ReportElement::makeField(QStringLiteral("DeptName"), QStringLiteral("DeptName"),
                                 QRectF(64.0, 10.0, 36.0, kLine), {}, left),
        ReportElement::makeLabel(QStringLiteral("PlaceLabel"), QStringLiteral("车位:"), QRectF(102.0, 10.0, 0.0, kLine),
                                 left),
        ReportElement::makeField(QStringLiteral("Machineid"), QStringLiteral("Machineid"),
                                 QRectF(114.0, 10.0, 20.0, kLine), {}, left),
        ReportElement::makeLabel(QStringLiteral("MonthLabel"), QStringLiteral("月份:"), QRectF(140.0, 10.0, 0.0, kLine),
                                 left),
        ReportElement::makeLabel(slipreport::kMonth, QString(), QRectF(152.0, 10.0, 0.0, kLine), left),
        ReportElement::makeRule(QStringLiteral("HeadingsTop"), ReportRuleShape::HorizontalLine,
                                QRectF(0.0, 16.5, kWidth, 0.2)),
        ReportElement::makeRule(QStringLiteral("HeadingsBottom"), ReportRuleShape::HorizontalLine,
                                QRectF(0.0, 23.3, kWidth, 0.2)),
    };
    for (const Column& column : columns())
        header.elements.append(ReportElement::makeLabel(column.field + QStringLiteral("Header"), column.header,
                                                        QRectF(column.left, 17.0, column.right - column.left, 6.0),
                                                        Qt::AlignCenter));
    // Added after the header is complete: a new band may move the bands before it.
    toolkit::ReportBand& detail = addBand(slipreport::kDetailBand, ReportBandType::Detail, kDetailHeight);
    for (const Column& column : columns())
        detail.elements.append(ReportElement::makeField(
            column.field, column.field, QRectF(column.left, 0.0, column.right - column.left, kDetailHeight),
            column.mask, column.alignment));

    toolkit::ReportBand& footer = addBand(slipreport::kFooterBand, ReportBandType::GroupFooter, kFooterHeight);
    ReportElement words = ReportElement::makeSum(slipreport::kTotalWords, QStringLiteral("Amount"),
                                                 QRectF(14.0, 7.5, 0.0, kLine), {}, left, 11.0);
    words.totalText = [](double total) { return toolkit::capitalAmount(total); };
    footer.elements = {
        ReportElement::makeRule(QStringLiteral("TotalLine"), ReportRuleShape::HorizontalLine,
                                QRectF(0.0, 0.5, kWidth, 0.2)),
        ReportElement::makeLabel(QStringLiteral("TotalLabel"), QStringLiteral("合计:"), QRectF(2.0, 1.5, 0.0, kLine),
                                 left),
        ReportElement::makeSum(slipreport::kTotal, QStringLiteral("Amount"), QRectF(140.0, 1.5, 45.0, kLine),
                               toolkit::kYuanMask, Qt::AlignRight | Qt::AlignVCenter, 11.0),
        ReportElement::makeLabel(QStringLiteral("WordsLabel"), QStringLiteral("大写:"), QRectF(2.0, 7.5, 0.0, kLine),
                                 left),
        words,
        ReportElement::makeRule(slipreport::kCutLine, ReportRuleShape::DashedLine,
                                QRectF(0.0, kFooterHeight - 2.0, kWidth, 0.2)),
    };
}

TSlipReport::~TSlipReport()
{
    if (SlipReport == this)
        SlipReport = nullptr;
}

TSlipReport* TSlipReport::instance()
{
    if (!SlipReport)
        SlipReport = new TSlipReport(QCoreApplication::instance());
    return SlipReport;
}

QString TSlipReport::linesSql(data::Dialect dialect, bool oneWorker)
{
    // Grouped as the month summary groups (its grouping hint too), so that a slip's total is the
    // summary's wage of that worker, team and place.
    return QStringLiteral("SELECT a.WorkerName, a.DeptName, a.Machineid, a.KindId, a.Process, a.ProcessPrice, "
                          "sum(a.ProductCount) AS Pieces, sum(a.productCount*a.ProcessPrice) AS Amount "
                          "FROM Salary a, Process b Where a.KindId=b.ProductId And a.Process=b.Process "
                          "And a.ProcessDate>=? And a.ProcessDate<?") +
           (oneWorker ? QStringLiteral(" And a.WorkerName=?") : QString()) + QStringLiteral(" GROUP BY ") +
           QStringList{data::unindexedTerm(dialect, QStringLiteral("a.WorkerName")),
                       data::unindexedTerm(dialect, QStringLiteral("a.DeptName")),
                       data::unindexedTerm(dialect, QStringLiteral("a.Machineid")),
                       QStringLiteral("a.KindId"),
                       QStringLiteral("a.Process"),
                       QStringLiteral("a.ProcessPrice")}
               .join(QStringLiteral(", ")) +
           QStringLiteral(" ORDER BY a.WorkerName, a.DeptName, a.Machineid, a.KindId, length(a.Process), a.Process, "
                          "coalesce(a.ProcessPrice, -1)");
}

QString TSlipReport::monthText(const QDate& month)
{
    return month.toString(QStringLiteral("yyyy年MM月"));
}

bool TSlipReport::load(const QDate& month, const QString& worker)
{
    // The lines live with the data module, on its connection; a new data module gets new ones.
    if (!m_lines || m_lines->parent() != DM) {
        m_lines = new data::DataSet(QStringLiteral("SlipQuery"), DM->connection(), DM);
        m_source = new data::DataSource(QStringLiteral("SlipSource"), m_lines, DM);
    }
    setDataSource(m_source);
    for (ReportElement& el : band(slipreport::kHeaderBand)->elements)
        if (el.name == slipreport::kMonth)
            el.text = monthText(month);
    QVariantList params{MonthStart(month), NextMonthStart(month)};
    if (!worker.isEmpty())
        params << worker;
    return OpenQuery(m_lines, linesSql(CurrentDialect(), !worker.isEmpty()), params);
}

data::DataSet* TSlipReport::lines() const
{
    return m_lines;
}
