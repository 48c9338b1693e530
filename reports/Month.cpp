#include "reports/Month.h"

#include "data/DataModule.h"
#include "reports/WageStatement.h"
#include "toolkit/DisplayMask.h"

#include <QCoreApplication>

TSalaryReport* SalaryReport = nullptr;

TSalaryReport::TSalaryReport(QObject* owner) : toolkit::Report(owner)
{
    setObjectName(QStringLiteral("SalaryReport"));
    wagestatement::build(*this,
                         {
                             {7.9, 38.6, QStringLiteral("班组名称"), QStringLiteral("DeptName"), {}},
                             {57.4, 85.7, QStringLiteral("车床位"), QStringLiteral("Machineid"), {}},
                             {108.2, 132.0, QStringLiteral("员工名称"), QStringLiteral("WorkerName"), {}},
                             {155.6, 183.9, QStringLiteral("合计(元)"), QStringLiteral("Expr1003"), toolkit::kYuanMask},
                         },
                         {50.3, 92.3, 149.2}, {QStringLiteral("Expr1003"), 112.2, 175.9, 176.7, 0.0, Qt::AlignLeft});
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
