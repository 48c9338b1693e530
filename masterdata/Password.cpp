#include "masterdata/Password.h"

#include "data/DataModule.h"
#include "data/LoginIdentity.h"
#include "data/Sql.h"
#include "masterdata/Useradd.h"
#include "toolkit/DataGrid.h"
#include "toolkit/MessageBox.h"

#include <QPushButton>

UserMode UserFormMode = UserMode::Add;
TPasswordForm* PasswordForm = nullptr;

namespace {

const QString kOwnAccountSql = QStringLiteral("Select Id,\"User\",Password,Role From UserData Where \"User\"=?");
const QString kAllAccountsSql = QStringLiteral("Select Id,\"User\",Password,Role From UserData Order by Id");
const QString kDeleteSql = QStringLiteral("Delete From UserData Where Id =?");

const QString kPickToDelete = QStringLiteral("对不起，请选择所要删除的用户!");
const QString kPickToChange = QStringLiteral("对不起，请选择所要修改的用户!");

} // namespace

bool LoadUserList()
{
    if (LoginIsOperator())
        return OpenQuery(DM->UserQuery, kOwnAccountSql, {LoginUser});
    return OpenQuery(DM->UserQuery, kAllAccountsSql);
}

TPasswordForm::TPasswordForm(QWidget* parent) : ChildWindow(parent)
{
    PasswordForm = this;
    buildControls();
    FormCreate();
}

TPasswordForm::~TPasswordForm()
{
    if (PasswordForm == this)
        PasswordForm = nullptr;
}

Qt::WindowFlags TPasswordForm::frameFlags() const
{
    return Qt::SubWindow | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
           Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint;
}

void TPasswordForm::buildControls()
{
    setObjectName(QStringLiteral("PasswordForm"));
    setWindowTitle(QStringLiteral("用户权限管理"));
    setDesignedSize(622, 383);

    UserGrid = new toolkit::DataGrid(this);
    UserGrid->setObjectName(QStringLiteral("UserGrid"));
    UserGrid->setGeometry(0, 0, 433, 383);
    UserGrid->setRowSelect(true);
    UserGrid->setDataSource(DM->UserSource);
    UserGrid->setColumns({
        toolkit::GridColumn{.fieldName = QStringLiteral("id"), .title = QStringLiteral("用户编号"), .width = 64},
        toolkit::GridColumn{.fieldName = QStringLiteral("user"), .title = QStringLiteral("用户名"), .width = 124},
        toolkit::GridColumn{.fieldName = QStringLiteral("password"), .title = QStringLiteral("密码"), .width = 87},
        toolkit::GridColumn{.fieldName = QStringLiteral("role"),
                            .title = QStringLiteral("用户权限"),
                            .width = 122,
                            .alignment = Qt::AlignCenter},
    });

    cmdadd = makeButton(QStringLiteral("cmdadd"), QStringLiteral("新增"), QRect(470, 60, 112, 32));
    cmddelete = makeButton(QStringLiteral("cmddelete"), QStringLiteral("删除"), QRect(470, 130, 112, 32));
    cmdedit = makeButton(QStringLiteral("cmdedit"), QStringLiteral("编辑"), QRect(470, 200, 112, 32));
    cmdexit = makeExitButton(QRect(470, 270, 112, 32));

    setTabOrder(UserGrid, cmdadd);
    setTabOrder(cmdadd, cmddelete);
    setTabOrder(cmddelete, cmdedit);
    setTabOrder(cmdedit, cmdexit);

    connect(cmdadd, &QPushButton::clicked, this, &TPasswordForm::cmdaddClick);
    connect(cmddelete, &QPushButton::clicked, this, &TPasswordForm::cmddeleteClick);
    connect(cmdedit, &QPushButton::clicked, this, &TPasswordForm::cmdeditClick);
    connect(cmdexit, &QPushButton::clicked, this, &TPasswordForm::cmdexitClick);
    connect(UserGrid, &toolkit::DataGrid::mousePressed, this, &TPasswordForm::UserGridMouseDown);
}

void TPasswordForm::FormCreate()
{
    if (LoginIsOperator()) {
        cmdadd->setEnabled(false);
        cmddelete->setEnabled(false);
    }
    LoadUserList();
}

void TPasswordForm::DataRefresh()
{
    LoadUserList();
}

void TPasswordForm::UserGridMouseDown(Qt::MouseButton, Qt::KeyboardModifiers, const QPoint&)
{
    // While UserQuery holds a result without the account number (the name check of an add/edit
    // window, or another window's look-up), a press picks nothing and changes nothing.
    const data::Field id = DM->UserQuery->fieldByName(QStringLiteral("id"));
    if (!id.isValid())
        return;
    SelectedUserId = KeyParam(id);
}

void TPasswordForm::openUserForm(UserMode mode)
{
    UserFormMode = mode;
    // Owned by this window: it reads this window's selection and goes when this window goes.
    UserForm = new TUserForm(this);
    UserForm->show();
}

void TPasswordForm::cmdaddClick()
{
    openUserForm(UserMode::Add);
}

void TPasswordForm::cmdeditClick()
{
    if (SelectedUserId.isNull()) {
        toolkit::ShowStop(kPickToChange);
        return;
    }
    openUserForm(UserMode::Edit);
}

void TPasswordForm::cmddeleteClick()
{
    if (SelectedUserId.isNull()) {
        toolkit::ShowStop(kPickToDelete);
        return;
    }
    if (!toolkit::AskDelete())
        return;
    // No account is protected, not even the logged-in user's own.
    ExecQuery(DM->UserQuery, kDeleteSql, {SelectedUserId});
    DataRefresh();
}
