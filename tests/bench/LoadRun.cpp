#include "LoadRun.h"

#include "data/Connection.h"
#include "data/DataModule.h"
#include "data/DataSet.h"
#include "data/Sql.h"
#include "data/SqlText.h"
#include "piecework/Produce.h"
#include "piecework/Salary.h"
#include "platform/RegistryStore.h"
#include "reports/Query.h"
#include "toolkit/MessageBox.h"

#include <QApplication>
#include <QComboBox>
#include <QDateEdit>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <libpq-fe.h>

#include <poll.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <memory>
#include <string>

namespace loadrun {

namespace {

// Seconds on the monotonic clock, which every process of the machine shares.
double now()
{
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

double percentile(std::vector<double> values, double fraction)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const size_t at = size_t(std::ceil(fraction * double(values.size()))) - 1;
    return values[std::min(at, values.size() - 1)];
}

double mean(const std::vector<double>& values)
{
    double sum = 0;
    for (double v : values)
        sum += v;
    return values.empty() ? 0 : sum / double(values.size());
}

// ---- The children ----------------------------------------------------------------------------------

void say(const QString& line)
{
    std::fputs(line.toUtf8().constData(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

// The next line from the driver; waits up to timeoutMs (-1: for ever). Empty when none came.
QString heard(int timeoutMs)
{
    pollfd in{0, POLLIN, 0};
    if (::poll(&in, 1, timeoutMs) <= 0)
        return {};
    std::string line;
    if (!std::getline(std::cin, line))
        return QStringLiteral("stop");
    return QString::fromStdString(line).trimmed();
}

bool waitFor(const QString& word)
{
    return heard(-1) == word;
}

// Each child keeps its own data source key, so that no two write the same file.
void useDataSource(const QString& registry, const QString& uri)
{
    qputenv("DORVIK_REGISTRY", registry.toLocal8Bit());
    auto key = platform::RegistryStore::openKey(data::Connection::kDataSourceKey, true);
    if (!key || !key->writeString(QStringLiteral("DBQ"), uri)) {
        say(QStringLiteral("error cannot register the data source"));
        std::exit(1);
    }
}

void choose(QComboBox* box, int index)
{
    box->setCurrentIndex(index);
    emit box->activated(index);
}

bool chooseText(QComboBox* box, const QString& text)
{
    const int index = box->findText(text);
    if (index < 0)
        return false;
    choose(box, index);
    return true;
}

// The rows of a dataset, every value as text, in the order it shows them.
QStringList rowsOf(data::DataSet* set)
{
    QStringList rows;
    for (int r = 0; r < set->recordCount(); ++r) {
        QStringList values;
        for (int c = 0; c < set->fieldCount(); ++c)
            values << set->value(r, c).toString();
        rows << values.join(QLatin1Char('|'));
    }
    return rows;
}

// A clerk at the entry window: its list is its own search (its machine place and style); it adds
// records one after another as a user does, and takes the others' changes between adds.
int clerk(int index, int adds, const QDate& month)
{
    QString box;
    toolkit::setMessageAnswerer([&box](const toolkit::MessageRequest& request) {
        // A step past its style's piece count is saved all the same, as a clerk who knows does.
        if (request.buttons.testFlag(QMessageBox::Yes))
            return QMessageBox::Yes;
        box += request.text + QLatin1Char(' ');
        return QMessageBox::Ok;
    });
    TDM dm;
    auto form = std::make_unique<TDataAddForm>();
    if (form->DeptName_ComboBox->count() < 1 || form->Kind_ComboBox->count() < 1) {
        say(QStringLiteral("error the workshop has no team or style"));
        return 1;
    }
    // The first team's places with a worker, in order: the clerk takes the index-th.
    choose(form->DeptName_ComboBox, 0);
    QString place;
    for (int at = 0, found = 0; at < form->Machine_Combobox->count() && place.isEmpty(); ++at) {
        choose(form->Machine_Combobox, at);
        if (!form->WorkerName.isEmpty() && found++ == index)
            place = form->Machine_Combobox->currentText();
    }
    choose(form->Kind_ComboBox, 0);
    if (place.isEmpty() || form->WorkerName.isEmpty() || form->Process_combobox->count() < 1) {
        say(QStringLiteral("error no worker at place %1 or no step").arg(place));
        return 1;
    }
    chooseText(form->machine_ComboBox2, place);
    choose(form->Kind_ComboBox2, 0);
    form->cmdsearch->click();
    data::DataSet* list = DM->DataAddQuery;
    if (!list->followsList() || !box.isEmpty()) {
        say(QStringLiteral("error the search list does not follow: ") + box);
        return 1;
    }
    const QList<data::DataSet*> sets = DM->dataSets();
    say(QStringLiteral("ready"));
    if (!waitFor(QStringLiteral("go")))
        return 1;

    const int steps = form->Process_combobox->count();
    const int days = month.daysInMonth();
    for (int i = 0; i < adds; ++i) {
        choose(form->Process_combobox, i % steps);
        form->ProcessDate->setDate(QDate(month.year(), month.month(), 1 + i % days));
        form->ProcessCount->setText(QString::number(1 + i % 9));
        for (int attempt = 0;; ++attempt) {
            box.clear();
            const double start = now();
            form->cmdadd->click();
            const double took = now() - start;
            if (box.isEmpty()) {
                say(QStringLiteral("add %1 %2").arg(start, 0, 'f', 6).arg(took * 1000, 0, 'f', 3));
                break;
            }
            // A failed save keeps the fields for another try, as a user would make it.
            say(QStringLiteral("retry ") + box.simplified());
            if (attempt == 5) {
                say(QStringLiteral("error add %1 failed: %2").arg(i).arg(box));
                return 1;
            }
        }
        const double start = now();
        data::catchUpLists(*DM->connection(), sets);
        say(QStringLiteral("catchup %1").arg((now() - start) * 1000, 0, 'f', 3));
    }
    say(QStringLiteral("done"));

    // With every change made, the list must show what a fresh read of its statement shows, once the
    // others' notices (the last price application's among them) have come.
    if (!waitFor(QStringLiteral("check")))
        return 1;
    data::DataSet fresh(QStringLiteral("Fresh"), DM->connection());
    QStringList expected;
    QStringList shown;
    for (int round = 0; round < 100; ++round) {
        data::catchUpLists(*DM->connection(), sets);
        fresh.setSql(list->sql(), list->params());
        if (!fresh.open()) {
            say(QStringLiteral("error fresh read: ") + fresh.lastError().text);
            return 1;
        }
        expected = rowsOf(&fresh);
        fresh.close();
        shown = rowsOf(list);
        if (shown == expected)
            break;
        ::usleep(50000);
    }
    if (shown == expected && list->followsList())
        say(QStringLiteral("list ok %1").arg(shown.size()));
    else
        say(QStringLiteral("list differs: %1 rows shown, %2 read").arg(shown.size()).arg(expected.size()));
    return box.isEmpty() ? 0 : 1;
}

// A child that only reads or applies prices meets no box unless a statement fails: it tells the
// driver what the box said and ends.
void endOnAnyBox()
{
    toolkit::setMessageAnswerer([](const toolkit::MessageRequest& request) {
        say(QStringLiteral("error box: ") + request.text.simplified());
        std::exit(1);
        return QMessageBox::Ok;
    });
}

const QString kMonthCountSql = QStringLiteral("Select count(*) From Salary Where ProcessDate>=? And ProcessDate<?");
const QString kSetPricesSql = QStringLiteral("Update Process Set Price=?");

// The pricing clerk: sets new step prices and applies them to the month, once a third and once
// two thirds of the records are in; a last time when the driver asks, with the clerks done.
int pricer(int expected, const QDate& month, double firstPrice, double secondPrice)
{
    endOnAnyBox();
    TDM dm;
    say(QStringLiteral("ready"));
    if (!waitFor(QStringLiteral("go")))
        return 1;
    const QVariantList range{MonthStart(month), NextMonthStart(month)};
    const double prices[] = {firstPrice, secondPrice};
    for (int round = 0; round < 2; ++round) {
        const qint64 threshold = qint64(expected) * (round + 1) / 3;
        for (;;) {
            if (!OpenQuery(DM->DmQuery, kMonthCountSql, range))
                return 1;
            if (DM->DmQuery->field(0).asInteger() >= threshold)
                break;
            ::usleep(20000);
        }
        if (!ExecQuery(DM->DmQuery, kSetPricesSql, {prices[round]}))
            return 1;
        const double start = now();
        if (!ApplyMonthPrices(month))
            return 1;
        say(QStringLiteral("apply %1 %2").arg(start, 0, 'f', 6).arg(now(), 0, 'f', 6));
    }
    if (!waitFor(QStringLiteral("final")))
        return 1;
    if (!ApplyMonthPrices(month))
        return 1;
    say(QStringLiteral("final"));
    return 0;
}

// The month's wage summary as the query window reads it, and in the same statement (so from the
// same state) the number of distinct prices among the month's priced records, their quantity and
// their price.
QString consistencySql(data::Dialect dialect)
{
    const QString priced =
        QStringLiteral("From Salary Where ProcessDate>=? And ProcessDate<? And ProcessPrice Is Not Null");
    return QStringLiteral("With s As (") + querysql::summaryMonth(dialect) +
           QStringLiteral(") Select (Select coalesce(sum(Expr1003),0) From s), (Select count(Distinct ProcessPrice) ") +
           priced + QStringLiteral("), (Select coalesce(sum(ProductCount),0) ") + priced +
           QStringLiteral("), (Select coalesce(max(ProcessPrice),0) ") + priced + QLatin1Char(')');
}

int reader(const QDate& month)
{
    endOnAnyBox();
    TDM dm;
    say(QStringLiteral("ready"));
    if (!waitFor(QStringLiteral("go")))
        return 1;
    const QString sql = consistencySql(DM->connection()->dialect());
    const QString from = MonthStart(month);
    const QString to = NextMonthStart(month);
    const QVariantList params{from, to, from, to, from, to, from, to};
    while (heard(0) != QLatin1String("stop")) {
        if (!OpenQuery(DM->SalaryMonthQuery, sql, params))
            return 1;
        data::DataSet* set = DM->SalaryMonthQuery;
        say(QStringLiteral("read %1 %2 %3 %4")
                .arg(set->value(0, 1).toLongLong())
                .arg(set->value(0, 0).toDouble(), 0, 'f', 4)
                .arg(set->value(0, 2).toLongLong())
                .arg(set->value(0, 3).toDouble(), 0, 'f', 4));
        ::usleep(20000);
    }
    return 0;
}

// ---- The driver ------------------------------------------------------------------------------------

using ResultPtr = std::unique_ptr<PGresult, void (*)(PGresult*)>;

// One value of a statement on the driver's own connection; -1 and an error when it fails.
qint64 valueOf(PGconn* conn, const char* sql, const QList<QByteArray>& params, QStringList* errors)
{
    std::vector<const char*> values;
    for (const QByteArray& p : params)
        values.push_back(p.constData());
    ResultPtr result(PQexecParams(conn, sql, int(values.size()), nullptr, values.data(), nullptr, nullptr, 0), PQclear);
    if (PQresultStatus(result.get()) != PGRES_TUPLES_OK || PQntuples(result.get()) != 1) {
        errors->append(QString::fromUtf8(sql) + QStringLiteral(": ") + QString::fromUtf8(PQerrorMessage(conn)));
        return -1;
    }
    return QByteArray(PQgetvalue(result.get(), 0, 0)).toLongLong();
}

struct Child {
    QString name;
    std::unique_ptr<QProcess> process;
    QByteArray pending; // output not yet split into lines
    QStringList lines;

    // Reads what the child wrote; true when a line equal to word came.
    bool readUntil(const QString& word, int timeoutMs)
    {
        const double end = now() + timeoutMs / 1000.0;
        for (;;) {
            pending += process->readAllStandardOutput();
            qsizetype at;
            bool found = false;
            while ((at = pending.indexOf('\n')) >= 0) {
                const QString line = QString::fromUtf8(pending.left(at));
                pending.remove(0, at + 1);
                lines << line;
                found = found || line == word;
            }
            if (found)
                return true;
            if (process->state() == QProcess::NotRunning || now() > end)
                return false;
            process->waitForReadyRead(100);
        }
    }
    void tell(const char* word)
    {
        process->write(QByteArray(word) + '\n');
        process->waitForBytesWritten(1000);
    }
};

} // namespace

LoadResult runLoad(const LoadOptions& options)
{
    LoadResult result;
    result.clerks = options.clerks;
    QTemporaryDir folder;
    std::unique_ptr<PGconn, void (*)(PGconn*)> conn(PQconnectdb(options.uri.toUtf8().constData()), PQfinish);
    if (PQstatus(conn.get()) != CONNECTION_OK) {
        result.errors << QStringLiteral("driver: cannot connect: ") + QString::fromUtf8(PQerrorMessage(conn.get()));
        return result;
    }
    const QByteArray from = MonthStart(options.month).toUtf8();
    const QByteArray to = NextMonthStart(options.month).toUtf8();
    const QList<QByteArray> range{from, to};
    if (valueOf(conn.get(), "Select count(*) From Salary Where ProcessDate>=$1 And ProcessDate<$2", range,
                &result.errors) != 0) {
        result.errors << QStringLiteral("driver: the month already holds records");
        return result;
    }

    const QString month = options.month.toString(Qt::ISODate);
    std::vector<Child> children;
    const auto start = [&](const QString& name, const QStringList& args) {
        Child child{name, std::make_unique<QProcess>(), {}, {}};
        child.process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        child.process->setProcessEnvironment(env);
        child.process->start(options.childProgram,
                             QStringList{name.section(QLatin1Char(' '), 0, 0),
                                         folder.filePath(name.simplified().replace(' ', '-') + ".json"), options.uri,
                                         month} +
                                 args);
        children.push_back(std::move(child));
    };
    for (int i = 0; i < options.clerks; ++i)
        start(QStringLiteral("clerk %1").arg(i), {QString::number(i), QString::number(options.addsPerClerk)});
    start(QStringLiteral("pricer"), {QString::number(options.clerks * options.addsPerClerk),
                                     QString::number(options.firstPrice), QString::number(options.secondPrice)});
    start(QStringLiteral("reader"), {});
    const size_t pricerAt = size_t(options.clerks);
    const size_t readerAt = pricerAt + 1;

    const auto failures = [&] {
        for (Child& child : children) {
            for (const QString& line : child.lines)
                if (line.startsWith(QLatin1String("error")))
                    result.errors << child.name + QStringLiteral(": ") + line;
        }
    };
    const auto stopAll = [&] {
        for (Child& child : children) {
            child.process->closeWriteChannel();
            if (!child.process->waitForFinished(10000)) {
                child.process->kill();
                child.process->waitForFinished(5000);
            }
        }
    };
    for (Child& child : children)
        if (!child.readUntil(QStringLiteral("ready"), 120000))
            result.errors << child.name + QStringLiteral(": not ready");
    if (!result.errors.isEmpty()) {
        stopAll();
        failures();
        return result;
    }
    const double begun = now();
    for (Child& child : children)
        child.tell("go");
    for (size_t i = 0; i < pricerAt; ++i)
        if (!children[i].readUntil(QStringLiteral("done"), 3600000))
            result.errors << children[i].name + QStringLiteral(": did not finish its adds");
    result.seconds = now() - begun;
    // Both applications come before the clerks end unless one failed.
    const double appliedBy = now() + 600;
    while (children[pricerAt].lines.filter(QRegularExpression(QStringLiteral("^apply "))).size() < 2 &&
           children[pricerAt].process->state() != QProcess::NotRunning && now() < appliedBy)
        children[pricerAt].readUntil(QStringLiteral("\x01"), 200);
    children[readerAt].tell("stop");
    children[readerAt].process->waitForFinished(30000);
    children[readerAt].readUntil(QStringLiteral("\x01"), 0);

    // What the last application left: every record it could see priced at its prices, and every
    // record it could not see saved after every one it priced.
    result.newRecords = valueOf(conn.get(), "Select count(*) From Salary Where ProcessDate>=$1 And ProcessDate<$2",
                                range, &result.errors);
    const QByteArray last = QByteArray::number(options.secondPrice);
    result.pricedRecords = valueOf(
        conn.get(), "Select count(*) From Salary Where ProcessDate>=$1 And ProcessDate<$2 And ProcessPrice Is Not Null",
        range, &result.errors);
    result.pricedAtOtherPrices = valueOf(conn.get(),
                                         "Select count(*) From Salary Where ProcessDate>=$1 And ProcessDate<$2 "
                                         "And ProcessPrice Is Not Null And ProcessPrice<>$3",
                                         {from, to, last}, &result.errors);
    result.unpricedBelowPriced = valueOf(conn.get(),
                                         "Select count(*) From Salary Where ProcessDate>=$1 And ProcessDate<$2 "
                                         "And ProcessPrice Is Null And id<(Select coalesce(max(id),0) From Salary "
                                         "Where ProcessDate>=$1 And ProcessDate<$2 And ProcessPrice Is Not Null)",
                                         range, &result.errors);
    children[pricerAt].tell("final");
    if (!children[pricerAt].readUntil(QStringLiteral("final"), 600000))
        result.errors << QStringLiteral("pricer: the last application did not end");
    result.unpricedAfterFinal = valueOf(conn.get(),
                                        "Select count(*) From Salary Where ProcessDate>=$1 And ProcessDate<$2 "
                                        "And (ProcessPrice Is Null Or ProcessPrice<>$3)",
                                        {from, to, last}, &result.errors);
    for (size_t i = 0; i < pricerAt; ++i) {
        children[i].tell("check");
        children[i].readUntil(QStringLiteral("\x01"), 0);
    }
    stopAll();
    for (Child& child : children) {
        child.readUntil(QStringLiteral("\x01"), 0);
        if (child.process->exitStatus() != QProcess::NormalExit || child.process->exitCode() != 0)
            result.errors << child.name + QStringLiteral(": ended with %1").arg(child.process->exitCode());
    }
    failures();

    // The clerks' measurements.
    std::vector<double> intervals; // the applications' start and end, in pairs
    for (const QString& line : children[pricerAt].lines)
        if (line.startsWith(QLatin1String("apply "))) {
            const QStringList parts = line.split(QLatin1Char(' '));
            intervals.push_back(parts.at(1).toDouble());
            intervals.push_back(parts.at(2).toDouble());
            result.applicationSeconds << parts.at(2).toDouble() - parts.at(1).toDouble();
        }
    result.applications = int(intervals.size() / 2);
    std::vector<double> all, during, outside, catchUps;
    for (size_t i = 0; i < pricerAt; ++i) {
        for (const QString& line : children[i].lines) {
            const QStringList parts = line.split(QLatin1Char(' '));
            if (parts.at(0) == QLatin1String("add")) {
                const double at = parts.at(1).toDouble();
                const double ms = parts.at(2).toDouble();
                all.push_back(ms);
                bool overlaps = false;
                for (size_t a = 0; a + 1 < intervals.size(); a += 2)
                    overlaps = overlaps || (at < intervals[a + 1] && at + ms / 1000 > intervals[a]);
                (overlaps ? during : outside).push_back(ms);
            } else if (parts.at(0) == QLatin1String("catchup")) {
                catchUps.push_back(parts.at(1).toDouble());
            } else if (parts.at(0) == QLatin1String("retry")) {
                ++result.retries;
            } else if (line.startsWith(QLatin1String("list "))) {
                ++result.listsChecked;
                if (!line.startsWith(QLatin1String("list ok")))
                    result.listMismatches << children[i].name + QStringLiteral(": ") + line;
            }
        }
    }
    result.adds = int(all.size());
    result.p99AddMs = percentile(all, 0.99);
    result.p50AddMs = percentile(all, 0.5);
    result.addsDuringPricing = int(during.size());
    result.p99AddDuringPricingMs = percentile(during, 0.99);
    result.p99AddOutsidePricingMs = percentile(outside, 0.99);
    result.meanAddOutsidePricingMs = mean(outside);
    result.meanCatchUpMs = mean(catchUps);
    result.p99CatchUpMs = percentile(catchUps, 0.99);

    // Every summary read shows one state: at most one price among the priced records, and the wage
    // total is their quantity times that price.
    for (const QString& line : children[readerAt].lines) {
        if (!line.startsWith(QLatin1String("read ")))
            continue;
        ++result.summaryReads;
        const QStringList parts = line.split(QLatin1Char(' '));
        const qint64 prices = parts.at(1).toLongLong();
        const double wage = parts.at(2).toDouble();
        const double expected = double(parts.at(3).toLongLong()) * parts.at(4).toDouble();
        if (prices > 1 || std::fabs(wage - expected) > 0.005)
            result.inconsistentReads << line;
    }
    return result;
}

QString loadLine(const LoadResult& r)
{
    return QStringLiteral("clerks=%1 adds=%2 seconds=%3 adds_per_s=%4 p99_add_ms=%5")
        .arg(r.clerks)
        .arg(r.adds)
        .arg(r.seconds, 0, 'f', 2)
        .arg(r.seconds > 0 ? r.adds / r.seconds : 0, 0, 'f', 1)
        .arg(r.p99AddMs, 0, 'f', 2);
}

QStringList detailLines(const LoadResult& r)
{
    QStringList applications;
    for (double s : r.applicationSeconds)
        applications << QString::number(s, 'f', 2);
    return {
        QStringLiteral("load_add p50_ms=%1 p99_ms=%2 retried=%3")
            .arg(r.p50AddMs, 0, 'f', 2)
            .arg(r.p99AddMs, 0, 'f', 2)
            .arg(r.retries),
        QStringLiteral("load_add_outside_pricing mean_ms=%1 p99_ms=%2")
            .arg(r.meanAddOutsidePricingMs, 0, 'f', 2)
            .arg(r.p99AddOutsidePricingMs, 0, 'f', 2),
        QStringLiteral("load_add_during_pricing adds=%1 p99_ms=%2 applications_s=%3")
            .arg(r.addsDuringPricing)
            .arg(r.p99AddDuringPricingMs, 0, 'f', 2)
            .arg(applications.join(QLatin1Char(','))),
        QStringLiteral("load_catch_up mean_ms=%1 p99_ms=%2")
            .arg(r.meanCatchUpMs, 0, 'f', 2)
            .arg(r.p99CatchUpMs, 0, 'f', 2),
        QStringLiteral("load_checks new_records=%1 priced=%2 priced_at_other_prices=%3 unpriced_below_priced=%4 "
                       "unpriced_after_final=%5 summary_reads=%6 inconsistent_reads=%7 lists_checked=%8 "
                       "lists_differing=%9")
            .arg(r.newRecords)
            .arg(r.pricedRecords)
            .arg(r.pricedAtOtherPrices)
            .arg(r.unpricedBelowPriced)
            .arg(r.unpricedAfterFinal)
            .arg(r.summaryReads)
            .arg(r.inconsistentReads.size())
            .arg(r.listsChecked)
            .arg(r.listMismatches.size()),
    };
}

int childMain(int argc, char** argv)
{
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 5) {
        std::fprintf(stderr, "usage: dorvik-load-child clerk|pricer|reader registry uri month ...\n");
        return 2;
    }
    const QString role = args.at(1);
    useDataSource(args.at(2), args.at(3));
    const QDate month = QDate::fromString(args.at(4), Qt::ISODate);
    if (role == QLatin1String("clerk") && args.size() == 7)
        return clerk(args.at(5).toInt(), args.at(6).toInt(), month);
    if (role == QLatin1String("pricer") && args.size() == 8)
        return pricer(args.at(5).toInt(), month, args.at(6).toDouble(), args.at(7).toDouble());
    if (role == QLatin1String("reader"))
        return reader(month);
    std::fprintf(stderr, "dorvik-load-child: unknown role or arguments\n");
    return 2;
}

} // namespace loadrun
