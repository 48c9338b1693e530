// Measures the list export in the same run as the raw engine doing the least that writes the same
// rows to a file: prepare, step, each column's text through stdio with commas between.
//
//   export_csv rows=N ours=1.10 raw=0.80 ratio=1.38
//   export_csv_with_load rows=N ours=2.10 raw=0.80 ratio=2.63
//   export_xlsx rows=N ours=9.5
//   export_csv_pg rows=N ours=1.10 raw=0.90 ratio=1.22   (with a server URI: the list loaded from
//                 the server; raw: COPY of the statement in CSV form, written to a file as it comes)
// "ours" is what the user waits for after choosing "导出..." on a list already shown; the second
// line adds the loading of the list, for comparison with the raw engine doing both at once.
#include "bench_export.h"
#include "bench_server.h"

#include "data/DataModule.h"
#include "data/DataSet.h"
#include "data/Sql.h"
#include "toolkit/DataGrid.h"
#include "toolkit/DisplayMask.h"
#include "toolkit/GridExport.h"

#include <QDir>
#include <QFile>

#include <libpq-fe.h>
#include <sqlite3.h>
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

const char* const kListSql = "Select  * From Salary Order by id desc";

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

// The piece-work list as a grid shows it: every column of the record with its mask.
QVector<toolkit::GridColumn> listColumns()
{
    using toolkit::GridColumn;
    return {
        GridColumn{.fieldName = QStringLiteral("id"), .title = QStringLiteral("编号")},
        GridColumn{.fieldName = QStringLiteral("DeptName"), .title = QStringLiteral("班组")},
        GridColumn{.fieldName = QStringLiteral("MachineId"), .title = QStringLiteral("车床号")},
        GridColumn{.fieldName = QStringLiteral("WorkerName"), .title = QStringLiteral("姓名")},
        GridColumn{.fieldName = QStringLiteral("KindId"), .title = QStringLiteral("款式号")},
        GridColumn{.fieldName = QStringLiteral("KindName"), .title = QStringLiteral("款式名称")},
        GridColumn{.fieldName = QStringLiteral("Process"), .title = QStringLiteral("工序号")},
        GridColumn{.fieldName = QStringLiteral("ProcessName"), .title = QStringLiteral("工序名称")},
        GridColumn{.fieldName = QStringLiteral("ProcessSize"), .title = QStringLiteral("尺码")},
        GridColumn{.fieldName = QStringLiteral("ProductCount"),
                   .title = QStringLiteral("数量"),
                   .displayMask = QStringLiteral("0")},
        GridColumn{.fieldName = QStringLiteral("ProcessPrice"),
                   .title = QStringLiteral("单价"),
                   .displayMask = toolkit::kYuanMask},
        GridColumn{.fieldName = QStringLiteral("ProcessDate"),
                   .title = QStringLiteral("日期"),
                   .displayMask = QStringLiteral("yyyy-MM-dd")},
    };
}

// The raw way: the statement's rows, each column's text as the engine gives it, to a stdio file.
qint64 rawExport(sqlite3* db, const QString& path)
{
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db, kListSql, -1, &st, nullptr) != SQLITE_OK) {
        std::fprintf(stderr, "raw: %s\n", sqlite3_errmsg(db));
        return -1;
    }
    FILE* out = std::fopen(QFile::encodeName(path).constData(), "wb");
    if (!out) {
        sqlite3_finalize(st);
        return -1;
    }
    const int columns = sqlite3_column_count(st);
    qint64 rows = 0;
    while (sqlite3_step(st) == SQLITE_ROW) {
        for (int c = 0; c < columns; ++c) {
            if (c > 0)
                std::fputc(',', out);
            const unsigned char* text = sqlite3_column_text(st, c);
            if (text)
                std::fwrite(text, 1, size_t(sqlite3_column_bytes(st, c)), out);
        }
        std::fputs("\r\n", out);
        ++rows;
    }
    sqlite3_finalize(st);
    return std::fclose(out) == 0 ? rows : -1;
}

// The raw way on the server: the rows as COPY writes them in CSV form, each piece to a stdio file.
qint64 rawServerExport(PGconn* conn, const QString& path)
{
    const QByteArray copy = QByteArrayLiteral("COPY (") + kListSql + QByteArrayLiteral(") TO STDOUT (FORMAT csv)");
    std::unique_ptr<PGresult, void (*)(PGresult*)> started(PQexec(conn, copy.constData()), PQclear);
    if (PQresultStatus(started.get()) != PGRES_COPY_OUT)
        return -1;
    FILE* out = std::fopen(QFile::encodeName(path).constData(), "wb");
    qint64 rows = 0;
    char* buffer = nullptr;
    int length = 0;
    while ((length = PQgetCopyData(conn, &buffer, 0)) > 0) {
        if (out)
            std::fwrite(buffer, 1, size_t(length), out);
        PQfreemem(buffer);
        ++rows;
    }
    bool ok = length == -1 && out;
    while (PGresult* result = PQgetResult(conn)) {
        ok = ok && PQresultStatus(result) == PGRES_COMMAND_OK;
        PQclear(result);
    }
    if (out && std::fclose(out) != 0)
        ok = false;
    return ok ? rows : -1;
}

// "导出..." of the list loaded from the server, against the server's rows written raw.
int serverExport(const QString& uri, const QString& dbPath, int repeat, const QString& scratchFolder)
{
    using namespace benchserver;
    RawConnection pg = connectRaw(uri);
    pointDataSourceAt(uri);
    const QVector<toolkit::GridColumn> columns = listColumns();
    const QString ourFile = QDir(scratchFolder).filePath(QStringLiteral("export-ours-pg.csv"));
    const QString rawFile = QDir(scratchFolder).filePath(QStringLiteral("export-raw-pg.csv"));
    std::vector<double> ours, raws, withLoad;
    qint64 rows = 0;
    for (int r = 0; r < repeat; ++r) {
        double start = now();
        rows = rawServerExport(pg.get(), rawFile);
        raws.push_back(now() - start);
        QFile::remove(rawFile);
        if (rows < 0) {
            std::fprintf(stderr, "export_csv_pg: the raw export failed: %s\n", PQerrorMessage(pg.get()));
            return 1;
        }
        start = now();
        if (!OpenQuery(DM->DataAddQuery, QString::fromLatin1(kListSql)))
            return 1;
        const double load = now() - start;
        start = now();
        const toolkit::ExportResult result = toolkit::exportDataSet(DM->DataAddQuery, columns, ourFile,
                                                                    toolkit::ExportFormat::Csv, QStringLiteral("list"));
        ours.push_back(now() - start);
        withLoad.push_back(load + ours.back());
        QFile::remove(ourFile);
        if (result.status != toolkit::ExportResult::Written || result.rows != rows) {
            std::fprintf(stderr, "export_csv_pg: %s (%lld rows of %lld)\n", result.error.toUtf8().constData(),
                         static_cast<long long>(result.rows), static_cast<long long>(rows));
            return 1;
        }
    }
    pointDataSourceAt(dbPath);
    std::fprintf(stderr, "export_csv_pg: with the loading of the list %.2f s\n", median(withLoad));
    printLine("export_csv", rows, median(ours), median(raws), 2);
    return 0;
}

} // namespace

int benchExport(const QString& dbPath, int repeat, bool cpuClock, const QString& scratchFolder,
                const QString& serverUri)
{
    g_cpu = cpuClock;
    sqlite3* raw = nullptr;
    if (sqlite3_open_v2(dbPath.toUtf8().constData(), &raw, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        std::fprintf(stderr, "export: cannot open %s\n", dbPath.toUtf8().constData());
        sqlite3_close(raw);
        return 1;
    }
    // The list as the user has it on the screen before choosing "导出...".
    if (!OpenQuery(DM->DataAddQuery, QString::fromLatin1(kListSql))) {
        sqlite3_close(raw);
        return 1;
    }
    data::DataSet* list = DM->DataAddQuery;
    const QVector<toolkit::GridColumn> columns = listColumns();
    const QString ourFile = QDir(scratchFolder).filePath(QStringLiteral("export-ours.csv"));
    const QString rawFile = QDir(scratchFolder).filePath(QStringLiteral("export-raw.csv"));

    std::vector<double> ours, raws, withLoad;
    qint64 rows = 0;
    for (int r = 0; r < repeat; ++r) {
        auto start = now();
        rows = rawExport(raw, rawFile);
        raws.push_back(now() - start);
        QFile::remove(rawFile);
        if (rows < 0) {
            std::fprintf(stderr, "export: the raw export failed\n");
            sqlite3_close(raw);
            return 1;
        }

        start = now();
        if (!OpenQuery(DM->DataAddQuery, QString::fromLatin1(kListSql))) {
            sqlite3_close(raw);
            return 1;
        }
        const double load = now() - start;
        start = now();
        const toolkit::ExportResult result =
            toolkit::exportDataSet(list, columns, ourFile, toolkit::ExportFormat::Csv, QStringLiteral("list"));
        ours.push_back(now() - start);
        withLoad.push_back(load + ours.back());
        QFile::remove(ourFile);
        if (result.status != toolkit::ExportResult::Written || result.rows != rows) {
            std::fprintf(stderr, "export: %s (%lld rows of %lld)\n", result.error.toUtf8().constData(),
                         static_cast<long long>(result.rows), static_cast<long long>(rows));
            sqlite3_close(raw);
            return 1;
        }
    }
    sqlite3_close(raw);
    const double oursTime = median(ours);
    const double rawTime = median(raws);
    std::printf("export_csv rows=%lld ours=%.2f raw=%.2f ratio=%.2f\n", static_cast<long long>(rows), oursTime, rawTime,
                rawTime > 0 ? oursTime / rawTime : 0.0);
    const double loadedTime = median(withLoad);
    std::printf("export_csv_with_load rows=%lld ours=%.2f raw=%.2f ratio=%.2f\n", static_cast<long long>(rows),
                loadedTime, rawTime, rawTime > 0 ? loadedTime / rawTime : 0.0);

    const QString xlsxFile = QDir(scratchFolder).filePath(QStringLiteral("export-ours.xlsx"));
    const auto start = now();
    const toolkit::ExportResult xlsx =
        toolkit::exportDataSet(list, columns, xlsxFile, toolkit::ExportFormat::Xlsx, QStringLiteral("list"));
    const double xlsxTime = now() - start;
    QFile::remove(xlsxFile);
    if (xlsx.status != toolkit::ExportResult::Written) {
        std::fprintf(stderr, "export: %s\n", xlsx.error.toUtf8().constData());
        return 1;
    }
    std::printf("export_xlsx rows=%lld ours=%.2f\n", static_cast<long long>(xlsx.rows), xlsxTime);
    std::fflush(stdout);
    // Last: pointing the data source at the server and back closes the list.
    if (!serverUri.isEmpty() && serverExport(serverUri, dbPath, repeat, scratchFolder) != 0)
        return 1;
    return 0;
}
