#include "MasterFixture.h"
#include "data/LoginIdentity.h"
#include "data/Sql.h"
#include "masterdata/Password.h"
#include "masterdata/Useradd.h"

#include <QAbstractItemModelTester>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>

using namespace masterfixture;

namespace {
const QString kOperator = QStringLiteral("普通操作员");
const QString kAdministrator = QStringLiteral("系统管理员");
const QString kPickToDelete = QStringLiteral("对不起，请选择所要删除的用户!");
const QString kPickToChange = QStringLiteral("对不起，请选择所要修改的用户!");
const QString kInputMissing = QStringLiteral("对不起，请输入用户名、密码、操作权限!");
const QString kNameTaken = QStringLiteral("用户名有重复，请另选其他名字.....");
const QString kChanged = QStringLiteral("用户信息资料已被修改成功......");
const QString kAskDelete = QStringLiteral("是否确定要删除此数据?  ");
} // namespace

class TestUsers : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        env = std::make_unique<Env>();
        UserFormMode = UserMode::Add;
        LoginUser = QStringLiteral("admin");
        LoginRole = kAdministrator;
        admin = env->addUser(QStringLiteral("admin"), QStringLiteral("a1"), kAdministrator);
        clerk = env->addUser(QStringLiteral("小李"), QStringLiteral("l1"), kOperator);
        other = env->addUser(QStringLiteral("小王"), QStringLiteral("w1"), kOperator);
    }
    void cleanup()
    {
        delete list;
        QCOMPARE(PasswordForm, nullptr);
        QCOMPARE(UserForm, nullptr);
        QCOMPARE(env->boxes.unexpected(), 0);
        QCOMPARE(env->boxes.take().size(), 0);
        env.reset();
    }

    void listFollowsRole_data();
    void listFollowsRole();
    void listWindowControls();
    void operatorChangesOwnRole();
    void addStoresAccountAsTyped_data();
    void addStoresAccountAsTyped();
    void addRefusals_data();
    void addRefusals();
    void takenNameLeavesCheckResultInList();
    void editLoadsPickedAccount();
    void editRequiresNewPassword();
    void editOfUnknownRoleWritesEmptyRole();
    void editWritesNewlyPickedAccount();
    void newInListTurnsEditIntoAdd();
    void closingAnyEditWindowResetsMode();
    void successOnlyWhenUpdateSucceeded();
    void editRefusedWithoutSelection();
    void deleteAccount();
    void userFormsGoWithTheList();

private:
    TPasswordForm* openList()
    {
        list = new TPasswordForm;
        list->show();
        return list;
    }
    void pick(const QString& user)
    {
        const int row = int(gridColumn(list->UserGrid, 1).indexOf(user));
        QVERIFY2(row >= 0, qPrintable(user));
        pressRow(list->UserGrid, row);
    }
    TUserForm* openEdit(const QString& user)
    {
        pick(user);
        click(list->cmdedit);
        return UserForm;
    }
    QList<QVariantList> accounts() const
    {
        return env->rows(QStringLiteral("SELECT \"User\", Password, Role FROM UserData ORDER BY Id"));
    }
    QVariantList account(qlonglong id) const
    {
        const auto rows = env->rows(QStringLiteral("SELECT \"User\", Password, Role FROM UserData WHERE Id=?"), {id});
        return rows.isEmpty() ? QVariantList() : rows.at(0);
    }

    std::unique_ptr<Env> env;
    QPointer<TPasswordForm> list;
    qlonglong admin = 0, clerk = 0, other = 0;
};

void TestUsers::listFollowsRole_data()
{
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("role");
    QTest::addColumn<QStringList>("listed");
    QTest::addColumn<bool>("mayAddDelete");
    const QStringList all{QStringLiteral("admin"), QStringLiteral("小李"), QStringLiteral("小王")};
    QTest::newRow("administrator") << QStringLiteral("admin") << kAdministrator << all << true;
    QTest::newRow("operator") << QStringLiteral("小李") << kOperator << QStringList{QStringLiteral("小李")} << false;
    QTest::newRow("operator, other case")
        << QStringLiteral("ADMIN") << kOperator << QStringList{QStringLiteral("admin")} << false;
    QTest::newRow("operator with a quote")
        << QStringLiteral("o'neil") << kOperator << QStringList{QStringLiteral("o'neil")} << false;
    QTest::newRow("role with a blank") << QStringLiteral("小李") << kOperator + QLatin1Char(' ')
                                       << all + QStringList{QStringLiteral("o'neil")} << true;
    QTest::newRow("no role") << QStringLiteral("小李") << QString() << all + QStringList{QStringLiteral("o'neil")}
                             << true;
}

void TestUsers::listFollowsRole()
{
    QFETCH(QString, user);
    QFETCH(QString, role);
    QFETCH(QStringList, listed);
    QFETCH(bool, mayAddDelete);
    if (!QString(QTest::currentDataTag()).startsWith(QStringLiteral("administrator")))
        env->addUser(QStringLiteral("o'neil"), QStringLiteral("q"), kOperator);
    LoginUser = user;
    LoginRole = role;
    openList();
    QCOMPARE(gridColumn(list->UserGrid, 1), listed);
    QCOMPARE(list->cmdadd->isEnabled(), mayAddDelete);
    QCOMPARE(list->cmddelete->isEnabled(), mayAddDelete);
    QVERIFY(list->cmdedit->isEnabled());
    QVERIFY(list->cmdexit->isEnabled());

    // Reloads keep to the same rule.
    list->DataRefresh();
    QCOMPARE(gridColumn(list->UserGrid, 1), listed);
}

void TestUsers::listWindowControls()
{
    openList();
    QAbstractItemModelTester tester(list->UserGrid->model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
    QCOMPARE(PasswordForm, list.data());
    QCOMPARE(list->windowTitle(), QStringLiteral("用户权限管理"));
    QCOMPARE(list->size(), QSize(622, 383));
    QCOMPARE(list->UserGrid->geometry(), QRect(0, 0, 433, 383));
    QCOMPARE(list->UserGrid->dataSource(), DM->UserSource);
    QCOMPARE(list->UserGrid->selectionBehavior(), QAbstractItemView::SelectRows);
    QCOMPARE(list->UserGrid->editTriggers(), QAbstractItemView::NoEditTriggers);
    const QStringList titles{QStringLiteral("用户编号"), QStringLiteral("用户名"), QStringLiteral("密码"),
                             QStringLiteral("用户权限")};
    for (int c = 0; c < 4; ++c)
        QCOMPARE(list->UserGrid->model()->headerData(c, Qt::Horizontal).toString(), titles.at(c));
    QCOMPARE(list->UserGrid->columnWidth(1), 124);
    QCOMPARE(list->UserGrid->columnWidth(2), 87);
    QCOMPARE(list->UserGrid->columnWidth(3), 122);
    QCOMPARE(list->UserGrid->model()->index(0, 3).data(Qt::TextAlignmentRole).toInt(), int(Qt::AlignCenter));
    QCOMPARE(gridRows(list->UserGrid).at(1),
             (QStringList{QString::number(clerk), QStringLiteral("小李"), QStringLiteral("l1"), kOperator}));
    // Buttons one below another: 新增, 删除, 编辑, 退出.
    const QList<QPushButton*> buttons{list->cmdadd, list->cmddelete, list->cmdedit, list->cmdexit};
    const QStringList captions{QStringLiteral("新增"), QStringLiteral("删除"), QStringLiteral("编辑"),
                               QStringLiteral("退出")};
    for (int i = 0; i < buttons.size(); ++i) {
        QCOMPARE(buttons.at(i)->text(), captions.at(i));
        QVERIFY(buttons.at(i)->x() >= 433);
        if (i > 0)
            QVERIFY(buttons.at(i)->y() > buttons.at(i - 1)->y());
    }
    QVERIFY(list->SelectedUserId.isNull());
    list->UserGrid->titleClick(0);
    QCOMPARE(gridColumn(list->UserGrid, 1),
             (QStringList{QStringLiteral("小王"), QStringLiteral("小李"), QStringLiteral("admin")}));

    // The add window: a separate window on top of the others that does not block.
    click(list->cmdadd);
    TUserForm* form = UserForm;
    QVERIFY(form && form->isVisible());
    QVERIFY(form->isWindow());
    QVERIFY(!form->isModal());
    QVERIFY(form->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    QCOMPARE(form->parent(), list.data());
    QCOMPARE(form->windowTitle(), QStringLiteral("用户管理"));
    QCOMPARE(form->size(), QSize(355, 248));
    const QList<std::pair<QString, QString>> labels{
        {QStringLiteral("User_Label"), QStringLiteral("用 户 名：")},
        {QStringLiteral("PasswordLabel"), QStringLiteral("密    码：")},
        {QStringLiteral("Role_Label"), QStringLiteral("操作权限：")},
        {QStringLiteral("NewPassword_Label"), QStringLiteral("新 密 码：")}};
    for (const auto& [name, text] : labels)
        QCOMPARE(form->findChild<QLabel*>(name)->text(), text);
    QCOMPARE(form->Role_ComboBox->count(), 2);
    QCOMPARE(form->Role_ComboBox->itemText(0), kOperator);
    QCOMPARE(form->Role_ComboBox->itemText(1), kAdministrator);
    QCOMPARE(form->Role_ComboBox->currentIndex(), -1);
    QVERIFY(form->NewPassword_Label->isHidden());
    QVERIFY(form->NewPassword_Edit->isHidden());
    QCOMPARE(form->Password_Edit->echoMode(), QLineEdit::Normal);
    QCOMPARE(form->cmdok->text(), QStringLiteral("保存"));
    QCOMPARE(form->cmdexit->text(), QStringLiteral("退出"));
    QWidget* stop = form->UserName_Edit;
    for (QWidget* next : QList<QWidget*>{form->Password_Edit, form->Role_ComboBox, form->cmdok, form->cmdexit})
        QCOMPARE(stop = nextTabStop(stop), next);
}

void TestUsers::operatorChangesOwnRole()
{
    LoginUser = QStringLiteral("小李");
    LoginRole = kOperator;
    openList();
    TUserForm* form = openEdit(QStringLiteral("小李"));
    QVERIFY(form);
    form->Role_ComboBox->setCurrentIndex(1);
    form->NewPassword_Edit->setText(QStringLiteral("l2"));
    click(form->cmdok);
    QCOMPARE(env->boxes.takeTexts(), QStringList{kChanged});
    QCOMPARE(account(clerk), (QVariantList{QStringLiteral("小李"), QStringLiteral("l2"), kAdministrator}));
    // The list keeps to the role of the login.
    QCOMPARE(gridRows(list->UserGrid), (QList<QStringList>{{QString::number(clerk), QStringLiteral("小李"),
                                                            QStringLiteral("l2"), kAdministrator}}));
    QVERIFY(!list->cmdadd->isEnabled());
}

void TestUsers::addStoresAccountAsTyped_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("password");
    QTest::newRow("plain") << QStringLiteral("小张") << QStringLiteral("z1");
    QTest::newRow("quotes") << QStringLiteral("O'Hara") << QStringLiteral("p'w\"");
    QTest::newRow("blanks kept") << QStringLiteral(" 小张 ") << QStringLiteral(" z ");
}

void TestUsers::addStoresAccountAsTyped()
{
    QFETCH(QString, name);
    QFETCH(QString, password);
    openList();
    click(list->cmdadd);
    QCOMPARE(UserFormMode, UserMode::Add);
    TUserForm* form = UserForm;
    form->UserName_Edit->setText(name);
    form->Password_Edit->setText(password);
    form->Role_ComboBox->setCurrentIndex(0);
    click(form->cmdok);

    QCOMPARE(accounts().size(), 4);
    QCOMPARE(accounts().at(3), (QVariantList{name, password, kOperator}));
    QCOMPARE(gridColumn(list->UserGrid, 1).last(), name);
    QVERIFY(form->isVisible());
    QVERIFY(form->UserName_Edit->text().isEmpty());
    QVERIFY(form->Password_Edit->text().isEmpty());
    QCOMPARE(form->Role_ComboBox->currentIndex(), -1);

    // The same name again is found as typed and refused.
    form->UserName_Edit->setText(name);
    form->Password_Edit->setText(QStringLiteral("x"));
    form->Role_ComboBox->setCurrentIndex(1);
    click(form->cmdok);
    QCOMPARE(env->boxes.takeTexts(), QStringList{kNameTaken});
    QCOMPARE(accounts().size(), 4);
}

void TestUsers::addRefusals_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("password");
    QTest::addColumn<int>("role");
    QTest::addColumn<QString>("message");
    QTest::newRow("no name") << QString() << QStringLiteral("p") << 0 << kInputMissing;
    QTest::newRow("blank name") << QStringLiteral("  ") << QStringLiteral("p") << 0 << kInputMissing;
    QTest::newRow("blank password") << QStringLiteral("小张") << QStringLiteral(" ") << 0 << kInputMissing;
    QTest::newRow("no role") << QStringLiteral("小张") << QStringLiteral("p") << -1 << kInputMissing;
    QTest::newRow("taken") << QStringLiteral("小王") << QStringLiteral("p") << 1 << kNameTaken;
    QTest::newRow("taken, other case") << QStringLiteral("Admin") << QStringLiteral("p") << 1 << kNameTaken;
}

void TestUsers::addRefusals()
{
    QFETCH(QString, name);
    QFETCH(QString, password);
    QFETCH(int, role);
    QFETCH(QString, message);
    openList();
    click(list->cmdadd);
    TUserForm* form = UserForm;
    form->UserName_Edit->setText(name);
    form->Password_Edit->setText(password);
    form->Role_ComboBox->setCurrentIndex(role);
    click(form->cmdok);
    QCOMPARE(env->boxes.takeTexts(), QStringList{message});
    QCOMPARE(accounts().size(), 3);
    QCOMPARE(form->UserName_Edit->text(), name);
}

void TestUsers::takenNameLeavesCheckResultInList()
{
    openList();
    pick(QStringLiteral("小李"));
    click(list->cmdadd);
    UserForm->UserName_Edit->setText(QStringLiteral("小王"));
    UserForm->Password_Edit->setText(QStringLiteral("p"));
    UserForm->Role_ComboBox->setCurrentIndex(0);
    click(UserForm->cmdok);
    QCOMPARE(env->boxes.takeTexts(), QStringList{kNameTaken});

    // Only the name found by the check, until the next reload.
    QCOMPARE(gridRows(list->UserGrid), (QList<QStringList>{{QString(), QStringLiteral("小王"), QString(), QString()}}));
    // A press there picks nothing: delete still acts on the account picked before.
    pressRow(list->UserGrid, 0);
    QCOMPARE(list->SelectedUserId, QVariant(clerk));
    env->boxes.queueAnswer(QMessageBox::Yes);
    click(list->cmddelete);
    QCOMPARE(env->boxes.takeTexts(), QStringList{kAskDelete});
    QVERIFY(account(clerk).isEmpty());
    QVERIFY(!account(other).isEmpty());
    QCOMPARE(gridRows(list->UserGrid).size(), 2);
}

void TestUsers::editLoadsPickedAccount()
{
    openList();
    TUserForm* form = openEdit(QStringLiteral("小王"));
    QVERIFY(form);
    QCOMPARE(UserFormMode, UserMode::Edit);
    QCOMPARE(list->SelectedUserId, QVariant(other));
    QVERIFY(!form->NewPassword_Label->isHidden());
    QVERIFY(!form->NewPassword_Edit->isHidden());
    QCOMPARE(form->UserName_Edit->text(), QStringLiteral("小王"));
    QCOMPARE(form->Password_Edit->text(), QStringLiteral("w1"));
    QVERIFY(!form->UserName_Edit->isEnabled());
    QVERIFY(!form->Password_Edit->isEnabled());
    QCOMPARE(form->Role_ComboBox->currentText(), kOperator);

    // A role change needs a new password too; it may equal the old one.
    form->Role_ComboBox->setCurrentIndex(1);
    form->NewPassword_Edit->setText(QStringLiteral("w1"));
    click(form->cmdok);
    const auto boxes = env->boxes.take();
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes.at(0).text, kChanged);
    QCOMPARE(boxes.at(0).caption, QStringLiteral("蓝栎服装计件工资管理系统"));
    QCOMPARE(boxes.at(0).buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QCOMPARE(boxes.at(0).icon, toolkit::MsgIcon::Question);
    QCOMPARE(account(other), (QVariantList{QStringLiteral("小王"), QStringLiteral("w1"), kAdministrator}));
    QCOMPARE(account(clerk), (QVariantList{QStringLiteral("小李"), QStringLiteral("l1"), kOperator}));
    QCOMPARE(gridRows(list->UserGrid).at(2).at(3), kAdministrator);
    // The window stays open with its contents.
    QVERIFY(form->isVisible());
    QCOMPARE(form->NewPassword_Edit->text(), QStringLiteral("w1"));
}

void TestUsers::editRequiresNewPassword()
{
    openList();
    TUserForm* form = openEdit(QStringLiteral("小王"));
    for (const QString& typed : {QString(), QStringLiteral("   ")}) {
        form->NewPassword_Edit->setText(typed);
        click(form->cmdok);
        QCOMPARE(env->boxes.takeTexts(), QStringList{kInputMissing});
    }
    QCOMPARE(account(other), (QVariantList{QStringLiteral("小王"), QStringLiteral("w1"), kOperator}));
}

void TestUsers::editOfUnknownRoleWritesEmptyRole()
{
    const qlonglong odd = env->addUser(QStringLiteral("odd"), QStringLiteral("o"), QStringLiteral("guest"));
    openList();
    TUserForm* form = openEdit(QStringLiteral("odd"));
    QCOMPARE(form->Role_ComboBox->currentIndex(), -1);
    form->NewPassword_Edit->setText(QStringLiteral("o'2"));
    click(form->cmdok);
    QCOMPARE(env->boxes.takeTexts(), QStringList{kChanged});
    QCOMPARE(account(odd), (QVariantList{QStringLiteral("odd"), QStringLiteral("o'2"), QString()}));
}

void TestUsers::editWritesNewlyPickedAccount()
{
    openList();
    TUserForm* form = openEdit(QStringLiteral("小李"));
    QCOMPARE(form->UserName_Edit->text(), QStringLiteral("小李"));
    pick(QStringLiteral("小王"));
    form->Role_ComboBox->setCurrentIndex(1);
    form->NewPassword_Edit->setText(QStringLiteral("new"));
    click(form->cmdok);
    QCOMPARE(env->boxes.takeTexts(), QStringList{kChanged});
    QCOMPARE(account(other), (QVariantList{QStringLiteral("小王"), QStringLiteral("new"), kAdministrator}));
    QCOMPARE(account(clerk), (QVariantList{QStringLiteral("小李"), QStringLiteral("l1"), kOperator}));
}

void TestUsers::newInListTurnsEditIntoAdd()
{
    openList();
    TUserForm* edit = openEdit(QStringLiteral("小李"));
    click(list->cmdadd);
    QCOMPARE(UserFormMode, UserMode::Add);
    QVERIFY(UserForm != edit);

    // "保存" in the edit window now takes the add path, which finds the account's own name.
    edit->NewPassword_Edit->setText(QStringLiteral("x"));
    click(edit->cmdok);
    QCOMPARE(env->boxes.takeTexts(), QStringList{kNameTaken});
    QCOMPARE(accounts().size(), 3);
    QCOMPARE(account(clerk), (QVariantList{QStringLiteral("小李"), QStringLiteral("l1"), kOperator}));
}

void TestUsers::closingAnyEditWindowResetsMode()
{
    openList();
    TUserForm* first = openEdit(QStringLiteral("小李"));
    TUserForm* second = openEdit(QStringLiteral("小王"));
    QVERIFY(first != second);
    QCOMPARE(UserForm, second);

    // The close box of the older window: hidden, not destroyed, mode back to adding.
    first->close();
    QVERIFY(!first->isVisible());
    QCOMPARE(UserFormMode, UserMode::Add);
    second->NewPassword_Edit->setText(QStringLiteral("x"));
    click(second->cmdok);
    QCOMPARE(env->boxes.takeTexts(), QStringList{kNameTaken});

    UserFormMode = UserMode::Edit;
    click(second->cmdexit);
    QVERIFY(!second->isVisible());
    QCOMPARE(UserFormMode, UserMode::Add);
    QVERIFY(list->findChildren<TUserForm*>().contains(first));
}

void TestUsers::successOnlyWhenUpdateSucceeded()
{
    openList();
    TUserForm* form = openEdit(QStringLiteral("小王"));
    testsupport::addRefusingTrigger(env->db(), QStringLiteral("BEFORE UPDATE ON UserData"));
    form->NewPassword_Edit->setText(QStringLiteral("w2"));
    click(form->cmdok);
    const QStringList texts = env->boxes.takeTexts();
    QCOMPARE(texts.size(), 1);
    QVERIFY2(texts.at(0).startsWith(QStringLiteral("操作数据表时出错, 执行语句为:\n\nUpdate UserData")),
             qPrintable(texts.at(0)));
    QCOMPARE(account(other).at(1).toString(), QStringLiteral("w1"));
    QCOMPARE(gridRows(list->UserGrid).size(), 3);

    // The picked account was deleted meanwhile: nothing is written, so no success either.
    testsupport::dropRefusingTrigger(env->db(), QStringLiteral("BEFORE UPDATE ON UserData"));
    env->exec(QStringLiteral("DELETE FROM UserData WHERE Id=?"), {other});
    click(form->cmdok);
    QCOMPARE(env->boxes.takeTexts(), QStringList{kPickToChange});
    QCOMPARE(accounts().size(), 2);
}

void TestUsers::editRefusedWithoutSelection()
{
    openList();
    click(list->cmdedit);
    QCOMPARE(env->boxes.takeTexts(), QStringList{kPickToChange});
    QCOMPARE(UserForm, nullptr);
    QCOMPARE(UserFormMode, UserMode::Add);
}

void TestUsers::deleteAccount()
{
    openList();
    click(list->cmddelete);
    QCOMPARE(env->boxes.takeTexts(), QStringList{kPickToDelete});

    pick(QStringLiteral("admin"));
    env->boxes.queueAnswer(QMessageBox::No);
    click(list->cmddelete);
    QCOMPARE(env->boxes.takeTexts(), QStringList{kAskDelete});
    QCOMPARE(accounts().size(), 3);

    // Even the logged-in administrator's own account can go.
    pressRow(list->UserGrid, 0, Qt::RightButton);
    env->boxes.queueAnswer(QMessageBox::Yes);
    click(list->cmddelete);
    const auto boxes = env->boxes.take();
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes.at(0).caption, QStringLiteral("提示"));
    QCOMPARE(boxes.at(0).icon, toolkit::MsgIcon::Question);
    QVERIFY(account(admin).isEmpty());
    QCOMPARE(gridColumn(list->UserGrid, 1), (QStringList{QStringLiteral("小李"), QStringLiteral("小王")}));
    QCOMPARE(list->SelectedUserId, QVariant(admin));
}

void TestUsers::userFormsGoWithTheList()
{
    openList();
    QPointer<TUserForm> edit = openEdit(QStringLiteral("小李"));
    click(list->cmdadd);
    QPointer<TUserForm> add = UserForm;
    click(list->cmdexit);
    QTRY_VERIFY(list.isNull());
    QVERIFY(edit.isNull());
    QVERIFY(add.isNull());
    QCOMPARE(PasswordForm, nullptr);
    QCOMPARE(UserForm, nullptr);

    // The next list starts without a selection; the program-wide mode stays as it was.
    UserFormMode = UserMode::Edit;
    openList();
    QVERIFY(list->SelectedUserId.isNull());
    click(list->cmddelete);
    QCOMPARE(env->boxes.takeTexts(), QStringList{kPickToDelete});
    QCOMPARE(UserFormMode, UserMode::Edit);
}

QTEST_MAIN(TestUsers)
#include "tst_users.moc"
