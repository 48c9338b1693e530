#include "masterdata/Dept.h"

#include "data/DataModule.h"
#include "data/History.h"
#include "data/Sql.h"
#include "toolkit/DataGrid.h"
#include "toolkit/MessageBox.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

TDeptForm* DeptForm = nullptr;

namespace {

// The team list, each row with its version.
QString listSql()
{
    return QStringLiteral("Select *") + data::rowVersionTerm(CurrentDialect()) +
           QStringLiteral(" From Dept Order by id");
}
// The teams past a key or of one key, for the list to take other clerks' changes.
QString listRowsSql()
{
    return QStringLiteral("Select *") + data::rowVersionTerm(CurrentDialect()) +
           QStringLiteral(" From Dept Where (id > ? Or id = ?)");
}
const QString kNameTakenSql = QStringLiteral("Select * From Dept Where DeptName=?");
const QString kAddSql = QStringLiteral("Insert Into Dept (DeptName) Values (?)");
const QString kDeleteSql = QStringLiteral("Delete From Dept Where DeptName =?");
const QString kDeleteByKeySql = QStringLiteral("Delete From Dept Where id =?");
const QString kRenameDeptSql = QStringLiteral("Update Dept Set DeptName =? Where DeptName =?");
const QString kRenameSalarySql = QStringLiteral("Update Salary Set DeptName=? Where DeptName =?");
const QString kKeyOfNameSql = QStringLiteral("Select id From Dept Where DeptName=?");
const QString kTable = QStringLiteral("Dept");
const QString kKeyColumn = QStringLiteral("id");

const QString kNameEmpty = QStringLiteral("对不起，班组名称不能为空!");
const QString kNameRepeated = QStringLiteral("对不起，班组名称不能有重复!");
const QString kPickTeam = QStringLiteral("对不起，请选择所要修改的班组名称!");

} // namespace

TDeptForm::TDeptForm(QWidget* parent) : ChildWindow(parent)
{
    DeptForm = this;
    buildControls();
    DM->DmQuery->follow(data::followList(QStringLiteral("Dept"), listSql(), QStringLiteral("id"),
                                         {{QStringLiteral("id")}}, listRowsSql()));
    FormCreate();
}

TDeptForm::~TDeptForm()
{
    if (DM)
        DM->DmQuery->follow({});
    if (DeptForm == this)
        DeptForm = nullptr;
}

void TDeptForm::buildControls()
{
    setObjectName(QStringLiteral("DeptForm"));
    setWindowTitle(QStringLiteral("班组资料"));
    setDesignedSize(482, 229);

    DeptGrid = new toolkit::DataGrid(this);
    DeptGrid->setObjectName(QStringLiteral("DeptGrid"));
    DeptGrid->setGeometry(28, 10, 425, 120);
    DeptGrid->setRowSelect(false);
    DeptGrid->setDataSource(DM->DmSource);
    DeptGrid->setColumns({
        toolkit::GridColumn{.fieldName = QStringLiteral("DeptName"), .title = QStringLiteral("班组名称"), .width = 200},
    });

    Label1 = makeLabel(QStringLiteral("Label1"), QStringLiteral("班组名称："), QRect(40, 144, 90, 24));

    DeptName_Edit = new QLineEdit(this);
    DeptName_Edit->setObjectName(QStringLiteral("DeptName_Edit"));
    DeptName_Edit->setGeometry(132, 144, 220, 24);

    cmdadd = makeButton(QStringLiteral("cmdadd"), QStringLiteral("新增"), QRect(36, 186, 88, 30));
    cmddelete = makeButton(QStringLiteral("cmddelete"), QStringLiteral("删除"), QRect(144, 186, 88, 30));
    cmdedit = makeButton(QStringLiteral("cmdedit"), QStringLiteral("编辑"), QRect(252, 186, 88, 30));
    cmdedit->setEnabled(false);
    cmdexit = makeExitButton(QRect(360, 186, 88, 30));

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

void TDeptForm::DataRefresh()
{
    OpenQuery(DM->DmQuery, listSql());
}

bool TDeptForm::nameTaken(const QString& name, bool* taken)
{
    if (!OpenQuery(DM->DmQuery, kNameTakenSql, {name}))
        return false;
    *taken = DM->DmQuery->recordCount() > 0;
    return true;
}

bool TDeptForm::keyOfName(const QString& name, QVariant* id)
{
    if (!OpenQuery(DM->DmQuery, kKeyOfNameSql, {name}))
        return false;
    *id = DM->DmQuery->isEmpty() ? QVariant() : KeyParam(DM->DmQuery->field(0));
    return true;
}

void TDeptForm::DeptGridMouseDown(Qt::MouseButton, Qt::KeyboardModifiers, const QPoint&)
{
    // While DmQuery holds another window's look-up without the team-name field, a press picks
    // nothing and changes nothing. The name comes from the picked record, not from the cell.
    const data::Field field = DM->DmQuery->fieldByName(QStringLiteral("DeptName"));
    if (!field.isValid())
        return;
    const QString name = field.asString();
    DeptName_Edit->setText(name);
    SelectedDeptName = name;
    SelectedDeptId = KeyParam(DM->DmQuery->fieldByName(QStringLiteral("id")));
    SelectedDeptVersion = RowVersionOf(DM->DmQuery);
    cmdedit->setEnabled(true);
}

bool TDeptForm::nameAcceptable(const QString& name)
{
    if (name.trimmed().isEmpty()) {
        toolkit::ShowStop(kNameEmpty);
        DeptName_Edit->setFocus();
        return false;
    }
    // Any team's name counts as taken, the picked team's own current name as well.
    bool taken = false;
    if (!nameTaken(name, &taken)) {
        DataRefresh();
        return false;
    }
    if (taken) {
        toolkit::ShowStop(kNameRepeated);
        DeptName_Edit->setFocus();
        DataRefresh();
        return false;
    }
    return true;
}

void TDeptForm::cmdaddClick()
{
    const QString name = DeptName_Edit->text();
    if (!nameAcceptable(name))
        return;
    // The team and its line in the change record are written together.
    const bool added = RunInTransaction([&] {
        if (!ExecQuery(DM->DmQuery, kAddSql, {name}))
            return false;
        const QVariant id = DM->DmQuery->lastInsertId();
        QString after;
        return ReadRowValues(kTable, kKeyColumn, id, &after) &&
               LogChange(ChangeLine{change::kAddTeam, kTable, id, QString(), after, QString()});
    });
    if (!added) {
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
    if (!nameAcceptable(name))
        return;
    // The team and its piece-work records change together or not at all. Workers refer to the
    // team by number and need no change.
    const QString oldName = SelectedDeptName;
    bool changedByOther = false;
    // The change record gets a line for the team and one for the records that took the new name,
    // in the same transaction. Records of closed months take it too: a name changes no money.
    const bool renamed = RunInTransaction([&] {
        QVariant id;
        QString before;
        if (!keyOfName(oldName, &id) || (id.isValid() && !ReadRowValues(kTable, kKeyColumn, id, &before)))
            return false;
        QVariantList params{name, oldName};
        const QString renameDept = WithRowVersion(kRenameDeptSql, &params, SelectedDeptVersion);
        if (!ExecQuery(DM->DmQuery, renameDept, params))
            return false;
        const bool teamRenamed = DM->DmQuery->rowsAffected() > 0;
        // Another clerk renamed or deleted the team since it was picked: nothing changes.
        if (!teamRenamed && OtherClerksWrite()) {
            changedByOther = true;
            return false;
        }
        if (teamRenamed) {
            QString after;
            if (!ReadRowValues(kTable, kKeyColumn, id, &after) ||
                !LogChange(ChangeLine{change::kEditTeam, kTable, id, before, after, QString()}))
                return false;
        }
        if (!ExecQuery(DM->DmQuery, kRenameSalarySql, {name, oldName}))
            return false;
        const int carried = DM->DmQuery->rowsAffected();
        if (carried == 0)
            return true;
        const QStringList column{QStringLiteral("DeptName")};
        return LogChange(ChangeLine{change::kCarryIntoRecords, QStringLiteral("Salary"), id.isValid() ? id : oldName,
                                    ValuesText(column, {oldName}), ValuesText(column, {name}),
                                    QStringLiteral("带入%1条计件记录").arg(carried)});
    });
    if (!renamed) {
        if (changedByOther)
            ShowChangedByOther();
        DataRefresh();
        return;
    }
    // The picked row now holds what this clerk wrote.
    SelectedDeptId = QVariant();
    SelectedDeptVersion = QVariant();
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
    // Only the team goes; its workers and records stay. Where other clerks write, the picked name
    // may since have gone to another team: the picked team goes by its key, renamed or not.
    const bool byKey = OtherClerksWrite() && SelectedDeptId.isValid();
    bool deleted = false;
    // The team goes with its line in the change record; a team already gone leaves no line.
    const bool ran = RunInTransaction([&] {
        QVariant id = SelectedDeptId;
        QString before;
        if ((!byKey && !keyOfName(SelectedDeptName, &id)) ||
            (id.isValid() && !ReadRowValues(kTable, kKeyColumn, id, &before)))
            return false;
        if (!(byKey ? ExecQuery(DM->DmQuery, kDeleteByKeySql, {SelectedDeptId})
                    : ExecQuery(DM->DmQuery, kDeleteSql, {SelectedDeptName})))
            return false;
        deleted = DM->DmQuery->rowsAffected() > 0;
        return !deleted || LogChange(ChangeLine{change::kDeleteTeam, kTable, id, before, QString(), QString()});
    });
    if (!ran) {
        DataRefresh();
        return;
    }
    if (byKey && !deleted)
        ShowDeletedByOther();
    SelectedDeptId = QVariant();
    SelectedDeptVersion = QVariant();
    DeptName_Edit->clear();
    DataRefresh();
    cmdedit->setEnabled(false);
}
