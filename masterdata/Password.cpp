#include "masterdata/Password.h"

#include "data/DataModule.h"
#include "data/LoginIdentity.h"
#include "data/Sql.h"
#include "masterdata/Useradd.h"
#include "toolkit/ChildWindow.h"
#include "toolkit/DataGrid.h"
#include "toolkit/Fonts.h"
#include "toolkit/MessageBox.h"

#include <QCloseEvent>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QStyle>

int UserFormMode = 0;
TPasswordForm* PasswordForm = nullptr;

namespace {

const QString kOperatorRole = QStringLiteral("普通操作员");
const QString kOwnAccountSql = QStringLiteral("Select Id,User,Password,Role From UserData Where User=?");
const QString kAllAccountsSql = QStringLiteral("Select Id,User,Password,Role From UserData ");
const QString kDeleteSql = QStringLiteral("Delete From UserData Where Id =?");

const QString kPickToDelete = QStringLiteral("对不起，请选择所要删除的用户!");
const QString kPickToChange = QStringLiteral("对不起，请选择所要修改的用户!");

bool isOperator()
{
    return LoginRole == kOperatorRole;
}

} // namespace

bool LoadUserList()
{
    if (isOperator())
        return OpenQuery(DM->UserQuery, kOwnAccountSql, {LoginUser});
    return OpenQuery(DM->UserQuery, kAllAccountsSql);
}

TPasswordForm::TPasswordForm(QWidget* parent) : QWidget(parent)
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

void TPasswordForm::buildControls()
{
    setObjectName(QStringLiteral("PasswordForm"));
    setWindowTitle(QStringLiteral("用户权限管理"));
    setFont(toolkit::songFont(12));
    // Fixed layout: the designed size is the least size; larger only while maximized, which the
    // resize rule undoes at once.
    setMinimumSize(622, 383);
    resize(minimumSize());

    UserGrid = new toolkit::DataGrid(this);
    UserGrid->setObjectName(QStringLiteral("UserGrid"));
    UserGrid->setGeometry(0, 0, 433, 383);
    UserGrid->setRowSelect(true);
    UserGrid->setDataSource(DM->UserSource);
    UserGrid->setColumns({
        toolkit::GridColumn{QStringLiteral("id"), QStringLiteral("用户编号"), 64},
        toolkit::GridColumn{QStringLiteral("user"), QStringLiteral("用户名"), 124},
        toolkit::GridColumn{QStringLiteral("password"), QStringLiteral("密码"), 87},
        toolkit::GridColumn{QStringLiteral("role"), QStringLiteral("用户权限"), 122, {}, Qt::AlignCenter},
    });

    auto makeButton = [this](const QString& name, const QString& text, int y) {
        auto* button = new QPushButton(text, this);
        button->setObjectName(name);
        button->setAutoDefault(false);
        button->setGeometry(470, y, 112, 32);
        return button;
    };
    cmdadd = makeButton(QStringLiteral("cmdadd"), QStringLiteral("新增"), 60);
    cmddelete = makeButton(QStringLiteral("cmddelete"), QStringLiteral("删除"), 130);
    cmdedit = makeButton(QStringLiteral("cmdedit"), QStringLiteral("编辑"), 200);
    cmdexit = makeButton(QStringLiteral("cmdexit"), QStringLiteral("退出"), 270);
    cmdexit->setIcon(style()->standardIcon(QStyle::SP_DialogCloseButton));

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
    if (isOperator()) {
        cmdadd->setEnabled(false);
        cmddelete->setEnabled(false);
    }
    LoadUserList();
}

void TPasswordForm::FormClose()
{
    // The window is freed once closed, and the add/edit windows it owns with it; the destructor
    // clears PasswordForm.
    setAttribute(Qt::WA_DeleteOnClose);
}

void TPasswordForm::FormResize()
{
    toolkit::restoreIfMaximized(this);
}

void TPasswordForm::closeEvent(QCloseEvent* event)
{
    FormClose();
    event->accept();
}

void TPasswordForm::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    FormResize();
}

void TPasswordForm::DataRefresh()
{
    LoadUserList();
}

void TPasswordForm::UserGridMouseDown(Qt::MouseButton, Qt::KeyboardModifiers, const QPoint&)
{
    // While UserQuery holds a result without the account number (the name check of an add/edit
    // window, or another window's look-up), a press picks nothing and changes nothing.
    if (UserGrid->gridModel()->fieldIndex(0) < 0)
        return;
    SelectedUserId = UserGrid->columnText(0);
}

void TPasswordForm::openUserForm(int mode)
{
    UserFormMode = mode;
    // Owned by this window: it reads this window's selection and goes when this window goes.
    UserForm = new TUserForm(this);
    UserForm->show();
}

void TPasswordForm::cmdaddClick()
{
    openUserForm(0);
}

void TPasswordForm::cmdeditClick()
{
    if (SelectedUserId.isEmpty()) {
        toolkit::ShowStop(kPickToChange);
        return;
    }
    openUserForm(1);
}

void TPasswordForm::cmddeleteClick()
{
    if (SelectedUserId.isEmpty()) {
        toolkit::ShowStop(kPickToDelete);
        return;
    }
    if (!toolkit::AskDelete())
        return;
    // No account is protected, not even the logged-in user's own.
    bool ok = false;
    const qlonglong id = SelectedUserId.toLongLong(&ok);
    ExecQuery(DM->UserQuery, kDeleteSql, {ok ? QVariant(id) : QVariant(SelectedUserId)});
    DataRefresh();
}

void TPasswordForm::cmdexitClick()
{
    QWidget* frame = toolkit::childFrame(this);
    (frame ? frame : static_cast<QWidget*>(this))->close();
}
