#include "reports/Month.h"

#include "data/DataModule.h"
#include "reports/WageStatement.h"
#include "toolkit/DisplayMask.h"

#include <QCoreApplication>

TSalaryReport* SalaryReport = nullptr;

TSalaryReport::TSalaryReport(QObject* owner) : toolkit::Report(owner)
{
    setObjectName(QStringLiteral("SalaryReport"));
    wagestatement::build(
        *this,
        {
            {.left = 7.9, .right = 38.6, .header = QStringLiteral("班组名称"), .field = QStringLiteral("DeptName")},
            {.left = 57.4, .right = 85.7, .header = QStringLiteral("车床位"), .field = QStringLiteral("Machineid")},
            {.left = 108.2,
             .right = 132.0,
             .header = QStringLiteral("员工名称"),
             .field = QStringLiteral("WorkerName")},
            {.left = 155.6,
             .right = 183.9,
             .header = QStringLiteral("合计(元)"),
             .field = QStringLiteral("Expr1003"),
             .mask = toolkit::kYuanMask},
        },
        {50.3, 92.3, 149.2},
        {.field = QStringLiteral("Expr1003"),
         .left = 112.2,
         .right = 175.9,
         .yuanLeft = 176.7,
         .yuanRight = 0.0,
         .yuanAlignment = Qt::AlignLeft});
    setDataSource(DM ? DM->SalaryMonth : nullptr);
}

TSalaryReport::~TSalaryReport()
{
    if (SalaryReport == this)
        SalaryReport = nullptr;
}

TSalaryReport* TSalaryReport::instance()
{
    if (!SalaryReport)
        SalaryReport = new TSalaryReport(QCoreApplication::instance());
    return SalaryReport;
}

void TSalaryReport::beforeGenerate()
{
    setDataSource(DM ? DM->SalaryMonth : nullptr);
}
