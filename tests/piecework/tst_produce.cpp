#include "data/ClientName.h"
#include "data/LoginIdentity.h"
#include "data/Sql.h"
#include "data/Transaction.h"
#include "masterdata/MasterFixture.h"
#include "piecework/PricePreview.h"
#include "piecework/Produce.h"
#include "toolkit/DisplayMask.h"

#include <QAbstractItemModelTester>
#include <QDateEdit>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableWidget>

#include <atomic>
#include <chrono>
#include <thread>

using namespace masterfixture;

namespace {
const QString kKindEmpty = QStringLiteral("对不起，款式号不能为空!");
const QString kStepsNotInteger = QStringLiteral("对不起，工序数不能为空并且必须为整数!");
const QString kTooManySteps = QStringLiteral("对不起，工序数不能超过999!");
const QString kCountNotInteger = QStringLiteral("对不起，产品件数必须为整数!");
const QString kKindRepeated = QStringLiteral("对不起，款式号不能有重复!");
const QString kPickToEdit = QStringLiteral("对不起，请选择所要修改的产品款式号!");
const QString kPickToDelete = QStringLiteral("对不起，请选择所要删除的产品款式号!");
const QString kPickFirst = QStringLiteral("对不起，请先选择产品款式号!");
const QString kAskDelete = QStringLiteral("是否确定要删除此数据?  ");
const QString kAskBulk = QStringLiteral("是否确定要批量更新所有款式工序价格?");
const QString kStatementFailed = QStringLiteral("操作数据表时出错, 执行语句为:\n\n");
const QString kChangedByOther = QStringLiteral("该记录已被其他用户修改，请刷新后重试!");
const QString kDeletedByOther = QStringLiteral("该记录已被其他用户删除!");
const QString kMonthClosed = QStringLiteral("对不起，该月份已结账，不能修改!");

// Another clerk's statements on style A1 and its steps.
const QStringList kRenumberA1{"UPDATE Product SET Kind='A9' WHERE Kind='A1'",
                              "UPDATE Process SET ProductId='A9' WHERE ProductId='A1'"};
const QStringList kDeleteA1{"DELETE FROM Process WHERE ProductId='A1'", "DELETE FROM Product WHERE Kind='A1'"};

QString askSave(const QString& yearMonth)
{
    return QStringLiteral("是否确定要更新此款式") + yearMonth + QStringLiteral("的工序价格?  ");
}

QString badPrice(const QString& label)
{
    return QStringLiteral("对不起，") + label + QStringLiteral("的价格必须是不小于0的数字，最多三位小数!");
}

QString day(const QDate& month, int dayOfMonth)
{
    return QDate(month.year(), month.month(), dayOfMonth).toString(QStringLiteral("yyyy-MM-dd"));
}

enum { ColKind = 1, ColSteps, ColName, ColCount, ColDate };
enum { StepLabel = 1, StepName, StepPrice = 5 };
} // namespace

class TestProduce : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        env = std::make_unique<Env>();
        // The price preview is answered from previewAnswers (true: 确定) by clicking its buttons; one
        // that no test expected is cancelled and fails the test.
        TPricePreviewForm::Answerer = [this](TPricePreviewForm* preview) {
            PreviewShown shown{preview->windowTitle(),
                               preview->RecordsLabel->text(),
                               {},
                               {preview->TotalBeforeLabel->text(), preview->TotalAfterLabel->text()}};
            for (int row = 0; row < preview->PreviewGrid->rowCount(); ++row) {
                QStringList cells;
                for (int column = 0; column < preview->PreviewGrid->columnCount(); ++column)
                    cells << preview->PreviewGrid->item(row, column)->text();
                shown.rows << cells;
            }
            previewsShown << shown;
            if (previewAnswers.isEmpty()) {
                ++unexpectedPreviews;
                click(preview->cmdcancel);
                return;
            }
            if (whilePreviewOpen)
                whilePreviewOpen();
            click(previewAnswers.takeFirst() ? preview->cmdok : preview->cmdcancel);
        };
    }
    void cleanup()
    {
        TPricePreviewForm::Answerer = nullptr;
        whilePreviewOpen = nullptr;
        const int unexpected = std::exchange(unexpectedPreviews, 0);
        const QList<bool> unused = std::exchange(previewAnswers, {});
        previewsShown.clear();
        delete form;
        QCOMPARE(ProduceForm, nullptr);
        QCOMPARE(env->boxes.unexpected(), 0);
        QCOMPARE(env->boxes.takeTexts(), QStringList());
        env.reset();
        QCOMPARE(unexpected, 0);
        QCOMPARE(unused, QList<bool>());
    }

    void opensWithBothTabs();
    void enterMovesThroughStyleFields();
    void addStoresStyleWithSteps_data();
    void addStoresStyleWithSteps();
    void addRefusals_data();
    void addRefusals();
    void editKeepsOrRemakesSteps_data();
    void editKeepsOrRemakesSteps();
    void editRefusals_data();
    void editRefusals();
    void numberChangeCarriesStepsAndRecords();
    void deleteAsksAndTakesSteps();
    void chosenStyleRuleAcrossTabs();
    void search_data();
    void search();
    void stepGridEditsInPlace();
    void monthReadsTwoDigits();
    void saveAppliesToChosenMonthOnly();
    void badPriceIsRefused_data();
    void badPriceIsRefused();
    void bulkUpdateAppliesCurrentMonthToAllStyles();
    void failureLeavesEveryTableAsBefore_data();
    void failureLeavesEveryTableAsBefore();
    void openFromEntry();
    void applicationWaitsForEntryInFlight();
    void entryDuringApplicationsIsNeverPassedOver();
    void styleEditMeetsOtherClerk_data();
    void styleEditMeetsOtherClerk();
    void stepSaveMeetsOtherClerk_data();
    void stepSaveMeetsOtherClerk();
    void styleDeleteMeetsOtherClerk_data();
    void styleDeleteMeetsOtherClerk();
    void closedMonthKeepsItsPrices_data();
    void closedMonthKeepsItsPrices();
    void priceApplicationIsRecordedPerStyle();
    void stepSaveIsRecorded();
    void styleChangesAreRecorded();
    void previewShowsWhatIsApplied_data();
    void previewShowsWhatIsApplied();
    void previewCancelChangesNothing_data();
    void previewCancelChangesNothing();
    void changeAfterPreviewIsRefused_data();
    void changeAfterPreviewIsRefused();
    void bulkWithoutRecordsShowsNoPreview();
    void saveWithoutRecordsStoresStepsWithoutPreview();

private:
    TProduceForm* open()
    {
        form = new TProduceForm;
        form->show();
        return form;
    }
    qlonglong addStyle(const QString& kind, int steps, bool priced = false,
                       const QString& name = QStringLiteral("衬衫"), int count = 100,
                       const QString& date = QStringLiteral("2004-03-01")) const
    {
        env->exec(QStringLiteral("INSERT INTO Product (Kind, Process, KindName, ProductCount, ProductDate) "
                                 "VALUES (?,?,?,?,?)"),
                  {kind, steps, name, count, date});
        for (int i = 1; i <= steps; ++i)
            env->exec(QStringLiteral("INSERT INTO Process (Process, ProcessName, ProductId, Price) VALUES (?,?,?,?)"),
                      {QStringLiteral("工序%1").arg(i), priced ? QVariant(QStringLiteral("步骤%1").arg(i)) : QVariant(),
                       kind, priced ? QVariant(i * 0.125) : QVariant()});
        return env->rows(QStringLiteral("SELECT max(Id) FROM Product")).at(0).at(0).toLongLong();
    }
    void addRecord(const QString& kind, int step, const QString& date) const
    {
        env->exec(QStringLiteral("INSERT INTO Salary (DeptName, WorkerName, KindId, KindName, Process, ProductCount, "
                                 "ProcessDate) VALUES ('一组', '张三', ?, '旧名', ?, 10, ?)"),
                  {kind, QStringLiteral("工序%1").arg(step), date});
    }
    // A record with its quantity and stored price.
    void addPricedRecord(const QString& kind, const QString& step, const QString& date, int count,
                         const QVariant& price) const
    {
        env->exec(QStringLiteral("INSERT INTO Salary (DeptName, WorkerName, KindId, KindName, Process, ProductCount, "
                                 "ProcessPrice, ProcessDate) VALUES ('一组', '张三', ?, '旧名', ?, ?, ?, ?)"),
                  {kind, step, count, price, date});
    }
    void addWorkerRecord(const QString& kind, const QString& step, const QString& dept, int machine,
                         const QString& worker, int count, const QVariant& price, const QString& date) const
    {
        env->exec(QStringLiteral("INSERT INTO Salary (DeptName, MachineId, WorkerName, KindId, KindName, Process, "
                                 "ProductCount, ProcessPrice, ProcessDate) VALUES (?, ?, ?, ?, '旧名', ?, ?, ?, ?)"),
                  {dept, machine, worker, kind, step, count, price, date});
    }
    // Styles A1 (3 steps) and B2 (2 steps) priced at 0.125 a step number, and a month of records:
    // 张三 in two teams, a record already priced, unpriced ones, a step outside its style, a worker
    // without A1, a record of the month before.
    void addPreviewFixture(const QDate& month) const
    {
        addStyle(QStringLiteral("A1"), 3, true);
        addStyle(QStringLiteral("B2"), 2, true);
        addWorkerRecord(QStringLiteral("A1"), QStringLiteral("工序1"), QStringLiteral("一组"), 1,
                        QStringLiteral("张三"), 10, 9.0, day(month, 1));
        addWorkerRecord(QStringLiteral("A1"), QStringLiteral("工序2"), QStringLiteral("一组"), 1,
                        QStringLiteral("张三"), 10, QVariant(), day(month, 2));
        addWorkerRecord(QStringLiteral("A1"), QStringLiteral("工序3"), QStringLiteral("二组"), 2,
                        QStringLiteral("张三"), 4, 0.5, day(month, 2));
        addWorkerRecord(QStringLiteral("A1"), QStringLiteral("工序7"), QStringLiteral("一组"), 3,
                        QStringLiteral("李四"), 5, 2.0, day(month, 3));
        addWorkerRecord(QStringLiteral("B2"), QStringLiteral("工序1"), QStringLiteral("一组"), 3,
                        QStringLiteral("李四"), 3, QVariant(), day(month, 3));
        addWorkerRecord(QStringLiteral("B2"), QStringLiteral("工序2"), QStringLiteral("二组"), 4,
                        QStringLiteral("王五"), 6, 0.1, day(month, 4));
        const QDate last = month.addMonths(-1);
        addWorkerRecord(QStringLiteral("A1"), QStringLiteral("工序1"), QStringLiteral("一组"), 1,
                        QStringLiteral("张三"), 100, 1.0, day(last, last.daysInMonth()));
    }
    // Each worker's wage of the month as the database holds it, by "team/place/worker".
    QHash<QString, double> wages(const QDate& month) const
    {
        QHash<QString, double> byWorker;
        const auto rows = env->rows(QStringLiteral("SELECT DeptName, MachineId, WorkerName, "
                                                   "SUM(ProductCount*ProcessPrice) FROM Salary WHERE ProcessDate>=? "
                                                   "AND ProcessDate<? GROUP BY WorkerName, DeptName, MachineId"),
                                    {day(month, 1), day(month.addMonths(1), 1)});
        for (const QVariantList& row : rows)
            byWorker.insert(row.at(0).toString() + QLatin1Char('/') + row.at(1).toString() + QLatin1Char('/') +
                                row.at(2).toString(),
                            row.at(3).isNull() ? 0.0 : row.at(3).toDouble());
        return byWorker;
    }
    void closeMonth(const QDate& anyDay) const
    {
        env->exec(QStringLiteral("INSERT INTO MonthClose (Month, ClosedBy, ClosedAt) VALUES (?, '管理员', "
                                 "'2004-05-01 08:00:00')"),
                  {anyDay.toString(QStringLiteral("yyyy-MM"))});
    }
    QList<QVariantList> changeLines() const
    {
        return env->rows(QStringLiteral("SELECT UserName, Host, ChangeKind, TableName, RowKey, OldValues, NewValues, "
                                        "Note FROM ChangeLog ORDER BY Id"));
    }
    QVariantList line(const QString& kind, const QString& table, const QString& key, const QVariant& before,
                      const QVariant& after, const QVariant& note = QVariant()) const
    {
        return {QStringLiteral("核价员"), data::thisHostName(), kind, table, key, before, after, note};
    }
    // Quantity, price and amount of a month's records, as the wage summary reads them.
    QList<QVariantList> amounts(const QDate& anyDay) const
    {
        return env->rows(QStringLiteral("SELECT id, ProductCount, ProcessPrice, ProductCount*ProcessPrice FROM Salary "
                                        "WHERE ProcessDate>=? AND ProcessDate<? ORDER BY id"),
                         {day(anyDay, 1), day(anyDay.addMonths(1), 1)});
    }
    // Every table the window writes, whole, values with their types.
    QList<QList<QVariantList>> tables() const
    {
        QList<QList<QVariantList>> all;
        for (const char* table : {"Product", "Process", "Salary"})
            all << env->rows(QStringLiteral("SELECT * FROM %1 ORDER BY 1").arg(QLatin1String(table)));
        return all;
    }
    QList<QVariantList> stepRows(const QString& kind) const
    {
        return env->rows(
            QStringLiteral("SELECT Process, ProcessName, Price FROM Process WHERE ProductId=? ORDER BY Id"), {kind});
    }
    // Name, price and the price's storage type of a style's records, by date then step. The type is
    // told as SQLite names it; the server's exact decimal stands for "real".
    QList<QVariantList> records(const QString& kind) const
    {
        const QString type = testsupport::onServer()
                                 ? QStringLiteral("CASE WHEN ProcessPrice IS NULL THEN 'null' ELSE 'real' END")
                                 : QStringLiteral("typeof(ProcessPrice)");
        return env->rows(QStringLiteral("SELECT ProcessDate, Process, ProcessName, ProcessPrice, %1 "
                                        "FROM Salary WHERE KindId=? ORDER BY ProcessDate, Process")
                             .arg(type),
                         {kind});
    }
    void pick(const QString& kind)
    {
        const int row = int(gridColumn(form->ProductGrid, ColKind).indexOf(kind));
        QVERIFY2(row >= 0, qPrintable(kind));
        pressRow(form->ProductGrid, row, Qt::LeftButton, ColKind);
    }
    void openSteps(const QString& kind)
    {
        pick(kind);
        form->RzPage->setCurrentWidget(form->ProcessSheet);
        QCOMPARE(form->RzPage->currentWidget(), form->ProcessSheet);
    }
    void fillStyle(const QString& kind, const QString& steps, const QString& name = QStringLiteral("衬衫"),
                   const QString& count = QStringLiteral("100"))
    {
        form->Kind_Edit->setText(kind);
        form->Process_Edit->setText(steps);
        form->KindName_Edit->setText(name);
        form->ProductCount_Edit->setText(count);
    }
    // Types text into a cell of the step grid and presses Enter, as a user does.
    void typeIntoCell(int row, int column, const QString& text)
    {
        const QModelIndex index = form->ProcessGrid->model()->index(row, column);
        form->ProcessGrid->setCurrentIndex(index);
        auto* editor = qobject_cast<QLineEdit*>(form->ProcessGrid->indexWidget(index));
        QVERIFY2(editor, "no cell editor open");
        editor->selectAll();
        editor->insert(text);
        QTest::keyClick(editor, Qt::Key_Return);
    }
    void setMonth(int year, int month)
    {
        form->year_edit_s->setValue(year);
        form->month_edit_s->setValue(month);
    }

    // Runs the other clerk's statements: at once, or (held) in a transaction that commits while
    // the window's next action runs, given as act.
    void otherClerk(const QStringList& statements, bool held, const std::function<void()>& act) const
    {
        if (!held) {
            for (const QString& sql : statements)
                env->exec(sql);
            act();
            return;
        }
        testsupport::HeldTransaction transaction(env->db());
        for (const QString& sql : statements)
            transaction.exec(sql);
        transaction.commitAfter(400);
        act();
        transaction.waitForCommit();
    }

    // What a price preview showed: caption, record line, grid rows, the month's totals.
    struct PreviewShown {
        QString caption;
        QString records;
        QList<QStringList> rows;
        QStringList totals;
    };
    QList<bool> previewAnswers;
    QList<PreviewShown> previewsShown;
    int unexpectedPreviews = 0;
    std::function<void()> whilePreviewOpen;

    std::unique_ptr<Env> env;
    QPointer<TProduceForm> form;
};

void TestProduce::opensWithBothTabs()
{
    addStyle(QStringLiteral("A1"), 3, false, QStringLiteral("衬衫"), 150, QStringLiteral("2004-03-05"));
    addStyle(QStringLiteral("B2"), 15, false, QStringLiteral("长裤"), 0, QStringLiteral("2004-04-01"));
    open();
    QAbstractItemModelTester styleTester(form->ProductGrid->model(),
                                         QAbstractItemModelTester::FailureReportingMode::QtTest);
    QAbstractItemModelTester stepTester(form->ProcessGrid->model(),
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);

    QCOMPARE(ProduceForm, form.data());
    QCOMPARE(form->windowTitle(), QStringLiteral("产品工序"));
    QCOMPARE(form->size(), QSize(711, 435));
    QCOMPARE(form->RzPage->count(), 2);
    QCOMPARE(form->RzPage->tabText(0), QStringLiteral("产品款式"));
    QCOMPARE(form->RzPage->tabText(1), QStringLiteral("产品工序"));
    QCOMPARE(form->RzPage->currentWidget(), form->ProductSheet);
    QVERIFY(!form->OpenedFromEntry);
    QVERIFY(!form->SelectedId.isValid());

    // Style tab: the list, newest style number first, with its columns.
    QCOMPARE(form->ProductGrid->dataSource(), DM->ProduceSource);
    QCOMPARE(form->ProductGrid->selectionBehavior(), QAbstractItemView::SelectRows);
    QCOMPARE(form->ProductGrid->editTriggers(), QAbstractItemView::NoEditTriggers);
    QCOMPARE(form->ProductGrid->width(), 457);
    QVERIFY(form->ProductGrid->isColumnHidden(0));
    QStringList titles;
    for (int c = 1; c < form->ProductGrid->gridColumnCount(); ++c)
        titles << form->ProductGrid->model()->headerData(c, Qt::Horizontal).toString();
    QCOMPARE(titles, (QStringList{"款式号", "工序数", "款式名称", "件数", "加工日期"}));
    QCOMPARE(gridRows(form->ProductGrid).at(0).mid(1), (QStringList{"B2", "15", "长裤", "0", "2004-04-01"}));
    QCOMPARE(gridColumn(form->ProductGrid, ColKind), (QStringList{"B2", "A1"}));

    const QList<QPair<const char*, const char*>> labels{
        {"Label1", "款式号："},   {"Label2", "工序数："},   {"Label3", "款式名称："}, {"Label4", "产品件数："},
        {"Label5", "加工日期："}, {"Label6", "工序月份："}, {"Label7", "年"},         {"Label8", "月"}};
    for (const auto& [name, text] : labels)
        QCOMPARE(form->findChild<QLabel*>(QLatin1String(name))->text(), QString::fromUtf8(text));
    for (const char* name : {"Kind_Edit", "Process_Edit", "KindName_Edit", "ProductCount_Edit", "Searchtxt"})
        QCOMPARE(form->findChild<QLineEdit*>(QLatin1String(name))->text(), QString());
    QCOMPARE(form->ProductPicker->date(), QDate::currentDate());
    QCOMPARE(form->ProductPicker->displayFormat(), QStringLiteral("yyyy-MM-dd"));
    QVERIFY(form->ProductPicker->calendarPopup());
    const QList<QPair<const char*, const char*>> buttons{{"cmdadd", "新增"},          {"cmddelete", "删除"},
                                                         {"cmdedit", "编辑"},         {"cmdexit", "退出"},
                                                         {"cmdsearch", "查询"},       {"Button1", "批量更新工序单价"},
                                                         {"Process_cmdsave", "保存"}, {"process_cmdexit", "退出"}};
    for (const auto& [name, text] : buttons) {
        auto* button = form->findChild<QPushButton*>(QLatin1String(name));
        QVERIFY2(button, name);
        QCOMPARE(button->text(), QString::fromUtf8(text));
        QCOMPARE(button->isEnabled(), QLatin1String(name) != QLatin1String("cmdedit"));
    }
    QCOMPARE(form->ProgressBar->minimum(), 0);
    QCOMPARE(form->ProgressBar->maximum(), 100);
    QCOMPARE(form->ProgressBar->value(), 0);

    QList<QWidget*> order{form->Kind_Edit};
    while (order.size() < 13)
        order << nextTabStop(order.last());
    QCOMPARE(order, (QList<QWidget*>{form->Kind_Edit, form->Process_Edit, form->KindName_Edit, form->ProductCount_Edit,
                                     form->ProductPicker, form->cmdadd, form->cmddelete, form->cmdedit, form->cmdexit,
                                     form->Searchtxt, form->cmdsearch, form->ProductGrid, form->Button1}));

    // Step tab: the grid's columns, the month fields as designed.
    QCOMPARE(form->ProcessGrid->dataSource(), DM->ProcessSource);
    QCOMPARE(form->ProcessGrid->height(), 273);
    QStringList stepTitles;
    QList<int> hidden;
    for (int c = 0; c < form->ProcessGrid->gridColumnCount(); ++c) {
        stepTitles << form->ProcessGrid->gridColumn(c).fieldName + QLatin1Char('=') +
                          form->ProcessGrid->model()->headerData(c, Qt::Horizontal).toString();
        if (form->ProcessGrid->isColumnHidden(c))
            hidden << c;
    }
    QCOMPARE(stepTitles, (QStringList{"id=", "Process=工序号", "ProcessName=工序名称",
                                      "Productsize=", "Productid=", "Price=价格(元)"}));
    QCOMPARE(hidden, (QList<int>{0, 3, 4}));
    QCOMPARE(form->year_edit_s->minimum(), 2003);
    QCOMPARE(form->year_edit_s->maximum(), 9999);
    QCOMPARE(form->year_edit_s->value(), 2003);
    QCOMPARE(form->month_edit_s->minimum(), 1);
    QCOMPARE(form->month_edit_s->maximum(), 12);
    QCOMPARE(form->month_edit_s->text(), QStringLiteral("01"));
}

void TestProduce::enterMovesThroughStyleFields()
{
    open();
    QApplication::setActiveWindow(form);
    QVERIFY(QTest::qWaitForWindowActive(form));
    form->Kind_Edit->setFocus();
    const QList<QWidget*> path{form->Process_Edit, form->KindName_Edit, form->ProductCount_Edit};
    for (QWidget* next : path) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QCOMPARE(QApplication::focusWidget(), next);
    }
}

void TestProduce::addStoresStyleWithSteps_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("steps");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("count");
    QTest::addColumn<int>("storedSteps");
    QTest::addColumn<int>("storedCount");
    QTest::newRow("three steps") << "A1"
                                 << "3"
                                 << "衬衫"
                                 << "150" << 3 << 150;
    QTest::newRow("no steps") << "A1"
                              << "0"
                              << "衬衫"
                              << "150" << 0 << 150;
    QTest::newRow("empty piece count stores 0") << "A1"
                                                << "2"
                                                << "衬衫"
                                                << "" << 2 << 0;
    QTest::newRow("quotes as typed") << "O'1"
                                     << " 2"
                                     << "Tom's \"衬衫\""
                                     << "-5" << 2 << -5;
    QTest::newRow("hexadecimal count") << "A1"
                                       << "$3"
                                       << ""
                                       << "0x10" << 3 << 16;
}

void TestProduce::addStoresStyleWithSteps()
{
    QFETCH(QString, kind);
    QFETCH(QString, steps);
    QFETCH(QString, name);
    QFETCH(QString, count);
    QFETCH(int, storedSteps);
    QFETCH(int, storedCount);
    addStyle(QStringLiteral("Z9"), 1);
    open();
    fillStyle(kind, steps, name, count);
    form->ProductPicker->setDate(QDate(2004, 3, 7));
    click(form->cmdadd);

    QCOMPARE(env->rows(QStringLiteral("SELECT Kind, Process, KindName, ProductCount, ProductDate FROM Product "
                                      "WHERE Kind<>'Z9'")),
             (QList<QVariantList>{{kind, storedSteps, name, storedCount, QStringLiteral("2004-03-07")}}));
    QList<QVariantList> expectedSteps;
    for (int i = 1; i <= storedSteps; ++i)
        expectedSteps << QVariantList{QStringLiteral("工序%1").arg(i), QVariant(), QVariant()};
    QCOMPARE(stepRows(kind), expectedSteps);
    QCOMPARE(stepRows(QStringLiteral("Z9")).size(), 1);
    for (QLineEdit* edit : {form->Kind_Edit, form->Process_Edit, form->KindName_Edit, form->ProductCount_Edit})
        QCOMPARE(edit->text(), QString());
    QCOMPARE(form->ProductPicker->date(), QDate::currentDate());
    QVERIFY(gridColumn(form->ProductGrid, ColKind).contains(kind));

    // The number is found as typed: adding it again is refused.
    fillStyle(kind, QStringLiteral("1"));
    click(form->cmdadd);
    QCOMPARE(env->boxes.takeTexts(), QStringList{kKindRepeated});
    QCOMPARE(stepRows(kind).size(), storedSteps);
}

void TestProduce::addRefusals_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("steps");
    QTest::addColumn<QString>("count");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("focus");
    QTest::newRow("empty number") << ""
                                  << "3"
                                  << "1" << kKindEmpty << "Kind_Edit";
    QTest::newRow("blank number") << "  "
                                  << "3"
                                  << "1" << kKindEmpty << "Kind_Edit";
    QTest::newRow("empty steps") << "B1"
                                 << " "
                                 << "1" << kStepsNotInteger << "Process_Edit";
    QTest::newRow("fraction steps") << "B1"
                                    << "1.5"
                                    << "1" << kStepsNotInteger << "Process_Edit";
    QTest::newRow("trailing blank") << "B1"
                                    << "3 "
                                    << "1" << kStepsNotInteger << "Process_Edit";
    QTest::newRow("too many steps") << "B1"
                                    << "1000"
                                    << "1" << kTooManySteps << "Process_Edit";
    QTest::newRow("piece count not a number") << "B1"
                                              << "3"
                                              << "十" << kCountNotInteger << "ProductCount_Edit";
    QTest::newRow("number taken") << "A1"
                                  << "3"
                                  << "1" << kKindRepeated << "";
    QTest::newRow("number taken, other case") << "a1"
                                              << "3"
                                              << "1" << kKindRepeated << "";
}

void TestProduce::addRefusals()
{
    QFETCH(QString, kind);
    QFETCH(QString, steps);
    QFETCH(QString, count);
    QFETCH(QString, message);
    QFETCH(QString, focus);
    addStyle(QStringLiteral("A1"), 2);
    open();
    QApplication::setActiveWindow(form);
    const auto before = tables();
    fillStyle(kind, steps, QStringLiteral("名"), count);
    click(form->cmdadd);

    const auto boxes = env->boxes.take();
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes.at(0).text, message);
    QCOMPARE(boxes.at(0).caption, QStringLiteral("蓝栎服装计件工资管理系统"));
    QCOMPARE(boxes.at(0).buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QCOMPARE(boxes.at(0).icon, toolkit::MsgIcon::Stop);
    QCOMPARE(tables(), before);
    QCOMPARE(form->Kind_Edit->text(), kind);
    QCOMPARE(form->Process_Edit->text(), steps);
    QCOMPARE(form->ProductCount_Edit->text(), count);
    if (!focus.isEmpty())
        QCOMPARE(QApplication::focusWidget()->objectName(), focus);
    QCOMPARE(gridColumn(form->ProductGrid, ColKind), QStringList{"A1"});
}

void TestProduce::editKeepsOrRemakesSteps_data()
{
    QTest::addColumn<QString>("steps");
    QTest::addColumn<QString>("count");
    QTest::addColumn<QList<QVariantList>>("expectedSteps");
    QTest::addColumn<int>("storedCount");
    const QList<QVariantList> kept{{"工序1", "步骤1", 0.125}, {"工序2", "步骤2", 0.25}, {"工序3", "步骤3", 0.375}};
    const QList<QVariantList> fourEmpty{{"工序1", {}, {}}, {"工序2", {}, {}}, {"工序3", {}, {}}, {"工序4", {}, {}}};
    QTest::newRow("same count keeps names and prices") << "3"
                                                       << "80" << kept << 80;
    QTest::newRow("3 to 4 remakes them empty") << "4"
                                               << "80" << fourEmpty << 80;
    QTest::newRow("3 to 0 removes them") << "0"
                                         << "80" << QList<QVariantList>{} << 80;
    QTest::newRow("empty piece count stores 0") << "3"
                                                << "" << kept << 0;
}

void TestProduce::editKeepsOrRemakesSteps()
{
    QFETCH(QString, steps);
    QFETCH(QString, count);
    QFETCH(QList<QVariantList>, expectedSteps);
    QFETCH(int, storedCount);
    const qlonglong id = addStyle(QStringLiteral("A1"), 3, true);
    addStyle(QStringLiteral("B1"), 2, true);
    addRecord(QStringLiteral("A1"), 1, QStringLiteral("2004-02-03"));
    addRecord(QStringLiteral("A1"), 2, QStringLiteral("2005-07-30"));
    addRecord(QStringLiteral("B1"), 1, QStringLiteral("2004-02-03"));
    open();
    pick(QStringLiteral("A1"));
    QCOMPARE(form->Kind_Edit->text(), QStringLiteral("A1"));
    QCOMPARE(form->Process_Edit->text(), QStringLiteral("3"));
    QCOMPARE(form->KindName_Edit->text(), QStringLiteral("衬衫"));
    QCOMPARE(form->ProductCount_Edit->text(), QStringLiteral("100"));
    QCOMPARE(form->ProductPicker->date(), QDate(2004, 3, 1));
    QVERIFY(form->cmdedit->isEnabled());

    fillStyle(QStringLiteral("A1"), steps, QStringLiteral("新'衬衫"), count);
    form->ProductPicker->setDate(QDate(2005, 1, 2));
    click(form->cmdedit);

    QCOMPARE(env->rows(QStringLiteral("SELECT Kind, Process, KindName, ProductCount, ProductDate FROM Product "
                                      "WHERE Id=?"),
                       {id}),
             (QList<QVariantList>{{"A1", steps.toInt(), "新'衬衫", storedCount, "2005-01-02"}}));
    QCOMPARE(stepRows(QStringLiteral("A1")), expectedSteps);
    QCOMPARE(stepRows(QStringLiteral("B1")).size(), 2);
    // The style name reaches the style's records of every month, and no other style's.
    QCOMPARE(env->rows(QStringLiteral("SELECT KindId, KindName FROM Salary ORDER BY id")),
             (QList<QVariantList>{{"A1", "新'衬衫"}, {"A1", "新'衬衫"}, {"B1", "旧名"}}));
    QCOMPARE(form->Kind_Edit->text(), QString());
    QCOMPARE(form->ProductPicker->date(), QDate::currentDate());
    QVERIFY(!form->cmdedit->isEnabled());
    QCOMPARE(form->SelectedId.toLongLong(), id);
    QCOMPARE(gridColumn(form->ProductGrid, ColName), (QStringList{"衬衫", "新'衬衫"}));
}

void TestProduce::editRefusals_data()
{
    QTest::addColumn<bool>("picked");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("steps");
    QTest::addColumn<QString>("message");
    QTest::newRow("no style chosen") << false << "A1"
                                     << "3" << kPickToEdit;
    QTest::newRow("empty number") << true << ""
                                  << "3" << kKindEmpty;
    QTest::newRow("bad steps") << true << "A1"
                               << "x" << kStepsNotInteger;
    QTest::newRow("other style's number") << true << "B1"
                                          << "3" << kKindRepeated;
    QTest::newRow("other style's number, other case") << true << "b1"
                                                      << "3" << kKindRepeated;
}

void TestProduce::editRefusals()
{
    QFETCH(bool, picked);
    QFETCH(QString, kind);
    QFETCH(QString, steps);
    QFETCH(QString, message);
    addStyle(QStringLiteral("A1"), 3, true);
    addStyle(QStringLiteral("B1"), 2);
    open();
    pick(QStringLiteral("A1"));
    if (!picked) {
        // Entering the style tab from the step tab forgets the chosen style; "编辑" stays enabled.
        form->RzPage->setCurrentWidget(form->ProcessSheet);
        form->RzPage->setCurrentWidget(form->ProductSheet);
    }
    const auto before = tables();
    fillStyle(kind, steps);
    click(form->cmdedit);

    QCOMPARE(env->boxes.takeTexts(), QStringList{message});
    QCOMPARE(tables(), before);
    QCOMPARE(form->Kind_Edit->text(), kind);
    QVERIFY(form->cmdedit->isEnabled());
}

void TestProduce::numberChangeCarriesStepsAndRecords()
{
    addStyle(QStringLiteral("A1"), 3, true);
    addStyle(QStringLiteral("B1"), 2, true);
    addRecord(QStringLiteral("A1"), 1, QStringLiteral("2004-02-03"));
    addRecord(QStringLiteral("A1"), 3, QStringLiteral("2004-03-03"));
    addRecord(QStringLiteral("B1"), 1, QStringLiteral("2004-03-03"));
    open();

    // Same step count: the steps keep their names and prices under the new number.
    pick(QStringLiteral("A1"));
    fillStyle(QStringLiteral("C'1"), QStringLiteral("3"), QStringLiteral("外套"));
    click(form->cmdedit);
    QCOMPARE(stepRows(QStringLiteral("A1")), QList<QVariantList>{});
    QCOMPARE(stepRows(QStringLiteral("C'1")),
             (QList<QVariantList>{{"工序1", "步骤1", 0.125}, {"工序2", "步骤2", 0.25}, {"工序3", "步骤3", 0.375}}));
    QCOMPARE(env->rows(QStringLiteral("SELECT KindId, KindName FROM Salary ORDER BY id")),
             (QList<QVariantList>{{"C'1", "外套"}, {"C'1", "外套"}, {"B1", "旧名"}}));
    QCOMPARE(stepRows(QStringLiteral("B1")).size(), 2);

    // The chosen style follows its new number: its steps show on the step tab.
    form->RzPage->setCurrentWidget(form->ProcessSheet);
    QCOMPARE(gridColumn(form->ProcessGrid, StepLabel), (QStringList{"工序1", "工序2", "工序3"}));
    form->RzPage->setCurrentWidget(form->ProductSheet);

    // Another number and another count: the steps are remade under the new number only.
    pick(QStringLiteral("C'1"));
    fillStyle(QStringLiteral("D1"), QStringLiteral("2"), QStringLiteral("外套"));
    click(form->cmdedit);
    QCOMPARE(stepRows(QStringLiteral("C'1")), QList<QVariantList>{});
    QCOMPARE(stepRows(QStringLiteral("D1")), (QList<QVariantList>{{"工序1", {}, {}}, {"工序2", {}, {}}}));
    QCOMPARE(env->rows(QStringLiteral("SELECT count(*) FROM Salary WHERE KindId='D1'")).at(0).at(0).toInt(), 2);
    QCOMPARE(env->rows(QStringLiteral("SELECT count(*) FROM Process")).at(0).at(0).toInt(), 4);
}

void TestProduce::deleteAsksAndTakesSteps()
{
    addStyle(QStringLiteral("A1"), 3);
    addStyle(QStringLiteral("B1"), 2);
    addRecord(QStringLiteral("A1"), 1, QStringLiteral("2004-03-03"));
    open();
    click(form->cmddelete);
    QCOMPARE(env->boxes.takeTexts(), QStringList{kPickToDelete});

    pick(QStringLiteral("A1"));
    const auto before = tables();
    env->boxes.queueAnswer(QMessageBox::No);
    click(form->cmddelete);
    const auto question = env->boxes.take();
    QCOMPARE(question.size(), 1);
    QCOMPARE(question.at(0).text, kAskDelete);
    QCOMPARE(question.at(0).caption, QStringLiteral("提示"));
    QCOMPARE(question.at(0).buttons, QMessageBox::Yes | QMessageBox::No);
    QCOMPARE(question.at(0).icon, toolkit::MsgIcon::Question);
    QCOMPARE(tables(), before);
    QCOMPARE(form->Kind_Edit->text(), QStringLiteral("A1"));

    env->boxes.queueAnswer(QMessageBox::Yes);
    click(form->cmddelete);
    QCOMPARE(env->boxes.takeTexts(), QStringList{kAskDelete});
    QCOMPARE(env->rows(QStringLiteral("SELECT Kind FROM Product")), QList<QVariantList>{{"B1"}});
    QCOMPARE(stepRows(QStringLiteral("A1")), QList<QVariantList>{});
    QCOMPARE(stepRows(QStringLiteral("B1")).size(), 2);
    QCOMPARE(env->rows(QStringLiteral("SELECT count(*) FROM Salary")).at(0).at(0).toInt(), 1);
    QCOMPARE(gridColumn(form->ProductGrid, ColKind), QStringList{"B1"});
    QCOMPARE(form->Kind_Edit->text(), QString());
    QVERIFY(form->cmdedit->isEnabled()); // delete leaves the button and the choice as they were

    // The gone style is still the chosen one: a new style under its number keeps its steps.
    fillStyle(QStringLiteral("A1"), QStringLiteral("2"));
    click(form->cmdadd);
    env->boxes.queueAnswer(QMessageBox::Yes);
    click(form->cmddelete);
    QCOMPARE(env->boxes.takeTexts(), QStringList{kAskDelete});
    QCOMPARE(stepRows(QStringLiteral("A1")).size(), 2);
    QCOMPARE(gridColumn(form->ProductGrid, ColKind), (QStringList{"B1", "A1"}));
}

void TestProduce::chosenStyleRuleAcrossTabs()
{
    open();
    // An empty list: the step tab cannot be shown, without a word; a double click says why.
    form->RzPage->setCurrentWidget(form->ProcessSheet);
    QCOMPARE(form->RzPage->currentWidget(), form->ProductSheet);
    QTest::mouseDClick(form->ProductGrid->viewport(), Qt::LeftButton, {}, QPoint(20, 20));
    QCOMPARE(env->boxes.takeTexts(), QStringList{kPickFirst});
    QCOMPARE(form->RzPage->currentWidget(), form->ProductSheet);

    addStyle(QStringLiteral("A1"), 2, true);
    addStyle(QStringLiteral("B1"), 3);
    form->DataRefresh();
    const QRect cell = form->ProductGrid->visualRect(form->ProductGrid->model()->index(1, ColKind));
    QTest::mousePress(form->ProductGrid->viewport(), Qt::LeftButton, {}, cell.center());
    QTest::mouseRelease(form->ProductGrid->viewport(), Qt::LeftButton, {}, cell.center());
    QTest::mouseDClick(form->ProductGrid->viewport(), Qt::LeftButton, {}, cell.center());
    QCOMPARE(form->RzPage->currentWidget(), form->ProcessSheet);
    QCOMPARE(form->SelectedKind, QStringLiteral("A1"));
    QCOMPARE(gridColumn(form->ProcessGrid, StepLabel), (QStringList{"工序1", "工序2"}));
    QCOMPARE(gridColumn(form->ProcessGrid, StepName), (QStringList{"步骤1", "步骤2"}));
    QCOMPARE(gridColumn(form->ProcessGrid, StepPrice), (QStringList{"￥0.125", "￥0.250"}));
    QCOMPARE(form->year_edit_s->value(), QDate::currentDate().year());
    QCOMPARE(form->month_edit_s->value(), QDate::currentDate().month());

    // Back on the style tab the choice is gone until a row is clicked again.
    form->RzPage->setCurrentWidget(form->ProductSheet);
    QVERIFY(!form->SelectedId.isValid());
    click(form->cmdedit);
    click(form->cmddelete);
    QCOMPARE(env->boxes.takeTexts(), (QStringList{kPickToEdit, kPickToDelete}));
    form->RzPage->setCurrentWidget(form->ProcessSheet);
    QCOMPARE(form->RzPage->currentWidget(), form->ProductSheet);

    pick(QStringLiteral("B1"));
    form->RzPage->setCurrentWidget(form->ProcessSheet);
    QCOMPARE(gridColumn(form->ProcessGrid, StepLabel), (QStringList{"工序1", "工序2", "工序3"}));
}

void TestProduce::search_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("kinds");
    QTest::newRow("empty: all, number descending") << "" << QStringList{"X_9", "Q'7", "B1", "A12", "A1"};
    QTest::newRow("number") << "A1" << QStringList{"A1", "A12"};
    QTest::newRow("name") << "衬衫" << QStringList{"A1", "B1"};
    QTest::newRow("date text") << "2004-04" << QStringList{"A12"};
    QTest::newRow("piece count") << "150" << QStringList{"B1"};
    QTest::newRow("step count") << "15" << QStringList{"B1", "Q'7"};
    QTest::newRow("percent is literal") << "%" << QStringList{"Q'7"};
    QTest::newRow("underscore is literal") << "X_" << QStringList{"X_9"};
    QTest::newRow("quote") << "Q'" << QStringList{"Q'7"};
    QTest::newRow("nothing found") << "无此款" << QStringList{};
}

void TestProduce::search()
{
    QFETCH(QString, text);
    QFETCH(QStringList, kinds);
    addStyle(QStringLiteral("A1"), 3, false, QStringLiteral("男衬衫"), 20, QStringLiteral("2004-03-01"));
    addStyle(QStringLiteral("A12"), 2, false, QStringLiteral("长裤"), 30, QStringLiteral("2004-04-02"));
    addStyle(QStringLiteral("B1"), 15, false, QStringLiteral("女衬衫"), 150, QStringLiteral("2004-03-09"));
    addStyle(QStringLiteral("Q'7"), 15, false, QStringLiteral("100%棉"), 40, QStringLiteral("2004-03-09"));
    addStyle(QStringLiteral("X_9"), 1, false, QStringLiteral("外套"), 50, QStringLiteral("2004-03-09"));
    open();
    form->Searchtxt->setText(text);
    click(form->cmdsearch);
    QStringList shown = gridColumn(form->ProductGrid, ColKind);
    if (!text.isEmpty())
        shown.sort(); // a search result comes in no particular order
    QCOMPARE(shown, kinds);
}

void TestProduce::stepGridEditsInPlace()
{
    addStyle(QStringLiteral("A1"), 3, true);
    env->exec(QStringLiteral("UPDATE Process SET Price=1234.5 WHERE Process='工序2'"));
    open();
    openSteps(QStringLiteral("A1"));
    toolkit::DataGrid* grid = form->ProcessGrid;
    QAbstractItemModelTester tester(grid->model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
    QCOMPARE(grid->model()->index(1, StepPrice).data().toString(), QStringLiteral("￥1,234.500"));
    QVERIFY(!(grid->model()->index(0, StepLabel).flags() & Qt::ItemIsEditable));
    QVERIFY(grid->model()->index(0, StepName).flags() & Qt::ItemIsEditable);

    // The list opens on the first name with its editor open; a price is edited as its plain number.
    QCOMPARE(grid->currentIndex(), grid->model()->index(0, StepName));
    QVERIFY(grid->indexWidget(grid->currentIndex()));
    QModelIndex price = grid->model()->index(1, StepPrice);
    grid->setCurrentIndex(price);
    auto* editor = qobject_cast<QLineEdit*>(grid->indexWidget(price));
    QVERIFY(editor);
    QCOMPARE(editor->text(), QStringLiteral("1234.5"));

    // Enter posts the cell and moves on: name, then price, then the next row's name.
    typeIntoCell(0, StepName, QStringLiteral("锁边"));
    QCOMPARE(grid->currentIndex(), grid->model()->index(0, StepPrice));
    QVERIFY(grid->indexWidget(grid->currentIndex()));
    typeIntoCell(0, StepPrice, QStringLiteral("2.5"));
    QCOMPARE(grid->currentIndex(), grid->model()->index(1, StepName));
    QCOMPARE(grid->model()->index(0, StepName).data().toString(), QStringLiteral("锁边"));
    QCOMPARE(grid->model()->index(0, StepPrice).data().toString(), QStringLiteral("￥2.500"));
    // At the last cell Enter stays there: no row is added.
    typeIntoCell(2, StepPrice, QStringLiteral("3"));
    QCOMPARE(grid->currentIndex(), grid->model()->index(2, StepPrice));
    QCOMPARE(grid->model()->rowCount(), 3);
    QVERIFY(grid->indexWidget(grid->currentIndex()));

    // The edits are held in the list only; a cell being typed is posted before a title sort.
    QCOMPARE(stepRows(QStringLiteral("A1")).at(0), (QVariantList{"工序1", "步骤1", 0.125}));
    grid->setCurrentIndex(grid->model()->index(1, StepName));
    auto* nameEditor = qobject_cast<QLineEdit*>(grid->indexWidget(grid->currentIndex()));
    QVERIFY(nameEditor);
    nameEditor->selectAll();
    nameEditor->insert(QStringLiteral("熨烫"));
    QTest::mouseClick(grid->horizontalHeader()->viewport(), Qt::LeftButton, {},
                      QPoint(grid->horizontalHeader()->sectionViewportPosition(StepLabel) + 10, 5));
    QCOMPARE(gridColumn(grid, StepLabel), (QStringList{"工序3", "工序2", "工序1"}));
    QCOMPARE(gridColumn(grid, StepName), (QStringList{"步骤3", "熨烫", "锁边"}));

    // Leaving the tab and coming back reloads the steps: what was not saved is gone.
    form->RzPage->setCurrentWidget(form->ProductSheet);
    openSteps(QStringLiteral("A1"));
    QCOMPARE(gridColumn(grid, StepName), (QStringList{"步骤1", "步骤2", "步骤3"}));
    QCOMPARE(gridColumn(grid, StepPrice), (QStringList{"￥0.125", "￥1,234.500", "￥0.375"}));
}

void TestProduce::monthReadsTwoDigits()
{
    addStyle(QStringLiteral("A1"), 1);
    open();
    openSteps(QStringLiteral("A1"));
    form->month_edit_s->setValue(3);
    QCOMPARE(form->month_edit_s->text(), QStringLiteral("03"));
    auto* line = form->month_edit_s->findChild<QLineEdit*>();
    line->clear();
    QTest::keyClick(line, Qt::Key_7);
    QCOMPARE(form->month_edit_s->text(), QStringLiteral("07"));
    QCOMPARE(form->month_edit_s->value(), 7);
    form->month_edit_s->setValue(11);
    QCOMPARE(form->month_edit_s->text(), QStringLiteral("11"));

    form->year_edit_s->setValue(2004);
    form->month_edit_s->setValue(3);
    env->boxes.queueAnswer(QMessageBox::No);
    click(form->Process_cmdsave);
    const auto boxes = env->boxes.take();
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes.at(0).text, askSave(QStringLiteral("2004年03月")));
    QCOMPARE(boxes.at(0).caption, QStringLiteral("提示"));
    QCOMPARE(boxes.at(0).buttons, QMessageBox::Yes | QMessageBox::No);
    QCOMPARE(boxes.at(0).icon, toolkit::MsgIcon::Question);
}

void TestProduce::saveAppliesToChosenMonthOnly()
{
    addStyle(QStringLiteral("A'1"), 3, true);
    addStyle(QStringLiteral("B1"), 1, true);
    addRecord(QStringLiteral("A'1"), 1, QStringLiteral("2004-02-29"));
    addRecord(QStringLiteral("A'1"), 1, QStringLiteral("2004-03-01"));
    addRecord(QStringLiteral("A'1"), 2, QStringLiteral("2004-03-31"));
    addRecord(QStringLiteral("A'1"), 3, QStringLiteral("2004-03-15"));
    addRecord(QStringLiteral("A'1"), 1, QStringLiteral("2004-04-01"));
    addRecord(QStringLiteral("B1"), 1, QStringLiteral("2004-03-02"));
    env->exec(QStringLiteral("UPDATE Salary SET ProcessName='旧', ProcessPrice=9 WHERE ProcessDate='2004-02-29'"));
    open();
    openSteps(QStringLiteral("A'1"));
    typeIntoCell(0, StepName, QStringLiteral("缝'合"));
    typeIntoCell(0, StepPrice, QStringLiteral("1.255"));
    typeIntoCell(2, StepPrice, QString()); // an unpriced step
    setMonth(2004, 3);

    // No: nothing is written, the edits stay in the list.
    env->boxes.queueAnswer(QMessageBox::No);
    const auto before = tables();
    click(form->Process_cmdsave);
    QCOMPARE(env->boxes.takeTexts(), QStringList{askSave(QStringLiteral("2004年03月"))});
    QCOMPARE(tables(), before);
    QCOMPARE(gridColumn(form->ProcessGrid, StepName).at(0), QStringLiteral("缝'合"));

    env->boxes.queueAnswer(QMessageBox::Yes);
    previewAnswers << true;
    click(form->Process_cmdsave);
    QCOMPARE(env->boxes.takeTexts(), QStringList{askSave(QStringLiteral("2004年03月"))});
    QCOMPARE(stepRows(QStringLiteral("A'1")),
             (QList<QVariantList>{{"工序1", "缝'合", 1.255}, {"工序2", "步骤2", 0.25}, {"工序3", "步骤3", {}}}));
    QCOMPARE(records(QStringLiteral("A'1")), (QList<QVariantList>{{"2004-02-29", "工序1", "旧", 9.0, "real"},
                                                                  {"2004-03-01", "工序1", "缝'合", 1.255, "real"},
                                                                  {"2004-03-15", "工序3", "步骤3", {}, "null"},
                                                                  {"2004-03-31", "工序2", "步骤2", 0.25, "real"},
                                                                  {"2004-04-01", "工序1", {}, {}, "null"}}));
    QCOMPARE(records(QStringLiteral("B1")), (QList<QVariantList>{{"2004-03-02", "工序1", {}, {}, "null"}}));
    // The list shows what is stored now.
    QCOMPARE(gridColumn(form->ProcessGrid, StepPrice), (QStringList{"￥1.255", "￥0.250", ""}));
}

void TestProduce::badPriceIsRefused_data()
{
    QTest::addColumn<QString>("price");
    QTest::newRow("negative") << "-1";
    QTest::newRow("four decimals") << "1.2345";
    QTest::newRow("letters") << "abc";
    QTest::newRow("thousands separator") << "1,000";
    QTest::newRow("yuan sign") << "￥2";
    QTest::newRow("two points") << "1.2.3";
}

void TestProduce::badPriceIsRefused()
{
    QFETCH(QString, price);
    addStyle(QStringLiteral("A1"), 3, true);
    addRecord(QStringLiteral("A1"), 2, day(QDate::currentDate(), 1));
    open();
    openSteps(QStringLiteral("A1"));
    typeIntoCell(0, StepName, QStringLiteral("新名"));
    typeIntoCell(1, StepPrice, price);
    const auto before = tables();
    click(form->Process_cmdsave);

    QCOMPARE(env->boxes.takeTexts(), QStringList{badPrice(QStringLiteral("工序2"))});
    QCOMPARE(tables(), before);
    QCOMPARE(form->ProcessGrid->currentIndex(), form->ProcessGrid->model()->index(1, StepPrice));
    QCOMPARE(gridColumn(form->ProcessGrid, StepName).at(0), QStringLiteral("新名"));
}

void TestProduce::bulkUpdateAppliesCurrentMonthToAllStyles()
{
    const QDate now = QDate::currentDate();
    const QDate before = now.addMonths(-1);
    addStyle(QStringLiteral("B2"), 2, true);
    addStyle(QStringLiteral("A1"), 1, true);
    addStyle(QStringLiteral("C3"), 0);
    addRecord(QStringLiteral("B2"), 2, day(now, 1));
    addRecord(QStringLiteral("A1"), 1, day(now, now.day()));
    addRecord(QStringLiteral("a1"), 1, day(now, 1)); // the style number in another case
    addRecord(QStringLiteral("A1"), 1, day(before, before.daysInMonth()));
    addRecord(QStringLiteral("A1"), 1, day(now.addMonths(1), 1));
    open();
    // A price typed but not saved plays no part.
    openSteps(QStringLiteral("A1"));
    setMonth(2004, 3);
    typeIntoCell(0, StepPrice, QStringLiteral("7"));
    form->RzPage->setCurrentWidget(form->ProductSheet);
    QCOMPARE(form->RzPage->currentWidget(), form->ProductSheet);

    env->boxes.queueAnswer(QMessageBox::No);
    const auto unchanged = tables();
    click(form->Button1);
    QCOMPARE(env->boxes.takeTexts(), QStringList{kAskBulk});
    QCOMPARE(tables(), unchanged);

    // While it runs, the bar advances once per style, the window repaints but takes no input and
    // cannot be closed.
    QList<int> values;
    QList<bool> blocked;
    connect(form->ProgressBar, &QProgressBar::valueChanged, this, [&](int value) {
        values << value;
        blocked << (!form->RzPage->isEnabled() && !form->close());
    });
    env->boxes.queueAnswer(QMessageBox::Yes);
    previewAnswers << true;
    click(form->Button1);
    const auto boxes = env->boxes.take();
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes.at(0).text, kAskBulk);
    QCOMPARE(boxes.at(0).caption, QStringLiteral("提示"));
    QCOMPARE(boxes.at(0).buttons, QMessageBox::Yes | QMessageBox::No);
    QCOMPARE(boxes.at(0).icon, toolkit::MsgIcon::Question);
    QCOMPARE(values, (QList<int>{1, 2, 3, 0}));
    QCOMPARE(blocked, (QList<bool>{true, true, true, false}));
    QCOMPARE(form->ProgressBar->maximum(), 3);
    QVERIFY(form->RzPage->isEnabled());
    QVERIFY(form->isVisible());

    QCOMPARE(records(QStringLiteral("B2")), (QList<QVariantList>{{day(now, 1), "工序2", "步骤2", 0.25, "real"}}));
    QCOMPARE(records(QStringLiteral("A1")),
             (QList<QVariantList>{{day(before, before.daysInMonth()), "工序1", {}, {}, "null"},
                                  {day(now, 1), "工序1", "步骤1", 0.125, "real"},
                                  {day(now, now.day()), "工序1", "步骤1", 0.125, "real"},
                                  {day(now.addMonths(1), 1), "工序1", {}, {}, "null"}}));
}

void TestProduce::failureLeavesEveryTableAsBefore_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("trigger");
    QTest::addColumn<QString>("failedStatement");
    QTest::newRow("save: the application to the records fails") << "save"
                                                                << "BEFORE UPDATE ON Salary"
                                                                << "Update Salary Set ProcessName=";
    QTest::newRow("bulk update: the second style fails") << "bulk"
                                                         << "BEFORE UPDATE ON Salary WHEN NEW.KindId='B2'"
                                                         << "Update Salary Set ProcessName=";
    QTest::newRow("add: the third step row fails") << "add"
                                                   << "BEFORE INSERT ON Process WHEN NEW.Process='工序3'"
                                                   << "Insert Into Process";
    QTest::newRow("edit: the steps' remake fails") << "edit"
                                                   << "BEFORE INSERT ON Process"
                                                   << "Insert Into Process";
    QTest::newRow("edit: carrying the number into the records fails") << "renumber"
                                                                      << "BEFORE UPDATE OF KindId ON Salary"
                                                                      << "Update Salary Set KindId=";
    QTest::newRow("delete: the steps' deletion fails") << "delete"
                                                       << "BEFORE DELETE ON Process"
                                                       << "delete From Process";
}

void TestProduce::failureLeavesEveryTableAsBefore()
{
    QFETCH(QString, action);
    QFETCH(QString, trigger);
    QFETCH(QString, failedStatement);
    const QDate now = QDate::currentDate();
    addStyle(QStringLiteral("A1"), 3, true);
    addStyle(QStringLiteral("B2"), 2, true);
    addRecord(QStringLiteral("A1"), 1, day(now, 1));
    addRecord(QStringLiteral("A1"), 3, day(now, 1));
    addRecord(QStringLiteral("B2"), 2, day(now, 1));
    open();
    pick(QStringLiteral("A1"));
    if (action == QLatin1String("save")) {
        form->RzPage->setCurrentWidget(form->ProcessSheet);
        typeIntoCell(0, StepPrice, QStringLiteral("5"));
        typeIntoCell(1, StepName, QStringLiteral("新"));
    }
    const auto before = tables();
    testsupport::addRefusingTrigger(env->db(), trigger);

    if (action == QLatin1String("save")) {
        env->boxes.queueAnswer(QMessageBox::Yes);
        previewAnswers << true;
        click(form->Process_cmdsave);
    } else if (action == QLatin1String("bulk")) {
        env->boxes.queueAnswer(QMessageBox::Yes);
        previewAnswers << true;
        click(form->Button1);
    } else if (action == QLatin1String("add")) {
        fillStyle(QStringLiteral("N1"), QStringLiteral("4"));
        click(form->cmdadd);
    } else if (action == QLatin1String("edit")) {
        fillStyle(QStringLiteral("A1"), QStringLiteral("5"), QStringLiteral("新名"));
        click(form->cmdedit);
    } else if (action == QLatin1String("renumber")) {
        fillStyle(QStringLiteral("Z1"), QStringLiteral("3"), QStringLiteral("新名"));
        click(form->cmdedit);
    } else {
        env->boxes.queueAnswer(QMessageBox::Yes);
        click(form->cmddelete);
    }

    QStringList texts = env->boxes.takeTexts();
    if (action == QLatin1String("save") || action == QLatin1String("bulk") || action == QLatin1String("delete"))
        texts.removeFirst(); // the confirmation
    QCOMPARE(texts.size(), 1);
    QVERIFY2(texts.at(0).startsWith(kStatementFailed + failedStatement), qPrintable(texts.at(0)));
    testsupport::dropRefusingTrigger(env->db(), trigger);
    QCOMPARE(tables(), before);
    QCOMPARE(form->ProgressBar->value(), 0);
    QVERIFY(form->RzPage->isEnabled());
    // Nothing was lost on the way: the same action now succeeds.
    if (action == QLatin1String("save")) {
        QCOMPARE(gridColumn(form->ProcessGrid, StepName).at(1), QStringLiteral("新"));
        env->boxes.queueAnswer(QMessageBox::Yes);
        previewAnswers << true;
        setMonth(now.year(), now.month());
        click(form->Process_cmdsave);
        QCOMPARE(env->boxes.takeTexts().size(), 1);
        QCOMPARE(records(QStringLiteral("A1")).at(0).at(3), QVariant(5.0));
    } else if (action != QLatin1String("bulk") && action != QLatin1String("delete")) {
        click(action == QLatin1String("add") ? form->cmdadd : form->cmdedit);
        QVERIFY(tables() != before);
    }
}

void TestProduce::openFromEntry()
{
    addStyle(QStringLiteral("A1"), 1);
    open(); // the window opened from the main window
    QPointer<toolkit::ChildWindow> owner = new toolkit::ChildWindow;
    owner->show();

    // A second window, registered in place of the first, reloads its owner when it closes.
    QPointer<TProduceForm> fromEntry = TProduceForm::OpenFromEntry(owner);
    QVERIFY(fromEntry && fromEntry != form);
    QCOMPARE(ProduceForm, fromEntry.data());
    QVERIFY(fromEntry->OpenedFromEntry);
    QVERIFY(fromEntry->isVisible());
    QSignalSpy reload(fromEntry.data(), &TProduceForm::entryReloadRequested);
    click(fromEntry->process_cmdexit);
    QTRY_VERIFY(fromEntry.isNull());
    QCOMPARE(reload.count(), 1);
    QCOMPARE(ProduceForm, nullptr);
    QVERIFY(form);

    // Closing the owner closes its product window without a reload.
    fromEntry = TProduceForm::OpenFromEntry(owner);
    QSignalSpy noReload(fromEntry.data(), &TProduceForm::entryReloadRequested);
    QVERIFY(owner->close());
    QTRY_VERIFY(fromEntry.isNull());
    QCOMPARE(noReload.count(), 0);

    // So does the owner's destruction.
    auto* second = new toolkit::ChildWindow;
    fromEntry = TProduceForm::OpenFromEntry(second);
    QSignalSpy noReloadEither(fromEntry.data(), &TProduceForm::entryReloadRequested);
    delete second;
    QTRY_VERIFY(fromEntry.isNull());
    QCOMPARE(noReloadEither.count(), 0);
    QCOMPARE(ProduceForm, nullptr);
    QTRY_VERIFY(owner.isNull()); // a closed child window is freed
}

// A clerk's record saved into a month while its prices are applied: the application waits for the
// save to commit (here up to a short busy timeout, then it gives up and changes nothing), so it
// reaches the record.
void TestProduce::applicationWaitsForEntryInFlight()
{
    if (!testsupport::onServer())
        QSKIP("a file database lets one program in at a time");
    const QDate now = QDate::currentDate();
    addStyle(QStringLiteral("A1"), 1, true);
    addRecord(QStringLiteral("A1"), 1, day(now, 1));
    data::Connection clerk;
    data::DataSet entry(QStringLiteral("entry"), &clerk);
    QVERIFY(clerk.begin());
    entry.setSql(data::monthLockStatement(CurrentDialect(), data::MonthHold::Entry),
                 {data::kMonthLockSpace, now.year() * 100 + now.month()});
    QVERIFY(entry.execSql());
    entry.setSql(QStringLiteral("INSERT INTO Salary (KindId, Process, ProductCount, ProcessDate) "
                                "VALUES ('A1', '工序1', 5, ?)"),
                 {day(now, 2)});
    QVERIFY(entry.execSql());

    DM->connection()->setBusyTimeout(300);
    const auto before = tables();
    QVERIFY(!ApplyMonthPrices(now));
    const QStringList boxes = env->boxes.takeTexts();
    QCOMPARE(boxes.size(), 1);
    QVERIFY2(boxes.first().contains(QStringLiteral("其他用户")), qPrintable(boxes.first()));
    QCOMPARE(tables(), before);

    QVERIFY(clerk.execute(QStringLiteral("COMMIT")));
    QVERIFY(ApplyMonthPrices(now));
    QCOMPARE(env->rows(QStringLiteral("SELECT count(*) FROM Salary WHERE ProcessPrice = 0.125")).at(0).at(0), 2);
}

// Four clerks save records of the month (each save slow to commit) while the month's prices are
// applied again and again, each time at a new price. Right after each application every record
// with a lower key than a record it priced carries its price: a record being saved while it ran
// was waited for, never passed over; the records saved after it have higher keys.
void TestProduce::entryDuringApplicationsIsNeverPassedOver()
{
    if (!testsupport::onServer())
        QSKIP("a file database lets one program in at a time");
    const QDate now = QDate::currentDate();
    addStyle(QStringLiteral("A1"), 1, true);
    std::atomic<int> failures{0};
    std::atomic<bool> stop{false};
    const auto clerk = [&] {
        data::Connection connection;
        data::DataSet entry(QStringLiteral("entry"), &connection);
        while (!stop) {
            const bool saved = data::runInTransaction(
                connection,
                [&] {
                    entry.setSql(data::monthLockStatement(data::Dialect::Postgres, data::MonthHold::Entry),
                                 {data::kMonthLockSpace, now.year() * 100 + now.month()});
                    if (!entry.execSql())
                        return false;
                    entry.setSql(QStringLiteral("INSERT INTO Salary (KindId, Process, ProductCount, ProcessDate) "
                                                "VALUES ('A1', '工序1', 1, ?)"),
                                 {day(now, 1)});
                    if (!entry.execSql())
                        return false;
                    // Saves take unequal times, so they commit in another order than their keys.
                    std::this_thread::sleep_for(std::chrono::milliseconds(QRandomGenerator::global()->bounded(20)));
                    return true;
                },
                nullptr);
            if (!saved)
                ++failures;
        }
    };
    std::vector<std::thread> clerks;
    for (int i = 0; i < 4; ++i)
        clerks.emplace_back(clerk);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    QStringList passedOver;
    for (int round = 1; round <= 10; ++round) {
        const double price = round + 0.5;
        env->exec(QStringLiteral("UPDATE Process SET Price = ?"), {price});
        if (!ApplyMonthPrices(now))
            passedOver << QStringLiteral("application %1 failed").arg(round);
        // A save that was under way when the application ended commits within its pause.
        std::this_thread::sleep_for(std::chrono::milliseconds(40));
        const QVariant behind = env->rows(QStringLiteral("SELECT count(*) FROM Salary WHERE id < (SELECT max(id) FROM "
                                                         "Salary WHERE ProcessPrice = ?) AND ProcessPrice IS DISTINCT "
                                                         "FROM ?"),
                                          {price, price})
                                    .at(0)
                                    .at(0);
        if (behind.toInt() != 0)
            passedOver << QStringLiteral("application %1 passed over %2").arg(round).arg(behind.toInt());
    }
    stop = true;
    for (std::thread& t : clerks)
        t.join();
    QCOMPARE(passedOver, QStringList());
    QCOMPARE(failures.load(), 0);
    QVERIFY(env->rows(QStringLiteral("SELECT count(*) FROM Salary")).at(0).at(0).toInt() > 40);
}

void TestProduce::styleEditMeetsOtherClerk_data()
{
    QTest::addColumn<QStringList>("other"); // the other clerk's statements, between the pick and the save
    QTest::addColumn<bool>("held");         // committed while the save runs
    QTest::addColumn<QStringList>("boxes");
    QTest::addColumn<QString>("pickAgain"); // the style to pick afresh and save, or none
    const QStringList renameA1{"UPDATE Product SET KindName='外套' WHERE Kind='A1'"};
    QTest::newRow("style changed") << renameA1 << false << QStringList{kChangedByOther} << "A1";
    QTest::newRow("style changed during the save") << renameA1 << true << QStringList{kChangedByOther} << "A1";
    QTest::newRow("style renumbered") << kRenumberA1 << false << QStringList{kChangedByOther} << "A9";
    // A style gone is no longer there to choose.
    QTest::newRow("style deleted") << kDeleteA1 << false << QStringList{kPickToEdit} << "";
    QTest::newRow("another style changed")
        << QStringList{"UPDATE Product SET KindName='外套' WHERE Kind='B1'"} << false << QStringList{} << "";
}

void TestProduce::styleEditMeetsOtherClerk()
{
    if (!testsupport::onServer())
        QSKIP("a database file has one program at a time");
    QFETCH(QStringList, other);
    QFETCH(bool, held);
    QFETCH(QStringList, boxes);
    QFETCH(QString, pickAgain);
    addStyle(QStringLiteral("A1"), 3, true);
    addStyle(QStringLiteral("B1"), 2, true);
    addRecord(QStringLiteral("A1"), 1, QStringLiteral("2004-03-03"));
    open();
    // A new number, step count and name: every statement of the edit has something to write.
    const auto typeTheEdit = [this](const QString& kind) {
        pick(kind);
        fillStyle(QStringLiteral("A2"), QStringLiteral("4"), QStringLiteral("夹克"), QStringLiteral("80"));
    };
    const QList<QVariantList> saved{{"A2", 4, "夹克", 80}, {"B1", 2, "衬衫", 100}};
    const QString styles = QStringLiteral("SELECT Kind, Process, KindName, ProductCount FROM Product ORDER BY Kind");
    typeTheEdit(QStringLiteral("A1"));
    QList<QList<QVariantList>> othersTables;
    otherClerk(other, held, [&] {
        othersTables = held ? QList<QList<QVariantList>>() : tables();
        click(form->cmdedit);
    });
    QCOMPARE(env->boxes.takeTexts(), boxes);
    if (boxes.isEmpty()) {
        QCOMPARE(env->rows(styles).at(0), saved.at(0));
        return;
    }
    // Nothing saved: neither the style, nor its steps, nor its records; the typed values stay.
    if (!held)
        QCOMPARE(tables(), othersTables);
    QCOMPARE(stepRows(QStringLiteral("A2")), QList<QVariantList>{});
    QCOMPARE(env->rows(QStringLiteral("SELECT KindId, KindName FROM Salary")), (QList<QVariantList>{{"A1", "旧名"}}));
    QCOMPARE(form->Kind_Edit->text(), QStringLiteral("A2"));
    QCOMPARE(form->Process_Edit->text(), QStringLiteral("4"));
    QCOMPARE(form->KindName_Edit->text(), QStringLiteral("夹克"));
    QCOMPARE(form->ProductCount_Edit->text(), QStringLiteral("80"));

    if (pickAgain.isEmpty())
        return;
    typeTheEdit(pickAgain);
    click(form->cmdedit);
    QCOMPARE(env->rows(styles), saved);
    QCOMPARE(stepRows(QStringLiteral("A2")).size(), 4);
}

void TestProduce::stepSaveMeetsOtherClerk_data()
{
    QTest::addColumn<QStringList>("other"); // the other clerk's statements, between the load and the save
    QTest::addColumn<bool>("refused");
    const auto price = [](int step) {
        return QStringLiteral("UPDATE Process SET Price=9 WHERE ProductId='A1' AND Process='工序%1'").arg(step);
    };
    QTest::newRow("edited step changed") << QStringList{price(1)} << true;
    QTest::newRow("second edited step changed") << QStringList{price(3)} << true;
    QTest::newRow("steps remade") << QStringList{"DELETE FROM Process WHERE ProductId='A1'",
                                                 "INSERT INTO Process (Process, ProductId) VALUES ('工序1','A1')",
                                                 "INSERT INTO Process (Process, ProductId) VALUES ('工序2','A1')",
                                                 "INSERT INTO Process (Process, ProductId) VALUES ('工序3','A1')"}
                                  << true;
    // Only the edited rows are written, so only they must be as read.
    QTest::newRow("step not edited changed") << QStringList{price(2)} << false;
}

void TestProduce::stepSaveMeetsOtherClerk()
{
    if (!testsupport::onServer())
        QSKIP("a database file has one program at a time");
    QFETCH(QStringList, other);
    QFETCH(bool, refused);
    addStyle(QStringLiteral("A1"), 3, true);
    addRecord(QStringLiteral("A1"), 1, QStringLiteral("2004-03-03"));
    addRecord(QStringLiteral("A1"), 3, QStringLiteral("2004-03-04"));
    open();
    const auto typeTheSteps = [this] {
        openSteps(QStringLiteral("A1"));
        typeIntoCell(0, StepPrice, QStringLiteral("1.5"));
        typeIntoCell(2, StepName, QStringLiteral("包装"));
        setMonth(2004, 3);
    };
    typeTheSteps();
    for (const QString& sql : other)
        env->exec(sql);
    const auto othersTables = tables();
    env->boxes.queueAnswer(QMessageBox::Yes);
    previewAnswers << true;
    click(form->Process_cmdsave);
    if (!refused) {
        QCOMPARE(env->boxes.takeTexts(), QStringList{askSave(QStringLiteral("2004年03月"))});
        QCOMPARE(stepRows(QStringLiteral("A1")),
                 (QList<QVariantList>{{"工序1", "步骤1", 1.5}, {"工序2", "步骤2", 9.0}, {"工序3", "包装", 0.375}}));
        return;
    }

    // One step changed refuses them all: no step and no record written; the typed values stay.
    QCOMPARE(env->boxes.takeTexts(), (QStringList{askSave(QStringLiteral("2004年03月")), kChangedByOther}));
    QCOMPARE(tables(), othersTables);
    QCOMPARE(gridColumn(form->ProcessGrid, StepPrice).at(0), QStringLiteral("￥1.500"));
    QCOMPARE(gridColumn(form->ProcessGrid, StepName).at(2), QStringLiteral("包装"));

    // The steps read afresh (back to the style, picked again) save.
    form->RzPage->setCurrentWidget(form->ProductSheet);
    typeTheSteps();
    env->boxes.queueAnswer(QMessageBox::Yes);
    previewAnswers << true;
    click(form->Process_cmdsave);
    QCOMPARE(env->boxes.takeTexts(), QStringList{askSave(QStringLiteral("2004年03月"))});
    QCOMPARE(stepRows(QStringLiteral("A1")).at(0).at(2), QVariant(1.5));
    QCOMPARE(stepRows(QStringLiteral("A1")).at(2).at(1), QVariant("包装"));
    QCOMPARE(records(QStringLiteral("A1")).at(0).at(3), QVariant(1.5));
    QCOMPARE(records(QStringLiteral("A1")).at(1).at(2), QVariant("包装"));
}

void TestProduce::styleDeleteMeetsOtherClerk_data()
{
    QTest::addColumn<QStringList>("other"); // the other clerk's statements, between the pick and the delete
    QTest::addColumn<bool>("held");         // committed while the delete runs
    QTest::addColumn<QStringList>("boxes");
    QTest::addColumn<QList<QVariantList>>("styles"); // the styles then stored, each with its step count
    const QList<QVariantList> onlyB1{{"B1", 2}};
    QTest::newRow("style deleted") << kDeleteA1 << false << QStringList{kAskDelete, kDeletedByOther} << onlyB1;
    // A new style under the deleted one's number is another style: it keeps its steps.
    QTest::newRow("style deleted, number taken again")
        << (kDeleteA1 + QStringList{"INSERT INTO Product (Kind, Process) VALUES ('A1', 1)",
                                    "INSERT INTO Process (Process, ProductId) VALUES ('工序1','A1')"})
        << false << QStringList{kAskDelete, kDeletedByOther} << QList<QVariantList>{{"A1", 1}, {"B1", 2}};
    // A style changed meanwhile goes all the same, with the steps it has then.
    QTest::newRow("style changed") << QStringList{"UPDATE Product SET KindName='外套' WHERE Kind='A1'"} << false
                                   << QStringList{kAskDelete} << onlyB1;
    QTest::newRow("style renumbered") << kRenumberA1 << false << QStringList{kAskDelete} << onlyB1;
    QTest::newRow("style renumbered during the delete") << kRenumberA1 << true << QStringList{kAskDelete} << onlyB1;
}

void TestProduce::styleDeleteMeetsOtherClerk()
{
    if (!testsupport::onServer())
        QSKIP("a database file has one program at a time");
    QFETCH(QStringList, other);
    QFETCH(bool, held);
    QFETCH(QStringList, boxes);
    QFETCH(QList<QVariantList>, styles);
    addStyle(QStringLiteral("A1"), 3);
    addStyle(QStringLiteral("B1"), 2);
    addRecord(QStringLiteral("A1"), 1, QStringLiteral("2004-03-03"));
    open();
    pick(QStringLiteral("A1"));
    env->boxes.queueAnswer(QMessageBox::Yes);
    otherClerk(other, held, [this] { click(form->cmddelete); });
    // The stop box and no failure box; no step is left without its style, and the records stay.
    QCOMPARE(env->boxes.takeTexts(), boxes);
    QCOMPARE(env->rows(QStringLiteral("SELECT Kind, (SELECT count(*) FROM Process WHERE ProductId=Kind) "
                                      "FROM Product ORDER BY Kind")),
             styles);
    QCOMPARE(env->rows(QStringLiteral("SELECT count(*) FROM Process WHERE ProductId NOT IN "
                                      "(SELECT Kind FROM Product)")),
             QList<QVariantList>{{0}});
    QCOMPARE(env->rows(QStringLiteral("SELECT count(*) FROM Salary")), QList<QVariantList>{{1}});
}

void TestProduce::closedMonthKeepsItsPrices_data()
{
    QTest::addColumn<bool>("bulk"); // the bulk update, or "保存" on the step tab
    QTest::newRow("step save") << false;
    QTest::newRow("bulk update") << true;
}

// Prices of a closed month stay: neither a step save for it nor the bulk update writes a step or
// a record or a line, and the typed steps stay for another month; reopened, both go through.
void TestProduce::closedMonthKeepsItsPrices()
{
    QFETCH(bool, bulk);
    const QDate month = QDate::currentDate();
    addStyle(QStringLiteral("A1"), 2, true);
    addPricedRecord(QStringLiteral("A1"), QStringLiteral("工序1"), day(month, 1), 10, 2.0);
    addPricedRecord(QStringLiteral("A1"), QStringLiteral("工序2"), day(month, 2), 4, QVariant());
    closeMonth(month);
    open();
    openSteps(QStringLiteral("A1"));
    typeIntoCell(0, StepPrice, QStringLiteral("3.5"));
    setMonth(month.year(), month.month());
    const auto before = tables();
    if (bulk) {
        form->RzPage->setCurrentWidget(form->ProductSheet);
        env->boxes.queueAnswer(QMessageBox::Yes);
        click(form->Button1);
        QCOMPARE(env->boxes.takeTexts(), (QStringList{kAskBulk, kMonthClosed}));
    } else {
        env->boxes.queueAnswer(QMessageBox::Yes);
        click(form->Process_cmdsave);
        QCOMPARE(env->boxes.takeTexts(),
                 (QStringList{askSave(month.toString(QStringLiteral("yyyy年MM月"))), kMonthClosed}));
        QCOMPARE(gridColumn(form->ProcessGrid, StepPrice).at(0), QStringLiteral("￥3.500"));
    }
    QCOMPARE(tables(), before);
    QCOMPARE(changeLines(), QList<QVariantList>());

    env->exec(QStringLiteral("DELETE FROM MonthClose"));
    previewAnswers << true;
    if (bulk) {
        env->boxes.expect(kAskBulk, QMessageBox::Yes);
        click(form->Button1);
        QCOMPARE(amounts(month).at(1).at(2), QVariant(0.25));
    } else {
        env->boxes.expect(askSave(month.toString(QStringLiteral("yyyy年MM月"))), QMessageBox::Yes);
        click(form->Process_cmdsave);
        QCOMPARE(amounts(month).at(0).at(2), QVariant(3.5));
    }
    QCOMPARE(changeLines().last().at(2), QVariant(QStringLiteral("套用工序价格")));
}

// The bulk update records one line per style that has records in the month: how many, and their
// wage total before and after (here worked out by hand), never a line per record.
void TestProduce::priceApplicationIsRecordedPerStyle()
{
    LoginUser = QStringLiteral("核价员");
    const QDate month = QDate::currentDate();
    const QString key = month.toString(QStringLiteral("yyyy-MM"));
    addStyle(QStringLiteral("A1"), 3, true); // prices 0.125, 0.25, 0.375
    addStyle(QStringLiteral("B1"), 2, true);
    addStyle(QStringLiteral("C1"), 1); // unpriced
    // A1: 10 x 1.0 -> 10 x 0.125; 4 x 2.5 -> 4 x 0.25; 6 x none -> 6 x 0.25; 2 x 3.0 on a step the
    // style does not have, kept: before 10 + 10 + 0 + 6 = 26, after 1.25 + 1 + 1.5 + 6 = 9.75.
    addPricedRecord(QStringLiteral("A1"), QStringLiteral("工序1"), day(month, 1), 10, 1.0);
    addPricedRecord(QStringLiteral("A1"), QStringLiteral("工序2"), day(month, 2), 4, 2.5);
    addPricedRecord(QStringLiteral("A1"), QStringLiteral("工序2"), day(month, 3), 6, QVariant());
    addPricedRecord(QStringLiteral("A1"), QStringLiteral("工序7"), day(month, 4), 2, 3.0);
    // Outside the month, and B1 only outside it: not counted, no line for B1.
    addPricedRecord(QStringLiteral("A1"), QStringLiteral("工序1"), day(month.addMonths(-1), 28), 100, 1.0);
    addPricedRecord(QStringLiteral("B1"), QStringLiteral("工序1"), day(month.addMonths(1), 1), 5, 1.0);
    // C1: 5 x 2.0 -> 5 x none: before 10, after 0.
    addPricedRecord(QStringLiteral("C1"), QStringLiteral("工序1"), day(month, 5), 5, 2.0);
    open();
    env->boxes.expect(kAskBulk, QMessageBox::Yes);
    previewAnswers << true;
    click(form->Button1);

    const auto values = [&key](int records, const QString& total) {
        return QStringLiteral("{\"Month\":\"%1\",\"Records\":%2,\"WageTotal\":%3}").arg(key).arg(records).arg(total);
    };
    const auto note = [&key](int records) { return key + QStringLiteral("月份，%1条计件记录").arg(records); };
    QCOMPARE(changeLines(),
             (QList<QVariantList>{line(QStringLiteral("套用工序价格"), QStringLiteral("Salary"), QStringLiteral("A1"),
                                       values(4, "26"), values(4, "9.75"), note(4)),
                                  line(QStringLiteral("套用工序价格"), QStringLiteral("Salary"), QStringLiteral("C1"),
                                       values(1, "10"), values(1, "0"), note(1))}));
    // The total after is what the records now hold.
    QCOMPARE(env->rows(QStringLiteral("SELECT sum(ProductCount*ProcessPrice) FROM Salary WHERE KindId='A1' AND "
                                      "ProcessDate>=? AND ProcessDate<?"),
                       {day(month, 1), day(month.addMonths(1), 1)})
                 .at(0)
                 .at(0)
                 .toDouble(),
             9.75);
    LoginUser.clear();
}

// "保存" records each changed step with its row before and after, then the style's application.
void TestProduce::stepSaveIsRecorded()
{
    LoginUser = QStringLiteral("核价员");
    addStyle(QStringLiteral("A1"), 3, true);
    addPricedRecord(QStringLiteral("A1"), QStringLiteral("工序2"), QStringLiteral("2004-03-05"), 8, 1.0);
    const QString stepId =
        env->rows(QStringLiteral("SELECT Id FROM Process WHERE Process='工序2'")).at(0).at(0).toString();
    open();
    openSteps(QStringLiteral("A1"));
    typeIntoCell(1, StepName, QStringLiteral("锁\"边"));
    typeIntoCell(1, StepPrice, QStringLiteral("0.5"));
    setMonth(2004, 3);
    env->boxes.expect(askSave(QStringLiteral("2004年03月")), QMessageBox::Yes);
    previewAnswers << true;
    click(form->Process_cmdsave);
    const QString row = QStringLiteral("{\"Id\":%1,\"Process\":\"工序2\",\"ProcessName\":%2,\"ProductId\":\"A1\","
                                       "\"Price\":%3,\"Productsize\":null}")
                            .arg(stepId);
    QCOMPARE(changeLines(),
             (QList<QVariantList>{line(QStringLiteral("修改工序"), QStringLiteral("Process"), stepId,
                                       row.arg(QStringLiteral("\"步骤2\""), QStringLiteral("0.25")),
                                       row.arg(QStringLiteral("\"锁\\\"边\""), QStringLiteral("0.5"))),
                                  line(QStringLiteral("套用工序价格"), QStringLiteral("Salary"), QStringLiteral("A1"),
                                       QStringLiteral("{\"Month\":\"2004-03\",\"Records\":1,\"WageTotal\":8}"),
                                       QStringLiteral("{\"Month\":\"2004-03\",\"Records\":1,\"WageTotal\":4}"),
                                       QStringLiteral("2004-03月份，1条计件记录"))}));
    LoginUser.clear();
}

// Adding, editing and deleting a style each leave a line with the style row; a new number and
// name carried into the records leave one more, also when some of them lie in a closed month,
// whose quantities, prices and amounts stay as they were.
void TestProduce::styleChangesAreRecorded()
{
    LoginUser = QStringLiteral("核价员");
    addPricedRecord(QStringLiteral("A1"), QStringLiteral("工序1"), QStringLiteral("2004-03-05"), 8, 1.5);
    addPricedRecord(QStringLiteral("A1"), QStringLiteral("工序2"), QStringLiteral("2004-04-05"), 3, 0.5);
    closeMonth(QDate(2004, 3, 1));
    open();
    fillStyle(QStringLiteral("A1"), QStringLiteral("2"), QStringLiteral("衬衫"), QStringLiteral("50"));
    form->ProductPicker->setDate(QDate(2004, 3, 1));
    click(form->cmdadd);
    const QString id = env->rows(QStringLiteral("SELECT Id FROM Product")).at(0).at(0).toString();
    const QString style = QStringLiteral("{\"Id\":%1,\"Kind\":\"%2\",\"Process\":2,\"KindName\":\"%3\","
                                         "\"ProductCount\":50,\"ProductDate\":\"2004-03-01\"}")
                              .arg(id);
    QCOMPARE(changeLines(), (QList<QVariantList>{line(QStringLiteral("新增款式"), QStringLiteral("Product"), id,
                                                      QVariant(), style.arg("A1", "衬衫"))}));

    const QList<QVariantList> closedBefore = amounts(QDate(2004, 3, 1));
    pick(QStringLiteral("A1"));
    fillStyle(QStringLiteral("A2"), QStringLiteral("2"), QStringLiteral("外套"), QStringLiteral("50"));
    click(form->cmdedit);
    QCOMPARE(changeLines().mid(1),
             (QList<QVariantList>{line(QStringLiteral("带入计件记录"), QStringLiteral("Salary"), QStringLiteral("A2"),
                                       QStringLiteral("{\"KindId\":\"A1\",\"KindName\":\"衬衫\"}"),
                                       QStringLiteral("{\"KindId\":\"A2\",\"KindName\":\"外套\"}"),
                                       QStringLiteral("带入2条计件记录")),
                                  line(QStringLiteral("修改款式"), QStringLiteral("Product"), id,
                                       style.arg("A1", "衬衫"), style.arg("A2", "外套"))}));
    QCOMPARE(amounts(QDate(2004, 3, 1)), closedBefore);
    QCOMPARE(env->rows(QStringLiteral("SELECT KindId, KindName FROM Salary ORDER BY id")),
             (QList<QVariantList>{{"A2", "外套"}, {"A2", "外套"}}));

    // Saved as it is: the records already carry the number and name, nothing to record.
    pick(QStringLiteral("A2"));
    click(form->cmdedit);
    QCOMPARE(changeLines().size(), 3);

    pick(QStringLiteral("A2"));
    env->boxes.expect(kAskDelete, QMessageBox::Yes);
    click(form->cmddelete);
    QCOMPARE(changeLines().value(3),
             line(QStringLiteral("删除款式"), QStringLiteral("Product"), id, style.arg("A2", "外套"), QVariant()));
    LoginUser.clear();
}

void TestProduce::previewShowsWhatIsApplied_data()
{
    QTest::addColumn<bool>("bulk");
    QTest::addColumn<QStringList>("workers"); // listed, the largest change first
    QTest::addColumn<int>("records");
    // Save: A1's steps 1 and 2 at typed prices; 李四's step outside A1 is not rewritten.
    QTest::newRow("save") << false << QStringList{"一组/1/张三", "二组/2/张三"} << 3;
    QTest::newRow("bulk") << true << QStringList{"一组/1/张三", "二组/4/王五", "二组/2/张三", "一组/3/李四"} << 5;
}

void TestProduce::previewShowsWhatIsApplied()
{
    QFETCH(bool, bulk);
    QFETCH(QStringList, workers);
    QFETCH(int, records);
    const QDate now = QDate::currentDate();
    addPreviewFixture(now);
    open();
    if (!bulk) {
        openSteps(QStringLiteral("A1"));
        setMonth(now.year(), now.month());
        typeIntoCell(0, StepPrice, QStringLiteral("1.5"));
        typeIntoCell(1, StepPrice, QStringLiteral("0.8"));
    }
    const QHash<QString, double> before = wages(now);
    env->boxes.queueAnswer(QMessageBox::Yes);
    previewAnswers << true;
    click(bulk ? form->Button1 : form->Process_cmdsave);
    QCOMPARE(env->boxes.takeTexts().size(), 1); // the question only
    QCOMPARE(previewsShown.size(), 1);
    const QHash<QString, double> after = wages(now);
    QVERIFY(after != before);

    // Each listed worker's wage before and after is the month's wage the database held before and
    // holds after the application.
    const auto yuan = [](double value) { return toolkit::formatNumber(value, toolkit::kYuanMask); };
    QList<QStringList> expected;
    for (const QString& worker : workers) {
        QStringList cells = worker.split(QLatin1Char('/'));
        cells << yuan(before.value(worker)) << yuan(after.value(worker))
              << yuan(after.value(worker) - before.value(worker));
        expected << cells;
    }
    const PreviewShown& shown = previewsShown.at(0);
    QCOMPARE(shown.caption, QStringLiteral("价格预览"));
    QCOMPARE(shown.rows, expected);
    double totalBefore = 0;
    double totalAfter = 0;
    for (double wage : before)
        totalBefore += wage;
    for (double wage : after)
        totalAfter += wage;
    QCOMPARE(shown.totals, (QStringList{QStringLiteral("本月合计(调整前)：") + yuan(totalBefore),
                                        QStringLiteral("本月合计(调整后)：") + yuan(totalAfter)}));
    QCOMPARE(shown.records, now.toString(QStringLiteral("yyyy年MM月")) + QStringLiteral("：将更新") +
                                QString::number(records) + QStringLiteral("条计件记录，涉及") +
                                QString::number(workers.size()) + QStringLiteral("名员工"));
}

void TestProduce::previewCancelChangesNothing_data()
{
    QTest::addColumn<bool>("bulk");
    QTest::newRow("save") << false;
    QTest::newRow("bulk") << true;
}

void TestProduce::previewCancelChangesNothing()
{
    QFETCH(bool, bulk);
    const QDate now = QDate::currentDate();
    addPreviewFixture(now);
    open();
    if (!bulk) {
        openSteps(QStringLiteral("A1"));
        setMonth(now.year(), now.month());
        typeIntoCell(0, StepName, QStringLiteral("新名"));
        typeIntoCell(0, StepPrice, QStringLiteral("1.5"));
    }
    const auto before = tables();
    env->boxes.queueAnswer(QMessageBox::Yes);
    previewAnswers << false;
    click(bulk ? form->Button1 : form->Process_cmdsave);
    QCOMPARE(env->boxes.takeTexts().size(), 1);
    QCOMPARE(previewsShown.size(), 1);
    QCOMPARE(tables(), before);
    QCOMPARE(changeLines(), QList<QVariantList>());
    if (!bulk) {
        QCOMPARE(gridColumn(form->ProcessGrid, StepName).at(0), QStringLiteral("新名"));
        QCOMPARE(gridColumn(form->ProcessGrid, StepPrice).at(0), QStringLiteral("￥1.500"));
    }
}

void TestProduce::changeAfterPreviewIsRefused_data()
{
    QTest::addColumn<bool>("bulk");
    QTest::addColumn<QString>("otherClerk");
    QTest::newRow("save, a record's quantity")
        << false << "UPDATE Salary SET ProductCount=11 WHERE WorkerName='张三' AND Process='工序2'";
    QTest::newRow("save, the price of a step not typed")
        << false << "UPDATE Process SET Price=0.5 WHERE ProductId='A1' AND Process='工序3'";
    QTest::newRow("bulk, a new record") << true
                                        << "UPDATE Salary SET ProcessDate=(SELECT min(ProcessDate) FROM Salary "
                                           "WHERE WorkerName='李四') WHERE ProductCount=100";
    QTest::newRow("bulk, a step's price") << true << "UPDATE Process SET Price=1 WHERE ProductId='B2'";
}

void TestProduce::changeAfterPreviewIsRefused()
{
    QFETCH(bool, bulk);
    QFETCH(QString, otherClerk);
    const QDate now = QDate::currentDate();
    addPreviewFixture(now);
    open();
    if (!bulk) {
        openSteps(QStringLiteral("A1"));
        setMonth(now.year(), now.month());
        typeIntoCell(0, StepPrice, QStringLiteral("1.5"));
    }
    // Another clerk's change is committed while the preview is looked at.
    QList<QList<QVariantList>> changed;
    whilePreviewOpen = [&] {
        env->exec(otherClerk);
        changed = tables();
    };
    env->boxes.queueAnswer(QMessageBox::Yes);
    previewAnswers << true;
    click(bulk ? form->Button1 : form->Process_cmdsave);
    QCOMPARE(env->boxes.takeTexts().mid(1), QStringList{kPreviewOutdated});
    QVERIFY(!changed.isEmpty());
    QCOMPARE(tables(), changed);
    QCOMPARE(changeLines(), QList<QVariantList>());
    if (!bulk)
        QCOMPARE(gridColumn(form->ProcessGrid, StepPrice).at(0), QStringLiteral("￥1.500"));
}

void TestProduce::bulkWithoutRecordsShowsNoPreview()
{
    addStyle(QStringLiteral("A1"), 2, true);
    addRecord(QStringLiteral("A1"), 1, day(QDate::currentDate().addMonths(-1), 1));
    open();
    const auto before = tables();
    env->boxes.queueAnswer(QMessageBox::Yes);
    click(form->Button1);
    QCOMPARE(env->boxes.takeTexts(),
             (QStringList{kAskBulk, QStringLiteral("对不起，本月没有需要更新价格的计件记录!")}));
    QVERIFY(previewsShown.isEmpty());
    QCOMPARE(tables(), before);
}

void TestProduce::saveWithoutRecordsStoresStepsWithoutPreview()
{
    addStyle(QStringLiteral("A1"), 2, true);
    addRecord(QStringLiteral("A1"), 1, QStringLiteral("2004-02-10"));
    open();
    openSteps(QStringLiteral("A1"));
    setMonth(2004, 3);
    typeIntoCell(0, StepPrice, QStringLiteral("2.5"));
    const auto records = env->rows(QStringLiteral("SELECT * FROM Salary"));
    env->boxes.queueAnswer(QMessageBox::Yes);
    click(form->Process_cmdsave);
    QCOMPARE(env->boxes.takeTexts(), QStringList{askSave(QStringLiteral("2004年03月"))});
    QVERIFY(previewsShown.isEmpty());
    QCOMPARE(stepRows(QStringLiteral("A1")).at(0), (QVariantList{"工序1", "步骤1", 2.5}));
    QCOMPARE(env->rows(QStringLiteral("SELECT * FROM Salary")), records);
}

QTEST_MAIN(TestProduce)
#include "tst_produce.moc"
