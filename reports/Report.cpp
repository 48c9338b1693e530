#include "reports/Report.h"

#include "data/DataModule.h"
#include "reports/WageStatement.h"
#include "toolkit/DisplayMask.h"

#include <QCoreApplication>

TQuickReport* QuickReport = nullptr;

TQuickReport::TQuickReport(QObject* owner) : toolkit::Report(owner)
{
    setObjectName(QStringLiteral("QuickReport"));
    const QString& yuan = toolkit::kYuanMask;
    wagestatement::build(
        *this,
        {
            {.left = 1.6, .right = 32.3, .header = QStringLiteral("员工名称"), .field = QStringLiteral("WorkerName")},
            {.left = 35.5, .right = 59.3, .header = QStringLiteral("款式号"), .field = QStringLiteral("KindId")},
            {.left = 61.6, .right = 84.4, .header = QStringLiteral("工序"), .field = QStringLiteral("Process")},
            {.left = 86.5, .right = 113.8, .header = QStringLiteral("日期"), .field = QStringLiteral("ProductDate")},
            {.left = 116.4,
             .right = 134.7,
             .header = QStringLiteral("数量(件)"),
             .field = QStringLiteral("ProductCount")},
            {.left = 137.1,
             .right = 157.4,
             .header = QStringLiteral("单价(元)"),
             .field = QStringLiteral("ProcessPrice"),
             .mask = yuan},
            {.left = 160.1,
             .right = 188.4,
             .header = QStringLiteral("合计(元)"),
             .field = QStringLiteral("Expr1011"),
             .mask = yuan},
        },
        {34.7, 60.1, 85.7, 115.1, 135.7, 158.5},
        {.field = QStringLiteral("Expr1011"),
         .left = 122.8,
         .right = 175.9,
         .yuanLeft = 176.7,
         .yuanRight = 187.1,
         .yuanAlignment = Qt::AlignHCenter});
    setDataSource(DM ? DM->SalarySource : nullptr);
}

TQuickReport::~TQuickReport()
{
    if (QuickReport == this)
        QuickReport = nullptr;
}

TQuickReport* TQuickReport::instance()
{
    if (!QuickReport)
        QuickReport = new TQuickReport(QCoreApplication::instance());
    return QuickReport;
}

void TQuickReport::beforeGenerate()
{
    setDataSource(DM ? DM->SalarySource : nullptr);
}
