#include "MasterFixture.h"
#include "masterdata/Dept.h"
#include "masterdata/Password.h"
#include "masterdata/Worker.h"

#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPointer>
#include <QPushButton>

#include <functional>

using namespace masterfixture;

// The three master-data lists as the main window holds them: each in a workspace frame that
// frees itself on closing.
class TestChildFrames : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        env = std::make_unique<Env>();
        main = std::make_unique<QMainWindow>();
        area = new QMdiArea;
        main->setCentralWidget(area);
        main->resize(1100, 800);
        main->show();
    }
    void cleanup()
    {
        main.reset();
        QCOMPARE(DeptForm, nullptr);
        QCOMPARE(WorkerForm, nullptr);
        QCOMPARE(PasswordForm, nullptr);
        QCOMPARE(env->boxes.unexpected(), 0);
        QCOMPARE(env->boxes.take().size(), 0);
        env.reset();
    }

    void maximizedFrameReturnsToNormal_data();
    void maximizedFrameReturnsToNormal();
    void exitFreesFrameAndWindow_data();
    void exitFreesFrameAndWindow();

private:
    using Make = std::function<QWidget*()>;
    static void addRows()
    {
        QTest::addColumn<int>("window");
        QTest::newRow("班组资料") << 0;
        QTest::newRow("员工资料") << 1;
        QTest::newRow("用户权限管理") << 2;
    }
    QWidget* make(int window) const
    {
        switch (window) {
        case 0: return new TDeptForm;
        case 1: return new TWorkerForm;
        default: return new TPasswordForm;
        }
    }
    static QWidget* global(int window)
    {
        switch (window) {
        case 0: return DeptForm;
        case 1: return WorkerForm;
        default: return PasswordForm;
        }
    }

    std::unique_ptr<Env> env;
    std::unique_ptr<QMainWindow> main;
    QMdiArea* area = nullptr;
};

void TestChildFrames::maximizedFrameReturnsToNormal_data()
{
    addRows();
}

void TestChildFrames::maximizedFrameReturnsToNormal()
{
    QFETCH(int, window);
    QWidget* child = make(window);
    const QSize designed = child->size();
    QMdiSubWindow* frame = area->addSubWindow(child);
    frame->show();
    const QRect normal = frame->geometry();

    frame->showMaximized();
    QVERIFY(!frame->isMaximized());
    QCOMPARE(frame->geometry(), normal);
    QCOMPARE(child->size(), designed);

    // The workspace maximizing its active child is undone the same way.
    frame->setWindowState(Qt::WindowMaximized);
    QVERIFY(!frame->isMaximized());
    QCOMPARE(child->size(), designed);
}

void TestChildFrames::exitFreesFrameAndWindow_data()
{
    addRows();
}

void TestChildFrames::exitFreesFrameAndWindow()
{
    QFETCH(int, window);
    QPointer<QWidget> child = make(window);
    QCOMPARE(global(window), child.data());
    QPointer<QMdiSubWindow> frame = area->addSubWindow(child);
    frame->setAttribute(Qt::WA_DeleteOnClose);
    frame->show();

    child->findChild<QPushButton*>(QStringLiteral("cmdexit"))->click();
    QTRY_VERIFY(frame.isNull());
    QVERIFY(child.isNull());
    QCOMPARE(global(window), nullptr);
    QVERIFY(area->subWindowList().isEmpty());
}

QTEST_MAIN(TestChildFrames)
#include "tst_childframes.moc"
