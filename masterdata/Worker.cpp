#include "masterdata/Worker.h"

#include "data/DataModule.h"
#include "data/History.h"
#include "data/Sql.h"
#include "toolkit/DataGrid.h"
#include "toolkit/MessageBox.h"

#include <QComboBox>
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

TWorkerForm* WorkerForm = nullptr;

namespace {

// The list's columns, each row with its version.
QString listColumns()
{
    return QStringLiteral("Select Worker.id,WorkerName,DeptName,MachineId,EnterDate") +
           data::rowVersionTerm(CurrentDialect(), QStringLiteral("Worker"));
}
QString listSql()
{
    return listColumns() + QStringLiteral(" From Dept,Worker Where Dept.id=Worker.Deptid order by worker.id desc");
}
// The workers past a key or of one key, for the list to take other clerks' changes; a team's new
// name shows in its workers' rows, so a change of the teams reads the list again.
QString listRowsSql()
{
    return listColumns() +
           QStringLiteral(" From Dept,Worker Where Dept.id=Worker.Deptid And (Worker.id > ? Or Worker.id = ?)");
}
const QString kTeamNamesSql = QStringLiteral("Select DeptName From Dept Order by id");
const QString kAddNameSql = QStringLiteral("Select WorkerName From Worker Where WorkerName=?");
const QString kAddMachineSql =
    QStringLiteral("Select MachineId From Worker Where MachineId=? and Deptid =(Select id From Dept Where DeptName=?)");
QString teamNumberSql()
{
    return QStringLiteral("Select Id From Dept Where DeptName=?") + data::lockForShare(CurrentDialect());
}
const QString kAddSql = QStringLiteral("Insert Into Worker (WorkerName,DeptId,MachineId,EnterDate) Values (?,?,?,?)");
const QString kEditNameSql = QStringLiteral("Select * From Worker Where Id <> ? And WorkerName=? And DeptId "
                                            "= (Select Id From Dept Where DeptName=?)");
const QString kEditMachineSql =
    QStringLiteral("Select MachineId From Worker Where Id <> ? And WorkerName <> ? And MachineId=?");
const QString kEditSql =
    QStringLiteral("Update Worker Set WorkerName =?, DeptId = ?,MachineId=?, EnterDate = ?  Where Id =?");
const QString kDeleteSql = QStringLiteral("Delete From Worker Where Id =?");
QString searchTextSql()
{
    return listColumns() + QStringLiteral(" From Dept,Worker Where Dept.id=Worker.Deptid And ( WorkerName like ?") +
           kLikeEscape + QStringLiteral(" Or MachineId like ?") + kLikeEscape + QStringLiteral(" Or DeptName like ?") +
           kLikeEscape + QStringLiteral(")");
}
QString searchAllSql()
{
    return listColumns() + QStringLiteral(" From Dept,Worker Where Dept.id=Worker.Deptid");
}

const QString kNameTeamEmpty = QStringLiteral("对不起，员工姓名和班组不能为空!");
const QString kMachineEmpty = QStringLiteral("对不起，车床位不能为空!");
const QString kNameRepeated = QStringLiteral("对不起，员工姓名不能有重复!");
const QString kMachineTakenInTeam = QStringLiteral("对不起，车床只能分配一人!");
const QString kPickToChange = QStringLiteral("对不起，请选择所要修改的员工名称!");
const QString kAlreadyInTeam = QStringLiteral("对不起，此员工已分配班组了!");
const QString kMachineTaken = QStringLiteral("对不起，车床已被分配，请另选其他车床!");
const QString kPickToDelete = QStringLiteral("对不起，请选择所要删除的员工名称!");
const QString kTeamGone = QStringLiteral("对不起，该班组已不存在，请重新选择班组!");

const QString kDateFormat = QStringLiteral("yyyy-MM-dd");
const QString kTable = QStringLiteral("Worker");
const QString kKeyColumn = QStringLiteral("id");

// Chooses the entry equal to text, or nothing when none is.
void chooseItem(QComboBox* box, const QString& text)
{
    box->setCurrentIndex(box->findText(text, Qt::MatchFixedString));
}

} // namespace

TWorkerForm::TWorkerForm(QWidget* parent) : ChildWindow(parent)
{
    WorkerForm = this;
    buildControls();
    DM->WorkerQuery->follow(data::followList(QStringLiteral("Worker"), listSql(), QStringLiteral("id"),
                                             {{QStringLiteral("id"), true}}, listRowsSql(), {},
                                             {QStringLiteral("Dept")}));
    FormCreate();
}

TWorkerForm::~TWorkerForm()
{
    if (DM)
        DM->WorkerQuery->follow({});
    if (WorkerForm == this)
        WorkerForm = nullptr;
}

Qt::WindowFlags TWorkerForm::frameFlags() const
{
    return Qt::SubWindow | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
           Qt::WindowCloseButtonHint;
}

void TWorkerForm::buildControls()
{
    setObjectName(QStringLiteral("WorkerForm"));
    setWindowTitle(QStringLiteral("员工资料"));
    setDesignedSize(713, 365);

    WorkerGrid = new toolkit::DataGrid(this);
    WorkerGrid->setObjectName(QStringLiteral("WorkerGrid"));
    WorkerGrid->setGeometry(0, 0, 481, 365);
    WorkerGrid->setRowSelect(true);
    WorkerGrid->setDataSource(DM->WorkSource);
    WorkerGrid->setColumns({
        toolkit::GridColumn{.fieldName = QStringLiteral("id"), .title = QStringLiteral("员工编号"), .width = 63},
        toolkit::GridColumn{
            .fieldName = QStringLiteral("WorkerName"), .title = QStringLiteral("员工名称"), .width = 119},
        toolkit::GridColumn{.fieldName = QStringLiteral("DeptName"), .title = QStringLiteral("班组"), .width = 79},
        toolkit::GridColumn{.fieldName = QStringLiteral("MachineId"), .title = QStringLiteral("车床号"), .width = 81},
        toolkit::GridColumn{.fieldName = QStringLiteral("EnterDate"),
                            .title = QStringLiteral("入厂日期"),
                            .width = 103,
                            .displayMask = kDateFormat},
    });

    const int labelX = 496, boxX = 584, boxW = 118, rowH = 24;
    const auto label = [this](const QString& name, const QString& text, int y) {
        return makeLabel(name, text, QRect(labelX, y, 86, rowH));
    };
    Worker_Label = label(QStringLiteral("Worker_Label"), QStringLiteral("姓    名："), 20);
    WorkerName_Edit = new QLineEdit(this);
    WorkerName_Edit->setObjectName(QStringLiteral("WorkerName_Edit"));
    WorkerName_Edit->setGeometry(boxX, 20, boxW, rowH);

    DeptName_Label = label(QStringLiteral("DeptName_Label"), QStringLiteral("班    组："), 58);
    DeptName_ComboBox = new QComboBox(this);
    DeptName_ComboBox->setObjectName(QStringLiteral("DeptName_ComboBox"));
    DeptName_ComboBox->setGeometry(boxX, 58, boxW, rowH);

    Machine_Label = label(QStringLiteral("Machine_Label"), QStringLiteral("车 床 号："), 96);
    Machine_Combobox = new QComboBox(this);
    Machine_Combobox->setObjectName(QStringLiteral("Machine_Combobox"));
    Machine_Combobox->setGeometry(boxX, 96, boxW, rowH);

    EnterDate_Label = label(QStringLiteral("EnterDate_Label"), QStringLiteral("入厂日期："), 134);
    EnterDatePicker = new QDateEdit(this);
    EnterDatePicker->setObjectName(QStringLiteral("EnterDatePicker"));
    EnterDatePicker->setGeometry(boxX, 134, boxW, rowH);
    EnterDatePicker->setCalendarPopup(true);
    EnterDatePicker->setDisplayFormat(kDateFormat);

    cmdadd = makeButton(QStringLiteral("cmdadd"), QStringLiteral("新增"), QRect(500, 186, 96, 30));
    cmddelete = makeButton(QStringLiteral("cmddelete"), QStringLiteral("删除"), QRect(606, 186, 96, 30));
    cmdedit = makeButton(QStringLiteral("cmdedit"), QStringLiteral("编辑"), QRect(500, 228, 96, 30));
    cmdedit->setEnabled(false);
    cmdexit = makeExitButton(QRect(606, 228, 96, 30));

    Searchtxt = new QLineEdit(this);
    Searchtxt->setObjectName(QStringLiteral("Searchtxt"));
    Searchtxt->setGeometry(496, 318, 132, 26);
    cmdsearch = makeButton(QStringLiteral("cmdsearch"), QStringLiteral("查询"), QRect(636, 316, 66, 30));

    setTabOrder(WorkerName_Edit, DeptName_ComboBox);
    setTabOrder(DeptName_ComboBox, EnterDatePicker);
    setTabOrder(EnterDatePicker, cmdadd);
    setTabOrder(cmdadd, cmddelete);
    setTabOrder(cmddelete, cmdedit);
    setTabOrder(cmdedit, cmdexit);
    setTabOrder(cmdexit, Searchtxt);
    setTabOrder(Searchtxt, cmdsearch);
    setTabOrder(cmdsearch, WorkerGrid);
    setTabOrder(WorkerGrid, Machine_Combobox);
    WorkerName_Edit->setFocus();

    connect(cmdadd, &QPushButton::clicked, this, &TWorkerForm::cmdaddClick);
    connect(cmddelete, &QPushButton::clicked, this, &TWorkerForm::cmddeleteClick);
    connect(cmdedit, &QPushButton::clicked, this, &TWorkerForm::cmdeditClick);
    connect(cmdexit, &QPushButton::clicked, this, &TWorkerForm::cmdexitClick);
    connect(cmdsearch, &QPushButton::clicked, this, &TWorkerForm::cmdsearchClick);
    connect(WorkerGrid, &toolkit::DataGrid::mousePressed, this, &TWorkerForm::WorkerGridMouseDown);
    // Enter in the name box or the search box moves on to the team list (it starts no search).
    connect(WorkerName_Edit, &QLineEdit::returnPressed, this, &TWorkerForm::WorkerName_EditKeyPress);
    connect(Searchtxt, &QLineEdit::returnPressed, this, &TWorkerForm::WorkerName_EditKeyPress);
}

void TWorkerForm::FormCreate()
{
    // The team list is read when the window opens; teams added later appear when it is opened
    // again, or when a team that has gone away is refused.
    loadTeamNames();
    for (int place = 1; place <= 100; ++place)
        Machine_Combobox->addItem(QString::number(place));
    Machine_Combobox->setCurrentIndex(-1);
    DataRefresh();
    EnterDatePicker->setDate(QDate::currentDate());
}

void TWorkerForm::loadTeamNames()
{
    DeptName_ComboBox->clear();
    if (OpenQuery(DM->DmQuery, kTeamNamesSql)) {
        data::DataSet* teams = DM->DmQuery;
        for (int row = 0; row < teams->recordCount(); ++row)
            DeptName_ComboBox->addItem(teams->value(row, 0).toString());
    }
    DeptName_ComboBox->setCurrentIndex(-1);
}

void TWorkerForm::DataRefresh()
{
    OpenQuery(DM->WorkerQuery, listSql());
}

void TWorkerForm::WorkerGridMouseDown(Qt::MouseButton, Qt::KeyboardModifiers, const QPoint&)
{
    // While WorkerQuery holds a result without the list's columns (the rows of the edit name
    // check, or another window's look-up), a press picks nothing and changes nothing.
    for (int column = 0; column < WorkerGrid->gridColumnCount(); ++column)
        if (WorkerGrid->gridModel()->fieldIndex(column) < 0)
            return;
    // Everything comes from the picked record's fields, not from the cells' display texts.
    const data::DataSet* list = DM->WorkerQuery;
    SelectedWorkerId = KeyParam(list->fieldByName(QStringLiteral("id")));
    SelectedWorkerVersion = RowVersionOf(list);
    WorkerName_Edit->setText(list->fieldByName(QStringLiteral("WorkerName")).asString());
    chooseItem(DeptName_ComboBox, list->fieldByName(QStringLiteral("DeptName")).asString());
    chooseItem(Machine_Combobox, list->fieldByName(QStringLiteral("MachineId")).asString());
    // An empty date (or an empty list) leaves the picker at its date.
    const QDate date = list->fieldByName(QStringLiteral("EnterDate")).asDate();
    if (date.isValid())
        EnterDatePicker->setDate(date);
    cmdedit->setEnabled(true);
}

void TWorkerForm::WorkerName_EditKeyPress()
{
    DeptName_ComboBox->setFocus();
}

bool TWorkerForm::inputComplete()
{
    if (WorkerName_Edit->text().trimmed().isEmpty() || DeptName_ComboBox->currentIndex() < 0) {
        toolkit::ShowStop(kNameTeamEmpty);
        WorkerName_Edit->setFocus();
        return false;
    }
    if (Machine_Combobox->currentIndex() < 0) {
        toolkit::ShowStop(kMachineEmpty);
        Machine_Combobox->setFocus();
        return false;
    }
    return true;
}

bool TWorkerForm::teamNumber(qlonglong* number, bool* gone)
{
    if (!OpenQuery(DM->WorkerQuery, teamNumberSql(), {DeptName_ComboBox->currentText()}))
        return false;
    if (DM->WorkerQuery->isEmpty()) {
        // Renamed or deleted in the team window since this list was read: a worker stored with
        // no team would drop out of every list.
        *gone = true;
        return false;
    }
    *number = DM->WorkerQuery->value(0, 0).toLongLong();
    return true;
}

void TWorkerForm::teamGone()
{
    toolkit::ShowStop(kTeamGone);
    loadTeamNames();
    DeptName_ComboBox->setFocus();
}

void TWorkerForm::clearEntry()
{
    WorkerName_Edit->clear();
    DeptName_ComboBox->setCurrentIndex(-1);
    Machine_Combobox->setCurrentIndex(-1);
}

void TWorkerForm::cmdaddClick()
{
    if (!inputComplete())
        return;
    const QString name = WorkerName_Edit->text();
    const QString team = DeptName_ComboBox->currentText();
    const QString machine = Machine_Combobox->currentText();
    data::DataSet* query = DM->WorkerQuery;

    // A name is taken by any worker of any team.
    if (!OpenQuery(query, kAddNameSql, {name})) {
        DataRefresh();
        return;
    }
    if (query->recordCount() > 0) {
        toolkit::ShowStop(kNameRepeated);
        DataRefresh();
        return;
    }
    // A machine place is taken only by a worker of the chosen team.
    if (!OpenQuery(query, kAddMachineSql, {machine, team})) {
        DataRefresh();
        return;
    }
    if (query->recordCount() > 0) {
        toolkit::ShowStop(kMachineTakenInTeam);
        DataRefresh();
        return;
    }
    // The team's number and the new worker are read and written in one transaction.
    qlonglong deptId = 0;
    bool gone = false;
    const bool added = RunInTransaction([&] {
        if (!teamNumber(&deptId, &gone) ||
            !ExecQuery(query, kAddSql, {name, deptId, machine, EnterDatePicker->date().toString(kDateFormat)}))
            return false;
        const QVariant id = query->lastInsertId();
        QString after;
        return ReadRowValues(kTable, kKeyColumn, id, &after) &&
               LogChange(ChangeLine{change::kAddWorker, kTable, id, QString(), after, QString()});
    });
    if (!added) {
        if (gone)
            teamGone();
        DataRefresh();
        return;
    }
    clearEntry();
    WorkerName_Edit->setFocus();
    DataRefresh();
}

void TWorkerForm::cmdeditClick()
{
    if (SelectedWorkerId.isNull()) {
        toolkit::ShowStop(kPickToChange);
        return;
    }
    if (!inputComplete())
        return;
    const QString name = WorkerName_Edit->text();
    const QString team = DeptName_ComboBox->currentText();
    const QString machine = Machine_Combobox->currentText();
    const QVariant picked = SelectedWorkerId;
    data::DataSet* query = DM->WorkerQuery;

    // Only another worker with this name in the chosen team blocks; the grid then shows the
    // conflicting rows until the next reload.
    if (!OpenQuery(query, kEditNameSql, {picked, name, team})) {
        DataRefresh();
        return;
    }
    if (query->recordCount() > 0) {
        toolkit::ShowStop(kAlreadyInTeam);
        return;
    }
    // Any other worker with another name at this machine place blocks, whatever its team.
    if (!OpenQuery(query, kEditMachineSql, {picked, name, machine})) {
        DataRefresh();
        return;
    }
    if (query->recordCount() > 0) {
        toolkit::ShowStop(kMachineTaken);
        DataRefresh();
        return;
    }
    // The team's number and the worker are read and written in one transaction; the worker only
    // while it is as the list showed it.
    qlonglong deptId = 0;
    bool gone = false;
    bool changedByOther = false;
    // The change record gets the worker's values before and after, unless the save changed none.
    const bool edited = RunInTransaction([&] {
        QString before;
        if (!teamNumber(&deptId, &gone) || !ReadRowValues(kTable, kKeyColumn, picked, &before))
            return false;
        QVariantList params{name, deptId, machine, EnterDatePicker->date().toString(kDateFormat), picked};
        if (!ExecQuery(query, WithRowVersion(kEditSql, &params, SelectedWorkerVersion), params))
            return false;
        const bool written = query->rowsAffected() > 0;
        changedByOther = !written && OtherClerksWrite();
        if (changedByOther)
            return false;
        if (!written)
            return true; // the worker has gone (from a file): nothing changed, nothing to record
        QString after;
        if (!ReadRowValues(kTable, kKeyColumn, picked, &after))
            return false;
        return after == before || LogChange(ChangeLine{change::kEditWorker, kTable, picked, before, after, QString()});
    });
    if (!edited) {
        if (gone)
            teamGone();
        else if (changedByOther)
            ShowChangedByOther();
        DataRefresh();
        return;
    }
    clearEntry();
    WorkerName_Edit->setFocus();
    DataRefresh();
    cmdedit->setEnabled(false);
}

void TWorkerForm::cmddeleteClick()
{
    if (SelectedWorkerId.isNull()) {
        toolkit::ShowStop(kPickToDelete);
        return;
    }
    if (!toolkit::AskDelete())
        return;
    // Only the worker goes; the piece-work records keep their copies of the names. The change record
    // gets the worker's last values in the same transaction; a worker already gone leaves no line.
    bool deleted = false;
    const bool ran = RunInTransaction([&] {
        QString before;
        if (!ReadRowValues(kTable, kKeyColumn, SelectedWorkerId, &before) ||
            !ExecQuery(DM->WorkerQuery, kDeleteSql, {SelectedWorkerId}))
            return false;
        deleted = DM->WorkerQuery->rowsAffected() > 0;
        return !deleted ||
               LogChange(ChangeLine{change::kDeleteWorker, kTable, SelectedWorkerId, before, QString(), QString()});
    });
    if (!ran) {
        DataRefresh();
        return;
    }
    if (!deleted && OtherClerksWrite() && SelectedWorkerVersion.isValid())
        ShowDeletedByOther();
    // The picked row is gone.
    SelectedWorkerVersion = QVariant();
    clearEntry();
    DataRefresh();
    cmdedit->setEnabled(false);
}

void TWorkerForm::cmdsearchClick()
{
    const QString text = Searchtxt->text();
    if (!text.isEmpty()) {
        // "%" and "_" typed by the user match themselves.
        const QString pattern = ContainsPattern(text);
        OpenQuery(DM->WorkerQuery, searchTextSql(), {pattern, pattern, pattern});
    } else {
        OpenQuery(DM->WorkerQuery, searchAllSql());
    }
}
