#pragma once

#include "toolkit/ReportEngine.h"

// The detail report: the piece-work records loaded in DM->SalaryQuery, one line each, with the
// number of records and the total amount at the end.
class TQuickReport : public toolkit::Report {
    Q_OBJECT
public:
    explicit TQuickReport(QObject* owner = nullptr);
    ~TQuickReport() override;

    // The program's detail report: created on the first request, owned by the application and
    // reused until the program ends.
    static TQuickReport* instance();

protected:
    // Follows the current data module's SalarySource.
    void beforeGenerate() override;
};

extern TQuickReport* QuickReport;
