// Saves a picture of each master-data window, filled with a few rows, into the folder given as
// the first argument; for a person to look at (run under Xvfb with the xcb platform).

#include "data/DataModule.h"
#include "data/LoginIdentity.h"
#include "masterdata/Dept.h"
#include "masterdata/Password.h"
#include "masterdata/Useradd.h"
#include "masterdata/Worker.h"
#include "testsupport/Shots.h"
#include "testsupport/TestProgramDir.h"
#include "toolkit/DataGrid.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

namespace {

void save(QWidget* window, const QString& folder, const QString& name)
{
    window->show();
    QTest::qWait(200);
    window->grab().save(QDir(folder).filePath(name + QStringLiteral(".png")));
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    testsupport::useProgramFont(app);
    const QString folder = testsupport::picturesFolder(argc, argv);

    testsupport::TestProgramDir dir;
    dir.prepareDatabase();
    const QString db = dir.dbPath();
    for (const char* team : {"裁剪组", "缝纫一组", "缝纫二组", "整烫组"})
        testsupport::execSql(db, QStringLiteral("INSERT INTO Dept (DeptName) VALUES (?)"), {QString::fromUtf8(team)});
    const char* names[] = {"张三", "李四", "王五", "赵六", "钱七", "孙八", "周九", "吴十"};
    for (int i = 0; i < 8; ++i)
        testsupport::execSql(db,
                             QStringLiteral("INSERT INTO Worker (WorkerName, DeptId, MachineId, EnterDate) "
                                            "VALUES (?,?,?,?)"),
                             {QString::fromUtf8(names[i]), i % 4 + 1, QString::number(i + 1),
                              QStringLiteral("2004-0%1-1%2").arg(i % 9 + 1).arg(i)});
    testsupport::execSql(db, QStringLiteral("INSERT INTO UserData (\"User\", Password, Role) VALUES (?,?,?)"),
                         {QStringLiteral("Dorvik"), QStringLiteral("qekw"), QStringLiteral("系统管理员")});
    testsupport::execSql(db, QStringLiteral("INSERT INTO UserData (\"User\", Password, Role) VALUES (?,?,?)"),
                         {QStringLiteral("小李"), QStringLiteral("1234"), QStringLiteral("普通操作员")});
    LoginUser = QStringLiteral("Dorvik");
    LoginRole = QStringLiteral("系统管理员");

    TDM dm;
    {
        TDeptForm dept;
        dept.DeptName_Edit->setText(QStringLiteral("缝纫一组"));
        save(&dept, folder, QStringLiteral("dept"));
    }
    {
        TWorkerForm worker;
        worker.WorkerName_Edit->setText(QStringLiteral("张三"));
        worker.DeptName_ComboBox->setCurrentIndex(0);
        worker.Machine_Combobox->setCurrentIndex(0);
        save(&worker, folder, QStringLiteral("worker"));
    }
    {
        TPasswordForm users;
        save(&users, folder, QStringLiteral("users"));
        users.SelectedUserId = 2;
        users.cmdedit->click();
        save(UserForm, folder, QStringLiteral("useredit"));
        users.cmdadd->click();
        save(UserForm, folder, QStringLiteral("useradd"));
    }
    return 0;
}
