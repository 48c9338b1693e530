#pragma once

#include "toolkit/ReportEngine.h"

// The monthly wage report: the per-worker wage rows loaded in DM->SalaryMonthQuery, one line
// each, with the number of rows and the total at the end.
class TSalaryReport : public toolkit::Report {
    Q_OBJECT
public:
    explicit TSalaryReport(QObject* owner = nullptr);
    ~TSalaryReport() override;

    // The program's monthly wage report: created on the first request, owned by the application
    // and reused until the program ends.
    static TSalaryReport* instance();

protected:
    // Follows the current data module's SalaryMonth source.
    void beforeGenerate() override;
};

extern TSalaryReport* SalaryReport;
