#include "shell/Online.h"

#include "data/ClientName.h"
#include "data/Connection.h"
#include "data/DataModule.h"
#include "data/DataSet.h"
#include "data/DataSource.h"
#include "data/Engine.h"
#include "data/Sql.h"
#include "toolkit/DataGrid.h"
#include "toolkit/MessageBox.h"

#include <QDateTime>
#include <QMetaObject>
#include <QPushButton>

TOnlineForm* OnlineForm = nullptr;

namespace {

// The client connections to this database, oldest first. The server's own columns are read as they
// are; the empty texts are filled with what the user reads (see fillShownColumns). A server-only
// statement: the window opens only on a server.
const QString kListSql = QStringLiteral(
    "SELECT pid AS Pid, application_name AS AppName, ''::text AS UserName, ''::text AS Computer, "
    "host(client_addr) AS Address, client_port AS Port, extract(epoch FROM backend_start)::bigint AS StartedAt, "
    "''::text AS ConnectTime, state AS State, ''::text AS StateText, pid = pg_backend_pid() AS Own, "
    "''::text AS OwnMark "
    "FROM pg_stat_activity WHERE datname = current_database() AND backend_type = 'client backend' "
    "ORDER BY backend_start, pid");

const QString kLocalSocket = QStringLiteral("本机（套接字）");
const QString kNotLoggedIn = QStringLiteral("（未登录）");
const QString kOwnMark = QStringLiteral("√");
const QString kNoServer = QStringLiteral("对不起，在线用户只能在连接数据库服务器时查看!");

} // namespace

TOnlineForm::TOnlineForm(QWidget* parent) : ChildWindow(parent)
{
    OnlineForm = this;
    buildControls();
    FormCreate();
}

TOnlineForm::~TOnlineForm()
{
    if (OnlineForm == this)
        OnlineForm = nullptr;
}

bool TOnlineForm::refuseWithoutServer()
{
    if (data::namesServer(data::Connection::dataSource()))
        return false;
    toolkit::ShowStop(kNoServer);
    return true;
}

void TOnlineForm::buildControls()
{
    setObjectName(QStringLiteral("OnlineForm"));
    setWindowTitle(QStringLiteral("在线用户"));
    setDesignedSize(660, 320);

    OnlineQuery = new data::DataSet(QStringLiteral("OnlineQuery"), DM->connection(), this);
    OnlineSource = new data::DataSource(QStringLiteral("OnlineSource"), OnlineQuery, this);

    OnlineGrid = new toolkit::DataGrid(this);
    OnlineGrid->setObjectName(QStringLiteral("OnlineGrid"));
    OnlineGrid->setGeometry(12, 10, 636, 252);
    OnlineGrid->setRowSelect(true);
    OnlineGrid->setDataSource(OnlineSource);
    OnlineGrid->setColumns({
        toolkit::GridColumn{.fieldName = QStringLiteral("UserName"), .title = QStringLiteral("用户"), .width = 110},
        toolkit::GridColumn{.fieldName = QStringLiteral("Computer"), .title = QStringLiteral("计算机"), .width = 130},
        toolkit::GridColumn{.fieldName = QStringLiteral("Address"), .title = QStringLiteral("地址"), .width = 120},
        toolkit::GridColumn{
            .fieldName = QStringLiteral("ConnectTime"), .title = QStringLiteral("连接时间"), .width = 140},
        toolkit::GridColumn{.fieldName = QStringLiteral("StateText"), .title = QStringLiteral("状态"), .width = 70},
        toolkit::GridColumn{.fieldName = QStringLiteral("OwnMark"),
                            .title = QStringLiteral("本连接"),
                            .width = 52,
                            .alignment = Qt::AlignCenter},
    });

    cmdrefresh = makeButton(QStringLiteral("cmdrefresh"), QStringLiteral("刷新"), QRect(428, 276, 100, 30));
    cmdexit = makeExitButton(QRect(548, 276, 100, 30));
    setTabOrder(cmdrefresh, cmdexit);
    setTabOrder(cmdexit, OnlineGrid);

    connect(cmdrefresh, &QPushButton::clicked, this, &TOnlineForm::cmdrefreshClick);
    connect(cmdexit, &QPushButton::clicked, this, &TOnlineForm::cmdexitClick);
}

void TOnlineForm::FormCreate()
{
    if (refuseWithoutServer()) {
        // Nothing to list: the window goes as soon as it has been handed to the workspace.
        cmdrefresh->setEnabled(false);
        QMetaObject::invokeMethod(this, &TOnlineForm::closeWindow, Qt::QueuedConnection);
        return;
    }
    DataRefresh();
}

void TOnlineForm::DataRefresh()
{
    if (!OpenQuery(OnlineQuery, kListSql))
        return;
    fillShownColumns();
    OnlineQuery->first();
}

QString TOnlineForm::stateText(const QString& state, bool known)
{
    // Another role's connections hide their details unless the server lets this role read them.
    if (!known)
        return QStringLiteral("（无权查看）");
    if (state == QLatin1String("idle"))
        return QStringLiteral("空闲");
    if (state == QLatin1String("active") || state == QLatin1String("fastpath function call"))
        return QStringLiteral("执行中");
    if (state == QLatin1String("idle in transaction"))
        return QStringLiteral("事务中");
    if (state == QLatin1String("idle in transaction (aborted)"))
        return QStringLiteral("事务出错");
    if (state == QLatin1String("disabled"))
        return QStringLiteral("未记录");
    return state;
}

void TOnlineForm::fillShownColumns()
{
    data::DataSet* list = OnlineQuery;
    const int appName = list->findField(QStringLiteral("AppName"));
    const int userName = list->findField(QStringLiteral("UserName"));
    const int computer = list->findField(QStringLiteral("Computer"));
    const int address = list->findField(QStringLiteral("Address"));
    const int port = list->findField(QStringLiteral("Port"));
    const int startedAt = list->findField(QStringLiteral("StartedAt"));
    const int connectTime = list->findField(QStringLiteral("ConnectTime"));
    const int state = list->findField(QStringLiteral("State"));
    const int shownState = list->findField(QStringLiteral("StateText"));
    const int own = list->findField(QStringLiteral("Own"));
    const int ownMark = list->findField(QStringLiteral("OwnMark"));
    for (int row = 0; row < list->recordCount(); ++row) {
        const QString name = list->value(row, appName).toString();
        const data::ClientName client = data::readApplicationName(name);
        list->setValue(row, userName, !client.ours ? name : client.user.isEmpty() ? kNotLoggedIn : client.user);
        list->setValue(row, computer, client.host);
        // A connection through the server's local socket has no address and port -1.
        if (list->isNull(row, address) && !list->isNull(row, port) && list->value(row, port).toLongLong() == -1)
            list->setValue(row, address, kLocalSocket);
        if (!list->isNull(row, startedAt))
            list->setValue(row, connectTime,
                           QDateTime::fromSecsSinceEpoch(list->value(row, startedAt).toLongLong())
                               .toLocalTime()
                               .toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")));
        list->setValue(row, shownState, stateText(list->value(row, state).toString(), !list->isNull(row, state)));
        list->setValue(row, ownMark, list->value(row, own).toLongLong() == 1 ? kOwnMark : QString());
    }
}
