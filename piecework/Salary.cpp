#include "piecework/Salary.h"

#include "data/DataModule.h"
#include "data/DataSet.h"
#include "data/History.h"
#include "data/Sql.h"
#include "data/SqlText.h"
#include "piecework/Produce.h"
#include "toolkit/DataGrid.h"
#include "toolkit/MessageBox.h"

#include <QComboBox>
#include <QDateEdit>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <cmath>

TDataAddForm* DataAddForm = nullptr;

// The step's records are found through the index on style, step and date; the grouping must not
// walk the worker index instead, which would read every record.
const QString stepclaim::kStyleCount = QStringLiteral("Select ProductCount From Product Where Kind=?");
QString stepclaim::workers(data::Dialect dialect)
{
    return QStringLiteral("Select WorkerName, Sum(ProductCount) AS Expr1001 From Salary "
                          "Where KindId=? And Process=? And id<>? Group By ") +
           data::unindexedTerm(dialect, QStringLiteral("WorkerName"));
}

namespace {

// The record list: newest first. A search keeps the remembered sort and breaks its ties by key,
// newest first, so that the order of a list is always the same. Each row comes with its version.
QString listSql()
{
    return QStringLiteral("Select  *") + data::rowVersionTerm(CurrentDialect()) +
           QStringLiteral(" From Salary Order by id desc");
}
QString searchSelect()
{
    return QStringLiteral("Select *") + data::rowVersionTerm(CurrentDialect()) + QStringLiteral(" From Salary");
}
const QString kMachineFilter = QStringLiteral("Machineid = ?");
const QString kKindFilter = QStringLiteral("KindId = ?");
const QString kDefaultOrder = QStringLiteral("Id Desc");
const QString kKeyField = QStringLiteral("id");

// The opening steps and the look-ups.
const QString kTeamsSql = QStringLiteral("Select DeptName From Dept Order by id");
const QString kStylesSql = QStringLiteral("Select Kind From Product Order by Kind Desc");
const QString kStyleSql = QStringLiteral("Select KindName,Process From Product Where Kind=?");
const QString kStepNameSql = QStringLiteral("Select ProcessName From Process Where Productid=? And Process=?");
const QString kStyleStepsSql = QStringLiteral("Select Process From Process Where Productid=?");

// Adding, editing and deleting a record.
const QString kAddSql =
    QStringLiteral("Insert Into Salary (DeptName,MachineId,WorkerName,Kindid,KindName,Process,ProcessName,"
                   "ProcessSize,ProductCount,ProcessDate) Values (?,?,?,?,?,?,?,?,?,?)");
const QString kEditSql =
    QStringLiteral("Update Salary Set DeptName=?,MachineId=?,WorkerName=?,Kindid=?,KindName=?,Process=?,"
                   "ProcessName=?,ProcessSize=?,ProductCount=?,ProcessDate=? Where id=?");
// A record is deleted only while it still has the date its month was checked for: a record that
// another clerk moved meanwhile, perhaps into a closed month, stays.
const QString kDeleteSql = QStringLiteral("Delete From Salary Where Id =? And ProcessDate=?");
// The stored date of a record about to be edited or deleted. It is read without a row lock: the
// month's lock comes first, as in a price application, which takes the month's lock and then the
// rows' (the other order would let the two wait for each other). The edit is guarded by the row's
// version, the delete by the date.
const QString kStoredDateSql = QStringLiteral("Select ProcessDate From Salary Where id=?");
const QString kTable = QStringLiteral("Salary");

const QString kStoredStepSql = QStringLiteral("Select KindId,Process,ProductCount From Salary Where id=?");

const QString kTeamEmpty = QStringLiteral("对不起，班组不能为空!");
const QString kMachineEmpty = QStringLiteral("对不起，车床位不能为空!");
const QString kNoWorker = QStringLiteral("对不起，此车床位并未分配员工!");
const QString kKindEmpty = QStringLiteral("对不起，款式号不能为空!");
const QString kStepEmpty = QStringLiteral("对不起，工序号不能为空!");
const QString kCountBad = QStringLiteral("对不起，数量不能为空并且必须为数字!");
const QString kSizeBad = QStringLiteral("对不起，码数必须为数字!");
const QString kPickToDelete = QStringLiteral("对不起，请选择所要删除的数据!");
const QString kCannotAdd = QStringLiteral("对不起，数量必须为整数才能累加!");
const QString kNotSaved = QStringLiteral("数据没有保存，所填内容仍在，请修改后重试。");

const QString kStepPrefix = QStringLiteral("工序");
const QString kDateFormat = QStringLiteral("yyyy-MM-dd");

// Chooses the entry equal to text, or nothing when none is; runs no change action.
void chooseItem(QComboBox* box, const QString& text)
{
    box->setCurrentIndex(box->findText(text, Qt::MatchFixedString));
}

QComboBox* makeDropDown(QWidget* parent, const QString& name, const QRect& geometry)
{
    auto* box = new QComboBox(parent);
    box->setObjectName(name);
    box->setGeometry(geometry);
    return box;
}

QLineEdit* makeEdit(QWidget* parent, const QString& name, const QRect& geometry)
{
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(name);
    edit->setGeometry(geometry);
    return edit;
}

// A list statement: its conditions with their values and its order ("ProcessDate DESC").
struct ListStatement {
    QStringList conditions;
    QVariantList params;
    QString sortText;

    QString where() const
    {
        return conditions.isEmpty() ? QString() : QStringLiteral(" Where ") + conditions.join(QStringLiteral(" And "));
    }
    QString orderBy() const
    {
        if (sortText.isEmpty())
            return kDefaultOrder;
        const QString field = sortText.section(QLatin1Char(' '), 0, 0);
        if (field.compare(kKeyField, Qt::CaseInsensitive) == 0)
            return sortText;
        return sortText + QStringLiteral(", ") + kDefaultOrder;
    }
    QString sql() const { return searchSelect() + where() + QStringLiteral(" Order By ") + orderBy(); }
    // The rows of the list whose key is past ? or equals ?.
    QString patchSql() const
    {
        const QString keys = QStringLiteral("(id > ? Or id = ?)");
        return searchSelect() + QStringLiteral(" Where ") +
               (conditions.isEmpty()
                    ? keys
                    : QLatin1Char('(') + conditions.join(QStringLiteral(" And ")) + QStringLiteral(") And ") + keys);
    }
    QList<data::OrderTerm> order() const
    {
        QList<data::OrderTerm> terms;
        for (const QString& term : orderBy().split(QLatin1Char(','))) {
            const QStringList words = term.simplified().split(QLatin1Char(' '));
            terms.append({words.at(0),
                          words.size() > 1 && words.at(1).compare(QLatin1String("DESC"), Qt::CaseInsensitive) == 0});
        }
        return terms;
    }
};

// A record as stored before a change: its date and its values as the change record keeps them.
struct StoredRecord {
    bool found = false;
    QDate date;
    QString values;
};

// Reads the record with key id on query; false after the failure box.
bool readStoredRecord(data::DataSet* query, const QVariant& id, StoredRecord* stored)
{
    if (!OpenQuery(query, kStoredDateSql, {id}))
        return false;
    stored->found = !query->isEmpty();
    stored->date = stored->found ? query->field(0).asDate() : QDate();
    return !stored->found || ReadRowValues(kTable, kKeyField, id, &stored->values);
}

// The dataset holds the result of this statement with these values.
bool holdsList(const data::DataSet* set, const QString& sql, const QVariantList& params)
{
    return set->isActive() && set->sql() == sql && set->params() == params;
}

} // namespace

TDataAddForm::TDataAddForm(QWidget* parent) : ChildWindow(parent)
{
    DataAddForm = this;
    m_write = new data::DataSet(QStringLiteral("DataAddWrite"), DM->connection(), this);
    buildControls();
    FormCreate();
}

TDataAddForm::~TDataAddForm()
{
    if (DM)
        DM->DataAddQuery->follow({});
    if (DataAddForm == this)
        DataAddForm = nullptr;
}

Qt::WindowFlags TDataAddForm::frameFlags() const
{
    return Qt::SubWindow | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
           Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint;
}

void TDataAddForm::buildControls()
{
    setObjectName(QStringLiteral("DataAddForm"));
    setWindowTitle(QStringLiteral("计件数据"));
    setDesignedSize(790, 542);

    SalaryGrid = new toolkit::DataGrid(this);
    SalaryGrid->setObjectName(QStringLiteral("SalaryGrid"));
    SalaryGrid->setGeometry(0, 0, 790, 300);
    SalaryGrid->setRowSelect(false);
    SalaryGrid->setMultiSelect(true);
    SalaryGrid->setDataSource(DM->DataAddSource);
    const auto column = [](const char* field, const QString& title, int width, const QString& mask = QString(),
                           Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignVCenter) {
        return toolkit::GridColumn{.fieldName = QLatin1String(field),
                                   .title = title,
                                   .width = width,
                                   .displayMask = mask,
                                   .alignment = alignment};
    };
    // The widths fill the grid's width beside its scroll bar.
    SalaryGrid->setColumns({
        column("DeptName", QStringLiteral("班组名称"), 72),
        column("MachineId", QStringLiteral("车床位"), 52),
        column("WorkerName", QStringLiteral("员工名称"), 72),
        column("KindId", QStringLiteral("款式号"), 72),
        column("KindName", QStringLiteral("款式名称"), 112),
        column("Process", QStringLiteral("工序号"), 60),
        column("ProcessName", QStringLiteral("工序名称"), 117),
        column("ProcessSize", QStringLiteral("码数"), 48, QStringLiteral("0"), Qt::AlignCenter),
        column("ProductCount", QStringLiteral("数量"), 60, QStringLiteral("0"), Qt::AlignRight | Qt::AlignVCenter),
        column("ProcessDate", QStringLiteral("完成日期"), 96, kDateFormat),
        toolkit::GridColumn{.fieldName = QStringLiteral("id"), .width = 0, .visible = false},
    });

    // "计件数据": team, machine place, style; step, size, date; quantity.
    GroupBox1 = new QGroupBox(QStringLiteral("计件数据"), this);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    GroupBox1->setGeometry(8, 306, 774, 128);
    const int labelW = 84, boxW = 150, rowH = 24;
    const int col1 = 12, col2 = 268, col3 = 524;
    const int row1 = 22, row2 = 58, row3 = 94;
    const auto label = [this](const QString& name, const QString& text, int x, int y) {
        return toolkit::makeFieldLabel(GroupBox1, name, text, QRect(x, y, 84, 24));
    };
    DeptName_Label = label(QStringLiteral("DeptName_Label"), QStringLiteral("班组名称："), col1, row1);
    DeptName_ComboBox =
        makeDropDown(GroupBox1, QStringLiteral("DeptName_ComboBox"), QRect(col1 + labelW, row1, boxW, rowH));
    Machine_Label = label(QStringLiteral("Machine_Label"), QStringLiteral("车床位："), col2, row1);
    Machine_Combobox =
        makeDropDown(GroupBox1, QStringLiteral("Machine_Combobox"), QRect(col2 + labelW, row1, boxW, rowH));
    Kind_Label = label(QStringLiteral("Kind_Label"), QStringLiteral("款式号："), col3, row1);
    Kind_ComboBox = makeDropDown(GroupBox1, QStringLiteral("Kind_ComboBox"), QRect(col3 + labelW, row1, boxW, rowH));
    Process_Label = label(QStringLiteral("Process_Label"), QStringLiteral("工 序 号："), col1, row2);
    Process_combobox =
        makeDropDown(GroupBox1, QStringLiteral("Process_combobox"), QRect(col1 + labelW, row2, boxW, rowH));
    Size_Label = label(QStringLiteral("Size_Label"), QStringLiteral(" 码 数："), col2, row2);
    process_size = makeEdit(GroupBox1, QStringLiteral("process_size"), QRect(col2 + labelW, row2, boxW, rowH));
    Date_Label = label(QStringLiteral("Date_Label"), QStringLiteral(" 日  期："), col3, row2);
    ProcessDate = new QDateEdit(GroupBox1);
    ProcessDate->setObjectName(QStringLiteral("ProcessDate"));
    ProcessDate->setGeometry(col3 + labelW, row2, boxW, rowH);
    ProcessDate->setCalendarPopup(true);
    ProcessDate->setDisplayFormat(kDateFormat);
    Count_Label = label(QStringLiteral("Count_Label"), QStringLiteral(" 数  量："), col1, row3);
    ProcessCount = makeEdit(GroupBox1, QStringLiteral("ProcessCount"), QRect(col1 + labelW, row3, boxW, rowH));
    ProcessCount->installEventFilter(this);

    // "查询": machine place and style.
    GroupBox2 = new QGroupBox(QStringLiteral("查询"), this);
    GroupBox2->setObjectName(QStringLiteral("GroupBox2"));
    GroupBox2->setGeometry(8, 440, 774, 56);
    Machine2_Label = toolkit::makeFieldLabel(GroupBox2, QStringLiteral("Machine2_Label"), QStringLiteral("车床位："),
                                             QRect(col1, 22, labelW, rowH));
    machine_ComboBox2 =
        makeDropDown(GroupBox2, QStringLiteral("machine_ComboBox2"), QRect(col1 + labelW, 22, boxW, rowH));
    Kind2_Label = toolkit::makeFieldLabel(GroupBox2, QStringLiteral("Kind2_Label"), QStringLiteral("款式号："),
                                          QRect(col2, 22, labelW, rowH));
    Kind_ComboBox2 = makeDropDown(GroupBox2, QStringLiteral("Kind_ComboBox2"), QRect(col2 + labelW, 22, boxW, rowH));
    cmdsearch = toolkit::makePushButton(GroupBox2, QStringLiteral("cmdsearch"), QStringLiteral("查询"),
                                        QRect(col3 + 40, 18, 96, 30));
    Refresh = toolkit::makePushButton(GroupBox2, QStringLiteral("Refresh"), QStringLiteral("刷新"),
                                      QRect(col3 + 146, 18, 96, 30));

    // The row of buttons.
    cmdadd = makeButton(QStringLiteral("cmdadd"), QStringLiteral("新增"), QRect(150, 504, 96, 30));
    cmddel = makeButton(QStringLiteral("cmddel"), QStringLiteral("删除"), QRect(256, 504, 96, 30));
    cmdedit = makeButton(QStringLiteral("cmdedit"), QStringLiteral("编辑"), QRect(362, 504, 96, 30));
    cmdedit->setEnabled(false);
    NewProduct = makeButton(QStringLiteral("NewProduct"), QStringLiteral("新增产品"), QRect(468, 504, 96, 30));
    cmdexit = makeExitButton(QRect(574, 504, 96, 30));

    // Grid, entry fields, buttons, search fields.
    QWidget* order[] = {SalaryGrid,  DeptName_ComboBox, Machine_Combobox, Kind_ComboBox, Process_combobox, process_size,
                        ProcessDate, ProcessCount,      cmdadd,           cmddel,        cmdedit,          NewProduct,
                        cmdexit,     machine_ComboBox2, Kind_ComboBox2,   cmdsearch,     Refresh};
    for (size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);

    // The change actions answer the user's choices only; choices the program makes run none.
    connect(DeptName_ComboBox, &QComboBox::activated, this, &TDataAddForm::DeptName_ComboBoxChange);
    connect(Machine_Combobox, &QComboBox::activated, this, &TDataAddForm::Machine_ComboboxChange);
    connect(Kind_ComboBox, &QComboBox::activated, this, &TDataAddForm::Kind_ComboBoxChange);
    connect(Process_combobox, &QComboBox::activated, this, &TDataAddForm::Process_comboboxChange);
    connect(SalaryGrid, &toolkit::DataGrid::mousePressed, this, &TDataAddForm::SalaryGridMouseDown);
    connect(SalaryGrid, &toolkit::DataGrid::titleClicked, this, &TDataAddForm::SalaryGridTitleClick);
    connect(cmdadd, &QPushButton::clicked, this, &TDataAddForm::cmdaddClick);
    connect(cmddel, &QPushButton::clicked, this, &TDataAddForm::cmddelClick);
    connect(cmdedit, &QPushButton::clicked, this, &TDataAddForm::cmdeditClick);
    connect(cmdsearch, &QPushButton::clicked, this, &TDataAddForm::cmdsearchClick);
    connect(Refresh, &QPushButton::clicked, this, &TDataAddForm::RefreshClick);
    connect(NewProduct, &QPushButton::clicked, this, &TDataAddForm::NewProductClick);
    connect(cmdexit, &QPushButton::clicked, this, &TDataAddForm::closeWindow);
}

void TDataAddForm::FormCreate()
{
    for (QComboBox* box : {DeptName_ComboBox, Machine_Combobox, machine_ComboBox2, Kind_ComboBox, Kind_ComboBox2})
        box->clear();
    WorkerName.clear();
    KindName.clear();
    ProcessName.clear();
    if (OpenQuery(DM->DmQuery, kTeamsSql))
        for (int row = 0; row < DM->DmQuery->recordCount(); ++row)
            DeptName_ComboBox->addItem(DM->DmQuery->value(row, 0).toString());
    for (int place = 1; place <= 100; ++place) {
        Machine_Combobox->addItem(QString::number(place));
        machine_ComboBox2->addItem(QString::number(place));
    }
    if (OpenQuery(DM->DmQuery, kStylesSql))
        for (int row = 0; row < DM->DmQuery->recordCount(); ++row) {
            const QString kind = DM->DmQuery->value(row, 0).toString();
            Kind_ComboBox->addItem(kind);
            Kind_ComboBox2->addItem(kind);
        }
    for (QComboBox* box : {DeptName_ComboBox, Machine_Combobox, machine_ComboBox2, Kind_ComboBox, Kind_ComboBox2})
        box->setCurrentIndex(-1);
    RunningTotal = 0;
    ProcessDate->setDate(QDate::currentDate());
    DataRefresh();
}

void TDataAddForm::DataRefresh(const QString& sql, const QVariantList& params)
{
    if (sql.isEmpty())
        OpenQuery(DM->DataAddQuery, listSql());
    else
        OpenQuery(DM->DataAddQuery, sql, params);
    // The list shown takes other clerks' records as they save them.
    const bool defaultList = sql.isEmpty() || sql == listSql();
    const ListStatement list =
        defaultList ? ListStatement{} : ListStatement{m_searchConditions, SearchParams, m_searchSort};
    DM->DataAddQuery->follow(data::followList(QStringLiteral("Salary"), defaultList ? listSql() : sql, kKeyField,
                                              list.order(), list.patchSql(), list.params));
}

// ---- Look-ups ----------------------------------------------------------------------------------------

void TDataAddForm::DeptName_ComboBoxChange()
{
    findWorker();
}

void TDataAddForm::Machine_ComboboxChange()
{
    findWorker();
}

void TDataAddForm::findWorker()
{
    // The worker always belongs to the team and place shown: whatever was found for an earlier
    // choice goes first.
    WorkerName.clear();
    const QString team = DeptName_ComboBox->currentText();
    const QString place = Machine_Combobox->currentText();
    if (team.isEmpty() || place.isEmpty())
        return;
    if (OpenQuery(DM->DmQuery, kWorkerAtPlaceSql, WorkerAtPlaceParams(team, place)) && !DM->DmQuery->isEmpty())
        WorkerName = DM->DmQuery->value(0, 0).toString();
}

void TDataAddForm::Kind_ComboBoxChange()
{
    const QString kind = Kind_ComboBox->currentText();
    if (kind.isEmpty())
        return;
    if (!OpenQuery(DM->DmQuery, kStyleSql, {kind}) || DM->DmQuery->isEmpty()) {
        KindName.clear();
        return;
    }
    KindName = DM->DmQuery->fieldByName(QStringLiteral("KindName")).asString();
    const qint64 steps = DM->DmQuery->fieldByName(QStringLiteral("Process")).asInteger();
    Process_combobox->clear();
    for (qint64 step = 1; step <= steps; ++step)
        Process_combobox->addItem(kStepPrefix + QString::number(step));
    Process_combobox->setCurrentIndex(-1);
}

void TDataAddForm::Process_comboboxChange()
{
    const QString step = Process_combobox->currentText();
    if (step.isEmpty())
        return;
    ProcessName.clear();
    if (OpenQuery(DM->DmQuery, kStepNameSql, {Kind_ComboBox->currentText(), step}) && !DM->DmQuery->isEmpty())
        ProcessName = DM->DmQuery->fieldByName(QStringLiteral("ProcessName")).asString();
}

// ---- The quantity box's running total ------------------------------------------------------------

bool TDataAddForm::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == ProcessCount && event->type() == QEvent::KeyPress)
        return ProcessCountKeyPress(static_cast<QKeyEvent*>(event)->key());
    return toolkit::ChildWindow::eventFilter(watched, event);
}

bool TDataAddForm::ProcessCountKeyPress(int key)
{
    // The number in the box; a box left empty or holding only the "+" of the last addition
    // counts as nothing typed.
    const QString text = ProcessCount->text();
    const bool nothingTyped = text.isEmpty() || text == QLatin1String("+");
    if (key == Qt::Key_Plus) {
        if (!IsInteger(text)) {
            toolkit::ShowStop(kCannotAdd);
            return true;
        }
        RunningTotal += IntegerValue(text);
        // The "+" is then typed into the emptied box: the next number reads +7.
        ProcessCount->clear();
        return false;
    }
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        if (!nothingTyped && !IsInteger(text)) {
            toolkit::ShowStop(kCannotAdd);
            return true;
        }
        ProcessCount->setText(QString::number(RunningTotal + (nothingTyped ? 0 : IntegerValue(text))));
        RunningTotal = 0;
        return true;
    }
    return false;
}

// ---- The record list -------------------------------------------------------------------------------

void TDataAddForm::SalaryGridTitleClick(int, const QString& sortText)
{
    if (!sortText.isEmpty())
        SortText = sortText;
}

void TDataAddForm::SalaryGridMouseDown(Qt::MouseButton, Qt::KeyboardModifiers, const QPoint&)
{
    const data::DataSet* list = DM->DataAddQuery;
    // An empty list, or another result in the shared dataset: nothing to pick.
    const QVariant id = KeyParam(list->fieldByName(kKeyField));
    if (!id.isValid() || list->findField(QStringLiteral("ProcessDate")) < 0)
        return;
    const auto text = [list](const char* field) { return list->fieldByName(QLatin1String(field)).asString(); };
    ClickedId = id;
    ClickedVersion = RowVersionOf(list);
    chooseItem(DeptName_ComboBox, text("DeptName"));
    chooseItem(Machine_Combobox, text("MachineId"));
    WorkerName = text("WorkerName");
    const QString kind = text("KindId");
    chooseItem(Kind_ComboBox, kind);
    KindName = text("KindName");
    if (!kind.isEmpty()) {
        // The step list of the record's style as stored, not the style's step count.
        Process_combobox->clear();
        if (OpenQuery(DM->DmQuery, kStyleStepsSql, {kind}))
            for (int row = 0; row < DM->DmQuery->recordCount(); ++row)
                Process_combobox->addItem(DM->DmQuery->value(row, 0).toString());
    }
    chooseItem(Process_combobox, text("Process"));
    ProcessName = text("ProcessName");
    process_size->setText(text("ProcessSize"));
    const QDate date = list->fieldByName(QStringLiteral("ProcessDate")).asDate();
    if (date.isValid())
        ProcessDate->setDate(date);
    ProcessCount->setText(text("ProductCount"));
    cmdedit->setEnabled(true);
}

// ---- Add, edit, delete -------------------------------------------------------------------------------

bool TDataAddForm::fieldsValid()
{
    const auto refuse = [](const QString& message, QWidget* focus) {
        toolkit::ShowStop(message);
        if (focus)
            focus->setFocus();
        return false;
    };
    if (DeptName_ComboBox->currentText().isEmpty())
        return refuse(kTeamEmpty, DeptName_ComboBox);
    if (Machine_Combobox->currentText().isEmpty())
        return refuse(kMachineEmpty, Machine_Combobox);
    if (WorkerName.isEmpty())
        return refuse(kNoWorker, nullptr);
    if (Kind_ComboBox->currentText().isEmpty())
        return refuse(kKindEmpty, Kind_ComboBox);
    if (Process_combobox->currentText().isEmpty())
        return refuse(kStepEmpty, Process_combobox);
    const QString count = ProcessCount->text();
    if (count.isEmpty() || !IsInteger(count))
        return refuse(kCountBad, ProcessCount);
    return true;
}

bool TDataAddForm::recordValues(QVariantList* values)
{
    if (process_size->text().isEmpty())
        process_size->setText(QStringLiteral("0"));
    bool isNumber = false;
    const double size = process_size->text().trimmed().toDouble(&isNumber);
    if (!isNumber || !std::isfinite(size)) {
        toolkit::ShowStop(kSizeBad);
        process_size->setFocus();
        return false;
    }
    // A whole size is stored as the whole number it is.
    const QVariant storedSize =
        size == std::floor(size) && std::fabs(size) < 1e15 ? QVariant(qint64(size)) : QVariant(size);
    *values = {DeptName_ComboBox->currentText(),
               Machine_Combobox->currentText().toLongLong(),
               WorkerName,
               Kind_ComboBox->currentText(),
               KindName,
               Process_combobox->currentText(),
               ProcessName,
               storedSize,
               IntegerValue(ProcessCount->text()),
               ProcessDate->date()};
    return true;
}

void TDataAddForm::clearChoices()
{
    for (QComboBox* box : {DeptName_ComboBox, Machine_Combobox, Kind_ComboBox, Process_combobox})
        box->setCurrentIndex(-1);
    process_size->clear();
    ProcessDate->setDate(QDate::currentDate());
    ProcessCount->clear();
    WorkerName.clear();
    KindName.clear();
    ProcessName.clear();
}

void TDataAddForm::reloadAfterChange(const QVariant& changedKey, int changes)
{
    // The list that a reload shows: the remembered search, or the default list.
    // (The default list has no conditions and the default order, newest first.)
    ListStatement list;
    QString sql = listSql();
    if (!SearchSql.isEmpty()) {
        list = {m_searchConditions, SearchParams, m_searchSort};
        sql = SearchSql;
    }
    data::DataSet* set = DM->DataAddQuery;
    if (holdsList(set, sql, list.params)) {
        data::RowPatch patch{.keyField = kKeyField,
                             .order = list.order(),
                             .sql = list.patchSql(),
                             .params = list.params,
                             .changedKey = changedKey,
                             .changes = changes};
        if (set->patchRows(patch))
            return;
    }
    DataRefresh(sql, list.params);
}

bool ReadStepClaim(data::DataSet* query, const QString& kind, const QString& step, const QVariant& exceptId,
                   const QString& worker, qint64 count, StepClaim* claim)
{
    *claim = StepClaim{};
    if (!OpenQuery(query, stepclaim::kStyleCount, {kind}))
        return false;
    claim->limit = query->isEmpty() ? 0 : query->field(0).asInteger();
    if (claim->limit <= 0)
        return true; // no limit: the records need not be read
    if (!OpenQuery(query, stepclaim::workers(CurrentDialect()),
                   {kind, step, exceptId.isValid() ? exceptId : QVariant(qint64(0))}))
        return false;
    // The saved record's pieces go to its worker; the names compare as the database compares them.
    claim->total = count;
    bool workerSeen = false;
    const auto consider = [claim](const QString& name, qint64 pieces) {
        // Of two with as many pieces, the first name in the alphabet, so the answer is always the same.
        if (pieces > claim->topCount ||
            (pieces == claim->topCount && (claim->topWorker.isEmpty() || name.compare(claim->topWorker) < 0))) {
            claim->topWorker = name;
            claim->topCount = pieces;
        }
    };
    for (int row = 0; row < query->recordCount(); ++row) {
        const QString name = query->value(row, 0).toString();
        qint64 pieces = query->value(row, 1).toLongLong();
        claim->total += pieces;
        if (!workerSeen && name.compare(worker, Qt::CaseInsensitive) == 0) {
            pieces += count;
            workerSeen = true;
        }
        consider(name, pieces);
    }
    if (!workerSeen)
        consider(worker, count);
    query->close();
    return true;
}

QString OverClaimQuestion(const QString& step, const StepClaim& claim)
{
    return QStringLiteral("该款式%1已录入%2件，超过产品件数%3件，是否仍要保存?\n录入最多的是：%4（%5件）")
        .arg(step)
        .arg(claim.total)
        .arg(claim.limit)
        .arg(claim.topWorker)
        .arg(claim.topCount);
}

TDataAddForm::OverClaim TDataAddForm::overClaimAccepted(const QVariant& exceptId)
{
    const QString kind = Kind_ComboBox->currentText();
    const QString step = Process_combobox->currentText();
    const qint64 count = IntegerValue(ProcessCount->text());
    if (exceptId.isValid()) {
        // An edit that keeps the record's style and step and adds no pieces to it is not asked
        // about again: the step's total does not grow.
        if (!OpenQuery(m_write, kStoredStepSql, {exceptId}))
            return OverClaim::Failed;
        const bool sameStep = !m_write->isEmpty() &&
                              m_write->field(0).asString().compare(kind, Qt::CaseInsensitive) == 0 &&
                              m_write->field(1).asString().compare(step, Qt::CaseInsensitive) == 0;
        const bool noMore = sameStep && count <= m_write->field(2).asInteger();
        m_write->close();
        if (noMore)
            return OverClaim::Save;
    }
    StepClaim claim;
    if (!ReadStepClaim(m_write, kind, step, exceptId, WorkerName, count, &claim))
        return OverClaim::Failed;
    if (!claim.over())
        return OverClaim::Save;
    return toolkit::MessageBox(OverClaimQuestion(step, claim), QStringLiteral("提示"),
                               QMessageBox::Yes | QMessageBox::No, toolkit::MsgIcon::Question) == QMessageBox::Yes
               ? OverClaim::Save
               : OverClaim::No;
}

bool TDataAddForm::overClaimAllowsSave(const QVariant& exceptId)
{
    const OverClaim answer = overClaimAccepted(exceptId);
    if (answer == OverClaim::Failed)
        toolkit::ShowStop(kNotSaved); // the fields stay as typed, as after a failed save
    return answer == OverClaim::Save;
}

void TDataAddForm::cmdaddClick()
{
    if (!fieldsValid())
        return;
    QVariantList values;
    if (!recordValues(&values))
        return;
    // Asked before the transaction, so that no question holds it open. Another clerk may add to the
    // step meanwhile; the question is a warning, not a rule.
    if (!overClaimAllowsSave(QVariant()))
        return;
    // The month's check, the record and its line in the change record commit together.
    QVariant added;
    int changes = 0;
    const bool saved = RunInTransaction([&] {
        if (!MonthsOpen({ProcessDate->date()}, data::MonthHold::Entry) || !ExecQuery(m_write, kAddSql, values))
            return false;
        added = m_write->lastInsertId();
        changes = m_write->rowsAffected() + kChangeLogRows;
        QString after;
        return ReadRowValues(kTable, kKeyField, added, &after) &&
               LogChange({change::kAddRecord, kTable, added, QString(), after, QString()});
    });
    if (!saved) {
        // The fields stay as typed, for another try.
        toolkit::ShowStop(kNotSaved);
        return;
    }
    process_size->clear();
    ProcessDate->setDate(QDate::currentDate());
    ProcessCount->clear();
    reloadAfterChange(added, changes);
    DeptName_ComboBox->setFocus();
}

void TDataAddForm::cmdeditClick()
{
    if (!fieldsValid())
        return;
    QVariantList values;
    if (!recordValues(&values))
        return;
    if (!overClaimAllowsSave(ClickedId))
        return;
    values << ClickedId;
    const QString sql = WithRowVersion(kEditSql, &values, ClickedVersion);
    bool changedByOther = false;
    int changes = 0;
    const bool saved = RunInTransaction([&] {
        StoredRecord stored;
        if (!readStoredRecord(m_write, ClickedId, &stored))
            return false;
        // Neither the month the record leaves nor the month it moves into may be closed.
        QList<QDate> months{ProcessDate->date()};
        if (stored.found)
            months << stored.date;
        if (!MonthsOpen(months, data::MonthHold::Entry) || !ExecQuery(m_write, sql, values))
            return false;
        changes = m_write->rowsAffected();
        if (changes == 0) {
            // Another clerk changed or deleted the record since it was picked: nothing is saved.
            changedByOther = OtherClerksWrite();
            return !changedByOther;
        }
        QString after;
        if (!ReadRowValues(kTable, kKeyField, ClickedId, &after))
            return false;
        if (after == stored.values)
            return true; // saved as it was: nothing to record
        changes += kChangeLogRows;
        return LogChange({change::kEditRecord, kTable, ClickedId, stored.values, after, QString()});
    });
    if (changedByOther) {
        // The fields stay as typed.
        ShowChangedByOther();
        return;
    }
    if (!saved) {
        toolkit::ShowStop(kNotSaved);
        return;
    }
    clearChoices();
    reloadAfterChange(ClickedId, changes);
    cmdedit->setEnabled(false);
}

void TDataAddForm::cmddelClick()
{
    if (!ClickedId.isValid()) {
        toolkit::ShowStop(kPickToDelete);
        return;
    }
    if (!toolkit::AskDelete())
        return;
    const QVariant target = ClickedId;
    bool alreadyGone = false;
    bool movedByOther = false;
    int changes = 0;
    const bool deleted = RunInTransaction([&] {
        StoredRecord stored;
        if (!readStoredRecord(m_write, target, &stored))
            return false;
        if (!stored.found) {
            alreadyGone = true;
            return true;
        }
        if (!MonthsOpen({stored.date}, data::MonthHold::Entry) ||
            !ExecQuery(m_write, kDeleteSql, {target, stored.date.toString(kDateFormat)}))
            return false;
        if (m_write->rowsAffected() == 0) {
            // Another clerk moved or deleted the record after it was read: nothing is deleted.
            movedByOther = true;
            return false;
        }
        changes = m_write->rowsAffected() + kChangeLogRows;
        return LogChange({change::kDeleteRecord, kTable, target, stored.values, QString(), QString()});
    });
    if (movedByOther)
        ShowChangedByOther();
    if (!deleted)
        return; // the record and the fields stay
    // The record is gone: a second "删除" has nothing to act on.
    ClickedId = QVariant();
    ClickedVersion = QVariant();
    if (alreadyGone && OtherClerksWrite())
        ShowDeletedByOther();
    clearChoices();
    reloadAfterChange(target, changes);
    cmdedit->setEnabled(false);
}

// ---- Search ------------------------------------------------------------------------------------------

void TDataAddForm::cmdsearchClick()
{
    ListStatement list;
    list.sortText = SortText;
    const QString place = machine_ComboBox2->currentText();
    const QString kind = Kind_ComboBox2->currentText();
    // Each chosen field filters on its own; none chosen: every record.
    if (!place.isEmpty()) {
        list.conditions << kMachineFilter;
        list.params << place.toLongLong();
    }
    if (!kind.isEmpty()) {
        list.conditions << kKindFilter;
        list.params << kind;
    }
    SearchSql = list.sql();
    SearchParams = list.params;
    m_searchSort = list.sortText;
    m_searchConditions = list.conditions;
    DataRefresh(SearchSql, SearchParams);
}

void TDataAddForm::RefreshClick()
{
    DataRefresh();
}

void TDataAddForm::NewProductClick()
{
    TProduceForm* form = TProduceForm::OpenFromEntry(this);
    connect(form, &TProduceForm::entryReloadRequested, this, &TDataAddForm::FormCreate);
}
