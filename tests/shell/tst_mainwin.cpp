#include "data/DataModule.h"
#include "data/Sql.h"
#include "masterdata/Dept.h"
#include "masterdata/Password.h"
#include "masterdata/Worker.h"
#include "piecework/MonthClose.h"
#include "piecework/Salary.h"
#include "platform/AutoStart.h"
#include "platform/DbFileBlock.h"
#include "platform/ProfileFile.h"
#include "shell/About.h"
#include "shell/ChangeLog.h"
#include "shell/Connect.h"
#include "shell/DorvikFunction.h"
#include "shell/Login.h"
#include "shell/MAIN.h"
#include "shell/Online.h"
#include "testsupport/BoxAnswerer.h"
#include "testsupport/TestProgramDir.h"
#include "toolkit/ChildWindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QStatusTipEvent>
#include <QSystemTrayIcon>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

#include <memory>

namespace {

// Runs the message loop as the program does; a loop that does not end within ten seconds is ended
// with code 7, so that a lost close fails the test instead of hanging it.
int execWithWatchdog()
{
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, [] { QCoreApplication::exit(7); });
    watchdog.start(10000);
    const int code = QApplication::exec();
    watchdog.stop();
    return code;
}

const QString kAdministrator = kAdministratorRole;
const QString kOperator = kOperatorRole;

// Child window classes standing in for the real ones: each has its global instance pointer, which
// its destructor clears, and a designed size.
class TTeamsForm;
class TOtherForm;
TTeamsForm* TeamsForm = nullptr;
TOtherForm* OtherForm = nullptr;

class TTeamsForm : public toolkit::ChildWindow {
public:
    explicit TTeamsForm(QWidget* parent = nullptr) : ChildWindow(parent)
    {
        setWindowTitle(QStringLiteral("班组资料"));
        resize(420, 260);
        ++created;
    }
    ~TTeamsForm() override
    {
        if (TeamsForm == this)
            TeamsForm = nullptr;
        seen << (DM ? QStringLiteral("freed, data module there") : QStringLiteral("freed, data module gone"));
    }
    static inline int created = 0;
    // What the window saw of the data module when asked to close and when freed, in order.
    static inline QStringList seen;
    bool refuseClose = false;

protected:
    void closeEvent(QCloseEvent* event) override
    {
        seen << (DM ? QStringLiteral("asked to close, data module there")
                    : QStringLiteral("asked to close, data module gone"));
        if (refuseClose)
            event->ignore();
        else
            ChildWindow::closeEvent(event);
    }
};

class TOtherForm : public toolkit::ChildWindow {
public:
    explicit TOtherForm(QWidget* parent = nullptr) : ChildWindow(parent)
    {
        setWindowTitle(QStringLiteral("员工资料"));
        resize(300, 200);
    }
    ~TOtherForm() override
    {
        if (OtherForm == this)
            OtherForm = nullptr;
    }
    // The usual title-bar buttons, as some windows ask for.
    Qt::WindowFlags frameFlags() const override
    {
        return Qt::SubWindow | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
    }
};

struct MenuItem {
    const char* name;
    QString caption;
    QKeySequence shortcut;
    bool enabled;
};

// Every item of the main menu with its caption, shortcut and state for an administrator.
QList<MenuItem> menuItems()
{
    const QKeySequence none;
    return {
        {"BaseData", QStringLiteral("基本资料"), none, true},
        {"PackHouse", QStringLiteral("仓库资料"), none, false},
        {"Dept", QStringLiteral("班组设置"), QKeySequence(QStringLiteral("Ctrl+D")), true},
        {"Worker", QStringLiteral("员工资料"), QKeySequence(QStringLiteral("Ctrl+W")), true},
        {"Customer", QStringLiteral("客户资料"), none, false},
        {"ProduceProcess", QStringLiteral("产品工序"), QKeySequence(QStringLiteral("Ctrl+P")), true},
        {"Depot", QStringLiteral("库存管理"), none, false},
        {"SystemSetting", QStringLiteral("系统设置"), none, true},
        {"StartUp", QStringLiteral("开机时自启动"), none, true},
        {"UserRole", QStringLiteral("用户权限管理"), QKeySequence(QStringLiteral("Ctrl+E")), true},
        {"DataInit", QStringLiteral("数据初始化"), QKeySequence(QStringLiteral("Ctrl+I")), false},
        {"DataBackup", QStringLiteral("数据库备份"), QKeySequence(QStringLiteral("Ctrl+B")), true},
        {"DataGiveBack", QStringLiteral("数据库恢复"), none, true},
        {"DataConnect", QStringLiteral("数据库连接"), none, true},
        {"OnlineUsers", QStringLiteral("在线用户"), none, testsupport::onServer()},
        {"ChangeLog", QStringLiteral("修改记录"), none, true},
        {"N3", QStringLiteral("工序计件"), none, true},
        {"DataAdd", QStringLiteral("计件数据"), none, true},
        {"MonthClose", QStringLiteral("月度结账"), none, true},
        {"N5", QStringLiteral("查询统计"), none, true},
        {"SalaryQuery", QStringLiteral("数据查询"), none, true},
        {"N9", QStringLiteral("图形统计"), none, false},
        {"Window1", QStringLiteral("窗口"), none, true},
        {"WindowCascadeItem", QStringLiteral("层叠窗口"), none, false},
        {"WindowTileItem", QStringLiteral("水平平铺"), none, false},
        {"WindowTileItem2", QStringLiteral("垂直平铺"), none, false},
        {"WindowMinimizeItem", QStringLiteral("最小化所有窗口"), none, false},
        {"WindowArrangeItem", QStringLiteral("重新排列"), none, false},
        {"Help1", QStringLiteral("帮助"), none, true},
        {"HelpAboutItem", QStringLiteral("关于"), none, true},
        {"ExitMenu", QStringLiteral("退出系统"), none, true},
        {"ExitSystem", QStringLiteral("退出系统"), none, true},
    };
}

QStringList captionsOf(const QList<QAction*>& actions)
{
    QStringList captions;
    for (const QAction* action : actions)
        captions << (action->isSeparator() ? QStringLiteral("-") : action->text());
    return captions;
}

} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void frameAndLayout();
    void menuItemsForEachRole_data();
    void menuItemsForEachRole();
    void ctrlBBacksUpOnlyWhenAllowed_data();
    void ctrlBBacksUpOnlyWhenAllowed();
    void oneWindowPerClass();
    void menuOpensTheMasterDataWindows_data();
    void menuOpensTheMasterDataWindows();
    void childWindowClosingItselfClosesItsFrame();
    void windowMenuArrangesChildren();
    void dataAddChecksInOrder_data();
    void dataAddChecksInOrder();
    void dataAddStopsWhenACountFails();
    void endingPaths_data();
    void endingPaths();
    void closingStepsOutsideTheMessageLoop();
    void windowManagerCloseEndsAfterTheChildWindows_data();
    void windowManagerCloseEndsAfterTheChildWindows();
    void wallpaper_data();
    void wallpaper();
    void startUpFollowsTheSetting();
    void statusBarHintsAndClock();
    void aboutBox_data();
    void aboutBox();
    void showMainBringsTheWindowBack();
    void childWindowsOpenCentredInTheWorkspace();

private:
    TMainForm* makeForm(const QString& role);

    std::unique_ptr<testsupport::TestProgramDir> m_dir;
    std::unique_ptr<testsupport::BoxAnswerer> m_boxes;
    QPointer<TMainForm> m_form;
};

void TestMainWindow::init()
{
    m_dir = std::make_unique<testsupport::TestProgramDir>();
    m_dir->prepareDatabase();
    m_boxes = std::make_unique<testsupport::BoxAnswerer>();
}

void TestMainWindow::cleanup()
{
    delete m_form;
    QCOMPARE(DM, nullptr);
    QCOMPARE(TeamsForm, nullptr);
    QCOMPARE(OtherForm, nullptr);
    LoginUser.clear();
    LoginRole.clear();
    QCOMPARE(m_boxes->unexpected(), 0);
    m_boxes.reset();
    m_dir.reset();
}

TMainForm* TestMainWindow::makeForm(const QString& role)
{
    LoginUser = QStringLiteral("Dorvik");
    LoginRole = role;
    m_form = new TMainForm;
    MainForm = m_form;
    return m_form;
}

void TestMainWindow::frameAndLayout()
{
    TMainForm* form = makeForm(kAdministrator);
    QCOMPARE(form->windowTitle(), QStringLiteral("蓝栎服装计件工资管理系统"));
    QCOMPARE(form->size(), QSize(808, 608));
    QCOMPARE(form->font().family(), QStringLiteral("宋体"));
    QCOMPARE(form->font().pointSize(), 9);
    QCOMPARE(form->centralWidget(), form->Workspace);
    QVERIFY(DM != nullptr);

    QCOMPARE(captionsOf(form->MainMenu->actions()),
             (QStringList{"基本资料", "库存管理", "系统设置", "工序计件", "查询统计", "窗口", "帮助", "退出系统"}));
    QCOMPARE(captionsOf(form->BaseData->actions()),
             (QStringList{"仓库资料", "班组设置", "员工资料", "客户资料", "-", "产品工序"}));
    QCOMPARE(captionsOf(form->SystemSetting->actions()),
             (QStringList{"开机时自启动", "用户权限管理", "-", "数据初始化", "数据库备份", "数据库恢复", "数据库连接",
                          "在线用户", "修改记录"}));
    QVERIFY(form->Depot->menu() == nullptr);
    QCOMPARE(form->N1->objectName(), QStringLiteral("N1"));
    QCOMPARE(form->N2->objectName(), QStringLiteral("N2"));

    // The toolbar: picture buttons with their hints, gaps where the spacers are.
    QStringList toolbar;
    for (QAction* action : form->RzToolbar->actions()) {
        QWidget* widget = form->RzToolbar->widgetForAction(action);
        toolbar << widget->objectName() + QLatin1Char('=') + widget->toolTip();
    }
    QCOMPARE(toolbar, (QStringList{"Dept_Btn=班组设置", "Worker_Btn=员工资料", "RzSpacer1=", "Prodoct_Btn=产品工序",
                                   "User_Btn=用户权限设置", "RzSpacer2=", "DataAdd_Btn=计件数据", "Query_Btn=数据查询",
                                   "RzSpacer3=", "Btn8=退出系统"}));
    QCOMPARE(form->RzToolbar->height(), 29);
    QCOMPARE(form->Dept_Btn->width(), 25);

    QCOMPARE(form->RzTrayIcon->toolTip(), QStringLiteral("蓝栎服装计件工资管理系统"));
    QCOMPARE(form->RzTrayIcon->contextMenu(), form->PopupMenu);
    QCOMPARE(captionsOf(form->PopupMenu->actions()), (QStringList{"启动主程序", "-", "关于", "-", "退出"}));
    QCOMPARE(form->PopExit->objectName(), QStringLiteral("PopExit"));

    // Status panels: the hint 150 pixels, the clock 100 (more only when its text needs it), the
    // middle panel the rest, at any window width.
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form));
    for (const QString& clock : {QStringLiteral("12:00"), QStringLiteral(" 系统时间：2004-03-01 12:00:00")}) {
        form->StatusPanel[2]->setText(clock);
        const int clockWidth = std::max(100, form->StatusPanel[2]->sizeHint().width());
        if (clock.size() > 5)
            form->StatusTimerTimer();
        for (const int width : {1200, 808}) {
            form->resize(width, 700);
            QTRY_COMPARE(form->width(), width);
            QTRY_COMPARE(form->StatusPanel[2]->width(), clockWidth);
            QCOMPARE(form->StatusPanel[0]->width(), 150);
            // The middle panel reaches the clock, whatever the window's width.
            const int gap = form->StatusPanel[2]->geometry().left() - form->StatusPanel[1]->geometry().right();
            QVERIFY2(gap >= 0 && gap < 12, qPrintable(QString::number(gap)));
            QVERIFY(form->StatusPanel[1]->width() > width - 150 - clockWidth - 40);
        }
    }
}

void TestMainWindow::menuItemsForEachRole_data()
{
    QTest::addColumn<QString>("role");
    QTest::addColumn<bool>("backupAllowed");
    QTest::newRow("administrator") << kAdministrator << true;
    QTest::newRow("ordinary operator") << kOperator << false;
    QTest::newRow("role with a trailing blank") << QStringLiteral("普通操作员 ") << true;
    QTest::newRow("other role") << QStringLiteral("仓库管理员") << true;
    QTest::newRow("no role") << QString() << true;
}

void TestMainWindow::menuItemsForEachRole()
{
    QFETCH(QString, role);
    QFETCH(bool, backupAllowed);
    TMainForm* form = makeForm(role);
    for (const MenuItem& item : menuItems()) {
        const QString name = QString::fromLatin1(item.name);
        auto* action = form->findChild<QAction*>(name);
        QVERIFY2(action, item.name);
        QCOMPARE(action->text(), item.caption);
        QCOMPARE(action->statusTip(), item.caption);
        QCOMPARE(action->shortcut(), item.shortcut);
        const bool gated = name == QLatin1String("DataBackup") || name == QLatin1String("DataGiveBack") ||
                           name == QLatin1String("DataConnect") || name == QLatin1String("OnlineUsers") ||
                           name == QLatin1String("ChangeLog") || name == QLatin1String("MonthClose");
        QVERIFY2(action->isEnabled() == (item.enabled && (!gated || backupAllowed)), item.name);
    }
    for (QToolButton* button : form->RzToolbar->findChildren<QToolButton*>())
        QVERIFY(button->isEnabled());
    QVERIFY(form->StartUp->isCheckable());
}

void TestMainWindow::ctrlBBacksUpOnlyWhenAllowed_data()
{
    QTest::addColumn<QString>("role");
    QTest::addColumn<bool>("backupAllowed");
    QTest::newRow("administrator") << kAdministrator << true;
    QTest::newRow("ordinary operator") << kOperator << false;
}

void TestMainWindow::ctrlBBacksUpOnlyWhenAllowed()
{
    QFETCH(QString, role);
    QFETCH(bool, backupAllowed);
    TMainForm* form = makeForm(role);
    form->show();
    QApplication::setActiveWindow(form);
    QVERIFY(QTest::qWaitForWindowActive(form));
    QTest::keyClick(form, Qt::Key_B, Qt::ControlModifier);
    const QString backupFile = m_dir->file(QStringLiteral("backup/DorvikSalary.mdb"));
    if (backupAllowed) {
        QCOMPARE(m_boxes->takeTexts(), QStringList{QStringLiteral("数据备份成功......")});
        QVERIFY(QFileInfo::exists(backupFile));
    } else {
        QVERIFY(m_boxes->take().isEmpty());
        QVERIFY(!QFileInfo::exists(backupFile));
    }
}

void TestMainWindow::oneWindowPerClass()
{
    TMainForm* form = makeForm(kAdministrator);
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form));
    TTeamsForm::created = 0;

    TTeamsForm* teams = form->openChild(TeamsForm);
    QCOMPARE(TeamsForm, teams);
    QCOMPARE(form->childFrames().size(), 1);
    QMdiSubWindow* teamsFrame = form->childFrames().first();
    QCOMPARE(teamsFrame->widget(), teams);
    QVERIFY(teamsFrame->testAttribute(Qt::WA_DeleteOnClose));
    QCOMPARE(teams->size(), QSize(420, 260)); // the frame fits the designed size
    QVERIFY(form->WindowCascadeItem->isEnabled());
    QVERIFY(form->WindowArrangeItem->isEnabled());

    TOtherForm* other = form->openChild(OtherForm);
    QCOMPARE(form->childFrames().size(), 2);
    QCOMPARE(form->Workspace->activeSubWindow()->widget(), other);

    // The second choice brings the same window to the front.
    QCOMPARE(form->openChild(TeamsForm), teams);
    QCOMPARE(TTeamsForm::created, 1);
    QCOMPARE(form->childFrames().size(), 2);
    QCOMPARE(form->Workspace->activeSubWindow(), teamsFrame);

    // A minimised one comes back too.
    teamsFrame->showMinimized();
    form->openChild(TeamsForm);
    QVERIFY(!teamsFrame->isMinimized());

    // The window list under "窗口": one entry per open window, the active one checked.
    emit form->Window1->aboutToShow();
    QStringList entries;
    for (QAction* action : form->Window1->actions())
        if (action->objectName().startsWith(QLatin1String("WindowListItem")))
            entries << action->text() + (action->isChecked() ? QStringLiteral(" *") : QString());
    QCOMPARE(entries, (QStringList{"&1 班组资料 *", "&2 员工资料"}));
    form->Window1->findChild<QAction*>(QStringLiteral("WindowListItem2"))->trigger();
    QCOMPARE(form->Workspace->activeSubWindow()->widget(), other);

    // Closed, the window releases itself and clears its pointer; the next choice creates a new one.
    teamsFrame->close();
    QTRY_COMPARE(TeamsForm, nullptr);
    QTRY_COMPARE(form->childFrames().size(), 1);
    TTeamsForm* again = form->openChild(TeamsForm);
    QVERIFY(again != nullptr);
    QCOMPARE(TTeamsForm::created, 2);

    for (QMdiSubWindow* frame : form->childFrames())
        frame->close();
    QTRY_VERIFY(!form->WindowCascadeItem->isEnabled());
    QVERIFY(!form->WindowTileItem->isEnabled());
    QVERIFY(!form->WindowTileItem2->isEnabled());
    QVERIFY(!form->WindowMinimizeItem->isEnabled());
    QVERIFY(!form->WindowArrangeItem->isEnabled());
    QTRY_COMPARE(TeamsForm, nullptr);
    QTRY_COMPARE(OtherForm, nullptr);
}

void TestMainWindow::menuOpensTheMasterDataWindows_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<bool>("closeBox");
    QTest::newRow("班组设置") << "Dept"
                              << "班组资料" << false;
    QTest::newRow("员工资料") << "Worker"
                              << "员工资料" << true;
    QTest::newRow("用户权限管理") << "UserRole"
                                  << "用户权限管理" << true;
    QTest::newRow("数据库连接") << "DataConnect"
                                << "数据库连接" << false;
    QTest::newRow("在线用户") << "OnlineUsers"
                              << "在线用户" << false;
    QTest::newRow("修改记录") << "ChangeLog"
                              << "修改记录" << false;
    QTest::newRow("月度结账") << "MonthClose"
                              << "月度结账" << false;
}

void TestMainWindow::menuOpensTheMasterDataWindows()
{
    QFETCH(QString, action);
    QFETCH(QString, caption);
    QFETCH(bool, closeBox);
    if (action == QLatin1String("OnlineUsers") && !testsupport::onServer())
        QSKIP("a server's window");
    TMainForm* form = makeForm(kAdministrator);
    form->show();
    QAction* item = form->findChild<QAction*>(action);
    QVERIFY(item);
    item->trigger();
    item->trigger();
    QCOMPARE(form->childFrames().size(), 1);
    QMdiSubWindow* frame = form->childFrames().first();
    QCOMPARE(frame->widget()->windowTitle(), caption);
    QCOMPARE(bool(frame->windowFlags() & Qt::WindowCloseButtonHint), closeBox);
    QVERIFY(DeptForm || WorkerForm || PasswordForm || ConnectForm || OnlineForm || ChangeLogForm || MonthCloseForm);
    frame->close();
    QTRY_VERIFY(!DeptForm && !WorkerForm && !PasswordForm && !ConnectForm && !OnlineForm && !ChangeLogForm &&
                !MonthCloseForm);
}

void TestMainWindow::childWindowClosingItselfClosesItsFrame()
{
    TMainForm* form = makeForm(kAdministrator);
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form));
    TTeamsForm* teams = form->openChild(TeamsForm);

    teams->refuseClose = true; // a window that refuses keeps its frame
    QVERIFY(!teams->close());
    QCoreApplication::processEvents();
    QCOMPARE(form->childFrames().size(), 1);
    QVERIFY(teams->isVisible());

    teams->refuseClose = false; // its own exit button
    QVERIFY(teams->close());
    QTRY_COMPARE(TeamsForm, nullptr);
    QTRY_VERIFY(form->childFrames().isEmpty());
    QTRY_VERIFY(!form->WindowCascadeItem->isEnabled());
}

void TestMainWindow::windowMenuArrangesChildren()
{
    TMainForm* form = makeForm(kAdministrator);
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form));
    form->openChild(TeamsForm);
    form->openChild(OtherForm);
    const QRect area = form->Workspace->viewport()->rect();
    const QList<QMdiSubWindow*> frames = form->childFrames();

    form->WindowTileItem->trigger(); // one below the other, full width
    QCOMPARE(frames[0]->geometry(), QRect(0, 0, area.width(), area.height() / 2));
    QCOMPARE(frames[1]->geometry().top(), area.height() / 2);
    QCOMPARE(frames[1]->width(), area.width());

    form->WindowTileItem2->trigger(); // side by side, full height
    QCOMPARE(frames[0]->geometry(), QRect(0, 0, area.width() / 2, area.height()));
    QCOMPARE(frames[1]->geometry().left(), area.width() / 2);

    form->WindowCascadeItem->trigger();
    QVERIFY(frames[1]->geometry().top() > frames[0]->geometry().top());

    form->WindowMinimizeItem->trigger();
    QVERIFY(frames[0]->isMinimized() && frames[1]->isMinimized());
    frames[0]->move(200, 100);
    form->WindowArrangeItem->trigger(); // the icons line up along the bottom from the left
    QCOMPARE(frames[0]->geometry().bottomLeft(), QPoint(0, area.bottom()));
    QCOMPARE(frames[1]->geometry().left(), frames[0]->geometry().right() + 1);
    QCOMPARE(frames[1]->geometry().bottom(), area.bottom());
}

void TestMainWindow::dataAddChecksInOrder_data()
{
    QTest::addColumn<QStringList>("tables");
    QTest::addColumn<QStringList>("boxes");
    QTest::addColumn<QString>("window");
    QTest::addColumn<QString>("lastStatement");
    QTest::newRow("nothing") << QStringList{} << QStringList{"对不起，请先添加部门!"} << "TDeptForm"
                             << "Select count(*)  From Dept";
    QTest::newRow("styles and workers, no team")
        << QStringList{"Product", "Worker"} << QStringList{"对不起，请先添加部门!"} << "TDeptForm"
        << "Select count(*)  From Dept";
    QTest::newRow("teams only") << QStringList{"Dept"} << QStringList{"对不起，请先添加产品!"} << "TProduceForm"
                                << "Select count(*) As id From Product";
    QTest::newRow("teams and workers") << QStringList{"Dept", "Worker"} << QStringList{"对不起，请先添加产品!"}
                                       << "TProduceForm"
                                       << "Select count(*) As id From Product";
    QTest::newRow("teams and styles") << QStringList{"Dept", "Product"} << QStringList{"对不起，请先添加员工!"}
                                      << "TWorkerForm"
                                      << "Select count(*) As id From Worker";
    QTest::newRow("everything") << QStringList{"Dept", "Product", "Worker"} << QStringList{} << "TDataAddForm"
                                << "Select count(*) As id From Worker";
}

void TestMainWindow::dataAddChecksInOrder()
{
    QFETCH(QStringList, tables);
    QFETCH(QStringList, boxes);
    QFETCH(QString, window);
    QFETCH(QString, lastStatement);
    const QString db = m_dir->dbPath();
    if (tables.contains(QLatin1String("Dept")))
        testsupport::execSql(db, QStringLiteral("Insert Into Dept (DeptName) Values ('一组')"));
    if (tables.contains(QLatin1String("Product")))
        testsupport::execSql(db, QStringLiteral("Insert Into Product (Kind, Process) Values ('K01', 3)"));
    if (tables.contains(QLatin1String("Worker")))
        testsupport::execSql(db, QStringLiteral("Insert Into Worker (WorkerName, DeptId) Values ('张三', 1)"));

    TMainForm* form = makeForm(kOperator);
    QSignalSpy requested(form, &TMainForm::childWindowRequested);
    form->DataAdd_Btn->click();
    const auto shown = m_boxes->take();
    QStringList texts;
    for (const auto& box : shown) {
        texts << box.text;
        QCOMPARE(box.caption, QStringLiteral("蓝栎服装计件工资管理系统"));
        QCOMPARE(box.icon, toolkit::MsgIcon::Stop);
        QCOMPARE(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    }
    QCOMPARE(texts, boxes);
    QCOMPARE(requested.count(), 1);
    QCOMPARE(requested.first().first().toString(), window);
    // The teams and workers windows open for real and load their own lists through the shared
    // query; for the others the last statement shows where the checks stopped.
    if (window == QLatin1String("TDeptForm"))
        QVERIFY(DeptForm && form->childFrames().size() == 1);
    else if (window == QLatin1String("TWorkerForm"))
        QVERIFY(WorkerForm && form->childFrames().size() == 1);
    else if (window == QLatin1String("TDataAddForm"))
        QVERIFY(DataAddForm && form->childFrames().size() == 1 && form->childFrames().first()->widget() == DataAddForm);
    else
        QCOMPARE(DM->DmQuery->sql(), lastStatement);
}

void TestMainWindow::dataAddStopsWhenACountFails()
{
    testsupport::execSql(m_dir->dbPath(), QStringLiteral("Insert Into Dept (DeptName) Values ('一组')"));
    TMainForm* form = makeForm(kAdministrator);
    // The server refuses to connect to a database without the program's tables, so the table goes
    // once the program is connected there.
    QVERIFY(OpenQuery(DM->DmQuery, QStringLiteral("Select count(*) From Dept")));
    testsupport::execSql(m_dir->dbPath(), QStringLiteral("Drop Table Product"));
    QSignalSpy requested(form, &TMainForm::childWindowRequested);
    form->DataAdd->trigger();
    const QStringList texts = m_boxes->takeTexts();
    QCOMPARE(texts.size(), 1);
    QVERIFY2(texts.first().startsWith(QStringLiteral("操作数据表时出错")), qPrintable(texts.first()));
    QVERIFY(texts.first().contains(QStringLiteral("Select count(*) As id From Product")));
    QCOMPARE(requested.count(), 0);
}

void TestMainWindow::endingPaths_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("marker");
    QTest::newRow("close box") << "close" << true;
    QTest::newRow("menu 退出系统") << "menu" << true;
    QTest::newRow("toolbar 退出系统") << "button" << true;
    QTest::newRow("notification menu 退出") << "tray" << false;
}

// Each ending path runs inside a real message loop, as in the program.
void TestMainWindow::endingPaths()
{
    QFETCH(QString, path);
    QFETCH(bool, marker);
    // On a file the closing marker is the end's mark; a server database has no file to mark.
    const bool onFile = !testsupport::onServer();
    QFile dbFile(m_dir->dbPath());
    QVERIFY(!onFile || dbFile.open(QIODevice::ReadOnly));
    const QByteArray original = onFile ? dbFile.readAll() : QByteArray();
    dbFile.close();

    TMainForm* form = makeForm(kAdministrator);
    form->setAttribute(Qt::WA_DeleteOnClose);
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form));
    form->openChild(TeamsForm);
    QVERIFY(OpenQuery(DM->DmQuery, QStringLiteral("Select count(*) From Dept"))); // connected
    bool dmReleasedBeforeEnd = false;
    connect(qApp, &QCoreApplication::aboutToQuit, this, [&] { dmReleasedBeforeEnd = DM == nullptr; });

    QTimer::singleShot(0, form, [form, path] {
        if (path == QLatin1String("close"))
            form->close();
        else if (path == QLatin1String("menu"))
            form->ExitSystem->trigger();
        else if (path == QLatin1String("button"))
            form->Btn8->click();
        else
            form->PopExit->trigger();
    });
    const int code = execWithWatchdog();
    disconnect(qApp, &QCoreApplication::aboutToQuit, this, nullptr);
    QCOMPARE(code, 0);
    QVERIFY(m_form.isNull()); // the main window was freed with the end
    QCOMPARE(TeamsForm, nullptr);
    QCOMPARE(dmReleasedBeforeEnd, marker);

    if (!onFile)
        return;
    const QByteArray head = m_dir->fileHead(QStringLiteral("DorvikSalary.mdb"));
    QCOMPARE(head, marker ? platform::closingMarkerBlock() : platform::databaseHeaderBlock());
    QVERIFY(dbFile.open(QIODevice::ReadOnly));
    QCOMPARE(dbFile.readAll().mid(16), original.mid(16)); // only the first 16 bytes change
}

void TestMainWindow::closingStepsOutsideTheMessageLoop()
{
    TMainForm* form = makeForm(kAdministrator);
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form));
    form->ExitSystemClick(); // quit() outside a running loop does not end this process
    QCOMPARE(DM, nullptr);
    QCOMPARE(form->RzTrayIcon, nullptr);
    if (!testsupport::onServer()) // the header steps belong to a database file
        QCOMPARE(m_dir->fileHead(QStringLiteral("DorvikSalary.mdb")), platform::closingMarkerBlock());
    QVERIFY(form->isVisible());

    // The steps run once: the next start's header stays when the window closes afterwards.
    RestoreDbHeader();
    form->close();
    if (!testsupport::onServer()) // the header steps belong to a database file
        QCOMPARE(m_dir->fileHead(QStringLiteral("DorvikSalary.mdb")), platform::databaseHeaderBlock());
    QTest::qWait(20);
}

void TestMainWindow::windowManagerCloseEndsAfterTheChildWindows_data()
{
    QTest::addColumn<bool>("childRefusesFirst");
    QTest::newRow("child window closes") << false;
    QTest::newRow("child window refuses once") << true;
}

// The window manager's close (close box, Alt+F4) is a close() of the main window from the message
// loop: the child windows close and are freed while the data module is there, then the program
// ends. A child window that refuses keeps the program running, untouched.
void TestMainWindow::windowManagerCloseEndsAfterTheChildWindows()
{
    QFETCH(bool, childRefusesFirst);
    TMainForm* form = makeForm(kAdministrator);
    form->setAttribute(Qt::WA_DeleteOnClose);
    form->showMaximized();
    QVERIFY(QTest::qWaitForWindowExposed(form));
    form->openChild(TeamsForm)->refuseClose = childRefusesFirst;
    TTeamsForm::seen.clear();
    connect(qApp, &QCoreApplication::aboutToQuit, this, [] {
        TTeamsForm::seen << (DM ? QStringLiteral("end, data module there") : QStringLiteral("end, data module gone"));
    });

    QStringList expected;
    bool stillRunning = false;
    if (childRefusesFirst) {
        expected << QStringLiteral("asked to close, data module there");
        QTimer::singleShot(0, form, [form, &stillRunning] {
            form->close();
            stillRunning = form->isVisible() && DM && TeamsForm && TeamsForm->isVisible() &&
                           (testsupport::onServer() ||
                            testsupport::readFile(DatabaseFilePath()).left(16) == platform::databaseHeaderBlock());
            TeamsForm->refuseClose = false;
            QTimer::singleShot(0, form, &QWidget::close);
        });
    } else {
        stillRunning = true;
        QTimer::singleShot(0, form, &QWidget::close);
    }
    expected << QStringLiteral("asked to close, data module there") << QStringLiteral("freed, data module there")
             << QStringLiteral("end, data module gone");

    const int code = execWithWatchdog();
    disconnect(qApp, &QCoreApplication::aboutToQuit, this, nullptr);
    QCOMPARE(code, 0); // the message loop ended by itself
    QVERIFY(stillRunning);
    QCOMPARE(TTeamsForm::seen, expected);
    QCOMPARE(TeamsForm, nullptr);
    QVERIFY(m_form.isNull());
    if (!testsupport::onServer()) // the header steps belong to a database file
        QCOMPARE(m_dir->fileHead(QStringLiteral("DorvikSalary.mdb")), platform::closingMarkerBlock());
    QVERIFY(m_boxes->take().isEmpty());
}

void TestMainWindow::wallpaper_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("picture") << "picture";
    QTest::newRow("missing") << "missing";
    QTest::newRow("not a picture") << "garbage";
    QTest::newRow("empty file") << "empty";
}

void TestMainWindow::wallpaper()
{
    QFETCH(QString, kind);
    QDir().mkpath(m_dir->file(QStringLiteral("icon")));
    const QString file = m_dir->file(QStringLiteral("icon/wallpaper.bmp"));
    // A small picture of distinct pixels, so that every place of the tiling can be checked.
    QImage tile(7, 5, QImage::Format_RGB32);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 7; ++x)
            tile.setPixelColor(x, y, QColor(30 * x, 40 * y, 200));
    if (kind == QLatin1String("picture")) {
        QVERIFY(tile.save(file, "BMP"));
    } else if (kind != QLatin1String("missing")) {
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        if (kind == QLatin1String("garbage"))
            f.write("BM this is no bitmap");
    }

    TMainForm* form = makeForm(kAdministrator);
    QVERIFY(DM != nullptr); // the rest of the creation took place
    QVERIFY(form->StartUp->isChecked());
    form->resize(500, 400);
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form));
    const QImage shown = form->Workspace->viewport()->grab().toImage();
    QVERIFY(shown.width() > 7 * 20 && shown.height() > 5 * 20);
    if (kind == QLatin1String("picture")) {
        QCOMPARE(form->Image1.size(), QSize(7, 5));
        // The picture repeats from the top-left corner to the right and downwards, over everything.
        for (const QPoint& p : {QPoint(0, 0), QPoint(6, 4), QPoint(7 * 13 + 3, 2), QPoint(1, 5 * 31 + 4),
                                QPoint(shown.width() - 1, shown.height() - 1)})
            QCOMPARE(shown.pixelColor(p), tile.pixelColor(p.x() % 7, p.y() % 5));
    } else {
        QVERIFY(form->Image1.isNull());
        const QRgb plain = form->palette().color(QPalette::Dark).rgb();
        QCOMPARE(shown.pixel(0, 0), plain);
        QCOMPARE(shown.pixel(shown.width() - 1, shown.height() - 1), plain);
    }
}

void TestMainWindow::startUpFollowsTheSetting()
{
    platform::ProfileFile config(ConfigFilePath());
    QVERIFY(config.writeInt(QStringLiteral("Dorvik"), QStringLiteral("AutoRun"), 2));
    TMainForm* form = makeForm(kAdministrator);
    QVERIFY(!form->StartUp->isChecked());

    form->StartUp->trigger();
    QVERIFY(form->StartUp->isChecked());
    QCOMPARE(config.readInt(QStringLiteral("Dorvik"), QStringLiteral("AutoRun"), 0), 1);
    QVERIFY(platform::AutoStart::entryExists());

    form->StartUp->trigger();
    QVERIFY(!form->StartUp->isChecked());
    QCOMPARE(config.readInt(QStringLiteral("Dorvik"), QStringLiteral("AutoRun"), 0), 2);
    QVERIFY(!platform::AutoStart::entryExists());
    QVERIFY(m_boxes->take().isEmpty());

    delete m_form;
    QVERIFY(config.writeInt(QStringLiteral("Dorvik"), QStringLiteral("AutoRun"), 1));
    QVERIFY(makeForm(kAdministrator)->StartUp->isChecked());
}

void TestMainWindow::statusBarHintsAndClock()
{
    TMainForm* form = makeForm(kAdministrator);
    QVERIFY(form->StatusTimer->isActive());
    QCOMPARE(form->StatusTimer->interval(), 1000);
    QCOMPARE(form->StatusPanel[2]->text(), QString()); // until the first tick

    form->StatusTimerTimer();
    const QString clock = form->StatusPanel[2]->text();
    const QRegularExpression shape(QStringLiteral("^ 系统时间：(\\d{4}-\\d{2}-\\d{2}) \\d{2}:\\d{2}:\\d{2}$"));
    const auto match = shape.match(clock);
    QVERIFY2(match.hasMatch(), qPrintable(clock));
    QVERIFY(QDate::fromString(match.captured(1), QStringLiteral("yyyy-MM-dd")).daysTo(QDate::currentDate()) <= 1);
    QTRY_VERIFY_WITH_TIMEOUT(form->StatusPanel[2]->text() != clock, 2500); // it keeps ticking

    // The hint of the item or button under the pointer shows in the first panel.
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form));
    form->Dept->showStatusText(form->MainMenu);
    QCOMPARE(form->StatusPanel[0]->text(), QStringLiteral("班组设置"));
    QStatusTipEvent tip(form->Query_Btn->statusTip());
    QCoreApplication::sendEvent(form->Query_Btn, &tip);
    QCOMPARE(form->StatusPanel[0]->text(), QStringLiteral("数据查询"));
    QVERIFY(!form->StatusPanel[1]->text().isEmpty());
}

void TestMainWindow::aboutBox_data()
{
    QTest::addColumn<QString>("from");
    QTest::newRow("help menu") << "menu";
    QTest::newRow("notification menu") << "tray";
}

void TestMainWindow::aboutBox()
{
    QFETCH(QString, from);
    TMainForm* form = makeForm(kAdministrator);
    QStringList seen;
    QTimer::singleShot(0, this, [&seen] {
        TAboutBox* box = AboutBox;
        if (!box)
            return;
        seen << box->windowTitle() << QString::number(box->isModal());
        seen << QStringLiteral("%1x%2").arg(box->width()).arg(box->height());
        seen << box->Version->text() << box->UpdateTime->text() << box->OKButton->text();
        seen << QString::number(box->OKButton->isDefault());
        seen << QStringLiteral("%1x%2").arg(box->ProgramBanner->width()).arg(box->ProgramBanner->height());
        // A fixed dialog frame: title and close box, no minimise or maximise button.
        const Qt::WindowFlags flags = box->windowFlags();
        seen << QString::number(flags.testFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                                                Qt::WindowCloseButtonHint)) +
                    QString::number(bool(flags & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint))) +
                    QString::number(box->minimumSize() == box->maximumSize());
        box->OKButton->click();
    });
    if (from == QLatin1String("menu"))
        form->HelpAboutItem->trigger();
    else
        form->PopAbout->trigger();
    QCOMPARE(seen, (QStringList{"关于", "1", "354x239", "版本号：1.12", "更新时间：2003-09-05", "确定", "1", "303x46",
                                "101"}));
    QCOMPARE(AboutBox, nullptr);
}

void TestMainWindow::showMainBringsTheWindowBack()
{
    TMainForm* form = makeForm(kAdministrator);
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form));
    form->showMinimized();
    form->ShowMain->trigger();
    QVERIFY(!form->isMinimized());
    QVERIFY(form->isVisible());
    if (!testsupport::onServer()) // the header steps belong to a database file
        QCOMPARE(m_dir->fileHead(QStringLiteral("DorvikSalary.mdb")), platform::databaseHeaderBlock());
}

// Every child window, from the menu or from another window, opens in a frame of the workspace
// centred on its client area, with the window's own title-bar buttons.
void TestMainWindow::childWindowsOpenCentredInTheWorkspace()
{
    TMainForm* form = makeForm(kAdministrator);
    form->resize(1100, 800);
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form));
    const QRect area = form->Workspace->viewport()->rect();
    const auto centred = [&area](const QMdiSubWindow* frame) {
        const QPoint offset = frame->geometry().center() - area.center();
        return std::abs(offset.x()) <= 1 && std::abs(offset.y()) <= 1;
    };

    form->Dept->trigger();
    QMdiSubWindow* teams = toolkit::childFrame(DeptForm);
    QVERIFY(teams);
    QVERIFY2(centred(teams), qPrintable(QStringLiteral("%1,%2").arg(teams->x()).arg(teams->y())));
    QCOMPARE(teams->windowFlags(), DeptForm->frameFlags());

    // A window another window opens goes to the workspace the same way.
    auto* other = new TOtherForm;
    OtherForm = other;
    toolkit::ChildWindow::present(other);
    QMdiSubWindow* frame = toolkit::childFrame(other);
    QVERIFY(frame);
    QCOMPARE(frame->mdiArea(), form->Workspace);
    QVERIFY(frame->isVisible());
    QVERIFY(centred(frame));
    QCOMPARE(frame->windowFlags(), other->frameFlags());
    QCOMPARE(other->size(), QSize(300, 200));
    QCOMPARE(form->Workspace->activeSubWindow(), frame);

    // Without a main window, present() only shows the window.
    delete m_form;
    auto* alone = new TOtherForm;
    toolkit::ChildWindow::present(alone);
    QVERIFY(alone->isVisible());
    QVERIFY(!toolkit::childFrame(alone));
    delete alone;
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwin.moc"
