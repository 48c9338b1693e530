#pragma once

#include "toolkit/ChildWindow.h"

#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPixmap>

class QAction;
class QLabel;
class QMenu;
class QMenuBar;
class QStatusBar;
class QSystemTrayIcon;
class QTimer;
class QToolBar;
class QToolButton;
class TDM;

// The main window: the frame every function opens in as a child window, at most one window of each
// kind at a time. Creating it makes its own data module the current one; every ending path but the
// notification menu's "退出" runs the closing steps (close the child windows, release the data
// module, release the notification icon, write the closing marker, end).
class TMainForm : public QMainWindow {
    Q_OBJECT
public:
    explicit TMainForm(QWidget* parent = nullptr);
    ~TMainForm() override;

    // The workspace that holds the child windows; the wallpaper is its tiled background.
    QMdiArea* Workspace;
    // The wallpaper picture (empty when icon/wallpaper.bmp is missing or unreadable).
    QPixmap Image1;

    QMenuBar* MainMenu;
    QMenu* BaseData;
    QAction* PackHouse;
    QAction* Dept;
    QAction* Worker;
    QAction* Customer;
    QAction* N1;
    QAction* ProduceProcess;
    QAction* Depot;
    QMenu* SystemSetting;
    QAction* StartUp;
    QAction* UserRole;
    QAction* N2;
    QAction* DataInit;
    QAction* DataBackup;
    QAction* DataGiveBack;
    QAction* DataConnect;
    QAction* OnlineUsers;
    QAction* ChangeLog;
    QMenu* N3;
    QAction* DataAdd;
    QAction* MonthClose;
    QMenu* N5;
    QAction* SalaryQuery;
    QAction* N9;
    QMenu* Window1;
    QAction* WindowCascadeItem;
    QAction* WindowTileItem;
    QAction* WindowTileItem2;
    QAction* WindowMinimizeItem;
    QAction* WindowArrangeItem;
    QMenu* Help1;
    QAction* HelpAboutItem;
    QMenu* ExitMenu;
    QAction* ExitSystem;

    QToolBar* RzToolbar;
    QToolButton* Dept_Btn;
    QToolButton* Worker_Btn;
    QWidget* RzSpacer1;
    QToolButton* Prodoct_Btn;
    QToolButton* User_Btn;
    QWidget* RzSpacer2;
    QToolButton* DataAdd_Btn;
    QToolButton* Query_Btn;
    QWidget* RzSpacer3;
    QToolButton* Btn8;

    // Three panels: the hint under the pointer, a fixed text, the clock.
    QStatusBar* StatusBar;
    QLabel* StatusPanel[3];
    QTimer* StatusTimer;

    QSystemTrayIcon* RzTrayIcon; // released by the closing steps
    QMenu* PopupMenu;
    QAction* ShowMain;
    QAction* N6;
    QAction* PopAbout;
    QAction* N10;
    QAction* PopExit;

    // Menu and button handlers.
    void DeptClick();
    void WorkerClick();
    void ProduceProcessClick();
    void UserRoleClick();
    void SalaryQueryClick();
    void DataAddClick();
    void StartUpClick();
    void DataBackupClick();
    void DataGiveBackClick();
    void DataConnectClick();
    void OnlineUsersClick();
    void ChangeLogClick();
    void MonthCloseClick();
    void HelpAbout1Execute();
    void PopAboutClick();
    void ShowMainClick();
    void PopExitClick();
    void ExitSystemClick();
    void StatusTimerTimer();

    // The one-window-per-class rule: creates the window only while its instance pointer is empty
    // and hands it to the workspace (ChildWindow::present: a frame with the window's own title-bar
    // buttons, centred on the client area); otherwise brings the existing one to the front. The
    // window's destructor clears the pointer (and the frame clears it too, should a window forget).
    template <class T> T* openChild(T*& instance)
    {
        if (instance) {
            showChild(instance);
            return instance;
        }
        T* child = new T;
        instance = child;
        T** slot = &instance;
        connect(child, &QObject::destroyed, this, [slot, child] {
            if (*slot == child)
                *slot = nullptr;
        });
        toolkit::ChildWindow::present(child);
        return instance;
    }

    // The items that only a database server offers follow the data source: "在线用户" is
    // available while it names a server, to whoever may choose the database.
    void updateServerItems();

    // The frames of the open child windows, in the order they were opened.
    QList<QMdiSubWindow*> childFrames() const;

signals:
    // A menu item, a button or the piece-work checks asked for the child window of this class
    // ("TDeptForm", "TWorkerForm", "TProduceForm", "TPasswordForm", "TQueryForm", "TDataAddForm",
    // "TConnectForm", "TOnlineForm", "TChangeLogForm", "TMonthCloseForm").
    void childWindowRequested(const QString& className);

protected:
    void closeEvent(QCloseEvent* event) override;
    bool event(QEvent* event) override;

private:
    void buildMenu();
    void buildToolbar();
    void buildStatusBar();
    // The clock panel's width: 100 pixels, or what its text needs when that is more.
    void fitClockPanel();
    static constexpr int kClockPanelWidth = 100;
    void buildTrayIcon();
    void FormCreate();
    void FormClose();
    void loadWallpaper();
    bool runClosingSteps();

    // The host of every child window, whoever opens it: into a frame of the workspace, centred on
    // the client area, shown.
    void presentChild(toolkit::ChildWindow* child);
    void adoptChild(toolkit::ChildWindow* child);
    void showChild(QWidget* child);
    void updateWindowMenu();
    void tileChildren(Qt::Orientation orientation);
    void minimizeChildren();
    void arrangeIcons();
    void openDataAddForm();
    void showAboutBox();

    TDM* m_dm = nullptr;
    bool m_closed = false;
    bool m_endWithoutClosingSteps = false;
    QAction* m_windowListSeparator = nullptr;
    QList<QAction*> m_windowListActions;
};

extern TMainForm* MainForm;
