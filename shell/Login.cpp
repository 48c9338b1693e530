#include "shell/Login.h"

#include "data/ClientName.h"
#include "data/DataModule.h"
#include "data/LoginIdentity.h"
#include "data/Sql.h"
#include "shell/DorvikFunction.h"
#include "toolkit/MessageBox.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>

TLoginForm* LoginForm = nullptr;

namespace {
const QString kBuiltInUser = QStringLiteral("Dorvik");
const QString kBuiltInPassword = QStringLiteral("qekw");
} // namespace

TLoginForm::TLoginForm(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("LoginForm"));
    FormCreate();
    buildControls();
}

void TLoginForm::FormCreate()
{
    CheckSingleInstance();
    SetupAutoRun();
    CreateDataSource();
    RestoreDbHeader();
    // Dates are shown, typed and compared as yyyy-MM-dd by the program itself; nothing outside
    // the program is changed for it.
    m_dm = new TDM(this);
}

void TLoginForm::buildControls()
{
    setWindowTitle(QStringLiteral("登录窗口"));
    // A fixed dialog frame without title-bar buttons.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(315, 140);

    User_Label = new QLabel(QStringLiteral("用户名："), this);
    User_Label->setObjectName(QStringLiteral("User_Label"));
    User_edit = new QLineEdit(this);
    User_edit->setObjectName(QStringLiteral("User_edit"));
    Password_Label = new QLabel(QStringLiteral("密  码："), this);
    Password_Label->setObjectName(QStringLiteral("Password_Label"));
    Password_edit = new QLineEdit(this);
    Password_edit->setObjectName(QStringLiteral("Password_edit"));
    Password_edit->setEchoMode(QLineEdit::Password);
    // Show "*" for every character typed.
    Password_edit->setStyleSheet(QStringLiteral("lineedit-password-character: 42"));

    CmdLogin = new QPushButton(style()->standardIcon(QStyle::SP_DialogOkButton), QStringLiteral("登录"), this);
    CmdLogin->setObjectName(QStringLiteral("CmdLogin"));
    CmdLogin->setAutoDefault(false);
    CmdExit = new QPushButton(style()->standardIcon(QStyle::SP_DialogCloseButton), QStringLiteral("退出"), this);
    CmdExit->setObjectName(QStringLiteral("CmdExit"));
    CmdExit->setAutoDefault(false);

    auto* fields = new QGridLayout;
    fields->addWidget(User_Label, 0, 0);
    fields->addWidget(User_edit, 0, 1);
    fields->addWidget(Password_Label, 1, 0);
    fields->addWidget(Password_edit, 1, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(CmdLogin);
    buttons->addSpacing(20);
    buttons->addWidget(CmdExit);
    buttons->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 14, 24, 12);
    layout->addLayout(fields);
    layout->addLayout(buttons);

    setTabOrder(User_edit, Password_edit);
    setTabOrder(Password_edit, CmdLogin);
    setTabOrder(CmdLogin, CmdExit);
    User_edit->setFocus();

    User_edit->installEventFilter(this);
    Password_edit->installEventFilter(this);
    connect(CmdLogin, &QPushButton::clicked, this, &TLoginForm::CmdLoginClick);
    connect(CmdExit, &QPushButton::clicked, this, &TLoginForm::CmdExitClick);
}

// User_editKeyPress and Password_editKeyPress: Enter moves on, or logs in.
bool TLoginForm::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            if (watched == User_edit)
                Password_edit->setFocus();
            else if (watched == Password_edit)
                CmdLoginClick();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TLoginForm::loginFailed(QLineEdit* focusField)
{
    toolkit::ShowStop(QStringLiteral("对不起，密码输入错误，再试一次？"));
    focusField->setFocus();
    ++FailCount;
}

void TLoginForm::CmdLoginClick()
{
    if (FailCount == 3) {
        reject();
        return;
    }
    const QString user = User_edit->text();
    const QString password = Password_edit->text();
    if (user.isEmpty() || password.isEmpty())
        return loginFailed(User_edit);
    if (user == kBuiltInUser && password == kBuiltInPassword)
        return loggedIn(user, kAdministratorRole);
    QString storedPassword;
    QString role;
    data::DataSet* query = DM->DmQuery;
    OpenQuery(query, QStringLiteral("Select Password,Role From UserData Where \"User\"=?"), {user});
    if (!query->eof()) {
        storedPassword = query->field(0).asString();
        role = query->field(1).asString();
    }
    if (password == storedPassword)
        return loggedIn(user, role);
    loginFailed(Password_edit);
}

void TLoginForm::loggedIn(const QString& user, const QString& role)
{
    LoginUser = user;
    LoginRole = role;
    // A server connection opened for the look-up still carries the name it had before the login;
    // later connections take the user's name as they open.
    data::Connection* connection = DM->connection();
    if (connection->isOpen() && connection->onServer())
        OpenQuery(DM->DmQuery, data::kSetApplicationNameSql, {QString::fromLatin1(data::applicationName())});
    accept();
}

void TLoginForm::CmdExitClick()
{
    reject();
}
