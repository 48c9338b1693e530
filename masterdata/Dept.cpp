#include "masterdata/Dept.h"

#include "data/DataModule.h"
#include "data/Sql.h"
#include "toolkit/ChildWindow.h"
#include "toolkit/DataGrid.h"
#include "toolkit/Fonts.h"
#include "toolkit/MessageBox.h"

#include <QCloseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QStyle>

TDeptForm* DeptForm = nullptr;

namespace {

const QString kListSql = QStringLiteral("Select * From Dept");
const QString kNameTakenSql = QStringLiteral("Select * From Dept Where DeptName=?");
const QString kAddSql = QStringLiteral("Insert Into Dept (DeptName) Values (?)");
const QString kDeleteSql = QStringLiteral("Delete From Dept Where DeptName =?");
const QString kRenameDeptSql = QStringLiteral("Update Dept Set DeptName =? Where DeptName =?");
const QString kRenameSalarySql = QStringLiteral("Update Salary Set DeptName=? Where DeptName =?");

const QString kNameEmpty = QStringLiteral("对不起，班组名称不能为空!");
const QString kNameRepeated = QStringLiteral("对不起，班组名称不能有重复!");
const QString kPickTeam = QStringLiteral("对不起，请选择所要修改的班组名称!");

} // namespace

TDeptForm::TDeptForm(QWidget* parent) : QWidget(parent)
{
    DeptForm = this;
    buildControls();
    FormCreate();
}

TDeptForm::~TDeptForm()
{
    if (DeptForm == this)
        DeptForm = nullptr;
}

Qt::WindowFlags TDeptForm::frameFlags()
{
    return Qt::SubWindow | Qt::CustomizeWindowHint | Qt::WindowTitleHint;
}

void TDeptForm::buildControls()
{
    setObjectName(QStringLiteral("DeptForm"));
    setWindowTitle(QStringLiteral("班组资料"));
    setFont(toolkit::songFont(12));
    // Fixed layout: the designed size is the least size; larger only while maximized, which the
    // resize rule undoes at once.
    setMinimumSize(482, 229);
    resize(minimumSize());

    DeptGrid = new toolkit::DataGrid(this);
    DeptGrid->setObjectName(QStringLiteral("DeptGrid"));
    DeptGrid->setGeometry(28, 10, 425, 120);
    DeptGrid->setRowSelect(false);
    DeptGrid->setDataSource(DM->DmSource);
    DeptGrid->setColumns({toolkit::GridColumn{QStringLiteral("DeptName"), QStringLiteral("班组名称"), 200}});

    Label1 = new QLabel(QStringLiteral("班组名称："), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setFont(toolkit::songFont(14));
    Label1->setGeometry(40, 144, 90, 24);

    DeptName_Edit = new QLineEdit(this);
    DeptName_Edit->setObjectName(QStringLiteral("DeptName_Edit"));
    DeptName_Edit->setGeometry(132, 144, 220, 24);

    auto makeButton = [this](const QString& name, const QString& text, int x) {
        auto* button = new QPushButton(text, this);
        button->setObjectName(name);
        button->setAutoDefault(false);
        button->setGeometry(x, 186, 88, 30);
        return button;
    };
    cmdadd = makeButton(QStringLiteral("cmdadd"), QStringLiteral("新增"), 36);
    cmddelete = makeButton(QStringLiteral("cmddelete"), QStringLiteral("删除"), 144);
    cmdedit = makeButton(QStringLiteral("cmdedit"), QStringLiteral("编辑"), 252);
    cmdedit->setEnabled(false);
    cmdexit = makeButton(QStringLiteral("cmdexit"), QStringLiteral("退出"), 360);
    cmdexit->setIcon(style()->standardIcon(QStyle::SP_DialogCloseButton));

    setTabOrder(DeptName_Edit, cmdadd);
    setTabOrder(cmdadd, cmddelete);
    setTabOrder(cmddelete, cmdedit);
    setTabOrder(cmdedit, cmdexit);
    setTabOrder(cmdexit, DeptGrid);
    DeptName_Edit->setFocus();

    connect(cmdadd, &QPushButton::clicked, this, &TDeptForm::cmdaddClick);
    connect(cmddelete, &QPushButton::clicked, this, &TDeptForm::cmddeleteClick);
    connect(cmdedit, &QPushButton::clicked, this, &TDeptForm::cmdeditClick);
    connect(cmdexit, &QPushButton::clicked, this, &TDeptForm::cmdexitClick);
    connect(DeptGrid, &toolkit::DataGrid::mousePressed, this, &TDeptForm::DeptGridMouseDown);
}

void TDeptForm::FormCreate()
{
    DataRefresh();
}

void TDeptForm::FormClose()
{
    // The window is freed once closed; the destructor clears DeptForm.
    setAttribute(Qt::WA_DeleteOnClose);
}

void TDeptForm::FormResize()
{
    toolkit::restoreIfMaximized(this);
}

void TDeptForm::closeEvent(QCloseEvent* event)
{
    FormClose();
    event->accept();
}

void TDeptForm::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    FormResize();
}

void TDeptForm::DataRefresh()
{
    OpenQuery(DM->DmQuery, kListSql);
}

bool TDeptForm::nameTaken(const QString& name, bool* taken)
{
    if (!OpenQuery(DM->DmQuery, kNameTakenSql, {name}))
        return false;
    *taken = DM->DmQuery->recordCount() > 0;
    return true;
}

void TDeptForm::DeptGridMouseDown(Qt::MouseButton, Qt::KeyboardModifiers, const QPoint&)
{
    // While DmQuery holds another window's look-up without the team-name field, a press picks
    // nothing and changes nothing.
    if (DeptGrid->gridModel()->fieldIndex(DeptGrid->selectedColumn()) < 0)
        return;
    const QString name = DeptGrid->selectedFieldText();
    DeptName_Edit->setText(name);
    SelectedDeptName = name;
    cmdedit->setEnabled(true);
}

void TDeptForm::cmdaddClick()
{
    const QString name = DeptName_Edit->text();
    if (name.trimmed().isEmpty()) {
        toolkit::ShowStop(kNameEmpty);
        DeptName_Edit->setFocus();
        return;
    }
    bool taken = false;
    if (!nameTaken(name, &taken)) {
        DataRefresh();
        return;
    }
    if (taken) {
        toolkit::ShowStop(kNameRepeated);
        DataRefresh();
        return;
    }
    if (!ExecQuery(DM->DmQuery, kAddSql, {name})) {
        DataRefresh();
        return;
    }
    DeptName_Edit->clear();
    DeptName_Edit->setFocus();
    DataRefresh();
}

void TDeptForm::cmdeditClick()
{
    if (SelectedDeptName.isEmpty()) {
        toolkit::ShowStop(kPickTeam);
        return;
    }
    const QString name = DeptName_Edit->text();
    if (name.trimmed().isEmpty()) {
        toolkit::ShowStop(kNameEmpty);
        DeptName_Edit->setFocus();
        return;
    }
    // The picked team's own current name counts as taken as well.
    bool taken = false;
    if (!nameTaken(name, &taken)) {
        DataRefresh();
        return;
    }
    if (taken) {
        toolkit::ShowStop(kNameRepeated);
        DeptName_Edit->setFocus();
        DataRefresh();
        return;
    }
    // The team and its piece-work records change together or not at all. Workers refer to the
    // team by number and need no change.
    const QString oldName = SelectedDeptName;
    const bool renamed = RunInTransaction([&] {
        return ExecQuery(DM->DmQuery, kRenameDeptSql, {name, oldName}) &&
               ExecQuery(DM->DmQuery, kRenameSalarySql, {name, oldName});
    });
    if (!renamed) {
        DataRefresh();
        return;
    }
    DeptName_Edit->clear();
    DeptName_Edit->setFocus();
    cmdedit->setEnabled(false);
    DataRefresh();
}

void TDeptForm::cmddeleteClick()
{
    if (SelectedDeptName.isEmpty()) {
        toolkit::ShowStop(kPickTeam);
        return;
    }
    if (!toolkit::AskDelete())
        return;
    // Only the team goes; its workers and records stay.
    if (!ExecQuery(DM->DmQuery, kDeleteSql, {SelectedDeptName})) {
        DataRefresh();
        return;
    }
    DeptName_Edit->clear();
    DataRefresh();
    cmdedit->setEnabled(false);
}

void TDeptForm::cmdexitClick()
{
    QWidget* frame = toolkit::childFrame(this);
    (frame ? frame : static_cast<QWidget*>(this))->close();
}
