#include "shell/ChangeLog.h"

#include "data/DataModule.h"
#include "data/DataSet.h"
#include "data/DataSource.h"
#include "data/History.h"
#include "data/Sql.h"
#include "data/SqlText.h"
#include "toolkit/DataGrid.h"

#include <QComboBox>
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalBlocker>

TChangeLogForm* ChangeLogForm = nullptr;

namespace {

const QString kListSql = QStringLiteral(
    "Select Id,ChangedAt,UserName,Host,ChangeKind,TableName,RowKey,OldValues,NewValues,Note From ChangeLog "
    "Where ChangedAt>=? And ChangedAt<?");
const QString kOrder = QStringLiteral(" Order By ChangedAt Desc, Id Desc");
const QString kUsersSql = QStringLiteral("Select Distinct UserName From ChangeLog Where UserName Is Not Null "
                                         "Order By UserName");
// The columns the text filter looks in.
const QStringList kTextColumns{QStringLiteral("TableName"), QStringLiteral("RowKey"), QStringLiteral("OldValues"),
                               QStringLiteral("NewValues"), QStringLiteral("Note")};
const QString kAllKinds = QStringLiteral("全部");
const QString kDateFormat = QStringLiteral("yyyy-MM-dd");

} // namespace

TChangeLogForm::TChangeLogForm(QWidget* parent) : ChildWindow(parent)
{
    ChangeLogForm = this;
    buildControls();
    FormCreate();
}

TChangeLogForm::~TChangeLogForm()
{
    if (ChangeLogForm == this)
        ChangeLogForm = nullptr;
}

void TChangeLogForm::buildControls()
{
    setObjectName(QStringLiteral("ChangeLogForm"));
    setWindowTitle(QStringLiteral("修改记录"));
    setDesignedSize(787, 480);

    LogQuery = new data::DataSet(QStringLiteral("LogQuery"), DM->connection(), this);
    LogSource = new data::DataSource(QStringLiteral("LogSource"), LogQuery, this);

    const auto dateEdit = [this](const QString& name, const QRect& geometry) {
        auto* edit = new QDateEdit(this);
        edit->setObjectName(name);
        edit->setGeometry(geometry);
        edit->setCalendarPopup(true);
        edit->setDisplayFormat(kDateFormat);
        return edit;
    };
    DateLabel = makeLabel(QStringLiteral("DateLabel"), QStringLiteral("日期"), QRect(12, 12, 40, 24));
    DateFrom = dateEdit(QStringLiteral("DateFrom"), QRect(56, 10, 110, 26));
    ToLabel = makeLabel(QStringLiteral("ToLabel"), QStringLiteral("至"), QRect(174, 12, 18, 24));
    DateTo = dateEdit(QStringLiteral("DateTo"), QRect(196, 10, 110, 26));
    UserLabel = makeLabel(QStringLiteral("UserLabel"), QStringLiteral("用户"), QRect(324, 12, 40, 24));
    UserName_ComboBox = new QComboBox(this);
    UserName_ComboBox->setObjectName(QStringLiteral("UserName_ComboBox"));
    UserName_ComboBox->setGeometry(366, 10, 130, 26);
    UserName_ComboBox->setEditable(true);
    UserName_ComboBox->setInsertPolicy(QComboBox::NoInsert);
    UserName_ComboBox->setMaxVisibleItems(20);
    KindLabel = makeLabel(QStringLiteral("KindLabel"), QStringLiteral("修改类别"), QRect(512, 12, 70, 24));
    Kind_ComboBox = new QComboBox(this);
    Kind_ComboBox->setObjectName(QStringLiteral("Kind_ComboBox"));
    Kind_ComboBox->setGeometry(586, 10, 189, 26);
    Kind_ComboBox->setMaxVisibleItems(20);
    Kind_ComboBox->addItems(QStringList{kAllKinds} + change::allKinds());

    TextLabel = makeLabel(QStringLiteral("TextLabel"), QStringLiteral("内容"), QRect(12, 46, 40, 24));
    Text_Edit = new QLineEdit(this);
    Text_Edit->setObjectName(QStringLiteral("Text_Edit"));
    Text_Edit->setGeometry(56, 44, 608, 26);
    cmdsearch = makeButton(QStringLiteral("cmdsearch"), QStringLiteral("查询"), QRect(675, 42, 100, 30));

    LogGrid = new toolkit::DataGrid(this);
    LogGrid->setObjectName(QStringLiteral("LogGrid"));
    LogGrid->setGeometry(6, 80, 775, 268);
    LogGrid->setRowSelect(true);
    LogGrid->setDataSource(LogSource);
    LogGrid->setColumns({
        toolkit::GridColumn{.fieldName = QStringLiteral("ChangedAt"), .title = QStringLiteral("时间"), .width = 140},
        toolkit::GridColumn{.fieldName = QStringLiteral("UserName"), .title = QStringLiteral("用户"), .width = 80},
        toolkit::GridColumn{.fieldName = QStringLiteral("Host"), .title = QStringLiteral("计算机"), .width = 90},
        toolkit::GridColumn{
            .fieldName = QStringLiteral("ChangeKind"), .title = QStringLiteral("修改类别"), .width = 100},
        toolkit::GridColumn{.fieldName = QStringLiteral("TableName"), .title = QStringLiteral("数据表"), .width = 80},
        toolkit::GridColumn{.fieldName = QStringLiteral("RowKey"), .title = QStringLiteral("关键字"), .width = 70},
        toolkit::GridColumn{.fieldName = QStringLiteral("OldValues"), .title = QStringLiteral("修改前"), .width = 240},
        toolkit::GridColumn{.fieldName = QStringLiteral("NewValues"), .title = QStringLiteral("修改后"), .width = 240},
        toolkit::GridColumn{.fieldName = QStringLiteral("Note"), .title = QStringLiteral("说明"), .width = 160},
    });

    LineDetail = new QPlainTextEdit(this);
    LineDetail->setObjectName(QStringLiteral("LineDetail"));
    LineDetail->setGeometry(6, 354, 775, 78);
    LineDetail->setReadOnly(true);
    LineDetail->setLineWrapMode(QPlainTextEdit::WidgetWidth);

    cmdexit = makeExitButton(QRect(675, 440, 100, 30));
    setTabOrder(DateFrom, DateTo);
    setTabOrder(DateTo, UserName_ComboBox);
    setTabOrder(UserName_ComboBox, Kind_ComboBox);
    setTabOrder(Kind_ComboBox, Text_Edit);
    setTabOrder(Text_Edit, cmdsearch);
    setTabOrder(cmdsearch, LogGrid);
    setTabOrder(LogGrid, LineDetail);
    setTabOrder(LineDetail, cmdexit);

    connect(cmdsearch, &QPushButton::clicked, this, &TChangeLogForm::cmdsearchClick);
    connect(cmdexit, &QPushButton::clicked, this, &TChangeLogForm::cmdexitClick);
    // Enter in the text searches, as "查询" does.
    connect(Text_Edit, &QLineEdit::returnPressed, this, &TChangeLogForm::cmdsearchClick);
    connect(LogQuery, &data::DataSet::currentChanged, this, &TChangeLogForm::showLineDetail);
    connect(LogQuery, &data::DataSet::rowsChanged, this, &TChangeLogForm::showLineDetail);
}

void TChangeLogForm::FormCreate()
{
    const QDate today = QDate::currentDate();
    DateFrom->setDate(QDate(today.year(), today.month(), 1));
    DateTo->setDate(today);
    fillUsers();
    DataRefresh();
}

void TChangeLogForm::fillUsers()
{
    data::DataSet users(QStringLiteral("LogUsers"), DM->connection());
    if (!OpenQuery(&users, kUsersSql))
        return;
    QStringList names;
    for (int row = 0; row < users.recordCount(); ++row)
        names << users.value(row, 0).toString();
    const QSignalBlocker quiet(UserName_ComboBox);
    UserName_ComboBox->clear();
    UserName_ComboBox->addItems(names);
    UserName_ComboBox->setCurrentIndex(-1);
    UserName_ComboBox->clearEditText();
}

QString TChangeLogForm::searchSql(const QDate& from, const QDate& to, const QString& user, const QString& kind,
                                  const QString& text, QVariantList* params)
{
    // ChangedAt is "yyyy-MM-dd HH:mm:ss" text: the day after the last one closes the range.
    *params = {from.toString(kDateFormat), to.addDays(1).toString(kDateFormat)};
    QString sql = kListSql;
    if (!user.isEmpty()) {
        sql += QStringLiteral(" And UserName=?");
        *params << user;
    }
    if (!kind.isEmpty() && kind != kAllKinds) {
        sql += QStringLiteral(" And ChangeKind=?");
        *params << kind;
    }
    if (!text.isEmpty()) {
        QStringList terms;
        const QString pattern = ContainsPattern(text);
        for (const QString& column : kTextColumns) {
            terms << column + QStringLiteral(" like ?") + kLikeEscape;
            *params << pattern;
        }
        sql += QStringLiteral(" And (") + terms.join(QStringLiteral(" Or ")) + QLatin1Char(')');
    }
    return sql + kOrder;
}

void TChangeLogForm::DataRefresh()
{
    QVariantList params;
    const QString sql = searchSql(DateFrom->date(), DateTo->date(), UserName_ComboBox->currentText().trimmed(),
                                  Kind_ComboBox->currentText(), Text_Edit->text(), &params);
    if (OpenQuery(LogQuery, sql, params))
        LogQuery->first();
}

void TChangeLogForm::showLineDetail()
{
    QStringList lines;
    if (LogQuery->isActive() && LogQuery->recNo() > 0) {
        const auto add = [&](const QString& caption, const char* field) {
            const QString value = LogQuery->fieldByName(QString::fromLatin1(field)).asString();
            if (!value.isEmpty())
                lines << caption + value;
        };
        add(QStringLiteral("修改前："), "OldValues");
        add(QStringLiteral("修改后："), "NewValues");
        add(QStringLiteral("说明："), "Note");
    }
    LineDetail->setPlainText(lines.join(QLatin1Char('\n')));
}
