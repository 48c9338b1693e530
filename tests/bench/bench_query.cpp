// Measures the query window's statements through the helpers the window runs, against the raw
// SQLite API in the same run, and the preview of one month's detail report:
//
//   detail_all rows=N ours=0.80 raw=0.60 ratio=1.33
//   summary_month rows=N ours=0.070 raw=0.065 ratio=1.08
//   summary_all rows=N ours=0.90 scan=0.35 ratio=2.57
//   summary_month_pg, summary_all_pg: the same on the server (with a server URI), "raw" the same
//   statement (the month) or scan (all months) done best through libpq
//   preview_month rows=N pages=1200 first_page=0.30 peak_rss_mb=180
#include "bench_query.h"

#include "SampleData.h"
#include "bench_server.h"

#include "data/DataModule.h"
#include "data/DataSet.h"
#include "data/PgEngine.h"
#include "data/Sql.h"
#include "reports/Query.h"
#include "reports/Report.h"
#include "toolkit/ReportPreview.h"

#include <QApplication>
#include <QDate>

#include <libpq-fe.h>

#include <malloc.h>
#include <sqlite3.h>
#include <time.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

namespace {

bool g_cpu = false;

double now()
{
    timespec t{};
    clock_gettime(g_cpu ? CLOCK_PROCESS_CPUTIME_ID : CLOCK_MONOTONIC, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

long statusKb(const char* key)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    const size_t keyLength = std::strlen(key);
    while (std::getline(status, line))
        if (line.compare(0, keyLength, key) == 0 && line.size() > keyLength && line[keyLength] == ':')
            return std::stol(line.substr(keyLength + 1));
    return 0;
}

void resetPeakRss()
{
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
}

using Db = std::unique_ptr<sqlite3, int (*)(sqlite3*)>;
using Statement = std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)>;

[[noreturn]] void fail(sqlite3* db, const char* what)
{
    std::fprintf(stderr, "%s: %s\n", what, db ? sqlite3_errmsg(db) : "no database");
    std::exit(1);
}

Statement prepare(sqlite3* db, const QString& sql)
{
    sqlite3_stmt* st = nullptr;
    const QByteArray text = sql.toUtf8();
    if (sqlite3_prepare_v2(db, text.constData(), int(text.size()), &st, nullptr) != SQLITE_OK)
        fail(db, text.constData());
    return Statement(st, sqlite3_finalize);
}

void bindTexts(sqlite3_stmt* st, const QStringList& texts)
{
    for (int i = 0; i < texts.size(); ++i) {
        const QByteArray bytes = texts.at(i).toUtf8();
        sqlite3_bind_text(st, i + 1, bytes.constData(), int(bytes.size()), SQLITE_TRANSIENT);
    }
}

// Steps a statement and reads every column of every row as cheaply as a reader of the raw engine
// can; returns the number of rows.
qint64 rawRead(sqlite3* db, const QString& sql, const QStringList& params, quint64* checksum)
{
    Statement st = prepare(db, sql);
    bindTexts(st.get(), params);
    const int columns = sqlite3_column_count(st.get());
    qint64 rows = 0;
    quint64 sum = 0;
    int rc;
    while ((rc = sqlite3_step(st.get())) == SQLITE_ROW) {
        for (int c = 0; c < columns; ++c) {
            switch (sqlite3_column_type(st.get(), c)) {
            case SQLITE_INTEGER: sum += quint64(sqlite3_column_int64(st.get(), c)); break;
            case SQLITE_FLOAT: sum += quint64(sqlite3_column_double(st.get(), c)); break;
            case SQLITE_TEXT: {
                const unsigned char* text = sqlite3_column_text(st.get(), c);
                sum += quint64(sqlite3_column_bytes(st.get(), c)) + (text ? text[0] : 0);
                break;
            }
            default: ++sum; break;
            }
        }
        ++rows;
    }
    if (rc != SQLITE_DONE)
        fail(db, "raw read");
    *checksum += sum;
    return rows;
}

// A summary as (worker, team, place) -> wage, from the dataset or from a raw statement.
using Wages = std::map<std::tuple<QString, QString, qint64>, double>;

Wages datasetWages(const data::DataSet* set)
{
    Wages wages;
    for (int row = 0; row < set->recordCount(); ++row)
        wages[{set->value(row, 2).toString(), set->value(row, 0).toString(), set->value(row, 1).toLongLong()}] +=
            set->value(row, 3).toDouble();
    return wages;
}

Wages rawWages(sqlite3* db, const QString& sql, const QStringList& params)
{
    Wages wages;
    Statement st = prepare(db, sql);
    bindTexts(st.get(), params);
    while (sqlite3_step(st.get()) == SQLITE_ROW)
        wages[{QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st.get(), 2))),
               QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st.get(), 0))),
               sqlite3_column_int64(st.get(), 1)}] += sqlite3_column_double(st.get(), 3);
    return wages;
}

Wages serverWages(PGconn* conn, const QByteArray& sql, const QList<QByteArray>& params)
{
    Wages wages;
    std::vector<const char*> values;
    for (const QByteArray& param : params)
        values.push_back(param.constData());
    std::unique_ptr<PGresult, void (*)(PGresult*)> result(
        PQexecParams(conn, sql.constData(), int(values.size()), nullptr, values.data(), nullptr, nullptr, 0), PQclear);
    for (int r = 0; PQresultStatus(result.get()) == PGRES_TUPLES_OK && r < PQntuples(result.get()); ++r)
        wages[{QString::fromUtf8(PQgetvalue(result.get(), r, 2)), QString::fromUtf8(PQgetvalue(result.get(), r, 0)),
               QByteArray(PQgetvalue(result.get(), r, 1)).toLongLong()}] +=
            QByteArray(PQgetvalue(result.get(), r, 3)).toDouble();
    return wages;
}

bool sameWages(const Wages& a, const Wages& b)
{
    if (a.size() != b.size())
        return false;
    for (auto i = a.begin(), j = b.begin(); i != a.end(); ++i, ++j)
        if (i->first != j->first || std::abs(i->second - j->second) > 1e-6 * std::max(1.0, std::abs(i->second)))
            return false;
    return true;
}

// Highest wage first, as the window lists it.
bool highestFirst(const data::DataSet* set)
{
    for (int row = 1; row < set->recordCount(); ++row)
        if (set->value(row - 1, 3).toDouble() < set->value(row, 3).toDouble())
            return false;
    return true;
}

} // namespace

// A month's wage summary on the server through the window's statement, against the same figures
// done best through libpq: one statement with the month as a date range, in one round trip.
int serverSummaryMonth(const QString& uri, const QString& dbPath, qint64 rows, const QString& from, const QString& to,
                       int repeat)
{
    using namespace benchserver;
    RawConnection pg = connectRaw(uri);
    const QByteArray rawSql =
        "SELECT a.DeptName, a.MachineId, a.WorkerName, sum(a.ProductCount*a.ProcessPrice) FROM Salary a "
        "JOIN Process b ON a.KindId=b.ProductId AND a.Process=b.Process "
        "WHERE a.ProcessDate>=$1 AND a.ProcessDate<$2 GROUP BY a.WorkerName, a.DeptName, a.MachineId ORDER BY 4 DESC";
    const QList<QByteArray> params{from.toUtf8(), to.toUtf8()};
    // The window's own statement, sent raw, is the other candidate for the anchor.
    QByteArray windowSql;
    int placeholders = 0;
    data::numberPlaceholders(querysql::summaryMonth(data::Dialect::Postgres).toUtf8(), &windowSql, &placeholders);
    pointDataSourceAt(uri);
    quint64 checksum = 0;
    std::vector<double> ours, raws, windowRaws;
    for (int r = 0; r < std::max(repeat, 9); ++r) {
        double start = now();
        execRead(pg.get(), rawSql, params, &checksum);
        raws.push_back(now() - start);
        start = now();
        execRead(pg.get(), windowSql, params, &checksum);
        windowRaws.push_back(now() - start);
        start = now();
        if (!OpenQuery(DM->SalaryMonthQuery, querysql::summaryMonth(DM->connection()->dialect()), {from, to}))
            return 1;
        ours.push_back(now() - start);
    }
    if (!highestFirst(DM->SalaryMonthQuery) ||
        !sameWages(datasetWages(DM->SalaryMonthQuery), serverWages(pg.get(), rawSql, params))) {
        std::fprintf(stderr, "summary_month_pg: the window's figures differ from the raw ones\n");
        return 1;
    }
    pointDataSourceAt(dbPath);
    std::fprintf(stderr, "summary_month_pg: raw with an explicit join %.3f s, the window's statement raw %.3f s\n",
                 median(raws), median(windowRaws));
    printLine("summary_month", rows, median(ours), std::min(median(raws), median(windowRaws)));
    return 0;
}

// The summary over all months on the server, against the same scan as the file line's anchor (the
// columns it needs, every value of every record read), the faster of COPY in text and binary form.
int serverSummaryAll(const QString& uri, const QString& dbPath, qint64 rows, int repeat)
{
    using namespace benchserver;
    RawConnection pg = connectRaw(uri);
    const QByteArray scanSql =
        "SELECT DeptName, MachineId, WorkerName, KindId, Process, ProductCount, ProcessPrice FROM Salary";
    const QByteArray plainSql =
        "SELECT a.DeptName, a.MachineId, a.WorkerName, sum(a.ProductCount*a.ProcessPrice) FROM Salary a "
        "JOIN Process b ON a.KindId=b.ProductId AND a.Process=b.Process GROUP BY a.WorkerName, a.DeptName, a.MachineId";
    const std::vector<unsigned> types = columnTypes(pg.get(), scanSql);
    pointDataSourceAt(uri);
    quint64 checksum = 0;
    std::vector<double> ours, texts, binaries, plains;
    for (int r = 0; r < repeat; ++r) {
        double start = now();
        copyTextRead(pg.get(), scanSql, types, &checksum);
        texts.push_back(now() - start);
        start = now();
        copyBinaryRead(pg.get(), scanSql, types, &checksum);
        binaries.push_back(now() - start);
        start = now();
        execRead(pg.get(), plainSql, {}, &checksum);
        plains.push_back(now() - start);
        start = now();
        if (!OpenQuery(DM->SalaryMonthQuery, querysql::kSummaryAll))
            return 1;
        ours.push_back(now() - start);
    }
    if (!highestFirst(DM->SalaryMonthQuery) ||
        !sameWages(datasetWages(DM->SalaryMonthQuery), serverWages(pg.get(), plainSql, {}))) {
        std::fprintf(stderr, "summary_all_pg: the window's figures differ from the raw ones\n");
        return 1;
    }
    pointDataSourceAt(dbPath);
    std::fprintf(stderr, "summary_all_pg: scan by COPY text %.2f s, binary %.2f s; the grouping statement raw %.2f s\n",
                 median(texts), median(binaries), median(plains));
    printLine("summary_all", rows, median(ours), std::min(median(texts), median(binaries)), 2);
    return 0;
}

int benchQuery(const QString& dbPath, qint64 rows, int months, int repeat, bool cpuClock, const QString& serverUri)
{
    g_cpu = cpuClock;
    sqlite3* handle = nullptr;
    if (sqlite3_open_v2(dbPath.toUtf8().constData(), &handle, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK)
        fail(handle, "open");
    Db raw(handle, sqlite3_close);
    sample::Options options;
    options.rows = rows;
    options.months = months;
    // The last whole month of the records.
    const QDate month = sample::lastMonthOf(options).addMonths(months > 1 ? -1 : 0);
    const QString from = MonthStart(month);
    const QString to = NextMonthStart(month);
    quint64 checksum = 0;

    // The detail base statement over all records, into SalaryQuery.
    std::vector<double> ours, rawTimes;
    for (int r = 0; r < repeat; ++r) {
        double start = now();
        const qint64 rawRows = rawRead(raw.get(), querysql::kDetail, {}, &checksum);
        rawTimes.push_back(now() - start);
        start = now();
        if (!OpenQuery(DM->SalaryQuery, querysql::kDetail))
            return 1;
        ours.push_back(now() - start);
        if (rawRows != DM->SalaryQuery->recordCount()) {
            std::fprintf(stderr, "detail_all: %d rows, the engine gave %lld\n", DM->SalaryQuery->recordCount(),
                         static_cast<long long>(rawRows));
            return 1;
        }
    }
    const qint64 listed = DM->SalaryQuery->recordCount();
    DM->SalaryQuery->close();
    malloc_trim(0);
    double o = median(ours), w = median(rawTimes);
    std::fprintf(stderr, "detail_all: %lld records listed\n", static_cast<long long>(listed));
    std::printf("detail_all rows=%lld ours=%.2f raw=%.2f ratio=%.2f\n", static_cast<long long>(rows), o, w,
                w > 0 ? o / w : 0.0);

    // "查询" of the wage summary for one month, against the same figures done best raw: the month
    // as a date range on its index.
    const QString rawMonthSql = QStringLiteral(
        "SELECT a.DeptName, a.MachineId, a.WorkerName, sum(a.ProductCount*a.ProcessPrice) FROM Salary a "
        "INDEXED BY Salary_ProcessDate JOIN Process b ON a.KindId=b.ProductId AND a.Process=b.Process "
        "WHERE a.ProcessDate>=? AND a.ProcessDate<? GROUP BY a.WorkerName, a.DeptName, a.MachineId ORDER BY 4 DESC");
    ours.clear();
    rawTimes.clear();
    for (int r = 0; r < std::max(repeat, 9); ++r) {
        double start = now();
        rawRead(raw.get(), rawMonthSql, {from, to}, &checksum);
        rawTimes.push_back(now() - start);
        start = now();
        if (!OpenQuery(DM->SalaryMonthQuery, querysql::summaryMonth(DM->connection()->dialect()), {from, to}))
            return 1;
        ours.push_back(now() - start);
    }
    if (!highestFirst(DM->SalaryMonthQuery) ||
        !sameWages(datasetWages(DM->SalaryMonthQuery), rawWages(raw.get(), rawMonthSql, {from, to}))) {
        std::fprintf(stderr, "summary_month: the window's figures differ from the raw ones\n");
        return 1;
    }
    o = median(ours);
    w = median(rawTimes);
    std::fprintf(stderr, "summary_month: %s, %d rows\n", from.left(7).toUtf8().constData(),
                 DM->SalaryMonthQuery->recordCount());
    std::printf("summary_month rows=%lld ours=%.3f raw=%.3f ratio=%.2f\n", static_cast<long long>(rows), o, w,
                w > 0 ? o / w : 0.0);
    std::fflush(stdout);
    if (!serverUri.isEmpty() && serverSummaryMonth(serverUri, dbPath, rows, from, to, repeat) != 0)
        return 1;

    // Entering the wage page: the summary over all months, against a scan reading just the
    // columns it needs.
    const QString scanSql = QStringLiteral(
        "SELECT DeptName, MachineId, WorkerName, KindId, Process, ProductCount, ProcessPrice FROM Salary");
    ours.clear();
    rawTimes.clear();
    for (int r = 0; r < repeat; ++r) {
        double start = now();
        rawRead(raw.get(), scanSql, {}, &checksum);
        rawTimes.push_back(now() - start);
        start = now();
        if (!OpenQuery(DM->SalaryMonthQuery, querysql::kSummaryAll))
            return 1;
        ours.push_back(now() - start);
    }
    const QString plainAllSql =
        QStringLiteral("SELECT a.DeptName, a.MachineId, a.WorkerName, sum(a.ProductCount*a.ProcessPrice) FROM Salary "
                       "a JOIN Process b ON a.KindId=b.ProductId AND a.Process=b.Process "
                       "GROUP BY a.WorkerName, a.DeptName, a.MachineId");
    if (!highestFirst(DM->SalaryMonthQuery) ||
        !sameWages(datasetWages(DM->SalaryMonthQuery), rawWages(raw.get(), plainAllSql, {}))) {
        std::fprintf(stderr, "summary_all: the window's figures differ from the raw ones\n");
        return 1;
    }
    o = median(ours);
    w = median(rawTimes);
    std::printf("summary_all rows=%lld ours=%.2f scan=%.2f ratio=%.2f\n", static_cast<long long>(rows), o, w,
                w > 0 ? o / w : 0.0);
    std::fflush(stdout);
    DM->SalaryMonthQuery->close();
    if (!serverUri.isEmpty() && serverSummaryAll(serverUri, dbPath, rows, repeat) != 0)
        return 1;

    // "打印" over the month's detail list: the layout over the rows shown and the preview with its
    // first page painted, then every page turned to once.
    for (data::DataSet* set : DM->dataSets())
        set->close();
    malloc_trim(0);
    resetPeakRss();
    if (!OpenQuery(DM->SalaryQuery, querysql::kDetail + QStringLiteral(" And a.ProcessDate>=? And a.ProcessDate<?"),
                   {from, to}))
        return 1;
    const double start = now();
    const toolkit::ReportLayout layout = TQuickReport::instance()->Prepare();
    auto preview = std::make_unique<toolkit::ReportPreviewDialog>(layout);
    preview->resize(1000, 800);
    preview->show();
    QCoreApplication::processEvents();
    const double firstPage = now() - start;
    const double pagingStart = now();
    for (int page = 2; page <= preview->pageCount(); ++page)
        preview->setCurrentPage(page);
    const double paging = now() - pagingStart;
    if (preview->currentPage() != layout.pageCount() || layout.rowCount() != DM->SalaryQuery->recordCount()) {
        std::fprintf(stderr, "preview_month: the preview did not reach its last page\n");
        return 1;
    }
    preview.reset();
    std::fprintf(stderr, "preview_month: %d records, all pages turned in %.2f s\n", layout.rowCount(), paging);
    std::printf("preview_month rows=%lld pages=%d first_page=%.2f peak_rss_mb=%.0f\n", static_cast<long long>(rows),
                layout.pageCount(), firstPage, double(statusKb("VmHWM")) / 1024.0);
    DM->SalaryQuery->close();
    std::fprintf(stderr, "query checksum %llu\n", static_cast<unsigned long long>(checksum));
    return 0;
}
