// dorvik-bench: builds the database of a large workshop and measures, side by side, how the
// program's datasets load and sort the piece-work list against the raw SQLite engine.
//
//   dorvik-bench [--rows N] [--months M] [--repeat K] [--db path] [--cpu]
//                [--server [--server-locale L] | --server-uri URI] [--load-adds N]
//
// --db reuses the database at path (made there first when missing); otherwise the database is
// made in a temporary folder and removed at the end. --server also loads the same records into a
// database on a throwaway PostgreSQL cluster (LC_COLLATE and LC_CTYPE "C" unless --server-locale
// names another) and measures the server beside the file: a "_pg" line after each file line it
// has a counterpart for. --server-uri does the same on an existing, empty server database. Each measurement is the
// median of K runs, in seconds on the wall clock, or with --cpu of processor time. Output, one line per measurement,
// seconds with two decimals:
//   load_entry_list rows=N ours=0.61 raw=0.45 ratio=1.36
//   load_entry_list_memory rows=N bytes_per_row=112
//   sort_entry_list rows=N ours=0.12
//   peak_rss_mb=150
//   open_entry_window rows=N ours=0.80 raw=0.60 ratio=1.33
//   add_entry rows=N ours=0.0040 naive=1.2000 ratio=0.003
//   add_entry_logged rows=N ours=0.0045 unlogged=0.0040 ratio=1.12 click=0.0080 goal<=1.20
//   overclaim_check rows=N ours=0.00015 raw=0.00011 ratio=1.39 goal<=0.005
//   load_entry_list_pg rows=N ours=0.90 raw=0.70 ratio=1.29     (and so on, with --server)
//   load_entry_list_pg_vs_file rows=N pg=0.90 file=0.61 ratio=1.48
//   clerks=4 adds=20000 seconds=90 adds_per_s=222 p99_add_ms=13.40   (last, with a server)
//   load_goal p99_add_ms<=50 holds
// The last line's run: four clerks in processes of their own each add N records (--load-adds,
// 5000 unless given) to the month after the sample's last one through the entry window, while a
// pricing clerk applies new prices to the month twice and a reader reads its wage summary; then
// the lines of where an add's time goes and of the checks, which end the bench when one fails.
#include "LoadRun.h"
#include "SampleData.h"
#include "bench_entry.h"
#include "bench_export.h"
#include "bench_produce.h"
#include "bench_query.h"
#include "bench_server.h"

#include "data/Connection.h"
#include "data/DataModule.h"
#include "data/DataSet.h"
#include "data/Engine.h"
#include "data/Sql.h"
#include "platform/RegistryStore.h"
#include "toolkit/MessageBox.h"

#include <QApplication>
#include <QCollator>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QTemporaryDir>

#include <malloc.h>
#include <sqlite3.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace {

const char* const kEntryListSql = "Select  * From Salary Order by id desc";

struct Arguments {
    qint64 rows = 1'000'000;
    int months = 24;
    int repeat = 5;
    bool cpu = false;
    QString db;
    bool server = false;
    QString serverUri;
    QString serverLocale = QStringLiteral("C");
    int loadAdds = 5000;
};

[[noreturn]] void usage(const char* message)
{
    std::fprintf(stderr,
                 "%s\nusage: dorvik-bench [--rows N] [--months M] [--repeat K] [--db path] [--cpu]\n"
                 "                    [--server [--server-locale L] | --server-uri URI] [--load-adds N]\n",
                 message);
    std::exit(2);
}

Arguments parseArguments(const QStringList& args)
{
    Arguments a;
    for (int i = 1; i < args.size(); ++i) {
        const QString& name = args[i];
        if (name == QLatin1String("--cpu")) {
            a.cpu = true;
            continue;
        }
        if (name == QLatin1String("--server")) {
            a.server = true;
            continue;
        }
        if (i + 1 >= args.size())
            usage("missing value");
        const QString value = args[++i];
        bool ok = true;
        if (name == QLatin1String("--rows"))
            a.rows = value.toLongLong(&ok);
        else if (name == QLatin1String("--months"))
            a.months = value.toInt(&ok);
        else if (name == QLatin1String("--repeat"))
            a.repeat = value.toInt(&ok);
        else if (name == QLatin1String("--db"))
            a.db = value;
        else if (name == QLatin1String("--server-uri"))
            a.serverUri = value;
        else if (name == QLatin1String("--server-locale"))
            a.serverLocale = value;
        else if (name == QLatin1String("--load-adds"))
            a.loadAdds = value.toInt(&ok);
        else
            usage("unknown option");
        if (!ok || a.rows < 1 || a.repeat < 1 || a.months < 1 || a.months > sample::kMaxMonths || a.loadAdds < 1)
            usage("bad value");
    }
    if (a.server && !a.serverUri.isEmpty())
        usage("--server and --server-uri exclude each other");
    if (!a.serverUri.isEmpty() && !data::namesServer(a.serverUri))
        usage("--server-uri takes a postgresql:// URI");
    return a;
}

// Seconds on the wall clock, or of the process's processor time with --cpu (steadier while other
// programs share the machine).
bool g_cpuClock = false;

double now()
{
    timespec t{};
    clock_gettime(g_cpuClock ? CLOCK_PROCESS_CPUTIME_ID : CLOCK_MONOTONIC, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

double seconds(double since)
{
    return now() - since;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// A value of /proc/self/status in kB ("VmRSS", "VmHWM"); 0 when it cannot be read.
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

// Resets the peak resident size, so that the peak reported covers the measurements and not the
// making of the sample database. False where the kernel does not offer it.
bool resetPeakRss()
{
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
    clear.flush();
    return bool(clear);
}

// Steps the statement through the C API and reads every column of every row, as cheaply as a
// reader of the raw engine can: the type, then the integer, the double or the text and its length.
qint64 rawLoad(sqlite3* db, quint64* checksum)
{
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db, kEntryListSql, -1, &st, nullptr) != SQLITE_OK) {
        std::fprintf(stderr, "raw: %s\n", sqlite3_errmsg(db));
        std::exit(1);
    }
    const int columns = sqlite3_column_count(st);
    qint64 rows = 0;
    quint64 sum = 0;
    while (sqlite3_step(st) == SQLITE_ROW) {
        for (int c = 0; c < columns; ++c) {
            switch (sqlite3_column_type(st, c)) {
            case SQLITE_INTEGER: sum += quint64(sqlite3_column_int64(st, c)); break;
            case SQLITE_FLOAT: sum += quint64(sqlite3_column_double(st, c)); break;
            case SQLITE_TEXT: {
                const unsigned char* text = sqlite3_column_text(st, c);
                sum += quint64(sqlite3_column_bytes(st, c)) + (text ? text[0] : 0);
                break;
            }
            case SQLITE_BLOB: sum += quint64(sqlite3_column_bytes(st, c)); break;
            default: ++sum; break;
            }
        }
        ++rows;
    }
    sqlite3_finalize(st);
    *checksum += sum;
    return rows;
}

// A fast sort that sorts wrongly measures nothing: a thousand rows spread over the list must be in
// the order a Chinese reader expects, letter case ignored.
bool sortedSample(const data::DataSet* set, bool descending)
{
    QCollator collator(QLocale(QLocale::Chinese, QLocale::China));
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    const int column = set->findField(QStringLiteral("WorkerName"));
    const int step = std::max(1, set->recordCount() / 1000);
    QString previous;
    for (int row = 0; row < set->recordCount(); row += step) {
        const QString name = set->value(row, column).toString();
        const int order = collator.compare(previous, name);
        if (row > 0 && (descending ? order < 0 : order > 0))
            return false;
        previous = name;
    }
    return true;
}

bool loadOurs()
{
    return OpenQuery(DM->DataAddQuery, QString::fromLatin1(kEntryListSql));
}

// The list loaded from the server through the data module, against the faster of COPY in text and
// in binary form read raw; then the server's load against the file's.
int benchServerList(const QString& uri, const QString& dbPath, qint64 fileRows, double fileLoad, int repeat)
{
    using namespace benchserver;
    RawConnection pg = connectRaw(uri);
    const QByteArray sql(kEntryListSql);
    const std::vector<unsigned> types = columnTypes(pg.get(), sql);
    pointDataSourceAt(uri);
    quint64 checksum = 0;
    copyTextRead(pg.get(), sql, types, &checksum); // the server's cache warmed for both alike
    std::vector<double> ours, texts, binaries;
    for (int r = 0; r < repeat; ++r) {
        auto start = now();
        const qint64 textRows = copyTextRead(pg.get(), sql, types, &checksum);
        texts.push_back(now() - start);
        start = now();
        const qint64 binaryRows = copyBinaryRead(pg.get(), sql, types, &checksum);
        binaries.push_back(now() - start);
        start = now();
        if (!loadOurs())
            return 1;
        ours.push_back(now() - start);
        if (textRows != fileRows || binaryRows != fileRows || DM->DataAddQuery->recordCount() != fileRows) {
            std::fprintf(stderr,
                         "load_entry_list_pg: %d rows in the dataset, %lld and %lld read raw, %lld in the file\n",
                         DM->DataAddQuery->recordCount(), static_cast<long long>(textRows),
                         static_cast<long long>(binaryRows), static_cast<long long>(fileRows));
            return 1;
        }
    }
    DM->DataAddQuery->close();
    pointDataSourceAt(dbPath);
    std::fprintf(stderr, "load_entry_list_pg: raw COPY text %.2f s, COPY binary %.2f s; checksum %llu\n", median(texts),
                 median(binaries), static_cast<unsigned long long>(checksum));
    const double oursPg = median(ours);
    printLine("load_entry_list", fileRows, oursPg, std::min(median(texts), median(binaries)), 2);
    std::printf("load_entry_list_pg_vs_file rows=%lld pg=%.2f file=%.2f ratio=%.2f\n", static_cast<long long>(fileRows),
                oursPg, fileLoad, fileLoad > 0 ? oursPg / fileLoad : 0.0);
    std::fflush(stdout);
    return 0;
}

} // namespace

// Four clerks, a pricing clerk and a summary reader on the server at once (see loadrun::runLoad).
int benchLoad(const QString& uri, const Arguments& args)
{
    sample::Options options;
    options.rows = args.rows;
    options.months = args.months;
    loadrun::LoadOptions load;
    load.uri = uri;
    load.childProgram = QCoreApplication::applicationDirPath() + QStringLiteral("/dorvik-load-child");
    load.month = sample::lastMonthOf(options).addMonths(1);
    load.addsPerClerk = args.loadAdds;
    const loadrun::LoadResult result = loadrun::runLoad(load);
    std::printf("%s\n", loadrun::loadLine(result).toUtf8().constData());
    std::printf("load_goal p99_add_ms<=50 %s\n", result.p99AddMs <= 50 ? "holds" : "missed");
    for (const QString& line : loadrun::detailLines(result))
        std::printf("%s\n", line.toUtf8().constData());
    std::fflush(stdout);
    const qint64 total = qint64(load.clerks) * load.addsPerClerk;
    QStringList failed = result.errors + result.inconsistentReads + result.listMismatches;
    if (result.adds != total || result.newRecords != total)
        failed << QStringLiteral("adds %1, new records %2, expected %3")
                      .arg(result.adds)
                      .arg(result.newRecords)
                      .arg(total);
    if (result.applications != 2 || result.pricedAtOtherPrices || result.unpricedBelowPriced ||
        result.unpricedAfterFinal)
        failed << QStringLiteral("the prices applied do not hold");
    if (result.listsChecked != load.clerks)
        failed << QStringLiteral("lists checked: %1").arg(result.listsChecked);
    for (const QString& line : failed)
        std::fprintf(stderr, "load: %s\n", line.toUtf8().constData());
    return failed.isEmpty() ? 0 : 1;
}

int main(int argc, char** argv)
{
    // The window benchmarks need widgets and the report preview paints; nothing is shown on a
    // screen unless a display is chosen.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const Arguments args = parseArguments(app.arguments());
    g_cpuClock = args.cpu;

    // No box may wait for a person: a failing statement is reported here and ends the run.
    toolkit::setMessageAnswerer([](const toolkit::MessageRequest& request) {
        std::fprintf(stderr, "%s\n", request.text.toUtf8().constData());
        std::exit(1);
        return QMessageBox::Ok;
    });

    QTemporaryDir folder;
    if (!folder.isValid()) {
        std::fprintf(stderr, "no temporary folder\n");
        return 1;
    }
    const QString dbPath =
        args.db.isEmpty() ? folder.filePath(QStringLiteral("DorvikSalary.mdb")) : QFileInfo(args.db).absoluteFilePath();
    if (!QFileInfo::exists(dbPath)) {
        sample::Options options;
        options.rows = args.rows;
        options.months = args.months;
        const auto start = now();
        QString error;
        if (!sample::createSampleDatabase(dbPath, options, &error)) {
            std::fprintf(stderr, "sample database: %s\n", error.toUtf8().constData());
            return 1;
        }
        std::fprintf(stderr, "sample database: %lld records over %d months made in %.2f s\n",
                     static_cast<long long>(args.rows), args.months, seconds(start));
    }

    // The data module finds the database through the data source, as the program does.
    qputenv("DORVIK_REGISTRY", folder.filePath(QStringLiteral("registry.json")).toUtf8());
    auto key = platform::RegistryStore::openKey(data::Connection::kDataSourceKey, true);
    if (!key || !key->writeString(QStringLiteral("DBQ"), dbPath)) {
        std::fprintf(stderr, "cannot register the data source\n");
        return 1;
    }

    // The same records on the server, loaded as the program's migration loads a file.
    std::unique_ptr<benchserver::ServerDatabase> server;
    if (args.server || !args.serverUri.isEmpty()) {
        QString error;
        server = args.server ? benchserver::ServerDatabase::startCluster(args.serverLocale, &error)
                             : benchserver::ServerDatabase::useExisting(args.serverUri);
        if (!server || !server->load(dbPath, &error)) {
            std::fprintf(stderr, "server: %s\n", error.toUtf8().constData());
            return 1;
        }
    }
    const QString serverUri = server ? server->uri() : QString();

    sqlite3* raw = nullptr;
    if (sqlite3_open_v2(dbPath.toUtf8().constData(), &raw, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr) !=
        SQLITE_OK) {
        std::fprintf(stderr, "cannot open %s\n", dbPath.toUtf8().constData());
        return 1;
    }

    malloc_trim(0);
    const bool peakReset = resetPeakRss();
    TDM dm;

    // Memory of one loaded list: the resident size before and after the first load.
    quint64 checksum = 0;
    rawLoad(raw, &checksum); // brings the file into the system's cache for both readers alike
    const long rssBefore = statusKb("VmRSS");
    if (!loadOurs())
        return 1;
    const long rssAfter = statusKb("VmRSS");
    const qint64 rows = DM->DataAddQuery->recordCount();

    std::vector<double> ours, rawTimes, sorts;
    for (int r = 0; r < args.repeat; ++r) {
        auto start = now();
        const qint64 rawRows = rawLoad(raw, &checksum);
        rawTimes.push_back(seconds(start));

        start = now();
        if (!loadOurs())
            return 1;
        ours.push_back(seconds(start));
        if (rawRows != DM->DataAddQuery->recordCount()) {
            std::fprintf(stderr, "the dataset holds %d rows, the engine gave %lld\n", DM->DataAddQuery->recordCount(),
                         static_cast<long long>(rawRows));
            return 1;
        }

        // A title click on the worker name, in the other direction each time.
        const QString sortText = r % 2 ? QStringLiteral("WorkerName ASC") : QStringLiteral("WorkerName DESC");
        start = now();
        QString error;
        if (!DM->DataAddQuery->setSort(sortText, &error)) {
            std::fprintf(stderr, "sort: %s\n", error.toUtf8().constData());
            return 1;
        }
        sorts.push_back(seconds(start));
        if (!sortedSample(DM->DataAddQuery, r % 2 == 0)) {
            std::fprintf(stderr, "sort: %s left the list out of order\n", sortText.toUtf8().constData());
            return 1;
        }
    }

    const double oursLoad = median(ours);
    const double rawLoadTime = median(rawTimes);
    std::printf("load_entry_list rows=%lld ours=%.2f raw=%.2f ratio=%.2f\n", static_cast<long long>(rows), oursLoad,
                rawLoadTime, rawLoadTime > 0 ? oursLoad / rawLoadTime : 0.0);
    std::printf("load_entry_list_memory rows=%lld bytes_per_row=%.0f\n", static_cast<long long>(rows),
                rows ? double(rssAfter - rssBefore) * 1024.0 / double(rows) : 0.0);
    std::printf("sort_entry_list rows=%lld ours=%.2f\n", static_cast<long long>(rows), median(sorts));
    std::printf("peak_rss_mb=%.0f%s\n", double(statusKb("VmHWM")) / 1024.0,
                peakReset ? "" : " (includes making the sample database)");
    std::fprintf(stderr, "checksum %llu\n", static_cast<unsigned long long>(checksum));
    std::fflush(stdout);
    if (server && benchServerList(serverUri, dbPath, rows, oursLoad, args.repeat) != 0)
        return 1;
    if (benchProduce(dbPath, args.rows, args.months, args.repeat, args.cpu, folder.path(), serverUri) != 0)
        return 1;
    if (benchQuery(dbPath, args.rows, args.months, args.repeat, args.cpu, serverUri) != 0)
        return 1;
    if (benchExport(dbPath, args.repeat, args.cpu, folder.path(), serverUri) != 0)
        return 1;
    // Last: it runs on the main window's own data module.
    if (benchEntry(dbPath, args.repeat, args.cpu, serverUri) != 0)
        return 1;
    if (server && benchLoad(serverUri, args) != 0)
        return 1;
    sqlite3_close(raw);
    return 0;
}
