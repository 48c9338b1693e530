// Saves pictures of the "月度结账" and "修改记录" windows inside the main window into the folder given as
// the first argument, over a few months of records and their change lines; for a person to look at
// (run under Xvfb with the xcb platform).

#include "data/DataModule.h"
#include "data/History.h"
#include "data/LoginIdentity.h"
#include "piecework/MonthClose.h"
#include "shell/ChangeLog.h"
#include "shell/MAIN.h"
#include "testsupport/Shots.h"
#include "testsupport/TestProgramDir.h"

#include <QApplication>
#include <QDir>
#include <QMdiSubWindow>
#include <QTest>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    testsupport::useProgramFont(app);
    const QString folder = testsupport::picturesFolder(argc, argv);

    testsupport::TestProgramDir dir;
    dir.prepareDatabase();
    const QString db = dir.dbPath();
    // Four months of records this year, one of them closed, and a closed month whose records are gone.
    const int year = QDate::currentDate().year();
    const auto day = [year](int month, int d) { return QDate(year, month, d).toString(Qt::ISODate); };
    for (int month = 1; month <= 4; ++month)
        for (int i = 0; i < 40 * month; ++i)
            testsupport::execSql(
                db,
                QStringLiteral("INSERT INTO Salary (DeptName, MachineId, WorkerName, KindId, KindName, "
                               "Process, ProcessName, ProcessSize, ProductCount, ProcessPrice, "
                               "ProcessDate) VALUES ('缝纫一组',?,'张三','LYQ1083','儿童加厚连衣裙',"
                               "'工序3','上拉链',110,?,?,?)"),
                {i % 30 + 1, 80 + i % 40, 0.35 + (i % 7) * 0.125, day(month, i % 28 + 1)});
    testsupport::execSql(db, QStringLiteral("INSERT INTO MonthClose (Month, ClosedBy, ClosedAt) VALUES (?,?,?)"),
                         {QStringLiteral("%1-01").arg(year), QStringLiteral("管理员"), day(2, 3) + " 17:42:10"});
    testsupport::execSql(db, QStringLiteral("INSERT INTO MonthClose (Month, ClosedBy, ClosedAt) VALUES (?,?,?)"),
                         {QStringLiteral("%1-12").arg(year - 1), QStringLiteral("管理员"), day(1, 4) + " 09:05:33"});

    LoginUser = QStringLiteral("管理员");
    LoginRole = kAdministratorRole;
    TMainForm main;
    MainForm = &main;
    main.show();
    // Change lines as the program writes them.
    LogChange({change::kEditRecord, QStringLiteral("Salary"), 1042,
               ValuesText({QStringLiteral("id"), QStringLiteral("WorkerName"), QStringLiteral("ProductCount")},
                          {1042, QStringLiteral("张三"), 120}),
               ValuesText({QStringLiteral("id"), QStringLiteral("WorkerName"), QStringLiteral("ProductCount")},
                          {1042, QStringLiteral("张三"), 112}),
               QString()});
    LogChange({change::kCloseMonth, QStringLiteral("MonthClose"), QStringLiteral("%1-01").arg(year), QString(),
               ValuesText({QStringLiteral("Month"), QStringLiteral("ClosedBy"), QStringLiteral("Records"),
                           QStringLiteral("Wages")},
                          {QStringLiteral("%1-01").arg(year), QStringLiteral("管理员"), 40, 2345.5}),
               QString()});
    LogChange({change::kReopenMonth, QStringLiteral("MonthClose"), QStringLiteral("%1-02").arg(year),
               ValuesText({QStringLiteral("Id"), QStringLiteral("Month"), QStringLiteral("ClosedBy")},
                          {3, QStringLiteral("%1-02").arg(year), QStringLiteral("管理员")}),
               QString(), QStringLiteral("二月工价套错，重新套用后再结账")});

    const auto shoot = [&](QAction* item, const QString& name) {
        item->trigger();
        QTest::qWait(300);
        main.grab().save(QDir(folder).filePath(name));
        for (QMdiSubWindow* frame : main.childFrames())
            frame->close();
        QTest::qWait(100);
    };
    shoot(main.MonthClose, QStringLiteral("monthclose.png"));
    shoot(main.ChangeLog, QStringLiteral("changelog.png"));
    return 0;
}
