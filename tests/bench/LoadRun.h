#pragma once

#include <QDate>
#include <QString>
#include <QStringList>

// Several clerks saving records of one month on a server at once, while the month's prices are
// applied twice and its wage summary is read in a loop: each in a process of its own, started by
// runLoad, each doing its work with the program's own windows and functions.
namespace loadrun {

struct LoadOptions {
    QString uri;          // the server database, holding a workshop and no record of the month
    QString childProgram; // dorvik-load-child
    QDate month;          // any day of the month the clerks save into
    int clerks = 4;
    int addsPerClerk = 5000;
    double firstPrice = 1.5;   // every step's price before the first application
    double secondPrice = 2.25; // and before the second
};

struct LoadResult {
    int clerks = 0;
    QStringList errors; // a process that failed, a box nobody expected, a check that could not run
    int adds = 0;       // adds that the clerks saved
    double seconds = 0; // from the start signal to the last clerk's last add
    double p99AddMs = 0;
    double p50AddMs = 0;
    int retries = 0; // adds that failed (lock timeout, deadlock) and were tried again
    // Where an add's time goes: adds that overlap a price application, and those that do not;
    // the catch-up with the others' notices between adds.
    int addsDuringPricing = 0;
    double p99AddDuringPricingMs = 0;
    double p99AddOutsidePricingMs = 0;
    double meanAddOutsidePricingMs = 0;
    double meanCatchUpMs = 0;
    double p99CatchUpMs = 0;
    int applications = 0; // price applications done while the clerks saved
    QList<double> applicationSeconds;

    // The checks.
    qint64 newRecords = 0;
    qint64 pricedAtOtherPrices = 0; // after the last application, records priced at other prices
    qint64 unpricedBelowPriced = 0; // records left unpriced with a key below a priced one
    qint64 pricedRecords = 0;       // records the last application reached
    qint64 unpricedAfterFinal = 0;  // after one more application with the clerks done
    int summaryReads = 0;
    QStringList inconsistentReads; // a read mixing prices, or whose wage total is not quantity x price
    int listsChecked = 0;
    QStringList listMismatches; // a clerk's list that differs from a fresh read
};

LoadResult runLoad(const LoadOptions& options);

// "clerks=4 adds=20000 seconds=.. adds_per_s=.. p99_add_ms=.."
QString loadLine(const LoadResult& result);
// The breakdown and the checks, one line each.
QStringList detailLines(const LoadResult& result);

// The children's entry: dorvik-load-child <role> ...
int childMain(int argc, char** argv);

} // namespace loadrun
