#include "bench_entry.h"
#include "bench_server.h"

#include "data/DataModule.h"
#include "data/DataSet.h"
#include "data/History.h"
#include "data/Sql.h"
#include "piecework/Salary.h"
#include "shell/MAIN.h"
#include "toolkit/DataGrid.h"
#include "toolkit/MessageBox.h"

#include <QApplication>
#include <QComboBox>
#include <QDateEdit>
#include <QLineEdit>
#include <QPushButton>

#include <libpq-fe.h>
#include <sqlite3.h>
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

const char* const kListSql = "Select  * From Salary Order by id desc";
const QString kAddSql =
    QStringLiteral("Insert Into Salary (DeptName,MachineId,WorkerName,Kindid,KindName,Process,ProcessName,"
                   "ProcessSize,ProductCount,ProcessDate) Values (?,?,?,?,?,?,?,?,?,?)");

bool g_cpu = false;
volatile quint64 g_sink = 0;

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

// The list statement stepped on the raw engine, every column of every row read.
qint64 rawList(sqlite3* db)
{
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db, kListSql, -1, &st, nullptr) != SQLITE_OK)
        return -1;
    const int columns = sqlite3_column_count(st);
    qint64 rows = 0;
    quint64 sum = 0;
    while (sqlite3_step(st) == SQLITE_ROW) {
        for (int c = 0; c < columns; ++c) {
            switch (sqlite3_column_type(st, c)) {
            case SQLITE_INTEGER: sum += quint64(sqlite3_column_int64(st, c)); break;
            case SQLITE_FLOAT: sum += quint64(sqlite3_column_double(st, c)); break;
            case SQLITE_TEXT: sum += quint64(sqlite3_column_bytes(st, c)) + sqlite3_column_text(st, c)[0]; break;
            default: ++sum; break;
            }
        }
        ++rows;
    }
    sqlite3_finalize(st);
    g_sink = sum; // the reads are not left out
    return rows;
}

// The id shown in the first row of the window's list.
qint64 topId(const TDataAddForm* form)
{
    const QAbstractItemModel* model = form->SalaryGrid->model();
    return model->rowCount() ? model->index(0, 10).data().toLongLong() : 0;
}

qint64 maxId()
{
    if (!OpenQuery(DM->DmQuery, QStringLiteral("Select max(id) From Salary")))
        return -1;
    return DM->DmQuery->field(0).asInteger();
}

// "计件数据" on the main window's menu: its checks, then the window in the workspace until its
// list is shown.
TDataAddForm* openWindow(TMainForm* mainForm)
{
    mainForm->DataAdd->trigger();
    QApplication::processEvents();
    return DataAddForm;
}

void closeWindow(TDataAddForm* form)
{
    form->closeWindow();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QApplication::processEvents();
}

void choose(QComboBox* box, int index)
{
    box->setCurrentIndex(index);
    emit box->activated(index);
}

// A team and place that have a worker, the first style and its first step chosen; false when the
// first place of the first team has no worker.
bool chooseWorker(TDataAddForm* form)
{
    if (OpenQuery(DM->DmQuery, QStringLiteral("Select DeptName, MachineId From Dept, Worker "
                                              "Where Dept.id = Worker.DeptId Order By Worker.id Limit 1")) &&
        !DM->DmQuery->isEmpty()) {
        choose(form->DeptName_ComboBox, form->DeptName_ComboBox->findText(DM->DmQuery->field(0).asString()));
        choose(form->Machine_Combobox, form->Machine_Combobox->findText(DM->DmQuery->field(1).asString()));
    }
    choose(form->Kind_ComboBox, 0);
    choose(form->Process_combobox, 0);
    if (form->WorkerName.isEmpty()) {
        std::fprintf(stderr, "entry: no worker at the first place of the first team\n");
        return false;
    }
    return true;
}

// The values of one record of today that the benchmark adds beside the window, in kAddSql's order.
QVariantList sampleRecord()
{
    return {QStringLiteral("一组"),
            1,
            QStringLiteral("工人"),
            QStringLiteral("K"),
            QStringLiteral("款"),
            QStringLiteral("工序1"),
            QStringLiteral("步"),
            0,
            12,
            QDate::currentDate()};
}

// The add with its month check and change line, against the add as it was before the change
// record: the one insert on its own. Both then patch the same list, and both are timed without the
// window's own work, which is the same with and without the record (so a click's ratio is lower
// than this one); the click's time is printed beside them, and each click is checked to be shown
// and recorded once.
int loggedAdd(TDataAddForm* form, qint64 rows, int repeat)
{
    const QVariantList values = sampleRecord();
    data::RowPatch patch{.keyField = QStringLiteral("id"),
                         .order = {{QStringLiteral("id"), true}},
                         .sql = QStringLiteral("Select  * From Salary Where (id > ? Or id = ?)"),
                         .params = {},
                         .changedKey = {},
                         .changes = 1};
    const auto changeLines = [] {
        return OpenQuery(DM->DmQuery, QStringLiteral("Select count(*) From ChangeLog"))
                   ? DM->DmQuery->field(0).asInteger()
                   : -1;
    };
    std::vector<double> logged, unlogged, clicks;
    for (int r = 0; r < std::max(repeat, 9); ++r) {
        patch.changes = 1;
        double start = now();
        if (!ExecQuery(DM->DmQuery, kAddSql, values) || !DM->DataAddQuery->patchRows(patch))
            return 1;
        unlogged.push_back(now() - start);

        patch.changes = 1 + kChangeLogRows;
        start = now();
        const bool saved = RunInTransaction([&] {
            if (!MonthsOpen({QDate::currentDate()}, data::MonthHold::Entry) || !ExecQuery(DM->DmQuery, kAddSql, values))
                return false;
            const QVariant added = DM->DmQuery->lastInsertId();
            QString after;
            return ReadRowValues(QStringLiteral("Salary"), QStringLiteral("id"), added, &after) &&
                   LogChange({change::kAddRecord, QStringLiteral("Salary"), added, QString(), after, QString()});
        });
        if (!saved || !DM->DataAddQuery->patchRows(patch))
            return 1;
        logged.push_back(now() - start);

        form->ProcessCount->setText(QStringLiteral("12"));
        const qint64 linesBefore = changeLines();
        const qint64 shownBefore = form->SalaryGrid->model()->rowCount();
        start = now();
        form->cmdadd->click();
        QApplication::processEvents();
        clicks.push_back(now() - start);
        const qint64 lines = changeLines();
        const qint64 shown = form->SalaryGrid->model()->rowCount();
        const qint64 top = topId(form);
        const qint64 highest = maxId();
        if (shown != shownBefore + 1 || top != highest || lines != linesBefore + 1) {
            std::fprintf(stderr,
                         "entry: the logged add is not shown or not recorded once: %lld rows shown of %lld, top %lld "
                         "of %lld, %lld change lines of %lld\n",
                         static_cast<long long>(shown), static_cast<long long>(shownBefore + 1),
                         static_cast<long long>(top), static_cast<long long>(highest), static_cast<long long>(lines),
                         static_cast<long long>(linesBefore + 1));
            return 1;
        }
    }
    std::printf("add_entry_logged rows=%lld ours=%.4f unlogged=%.4f ratio=%.2f click=%.4f goal<=1.20\n",
                static_cast<long long>(rows), median(logged), median(unlogged), median(logged) / median(unlogged),
                median(clicks));
    std::fflush(stdout);
    return 0;
}

// The check before a save against the same two statements stepped on the raw engine: the style's
// piece count, then the step's pieces per worker. Each check takes another style and step of the
// sample, so that the median is over steps of every size.
int overClaimCheck(sqlite3* raw, qint64 rows, int repeat)
{
    if (!OpenQuery(DM->DmQuery,
                   QStringLiteral("Select p.Kind, s.Process From Product p, Process s "
                                  "Where s.ProductId = p.Kind And p.ProductCount > 0 Order By p.Id, s.Id")))
        return 1;
    QList<QPair<QString, QString>> steps;
    for (int row = 0; row < DM->DmQuery->recordCount(); row += 7)
        steps.append({DM->DmQuery->value(row, 0).toString(), DM->DmQuery->value(row, 1).toString()});
    if (steps.isEmpty()) {
        std::fprintf(stderr, "entry: no style with a piece count\n");
        return 1;
    }
    const QByteArray countSql = stepclaim::kStyleCount.toUtf8();
    const QByteArray workersSql = stepclaim::workers(data::Dialect::Sqlite).toUtf8();
    sqlite3_stmt* countStatement = nullptr;
    sqlite3_stmt* workersStatement = nullptr;
    if (sqlite3_prepare_v2(raw, countSql.constData(), -1, &countStatement, nullptr) != SQLITE_OK ||
        sqlite3_prepare_v2(raw, workersSql.constData(), -1, &workersStatement, nullptr) != SQLITE_OK) {
        std::fprintf(stderr, "entry: %s\n", sqlite3_errmsg(raw));
        sqlite3_finalize(countStatement);
        sqlite3_finalize(workersStatement);
        return 1;
    }
    std::vector<double> ours, raws;
    int failed = 0;
    const int checks = std::max(repeat, 25);
    for (int r = 0; r < checks && !failed; ++r) {
        const QByteArray kind = steps[r % steps.size()].first.toUtf8();
        const QByteArray step = steps[r % steps.size()].second.toUtf8();
        double start = now();
        StepClaim claim;
        if (!ReadStepClaim(DM->DmQuery, QString::fromUtf8(kind), QString::fromUtf8(step), QVariant(),
                           QStringLiteral("工人"), 12, &claim))
            failed = 1;
        ours.push_back(now() - start);

        start = now();
        qint64 limit = 0, total = 12;
        sqlite3_bind_text(countStatement, 1, kind.constData(), int(kind.size()), SQLITE_STATIC);
        if (sqlite3_step(countStatement) == SQLITE_ROW)
            limit = sqlite3_column_int64(countStatement, 0);
        sqlite3_reset(countStatement);
        sqlite3_bind_text(workersStatement, 1, kind.constData(), int(kind.size()), SQLITE_STATIC);
        sqlite3_bind_text(workersStatement, 2, step.constData(), int(step.size()), SQLITE_STATIC);
        sqlite3_bind_int64(workersStatement, 3, 0);
        quint64 nameBytes = 0;
        while (sqlite3_step(workersStatement) == SQLITE_ROW) {
            nameBytes += quint64(sqlite3_column_bytes(workersStatement, 0)); // the name is read, as ours reads it
            total += sqlite3_column_int64(workersStatement, 1);
        }
        sqlite3_reset(workersStatement);
        g_sink = nameBytes;
        raws.push_back(now() - start);
        if (claim.limit != limit || claim.total != total) {
            std::fprintf(stderr, "entry: the check reads %lld of %lld pieces, the raw engine %lld of %lld\n",
                         static_cast<long long>(claim.total), static_cast<long long>(claim.limit),
                         static_cast<long long>(total), static_cast<long long>(limit));
            failed = 1;
        }
    }
    sqlite3_finalize(countStatement);
    sqlite3_finalize(workersStatement);
    if (!failed)
        std::printf("overclaim_check rows=%lld ours=%.5f raw=%.5f ratio=%.2f goal<=0.005\n",
                    static_cast<long long>(rows), median(ours), median(raws), median(ours) / median(raws));
    std::fflush(stdout);
    return failed;
}

// One record through the window on the server until its list shows it, against the same record
// inserted through libpq in one round trip that returns the new row, every value of it read (what
// the list needs to show it).
int serverAdd(TMainForm* mainForm, const QString& uri, const QString& dbPath, int repeat)
{
    using namespace benchserver;
    RawConnection pg = connectRaw(uri);
    pointDataSourceAt(uri);
    const qint64 firstNewId = maxId() + 1;
    TDataAddForm* form = openWindow(mainForm);
    int failed = !form || !chooseWorker(form);
    const qint64 rows = form ? form->SalaryGrid->model()->rowCount() : 0;
    const QByteArray insert = "INSERT INTO Salary (DeptName,MachineId,WorkerName,KindId,KindName,Process,ProcessName,"
                              "ProcessSize,ProductCount,ProcessDate) VALUES ($1,$2,$3,$4,$5,$6,$7,$8,$9,$10) "
                              "RETURNING *";
    const QList<QByteArray> values{"一组",  "1",  "工人", "K",  "款",
                                   "工序1", "步", "0",    "12", QDate::currentDate().toString(Qt::ISODate).toUtf8()};
    std::vector<double> ours, raws;
    quint64 checksum = 0;
    for (int r = 0; r < repeat && !failed; ++r) {
        form->ProcessCount->setText(QStringLiteral("12"));
        const qint64 shownBefore = form->SalaryGrid->model()->rowCount();
        double start = now();
        form->cmdadd->click();
        QApplication::processEvents();
        ours.push_back(now() - start);
        if (form->SalaryGrid->model()->rowCount() != shownBefore + 1 || topId(form) != maxId()) {
            std::fprintf(stderr, "entry: the list on the server does not show the added record\n");
            failed = 1;
        }
    }
    if (form)
        closeWindow(form);
    // The raw inserts come after the window is closed: to the window they are another clerk's
    // records, which its list would follow.
    for (int r = 0; r < repeat && !failed; ++r) {
        const double start = now();
        if (execRead(pg.get(), insert, values, &checksum) != 1)
            failed = 1;
        raws.push_back(now() - start);
    }
    ExecQuery(DM->DmQuery, QStringLiteral("Delete From Salary Where id >= ?"), {firstNewId});
    pointDataSourceAt(dbPath);
    if (!failed)
        printLine("add_entry", rows, median(ours), median(raws), 4);
    return failed;
}

} // namespace

int benchEntry(const QString& dbPath, int repeat, bool cpuClock, const QString& serverUri)
{
    g_cpu = cpuClock;
    sqlite3* raw = nullptr;
    if (sqlite3_open_v2(dbPath.toUtf8().constData(), &raw, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        std::fprintf(stderr, "entry: cannot open %s\n", dbPath.toUtf8().constData());
        return 1;
    }
    // The records added here may take a step of the sample past its style's piece count: the
    // question is answered Yes, as a clerk who knows does. Any other box ends the run.
    const auto answerOrEnd = [](bool answerOverClaim) {
        toolkit::setMessageAnswerer([answerOverClaim](const toolkit::MessageRequest& request) {
            if (answerOverClaim && request.text.startsWith(QStringLiteral("该款式")) &&
                request.buttons.testFlag(QMessageBox::Yes))
                return QMessageBox::Yes;
            std::fprintf(stderr, "%s\n", request.text.toUtf8().constData());
            std::exit(1);
            return QMessageBox::Ok;
        });
    };
    answerOrEnd(true);
    // The main window with its own data module, as the program runs; the caller's comes back at
    // the end.
    TDM* callersModule = DM;
    auto* mainForm = new TMainForm;
    MainForm = mainForm;
    mainForm->show();
    QApplication::processEvents();
    const qint64 firstNewId = maxId() + 1;
    int failed = 0;

    // Opening the window against the raw engine.
    std::vector<double> opens, raws;
    qint64 rows = 0;
    for (int r = 0; r < repeat && !failed; ++r) {
        double start = now();
        rows = rawList(raw);
        raws.push_back(now() - start);
        start = now();
        TDataAddForm* form = openWindow(mainForm);
        opens.push_back(now() - start);
        if (!form || !form->isVisible() || form->SalaryGrid->model()->rowCount() != rows) {
            std::fprintf(stderr, "entry: the window does not show the %lld records\n", static_cast<long long>(rows));
            failed = 1;
        }
        if (form)
            closeWindow(form);
    }
    if (!failed)
        std::printf("open_entry_window rows=%lld ours=%.3f raw=%.3f ratio=%.2f\n", static_cast<long long>(rows),
                    median(opens), median(raws), median(opens) / median(raws));

    // One record through the window until its list shows it, against insert and full reload.
    std::vector<double> ours, naive;
    TDataAddForm* form = failed ? nullptr : openWindow(mainForm);
    if (form && !chooseWorker(form))
        failed = 1;
    for (int r = 0; r < repeat && form && !failed; ++r) {
        form->ProcessCount->setText(QStringLiteral("12"));
        const qint64 shownBefore = form->SalaryGrid->model()->rowCount();
        double start = now();
        form->cmdadd->click();
        QApplication::processEvents();
        ours.push_back(now() - start);
        if (form->SalaryGrid->model()->rowCount() != shownBefore + 1 || topId(form) != maxId()) {
            std::fprintf(stderr, "entry: the list does not show the added record\n");
            failed = 1;
        }

        const QVariantList values = sampleRecord();
        start = now();
        if (!ExecQuery(DM->DataAddQuery, kAddSql, values) ||
            !OpenQuery(DM->DataAddQuery, QString::fromLatin1(kListSql)))
            failed = 1;
        QApplication::processEvents();
        naive.push_back(now() - start);
    }
    if (!failed && !ours.empty())
        std::printf("add_entry rows=%lld ours=%.4f naive=%.4f ratio=%.3f\n", static_cast<long long>(rows), median(ours),
                    median(naive), median(ours) / median(naive));
    std::fflush(stdout);
    if (form && !failed)
        failed = loggedAdd(form, rows, repeat);
    if (!failed)
        failed = overClaimCheck(raw, rows, repeat);
    if (form)
        closeWindow(form);
    if (!failed && !serverUri.isEmpty())
        failed = serverAdd(mainForm, serverUri, dbPath, repeat);

    // The records added here are removed again.
    ExecQuery(DM->DmQuery, QStringLiteral("Delete From Salary Where id >= ?"), {firstNewId});
    delete mainForm; // and its data module
    DM = callersModule;
    sqlite3_close(raw);
    answerOrEnd(false);
    return failed;
}
