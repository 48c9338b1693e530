#include "MasterFixture.h"
#include "data/History.h"
#include "data/LoginIdentity.h"
#include "data/Sql.h"
#include "masterdata/Dept.h"

#include <QAbstractItemModelTester>
#include <QDateTime>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>

using namespace masterfixture;

namespace {
const QString kNameEmpty = QStringLiteral("对不起，班组名称不能为空!");
const QString kNameRepeated = QStringLiteral("对不起，班组名称不能有重复!");
const QString kPickTeam = QStringLiteral("对不起，请选择所要修改的班组名称!");
const QString kAskDelete = QStringLiteral("是否确定要删除此数据?  ");
const QString kChangedByOther = QStringLiteral("该记录已被其他用户修改，请刷新后重试!");
const QString kDeletedByOther = QStringLiteral("该记录已被其他用户删除!");
} // namespace

class TestDept : public QObject {
    Q_OBJECT

private slots:
    void init() { env = std::make_unique<Env>(); }
    void cleanup()
    {
        delete form;
        QCOMPARE(DeptForm, nullptr);
        QCOMPARE(env->boxes.unexpected(), 0);
        QCOMPARE(env->boxes.take().size(), 0);
        env.reset();
        LoginUser.clear();
    }

    void opensWithTeamList();
    void addStoresTeamAsTyped_data();
    void addStoresTeamAsTyped();
    void addRefusals_data();
    void addRefusals();
    void pressPicksTeam_data();
    void pressPicksTeam();
    void pressOnForeignResultChangesNothing();
    void pressOnEmptyListStoresEmptySelection();
    void renameCarriesNameIntoRecords();
    void renameRefusals_data();
    void renameRefusals();
    void renameIsAllOrNothing();
    void deleteRemovesOnlyTheTeam();
    void deleteAfterRenameDeletesNothing();
    void newWindowStartsWithoutSelection();
    void renameMeetsOtherClerk_data();
    void renameMeetsOtherClerk();
    void deleteMeetsOtherClerk_data();
    void deleteMeetsOtherClerk();
    void changesAreRecorded();
    void renameReachesClosedMonths();
    void failedRecordUndoesTheChange_data();
    void failedRecordUndoesTheChange();
    void olderDatabaseGetsTheHistoryTables();

private:
    TDeptForm* open()
    {
        form = new TDeptForm;
        form->show();
        return form;
    }
    void pick(const QString& name)
    {
        const int row = int(gridColumn(form->DeptGrid, 0).indexOf(name));
        QVERIFY2(row >= 0, qPrintable(name));
        pressRow(form->DeptGrid, row);
    }
    QStringList kinds() const
    {
        QStringList names;
        for (const QStringList& line : env->changeLines())
            names << line.at(0);
        return names;
    }
    QStringList teams() const
    {
        QStringList names;
        for (const auto& row : env->rows(QStringLiteral("SELECT DeptName FROM Dept ORDER BY id")))
            names << row.at(0).toString();
        return names;
    }

    std::unique_ptr<Env> env;
    QPointer<TDeptForm> form;
};

void TestDept::opensWithTeamList()
{
    env->addTeam(QStringLiteral("裁剪组"));
    env->addTeam(QStringLiteral("缝纫组"));
    open();
    QAbstractItemModelTester tester(form->DeptGrid->model(), QAbstractItemModelTester::FailureReportingMode::QtTest);

    QCOMPARE(DeptForm, form.data());
    QCOMPARE(form->windowTitle(), QStringLiteral("班组资料"));
    QCOMPARE(form->size(), QSize(482, 229));
    QCOMPARE(form->DeptGrid->size(), QSize(425, 120));
    QCOMPARE(form->DeptGrid->dataSource(), DM->DmSource);
    QCOMPARE(form->DeptGrid->gridColumnCount(), 1);
    QCOMPARE(form->DeptGrid->model()->headerData(0, Qt::Horizontal).toString(), QStringLiteral("班组名称"));
    QCOMPARE(form->DeptGrid->columnWidth(0), 200);
    QCOMPARE(form->DeptGrid->selectionBehavior(), QAbstractItemView::SelectItems);
    QCOMPARE(form->DeptGrid->editTriggers(), QAbstractItemView::NoEditTriggers);
    QCOMPARE(form->findChild<QLabel*>(QStringLiteral("Label1"))->text(), QStringLiteral("班组名称："));
    QCOMPARE(form->findChild<QLineEdit*>(QStringLiteral("DeptName_Edit"))->text(), QString());
    const QStringList buttons{QStringLiteral("cmdadd"), QStringLiteral("cmddelete"), QStringLiteral("cmdedit"),
                              QStringLiteral("cmdexit")};
    const QStringList captions{QStringLiteral("新增"), QStringLiteral("删除"), QStringLiteral("编辑"),
                               QStringLiteral("退出")};
    for (int i = 0; i < buttons.size(); ++i) {
        auto* button = form->findChild<QPushButton*>(buttons.at(i));
        QVERIFY(button);
        QCOMPARE(button->text(), captions.at(i));
        QCOMPARE(button->isEnabled(), buttons.at(i) != QStringLiteral("cmdedit"));
    }
    QCOMPARE(nextTabStop(form->DeptName_Edit), form->cmdadd);
    QCOMPARE(gridRows(form->DeptGrid), (QList<QStringList>{{QStringLiteral("裁剪组")}, {QStringLiteral("缝纫组")}}));
    QVERIFY(form->SelectedDeptName.isEmpty());

    // A team added elsewhere shows after the next reload, which the window runs after its changes.
    form->DeptName_Edit->setText(QStringLiteral("整烫组"));
    click(form->cmdadd);
    QCOMPARE(gridColumn(form->DeptGrid, 0),
             (QStringList{QStringLiteral("裁剪组"), QStringLiteral("缝纫组"), QStringLiteral("整烫组")}));
}

void TestDept::addStoresTeamAsTyped_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("plain") << QStringLiteral("裁剪组");
    QTest::newRow("quotes") << QStringLiteral("O'Neil's \"A\" 组");
    QTest::newRow("blanks kept") << QStringLiteral("  缝纫组 ");
    QTest::newRow("statement text") << QStringLiteral("x'); DELETE FROM Dept; --");
}

void TestDept::addStoresTeamAsTyped()
{
    QFETCH(QString, name);
    env->addTeam(QStringLiteral("整烫组"));
    open();
    form->DeptName_Edit->setText(name);
    click(form->cmdadd);

    QCOMPARE(teams(), (QStringList{QStringLiteral("整烫组"), name}));
    QCOMPARE(gridColumn(form->DeptGrid, 0), (QStringList{QStringLiteral("整烫组"), name}));
    QCOMPARE(form->DeptName_Edit->text(), QString());
    QVERIFY(!form->cmdedit->isEnabled());

    // The stored name is found as typed: adding it again is refused.
    form->DeptName_Edit->setText(name);
    click(form->cmdadd);
    QCOMPARE(env->boxes.takeTexts(), QStringList{kNameRepeated});
    QCOMPARE(teams().size(), 2);
}

void TestDept::addRefusals_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("message");
    QTest::newRow("empty") << QString() << kNameEmpty;
    QTest::newRow("blanks") << QStringLiteral("   ") << kNameEmpty;
    QTest::newRow("taken") << QStringLiteral("缝纫组") << kNameRepeated;
    QTest::newRow("taken, other case") << QStringLiteral("team a") << kNameRepeated;
}

void TestDept::addRefusals()
{
    QFETCH(QString, name);
    QFETCH(QString, message);
    env->addTeam(QStringLiteral("缝纫组"));
    env->addTeam(QStringLiteral("Team A"));
    open();
    form->DeptName_Edit->setText(name);
    click(form->cmdadd);

    const auto boxes = env->boxes.take();
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes.at(0).text, message);
    QCOMPARE(boxes.at(0).caption, QStringLiteral("蓝栎服装计件工资管理系统"));
    QCOMPARE(boxes.at(0).buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QCOMPARE(boxes.at(0).icon, toolkit::MsgIcon::Stop);
    QCOMPARE(teams(), (QStringList{QStringLiteral("缝纫组"), QStringLiteral("Team A")}));
    QCOMPARE(kinds(), QStringList());
    QCOMPARE(form->DeptName_Edit->text(), name);
    QCOMPARE(gridColumn(form->DeptGrid, 0), (QStringList{QStringLiteral("缝纫组"), QStringLiteral("Team A")}));
}

void TestDept::pressPicksTeam_data()
{
    QTest::addColumn<int>("button");
    QTest::newRow("left") << int(Qt::LeftButton);
    QTest::newRow("right") << int(Qt::RightButton);
}

void TestDept::pressPicksTeam()
{
    QFETCH(int, button);
    env->addTeam(QStringLiteral("裁剪组"));
    env->addTeam(QStringLiteral("缝纫组"));
    open();
    pressRow(form->DeptGrid, 1, Qt::MouseButton(button));

    QCOMPARE(form->SelectedDeptName, QStringLiteral("缝纫组"));
    QCOMPARE(form->DeptName_Edit->text(), QStringLiteral("缝纫组"));
    QVERIFY(form->cmdedit->isEnabled());

    // A click on the title row runs the handler on the current record, then sorts; a press then
    // picks the row it hits in the new order.
    form->DeptName_Edit->setText(QStringLiteral("typed"));
    form->SelectedDeptName.clear();
    QHeaderView* header = form->DeptGrid->horizontalHeader();
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(header->sectionViewportPosition(0) + 20, 5));
    QCOMPARE(form->DeptName_Edit->text(), QStringLiteral("缝纫组"));
    QCOMPARE(form->SelectedDeptName, QStringLiteral("缝纫组"));
    QCOMPARE(form->DeptGrid->sortMark(0), toolkit::SortMark::Down);
    QCOMPARE(gridColumn(form->DeptGrid, 0), (QStringList{QStringLiteral("缝纫组"), QStringLiteral("裁剪组")}));
    pressRow(form->DeptGrid, 1, Qt::MouseButton(button));
    QCOMPARE(form->SelectedDeptName, QStringLiteral("裁剪组"));
}

void TestDept::pressOnForeignResultChangesNothing()
{
    env->addTeam(QStringLiteral("裁剪组"));
    env->addUser(QStringLiteral("张三"), QStringLiteral("1"), QStringLiteral("系统管理员"));
    open();
    pick(QStringLiteral("裁剪组"));
    form->DeptName_Edit->setText(QStringLiteral("typed"));
    form->cmdedit->setEnabled(false);

    // Another window's look-up on the shared dataset, without a DeptName column.
    QVERIFY(OpenQuery(DM->DmQuery, QStringLiteral("Select Id, \"User\" From UserData")));
    QCOMPARE(form->DeptGrid->model()->rowCount(), 1);
    pressRow(form->DeptGrid, 0);
    pressRow(form->DeptGrid, 0, Qt::RightButton);

    QCOMPARE(form->SelectedDeptName, QStringLiteral("裁剪组"));
    QCOMPARE(form->DeptName_Edit->text(), QStringLiteral("typed"));
    QVERIFY(!form->cmdedit->isEnabled());
}

void TestDept::pressOnEmptyListStoresEmptySelection()
{
    open();
    QCOMPARE(form->DeptGrid->model()->rowCount(), 0);
    pressEmptyArea(form->DeptGrid);
    QVERIFY(form->SelectedDeptName.isEmpty());
    QVERIFY(form->cmdedit->isEnabled());

    form->DeptName_Edit->setText(QStringLiteral("新组"));
    click(form->cmdedit);
    QCOMPARE(env->boxes.takeTexts(), QStringList{kPickTeam});
    QVERIFY(teams().isEmpty());
}

void TestDept::renameCarriesNameIntoRecords()
{
    const qlonglong a = env->addTeam(QStringLiteral("A'组"));
    env->addTeam(QStringLiteral("B组"));
    const qlonglong worker = env->addWorker(QStringLiteral("王五"), a, QStringLiteral("5"));
    const QString salarySql = QStringLiteral("INSERT INTO Salary (DeptName, WorkerName, ProductCount) VALUES (?,?,?)");
    env->exec(salarySql, {QStringLiteral("A'组"), QStringLiteral("王五"), 10});
    env->exec(salarySql, {QStringLiteral("a'组"), QStringLiteral("王五"), 20});
    env->exec(salarySql, {QStringLiteral("B组"), QStringLiteral("李四"), 30});
    open();
    pick(QStringLiteral("A'组"));
    form->DeptName_Edit->setText(QStringLiteral("C'组"));
    click(form->cmdedit);

    QCOMPARE(teams(), (QStringList{QStringLiteral("C'组"), QStringLiteral("B组")}));
    const auto records = env->rows(QStringLiteral("SELECT DeptName, ProductCount FROM Salary ORDER BY id"));
    QCOMPARE(records, (QList<QVariantList>{
                          {QStringLiteral("C'组"), 10}, {QStringLiteral("C'组"), 20}, {QStringLiteral("B组"), 30}}));
    QCOMPARE(env->rows(QStringLiteral("SELECT DeptId FROM Worker WHERE id=?"), {worker}).at(0).at(0).toLongLong(), a);
    QCOMPARE(gridColumn(form->DeptGrid, 0), (QStringList{QStringLiteral("C'组"), QStringLiteral("B组")}));
    QCOMPARE(form->DeptName_Edit->text(), QString());
    QVERIFY(!form->cmdedit->isEnabled());
    QCOMPARE(form->SelectedDeptName, QStringLiteral("A'组"));
}

void TestDept::renameRefusals_data()
{
    QTest::addColumn<bool>("picked");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("message");
    QTest::newRow("nothing picked") << false << QStringLiteral("新组") << kPickTeam;
    QTest::newRow("empty") << true << QString() << kNameEmpty;
    QTest::newRow("blanks") << true << QStringLiteral("  ") << kNameEmpty;
    QTest::newRow("own name") << true << QStringLiteral("A组") << kNameRepeated;
    QTest::newRow("other team's name") << true << QStringLiteral("B组") << kNameRepeated;
}

void TestDept::renameRefusals()
{
    QFETCH(bool, picked);
    QFETCH(QString, name);
    QFETCH(QString, message);
    env->addTeam(QStringLiteral("A组"));
    env->addTeam(QStringLiteral("B组"));
    env->exec(QStringLiteral("INSERT INTO Salary (DeptName) VALUES ('A组')"));
    open();
    if (picked)
        pick(QStringLiteral("A组"));
    else
        form->cmdedit->setEnabled(true); // "编辑" checks the selection itself
    form->DeptName_Edit->setText(name);
    click(form->cmdedit);

    QCOMPARE(env->boxes.takeTexts(), QStringList{message});
    QCOMPARE(teams(), (QStringList{QStringLiteral("A组"), QStringLiteral("B组")}));
    QCOMPARE(env->rows(QStringLiteral("SELECT DeptName FROM Salary")).at(0).at(0).toString(), QStringLiteral("A组"));
    QCOMPARE(kinds(), QStringList());
    QCOMPARE(form->DeptName_Edit->text(), name);
    QVERIFY(form->cmdedit->isEnabled());
    QCOMPARE(gridColumn(form->DeptGrid, 0), (QStringList{QStringLiteral("A组"), QStringLiteral("B组")}));
}

void TestDept::renameIsAllOrNothing()
{
    env->addTeam(QStringLiteral("A组"));
    env->exec(QStringLiteral("INSERT INTO Salary (DeptName) VALUES ('A组')"));
    // The second statement of the rename fails.
    testsupport::addRefusingTrigger(env->db(), QStringLiteral("BEFORE UPDATE ON Salary"));
    open();
    pick(QStringLiteral("A组"));
    form->DeptName_Edit->setText(QStringLiteral("C组"));
    click(form->cmdedit);

    const QStringList texts = env->boxes.takeTexts();
    QCOMPARE(texts.size(), 1);
    QVERIFY2(
        texts.at(0).startsWith(QStringLiteral("操作数据表时出错, 执行语句为:\n\nUpdate Salary Set DeptName='C组'")),
        qPrintable(texts.at(0)));
    QCOMPARE(teams(), QStringList{QStringLiteral("A组")});
    QCOMPARE(env->rows(QStringLiteral("SELECT DeptName FROM Salary")).at(0).at(0).toString(), QStringLiteral("A组"));
    // The team's line, written before the records failed, went with the rest.
    QCOMPARE(kinds(), QStringList());
    // Nothing changed, so the user can try again: the list is back, the entry stays.
    QCOMPARE(gridColumn(form->DeptGrid, 0), QStringList{QStringLiteral("A组")});
    QCOMPARE(form->DeptName_Edit->text(), QStringLiteral("C组"));
    QVERIFY(form->cmdedit->isEnabled());

    testsupport::dropRefusingTrigger(env->db(), QStringLiteral("BEFORE UPDATE ON Salary"));
    click(form->cmdedit);
    QCOMPARE(teams(), QStringList{QStringLiteral("C组")});
    QCOMPARE(env->rows(QStringLiteral("SELECT DeptName FROM Salary")).at(0).at(0).toString(), QStringLiteral("C组"));
    QCOMPARE(kinds(), (QStringList{change::kEditTeam, change::kCarryIntoRecords}));
}

void TestDept::deleteRemovesOnlyTheTeam()
{
    const qlonglong a = env->addTeam(QStringLiteral("A组"));
    env->addTeam(QStringLiteral("B组"));
    env->addWorker(QStringLiteral("王五"), a, QStringLiteral("1"));
    env->exec(QStringLiteral("INSERT INTO Salary (DeptName) VALUES ('A组')"));
    open();

    click(form->cmddelete);
    QCOMPARE(env->boxes.takeTexts(), QStringList{kPickTeam});

    pick(QStringLiteral("A组"));
    env->boxes.queueAnswer(QMessageBox::No);
    click(form->cmddelete);
    const auto question = env->boxes.take();
    QCOMPARE(question.size(), 1);
    QCOMPARE(question.at(0).text, kAskDelete);
    QCOMPARE(question.at(0).caption, QStringLiteral("提示"));
    QCOMPARE(question.at(0).buttons, QMessageBox::Yes | QMessageBox::No);
    QCOMPARE(question.at(0).icon, toolkit::MsgIcon::Question);
    QCOMPARE(teams().size(), 2);
    QVERIFY(form->cmdedit->isEnabled());

    env->boxes.queueAnswer(QMessageBox::Yes);
    click(form->cmddelete);
    QCOMPARE(env->boxes.takeTexts(), QStringList{kAskDelete});
    QCOMPARE(teams(), QStringList{QStringLiteral("B组")});
    QCOMPARE(env->rows(QStringLiteral("SELECT count(*) FROM Worker")).at(0).at(0).toInt(), 1);
    QCOMPARE(env->rows(QStringLiteral("SELECT count(*) FROM Salary")).at(0).at(0).toInt(), 1);
    QCOMPARE(gridColumn(form->DeptGrid, 0), QStringList{QStringLiteral("B组")});
    QCOMPARE(form->DeptName_Edit->text(), QString());
    QVERIFY(!form->cmdedit->isEnabled());
    QCOMPARE(form->SelectedDeptName, QStringLiteral("A组"));
}

void TestDept::deleteAfterRenameDeletesNothing()
{
    env->addTeam(QStringLiteral("A组"));
    open();
    pick(QStringLiteral("A组"));
    form->DeptName_Edit->setText(QStringLiteral("B组"));
    click(form->cmdedit);
    QCOMPARE(teams(), QStringList{QStringLiteral("B组")});

    env->boxes.queueAnswer(QMessageBox::Yes);
    click(form->cmddelete);
    QCOMPARE(env->boxes.takeTexts(), QStringList{kAskDelete});
    QCOMPARE(teams(), QStringList{QStringLiteral("B组")});
    QCOMPARE(gridColumn(form->DeptGrid, 0), QStringList{QStringLiteral("B组")});
    // A delete that found nothing to delete is no change.
    QCOMPARE(kinds(), QStringList{change::kEditTeam});
}

void TestDept::newWindowStartsWithoutSelection()
{
    env->addTeam(QStringLiteral("A组"));
    open();
    pick(QStringLiteral("A组"));
    QVERIFY(!form->SelectedDeptName.isEmpty());
    click(form->cmdexit);
    QTRY_VERIFY(form.isNull());
    QCOMPARE(DeptForm, nullptr);

    open();
    QVERIFY(form->SelectedDeptName.isEmpty());
    click(form->cmddelete);
    QCOMPARE(env->boxes.takeTexts(), QStringList{kPickTeam});
    QCOMPARE(teams(), QStringList{QStringLiteral("A组")});
}

void TestDept::renameMeetsOtherClerk_data()
{
    QTest::addColumn<QStringList>("other"); // the other clerk's statements, after the pick
    QTest::addColumn<QStringList>("teams"); // what the database then holds
    QTest::addColumn<QString>("pickAgain"); // the team to pick afresh, or none
    QTest::newRow("renamed") << QStringList{"UPDATE Dept SET DeptName='X组' WHERE DeptName='A组'"}
                             << QStringList{"X组", "B组"} << "X组";
    QTest::newRow("deleted") << QStringList{"DELETE FROM Dept WHERE DeptName='A组'"} << QStringList{"B组"} << "";
    QTest::newRow("renamed and back") << QStringList{"UPDATE Dept SET DeptName='X组' WHERE DeptName='A组'",
                                                     "UPDATE Dept SET DeptName='A组' WHERE DeptName='X组'"}
                                      << QStringList{"A组", "B组"} << "A组";
}

void TestDept::renameMeetsOtherClerk()
{
    if (!testsupport::onServer())
        QSKIP("a database file has one program at a time");
    QFETCH(QStringList, other);
    QFETCH(QStringList, teams);
    QFETCH(QString, pickAgain);
    env->addTeam(QStringLiteral("A组"));
    env->addTeam(QStringLiteral("B组"));
    env->exec(QStringLiteral("INSERT INTO Salary (DeptName) VALUES ('A组')"));
    open();
    pick(QStringLiteral("A组"));
    form->DeptName_Edit->setText(QStringLiteral("C组"));
    for (const QString& sql : other)
        env->exec(sql);
    env->boxes.expect(kChangedByOther);
    click(form->cmdedit);

    // Nothing saved, the team's records and the change record included; the typed name stays; the
    // list shows the teams now.
    QCOMPARE(this->teams(), teams);
    QCOMPARE(kinds(), QStringList());
    QCOMPARE(env->rows(QStringLiteral("SELECT DeptName FROM Salary")).at(0).at(0).toString(), QStringLiteral("A组"));
    QCOMPARE(form->DeptName_Edit->text(), QStringLiteral("C组"));
    QCOMPARE(gridColumn(form->DeptGrid, 0), teams);

    if (pickAgain.isEmpty())
        return;
    pick(pickAgain);
    form->DeptName_Edit->setText(QStringLiteral("C组"));
    click(form->cmdedit);
    teams.replace(0, QStringLiteral("C组"));
    QCOMPARE(this->teams(), teams);
}

void TestDept::deleteMeetsOtherClerk_data()
{
    QTest::addColumn<QStringList>("other");
    QTest::addColumn<QStringList>("boxes");
    QTest::addColumn<QStringList>("teams");
    // A team changed meanwhile goes all the same: deleting is what the clerk asked for.
    QTest::newRow("renamed") << QStringList{"UPDATE Dept SET DeptName='X组' WHERE DeptName='A组'"}
                             << QStringList{kAskDelete} << QStringList{"B组"};
    QTest::newRow("deleted") << QStringList{"DELETE FROM Dept WHERE DeptName='A组'"}
                             << QStringList{kAskDelete, kDeletedByOther} << QStringList{"B组"};
    // A new team under the deleted one's name is another team.
    QTest::newRow("deleted, name taken again")
        << QStringList{"DELETE FROM Dept WHERE DeptName='A组'", "INSERT INTO Dept (DeptName) VALUES ('A组')"}
        << QStringList{kAskDelete, kDeletedByOther} << QStringList{"B组", "A组"};
}

void TestDept::deleteMeetsOtherClerk()
{
    if (!testsupport::onServer())
        QSKIP("a database file has one program at a time");
    QFETCH(QStringList, other);
    QFETCH(QStringList, boxes);
    QFETCH(QStringList, teams);
    env->addTeam(QStringLiteral("A组"));
    env->addTeam(QStringLiteral("B组"));
    open();
    pick(QStringLiteral("A组"));
    for (const QString& sql : other)
        env->exec(sql);
    env->boxes.queueAnswer(QMessageBox::Yes);
    click(form->cmddelete);
    // The stop box and no failure box.
    QCOMPARE(env->boxes.takeTexts(), boxes);
    QCOMPARE(this->teams(), teams);
    QCOMPARE(gridColumn(form->DeptGrid, 0), teams);
}

void TestDept::changesAreRecorded()
{
    LoginUser = QStringLiteral("小王");
    const qlonglong b = env->addTeam(QStringLiteral("B组"));
    open();
    form->DeptName_Edit->setText(QStringLiteral("A\"组"));
    click(form->cmdadd);
    const QString a = QString::number(b + 1);
    const QString salarySql = QStringLiteral("INSERT INTO Salary (DeptName, WorkerName) VALUES (?,?)");
    env->exec(salarySql, {QStringLiteral("A\"组"), QStringLiteral("王五")});
    env->exec(salarySql, {QStringLiteral("a\"组"), QStringLiteral("王五")});
    pick(QStringLiteral("A\"组"));
    form->DeptName_Edit->setText(QStringLiteral("C组"));
    click(form->cmdedit);
    // A team without records: no line for them.
    pick(QStringLiteral("B组"));
    form->DeptName_Edit->setText(QStringLiteral("D组"));
    click(form->cmdedit);
    pick(QStringLiteral("C组"));
    env->boxes.queueAnswer(QMessageBox::Yes);
    click(form->cmddelete);
    QCOMPARE(env->boxes.takeTexts(), QStringList{kAskDelete});

    const QString user = QStringLiteral("小王");
    const QString null = QStringLiteral("NULL");
    const QString teamA = QStringLiteral(R"({"id":%1,"DeptName":"A\"组"})").arg(a);
    const QString teamC = QStringLiteral(R"({"id":%1,"DeptName":"C组"})").arg(a);
    const QList<QStringList> expected{
        {change::kAddTeam, "Dept", a, null, teamA, null, user},
        {change::kEditTeam, "Dept", a, teamA, teamC, null, user},
        {change::kCarryIntoRecords, "Salary", a, R"({"DeptName":"A\"组"})", R"({"DeptName":"C组"})",
         QStringLiteral("带入2条计件记录"), user},
        {change::kEditTeam, "Dept", QString::number(b), QStringLiteral(R"({"id":%1,"DeptName":"B组"})").arg(b),
         QStringLiteral(R"({"id":%1,"DeptName":"D组"})").arg(b), null, user},
        {change::kDeleteTeam, "Dept", a, teamC, null, null, user},
    };
    const QList<QStringList> lines = env->changeLines();
    QCOMPARE(lines.size(), expected.size());
    for (qsizetype i = 0; i < lines.size(); ++i)
        QCOMPARE(lines.at(i), expected.at(i));
    // Every line names this PC and a time of the form the record keeps.
    for (const QVariantList& row : env->rows(QStringLiteral("SELECT Host, ChangedAt FROM ChangeLog"))) {
        QVERIFY(!row.at(0).toString().isEmpty());
        QVERIFY2(QDateTime::fromString(row.at(1).toString(), QStringLiteral("yyyy-MM-dd HH:mm:ss")).isValid(),
                 qPrintable(row.at(1).toString()));
    }
}

void TestDept::renameReachesClosedMonths()
{
    env->addTeam(QStringLiteral("A组"));
    env->exec(QStringLiteral("INSERT INTO Salary (DeptName, WorkerName, ProductCount, ProcessPrice, ProcessDate) "
                             "VALUES ('A组', '王五', 10, 1.5, '2024-01-15'), ('A组', '王五', 4, 0.25, '2024-01-31'), "
                             "('A组', '李四', 3, 2, '2024-02-01')"));
    env->exec(QStringLiteral("INSERT INTO MonthClose (Month, ClosedBy, ClosedAt) "
                             "VALUES ('2024-01', '张三', '2024-02-03 09:00:00')"));
    const QString wagesSql =
        QStringLiteral("SELECT DeptName, sum(ProductCount*ProcessPrice) FROM Salary "
                       "WHERE ProcessDate >= '2024-01-01' AND ProcessDate < '2024-02-01' GROUP BY DeptName");
    open();
    pick(QStringLiteral("A组"));
    form->DeptName_Edit->setText(QStringLiteral("新A组"));
    click(form->cmdedit);

    // No refusal: the closed month's records carry the new name and the same money.
    QCOMPARE(teams(), QStringList{QStringLiteral("新A组")});
    const auto wages = env->rows(wagesSql);
    QCOMPARE(wages.size(), 1);
    QCOMPARE(wages.at(0).at(0).toString(), QStringLiteral("新A组"));
    QCOMPARE(wages.at(0).at(1).toDouble(), 16.0);
    QCOMPARE(env->rows(QStringLiteral("SELECT count(*) FROM Salary WHERE DeptName = '新A组'")).at(0).at(0).toInt(), 3);
    QCOMPARE(kinds(), (QStringList{change::kEditTeam, change::kCarryIntoRecords}));
    QCOMPARE(env->changeLines().at(1).at(5), QStringLiteral("带入3条计件记录"));
}

void TestDept::failedRecordUndoesTheChange_data()
{
    QTest::addColumn<QString>("action");
    QTest::newRow("add") << "add";
    QTest::newRow("rename") << "rename";
    QTest::newRow("delete") << "delete";
}

void TestDept::failedRecordUndoesTheChange()
{
    QFETCH(QString, action);
    env->addTeam(QStringLiteral("A组"));
    env->exec(QStringLiteral("INSERT INTO Salary (DeptName) VALUES ('A组')"));
    testsupport::addRefusingTrigger(env->db(), QStringLiteral("BEFORE INSERT ON ChangeLog"));
    open();
    if (action == QLatin1String("add")) {
        form->DeptName_Edit->setText(QStringLiteral("B组"));
        click(form->cmdadd);
    } else if (action == QLatin1String("rename")) {
        pick(QStringLiteral("A组"));
        form->DeptName_Edit->setText(QStringLiteral("B组"));
        click(form->cmdedit);
    } else {
        pick(QStringLiteral("A组"));
        env->boxes.queueAnswer(QMessageBox::Yes);
        click(form->cmddelete);
    }

    const QStringList texts = env->boxes.takeTexts();
    QVERIFY2(!texts.isEmpty() && texts.last().contains(QStringLiteral("Insert Into ChangeLog")),
             qPrintable(texts.join(QLatin1Char('|'))));
    QCOMPARE(teams(), QStringList{QStringLiteral("A组")});
    QCOMPARE(env->rows(QStringLiteral("SELECT DeptName FROM Salary")).at(0).at(0).toString(), QStringLiteral("A组"));
    QCOMPARE(gridColumn(form->DeptGrid, 0), QStringList{QStringLiteral("A组")});
}

void TestDept::olderDatabaseGetsTheHistoryTables()
{
    env->dropHistoryTables();
    open();
    form->DeptName_Edit->setText(QStringLiteral("A组"));
    click(form->cmdadd);
    QCOMPARE(teams(), QStringList{QStringLiteral("A组")});
    QCOMPARE(kinds(), QStringList{change::kAddTeam});
}

QTEST_MAIN(TestDept)
#include "tst_dept.moc"
