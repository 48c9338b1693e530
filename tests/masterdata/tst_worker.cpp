#include "MasterFixture.h"
#include "data/History.h"
#include "data/LoginIdentity.h"
#include "data/Sql.h"
#include "masterdata/Worker.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QComboBox>
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>

using namespace masterfixture;

namespace {
const QString kNameTeamEmpty = QStringLiteral("对不起，员工姓名和班组不能为空!");
const QString kMachineEmpty = QStringLiteral("对不起，车床位不能为空!");
const QString kNameRepeated = QStringLiteral("对不起，员工姓名不能有重复!");
const QString kMachineTakenInTeam = QStringLiteral("对不起，车床只能分配一人!");
const QString kPickToChange = QStringLiteral("对不起，请选择所要修改的员工名称!");
const QString kAlreadyInTeam = QStringLiteral("对不起，此员工已分配班组了!");
const QString kMachineTaken = QStringLiteral("对不起，车床已被分配，请另选其他车床!");
const QString kPickToDelete = QStringLiteral("对不起，请选择所要删除的员工名称!");
const QString kAskDelete = QStringLiteral("是否确定要删除此数据?  ");
const QString kTeamGone = QStringLiteral("对不起，该班组已不存在，请重新选择班组!");
const QString kChangedByOther = QStringLiteral("该记录已被其他用户修改，请刷新后重试!");
const QString kDeletedByOther = QStringLiteral("该记录已被其他用户删除!");
} // namespace

class TestWorker : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        env = std::make_unique<Env>();
        teamA = env->addTeam(QStringLiteral("A组"));
        teamB = env->addTeam(QStringLiteral("B组"));
    }
    void cleanup()
    {
        delete form;
        QCOMPARE(WorkerForm, nullptr);
        QCOMPARE(env->boxes.unexpected(), 0);
        QCOMPARE(env->boxes.take().size(), 0);
        env.reset();
        LoginUser.clear();
    }

    void opensWithListsAndControls();
    void addStoresWorkerAsTyped_data();
    void addStoresWorkerAsTyped();
    void addRefusals_data();
    void addRefusals();
    void samePlaceInAnotherTeam();
    void pressCopiesWorkerIntoEntry();
    void pressLeavesUnknownEntriesUnchosen();
    void editWritesEveryField();
    void editRefusals_data();
    void editRefusals();
    void editNameRuleLooksOnlyAtChosenTeam();
    void editNameConflictShowsConflictingRows();
    void deleteRemovesOnlyTheWorker();
    void search_data();
    void search();
    void enterMovesToTeamList();
    void newWindowStartsWithoutSelection();
    void teamGoneAfterOpening_data();
    void teamGoneAfterOpening();
    void teamGoneDuringTheSave_data();
    void teamGoneDuringTheSave();
    void editMeetsOtherClerk_data();
    void editMeetsOtherClerk();
    void deleteMeetsOtherClerk_data();
    void deleteMeetsOtherClerk();
    void changesAreRecorded();
    void failedRecordUndoesTheChange_data();
    void failedRecordUndoesTheChange();

private:
    TWorkerForm* open()
    {
        form = new TWorkerForm;
        form->show();
        return form;
    }
    void pick(const QString& name)
    {
        const int row = int(gridColumn(form->WorkerGrid, 1).indexOf(name));
        QVERIFY2(row >= 0, qPrintable(name));
        pressRow(form->WorkerGrid, row);
    }
    void enter(const QString& name, const QString& team, const QString& machine, QDate date = {})
    {
        form->WorkerName_Edit->setText(name);
        form->DeptName_ComboBox->setCurrentIndex(form->DeptName_ComboBox->findText(team));
        form->Machine_Combobox->setCurrentIndex(form->Machine_Combobox->findText(machine));
        if (date.isValid())
            form->EnterDatePicker->setDate(date);
    }
    QList<QVariantList> workers() const
    {
        return env->rows(QStringLiteral("SELECT WorkerName, DeptId, MachineId, EnterDate FROM Worker ORDER BY id"));
    }
    QStringList kinds() const
    {
        QStringList names;
        for (const QStringList& line : env->changeLines())
            names << line.at(0);
        return names;
    }
    bool entryCleared() const
    {
        return form->WorkerName_Edit->text().isEmpty() && form->DeptName_ComboBox->currentIndex() == -1 &&
               form->Machine_Combobox->currentIndex() == -1;
    }

    std::unique_ptr<Env> env;
    QPointer<TWorkerForm> form;
    qlonglong teamA = 0;
    qlonglong teamB = 0;
};

void TestWorker::opensWithListsAndControls()
{
    const qlonglong gone = env->addTeam(QStringLiteral("C组"));
    env->addWorker(QStringLiteral("张三"), teamA, QStringLiteral("1"), QStringLiteral("2004-03-01"));
    env->addWorker(QStringLiteral("李四"), teamB, QStringLiteral("2"), QStringLiteral("2005-12-31"));
    env->addWorker(QStringLiteral("孤儿"), gone, QStringLiteral("3"));
    env->exec(QStringLiteral("DELETE FROM Dept WHERE id=?"), {gone});
    open();
    QAbstractItemModelTester tester(form->WorkerGrid->model(), QAbstractItemModelTester::FailureReportingMode::QtTest);

    QCOMPARE(WorkerForm, form.data());
    QCOMPARE(form->windowTitle(), QStringLiteral("员工资料"));
    QCOMPARE(form->size(), QSize(713, 365));
    QCOMPARE(form->WorkerGrid->geometry(), QRect(0, 0, 481, 365));
    QCOMPARE(form->WorkerGrid->dataSource(), DM->WorkSource);
    QCOMPARE(form->WorkerGrid->selectionBehavior(), QAbstractItemView::SelectRows);
    QCOMPARE(form->WorkerGrid->editTriggers(), QAbstractItemView::NoEditTriggers);
    const QStringList titles{QStringLiteral("员工编号"), QStringLiteral("员工名称"), QStringLiteral("班组"),
                             QStringLiteral("车床号"), QStringLiteral("入厂日期")};
    const QList<int> widths{63, 119, 79, 81, 103};
    for (int c = 0; c < 5; ++c) {
        QCOMPARE(form->WorkerGrid->model()->headerData(c, Qt::Horizontal).toString(), titles.at(c));
        QCOMPARE(form->WorkerGrid->columnWidth(c), widths.at(c));
    }

    // Newest worker first, with the team name; the worker whose team is gone is missing.
    const QString idB =
        env->rows(QStringLiteral("SELECT id FROM Worker WHERE WorkerName='李四'")).at(0).at(0).toString();
    QCOMPARE(gridRows(form->WorkerGrid).size(), 2);
    QCOMPARE(gridRows(form->WorkerGrid).at(0), (QStringList{idB, QStringLiteral("李四"), QStringLiteral("B组"),
                                                            QStringLiteral("2"), QStringLiteral("2005-12-31")}));
    QCOMPARE(gridColumn(form->WorkerGrid, 1).at(1), QStringLiteral("张三"));

    QCOMPARE(form->DeptName_ComboBox->count(), 2);
    QCOMPARE(form->DeptName_ComboBox->itemText(0), QStringLiteral("A组"));
    QCOMPARE(form->DeptName_ComboBox->itemText(1), QStringLiteral("B组"));
    QCOMPARE(form->Machine_Combobox->count(), 100);
    QCOMPARE(form->Machine_Combobox->itemText(0), QStringLiteral("1"));
    QCOMPARE(form->Machine_Combobox->itemText(99), QStringLiteral("100"));
    QVERIFY(entryCleared());
    QCOMPARE(form->EnterDatePicker->date(), QDate::currentDate());
    QCOMPARE(form->EnterDatePicker->displayFormat(), QStringLiteral("yyyy-MM-dd"));
    QVERIFY(form->EnterDatePicker->calendarPopup());
    QVERIFY(!form->cmdedit->isEnabled());
    QVERIFY(form->cmdadd->isEnabled() && form->cmddelete->isEnabled() && form->cmdsearch->isEnabled());

    const QList<std::pair<QString, QString>> labels{{QStringLiteral("Worker_Label"), QStringLiteral("姓    名：")},
                                                    {QStringLiteral("DeptName_Label"), QStringLiteral("班    组：")},
                                                    {QStringLiteral("Machine_Label"), QStringLiteral("车 床 号：")},
                                                    {QStringLiteral("EnterDate_Label"), QStringLiteral("入厂日期：")}};
    for (const auto& [name, text] : labels)
        QCOMPARE(form->findChild<QLabel*>(name)->text(), text);
    const QList<std::pair<QString, QString>> buttons{{QStringLiteral("cmdadd"), QStringLiteral("新增")},
                                                     {QStringLiteral("cmddelete"), QStringLiteral("删除")},
                                                     {QStringLiteral("cmdedit"), QStringLiteral("编辑")},
                                                     {QStringLiteral("cmdexit"), QStringLiteral("退出")},
                                                     {QStringLiteral("cmdsearch"), QStringLiteral("查询")}};
    for (const auto& [name, text] : buttons)
        QCOMPARE(form->findChild<QPushButton*>(name)->text(), text);

    // Tab order: name, team, date, the four buttons, search box, "查询", grid, machine place.
    const QList<QWidget*> order{form->WorkerName_Edit, form->DeptName_ComboBox, form->EnterDatePicker, form->cmdadd,
                                form->cmddelete,       form->cmdedit,           form->cmdexit,         form->Searchtxt,
                                form->cmdsearch,       form->WorkerGrid,        form->Machine_Combobox};
    for (int i = 0; i + 1 < order.size(); ++i)
        QCOMPARE(nextTabStop(order.at(i)), order.at(i + 1));

    // Sorting and reloading under the model tester's eye.
    QCOMPARE(form->WorkerGrid->titleClick(1), QStringLiteral("WorkerName DESC"));
    form->Searchtxt->setText(QStringLiteral("A组"));
    click(form->cmdsearch);
    QCOMPARE(gridColumn(form->WorkerGrid, 1), QStringList{QStringLiteral("张三")});
}

void TestWorker::addStoresWorkerAsTyped_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("plain") << QStringLiteral("王五");
    QTest::newRow("quotes") << QStringLiteral("O'Brien \"小王\"");
    QTest::newRow("blanks kept") << QStringLiteral(" 王五  ");
}

void TestWorker::addStoresWorkerAsTyped()
{
    QFETCH(QString, name);
    env->addWorker(QStringLiteral("张三"), teamA, QStringLiteral("1"));
    open();
    enter(name, QStringLiteral("B组"), QStringLiteral("17"), QDate(2004, 2, 29));
    click(form->cmdadd);

    QCOMPARE(workers().size(), 2);
    QCOMPARE(workers().at(1), (QVariantList{name, teamB, QStringLiteral("17"), QStringLiteral("2004-02-29")}));
    QCOMPARE(gridRows(form->WorkerGrid).at(0).mid(1),
             (QStringList{name, QStringLiteral("B组"), QStringLiteral("17"), QStringLiteral("2004-02-29")}));
    QVERIFY(entryCleared());
    QCOMPARE(form->EnterDatePicker->date(), QDate(2004, 2, 29));
    QVERIFY(!form->cmdedit->isEnabled());

    // Found as typed: the same name is refused next time.
    enter(name, QStringLiteral("A组"), QStringLiteral("50"));
    click(form->cmdadd);
    QCOMPARE(env->boxes.takeTexts(), QStringList{kNameRepeated});
    QCOMPARE(workers().size(), 2);
}

void TestWorker::addRefusals_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("team");
    QTest::addColumn<QString>("machine");
    QTest::addColumn<QString>("message");
    QTest::newRow("no name") << QString() << QStringLiteral("A组") << QStringLiteral("9") << kNameTeamEmpty;
    QTest::newRow("blank name") << QStringLiteral("  ") << QStringLiteral("A组") << QStringLiteral("9")
                                << kNameTeamEmpty;
    QTest::newRow("no team") << QStringLiteral("王五") << QString() << QStringLiteral("9") << kNameTeamEmpty;
    QTest::newRow("nothing") << QString() << QString() << QString() << kNameTeamEmpty;
    QTest::newRow("no machine") << QStringLiteral("王五") << QStringLiteral("A组") << QString() << kMachineEmpty;
    QTest::newRow("name in another team")
        << QStringLiteral("张三") << QStringLiteral("B组") << QStringLiteral("9") << kNameRepeated;
    QTest::newRow("name, other case") << QStringLiteral("tom") << QStringLiteral("A组") << QStringLiteral("9")
                                      << kNameRepeated;
    QTest::newRow("machine taken in team")
        << QStringLiteral("王五") << QStringLiteral("A组") << QStringLiteral("5") << kMachineTakenInTeam;
}

void TestWorker::addRefusals()
{
    QFETCH(QString, name);
    QFETCH(QString, team);
    QFETCH(QString, machine);
    QFETCH(QString, message);
    env->addWorker(QStringLiteral("张三"), teamA, QStringLiteral("5"));
    env->addWorker(QStringLiteral("Tom"), teamB, QStringLiteral("1"));
    open();
    const auto before = gridRows(form->WorkerGrid);
    enter(name, team, machine);
    click(form->cmdadd);

    QCOMPARE(env->boxes.takeTexts(), QStringList{message});
    QCOMPARE(workers().size(), 2);
    QCOMPARE(kinds(), QStringList());
    QCOMPARE(form->WorkerName_Edit->text(), name);
    QCOMPARE(gridRows(form->WorkerGrid), before);
}

void TestWorker::samePlaceInAnotherTeam()
{
    env->addWorker(QStringLiteral("张三"), teamA, QStringLiteral("5"));
    open();
    enter(QStringLiteral("李四"), QStringLiteral("B组"), QStringLiteral("5"));
    click(form->cmdadd);
    QCOMPARE(workers().size(), 2);
    QCOMPARE(workers().at(1).mid(0, 3), (QVariantList{QStringLiteral("李四"), teamB, QStringLiteral("5")}));

    // Editing the new worker without any change: the edit rule counts machine place 5 in team A.
    pick(QStringLiteral("李四"));
    click(form->cmdedit);
    QCOMPARE(env->boxes.takeTexts(), QStringList{kMachineTaken});
    QCOMPARE(workers().size(), 2);
    QCOMPARE(gridRows(form->WorkerGrid).size(), 2);
}

void TestWorker::pressCopiesWorkerIntoEntry()
{
    const qlonglong id =
        env->addWorker(QStringLiteral("张三"), teamB, QStringLiteral("100"), QStringLiteral("2003-07-15"));
    env->addWorker(QStringLiteral("李四"), teamA, QStringLiteral("2"));
    open();
    pressRow(form->WorkerGrid, 1, Qt::RightButton, 3);

    QCOMPARE(form->SelectedWorkerId, QVariant(id));
    QCOMPARE(form->WorkerName_Edit->text(), QStringLiteral("张三"));
    QCOMPARE(form->DeptName_ComboBox->currentText(), QStringLiteral("B组"));
    QCOMPARE(form->Machine_Combobox->currentText(), QStringLiteral("100"));
    QCOMPARE(form->EnterDatePicker->date(), QDate(2003, 7, 15));
    QVERIFY(form->cmdedit->isEnabled());

    // A result without the list's columns in the shared dataset: a press changes nothing.
    QVERIFY(OpenQuery(DM->WorkerQuery, QStringLiteral("Select Id From Dept")));
    pressRow(form->WorkerGrid, 0);
    QCOMPARE(form->SelectedWorkerId, QVariant(id));
    QCOMPARE(form->WorkerName_Edit->text(), QStringLiteral("张三"));
    QCOMPARE(form->DeptName_ComboBox->currentText(), QStringLiteral("B组"));
}

void TestWorker::pressLeavesUnknownEntriesUnchosen()
{
    open();
    // The team came after the window opened; the machine place is outside 1 to 100.
    const qlonglong late = env->addTeam(QStringLiteral("后来组"));
    env->addWorker(QStringLiteral("王五"), late, QStringLiteral("101"));
    form->WorkerName_Edit->setText(QStringLiteral("x"));
    form->DeptName_ComboBox->setCurrentIndex(0);
    form->Machine_Combobox->setCurrentIndex(0);
    click(form->cmdsearch); // the unfiltered search reloads the list
    pick(QStringLiteral("王五"));

    QCOMPARE(form->WorkerName_Edit->text(), QStringLiteral("王五"));
    QCOMPARE(form->DeptName_ComboBox->currentIndex(), -1);
    QCOMPARE(form->Machine_Combobox->currentIndex(), -1);
    click(form->cmdedit);
    QCOMPARE(env->boxes.takeTexts(), QStringList{kNameTeamEmpty});
}

void TestWorker::editWritesEveryField()
{
    const qlonglong id =
        env->addWorker(QStringLiteral("张三"), teamA, QStringLiteral("1"), QStringLiteral("2004-03-01"));
    env->addWorker(QStringLiteral("李四"), teamA, QStringLiteral("2"));
    open();
    pick(QStringLiteral("张三"));
    enter(QStringLiteral("张'三丰"), QStringLiteral("B组"), QStringLiteral("7"), QDate(2006, 1, 2));
    click(form->cmdedit);

    QCOMPARE(
        env->rows(QStringLiteral("SELECT WorkerName, DeptId, MachineId, EnterDate FROM Worker WHERE id=?"), {id}),
        (QList<QVariantList>{{QStringLiteral("张'三丰"), teamB, QStringLiteral("7"), QStringLiteral("2006-01-02")}}));
    QCOMPARE(workers().at(1).at(0).toString(), QStringLiteral("李四"));
    QVERIFY(entryCleared());
    QVERIFY(!form->cmdedit->isEnabled());
    QCOMPARE(form->SelectedWorkerId, QVariant(id));
    QVERIFY(gridColumn(form->WorkerGrid, 1).contains(QStringLiteral("张'三丰")));

    // Editing without changes passes both checks when nobody else conflicts.
    pick(QStringLiteral("张'三丰"));
    click(form->cmdedit);
    QCOMPARE(env->rows(QStringLiteral("SELECT WorkerName, MachineId FROM Worker WHERE id=?"), {id}),
             (QList<QVariantList>{{QStringLiteral("张'三丰"), QStringLiteral("7")}}));
    // A save that changed nothing is no change to record.
    QCOMPARE(kinds(), QStringList{change::kEditWorker});
}

void TestWorker::editRefusals_data()
{
    QTest::addColumn<bool>("picked");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("team");
    QTest::addColumn<QString>("machine");
    QTest::addColumn<QString>("message");
    QTest::newRow("nothing picked") << false << QStringLiteral("张三") << QStringLiteral("A组") << QStringLiteral("1")
                                    << kPickToChange;
    QTest::newRow("blank name") << true << QStringLiteral(" ") << QStringLiteral("A组") << QStringLiteral("1")
                                << kNameTeamEmpty;
    QTest::newRow("no team") << true << QStringLiteral("张三") << QString() << QStringLiteral("1") << kNameTeamEmpty;
    QTest::newRow("no machine") << true << QStringLiteral("张三") << QStringLiteral("A组") << QString()
                                << kMachineEmpty;
    QTest::newRow("machine of another team")
        << true << QStringLiteral("张三") << QStringLiteral("A组") << QStringLiteral("8") << kMachineTaken;
}

void TestWorker::editRefusals()
{
    QFETCH(bool, picked);
    QFETCH(QString, name);
    QFETCH(QString, team);
    QFETCH(QString, machine);
    QFETCH(QString, message);
    env->addWorker(QStringLiteral("张三"), teamA, QStringLiteral("1"));
    env->addWorker(QStringLiteral("李四"), teamB, QStringLiteral("8"));
    const auto stored = workers();
    open();
    if (picked)
        pick(QStringLiteral("张三"));
    else
        form->cmdedit->setEnabled(true); // "编辑" checks the selection itself
    enter(name, team, machine);
    click(form->cmdedit);

    QCOMPARE(env->boxes.takeTexts(), QStringList{message});
    QCOMPARE(workers(), stored);
    QCOMPARE(kinds(), QStringList());
    QCOMPARE(gridRows(form->WorkerGrid).size(), 2);
    QVERIFY(form->cmdedit->isEnabled());
}

void TestWorker::editNameRuleLooksOnlyAtChosenTeam()
{
    const qlonglong id = env->addWorker(QStringLiteral("张三"), teamA, QStringLiteral("1"));
    env->addWorker(QStringLiteral("李四"), teamB, QStringLiteral("2"));
    open();
    pick(QStringLiteral("张三"));
    // A name that exists only in another team is accepted when editing (adding would refuse it),
    // and workers of that name never block the machine place.
    enter(QStringLiteral("李四"), QStringLiteral("A组"), QStringLiteral("2"));
    click(form->cmdedit);
    QCOMPARE(env->rows(QStringLiteral("SELECT WorkerName, DeptId, MachineId FROM Worker WHERE id=?"), {id}),
             (QList<QVariantList>{{QStringLiteral("李四"), teamA, QStringLiteral("2")}}));
}

void TestWorker::editNameConflictShowsConflictingRows()
{
    env->addWorker(QStringLiteral("张三"), teamA, QStringLiteral("1"));
    const qlonglong other = env->addWorker(QStringLiteral("李四"), teamB, QStringLiteral("2"));
    open();
    pick(QStringLiteral("张三"));
    const QVariant picked = form->SelectedWorkerId;
    enter(QStringLiteral("李四"), QStringLiteral("B组"), QStringLiteral("3"));
    click(form->cmdedit);

    QCOMPARE(env->boxes.takeTexts(), QStringList{kAlreadyInTeam});
    QCOMPARE(env->rows(QStringLiteral("SELECT WorkerName FROM Worker WHERE id=?"), {picked}).at(0).at(0),
             QVariant(QStringLiteral("张三")));
    // The grid shows the conflicting worker from the check, with an empty team column.
    QCOMPARE(gridRows(form->WorkerGrid), (QList<QStringList>{{QString::number(other), QStringLiteral("李四"), QString(),
                                                              QStringLiteral("2"), QStringLiteral("2004-03-01")}}));
    // A press on that row changes nothing.
    pressRow(form->WorkerGrid, 0);
    QCOMPARE(form->SelectedWorkerId, picked);
    QCOMPARE(form->Machine_Combobox->currentText(), QStringLiteral("3"));
}

void TestWorker::deleteRemovesOnlyTheWorker()
{
    env->addWorker(QStringLiteral("张三"), teamA, QStringLiteral("1"));
    env->addWorker(QStringLiteral("李四"), teamA, QStringLiteral("2"));
    env->exec(QStringLiteral("INSERT INTO Salary (WorkerName, DeptName) VALUES ('张三', 'A组')"));
    open();
    click(form->cmddelete);
    QCOMPARE(env->boxes.takeTexts(), QStringList{kPickToDelete});

    pick(QStringLiteral("张三"));
    env->boxes.queueAnswer(QMessageBox::No);
    click(form->cmddelete);
    QCOMPARE(env->boxes.takeTexts(), QStringList{kAskDelete});
    QCOMPARE(workers().size(), 2);

    env->boxes.queueAnswer(QMessageBox::Yes);
    click(form->cmddelete);
    const auto boxes = env->boxes.take();
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes.at(0).caption, QStringLiteral("提示"));
    QCOMPARE(boxes.at(0).buttons, QMessageBox::Yes | QMessageBox::No);
    QCOMPARE(workers().size(), 1);
    QCOMPARE(workers().at(0).at(0).toString(), QStringLiteral("李四"));
    QCOMPARE(env->rows(QStringLiteral("SELECT count(*) FROM Salary")).at(0).at(0).toInt(), 1);
    QCOMPARE(gridColumn(form->WorkerGrid, 1), QStringList{QStringLiteral("李四")});
    QVERIFY(entryCleared());
    QVERIFY(!form->cmdedit->isEnabled());
}

void TestWorker::search_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("found");
    QTest::newRow("machine places and names")
        << QStringLiteral("1")
        << QStringList{QStringLiteral("m1"), QStringLiteral("m10"), QStringLiteral("m21"), QStringLiteral("m100"),
                       QStringLiteral("name1")};
    QTest::newRow("team name") << QStringLiteral("B组") << QStringList{QStringLiteral("m21"), QStringLiteral("m2")};
    QTest::newRow("quote") << QStringLiteral("'") << QStringList{QStringLiteral("o'k")};
    QTest::newRow("percent is literal") << QStringLiteral("%") << QStringList{QStringLiteral("50%")};
    QTest::newRow("underscore is literal") << QStringLiteral("m_") << QStringList{QStringLiteral("m_x")};
    QTest::newRow("backslash is literal") << QStringLiteral("\\") << QStringList{QStringLiteral("a\\b")};
    QTest::newRow("no text: all") << QString()
                                  << QStringList{QStringLiteral("m1"),   QStringLiteral("m10"),   QStringLiteral("m21"),
                                                 QStringLiteral("m100"), QStringLiteral("name1"), QStringLiteral("m2"),
                                                 QStringLiteral("o'k"),  QStringLiteral("50%"),   QStringLiteral("m_x"),
                                                 QStringLiteral("a\\b")};
}

void TestWorker::search()
{
    QFETCH(QString, text);
    QFETCH(QStringList, found);
    env->addWorker(QStringLiteral("m1"), teamA, QStringLiteral("1"));
    env->addWorker(QStringLiteral("m10"), teamA, QStringLiteral("10"));
    env->addWorker(QStringLiteral("m21"), teamB, QStringLiteral("21"));
    env->addWorker(QStringLiteral("m100"), teamA, QStringLiteral("100"));
    env->addWorker(QStringLiteral("name1"), teamA, QStringLiteral("3"));
    env->addWorker(QStringLiteral("m2"), teamB, QStringLiteral("2"));
    env->addWorker(QStringLiteral("o'k"), teamA, QStringLiteral("4"));
    env->addWorker(QStringLiteral("50%"), teamA, QStringLiteral("5"));
    env->addWorker(QStringLiteral("m_x"), teamA, QStringLiteral("6"));
    env->addWorker(QStringLiteral("a\\b"), teamA, QStringLiteral("7"));
    open();
    form->Searchtxt->setText(text);
    click(form->cmdsearch);
    QStringList names = gridColumn(form->WorkerGrid, 1);
    names.sort();
    found.sort();
    QCOMPARE(names, found);
}

void TestWorker::enterMovesToTeamList()
{
    env->addWorker(QStringLiteral("m1"), teamA, QStringLiteral("1"));
    open();
    QApplication::setActiveWindow(form);
    QVERIFY(QTest::qWaitForWindowActive(form));
    for (QLineEdit* box : {form->WorkerName_Edit, form->Searchtxt}) {
        box->setFocus();
        QTRY_COMPARE(QApplication::focusWidget(), box);
        if (box == form->Searchtxt)
            box->setText(QStringLiteral("none"));
        QTest::keyClick(box, Qt::Key_Return);
        QCOMPARE(QApplication::focusWidget(), form->DeptName_ComboBox);
    }
    // Enter in the search box starts no search.
    QCOMPARE(gridRows(form->WorkerGrid).size(), 1);
}

void TestWorker::newWindowStartsWithoutSelection()
{
    env->addWorker(QStringLiteral("张三"), teamA, QStringLiteral("1"));
    open();
    pick(QStringLiteral("张三"));
    QVERIFY(!form->SelectedWorkerId.isNull());
    click(form->cmdexit);
    QTRY_VERIFY(form.isNull());
    QCOMPARE(WorkerForm, nullptr);

    open();
    QVERIFY(form->SelectedWorkerId.isNull());
    click(form->cmddelete);
    QCOMPARE(env->boxes.takeTexts(), QStringList{kPickToDelete});
    QCOMPARE(workers().size(), 1);
}

void TestWorker::teamGoneAfterOpening_data()
{
    QTest::addColumn<bool>("edit");
    QTest::addColumn<bool>("deleted");
    QTest::newRow("add, team renamed") << false << false;
    QTest::newRow("add, team deleted") << false << true;
    QTest::newRow("edit, team renamed") << true << false;
    QTest::newRow("edit, team deleted") << true << true;
}

void TestWorker::teamGoneAfterOpening()
{
    QFETCH(bool, edit);
    QFETCH(bool, deleted);
    env->addWorker(QStringLiteral("张三"), teamB, QStringLiteral("1"));
    open();
    if (edit)
        pick(QStringLiteral("张三"));
    const auto stored = workers();
    // The team window changes team A while this window still lists it.
    if (deleted)
        env->exec(QStringLiteral("DELETE FROM Dept WHERE id=?"), {teamA});
    else
        env->exec(QStringLiteral("UPDATE Dept SET DeptName='X组' WHERE id=?"), {teamA});
    enter(QStringLiteral("王五"), QStringLiteral("A组"), QStringLiteral("2"));
    click(edit ? form->cmdedit : form->cmdadd);

    QCOMPARE(env->boxes.takeTexts(), QStringList{kTeamGone});
    QCOMPARE(workers(), stored);
    QCOMPARE(kinds(), QStringList());
    QCOMPARE(env->rows(QStringLiteral("SELECT count(*) FROM Worker WHERE DeptId NOT IN (SELECT id FROM Dept)"))
                 .at(0)
                 .at(0)
                 .toInt(),
             0);
    // The team list is read again, nothing chosen; the typed entry stays for another try.
    QStringList teamNames;
    for (int i = 0; i < form->DeptName_ComboBox->count(); ++i)
        teamNames << form->DeptName_ComboBox->itemText(i);
    QCOMPARE(teamNames, deleted ? QStringList{QStringLiteral("B组")}
                                : (QStringList{QStringLiteral("X组"), QStringLiteral("B组")}));
    QCOMPARE(form->DeptName_ComboBox->currentIndex(), -1);
    QCOMPARE(form->WorkerName_Edit->text(), QStringLiteral("王五"));
    QCOMPARE(gridColumn(form->WorkerGrid, 1), QStringList{QStringLiteral("张三")});

    // With the team chosen again from the fresh list the worker is stored under it.
    form->DeptName_ComboBox->setCurrentIndex(form->DeptName_ComboBox->findText(QStringLiteral("B组")));
    click(edit ? form->cmdedit : form->cmdadd);
    QCOMPARE(env->boxes.takeTexts(), QStringList());
    QCOMPARE(env->rows(QStringLiteral("SELECT DeptId FROM Worker WHERE WorkerName='王五'")),
             (QList<QVariantList>{{teamB}}));
    QCOMPARE(kinds(), QStringList{edit ? change::kEditWorker : change::kAddWorker});
}

void TestWorker::teamGoneDuringTheSave_data()
{
    QTest::addColumn<bool>("edit");
    QTest::addColumn<QString>("other"); // the other clerk's statement on team A, committed during the save
    QTest::newRow("add, team deleted") << false << "DELETE FROM Dept WHERE id=?";
    QTest::newRow("add, team renamed") << false << "UPDATE Dept SET DeptName='X组' WHERE id=?";
    QTest::newRow("edit, team deleted") << true << "DELETE FROM Dept WHERE id=?";
    QTest::newRow("edit, team renamed") << true << "UPDATE Dept SET DeptName='X组' WHERE id=?";
}

void TestWorker::teamGoneDuringTheSave()
{
    if (!testsupport::onServer())
        QSKIP("a database file has one program at a time");
    QFETCH(bool, edit);
    QFETCH(QString, other);
    env->addWorker(QStringLiteral("张三"), teamB, QStringLiteral("1"));
    open();
    if (edit)
        pick(QStringLiteral("张三"));
    const auto stored = workers();
    enter(QStringLiteral("王五"), QStringLiteral("A组"), QStringLiteral("2"));
    // The other clerk has changed team A but not yet committed; the commit lands while the save
    // runs, after the save has looked for the team.
    testsupport::HeldTransaction otherClerk(env->db());
    otherClerk.exec(other, {teamA});
    otherClerk.commitAfter(400);
    click(edit ? form->cmdedit : form->cmdadd);
    otherClerk.waitForCommit();

    // The save waited for the team's fate, and found the team gone from under its name.
    QCOMPARE(env->boxes.takeTexts(), QStringList{kTeamGone});
    QCOMPARE(workers(), stored);
    QCOMPARE(kinds(), QStringList());
    QCOMPARE(env->rows(QStringLiteral("SELECT count(*) FROM Worker WHERE DeptId NOT IN (SELECT id FROM Dept)")),
             QList<QVariantList>{{0}});
    QCOMPARE(form->WorkerName_Edit->text(), QStringLiteral("王五"));
}

void TestWorker::editMeetsOtherClerk_data()
{
    QTest::addColumn<QString>("other"); // the other clerk's statement on 张三, between the pick and the save
    QTest::addColumn<bool>("refused");
    QTest::newRow("worker changed") << "UPDATE Worker SET MachineId=9 WHERE WorkerName='张三'" << true;
    QTest::newRow("worker deleted") << "DELETE FROM Worker WHERE WorkerName='张三'" << true;
    QTest::newRow("another worker changed") << "UPDATE Worker SET MachineId=9 WHERE WorkerName='李四'" << false;
}

void TestWorker::editMeetsOtherClerk()
{
    if (!testsupport::onServer())
        QSKIP("a database file has one program at a time");
    QFETCH(QString, other);
    QFETCH(bool, refused);
    env->addWorker(QStringLiteral("张三"), teamA, QStringLiteral("1"), QStringLiteral("2004-03-01"));
    env->addWorker(QStringLiteral("李四"), teamA, QStringLiteral("2"), QStringLiteral("2004-03-01"));
    open();
    const auto typeTheEdit = [this] {
        pick(QStringLiteral("张三"));
        enter(QStringLiteral("张三丰"), QStringLiteral("B组"), QStringLiteral("5"), QDate(2006, 7, 8));
    };
    typeTheEdit();
    env->exec(other);
    const auto othersWorkers = workers();
    const QVariantList saved{"张三丰", teamB, 5, "2006-07-08"};
    if (!refused) {
        click(form->cmdedit);
        QCOMPARE(workers().at(0), saved);
        QCOMPARE(kinds(), QStringList{change::kEditWorker});
        return;
    }

    env->boxes.expect(kChangedByOther);
    click(form->cmdedit);
    // Nothing saved, nothing recorded; the typed values stay for another try.
    QCOMPARE(workers(), othersWorkers);
    QCOMPARE(kinds(), QStringList());
    QCOMPARE(form->WorkerName_Edit->text(), QStringLiteral("张三丰"));
    QCOMPARE(form->DeptName_ComboBox->currentText(), QStringLiteral("B组"));
    QCOMPARE(form->Machine_Combobox->currentText(), QStringLiteral("5"));
    QCOMPARE(form->EnterDatePicker->date(), QDate(2006, 7, 8));

    // A fresh pick of the worker as he is now, and the same save goes through.
    if (othersWorkers.size() < 2)
        return; // nothing left to pick
    typeTheEdit();
    click(form->cmdedit);
    QCOMPARE(workers().at(0), saved);
    // The line holds the worker as the other clerk left him.
    const QList<QStringList> lines = env->changeLines();
    QCOMPARE(lines.size(), 1);
    QVERIFY2(lines.at(0).at(3).contains(QStringLiteral("\"MachineId\":\"9\"")), qPrintable(lines.at(0).at(3)));
}

void TestWorker::deleteMeetsOtherClerk_data()
{
    QTest::addColumn<QString>("other");
    QTest::addColumn<QStringList>("boxes");
    QTest::newRow("worker deleted") << "DELETE FROM Worker WHERE WorkerName='张三'"
                                    << QStringList{kAskDelete, kDeletedByOther};
    // A worker changed meanwhile goes all the same: deleting is what the clerk asked for.
    QTest::newRow("worker changed") << "UPDATE Worker SET MachineId=9 WHERE WorkerName='张三'"
                                    << QStringList{kAskDelete};
}

void TestWorker::deleteMeetsOtherClerk()
{
    if (!testsupport::onServer())
        QSKIP("a database file has one program at a time");
    QFETCH(QString, other);
    QFETCH(QStringList, boxes);
    env->addWorker(QStringLiteral("张三"), teamA, QStringLiteral("1"));
    env->addWorker(QStringLiteral("李四"), teamA, QStringLiteral("2"));
    open();
    pick(QStringLiteral("张三"));
    env->exec(other);
    env->boxes.queueAnswer(QMessageBox::Yes);
    click(form->cmddelete);
    // The stop box and no failure box; the other worker stays.
    QCOMPARE(env->boxes.takeTexts(), boxes);
    QCOMPARE(env->rows(QStringLiteral("SELECT WorkerName FROM Worker")), QList<QVariantList>{{"李四"}});
    QCOMPARE(gridColumn(form->WorkerGrid, 1), QStringList{"李四"});
    // Only a delete that deleted the worker is recorded.
    QCOMPARE(kinds(), boxes.size() == 1 ? QStringList{change::kDeleteWorker} : QStringList());
}

void TestWorker::changesAreRecorded()
{
    LoginUser = QStringLiteral("小王");
    env->addWorker(QStringLiteral("张三"), teamA, QStringLiteral("1"));
    open();
    enter(QStringLiteral("O\"Brien 小王"), QStringLiteral("B组"), QStringLiteral("17"), QDate(2004, 2, 29));
    click(form->cmdadd);
    const qlonglong id = env->rows(QStringLiteral("SELECT max(id) FROM Worker")).at(0).at(0).toLongLong();
    pick(QStringLiteral("O\"Brien 小王"));
    enter(QStringLiteral("王五"), QStringLiteral("A组"), QStringLiteral("3"), QDate(2005, 1, 2));
    click(form->cmdedit);
    pick(QStringLiteral("王五"));
    env->boxes.queueAnswer(QMessageBox::Yes);
    click(form->cmddelete);
    QCOMPARE(env->boxes.takeTexts(), QStringList{kAskDelete});

    const QString key = QString::number(id);
    const QString added = QStringLiteral(R"({"id":%1,"WorkerName":"O\"Brien 小王","DeptId":%2,"MachineId":"17",)"
                                         R"("EnterDate":"2004-02-29"})")
                              .arg(id)
                              .arg(teamB);
    const QString edited =
        QStringLiteral(R"({"id":%1,"WorkerName":"王五","DeptId":%2,"MachineId":"3","EnterDate":"2005-01-02"})")
            .arg(id)
            .arg(teamA);
    const QString null = QStringLiteral("NULL");
    const QString user = QStringLiteral("小王");
    const QList<QStringList> expected{
        {change::kAddWorker, "Worker", key, null, added, null, user},
        {change::kEditWorker, "Worker", key, added, edited, null, user},
        {change::kDeleteWorker, "Worker", key, edited, null, null, user},
    };
    const QList<QStringList> lines = env->changeLines();
    QCOMPARE(lines.size(), expected.size());
    for (qsizetype i = 0; i < lines.size(); ++i)
        QCOMPARE(lines.at(i), expected.at(i));
}

void TestWorker::failedRecordUndoesTheChange_data()
{
    QTest::addColumn<QString>("action");
    QTest::newRow("add") << "add";
    QTest::newRow("edit") << "edit";
    QTest::newRow("delete") << "delete";
}

void TestWorker::failedRecordUndoesTheChange()
{
    QFETCH(QString, action);
    env->addWorker(QStringLiteral("张三"), teamA, QStringLiteral("1"));
    const auto stored = workers();
    testsupport::addRefusingTrigger(env->db(), QStringLiteral("BEFORE INSERT ON ChangeLog"));
    open();
    if (action == QLatin1String("add")) {
        enter(QStringLiteral("王五"), QStringLiteral("B组"), QStringLiteral("2"));
        click(form->cmdadd);
    } else if (action == QLatin1String("edit")) {
        pick(QStringLiteral("张三"));
        enter(QStringLiteral("王五"), QStringLiteral("B组"), QStringLiteral("2"));
        click(form->cmdedit);
    } else {
        pick(QStringLiteral("张三"));
        env->boxes.queueAnswer(QMessageBox::Yes);
        click(form->cmddelete);
    }

    // The failure box for the record's line, and the worker as he was.
    const QStringList texts = env->boxes.takeTexts();
    QVERIFY2(!texts.isEmpty() && texts.last().contains(QStringLiteral("Insert Into ChangeLog")),
             qPrintable(texts.join(QLatin1Char('|'))));
    QCOMPARE(workers(), stored);
    QCOMPARE(gridColumn(form->WorkerGrid, 1), QStringList{QStringLiteral("张三")});
}

QTEST_MAIN(TestWorker)
#include "tst_worker.moc"
