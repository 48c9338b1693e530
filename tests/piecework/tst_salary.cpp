#include "data/ClientName.h"
#include "data/LoginIdentity.h"
#include "data/Sql.h"
#include "masterdata/MasterFixture.h"
#include "piecework/Produce.h"
#include "piecework/Salary.h"

#include <QAbstractItemModelTester>
#include <QComboBox>
#include <QDateEdit>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>

#include <chrono>
#include <thread>

using namespace masterfixture;

namespace {
const QString kTeamEmpty = QStringLiteral("对不起，班组不能为空!");
const QString kMachineEmpty = QStringLiteral("对不起，车床位不能为空!");
const QString kNoWorker = QStringLiteral("对不起，此车床位并未分配员工!");
const QString kKindEmpty = QStringLiteral("对不起，款式号不能为空!");
const QString kStepEmpty = QStringLiteral("对不起，工序号不能为空!");
const QString kCountBad = QStringLiteral("对不起，数量不能为空并且必须为数字!");
const QString kSizeBad = QStringLiteral("对不起，码数必须为数字!");
const QString kPickToDelete = QStringLiteral("对不起，请选择所要删除的数据!");
const QString kCannotAdd = QStringLiteral("对不起，数量必须为整数才能累加!");
const QString kNotSaved = QStringLiteral("数据没有保存，所填内容仍在，请修改后重试。");
const QString kAskDelete = QStringLiteral("是否确定要删除此数据?  ");
const QString kChangedByOther = QStringLiteral("该记录已被其他用户修改，请刷新后重试!");
const QString kDeletedByOther = QStringLiteral("该记录已被其他用户删除!");
const QString kMonthClosed = QStringLiteral("对不起，该月份已结账，不能修改!");

// Grid columns.
enum { ColTeam, ColPlace, ColWorker, ColKind, ColKindName, ColStep, ColStepName, ColSize, ColCount, ColDate, ColId };

const QString kRecordSql = QStringLiteral(
    "SELECT DeptName, MachineId, WorkerName, KindId, KindName, Process, ProcessName, ProcessSize, ProductCount, "
    "ProcessDate, ProcessPrice FROM Salary ORDER BY id");

// A choice made by the user: the item is selected and the box's choice action runs.
void choose(QComboBox* box, const QString& text)
{
    const int index = box->findText(text);
    QVERIFY2(index >= 0, qPrintable(box->objectName() + ": no item " + text));
    box->setCurrentIndex(index);
    emit box->activated(index);
}
// A left click on a column title of the grid.
void clickTitle(toolkit::DataGrid* grid, int column)
{
    QHeaderView* header = grid->horizontalHeader();
    const QPoint at(header->sectionViewportPosition(column) + header->sectionSize(column) / 2, header->height() / 2);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
}
} // namespace

class TestSalary : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        env = std::make_unique<Env>();
        // Team 一组 with 张三 at place 5 and 李四 at 6; team 二组 with 王五 at place 5.
        const qlonglong one = env->addTeam(QStringLiteral("一组"));
        const qlonglong two = env->addTeam(QStringLiteral("二组"));
        env->addWorker(QStringLiteral("张三"), one, QStringLiteral("5"));
        env->addWorker(QStringLiteral("李四"), one, QStringLiteral("6"));
        env->addWorker(QStringLiteral("王五"), two, QStringLiteral("5"));
        // A1: three steps, 工序2 named, 工序3 unnamed; B2: two steps.
        addStyle(QStringLiteral("A1"), QStringLiteral("衬衫"), {QStringLiteral("裁剪"), QStringLiteral("缝制"), {}});
        addStyle(QStringLiteral("B2"), QStringLiteral("长裤"), {QStringLiteral("锁边"), QStringLiteral("包装")});
    }
    void cleanup()
    {
        delete form;
        QCOMPARE(DataAddForm, nullptr);
        QCOMPARE(env->boxes.unexpected(), 0);
        QCOMPARE(env->boxes.takeTexts(), QStringList());
        env.reset();
    }

    void opensWithItsControls();
    void workerFollowsTeamAndPlace();
    void clickedRecordKeepsItsWorker();
    void stepListAndStepName();
    void addChecksInOrder_data();
    void addChecksInOrder();
    void addStoresValuesAsTyped_data();
    void addStoresValuesAsTyped();
    void runningTotal_data();
    void runningTotal();
    void clickFillsEveryField();
    void editAndDeleteClearTheChoices();
    void failedWriteKeepsTheFields();
    void editMeetsOtherClerk_data();
    void editMeetsOtherClerk();
    void deleteMeetsOtherClerk_data();
    void deleteMeetsOtherClerk();
    void search_data();
    void search();
    void refreshThenAddShowsTheSearchAgain();
    void listAfterChangesEqualsAFullReload();
    void newProductReloadsTheLists();
    void maximizedReturnsToNormal();
    void entryWaitsWhilePricesAreApplied();
    void listShowsAnotherClerksRecords();
    void closedMonthRefusesTheChange_data();
    void closedMonthRefusesTheChange();
    void changesAreRecorded();
    void entryWaitsForACloseInFlight();

private:
    void addStyle(const QString& kind, const QString& name, const QList<QString>& stepNames) const
    {
        env->exec(QStringLiteral("INSERT INTO Product (Kind, Process, KindName, ProductCount, ProductDate) "
                                 "VALUES (?,?,?,0,'2004-03-01')"),
                  {kind, stepNames.size(), name});
        for (int i = 0; i < stepNames.size(); ++i)
            env->exec(QStringLiteral("INSERT INTO Process (Process, ProcessName, ProductId) VALUES (?,?,?)"),
                      {QStringLiteral("工序%1").arg(i + 1), stepNames[i].isNull() ? QVariant() : QVariant(stepNames[i]),
                       kind});
    }
    void addRecord(const QString& team, int place, const QString& worker, const QString& kind, int step,
                   const QString& date, int count = 10) const
    {
        env->exec(QStringLiteral("INSERT INTO Salary (DeptName, MachineId, WorkerName, KindId, KindName, Process, "
                                 "ProcessName, ProcessSize, ProductCount, ProcessDate) VALUES (?,?,?,?,?,?,?,?,?,?)"),
                  {team, place, worker, kind, kind + QStringLiteral("名"), QStringLiteral("工序%1").arg(step),
                   QStringLiteral("步%1").arg(step), 38, count, date});
    }
    TDataAddForm* open()
    {
        form = new TDataAddForm;
        form->show();
        QApplication::setActiveWindow(form);
        [this] { QVERIFY(QTest::qWaitForWindowActive(form)); }();
        return form;
    }
    // Team, place, style and step chosen as a user chooses them, size and quantity typed.
    void fill(const QString& team, const QString& place, const QString& kind, const QString& step, const QString& size,
              const QString& count)
    {
        choose(form->DeptName_ComboBox, team);
        choose(form->Machine_Combobox, place);
        choose(form->Kind_ComboBox, kind);
        choose(form->Process_combobox, step);
        form->process_size->setText(size);
        form->ProcessCount->setText(count);
    }
    QList<QVariantList> records() const { return env->rows(kRecordSql); }
    // A month closed as the month close stores it.
    void closeMonth(const QString& month) const
    {
        env->exec(QStringLiteral("INSERT INTO MonthClose (Month, ClosedBy, ClosedAt) VALUES (?, '管理员', ?)"),
                  {month, month + QStringLiteral("-28 18:00:00")});
    }
    QList<QVariantList> changeLines() const
    {
        return env->rows(QStringLiteral("SELECT UserName, Host, ChangeKind, TableName, RowKey, OldValues, NewValues, "
                                        "Note FROM ChangeLog ORDER BY Id"));
    }
    QStringList choices() const
    {
        return {form->DeptName_ComboBox->currentText(),
                form->Machine_Combobox->currentText(),
                form->Kind_ComboBox->currentText(),
                form->Process_combobox->currentText(),
                form->WorkerName,
                form->KindName,
                form->ProcessName};
    }

    std::unique_ptr<Env> env;
    QPointer<TDataAddForm> form;
};

void TestSalary::opensWithItsControls()
{
    addRecord(QStringLiteral("一组"), 5, QStringLiteral("张三"), QStringLiteral("A1"), 1, QStringLiteral("2004-03-01"));
    addRecord(QStringLiteral("一组"), 6, QStringLiteral("李四"), QStringLiteral("B2"), 2, QStringLiteral("2004-03-02"));
    open();
    QAbstractItemModelTester tester(form->SalaryGrid->model(), QAbstractItemModelTester::FailureReportingMode::QtTest);

    QCOMPARE(DataAddForm, form.data());
    QCOMPARE(form->windowTitle(), QStringLiteral("计件数据"));
    QCOMPARE(form->GroupBox1->title(), QStringLiteral("计件数据"));
    QCOMPARE(form->GroupBox2->title(), QStringLiteral("查询"));
    QVERIFY(form->frameFlags() & Qt::WindowMaximizeButtonHint);

    // The list: every record, newest first, eleven columns with the key hidden.
    QCOMPARE(form->SalaryGrid->dataSource(), DM->DataAddSource);
    QStringList titles;
    for (int c = 0; c < form->SalaryGrid->gridColumnCount(); ++c)
        titles << form->SalaryGrid->gridColumn(c).title;
    QCOMPARE(titles, (QStringList{"班组名称", "车床位", "员工名称", "款式号", "款式名称", "工序号", "工序名称", "码数",
                                  "数量", "完成日期", ""}));
    QVERIFY(form->SalaryGrid->isColumnHidden(ColId));
    QCOMPARE(gridRows(form->SalaryGrid),
             (QList<QStringList>{{"一组", "6", "李四", "B2", "B2名", "工序2", "步2", "38", "10", "2004-03-02", "2"},
                                 {"一组", "5", "张三", "A1", "A1名", "工序1", "步1", "38", "10", "2004-03-01", "1"}}));

    // The drop-downs: teams as stored, places 1 to 100, styles newest number first; nothing chosen.
    const auto items = [](const QComboBox* box) {
        QStringList texts;
        for (int i = 0; i < box->count(); ++i)
            texts << box->itemText(i);
        return texts;
    };
    QCOMPARE(items(form->DeptName_ComboBox), (QStringList{"一组", "二组"}));
    QCOMPARE(form->Machine_Combobox->count(), 100);
    QCOMPARE(items(form->machine_ComboBox2), items(form->Machine_Combobox));
    QCOMPARE(form->Machine_Combobox->itemText(99), QStringLiteral("100"));
    QCOMPARE(items(form->Kind_ComboBox), (QStringList{"B2", "A1"}));
    QCOMPARE(items(form->Kind_ComboBox2), (QStringList{"B2", "A1"}));
    QCOMPARE(form->Process_combobox->count(), 0);
    for (const QComboBox* box : {form->DeptName_ComboBox, form->Machine_Combobox, form->Kind_ComboBox,
                                 form->machine_ComboBox2, form->Kind_ComboBox2})
        QCOMPARE(box->currentIndex(), -1);
    QCOMPARE(form->ProcessDate->date(), QDate::currentDate());
    QVERIFY(!form->cmdedit->isEnabled());
    QVERIFY(!form->ClickedId.isValid());

    // Captions, and the tab order: grid, entry fields, buttons, search fields.
    QCOMPARE(form->cmdadd->text(), QStringLiteral("新增"));
    QCOMPARE(form->cmddel->text(), QStringLiteral("删除"));
    QCOMPARE(form->cmdedit->text(), QStringLiteral("编辑"));
    QCOMPARE(form->NewProduct->text(), QStringLiteral("新增产品"));
    QCOMPARE(form->cmdexit->text(), QStringLiteral("退出"));
    QCOMPARE(form->Refresh->text(), QStringLiteral("刷新"));
    QStringList tabs{form->SalaryGrid->objectName()};
    QWidget* w = form->SalaryGrid;
    for (int i = 0; i < 16; ++i) {
        w = w->nextInFocusChain();
        while (!(w->focusPolicy() & Qt::TabFocus) || w->objectName().isEmpty() || w->objectName().startsWith("qt_"))
            w = w->nextInFocusChain();
        tabs << w->objectName();
    }
    QCOMPARE(tabs,
             (QStringList{"SalaryGrid", "DeptName_ComboBox", "Machine_Combobox", "Kind_ComboBox", "Process_combobox",
                          "process_size", "ProcessDate", "ProcessCount", "cmdadd", "cmddel", "cmdedit", "NewProduct",
                          "cmdexit", "machine_ComboBox2", "Kind_ComboBox2", "cmdsearch", "Refresh"}));
    QCOMPARE(form->findChild<QLabel*>("Process_Label")->text(), QStringLiteral("工 序 号："));
}

void TestSalary::workerFollowsTeamAndPlace()
{
    // Two more teams whose names hold a quote and a percent sign: O'Neil组 with O'Hara at place 5,
    // 整烫%组 with 百分%之 at place 7 and nobody at 5.
    const qlonglong oneil = env->addTeam(QStringLiteral("O'Neil组"));
    const qlonglong ironing = env->addTeam(QStringLiteral("整烫%组"));
    env->addWorker(QStringLiteral("O'Hara"), oneil, QStringLiteral("5"));
    env->addWorker(QStringLiteral("百分%之"), ironing, QStringLiteral("7"));
    open();
    // Team first, then the place: the team's worker at that place.
    choose(form->DeptName_ComboBox, QStringLiteral("二组"));
    choose(form->Machine_Combobox, QStringLiteral("5"));
    QCOMPARE(form->WorkerName, QStringLiteral("王五"));
    // Another team: its worker at the same place.
    choose(form->DeptName_ComboBox, QStringLiteral("O'Neil组"));
    QCOMPARE(form->WorkerName, QStringLiteral("O'Hara"));
    fill(QStringLiteral("O'Neil组"), QStringLiteral("5"), QStringLiteral("A1"), QStringLiteral("工序1"), {}, "3");
    click(form->cmdadd);

    // A team with nobody at the place: the worker found before is dropped and add refuses.
    choose(form->DeptName_ComboBox, QStringLiteral("整烫%组"));
    QCOMPARE(form->WorkerName, QString());
    form->ProcessCount->setText(QStringLiteral("4"));
    env->boxes.expect(kNoWorker);
    click(form->cmdadd);
    QCOMPARE(records().size(), 1);
    // The team's worker is found at his place; a place with nobody drops him again.
    choose(form->Machine_Combobox, QStringLiteral("7"));
    QCOMPARE(form->WorkerName, QStringLiteral("百分%之"));
    click(form->cmdadd);
    choose(form->Machine_Combobox, QStringLiteral("9"));
    QCOMPARE(form->WorkerName, QString());
    form->ProcessCount->setText(QStringLiteral("5"));
    env->boxes.expect(kNoWorker);
    click(form->cmdadd);
    QCOMPARE(records().size(), 2);

    // Place chosen before the team: the team's choice finds the worker.
    delete form;
    open();
    choose(form->Machine_Combobox, QStringLiteral("6"));
    QCOMPARE(form->WorkerName, QString());
    choose(form->DeptName_ComboBox, QStringLiteral("一组"));
    QCOMPARE(form->WorkerName, QStringLiteral("李四"));
    fill(QStringLiteral("一组"), QStringLiteral("6"), QStringLiteral("A1"), QStringLiteral("工序1"), {}, "6");
    click(form->cmdadd);

    // Every record's worker sits at its place in its team, so the wage summary, which groups by
    // worker, team and place, shows each worker once, under his own team.
    QCOMPARE(env->rows(QStringLiteral("SELECT s.WorkerName, s.DeptName, s.MachineId, sum(s.ProductCount) FROM Salary s "
                                      "GROUP BY s.WorkerName, s.DeptName, s.MachineId ORDER BY 4")),
             (QList<QVariantList>{{"O'Hara", "O'Neil组", 5, 3}, {"百分%之", "整烫%组", 7, 4}, {"李四", "一组", 6, 6}}));
}

void TestSalary::stepListAndStepName()
{
    open();
    fill(QStringLiteral("一组"), QStringLiteral("5"), QStringLiteral("B2"), QStringLiteral("工序2"), {}, "1");
    // The style offers 工序1 up to its step count, none chosen; the step name stays until a step
    // is chosen.
    choose(form->Kind_ComboBox, QStringLiteral("A1"));
    QCOMPARE(form->KindName, QStringLiteral("衬衫"));
    QCOMPARE(form->Process_combobox->count(), 3);
    QCOMPARE(form->Process_combobox->itemText(2), QStringLiteral("工序3"));
    QCOMPARE(form->Process_combobox->currentIndex(), -1);
    QCOMPARE(form->ProcessName, QStringLiteral("包装"));
    choose(form->Process_combobox, QStringLiteral("工序2"));
    QCOMPARE(form->ProcessName, QStringLiteral("缝制"));
    click(form->cmdadd);
    choose(form->Process_combobox, QStringLiteral("工序3"));
    QCOMPARE(form->ProcessName, QString());
    form->ProcessCount->setText("2");
    click(form->cmdadd);
    const auto rows = records();
    QCOMPARE(rows.size(), 2);
    QCOMPARE(rows[0].mid(3, 4), (QVariantList{"A1", "衬衫", "工序2", "缝制"}));
    QCOMPARE(rows[1].mid(3, 4), (QVariantList{"A1", "衬衫", "工序3", ""}));
}

void TestSalary::addChecksInOrder_data()
{
    QTest::addColumn<QString>("team");
    QTest::addColumn<QString>("place");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("step");
    QTest::addColumn<QString>("size");
    QTest::addColumn<QString>("count");
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("focus");
    QTest::newRow("nothing") << ""
                             << ""
                             << ""
                             << ""
                             << ""
                             << "" << kTeamEmpty << "DeptName_ComboBox";
    QTest::newRow("no place") << "一组"
                              << ""
                              << "A1"
                              << "工序1"
                              << ""
                              << "3" << kMachineEmpty << "Machine_Combobox";
    QTest::newRow("no worker at place") << "一组"
                                        << "9"
                                        << "A1"
                                        << "工序1"
                                        << ""
                                        << "3" << kNoWorker << "";
    QTest::newRow("no style") << "一组"
                              << "5"
                              << ""
                              << ""
                              << ""
                              << "3" << kKindEmpty << "Kind_ComboBox";
    QTest::newRow("no step") << "一组"
                             << "5"
                             << "A1"
                             << ""
                             << ""
                             << "3" << kStepEmpty << "Process_combobox";
    QTest::newRow("no quantity") << "一组"
                                 << "5"
                                 << "A1"
                                 << "工序1"
                                 << ""
                                 << "" << kCountBad << "ProcessCount";
    QTest::newRow("quantity 1.5") << "一组"
                                  << "5"
                                  << "A1"
                                  << "工序1"
                                  << ""
                                  << "1.5" << kCountBad << "ProcessCount";
    QTest::newRow("quantity with blank") << "一组"
                                         << "5"
                                         << "A1"
                                         << "工序1"
                                         << ""
                                         << "12 " << kCountBad << "ProcessCount";
    QTest::newRow("size not a number") << "一组"
                                       << "5"
                                       << "A1"
                                       << "工序1"
                                       << "L"
                                       << "3" << kSizeBad << "process_size";
}

void TestSalary::addChecksInOrder()
{
    QFETCH(QString, team);
    QFETCH(QString, place);
    QFETCH(QString, kind);
    QFETCH(QString, step);
    QFETCH(QString, size);
    QFETCH(QString, count);
    QFETCH(QString, box);
    QFETCH(QString, focus);
    open();
    if (!team.isEmpty())
        choose(form->DeptName_ComboBox, team);
    if (!place.isEmpty())
        choose(form->Machine_Combobox, place);
    if (!kind.isEmpty())
        choose(form->Kind_ComboBox, kind);
    if (!step.isEmpty())
        choose(form->Process_combobox, step);
    form->process_size->setText(size);
    form->ProcessCount->setText(count);
    form->cmdexit->setFocus();
    env->boxes.expect(box);
    click(form->cmdadd);
    QCOMPARE(records().size(), 0);
    QCOMPARE(QApplication::focusWidget() ? QApplication::focusWidget()->objectName() : QString(),
             focus.isEmpty() ? QStringLiteral("cmdexit") : focus);
    // The fields keep what was typed.
    QCOMPARE(form->ProcessCount->text(), count);
    QCOMPARE(form->process_size->text(), size);
}

void TestSalary::addStoresValuesAsTyped_data()
{
    QTest::addColumn<QString>("size");
    QTest::addColumn<QString>("count");
    QTest::addColumn<QVariant>("storedSize");
    QTest::addColumn<QVariant>("storedCount");
    QTest::newRow("empty size") << ""
                                << "12" << QVariant(0.0) << QVariant(12);
    QTest::newRow("negative quantity") << "40"
                                       << "-5" << QVariant(40.0) << QVariant(-5);
    QTest::newRow("hexadecimal quantity") << "40.5"
                                          << "$1A" << QVariant(40.5) << QVariant(26);
    QTest::newRow("leading blanks") << "38"
                                    << "  007" << QVariant(38.0) << QVariant(7);
}

void TestSalary::addStoresValuesAsTyped()
{
    QFETCH(QString, size);
    QFETCH(QString, count);
    QFETCH(QVariant, storedSize);
    QFETCH(QVariant, storedCount);
    // Names with quotes are stored as typed.
    env->addTeam(QStringLiteral("O'Neil's 组"));
    env->addWorker(QStringLiteral("张'三"), 3, QStringLiteral("9"));
    open();
    fill(QStringLiteral("O'Neil's 组"), QStringLiteral("9"), QStringLiteral("A1"), QStringLiteral("工序2"), size,
         count);
    form->ProcessDate->setDate(QDate(2004, 3, 15));
    click(form->cmdadd);
    const auto rows = records();
    QCOMPARE(rows.size(), 1);
    QCOMPARE(rows[0], (QVariantList{"O'Neil's 组", 9, "张'三", "A1", "衬衫", "工序2", "缝制", storedSize, storedCount,
                                    "2004-03-15", QVariant()}));
    // After add: size, quantity and date reset; the choices stay; the list shows the record.
    QCOMPARE(form->process_size->text(), QString());
    QCOMPARE(form->ProcessCount->text(), QString());
    QCOMPARE(form->ProcessDate->date(), QDate::currentDate());
    QCOMPARE(choices(), (QStringList{"O'Neil's 组", "9", "A1", "工序2", "张'三", "衬衫", "缝制"}));
    QCOMPARE(gridColumn(form->SalaryGrid, ColWorker), QStringList{"张'三"});
    QCOMPARE(QApplication::focusWidget(), form->DeptName_ComboBox);
}

void TestSalary::runningTotal_data()
{
    QTest::addColumn<QString>("keys"); // "+" and digits typed, "=" for Enter
    QTest::addColumn<QString>("box");
    QTest::addColumn<int>("refusals");
    QTest::newRow("5+3 Enter") << "5+3="
                               << "8" << 0;
    QTest::newRow("5+3+ Enter") << "5+3+="
                                << "8" << 0;
    QTest::newRow("12 Enter") << "12="
                              << "12" << 0;
    QTest::newRow("Enter alone") << "="
                                 << "0" << 0;
    QTest::newRow("-4+10 Enter") << "-4+10="
                                 << "6" << 0;
    QTest::newRow("+ twice refused") << "5++2="
                                     << "7" << 1;
    QTest::newRow("sum starts again") << "5+3="
                                      << "8" << 0;
    QTest::newRow("letters refused") << "5+a+"
                                     << "+a" << 1;
}

void TestSalary::runningTotal()
{
    QFETCH(QString, keys);
    QFETCH(QString, box);
    QFETCH(int, refusals);
    open();
    form->ProcessCount->setFocus();
    for (int i = 0; i < refusals; ++i)
        env->boxes.expect(kCannotAdd);
    for (const QChar key : keys) {
        if (key == QLatin1Char('='))
            QTest::keyClick(form->ProcessCount, Qt::Key_Return);
        else
            QTest::keyClicks(form->ProcessCount, QString(key));
    }
    QCOMPARE(form->ProcessCount->text(), box);
    // After Enter the sum starts again.
    if (keys.endsWith(QLatin1Char('='))) {
        QCOMPARE(form->RunningTotal, qint64(0));
        QTest::keyClicks(form->ProcessCount, QStringLiteral("+"));
        QTest::keyClick(form->ProcessCount, Qt::Key_Return);
        QCOMPARE(form->ProcessCount->text(), box);
    }
}

void TestSalary::clickFillsEveryField()
{
    addRecord(QStringLiteral("二组"), 5, QStringLiteral("王五"), QStringLiteral("B2"), 2, QStringLiteral("2004-03-09"),
              44);
    addRecord(QStringLiteral("旧组"), 5, QStringLiteral("离职者"), QStringLiteral("Z9"), 4,
              QStringLiteral("2004-02-01"));
    open();
    pressRow(form->SalaryGrid, 1, Qt::LeftButton, ColKind);
    QCOMPARE(form->ClickedId, QVariant(1));
    QVERIFY(form->cmdedit->isEnabled());
    QCOMPARE(choices(), (QStringList{"二组", "5", "B2", "工序2", "王五", "B2名", "步2"}));
    QCOMPARE(form->Process_combobox->count(), 2);
    QCOMPARE(form->process_size->text(), QStringLiteral("38"));
    QCOMPARE(form->ProcessCount->text(), QStringLiteral("44"));
    QCOMPARE(form->ProcessDate->date(), QDate(2004, 3, 9));

    // A record of a team and style deleted since: nothing chosen, the step list empty; the names
    // come from the record. A right-button press picks too.
    pressRow(form->SalaryGrid, 0, Qt::RightButton, ColKind);
    QCOMPARE(form->ClickedId, QVariant(2));
    QCOMPARE(choices(), (QStringList{"", "5", "", "", "离职者", "Z9名", "步4"}));
    QCOMPARE(form->Process_combobox->count(), 0);
    QCOMPARE(form->ProcessDate->date(), QDate(2004, 2, 1));
}

// A clicked record keeps the worker who did the work, also when he has since moved; choosing the
// team or the place again looks the worker up as for a new record.
void TestSalary::clickedRecordKeepsItsWorker()
{
    addRecord(QStringLiteral("一组"), 5, QStringLiteral("张三"), QStringLiteral("A1"), 1, QStringLiteral("2004-03-01"));
    env->exec(QStringLiteral("UPDATE Worker SET MachineId = '9' WHERE WorkerName = '张三'"));
    env->addWorker(QStringLiteral("赵'六"), 1, QStringLiteral("5"));
    open();
    pressRow(form->SalaryGrid, 0);
    QCOMPARE(form->WorkerName, QStringLiteral("张三"));
    form->ProcessCount->setText(QStringLiteral("12"));
    click(form->cmdedit);
    QCOMPARE(records().at(0).mid(0, 3), (QVariantList{"一组", 5, "张三"}));
    QCOMPARE(records().at(0).at(8), QVariant(12));

    // The place chosen again: the worker who sits there now.
    pressRow(form->SalaryGrid, 0);
    choose(form->Machine_Combobox, QStringLiteral("5"));
    QCOMPARE(form->WorkerName, QStringLiteral("赵'六"));
    // The team chosen again where it has nobody at the place: no worker, the edit is refused.
    choose(form->Machine_Combobox, QStringLiteral("7"));
    choose(form->DeptName_ComboBox, QStringLiteral("一组"));
    QCOMPARE(form->WorkerName, QString());
    env->boxes.expect(kNoWorker);
    click(form->cmdedit);
    QCOMPARE(records().at(0).mid(0, 3), (QVariantList{"一组", 5, "张三"}));
    choose(form->DeptName_ComboBox, QStringLiteral("二组"));
    QCOMPARE(form->WorkerName, QString());
    choose(form->Machine_Combobox, QStringLiteral("5"));
    click(form->cmdedit);
    QCOMPARE(records().at(0).mid(0, 3), (QVariantList{"二组", 5, "王五"}));
}

void TestSalary::editAndDeleteClearTheChoices()
{
    addRecord(QStringLiteral("一组"), 5, QStringLiteral("张三"), QStringLiteral("A1"), 1, QStringLiteral("2004-03-01"));
    addRecord(QStringLiteral("一组"), 6, QStringLiteral("李四"), QStringLiteral("A1"), 2, QStringLiteral("2004-03-02"));
    env->exec(QStringLiteral("UPDATE Salary SET ProcessPrice = 1.5"));
    open();
    pressRow(form->SalaryGrid, 1);
    // The edit writes the fields into the clicked record (its price untouched); a place with no
    // worker of the team is refused.
    choose(form->Machine_Combobox, QStringLiteral("8"));
    choose(form->Kind_ComboBox, QStringLiteral("B2"));
    choose(form->Process_combobox, QStringLiteral("工序1"));
    form->ProcessCount->setText(QStringLiteral("77"));
    form->process_size->clear();
    env->boxes.expect(kNoWorker);
    click(form->cmdedit);
    QCOMPARE(records().at(0).at(8), QVariant(10));
    QVERIFY(form->cmdedit->isEnabled());
    choose(form->Machine_Combobox, QStringLiteral("6"));
    click(form->cmdedit);
    QCOMPARE(records().at(0),
             (QVariantList{"一组", 6, "李四", "B2", "长裤", "工序1", "锁边", 0.0, 77, "2004-03-01", 1.5}));
    QCOMPARE(choices(), (QStringList{"", "", "", "", "", "", ""}));
    QCOMPARE(form->ProcessCount->text(), QString());
    QVERIFY(!form->cmdedit->isEnabled());
    QCOMPARE(gridRows(form->SalaryGrid).at(1).mid(ColPlace, 1), QStringList{"6"});

    // Delete asks; No changes nothing; Yes deletes and clears; a second delete has nothing chosen.
    pressRow(form->SalaryGrid, 0);
    env->boxes.expect(kAskDelete, QMessageBox::No);
    click(form->cmddel);
    QCOMPARE(records().size(), 2);
    QCOMPARE(choices().at(0), QStringLiteral("一组"));
    env->boxes.expect(kAskDelete, QMessageBox::Yes);
    click(form->cmddel);
    QCOMPARE(records().size(), 1);
    QCOMPARE(choices(), (QStringList{"", "", "", "", "", "", ""}));
    QVERIFY(!form->cmdedit->isEnabled());
    QCOMPARE(gridColumn(form->SalaryGrid, ColId), QStringList{"1"});
    env->boxes.expect(kPickToDelete);
    click(form->cmddel);
    QCOMPARE(records().size(), 1);
}

void TestSalary::failedWriteKeepsTheFields()
{
    open();
    fill(QStringLiteral("一组"), QStringLiteral("5"), QStringLiteral("A1"), QStringLiteral("工序1"), "38", "3");
    form->ProcessDate->setDate(QDate(2004, 3, 15));
    testsupport::addRefusingTrigger(env->db(), QStringLiteral("BEFORE INSERT ON Salary"));
    env->boxes.expect(
        QStringLiteral("the statement's failure"),
        [](const toolkit::MessageRequest& r) { return r.text.startsWith("操作数据表时出错"); }, QMessageBox::Ok);
    env->boxes.expect(kNotSaved);
    click(form->cmdadd);
    QCOMPARE(form->ProcessCount->text(), QStringLiteral("3"));
    QCOMPARE(form->process_size->text(), QStringLiteral("38"));
    QCOMPARE(form->ProcessDate->date(), QDate(2004, 3, 15));
    testsupport::dropRefusingTrigger(env->db(), QStringLiteral("BEFORE INSERT ON Salary"));
    click(form->cmdadd);
    QCOMPARE(records().size(), 1);
}

void TestSalary::editMeetsOtherClerk_data()
{
    QTest::addColumn<QString>("other"); // the other clerk's statement, between the pick and the save
    QTest::addColumn<bool>("refused");
    QTest::newRow("record changed") << "UPDATE Salary SET ProductCount=55 WHERE id=1" << true;
    QTest::newRow("record's price applied") << "UPDATE Salary SET ProcessPrice=2.5 WHERE id=1" << true;
    QTest::newRow("record deleted") << "DELETE FROM Salary WHERE id=1" << true;
    QTest::newRow("another record changed") << "UPDATE Salary SET ProductCount=55 WHERE id=2" << false;
}

void TestSalary::editMeetsOtherClerk()
{
    if (!testsupport::onServer())
        QSKIP("a database file has one program at a time");
    QFETCH(QString, other);
    QFETCH(bool, refused);
    addRecord(QStringLiteral("一组"), 5, QStringLiteral("张三"), QStringLiteral("A1"), 1, QStringLiteral("2004-03-01"));
    addRecord(QStringLiteral("一组"), 6, QStringLiteral("李四"), QStringLiteral("B2"), 2, QStringLiteral("2004-03-02"));
    open();
    const auto typeTheEdit = [this] {
        pressRow(form->SalaryGrid, 1); // the first record
        choose(form->Machine_Combobox, QStringLiteral("6"));
        form->ProcessCount->setText(QStringLiteral("77"));
    };
    typeTheEdit();
    env->exec(other);
    const QList<QVariantList> othersRecords = records();
    const QVariantList saved{"一组", 6, "李四", "A1", "A1名", "工序1", "步1", 38, 77, "2004-03-01"};
    if (!refused) {
        click(form->cmdedit);
        QCOMPARE(records().at(0).mid(0, 10), saved);
        return;
    }

    env->boxes.expect(kChangedByOther);
    click(form->cmdedit);
    // Nothing saved; the typed values stay for another try.
    QCOMPARE(records(), othersRecords);
    QCOMPARE(choices(), (QStringList{"一组", "6", "A1", "工序1", "李四", "A1名", "步1"}));
    QCOMPARE(form->ProcessCount->text(), QStringLiteral("77"));
    QCOMPARE(form->process_size->text(), QStringLiteral("38"));
    QVERIFY(form->cmdedit->isEnabled());

    // After a refresh the record as it is now is picked, and the same save goes through.
    click(form->Refresh);
    if (othersRecords.size() < 2)
        return; // nothing left to pick
    typeTheEdit();
    click(form->cmdedit);
    QCOMPARE(records().at(0).mid(0, 10), saved);
}

void TestSalary::deleteMeetsOtherClerk_data()
{
    QTest::addColumn<QString>("other");
    QTest::addColumn<QStringList>("boxes");
    QTest::newRow("record deleted") << "DELETE FROM Salary WHERE id=1" << QStringList{kAskDelete, kDeletedByOther};
    // A record changed meanwhile goes all the same: deleting is what the clerk asked for.
    QTest::newRow("record changed") << "UPDATE Salary SET ProductCount=55 WHERE id=1" << QStringList{kAskDelete};
}

void TestSalary::deleteMeetsOtherClerk()
{
    if (!testsupport::onServer())
        QSKIP("a database file has one program at a time");
    QFETCH(QString, other);
    QFETCH(QStringList, boxes);
    addRecord(QStringLiteral("一组"), 5, QStringLiteral("张三"), QStringLiteral("A1"), 1, QStringLiteral("2004-03-01"));
    addRecord(QStringLiteral("一组"), 6, QStringLiteral("李四"), QStringLiteral("B2"), 2, QStringLiteral("2004-03-02"));
    open();
    pressRow(form->SalaryGrid, 1);
    env->exec(other);
    env->boxes.queueAnswer(QMessageBox::Yes);
    click(form->cmddel);
    // The stop box and no failure box; the other record stays.
    QCOMPARE(env->boxes.takeTexts(), boxes);
    QCOMPARE(env->rows(QStringLiteral("SELECT id FROM Salary")), QList<QVariantList>{{2}});
    QCOMPARE(gridColumn(form->SalaryGrid, ColId), QStringList{"2"});
    QCOMPARE(choices(), (QStringList{"", "", "", "", "", "", ""}));
}

void TestSalary::search_data()
{
    QTest::addColumn<QString>("place");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("sortByDate");
    QTest::addColumn<QStringList>("ids");
    // Records: 1 (5,A1,03-02) 2 (5,B2,03-04) 3 (6,A1,03-03) 4 (5,A1,03-01) 5 (5,A1,03-03)
    QTest::newRow("none") << ""
                          << "" << false << QStringList{"5", "4", "3", "2", "1"};
    QTest::newRow("none, by date") << ""
                                   << "" << true << QStringList{"2", "5", "3", "1", "4"};
    QTest::newRow("both") << "5"
                          << "A1" << false << QStringList{"5", "4", "1"};
    QTest::newRow("both, by date") << "5"
                                   << "A1" << true << QStringList{"5", "1", "4"};
    QTest::newRow("place only, by date") << "5"
                                         << "" << true << QStringList{"2", "5", "1", "4"};
    QTest::newRow("style only") << ""
                                << "A1" << false << QStringList{"5", "4", "3", "1"};
    QTest::newRow("nothing found") << "9"
                                   << "" << false << QStringList{};
}

void TestSalary::search()
{
    QFETCH(QString, place);
    QFETCH(QString, kind);
    QFETCH(bool, sortByDate);
    QFETCH(QStringList, ids);
    const QString team = QStringLiteral("一组");
    addRecord(team, 5, "张三", "A1", 1, "2004-03-02");
    addRecord(team, 5, "张三", "B2", 1, "2004-03-04");
    addRecord(team, 6, "李四", "A1", 1, "2004-03-03");
    addRecord(team, 5, "张三", "A1", 2, "2004-03-01");
    addRecord(team, 5, "张三", "A1", 3, "2004-03-03");
    open();
    if (sortByDate) {
        // A title click sorts the shown list and is remembered for the search.
        clickTitle(form->SalaryGrid, ColDate);
        QCOMPARE(form->SortText, QStringLiteral("ProcessDate DESC"));
    }
    if (!place.isEmpty())
        choose(form->machine_ComboBox2, place);
    if (!kind.isEmpty())
        choose(form->Kind_ComboBox2, kind);
    click(form->cmdsearch);
    QCOMPARE(gridColumn(form->SalaryGrid, ColId), ids);
}

void TestSalary::refreshThenAddShowsTheSearchAgain()
{
    addRecord(QStringLiteral("一组"), 5, "张三", "A1", 1, "2004-03-02");
    addRecord(QStringLiteral("一组"), 6, "李四", "B2", 1, "2004-03-04");
    open();
    choose(form->machine_ComboBox2, QStringLiteral("6"));
    click(form->cmdsearch);
    QCOMPARE(gridColumn(form->SalaryGrid, ColId), QStringList{"2"});
    click(form->Refresh);
    QCOMPARE(gridColumn(form->SalaryGrid, ColId), (QStringList{"2", "1"}));
    QCOMPARE(form->machine_ComboBox2->currentText(), QStringLiteral("6"));
    fill(QStringLiteral("一组"), QStringLiteral("6"), QStringLiteral("A1"), QStringLiteral("工序1"), {}, "4");
    click(form->cmdadd);
    QCOMPARE(gridColumn(form->SalaryGrid, ColId), (QStringList{"3", "2"}));
}

// After add, edit and delete under a search and a remembered sort, the list is exactly what
// reading the same search again shows.
void TestSalary::listAfterChangesEqualsAFullReload()
{
    for (int i = 0; i < 30; ++i)
        addRecord(i % 3 ? QStringLiteral("一组") : QStringLiteral("二组"), 5 + i % 2,
                  i % 4 ? QStringLiteral("张三") : QStringLiteral("王五"), i % 5 ? "A1" : "B2", 1 + i % 3,
                  QStringLiteral("2004-03-%1").arg(1 + i % 7, 2, 10, QLatin1Char('0')), i);
    open();
    clickTitle(form->SalaryGrid, ColDate);
    choose(form->machine_ComboBox2, QStringLiteral("5"));
    click(form->cmdsearch);
    const auto shown = [this] {
        QStringList ids;
        for (const QStringList& row : gridRows(form->SalaryGrid))
            ids << row.at(ColId) + "/" + row.at(ColDate);
        return ids;
    };
    // Rows keyed by id and date, read straight from the dataset for the reference.
    const auto reference = [] {
        data::DataSet fresh(QStringLiteral("fresh"), DM->connection());
        fresh.setSql(DataAddForm->SearchSql, DataAddForm->SearchParams);
        QStringList ids;
        if (!fresh.open())
            return ids;
        for (int r = 0; r < fresh.recordCount(); ++r)
            ids << fresh.value(r, fresh.findField("id")).toString() + "/" +
                       fresh.value(r, fresh.findField("ProcessDate")).toString();
        return ids;
    };
    QCOMPARE(shown(), reference());
    const int before = form->SalaryGrid->model()->rowCount();

    fill(QStringLiteral("一组"), QStringLiteral("5"), QStringLiteral("A1"), QStringLiteral("工序1"), {}, "4");
    form->ProcessDate->setDate(QDate(2004, 3, 3));
    click(form->cmdadd);
    QCOMPARE(form->SalaryGrid->model()->rowCount(), before + 1);
    QCOMPARE(shown(), reference());

    // Edit a record to another date: it moves to its place.
    pressRow(form->SalaryGrid, 4);
    form->ProcessDate->setDate(QDate(2004, 3, 9));
    choose(form->Process_combobox, QStringLiteral("工序2"));
    click(form->cmdedit);
    QCOMPARE(shown(), reference());
    QVERIFY(shown().first().endsWith("2004-03-09"));

    // Edit a record to another place: it leaves the searched list.
    pressRow(form->SalaryGrid, 2);
    choose(form->DeptName_ComboBox, QStringLiteral("一组"));
    choose(form->Machine_Combobox, QStringLiteral("6"));
    choose(form->Kind_ComboBox, QStringLiteral("A1"));
    choose(form->Process_combobox, QStringLiteral("工序1"));
    click(form->cmdedit);
    QCOMPARE(form->SalaryGrid->model()->rowCount(), before);
    QCOMPARE(shown(), reference());

    pressRow(form->SalaryGrid, 0);
    env->boxes.expect(kAskDelete, QMessageBox::Yes);
    click(form->cmddel);
    QCOMPARE(form->SalaryGrid->model()->rowCount(), before - 1);
    QCOMPARE(shown(), reference());
}

void TestSalary::newProductReloadsTheLists()
{
    open();
    fill(QStringLiteral("一组"), QStringLiteral("5"), QStringLiteral("A1"), QStringLiteral("工序2"), {}, "1");
    choose(form->machine_ComboBox2, QStringLiteral("5"));
    click(form->cmdsearch);
    click(form->NewProduct);
    QPointer<TProduceForm> product = ProduceForm;
    QVERIFY(product && product->OpenedFromEntry);
    // A style added there appears in both style lists when it closes; the choices are empty, the
    // step list and the step name stay.
    product->Kind_Edit->setText(QStringLiteral("C3"));
    product->Process_Edit->setText(QStringLiteral("4"));
    click(product->cmdadd);
    addRecord(QStringLiteral("一组"), 6, "李四", "A1", 1, "2004-03-02");
    click(product->cmdexit);
    QTRY_VERIFY(product.isNull());
    QCOMPARE(form->Kind_ComboBox->itemText(0), QStringLiteral("C3"));
    QCOMPARE(form->Kind_ComboBox2->itemText(0), QStringLiteral("C3"));
    QCOMPARE(form->Kind_ComboBox->currentIndex(), -1);
    QCOMPARE(form->DeptName_ComboBox->currentIndex(), -1);
    QCOMPARE(form->machine_ComboBox2->currentIndex(), -1);
    QCOMPARE(form->Process_combobox->currentText(), QStringLiteral("工序2"));
    QCOMPARE(form->WorkerName, QString());
    QCOMPARE(gridColumn(form->SalaryGrid, ColId), QStringList{"1"});
}

void TestSalary::maximizedReturnsToNormal()
{
    open();
    const QSize designed = form->size();
    form->showMaximized();
    QTRY_VERIFY(!(form->windowState() & Qt::WindowMaximized));
    QCOMPARE(form->size(), designed);
}

// While another clerk applies prices to a month, a record of that month waits for the end (here
// a short busy timeout, then it is not saved and the fields stay); a record of another month does
// not wait.
void TestSalary::entryWaitsWhilePricesAreApplied()
{
    if (!testsupport::onServer())
        QSKIP("a file database lets one program in at a time");
    data::Connection office;
    data::DataSet pricing(QStringLiteral("pricing"), &office);
    QVERIFY(office.begin());
    pricing.setSql(data::monthLockStatement(data::Dialect::Postgres, data::MonthHold::Pricing),
                   {data::kMonthLockSpace, 200403});
    QVERIFY(pricing.execSql());
    open();
    DM->connection()->setBusyTimeout(300);
    fill(QStringLiteral("一组"), QStringLiteral("5"), QStringLiteral("A1"), QStringLiteral("工序1"), "38", "3");
    form->ProcessDate->setDate(QDate(2004, 3, 15));
    env->boxes.expect(
        QStringLiteral("the statement's failure"),
        [](const toolkit::MessageRequest& r) { return r.text.contains(QStringLiteral("其他用户")); }, QMessageBox::Ok);
    env->boxes.expect(kNotSaved);
    click(form->cmdadd);
    QCOMPARE(records().size(), 0);
    QCOMPARE(form->ProcessCount->text(), QStringLiteral("3"));

    form->ProcessDate->setDate(QDate(2004, 4, 1));
    click(form->cmdadd);
    QCOMPARE(records().size(), 1);

    QVERIFY(office.execute(QStringLiteral("COMMIT")));
    fill(QStringLiteral("一组"), QStringLiteral("5"), QStringLiteral("A1"), QStringLiteral("工序1"), "38", "3");
    form->ProcessDate->setDate(QDate(2004, 3, 15));
    click(form->cmdadd);
    QCOMPARE(records().size(), 2);
}

// Another clerk's records show in the open list a moment after they are saved; the record the
// clerk stands on stays current.
void TestSalary::listShowsAnotherClerksRecords()
{
    if (!testsupport::onServer())
        QSKIP("a file database lets one program in at a time");
    addRecord(QStringLiteral("一组"), 5, QStringLiteral("张三"), QStringLiteral("A1"), 1, QStringLiteral("2004-03-01"));
    addRecord(QStringLiteral("一组"), 6, QStringLiteral("李四"), QStringLiteral("A1"), 1, QStringLiteral("2004-03-02"));
    open();
    const data::DataSet* list = DM->DataAddQuery;
    QCOMPARE(list->recordCount(), 2);
    form->SalaryGrid->setCurrentIndex(form->SalaryGrid->model()->index(1, 0));
    QCOMPARE(list->fieldByName(QStringLiteral("id")).asInteger(), 1);

    addRecord(QStringLiteral("二组"), 5, QStringLiteral("王五"), QStringLiteral("B2"), 2, QStringLiteral("2004-03-03"));
    env->exec(QStringLiteral("DELETE FROM Salary WHERE id = 2"));
    const auto shownIds = [list] {
        QList<qint64> ids;
        for (int row = 0; row < list->recordCount(); ++row)
            ids << list->value(row, list->findField(QStringLiteral("id"))).toLongLong();
        return ids;
    };
    QTRY_COMPARE_WITH_TIMEOUT(shownIds(), (QList<qint64>{3, 1}), 1000);
    QCOMPARE(list->fieldByName(QStringLiteral("id")).asInteger(), 1);
    QCOMPARE(form->SalaryGrid->currentIndex().row(), 1);
}

void TestSalary::closedMonthRefusesTheChange_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<int>("pick"); // the grid row picked first (-1: none)
    QTest::addColumn<QDate>("date");
    QTest::addColumn<QStringList>("boxes");
    // The list: the April record (id 2) above the March record (id 1); March is closed.
    QTest::newRow("add into a closed month")
        << "add" << -1 << QDate(2004, 3, 15) << QStringList{kMonthClosed, kNotSaved};
    QTest::newRow("edit into a closed month")
        << "edit" << 0 << QDate(2004, 3, 20) << QStringList{kMonthClosed, kNotSaved};
    QTest::newRow("edit out of a closed month")
        << "edit" << 1 << QDate(2004, 4, 20) << QStringList{kMonthClosed, kNotSaved};
    QTest::newRow("edit within a closed month")
        << "edit" << 1 << QDate(2004, 3, 1) << QStringList{kMonthClosed, kNotSaved};
    QTest::newRow("delete in a closed month")
        << "delete" << 1 << QDate(2004, 3, 1) << QStringList{kAskDelete, kMonthClosed};
}

// A change that touches a closed month saves nothing, records nothing, and leaves the fields as
// the clerk typed them; the same change to open months goes through.
void TestSalary::closedMonthRefusesTheChange()
{
    QFETCH(QString, action);
    QFETCH(int, pick);
    QFETCH(QDate, date);
    QFETCH(QStringList, boxes);
    addRecord(QStringLiteral("一组"), 5, QStringLiteral("张三"), QStringLiteral("A1"), 1, QStringLiteral("2004-03-01"));
    addRecord(QStringLiteral("一组"), 6, QStringLiteral("李四"), QStringLiteral("B2"), 2, QStringLiteral("2004-04-02"));
    closeMonth(QStringLiteral("2004-03"));
    open();
    if (pick >= 0)
        pressRow(form->SalaryGrid, pick);
    else
        fill(QStringLiteral("一组"), QStringLiteral("5"), QStringLiteral("A1"), QStringLiteral("工序1"), "38", "3");
    if (action != QLatin1String("delete"))
        form->ProcessCount->setText(QStringLiteral("77"));
    form->ProcessDate->setDate(date);
    const QList<QVariantList> before = records();
    const QStringList typed = choices();
    const QVariant picked = form->ClickedId;

    QPushButton* button = action == QLatin1String("add")    ? form->cmdadd
                          : action == QLatin1String("edit") ? form->cmdedit
                                                            : form->cmddel;
    if (action == QLatin1String("delete"))
        env->boxes.queueAnswer(QMessageBox::Yes);
    click(button);
    QCOMPARE(env->boxes.takeTexts(), boxes);
    QCOMPARE(records(), before);
    QCOMPARE(changeLines(), QList<QVariantList>());
    QCOMPARE(choices(), typed);
    QCOMPARE(form->ProcessDate->date(), date);
    QCOMPARE(form->ClickedId, picked);
    if (action != QLatin1String("delete"))
        QCOMPARE(form->ProcessCount->text(), QStringLiteral("77"));
    QCOMPARE(gridColumn(form->SalaryGrid, ColId), (QStringList{"2", "1"}));

    // Reopened, the same click saves.
    env->exec(QStringLiteral("DELETE FROM MonthClose"));
    if (action == QLatin1String("delete"))
        env->boxes.expect(kAskDelete, QMessageBox::Yes);
    click(button);
    QVERIFY(records() != before);
    QCOMPARE(changeLines().size(), 1);
}

// Each saved change leaves one line with who and where, what kind, which record and its values
// before and after; the list is patched in place all the same (a row changed only in memory
// stays as it is, where reading the list again would bring back the stored value).
void TestSalary::changesAreRecorded()
{
    LoginUser = QStringLiteral("录入员");
    addRecord(QStringLiteral("一组"), 6, QStringLiteral("李四"), QStringLiteral("B2"), 2, QStringLiteral("2004-04-02"));
    closeMonth(QStringLiteral("2004-03"));
    open();
    const auto markUntouchedRow = [] {
        data::DataSet* list = DM->DataAddQuery;
        for (int row = 0; row < list->recordCount(); ++row)
            if (list->value(row, list->findField(QStringLiteral("id"))).toLongLong() == 1)
                list->setValue(row, list->findField(QStringLiteral("WorkerName")), QStringLiteral("只在列表"));
    };
    const auto untouchedRowShown = [this] {
        for (const QStringList& row : gridRows(form->SalaryGrid))
            if (row.at(ColId) == QLatin1String("1"))
                return row.at(ColWorker);
        return QString();
    };
    const QString added =
        QStringLiteral("{\"id\":2,\"DeptName\":\"一组\",\"MachineId\":5,\"WorkerName\":\"张三\",\"KindId\":\"A1\","
                       "\"KindName\":\"衬衫\",\"Process\":\"工序2\",\"ProcessName\":\"缝制\",\"ProcessSize\":38.5,"
                       "\"ProductCount\":3,\"ProcessPrice\":null,\"ProcessDate\":\"2004-04-15\"}");
    const QString edited =
        QString(added).replace(QStringLiteral("\"ProductCount\":3"), QStringLiteral("\"ProductCount\":12"));
    const auto line = [](const QString& kind, const QVariant& before, const QVariant& after) {
        return QVariantList{QStringLiteral("录入员"),
                            data::thisHostName(),
                            kind,
                            QStringLiteral("Salary"),
                            QStringLiteral("2"),
                            before,
                            after,
                            QVariant()};
    };

    markUntouchedRow();
    fill(QStringLiteral("一组"), QStringLiteral("5"), QStringLiteral("A1"), QStringLiteral("工序2"), "38.5", "3");
    form->ProcessDate->setDate(QDate(2004, 4, 15));
    click(form->cmdadd);
    QCOMPARE(changeLines(), (QList<QVariantList>{line(QStringLiteral("新增计件记录"), QVariant(), added)}));
    QCOMPARE(untouchedRowShown(), QStringLiteral("只在列表"));
    const QString when = env->rows(QStringLiteral("SELECT ChangedAt FROM ChangeLog")).at(0).at(0).toString();
    QVERIFY2(
        qAbs(QDateTime::fromString(when, QStringLiteral("yyyy-MM-dd HH:mm:ss")).secsTo(QDateTime::currentDateTime())) <
            60,
        qPrintable(when));

    // An edit within open months: the values before and after.
    pressRow(form->SalaryGrid, 0);
    QCOMPARE(form->ClickedId, QVariant(2));
    markUntouchedRow();
    form->ProcessCount->setText(QStringLiteral("12"));
    click(form->cmdedit);
    QCOMPARE(changeLines().value(1), line(QStringLiteral("修改计件记录"), added, edited));
    QCOMPARE(untouchedRowShown(), QStringLiteral("只在列表"));

    // Saved unchanged: nothing to record.
    pressRow(form->SalaryGrid, 0);
    click(form->cmdedit);
    QCOMPARE(changeLines().size(), 2);

    pressRow(form->SalaryGrid, 0);
    markUntouchedRow();
    env->boxes.expect(kAskDelete, QMessageBox::Yes);
    click(form->cmddel);
    QCOMPARE(changeLines().value(2), line(QStringLiteral("删除计件记录"), edited, QVariant()));
    QCOMPARE(untouchedRowShown(), QStringLiteral("只在列表"));
    QCOMPARE(gridColumn(form->SalaryGrid, ColId), QStringList{"1"});
    LoginUser.clear();
}

// Another program closes the month while the clerk saves into it: the save waits for the close to
// commit, then sees the month closed and is refused; it never slips in before the close.
void TestSalary::entryWaitsForACloseInFlight()
{
    if (!testsupport::onServer())
        QSKIP("a file database lets one program in at a time");
    data::Connection office;
    data::DataSet closing(QStringLiteral("closing"), &office);
    QVERIFY(office.begin());
    closing.setSql(data::monthLockStatement(data::Dialect::Postgres, data::MonthHold::Pricing),
                   {data::kMonthLockSpace, 200403});
    QVERIFY(closing.execSql());
    closing.setSql(QStringLiteral("INSERT INTO MonthClose (Month, ClosedBy, ClosedAt) VALUES ('2004-03', 'x', 'y')"));
    QVERIFY(closing.execSql());
    open();
    fill(QStringLiteral("一组"), QStringLiteral("5"), QStringLiteral("A1"), QStringLiteral("工序1"), "38", "3");
    form->ProcessDate->setDate(QDate(2004, 3, 15));
    env->boxes.expect(kMonthClosed);
    env->boxes.expect(kNotSaved);
    std::thread commit([&office] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        office.execute(QStringLiteral("COMMIT"));
    });
    click(form->cmdadd);
    commit.join();
    QCOMPARE(records().size(), 0);
    QCOMPARE(changeLines().size(), 0);
    QCOMPARE(form->ProcessCount->text(), QStringLiteral("3"));
}

QTEST_MAIN(TestSalary)
#include "tst_salary.moc"
