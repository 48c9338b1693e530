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
    wagestatement::build(*this,
                         {
                             {1.6, 32.3, QStringLiteral("员工名称"), QStringLiteral("WorkerName"), {}},
                             {35.5, 59.3, QStringLiteral("款式号"), QStringLiteral("KindId"), {}},
                             {61.6, 84.4, QStringLiteral("工序"), QStringLiteral("Process"), {}},
                             {86.5, 113.8, QStringLiteral("日期"), QStringLiteral("ProductDate"), {}},
                             {116.4, 134.7, QStringLiteral("数量(件)"), QStringLiteral("ProductCount"), {}},
                             {137.1, 157.4, QStringLiteral("单价(元)"), QStringLiteral("ProcessPrice"), yuan},
                             {160.1, 188.4, QStringLiteral("合计(元)"), QStringLiteral("Expr1011"), yuan},
                         },
                         {34.7, 60.1, 85.7, 115.1, 135.7, 158.5},
                         {QStringLiteral("Expr1011"), 122.8, 175.9, 176.7, 187.1, Qt::AlignHCenter});
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
