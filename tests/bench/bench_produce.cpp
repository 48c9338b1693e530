// Measures the price application of the product window ("保存" for one style and month,
// "批量更新工序单价" for a month) through the very functions the window runs, against the same
// change done best on the raw SQLite API in the same run, and once, on 200,000 records, the
// per-step way with a commit per statement and the month cut from the date text.
//
//   apply_prices_style rows=N ours=0.0100 raw=0.0100 ratio=1.02
//   apply_prices_month rows=N styles=300 ours=0.120 raw=0.100 ratio=1.15
//   apply_prices_month_logged rows=N ours=0.130 unlogged=0.120 ratio=1.08 goal<=1.20
//   preview_prices_month rows=N ours=0.050 apply=0.120 ratio=0.42 goal<=1.00
//   apply_prices_naive rows=200000 styles=300 naive=12.3
//   apply_prices_month_pg rows=N ours=0.300 raw=0.200 ratio=1.50   (with a server URI)
#include "bench_produce.h"

#include "SampleData.h"
#include "bench_server.h"

#include "data/DataModule.h"
#include "data/DataSet.h"
#include "data/Sql.h"
#include "piecework/Produce.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <libpq-fe.h>
#include <sqlite3.h>
#include <time.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
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

using Db = std::unique_ptr<sqlite3, int (*)(sqlite3*)>;
using Statement = std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)>;

Db openDb(const QString& path)
{
    sqlite3* db = nullptr;
    sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
    sqlite3_busy_timeout(db, 5000);
    return Db(db, sqlite3_close);
}

[[noreturn]] void fail(sqlite3* db, const char* what)
{
    std::fprintf(stderr, "%s: %s\n", what, db ? sqlite3_errmsg(db) : "no database");
    std::exit(1);
}

Statement prepare(sqlite3* db, const char* sql)
{
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &st, nullptr) != SQLITE_OK)
        fail(db, sql);
    return Statement(st, sqlite3_finalize);
}

void exec(sqlite3* db, const char* sql)
{
    if (sqlite3_exec(db, sql, nullptr, nullptr, nullptr) != SQLITE_OK)
        fail(db, sql);
}

void bindText(sqlite3_stmt* st, int index, const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    sqlite3_bind_text(st, index, bytes.constData(), int(bytes.size()), SQLITE_TRANSIENT);
}

qint64 scalar(sqlite3* db, const char* sql, const QStringList& texts = {})
{
    Statement st = prepare(db, sql);
    for (int i = 0; i < texts.size(); ++i)
        bindText(st.get(), i + 1, texts.at(i));
    if (sqlite3_step(st.get()) != SQLITE_ROW)
        fail(db, sql);
    return sqlite3_column_int64(st.get(), 0);
}

double scalarDouble(sqlite3* db, const char* sql, const QStringList& texts = {})
{
    Statement st = prepare(db, sql);
    for (int i = 0; i < texts.size(); ++i)
        bindText(st.get(), i + 1, texts.at(i));
    if (sqlite3_step(st.get()) != SQLITE_ROW)
        fail(db, sql);
    return sqlite3_column_double(st.get(), 0);
}

struct Step {
    qint64 id;
    QString name;
    double price;
};

// The records of the month whose name or price differs from their step's: 0 once applied.
qint64 unappliedRecords(sqlite3* db, const QString& from, const QString& to)
{
    return scalar(db,
                  "SELECT count(*) FROM Salary s JOIN Process p ON p.ProductId=s.KindId AND p.Process=s.Process "
                  "WHERE s.ProcessDate>=? AND s.ProcessDate<? AND (s.ProcessPrice IS NOT p.Price "
                  "OR s.ProcessName IS NOT p.ProcessName)",
                  {from, to});
}

// "保存" done best on the raw engine: the changed steps through one prepared statement re-bound per
// step, then the style's records of the month through one prepared statement re-bound per step
// (faster here than one UPDATE ... FROM for a single style), in one transaction.
void rawSaveStyle(sqlite3* db, qint64 productId, const std::vector<Step>& steps, const QString& from, const QString& to)
{
    exec(db, "BEGIN IMMEDIATE");
    Statement save = prepare(db, "UPDATE Process SET ProcessName=?, Price=? WHERE Id=?");
    for (const Step& step : steps) {
        bindText(save.get(), 1, step.name);
        sqlite3_bind_double(save.get(), 2, step.price);
        sqlite3_bind_int64(save.get(), 3, step.id);
        if (sqlite3_step(save.get()) != SQLITE_DONE)
            fail(db, "raw step");
        sqlite3_reset(save.get());
    }
    Statement style = prepare(db, "SELECT Kind FROM Product WHERE Id=?");
    sqlite3_bind_int64(style.get(), 1, productId);
    if (sqlite3_step(style.get()) != SQLITE_ROW)
        fail(db, "raw style");
    Statement stored = prepare(db, "SELECT Process, ProcessName, Price FROM Process WHERE ProductId=? ORDER BY Id");
    sqlite3_bind_value(stored.get(), 1, sqlite3_column_value(style.get(), 0));
    Statement apply = prepare(db, "UPDATE Salary SET ProcessName=?, ProcessPrice=? WHERE KindId=? AND Process=? "
                                  "AND ProcessDate>=? AND ProcessDate<?");
    bindText(apply.get(), 5, from);
    bindText(apply.get(), 6, to);
    while (sqlite3_step(stored.get()) == SQLITE_ROW) {
        sqlite3_bind_value(apply.get(), 1, sqlite3_column_value(stored.get(), 1));
        sqlite3_bind_value(apply.get(), 2, sqlite3_column_value(stored.get(), 2));
        sqlite3_bind_value(apply.get(), 3, sqlite3_column_value(style.get(), 0));
        sqlite3_bind_value(apply.get(), 4, sqlite3_column_value(stored.get(), 0));
        if (sqlite3_step(apply.get()) != SQLITE_DONE)
            fail(db, "raw apply");
        sqlite3_reset(apply.get());
    }
    stored.reset();
    style.reset();
    exec(db, "COMMIT");
}

// The bulk update done best on the raw engine: one set-based statement over the month.
void rawApplyMonth(sqlite3* db, const QString& from, const QString& to)
{
    exec(db, "BEGIN IMMEDIATE");
    Statement apply = prepare(db, "UPDATE Salary SET ProcessName=p.ProcessName, ProcessPrice=p.Price FROM Process p "
                                  "WHERE Salary.KindId=p.ProductId AND Salary.Process=p.Process "
                                  "AND Salary.ProcessDate>=? AND Salary.ProcessDate<?");
    bindText(apply.get(), 1, from);
    bindText(apply.get(), 2, to);
    if (sqlite3_step(apply.get()) != SQLITE_DONE)
        fail(db, "raw month");
    exec(db, "COMMIT");
}

// The per-step way: for every style and step a look-up and an update with the month cut from the
// date text, each statement committed on its own.
double naiveApplyMonth(sqlite3* db, const QString& month)
{
    const double start = now();
    Statement styles = prepare(db, "SELECT Process, Kind FROM Product ORDER BY Id");
    while (sqlite3_step(styles.get()) == SQLITE_ROW) {
        const int count = sqlite3_column_int(styles.get(), 0);
        const QString kind = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(styles.get(), 1)));
        for (int i = 1; i <= count; ++i) {
            const QString label = QStringLiteral("工序%1").arg(i);
            Statement look = prepare(db, "SELECT ProcessName, Price FROM Process WHERE ProductId=? AND Process=?");
            bindText(look.get(), 1, kind);
            bindText(look.get(), 2, label);
            if (sqlite3_step(look.get()) != SQLITE_ROW)
                continue;
            Statement update = prepare(db, "UPDATE Salary SET ProcessName=?, ProcessPrice=? WHERE KindId=? "
                                           "AND Process=? AND substr(ProcessDate,1,7)=?");
            sqlite3_bind_value(update.get(), 1, sqlite3_column_value(look.get(), 0));
            sqlite3_bind_value(update.get(), 2, sqlite3_column_value(look.get(), 1));
            bindText(update.get(), 3, kind);
            bindText(update.get(), 4, label);
            bindText(update.get(), 5, month);
            if (sqlite3_step(update.get()) != SQLITE_DONE)
                fail(db, "naive update");
        }
    }
    return now() - start;
}

[[noreturn]] void failOn(PGconn* conn)
{
    std::fprintf(stderr, "server: %s\n", PQerrorMessage(conn));
    std::exit(1);
}

// The records of the month on the server whose name or price differs from their step's.
// The month's application as the program made it before it kept a change record: the same per-step
// updates through the program's datasets, in one transaction under the month's lock, without the
// totals read and the change line of each style.
const QString kUnloggedApplyStepSql =
    QStringLiteral("Update Salary Set ProcessName=?,ProcessPrice=? Where Kindid=? And Process=? "
                   "And ProcessDate>=? And ProcessDate<?");

bool unloggedApplyMonth(const QDate& month)
{
    const QString from = MonthStart(month);
    const QString to = NextMonthStart(month);
    return RunInTransaction([&] {
        if (!HoldMonthPrices(month, data::MonthHold::Pricing) ||
            !OpenQuery(DM->UserQuery,
                       QStringLiteral("Select Distinct KindId From Salary Where ProcessDate>=? And ProcessDate<?"),
                       {from, to}))
            return false;
        QStringList kinds;
        for (DM->UserQuery->first(); !DM->UserQuery->eof(); DM->UserQuery->next())
            kinds << DM->UserQuery->field(0).asString();
        for (const QString& kind : kinds) {
            if (!OpenQuery(
                    DM->DmQuery,
                    QStringLiteral("Select Process,ProcessName,Price From Process Where ProductId=? Order by Id"),
                    {kind}))
                return false;
            QList<QVariantList> steps;
            for (DM->DmQuery->first(); !DM->DmQuery->eof(); DM->DmQuery->next())
                steps.append({DM->DmQuery->field(1).value(), DM->DmQuery->field(2).value(), kind,
                              DM->DmQuery->field(0).value(), from, to});
            for (const QVariantList& step : steps)
                if (!ExecQuery(DM->DmQuery, kUnloggedApplyStepSql, step))
                    return false;
        }
        return true;
    });
}

qint64 serverUnapplied(PGconn* conn, const QByteArray& from, const QByteArray& to)
{
    return benchserver::scalarRaw(conn,
                                  "SELECT count(*) FROM Salary s JOIN Process p ON p.ProductId=s.KindId "
                                  "AND p.Process=s.Process WHERE s.ProcessDate>=$1 AND s.ProcessDate<$2 "
                                  "AND (s.ProcessPrice IS DISTINCT FROM p.Price "
                                  "OR s.ProcessName IS DISTINCT FROM p.ProcessName)",
                                  {from, to});
}

// The bulk update on the server in one set-based statement, one round trip.
void serverApplySetBased(PGconn* conn, const QByteArray& from, const QByteArray& to)
{
    benchserver::execRaw(conn,
                         "UPDATE Salary SET ProcessName=p.ProcessName, ProcessPrice=p.Price FROM Process p "
                         "WHERE Salary.KindId=p.ProductId AND Salary.Process=p.Process "
                         "AND Salary.ProcessDate>=$1 AND Salary.ProcessDate<$2",
                         {from, to});
}

using PgResult = std::unique_ptr<PGresult, void (*)(PGresult*)>;

// The bulk update on the server step by step, as the window does it, but done best: the steps of
// the month's styles in one read, then one prepared update per step, all sent in a pipeline in one
// transaction, the results read at the end.
void serverApplyPipelined(PGconn* conn, const QByteArray& from, const QByteArray& to)
{
    const char* range[] = {from.constData(), to.constData()};
    PgResult steps(PQexecParams(conn,
                                "SELECT p.ProductId, p.Process, p.ProcessName, p.Price FROM Process p "
                                "WHERE p.ProductId IN (SELECT DISTINCT KindId FROM Salary "
                                "WHERE ProcessDate>=$1 AND ProcessDate<$2) ORDER BY p.Id",
                                2, nullptr, range, nullptr, nullptr, 0),
                   PQclear);
    if (PQresultStatus(steps.get()) != PGRES_TUPLES_OK || !PQenterPipelineMode(conn))
        failOn(conn);
    int sent = 0;
    PQsendQueryParams(conn, "BEGIN", 0, nullptr, nullptr, nullptr, nullptr, 0);
    ++sent;
    for (int r = 0; r < PQntuples(steps.get()); ++r) {
        const char* values[] = {PQgetvalue(steps.get(), r, 2),
                                PQgetvalue(steps.get(), r, 3),
                                PQgetvalue(steps.get(), r, 0),
                                PQgetvalue(steps.get(), r, 1),
                                from.constData(),
                                to.constData()};
        if (!PQsendQueryPrepared(conn, "apply_step", 6, values, nullptr, nullptr, 0))
            failOn(conn);
        ++sent;
    }
    PQsendQueryParams(conn, "COMMIT", 0, nullptr, nullptr, nullptr, nullptr, 0);
    ++sent;
    PQpipelineSync(conn);
    for (int i = 0; i < sent; ++i) {
        while (PGresult* raw = PQgetResult(conn)) {
            PgResult result(raw, PQclear);
            if (PQresultStatus(raw) != PGRES_COMMAND_OK)
                failOn(conn);
        }
    }
    PgResult sync(PQgetResult(conn), PQclear);
    if (PQresultStatus(sync.get()) != PGRES_PIPELINE_SYNC || !PQexitPipelineMode(conn))
        failOn(conn);
}

// The bulk update step by step with a round trip per statement, as the program's server engine
// sends it: each update parsed and planned anew, or through a prepared statement. Not the anchor
// (the pipeline is faster); it shows what the round trips and the planning cost.
void serverApplyStepwise(PGconn* conn, const QByteArray& from, const QByteArray& to, bool prepared)
{
    const char* range[] = {from.constData(), to.constData()};
    PgResult steps(PQexecParams(conn,
                                "SELECT p.ProductId, p.Process, p.ProcessName, p.Price FROM Process p "
                                "WHERE p.ProductId IN (SELECT DISTINCT KindId FROM Salary "
                                "WHERE ProcessDate>=$1 AND ProcessDate<$2) ORDER BY p.Id",
                                2, nullptr, range, nullptr, nullptr, 0),
                   PQclear);
    if (PQresultStatus(steps.get()) != PGRES_TUPLES_OK)
        failOn(conn);
    benchserver::execRaw(conn, "BEGIN");
    for (int r = 0; r < PQntuples(steps.get()); ++r) {
        const char* values[] = {PQgetvalue(steps.get(), r, 2),
                                PQgetvalue(steps.get(), r, 3),
                                PQgetvalue(steps.get(), r, 0),
                                PQgetvalue(steps.get(), r, 1),
                                from.constData(),
                                to.constData()};
        PgResult done(prepared ? PQexecPrepared(conn, "apply_step", 6, values, nullptr, nullptr, 0)
                               : PQexecParams(conn,
                                              "UPDATE Salary SET ProcessName=$1, ProcessPrice=$2 WHERE KindId=$3 "
                                              "AND Process=$4 AND ProcessDate>=$5 AND ProcessDate<$6",
                                              6, nullptr, values, nullptr, nullptr, 0),
                      PQclear);
        if (PQresultStatus(done.get()) != PGRES_COMMAND_OK)
            failOn(conn);
    }
    benchserver::execRaw(conn, "COMMIT");
}

// "批量更新工序单价" on the server through the window's function, against the faster of the raw
// ways above; between runs the list prices change, so that every run writes.
int serverApplyMonth(const QString& uri, const QString& dbPath, qint64 records, const QDate& month, int repeat)
{
    using namespace benchserver;
    RawConnection pg = connectRaw(uri);
    const QByteArray from = MonthStart(month).toUtf8();
    const QByteArray to = NextMonthStart(month).toUtf8();
    PgResult prepared(PQprepare(pg.get(), "apply_step",
                                "UPDATE Salary SET ProcessName=$1, ProcessPrice=$2 WHERE KindId=$3 AND Process=$4 "
                                "AND ProcessDate>=$5 AND ProcessDate<$6",
                                0, nullptr),
                      PQclear);
    if (PQresultStatus(prepared.get()) != PGRES_COMMAND_OK)
        failOn(pg.get());
    pointDataSourceAt(uri);
    std::vector<double> ours, setBased, pipelined, unprepared, preparedSteps;
    const auto check = [&](const char* what) {
        if (serverUnapplied(pg.get(), from, to) == 0)
            return true;
        std::fprintf(stderr, "apply_prices_month_pg: %s left records without their step's price\n", what);
        return false;
    };
    for (int r = 0; r < repeat; ++r) {
        execRaw(pg.get(), "UPDATE Process SET Price = Price + 0.001");
        double start = now();
        if (!ApplyMonthPrices(month))
            return 1;
        ours.push_back(now() - start);
        if (!check("ours"))
            return 1;
        execRaw(pg.get(), "UPDATE Process SET Price = Price + 0.001");
        start = now();
        serverApplySetBased(pg.get(), from, to);
        setBased.push_back(now() - start);
        if (!check("the set-based update"))
            return 1;
        execRaw(pg.get(), "UPDATE Process SET Price = Price + 0.001");
        start = now();
        serverApplyPipelined(pg.get(), from, to);
        pipelined.push_back(now() - start);
        if (!check("the pipelined update"))
            return 1;
        for (const bool withPrepared : {false, true}) {
            execRaw(pg.get(), "UPDATE Process SET Price = Price + 0.001");
            start = now();
            serverApplyStepwise(pg.get(), from, to, withPrepared);
            (withPrepared ? preparedSteps : unprepared).push_back(now() - start);
            if (!check("the stepwise update"))
                return 1;
        }
    }
    pointDataSourceAt(dbPath);
    std::fprintf(stderr,
                 "apply_prices_month_pg: raw set-based %.3f s, pipelined prepared steps %.3f s; a round trip per "
                 "step: unprepared %.3f s, prepared %.3f s\n",
                 median(setBased), median(pipelined), median(unprepared), median(preparedSteps));
    printLine("apply_prices_month", records, median(ours), std::min(median(setBased), median(pipelined)));
    return 0;
}

} // namespace

int benchProduce(const QString& dbPath, qint64 rows, int months, int repeat, bool cpuClock,
                 const QString& scratchFolder, const QString& serverUri)
{
    g_cpu = cpuClock;
    Db raw = openDb(dbPath);
    if (!raw)
        fail(nullptr, "open");
    sample::Options options;
    options.rows = rows;
    options.months = months;
    // The last whole month of the records (the last month runs up to today).
    const QDate month = sample::lastMonthOf(options).addMonths(months > 1 ? -1 : 0);
    const QString from = MonthStart(month);
    const QString to = NextMonthStart(month);
    const qint64 records = scalar(raw.get(), "SELECT count(*) FROM Salary");
    const qint64 styleCount = scalar(raw.get(), "SELECT count(*) FROM Product");

    // One style's save: the style with the most records in the month, all its steps repriced.
    const QString kind = [&] {
        Statement st = prepare(raw.get(), "SELECT KindId FROM Salary WHERE ProcessDate>=? AND ProcessDate<? "
                                          "GROUP BY KindId ORDER BY count(*) DESC LIMIT 1");
        bindText(st.get(), 1, from);
        bindText(st.get(), 2, to);
        if (sqlite3_step(st.get()) != SQLITE_ROW)
            fail(raw.get(), "no records in the month");
        return QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st.get(), 0)));
    }();
    const qint64 productId = scalar(raw.get(), "SELECT Id FROM Product WHERE Kind=?", {kind});
    std::vector<Step> steps;
    {
        Statement st = prepare(raw.get(), "SELECT Id, ProcessName, Price FROM Process WHERE ProductId=? ORDER BY Id");
        bindText(st.get(), 1, kind);
        while (sqlite3_step(st.get()) == SQLITE_ROW)
            steps.push_back({sqlite3_column_int64(st.get(), 0),
                             QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st.get(), 1))),
                             sqlite3_column_double(st.get(), 2)});
    }
    const qint64 styleRecords = scalar(
        raw.get(), "SELECT count(*) FROM Salary WHERE KindId=? AND ProcessDate>=? AND ProcessDate<?", {kind, from, to});

    std::vector<double> ours, rawTimes;
    const int styleRuns = std::max(repeat, 9);
    for (int r = 0; r < styleRuns; ++r) {
        // Every run writes new prices, ours and raw alike.
        std::vector<Step> repriced = steps;
        QList<StepChange> changes;
        for (Step& step : repriced) {
            step.price += 0.001 * (2 * r + 1);
            changes.append({step.id, step.name, step.price, QVariant()});
        }
        double start = now();
        if (!SaveStylePrices(productId, changes, month))
            return 1;
        ours.push_back(now() - start);
        if (unappliedRecords(raw.get(), from, to) != 0) {
            std::fprintf(stderr, "apply_prices_style: records left without their step's price\n");
            return 1;
        }
        for (Step& step : repriced)
            step.price += 0.001;
        start = now();
        rawSaveStyle(raw.get(), productId, repriced, from, to);
        rawTimes.push_back(now() - start);
    }
    const double oursStyle = median(ours);
    const double rawStyle = median(rawTimes);
    std::fprintf(stderr, "apply_prices_style: style %s, %lld records in %s\n", kind.toUtf8().constData(),
                 static_cast<long long>(styleRecords), from.left(7).toUtf8().constData());
    std::printf("apply_prices_style rows=%lld ours=%.4f raw=%.4f ratio=%.2f\n", static_cast<long long>(records),
                oursStyle, rawStyle, rawStyle > 0 ? oursStyle / rawStyle : 0.0);

    // The bulk update of the month; between runs the list prices change, so every run writes.
    ours.clear();
    rawTimes.clear();
    const qint64 monthRecords =
        scalar(raw.get(), "SELECT count(*) FROM Salary WHERE ProcessDate>=? AND ProcessDate<?", {from, to});
    for (int r = 0; r < repeat; ++r) {
        exec(raw.get(), "UPDATE Process SET Price = Price + 0.001");
        double start = now();
        if (!ApplyMonthPrices(month))
            return 1;
        ours.push_back(now() - start);
        if (unappliedRecords(raw.get(), from, to) != 0) {
            std::fprintf(stderr, "apply_prices_month: records left without their step's price\n");
            return 1;
        }
        exec(raw.get(), "UPDATE Process SET Price = Price + 0.001");
        start = now();
        rawApplyMonth(raw.get(), from, to);
        rawTimes.push_back(now() - start);
    }
    const double oursMonth = median(ours);
    const double rawMonth = median(rawTimes);
    std::fprintf(stderr, "apply_prices_month: %lld records in %s\n", static_cast<long long>(monthRecords),
                 from.left(7).toUtf8().constData());
    std::printf("apply_prices_month rows=%lld styles=%lld ours=%.3f raw=%.3f ratio=%.2f\n",
                static_cast<long long>(records), static_cast<long long>(styleCount), oursMonth, rawMonth,
                rawMonth > 0 ? oursMonth / rawMonth : 0.0);
    std::fflush(stdout);

    // The same with its change record against the same updates without it. The record takes one
    // line per style with records in the month, never one per record.
    ours.clear();
    std::vector<double> unlogged;
    const qint64 monthStyles = scalar(raw.get(),
                                      "SELECT count(*) FROM Product WHERE Process >= 1 AND Kind IN "
                                      "(SELECT KindId FROM Salary WHERE ProcessDate>=? AND ProcessDate<?)",
                                      {from, to});
    for (int r = 0; r < repeat; ++r) {
        exec(raw.get(), "UPDATE Process SET Price = Price + 0.001");
        double start = now();
        if (!unloggedApplyMonth(month))
            return 1;
        unlogged.push_back(now() - start);
        exec(raw.get(), "UPDATE Process SET Price = Price + 0.001");
        const qint64 linesBefore = scalar(raw.get(), "SELECT count(*) FROM ChangeLog");
        start = now();
        if (!ApplyMonthPrices(month))
            return 1;
        ours.push_back(now() - start);
        const qint64 lines = scalar(raw.get(), "SELECT count(*) FROM ChangeLog") - linesBefore;
        if (unappliedRecords(raw.get(), from, to) != 0 || lines != monthStyles) {
            std::fprintf(stderr,
                         "apply_prices_month_logged: %lld change lines for %lld styles, %lld records unapplied\n",
                         static_cast<long long>(lines), static_cast<long long>(monthStyles),
                         static_cast<long long>(unappliedRecords(raw.get(), from, to)));
            return 1;
        }
    }
    std::fprintf(stderr, "apply_prices_month_logged: one change line for each of the month's %lld styles\n",
                 static_cast<long long>(monthStyles));
    std::printf("apply_prices_month_logged rows=%lld ours=%.3f unlogged=%.3f ratio=%.2f goal<=1.20\n",
                static_cast<long long>(records), median(ours), median(unlogged),
                median(unlogged) > 0 ? median(ours) / median(unlogged) : 0.0);
    std::fflush(stdout);

    // The preview of the bulk update against the update itself, on the same new prices. The
    // preview's month total after must be what the records hold once the prices are applied.
    ours.clear();
    std::vector<double> applied;
    for (int r = 0; r < repeat; ++r) {
        exec(raw.get(), "UPDATE Process SET Price = Price + 0.001");
        PricePreview preview;
        double start = now();
        if (!PreviewMonthPrices(month, &preview))
            return 1;
        ours.push_back(now() - start);
        start = now();
        if (!ApplyMonthPrices(month))
            return 1;
        applied.push_back(now() - start);
        const double total = scalarDouble(
            raw.get(), "SELECT sum(ProductCount*ProcessPrice) FROM Salary WHERE ProcessDate>=? AND ProcessDate<?",
            {from, to});
        if (std::fabs(total - preview.totalAfter) > 1e-6 * std::max(1.0, std::fabs(total))) {
            std::fprintf(stderr, "preview_prices_month: the preview's total after %.3f, the records hold %.3f\n",
                         preview.totalAfter, total);
            return 1;
        }
    }
    std::printf("preview_prices_month rows=%lld ours=%.3f apply=%.3f ratio=%.2f goal<=1.00\n",
                static_cast<long long>(records), median(ours), median(applied),
                median(applied) > 0 ? median(ours) / median(applied) : 0.0);
    std::fflush(stdout);
    raw.reset();
    if (!serverUri.isEmpty() && serverApplyMonth(serverUri, dbPath, records, month, repeat) != 0)
        return 1;

    // Once, on 200,000 records: the per-step, per-commit way.
    constexpr qint64 kNaiveRows = 200'000;
    QString naivePath = dbPath;
    if (rows != kNaiveRows) {
        naivePath = QDir(scratchFolder).filePath(QStringLiteral("naive.mdb"));
        sample::Options naiveOptions = options;
        naiveOptions.rows = kNaiveRows;
        QString error;
        if (!sample::createSampleDatabase(naivePath, naiveOptions, &error)) {
            std::fprintf(stderr, "sample database: %s\n", error.toUtf8().constData());
            return 1;
        }
    }
    Db naive = openDb(naivePath);
    const double naiveTime = naiveApplyMonth(naive.get(), month.toString(QStringLiteral("yyyy-MM")));
    if (unappliedRecords(naive.get(), from, to) != 0) {
        std::fprintf(stderr, "apply_prices_naive: records left without their step's price\n");
        return 1;
    }
    std::printf("apply_prices_naive rows=%lld styles=%lld naive=%.2f\n", static_cast<long long>(kNaiveRows),
                static_cast<long long>(scalar(naive.get(), "SELECT count(*) FROM Product")), naiveTime);
    naive.reset();
    if (naivePath != dbPath)
        QFile::remove(naivePath);
    return 0;
}
