#include "masterdata/Useradd.h"

#include "data/DataModule.h"
#include "data/LoginIdentity.h"
#include "data/Sql.h"
#include "masterdata/Password.h"
#include "toolkit/ChildWindow.h"
#include "toolkit/Fonts.h"
#include "toolkit/MessageBox.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

TUserForm* UserForm = nullptr;

namespace {

const QString kLoadSql = QStringLiteral("Select Id,\"User\",Password,Role From UserData Where id=?");
const QString kNameTakenSql = QStringLiteral("Select \"User\" From UserData Where \"User\"=?");
const QString kAddSql = QStringLiteral("Insert Into UserData (\"User\",Password,Role) Values (?,?,?)");
const QString kEditSql = QStringLiteral("Update UserData Set Role=?,Password =? Where id=?");

const QString kInputMissing = QStringLiteral("对不起，请输入用户名、密码、操作权限!");
const QString kNameTaken = QStringLiteral("用户名有重复，请另选其他名字.....");
const QString kChanged = QStringLiteral("用户信息资料已被修改成功......");
const QString kPickToChange = QStringLiteral("对不起，请选择所要修改的用户!");

} // namespace

TUserForm::TUserForm(TPasswordForm* owner)
    : QDialog(owner, Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::MSWindowsFixedSizeDialogHint), m_owner(owner)
{
    buildControls();
    FormCreate();
}

TUserForm::~TUserForm()
{
    if (UserForm == this)
        UserForm = nullptr;
}

void TUserForm::buildControls()
{
    setObjectName(QStringLiteral("UserForm"));
    setWindowTitle(QStringLiteral("用户管理"));
    setModal(false);
    setFont(toolkit::songFont(12));
    setFixedSize(355, 248);

    const int labelX = 40, boxX = 134, boxW = 180, rowH = 24;
    const auto makeLabel = [this](const QString& name, const QString& text, int y) {
        return toolkit::makeFieldLabel(this, name, text, QRect(labelX, y, 92, rowH));
    };
    auto makeEdit = [this](const QString& name, int y) {
        auto* edit = new QLineEdit(this);
        edit->setObjectName(name);
        edit->setGeometry(boxX, y, boxW, rowH);
        return edit;
    };
    User_Label = makeLabel(QStringLiteral("User_Label"), QStringLiteral("用 户 名："), 26);
    UserName_Edit = makeEdit(QStringLiteral("UserName_Edit"), 26);
    PasswordLabel = makeLabel(QStringLiteral("PasswordLabel"), QStringLiteral("密    码："), 66);
    Password_Edit = makeEdit(QStringLiteral("Password_Edit"), 66);
    Role_Label = makeLabel(QStringLiteral("Role_Label"), QStringLiteral("操作权限："), 106);
    Role_ComboBox = new QComboBox(this);
    Role_ComboBox->setObjectName(QStringLiteral("Role_ComboBox"));
    Role_ComboBox->setGeometry(boxX, 106, boxW, rowH);
    Role_ComboBox->addItems({kOperatorRole, kAdministratorRole});
    Role_ComboBox->setCurrentIndex(-1);
    NewPassword_Label = makeLabel(QStringLiteral("NewPassword_Label"), QStringLiteral("新 密 码："), 146);
    NewPassword_Label->hide();
    NewPassword_Edit = makeEdit(QStringLiteral("NewPassword_Edit"), 146);
    NewPassword_Edit->hide();

    cmdok = toolkit::makePushButton(this, QStringLiteral("cmdok"), QStringLiteral("保存"), QRect(70, 196, 96, 30));
    cmdexit = toolkit::makeExitButton(this, QRect(190, 196, 96, 30));

    setTabOrder(UserName_Edit, Password_Edit);
    setTabOrder(Password_Edit, Role_ComboBox);
    setTabOrder(Role_ComboBox, NewPassword_Edit);
    setTabOrder(NewPassword_Edit, cmdok);
    setTabOrder(cmdok, cmdexit);
    UserName_Edit->setFocus();

    connect(cmdok, &QPushButton::clicked, this, &TUserForm::cmdokClick);
    connect(cmdexit, &QPushButton::clicked, this, &TUserForm::cmdexitClick);
}

void TUserForm::FormCreate()
{
    if (UserFormMode != UserMode::Edit)
        return;
    NewPassword_Label->show();
    NewPassword_Edit->show();
    const QVariant picked = m_owner ? m_owner->SelectedUserId : QVariant();
    if (!OpenQuery(DM->DmQuery, kLoadSql, {picked}) || DM->DmQuery->recordCount() == 0)
        return;
    data::DataSet* account = DM->DmQuery;
    UserName_Edit->setText(account->value(0, 1).toString());
    Password_Edit->setText(account->value(0, 2).toString());
    Role_ComboBox->setCurrentIndex(Role_ComboBox->findText(account->value(0, 3).toString(), Qt::MatchFixedString));
    UserName_Edit->setEnabled(false);
    Password_Edit->setEnabled(false);
}

void TUserForm::FormClose()
{
    UserFormMode = UserMode::Add;
}

void TUserForm::closeEvent(QCloseEvent* event)
{
    FormClose();
    QDialog::closeEvent(event);
}

void TUserForm::reject()
{
    // Escape closes the window like its close box.
    FormClose();
    QDialog::reject();
}

void TUserForm::DataRefresh()
{
    LoadUserList();
}

void TUserForm::cmdexitClick()
{
    UserFormMode = UserMode::Add;
    close();
}

void TUserForm::cmdokClick()
{
    // The mode as it stands now: another list action may have changed it since this window opened.
    if (UserFormMode == UserMode::Edit)
        saveEdit();
    else
        saveNew();
}

void TUserForm::saveEdit()
{
    if (NewPassword_Edit->text().trimmed().isEmpty()) {
        toolkit::ShowStop(kInputMissing);
        NewPassword_Edit->setFocus();
        return;
    }
    // The account picked in the list now, which may differ from the one loaded on opening.
    const QVariant picked = m_owner ? m_owner->SelectedUserId : QVariant();
    if (picked.isNull()) {
        toolkit::ShowStop(kPickToChange);
        return;
    }
    data::DataSet* query = DM->UserQuery;
    const bool written = ExecQuery(query, kEditSql, {Role_ComboBox->currentText(), NewPassword_Edit->text(), picked});
    if (written && query->rowsAffected() > 0)
        toolkit::MessageBox(kChanged, toolkit::kSystemCaption, QMessageBox::Ok, toolkit::MsgIcon::Question);
    else if (written)
        toolkit::ShowStop(kPickToChange); // the picked account no longer exists
    DataRefresh();
}

void TUserForm::saveNew()
{
    const QString name = UserName_Edit->text();
    const QString password = Password_Edit->text();
    if (name.trimmed().isEmpty() || password.trimmed().isEmpty() || Role_ComboBox->currentIndex() < 0) {
        toolkit::ShowStop(kInputMissing);
        UserName_Edit->setFocus();
        return;
    }
    data::DataSet* query = DM->UserQuery;
    if (!OpenQuery(query, kNameTakenSql, {name})) {
        DataRefresh();
        return;
    }
    if (query->recordCount() > 0) {
        // The list shows the row found until its next reload.
        toolkit::ShowStop(kNameTaken);
        return;
    }
    if (!ExecQuery(query, kAddSql, {name, password, Role_ComboBox->currentText()})) {
        DataRefresh();
        return;
    }
    UserName_Edit->clear();
    Password_Edit->clear();
    Role_ComboBox->setCurrentIndex(-1);
    DataRefresh();
}
