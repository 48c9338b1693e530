#include "data/ClientName.h"
#include "data/DataModule.h"
#include "platform/RegistryStore.h"
#include "shell/Login.h"
#include "testsupport/BoxAnswerer.h"
#include "testsupport/TestProgramDir.h"

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <memory>

using testsupport::BoxAnswerer;
using testsupport::TestProgramDir;

namespace {
const QString kFailure = QStringLiteral("对不起，密码输入错误，再试一次？");
const QString kAdmin = kAdministratorRole;
const QString kOperator = kOperatorRole;
} // namespace

class TestLogin : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void windowLooksAsDesigned();
    void loginCases_data();
    void loginCases();
    void threeFailuresThenTheFourthPressEnds();
    void enterMovesOnThenLogsIn();
    void unreachableDatabaseStillLetsTheBuiltInAccountIn();
    void theServerConnectionTakesTheClerksName();

private:
    void addUser(const QString& user, const QVariant& password, const QString& role);
    std::unique_ptr<TestProgramDir> m_dir;
    std::unique_ptr<BoxAnswerer> m_boxes;
};

void TestLogin::init()
{
    m_dir = std::make_unique<TestProgramDir>();
    m_dir->createDatabase();
    m_boxes = std::make_unique<BoxAnswerer>();
    LoginUser.clear();
    LoginRole.clear();
}

void TestLogin::cleanup()
{
    QCOMPARE(m_boxes->unexpected(), 0);
    m_boxes.reset();
    m_dir.reset();
}

void TestLogin::addUser(const QString& user, const QVariant& password, const QString& role)
{
    testsupport::execSql(m_dir->dbPath(),
                         QStringLiteral("Insert Into UserData (\"User\",Password,Role) Values (?,?,?)"),
                         {user, password, role});
}

void TestLogin::windowLooksAsDesigned()
{
    TLoginForm form;
    QCOMPARE(form.windowTitle(), QStringLiteral("登录窗口"));
    QCOMPARE(form.size(), QSize(315, 140));
    // A fixed dialog frame without title-bar buttons.
    QCOMPARE(form.minimumSize(), form.maximumSize());
    QVERIFY(form.windowFlags().testFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint));
    QVERIFY(!(form.windowFlags() & (Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint)));
    QCOMPARE(form.User_Label->text(), QStringLiteral("用户名："));
    QCOMPARE(form.Password_Label->text(), QStringLiteral("密  码："));
    QCOMPARE(form.CmdLogin->text(), QStringLiteral("登录"));
    QCOMPARE(form.CmdExit->text(), QStringLiteral("退出"));
    QCOMPARE(form.Password_edit->echoMode(), QLineEdit::Password);
    QCOMPARE(form.findChild<QLineEdit*>(QStringLiteral("User_edit")), form.User_edit);
    QCOMPARE(form.findChild<QPushButton*>(QStringLiteral("CmdLogin")), form.CmdLogin);
    // Tab order: name, password, then the two buttons.
    QList<QWidget*> tabOrder;
    QWidget* w = form.User_edit;
    do {
        if (w->focusPolicy() & Qt::TabFocus)
            tabOrder << w;
        w = w->nextInFocusChain();
    } while (w != form.User_edit);
    QCOMPARE(tabOrder, (QList<QWidget*>{form.User_edit, form.Password_edit, form.CmdLogin, form.CmdExit}));
    form.show();
    QVERIFY(form.CmdLogin->x() < form.CmdExit->x());
}

void TestLogin::loginCases_data()
{
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QString>("role");
    QTest::addColumn<QString>("focus"); // the field that has the focus after a failure

    QTest::newRow("built-in account") << "Dorvik"
                                      << "qekw" << true << kAdmin << "";
    QTest::newRow("built-in, wrong password case") << "Dorvik"
                                                   << "QEKW" << false << ""
                                                   << "Password_edit";
    QTest::newRow("built-in name in lower case is looked up") << "dorvik"
                                                              << "qekw" << true << kOperator << "";
    QTest::newRow("stored name in another case") << "ALICE"
                                                 << "secret" << true << kAdmin << "";
    QTest::newRow("password is case-sensitive") << "alice"
                                                << "SECRET" << false << ""
                                                << "Password_edit";
    QTest::newRow("no such user") << "bob"
                                  << "secret" << false << ""
                                  << "Password_edit";
    QTest::newRow("name is not trimmed") << "alice "
                                         << "secret" << false << ""
                                         << "Password_edit";
    QTest::newRow("quote in a stored name") << "O'Brien"
                                            << "pw" << true << kOperator << "";
    QTest::newRow("statement trick does not log in") << "x' or '1'='1"
                                                     << "pw" << false << ""
                                                     << "Password_edit";
    QTest::newRow("stored empty password never matches") << "nopass"
                                                         << "x" << false << ""
                                                         << "Password_edit";
    QTest::newRow("empty password") << "alice"
                                    << "" << false << ""
                                    << "User_edit";
    QTest::newRow("empty user") << ""
                                << "secret" << false << ""
                                << "User_edit";
}

void TestLogin::loginCases()
{
    QFETCH(QString, user);
    QFETCH(QString, password);
    QFETCH(bool, accepted);
    QFETCH(QString, role);
    QFETCH(QString, focus);
    m_dir->registerDataSource();
    addUser(QStringLiteral("alice"), QStringLiteral("secret"), kAdmin);
    addUser(QStringLiteral("dorvik"), QStringLiteral("qekw"), kOperator);
    addUser(QStringLiteral("O'Brien"), QStringLiteral("pw"), kOperator);
    addUser(QStringLiteral("nopass"), QVariant(), kOperator);

    TLoginForm form;
    form.show();
    QApplication::setActiveWindow(&form);
    QVERIFY(QTest::qWaitForWindowActive(&form));
    form.User_edit->setText(user);
    form.Password_edit->setText(password);
    form.CmdLogin->click();

    if (accepted) {
        QCOMPARE(form.result(), int(QDialog::Accepted));
        QCOMPARE(LoginUser, user);
        QCOMPARE(LoginRole, role);
        QCOMPARE(m_boxes->take().size(), 0);
    } else {
        QVERIFY(form.isVisible());
        QVERIFY(LoginUser.isEmpty() && LoginRole.isEmpty());
        QCOMPARE(form.failCount(), 1);
        const auto boxes = m_boxes->take();
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes[0].text, kFailure);
        QCOMPARE(boxes[0].caption, QStringLiteral("蓝栎服装计件工资管理系统"));
        QCOMPARE(boxes[0].icon, toolkit::MsgIcon::Stop);
        QCOMPARE(QApplication::focusWidget()->objectName(), focus);
    }
}

void TestLogin::threeFailuresThenTheFourthPressEnds()
{
    m_dir->registerDataSource();
    TLoginForm form;
    form.show();
    form.User_edit->setText(QStringLiteral("nobody"));
    form.Password_edit->setText(QStringLiteral("x"));
    form.CmdLogin->click();
    form.Password_edit->clear();
    form.CmdLogin->click(); // an empty field counts too
    form.Password_edit->setText(QStringLiteral("y"));
    form.CmdLogin->click();
    QCOMPARE(m_boxes->takeTexts(), (QStringList{kFailure, kFailure, kFailure}));
    QVERIFY(form.isVisible());

    // Even the right account cannot log in now: the press ends the program.
    form.User_edit->setText(QStringLiteral("Dorvik"));
    form.Password_edit->setText(QStringLiteral("qekw"));
    form.CmdLogin->click();
    QCOMPARE(form.result(), int(QDialog::Rejected));
    QVERIFY(!form.isVisible());
    QVERIFY(LoginUser.isEmpty());
    QCOMPARE(m_boxes->take().size(), 0);
}

void TestLogin::enterMovesOnThenLogsIn()
{
    TLoginForm form;
    form.show();
    QApplication::setActiveWindow(&form);
    QVERIFY(QTest::qWaitForWindowActive(&form));
    QVERIFY(form.User_edit->hasFocus());
    QTest::keyClicks(form.User_edit, QStringLiteral("Dorvik"));
    QTest::keyClick(form.User_edit, Qt::Key_Return);
    QVERIFY(form.Password_edit->hasFocus());
    QCOMPARE(form.result(), int(QDialog::Rejected)); // Enter in the name field does not log in
    QVERIFY(form.isVisible());
    QTest::keyClicks(form.Password_edit, QStringLiteral("qekw"));
    QTest::keyClick(form.Password_edit, Qt::Key_Enter);
    QCOMPARE(form.result(), int(QDialog::Accepted));
    QCOMPARE(LoginUser, QStringLiteral("Dorvik"));
}

void TestLogin::unreachableDatabaseStillLetsTheBuiltInAccountIn()
{
    m_dir->registerDataSource();
    // No database file, or no server at the place the data source names.
    QString cause = QStringLiteral("找不到数据库文件 ") + m_dir->dbPath();
    if (testsupport::onServer()) {
        auto key = platform::RegistryStore::openKey(QStringLiteral("Software\\ODBC\\ODBC.INI\\Dorvik"), true);
        QVERIFY(key && key->writeString(QStringLiteral("DBQ"),
                                        QStringLiteral("postgresql:///dorvik?host=/nonexistent-dorvik&user=dorvik")));
        cause = QStringLiteral("无法连接数据库服务器 /nonexistent-dorvik:5432");
    } else {
        QFile::remove(m_dir->dbPath());
    }
    TLoginForm form;
    form.User_edit->setText(QStringLiteral("alice"));
    form.Password_edit->setText(QStringLiteral("secret"));
    form.CmdLogin->click();
    const QStringList texts = m_boxes->takeTexts();
    QCOMPARE(texts.size(), 2);
    const QString failed = QStringLiteral("操作数据表时出错, 执行语句为:\n\nSelect Password,Role From UserData Where "
                                          "\"User\"='alice'\n\n") +
                           cause;
    QVERIFY2(texts.at(0) == failed || (testsupport::onServer() && texts.at(0).startsWith(failed)),
             qPrintable(texts.at(0)));
    QCOMPARE(texts.at(1), kFailure);
    form.User_edit->setText(QStringLiteral("Dorvik"));
    form.Password_edit->setText(QStringLiteral("qekw"));
    form.CmdLogin->click();
    QCOMPARE(form.result(), int(QDialog::Accepted));
    QCOMPARE(LoginRole, kAdmin);
    QVERIFY(!QFile::exists(m_dir->dbPath()));
}

// The look-up connected before anyone had logged in; after the login the server knows the clerk.
void TestLogin::theServerConnectionTakesTheClerksName()
{
    if (!testsupport::onServer())
        QSKIP("a server case");
    m_dir->registerDataSource();
    addUser(QStringLiteral("张三"), QStringLiteral("pw"), kOperator);
    TLoginForm form;
    form.User_edit->setText(QStringLiteral("张三"));
    form.Password_edit->setText(QStringLiteral("pw"));
    form.CmdLogin->click();
    QCOMPARE(form.result(), int(QDialog::Accepted));
    QVERIFY(DM->connection()->isOpen());
    const auto names = testsupport::queryRows(
        m_dir->dbPath(), QStringLiteral("SELECT application_name FROM pg_stat_activity "
                                        "WHERE datname = current_database() AND pid <> pg_backend_pid()"));
    QCOMPARE(names, (QList<QVariantList>{
                        {QString::fromLatin1(data::applicationName(QStringLiteral("张三"), data::thisHostName()))}}));
    QCOMPARE(m_boxes->take().size(), 0);
}

QTEST_MAIN(TestLogin)
#include "tst_login.moc"
