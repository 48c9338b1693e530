#include "shell/MAIN.h"

#include "data/Backup.h"
#include "data/DataModule.h"
#include "data/Engine.h"
#include "data/History.h"
#include "data/LoginIdentity.h"
#include "data/Sql.h"
#include "masterdata/Dept.h"
#include "masterdata/Password.h"
#include "masterdata/Worker.h"
#include "piecework/MonthClose.h"
#include "piecework/Produce.h"
#include "piecework/Salary.h"
#include "platform/ProgramDir.h"
#include "reports/Query.h"
#include "shell/About.h"
#include "shell/ChangeLog.h"
#include "shell/Connect.h"
#include "shell/DorvikFunction.h"
#include "shell/Login.h"
#include "shell/Online.h"
#include "toolkit/ChildWindow.h"
#include "toolkit/MessageBox.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLayout>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QScreen>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <algorithm>

TMainForm* MainForm = nullptr;

namespace {

QIcon programIcon(const QString& fileName)
{
    return QIcon(platform::programFile(QStringLiteral("icon/") + fileName));
}

// The frame of a child window in the workspace. It is released when it closes, which releases the
// window inside it; a window that closes itself (its own "退出" button) closes its frame with it.
class ChildFrame : public QMdiSubWindow {
public:
    explicit ChildFrame(QWidget* child)
    {
        setAttribute(Qt::WA_DeleteOnClose);
        setWidget(child);
        child->installEventFilter(this);
    }

protected:
    void closeEvent(QCloseEvent* event) override
    {
        m_closing = true;
        QMdiSubWindow::closeEvent(event); // asks the window inside, which may refuse
        m_closing = false;
    }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == widget() && event->type() == QEvent::Close && !m_closing) {
            // The window decides first; when it agrees to close, its frame closes with it.
            m_closing = true;
            QCoreApplication::sendEvent(watched, event);
            if (event->isAccepted())
                close();
            m_closing = false;
            return true;
        }
        return QMdiSubWindow::eventFilter(watched, event);
    }

private:
    bool m_closing = false;
};

} // namespace

TMainForm::TMainForm(QWidget* parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("MainForm"));
    setWindowTitle(toolkit::kSystemCaption);
    setWindowIcon(programIcon(QStringLiteral("dorvik.png")));
    QFont songFace(QStringLiteral("宋体"));
    songFace.setPointSize(9);
    setFont(songFace);

    Workspace = new QMdiArea(this);
    Workspace->setObjectName(QStringLiteral("Workspace"));
    Workspace->setActivationOrder(QMdiArea::CreationOrder);
    Workspace->setBackground(palette().brush(QPalette::Dark)); // the workspace colour without a wallpaper
    setCentralWidget(Workspace);

    buildMenu();
    buildToolbar();
    buildStatusBar();
    buildTrayIcon();

    StatusTimer = new QTimer(this);
    StatusTimer->setObjectName(QStringLiteral("StatusTimer"));
    StatusTimer->setInterval(1000);
    connect(StatusTimer, &QTimer::timeout, this, &TMainForm::StatusTimerTimer);
    StatusTimer->start();

    connect(Workspace, &QMdiArea::subWindowActivated, this, &TMainForm::updateWindowMenu);
    updateWindowMenu();
    // Windows opened by other windows (a product window from the piece-work entry) land here too.
    toolkit::ChildWindow::setHost([this](toolkit::ChildWindow* child) { presentChild(child); });

    resize(808, 608);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    FormCreate();
}

TMainForm::~TMainForm()
{
    toolkit::ChildWindow::setHost({});
    // The workspace and its frames go before the rest of the window, while their signals can still
    // reach a whole main window; afterwards nothing of theirs may call back into it.
    disconnect(Workspace, nullptr, this, nullptr);
    for (QMdiSubWindow* frame : childFrames())
        disconnect(frame, nullptr, this, nullptr);
    delete Workspace;
    if (MainForm == this)
        MainForm = nullptr;
}

void TMainForm::buildMenu()
{
    MainMenu = new QMenuBar(this);
    MainMenu->setObjectName(QStringLiteral("MainMenu"));
    setMenuBar(MainMenu);

    const auto subMenu = [this](const char* name, const QString& caption) {
        QMenu* menu = MainMenu->addMenu(caption);
        menu->setObjectName(QString::fromLatin1(name));
        menu->menuAction()->setObjectName(QString::fromLatin1(name));
        menu->menuAction()->setStatusTip(caption);
        return menu;
    };
    const auto item = [this](QMenu* menu, const char* name, const QString& caption, const QKeySequence& shortcut,
                             bool enabled, const QString& iconFile) {
        auto* action = new QAction(caption, this);
        action->setObjectName(QString::fromLatin1(name));
        action->setStatusTip(caption);
        action->setToolTip(caption);
        action->setShortcut(shortcut);
        action->setEnabled(enabled);
        if (!iconFile.isEmpty())
            action->setIcon(programIcon(iconFile));
        menu->addAction(action);
        return action;
    };
    const auto separator = [](QMenu* menu, const char* name) {
        QAction* line = menu->addSeparator();
        line->setObjectName(QString::fromLatin1(name));
        return line;
    };
    const QKeySequence none;

    BaseData = subMenu("BaseData", QStringLiteral("基本资料"));
    PackHouse = item(BaseData, "PackHouse", QStringLiteral("仓库资料"), none, false, {});
    Dept = item(BaseData, "Dept", QStringLiteral("班组设置"), QKeySequence(Qt::CTRL | Qt::Key_D), true,
                QStringLiteral("system-users.png"));
    Worker = item(BaseData, "Worker", QStringLiteral("员工资料"), QKeySequence(Qt::CTRL | Qt::Key_W), true,
                  QStringLiteral("contact-new.png"));
    Customer = item(BaseData, "Customer", QStringLiteral("客户资料"), none, false, {});
    N1 = separator(BaseData, "N1");
    ProduceProcess = item(BaseData, "ProduceProcess", QStringLiteral("产品工序"), QKeySequence(Qt::CTRL | Qt::Key_P),
                          true, QStringLiteral("emblem-package.png"));

    Depot = MainMenu->addAction(QStringLiteral("库存管理"));
    Depot->setObjectName(QStringLiteral("Depot"));
    Depot->setStatusTip(Depot->text());
    Depot->setEnabled(false);

    SystemSetting = subMenu("SystemSetting", QStringLiteral("系统设置"));
    StartUp = item(SystemSetting, "StartUp", QStringLiteral("开机时自启动"), none, true, {});
    StartUp->setCheckable(true);
    UserRole = item(SystemSetting, "UserRole", QStringLiteral("用户权限管理"), QKeySequence(Qt::CTRL | Qt::Key_E), true,
                    QStringLiteral("dialog-password.png"));
    N2 = separator(SystemSetting, "N2");
    DataInit =
        item(SystemSetting, "DataInit", QStringLiteral("数据初始化"), QKeySequence(Qt::CTRL | Qt::Key_I), false, {});
    DataBackup = item(SystemSetting, "DataBackup", QStringLiteral("数据库备份"), QKeySequence(Qt::CTRL | Qt::Key_B),
                      true, QStringLiteral("document-save.png"));
    DataGiveBack = item(SystemSetting, "DataGiveBack", QStringLiteral("数据库恢复"), none, true,
                        QStringLiteral("document-revert.png"));
    DataConnect = item(SystemSetting, "DataConnect", QStringLiteral("数据库连接"), none, true, {});
    OnlineUsers = item(SystemSetting, "OnlineUsers", QStringLiteral("在线用户"), none, false, {});
    ChangeLog = item(SystemSetting, "ChangeLog", QStringLiteral("修改记录"), none, true, {});

    N3 = subMenu("N3", QStringLiteral("工序计件"));
    DataAdd =
        item(N3, "DataAdd", QStringLiteral("计件数据"), none, true, QStringLiteral("accessories-text-editor.png"));
    MonthClose = item(N3, "MonthClose", QStringLiteral("月度结账"), none, true, {});

    N5 = subMenu("N5", QStringLiteral("查询统计"));
    SalaryQuery = item(N5, "SalaryQuery", QStringLiteral("数据查询"), none, true, QStringLiteral("system-search.png"));
    N9 = item(N5, "N9", QStringLiteral("图形统计"), none, false, {});

    Window1 = subMenu("Window1", QStringLiteral("窗口"));
    WindowCascadeItem = item(Window1, "WindowCascadeItem", QStringLiteral("层叠窗口"), none, false,
                             QStringLiteral("preferences-system-windows.png"));
    WindowTileItem = item(Window1, "WindowTileItem", QStringLiteral("水平平铺"), none, false, {});
    WindowTileItem2 = item(Window1, "WindowTileItem2", QStringLiteral("垂直平铺"), none, false, {});
    WindowMinimizeItem = item(Window1, "WindowMinimizeItem", QStringLiteral("最小化所有窗口"), none, false, {});
    WindowArrangeItem = item(Window1, "WindowArrangeItem", QStringLiteral("重新排列"), none, false, {});
    m_windowListSeparator = Window1->addSeparator();
    m_windowListSeparator->setVisible(false);

    Help1 = subMenu("Help1", QStringLiteral("帮助"));
    HelpAboutItem = item(Help1, "HelpAboutItem", QStringLiteral("关于"), none, true, QStringLiteral("help-about.png"));

    ExitMenu = subMenu("ExitMenu", QStringLiteral("退出系统"));
    ExitSystem =
        item(ExitMenu, "ExitSystem", QStringLiteral("退出系统"), none, true, QStringLiteral("application-exit.png"));

    connect(Dept, &QAction::triggered, this, &TMainForm::DeptClick);
    connect(Worker, &QAction::triggered, this, &TMainForm::WorkerClick);
    connect(ProduceProcess, &QAction::triggered, this, &TMainForm::ProduceProcessClick);
    connect(StartUp, &QAction::triggered, this, &TMainForm::StartUpClick);
    connect(UserRole, &QAction::triggered, this, &TMainForm::UserRoleClick);
    connect(DataBackup, &QAction::triggered, this, &TMainForm::DataBackupClick);
    connect(DataGiveBack, &QAction::triggered, this, &TMainForm::DataGiveBackClick);
    connect(DataConnect, &QAction::triggered, this, &TMainForm::DataConnectClick);
    connect(OnlineUsers, &QAction::triggered, this, &TMainForm::OnlineUsersClick);
    connect(ChangeLog, &QAction::triggered, this, &TMainForm::ChangeLogClick);
    connect(DataAdd, &QAction::triggered, this, &TMainForm::DataAddClick);
    connect(MonthClose, &QAction::triggered, this, &TMainForm::MonthCloseClick);
    connect(SalaryQuery, &QAction::triggered, this, &TMainForm::SalaryQueryClick);
    connect(WindowCascadeItem, &QAction::triggered, Workspace, &QMdiArea::cascadeSubWindows);
    connect(WindowTileItem, &QAction::triggered, this, [this] { tileChildren(Qt::Horizontal); });
    connect(WindowTileItem2, &QAction::triggered, this, [this] { tileChildren(Qt::Vertical); });
    connect(WindowMinimizeItem, &QAction::triggered, this, &TMainForm::minimizeChildren);
    connect(WindowArrangeItem, &QAction::triggered, this, &TMainForm::arrangeIcons);
    connect(Window1, &QMenu::aboutToShow, this, &TMainForm::updateWindowMenu);
    connect(HelpAboutItem, &QAction::triggered, this, &TMainForm::HelpAbout1Execute);
    connect(ExitSystem, &QAction::triggered, this, &TMainForm::ExitSystemClick);
}

void TMainForm::buildToolbar()
{
    RzToolbar = new QToolBar(this);
    RzToolbar->setObjectName(QStringLiteral("RzToolbar"));
    RzToolbar->setMovable(false);
    RzToolbar->setFloatable(false);
    RzToolbar->setFixedHeight(29);
    RzToolbar->setIconSize(QSize(20, 20));
    RzToolbar->setContextMenuPolicy(Qt::PreventContextMenu);
    addToolBar(Qt::TopToolBarArea, RzToolbar);

    const auto button = [this](const char* name, const QString& hint, const QString& iconFile,
                               void (TMainForm::*handler)()) {
        auto* b = new QToolButton(RzToolbar);
        b->setObjectName(QString::fromLatin1(name));
        b->setIcon(programIcon(iconFile));
        b->setToolTip(hint);
        b->setStatusTip(hint);
        b->setAutoRaise(true);
        b->setFixedSize(25, 25);
        b->setFocusPolicy(Qt::NoFocus);
        connect(b, &QToolButton::clicked, this, handler);
        RzToolbar->addWidget(b);
        return b;
    };
    const auto spacer = [this](const char* name) {
        auto* gap = new QWidget(RzToolbar);
        gap->setObjectName(QString::fromLatin1(name));
        gap->setFixedWidth(10);
        RzToolbar->addWidget(gap);
        return gap;
    };
    Dept_Btn =
        button("Dept_Btn", QStringLiteral("班组设置"), QStringLiteral("system-users.png"), &TMainForm::DeptClick);
    Worker_Btn =
        button("Worker_Btn", QStringLiteral("员工资料"), QStringLiteral("contact-new.png"), &TMainForm::WorkerClick);
    RzSpacer1 = spacer("RzSpacer1");
    Prodoct_Btn = button("Prodoct_Btn", QStringLiteral("产品工序"), QStringLiteral("emblem-package.png"),
                         &TMainForm::ProduceProcessClick);
    User_Btn = button("User_Btn", QStringLiteral("用户权限设置"), QStringLiteral("dialog-password.png"),
                      &TMainForm::UserRoleClick);
    RzSpacer2 = spacer("RzSpacer2");
    DataAdd_Btn = button("DataAdd_Btn", QStringLiteral("计件数据"), QStringLiteral("accessories-text-editor.png"),
                         &TMainForm::DataAddClick);
    Query_Btn = button("Query_Btn", QStringLiteral("数据查询"), QStringLiteral("system-search.png"),
                       &TMainForm::SalaryQueryClick);
    RzSpacer3 = spacer("RzSpacer3");
    Btn8 =
        button("Btn8", QStringLiteral("退出系统"), QStringLiteral("application-exit.png"), &TMainForm::ExitSystemClick);
}

void TMainForm::buildStatusBar()
{
    StatusBar = new QStatusBar(this);
    StatusBar->setObjectName(QStringLiteral("StatusBar"));
    setStatusBar(StatusBar);
    for (int i = 0; i < 3; ++i) {
        StatusPanel[i] = new QLabel(StatusBar);
        StatusPanel[i]->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
        StatusPanel[i]->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        StatusPanel[i]->setIndent(2);
    }
    // The hint 150 pixels, the clock 100 (wider only as far as its text needs, so that the time is
    // never cut off), the middle panel the rest of the bar.
    StatusPanel[0]->setFixedWidth(150);
    StatusPanel[1]->setMinimumWidth(1);
    StatusPanel[1]->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    fitClockPanel();
    StatusBar->addWidget(StatusPanel[0]);
    StatusBar->addWidget(StatusPanel[1], 1);
    StatusBar->addWidget(StatusPanel[2]);
}

void TMainForm::fitClockPanel()
{
    StatusPanel[2]->setFixedWidth(std::max(kClockPanelWidth, StatusPanel[2]->sizeHint().width()));
}

void TMainForm::buildTrayIcon()
{
    PopupMenu = new QMenu(this);
    PopupMenu->setObjectName(QStringLiteral("PopupMenu"));
    const auto item = [this](const char* name, const QString& caption) {
        QAction* action = PopupMenu->addAction(caption);
        action->setObjectName(QString::fromLatin1(name));
        action->setStatusTip(caption);
        return action;
    };
    ShowMain = item("ShowMain", QStringLiteral("启动主程序"));
    N6 = PopupMenu->addSeparator();
    N6->setObjectName(QStringLiteral("N6"));
    PopAbout = item("PopAbout", QStringLiteral("关于"));
    N10 = PopupMenu->addSeparator();
    N10->setObjectName(QStringLiteral("N10"));
    PopExit = item("PopExit", QStringLiteral("退出"));
    connect(ShowMain, &QAction::triggered, this, &TMainForm::ShowMainClick);
    connect(PopAbout, &QAction::triggered, this, &TMainForm::PopAboutClick);
    connect(PopExit, &QAction::triggered, this, &TMainForm::PopExitClick);

    RzTrayIcon = new QSystemTrayIcon(programIcon(QStringLiteral("dorvik.png")), this);
    RzTrayIcon->setObjectName(QStringLiteral("RzTrayIcon"));
    RzTrayIcon->setToolTip(toolkit::kSystemCaption);
    RzTrayIcon->setContextMenu(PopupMenu);
    if (QSystemTrayIcon::isSystemTrayAvailable())
        RzTrayIcon->show();
}

void TMainForm::FormCreate()
{
    StartUp->setChecked(ReadAutoRun() == 1);
    // Only this exact role text restricts anything.
    if (LoginIsOperator()) {
        DataBackup->setEnabled(false);
        DataGiveBack->setEnabled(false);
        DataConnect->setEnabled(false);
        ChangeLog->setEnabled(false);
        MonthClose->setEnabled(false);
    }
    updateServerItems();
    StatusPanel[1]->setText(QStringLiteral(" 当前用户：%1　角色：%2").arg(LoginUser, LoginRole));
    loadWallpaper();
    m_dm = new TDM(this);
}

// The wallpaper tiles the workspace from its top-left corner. A missing, unreadable or empty picture
// leaves the plain workspace colour.
void TMainForm::loadWallpaper()
{
    QPixmap picture;
    if (!picture.load(platform::programFile(QStringLiteral("icon/wallpaper.bmp"))) || picture.isNull() ||
        picture.width() <= 0 || picture.height() <= 0)
        return;
    Image1 = picture;
    Workspace->setBackground(QBrush(Image1));
}

bool TMainForm::event(QEvent* event)
{
    // The hint of the menu item or button under the pointer goes to the first panel.
    if (event->type() == QEvent::StatusTip) {
        StatusPanel[0]->setText(static_cast<QStatusTipEvent*>(event)->tip());
        return true;
    }
    return QMainWindow::event(event);
}

void TMainForm::StatusTimerTimer()
{
    const QDateTime now = QDateTime::currentDateTime();
    StatusPanel[2]->setText(QStringLiteral(" 系统时间：") + now.toString(QStringLiteral("yyyy-MM-dd")) +
                            QLatin1Char(' ') + now.toString(QStringLiteral("HH:mm:ss")));
    fitClockPanel();
}

// ---- Child windows -------------------------------------------------------------------------------
// Each handler below is the one place where its window opens; until the window's class exists it
// opens nothing. Wiring one is a single line: the commented openChild call (with its header included).

void TMainForm::DeptClick()
{
    emit childWindowRequested(QStringLiteral("TDeptForm"));
    openChild(DeptForm);
}

void TMainForm::WorkerClick()
{
    emit childWindowRequested(QStringLiteral("TWorkerForm"));
    openChild(WorkerForm);
}

void TMainForm::ProduceProcessClick()
{
    emit childWindowRequested(QStringLiteral("TProduceForm"));
    openChild(ProduceForm);
}

void TMainForm::UserRoleClick()
{
    emit childWindowRequested(QStringLiteral("TPasswordForm"));
    openChild(PasswordForm);
}

void TMainForm::SalaryQueryClick()
{
    emit childWindowRequested(QStringLiteral("TQueryForm"));
    openChild(QueryForm);
}

void TMainForm::openDataAddForm()
{
    emit childWindowRequested(QStringLiteral("TDataAddForm"));
    openChild(DataAddForm);
}

// The piece-work entry needs teams, styles and workers: the first that is missing is named, its
// window opens, and the entry window does not. A failed count has been reported by the statement
// helper; then nothing opens, since nothing is known about the tables.
void TMainForm::DataAddClick()
{
    struct Check {
        QString sql;
        QString message;
        void (TMainForm::*openWindow)();
    };
    const Check checks[] = {
        {QStringLiteral("Select count(*)  From Dept"), QStringLiteral("对不起，请先添加部门!"), &TMainForm::DeptClick},
        {QStringLiteral("Select count(*) As id From Product"), QStringLiteral("对不起，请先添加产品!"),
         &TMainForm::ProduceProcessClick},
        {QStringLiteral("Select count(*) As id From Worker"), QStringLiteral("对不起，请先添加员工!"),
         &TMainForm::WorkerClick},
    };
    for (const Check& check : checks) {
        if (!OpenQuery(DM->DmQuery, check.sql))
            return;
        if (DM->DmQuery->field(0).asInteger() == 0) {
            toolkit::ShowStop(check.message);
            (this->*check.openWindow)();
            return;
        }
    }
    openDataAddForm();
}

QList<QMdiSubWindow*> TMainForm::childFrames() const
{
    return Workspace->subWindowList(QMdiArea::CreationOrder);
}

void TMainForm::presentChild(toolkit::ChildWindow* child)
{
    adoptChild(child);
    showChild(child);
    QMdiSubWindow* frame = toolkit::childFrame(child);
    frame->move(toolkit::centredIn(Workspace->viewport()->rect(), frame->size()));
}

void TMainForm::adoptChild(toolkit::ChildWindow* child)
{
    // The window keeps the size it was designed with; the frame grows around it.
    const QSize designed = child->testAttribute(Qt::WA_Resized) ? child->size() : child->sizeHint();
    auto* frame = new ChildFrame(child);
    // The window's own title-bar buttons rather than the workspace's usual ones.
    frame->setWindowFlags(child->frameFlags());
    if (!child->testAttribute(Qt::WA_SetWindowIcon))
        frame->setWindowIcon(windowIcon()); // the program's picture rather than the toolkit's
    Workspace->addSubWindow(frame);
    if (designed.isValid()) {
        frame->layout()->activate();
        frame->resize(frame->size() + designed - child->size());
    }
    // The list under "窗口" follows once the frame is gone from the workspace.
    connect(frame, &QObject::destroyed, this,
            [this] { QMetaObject::invokeMethod(this, &TMainForm::updateWindowMenu, Qt::QueuedConnection); });
}

void TMainForm::showChild(QWidget* child)
{
    QMdiSubWindow* frame = toolkit::childFrame(child);
    if (!frame)
        return;
    if (frame->isMinimized())
        frame->showNormal();
    else
        frame->show();
    Workspace->setActiveSubWindow(frame);
    frame->raise();
    updateWindowMenu();
}

void TMainForm::updateWindowMenu()
{
    const QList<QMdiSubWindow*> frames = childFrames();
    const bool any = !frames.isEmpty();
    for (QAction* action : {WindowCascadeItem, WindowTileItem, WindowTileItem2, WindowMinimizeItem, WindowArrangeItem})
        action->setEnabled(any);

    qDeleteAll(m_windowListActions);
    m_windowListActions.clear();
    m_windowListSeparator->setVisible(any);
    int number = 0;
    for (QMdiSubWindow* frame : frames) {
        QAction* entry = Window1->addAction(QStringLiteral("&%1 %2").arg(++number).arg(frame->windowTitle()));
        entry->setObjectName(QStringLiteral("WindowListItem%1").arg(number));
        entry->setCheckable(true);
        entry->setChecked(frame == Workspace->activeSubWindow());
        const QPointer<QMdiSubWindow> target(frame);
        connect(entry, &QAction::triggered, this, [this, target] {
            if (target)
                showChild(target->widget());
        });
        m_windowListActions << entry;
    }
}

// "水平平铺": each window as wide as the workspace, one below the other; "垂直平铺": side by side.
void TMainForm::tileChildren(Qt::Orientation orientation)
{
    QList<QMdiSubWindow*> frames;
    for (QMdiSubWindow* frame : childFrames())
        if (frame->isVisible() && !frame->isMinimized())
            frames << frame;
    if (frames.isEmpty())
        return;
    const QRect area = Workspace->viewport()->rect();
    const int n = int(frames.size());
    for (int i = 0; i < n; ++i) {
        QMdiSubWindow* frame = frames.at(i);
        if (frame->isMaximized())
            frame->showNormal();
        if (orientation == Qt::Horizontal) {
            const int top = area.height() * i / n;
            frame->setGeometry(0, top, area.width(), area.height() * (i + 1) / n - top);
        } else {
            const int left = area.width() * i / n;
            frame->setGeometry(left, 0, area.width() * (i + 1) / n - left, area.height());
        }
    }
}

void TMainForm::minimizeChildren()
{
    for (QMdiSubWindow* frame : childFrames())
        frame->showMinimized();
    arrangeIcons();
}

// Minimised windows line up along the bottom of the workspace from the left, row above row.
void TMainForm::arrangeIcons()
{
    const QRect area = Workspace->viewport()->rect();
    int x = 0;
    int rowBottom = area.bottom() + 1;
    int rowHeight = 0;
    for (QMdiSubWindow* frame : childFrames()) {
        if (!frame->isMinimized())
            continue;
        const QSize size = frame->size();
        if (x > 0 && x + size.width() > area.width()) {
            x = 0;
            rowBottom -= rowHeight;
            rowHeight = 0;
        }
        frame->move(x, rowBottom - size.height());
        x += size.width();
        rowHeight = std::max(rowHeight, size.height());
    }
}

// ---- System settings -----------------------------------------------------------------------------

void TMainForm::StartUpClick()
{
    // The item has already changed its check mark when this runs.
    if (StartUp->isChecked())
        AutoRunOn();
    else
        AutoRunOff();
}

void TMainForm::DataBackupClick()
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const data::CopyOutcome outcome = data::backupDatabase(*DM->connection(), data::backupFilePath());
    QApplication::restoreOverrideCursor();
    if (outcome.ok)
        toolkit::ShowInfo(QStringLiteral("数据备份成功......"));
    else
        toolkit::ShowStop(outcome.message);
}

void TMainForm::DataGiveBackClick()
{
    const QString backupFile = data::backupFilePath();
    // The backup's modification time, which the restore's line in the change record names.
    const QDateTime backupTime = QFileInfo(backupFile).lastModified();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const data::CopyOutcome outcome = data::restoreDatabase(*DM->connection(), backupFile);
    QApplication::restoreOverrideCursor();
    // The restored database records its restore: the first line after the backup's own.
    if (outcome.ok)
        RunInTransaction([&] {
            return LogChange(ChangeLine{change::kRestore, QStringLiteral("*"), QVariant(), QString(), QString(),
                                        QStringLiteral("由备份文件 %1 恢复（备份文件的修改时间：%2）")
                                            .arg(QDir::toNativeSeparators(backupFile),
                                                 backupTime.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")))});
        });
    if (outcome.ok)
        toolkit::ShowInfo(QStringLiteral("数据恢复成功......"));
    else
        toolkit::ShowStop(outcome.message);
}

void TMainForm::DataConnectClick()
{
    emit childWindowRequested(QStringLiteral("TConnectForm"));
    openChild(ConnectForm);
}

void TMainForm::OnlineUsersClick()
{
    emit childWindowRequested(QStringLiteral("TOnlineForm"));
    if (TOnlineForm::refuseWithoutServer())
        return;
    openChild(OnlineForm);
}

// The change record and the month close are the administrator's.
void TMainForm::ChangeLogClick()
{
    emit childWindowRequested(QStringLiteral("TChangeLogForm"));
    if (LoginIsOperator())
        return;
    openChild(ChangeLogForm);
}

void TMainForm::MonthCloseClick()
{
    emit childWindowRequested(QStringLiteral("TMonthCloseForm"));
    if (LoginIsOperator())
        return;
    openChild(MonthCloseForm);
}

void TMainForm::updateServerItems()
{
    OnlineUsers->setEnabled(!LoginIsOperator() && data::namesServer(data::Connection::dataSource()));
}

// ---- About, notification menu, ending ------------------------------------------------------------

void TMainForm::showAboutBox()
{
    TAboutBox box(this);
    AboutBox = &box;
    box.exec();
    AboutBox = nullptr;
}

void TMainForm::HelpAbout1Execute()
{
    showAboutBox();
}

void TMainForm::PopAboutClick()
{
    showAboutBox();
}

// "启动主程序" brings the main window back to the front, restored if it was minimised.
void TMainForm::ShowMainClick()
{
    setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    raise();
    activateWindow();
}

// Ends the program at once: the data module is not released and no closing marker is written, so
// the database file keeps its valid header.
void TMainForm::PopExitClick()
{
    m_endWithoutClosingSteps = true;
    QApplication::quit();
}

// Close the child windows, each as its own close box would, and free them, so that none outlives
// the data module; a window that refuses to close keeps the program running and nothing further
// happens. Then release the data module (closing its connection), release the notification icon,
// write the closing marker, end the program. quit() closes the windows and leaves the message
// loop; outside a running loop it does nothing. True once the steps have run.
bool TMainForm::runClosingSteps()
{
    if (m_closed)
        return true;
    QList<QPointer<QMdiSubWindow>> frames;
    for (QMdiSubWindow* frame : childFrames())
        frames << frame;
    Workspace->closeAllSubWindows();
    if (!childFrames().isEmpty())
        return false;
    for (const QPointer<QMdiSubWindow>& frame : std::as_const(frames))
        delete frame.data(); // closed and waiting for the message loop to free it
    m_closed = true;
    delete m_dm;
    m_dm = nullptr;
    delete RzTrayIcon;
    RzTrayIcon = nullptr;
    WriteDbMarker();
    QApplication::quit();
    return true;
}

void TMainForm::ExitSystemClick()
{
    runClosingSteps();
}

void TMainForm::FormClose()
{
    runClosingSteps();
}

// A close from the window manager (close box, system menu, Alt+F4) ends the program as "退出系统"
// does, unless a child window refuses to close.
void TMainForm::closeEvent(QCloseEvent* event)
{
    if (!m_endWithoutClosingSteps)
        FormClose();
    event->setAccepted(m_endWithoutClosingSteps || m_closed);
}
