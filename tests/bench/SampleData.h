#pragma once

#include <QDate>
#include <QString>

struct sqlite3;

// Sample data of a large garment workshop, for benchmarks and a demo database: cutting, sewing and
// finishing teams, workers at their machine places, styles of shirts, trousers, jackets, dresses,
// skirts and children's wear with their own steps in sewing order, priced by standard time, one
// administrator account and any number of piece-work records spread over a span of months, each
// worker's day filled with 8 to 10 hours of work. The same options give the same data, byte for
// byte.
namespace sample {

// The size of the workshop.
inline constexpr int kTeams = 10;
inline constexpr int kWorkers = 200; // kWorkers / kTeams in every team
inline constexpr int kStyles = 300;
inline constexpr int kStepsPerStyle = 15;
inline constexpr int kMaxMonths = 240;

// The administrator account the sample database holds.
inline constexpr const char* kAdminUser = "管理员";
inline constexpr const char* kAdminPassword = "123456";

struct Options {
    // Piece-work records, the same number every day of the span (up to today in the current
    // month); with fewer records than days some days stay empty.
    qint64 rows = 1'000'000;
    int months = 24;         // months the records span (1 to kMaxMonths), ending with lastMonth
    QDate lastMonth;         // any day of the last month; invalid: the current month
    quint64 seed = 20040301; // a different seed gives a different workshop of the same size
    // The size of the workshop: teams (1 to kTeams), workers spread evenly over them (at most 100 in
    // a team), styles and the steps of each (1 to 16).
    int teams = kTeams;
    int workers = kWorkers;
    int styles = kStyles;
    int stepsPerStyle = kStepsPerStyle;
    // Prices are applied to every month's records but the last; with this, to the last one too.
    bool priceLastMonth = false;
};

// A small workshop to show the program with: four teams, forty workers, a dozen styles of as many
// garments with sixteen steps each, three months of records up to today with every price applied.
Options demoOptions();

// Creates the database file at path from the schema (an existing file is replaced) and fills it.
// On failure returns false with the reason and leaves no file behind.
bool createSampleDatabase(const QString& path, const Options& options = {}, QString* error = nullptr);

// Fills an open database whose tables are empty, in one transaction (rolled back on failure).
bool fillSampleData(sqlite3* db, const Options& options = {}, QString* error = nullptr);

// The first day of the first and of the last month the records of these options span.
QDate firstMonthOf(const Options& options);
QDate lastMonthOf(const Options& options);

} // namespace sample
