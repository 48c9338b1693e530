#include "data/ClientName.h"
#include "data/Connection.h"
#include "data/DataModule.h"
#include "data/LoginIdentity.h"
#include "platform/RegistryStore.h"
#include "shell/MAIN.h"
#include "shell/Online.h"
#include "testsupport/BoxAnswerer.h"
#include "testsupport/TestProgramDir.h"
#include "toolkit/DataGrid.h"

#include <QDateTime>
#include <QPointer>
#include <QPushButton>
#include <QTest>

#include <libpq-fe.h>

#include <ctime>
#include <memory>

using testsupport::BoxAnswerer;
using testsupport::TestProgramDir;

namespace {

const QString kRefusal = QStringLiteral("对不起，在线用户只能在连接数据库服务器时查看!");

using RawConnection = std::unique_ptr<PGconn, void (*)(PGconn*)>;

// A connection of another program, or of this one on another PC, that names itself as given.
RawConnection connectAs(const QString& uri, const QByteArray& applicationName)
{
    const QByteArray dbname = uri.toUtf8();
    const char* keys[] = {"dbname", "application_name", nullptr};
    const char* values[] = {dbname.constData(), applicationName.constData(), nullptr};
    return RawConnection(PQconnectdbParams(keys, values, 1), PQfinish);
}

// What the list shows, a line per connection: clerk | PC | address | state | own mark.
QStringList shownRows(const TOnlineForm* form)
{
    const toolkit::DataGridModel* model = form->OnlineGrid->gridModel();
    QStringList rows;
    for (int row = 0; row < model->rowCount(); ++row)
        rows << QStringList{model->displayText(row, 0), model->displayText(row, 1), model->displayText(row, 2),
                            model->displayText(row, 4), model->displayText(row, 5)}
                    .join(QStringLiteral(" | "));
    rows.sort();
    return rows;
}

} // namespace

class TestOnline : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void applicationNameIsCutOnACharacterBoundary_data();
    void applicationNameIsCutOnACharacterBoundary();
    void otherProgramsNamesAreNotRead_data();
    void otherProgramsNamesAreNotRead();
    void listsTheClerksAndMarksItsOwn();
    void theProgramsNameWinsOverTheDataSources();
    void refusesOnAFile();

private:
    TOnlineForm* openOnlineForm(const QString& clerk);

    std::unique_ptr<TestProgramDir> m_dir;
    std::unique_ptr<BoxAnswerer> m_boxes;
    QPointer<TMainForm> m_main;
};

void TestOnline::initTestCase()
{
    // A time zone away from UTC, so that a connection time shown in the server's time would differ.
    qputenv("TZ", "Asia/Shanghai");
    tzset();
}

void TestOnline::init()
{
    m_dir = std::make_unique<TestProgramDir>();
    m_dir->prepareDatabase();
    m_boxes = std::make_unique<BoxAnswerer>();
}

void TestOnline::cleanup()
{
    delete m_main;
    QCOMPARE(OnlineForm, nullptr);
    QCOMPARE(DM, nullptr);
    LoginUser.clear();
    LoginRole.clear();
    QCOMPARE(m_boxes->unexpected(), 0);
    m_boxes.reset();
    m_dir.reset();
}

// The window as the menu opens it for an administrator logged in as clerk.
TOnlineForm* TestOnline::openOnlineForm(const QString& clerk)
{
    LoginUser = clerk;
    LoginRole = kAdministratorRole;
    m_main = new TMainForm;
    MainForm = m_main;
    m_main->show();
    m_main->OnlineUsers->trigger();
    return OnlineForm;
}

void TestOnline::applicationNameIsCutOnACharacterBoundary_data()
{
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("host");
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QString>("userRead"); // what the list reads back from the name
    QTest::addColumn<QString>("hostRead");

    const QString fiftyFive(55, QLatin1Char('x'));
    QTest::newRow("plain name") << "alice"
                                << "pc-07" << QByteArray("Dorvik alice@pc-07") << "alice"
                                << "pc-07";
    QTest::newRow("Chinese name") << "张三"
                                  << "pc-07" << QByteArray("Dorvik %E5%BC%A0%E4%B8%89@pc-07") << "张三"
                                  << "pc-07";
    QTest::newRow("before the login") << ""
                                      << "pc-07" << QByteArray("Dorvik @pc-07") << ""
                                      << "pc-07";
    QTest::newRow("the separator and escape in a name") << "a@b%c"
                                                        << "pc 7" << QByteArray("Dorvik a%40b%25c@pc 7") << "a@b%c"
                                                        << "pc 7";
    QTest::newRow("long Chinese name: cut after the sixth character, PC gone")
        << "欧阳一二三四五六"
        << "pc-07" << QByteArray("Dorvik %E6%AC%A7%E9%98%B3%E4%B8%80%E4%BA%8C%E4%B8%89%E5%9B%9B") << "欧阳一二三四"
        << "";
    QTest::newRow("a character of four bytes is not split")
        << QStringLiteral("一二三四五\U00020000") << "pc-07"
        << QByteArray("Dorvik %E4%B8%80%E4%BA%8C%E4%B8%89%E5%9B%9B%E4%BA%94") << "一二三四五"
        << "";
    QTest::newRow("the PC cut short") << "张三丰"
                                      << "workshop-office-pc-number-one"
                                      << QByteArray("Dorvik %E5%BC%A0%E4%B8%89%E4%B8%B0@workshop-office-pc-number-on")
                                      << "张三丰"
                                      << "workshop-office-pc-number-on";
    QTest::newRow("exactly 63 bytes") << fiftyFive << "pc-07" << QByteArray("Dorvik " + fiftyFive.toLatin1() + "@")
                                      << fiftyFive << "";
}

void TestOnline::applicationNameIsCutOnACharacterBoundary()
{
    QFETCH(QString, user);
    QFETCH(QString, host);
    QFETCH(QByteArray, name);
    QFETCH(QString, userRead);
    QFETCH(QString, hostRead);
    const QByteArray made = data::applicationName(user, host);
    QCOMPARE(made, name);
    QVERIFY(made.size() <= data::kApplicationNameBytes);
    const data::ClientName read = data::readApplicationName(QString::fromLatin1(made));
    QVERIFY(read.ours);
    QCOMPARE(read.user, userRead);
    QCOMPARE(read.host, hostRead);
}

void TestOnline::otherProgramsNamesAreNotRead_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("empty") << "";
    QTest::newRow("another program") << "psql";
    QTest::newRow("no blank after the program's name") << "Dorvik";
    QTest::newRow("two separators") << "Dorvik a@b@c";
    QTest::newRow("not the server's kind of text") << "Dorvik 张三@pc";
}

void TestOnline::otherProgramsNamesAreNotRead()
{
    QFETCH(QString, name);
    QVERIFY(!data::readApplicationName(name).ours);
}

// Two more connections of the program (one in a transaction), one of a clerk on another PC and one
// of another program: each is listed as it is, this window's own connection marked; a connection
// that has gone is no longer listed after "刷新".
void TestOnline::listsTheClerksAndMarksItsOwn()
{
    if (!testsupport::onServer())
        QSKIP("a server case");
    const QString uri = m_dir->dbPath();
    const QString host = data::thisHostName();
    const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
    auto first = std::make_unique<data::Connection>();
    LoginUser = QStringLiteral("张三");
    QVERIFY(first->open());
    data::Connection second;
    LoginUser = QStringLiteral("李四");
    QVERIFY(second.open());
    QVERIFY(second.begin());
    RawConnection otherPc = connectAs(uri, data::applicationName(QStringLiteral("赵六"), QStringLiteral("裁剪间")));
    RawConnection otherProgram = connectAs(uri, "psql");
    QCOMPARE(PQstatus(otherPc.get()), CONNECTION_OK);
    QCOMPARE(PQstatus(otherProgram.get()), CONNECTION_OK);

    TOnlineForm* form = openOnlineForm(QStringLiteral("王五"));
    QVERIFY(form);
    const QDateTime after = QDateTime::currentDateTime().addSecs(1);
    QCOMPARE(form->windowTitle(), QStringLiteral("在线用户"));
    const QString socket = QStringLiteral("本机（套接字）");
    const QStringList all{
        "psql |  | " + socket + " | 空闲 | ",
        "张三 | " + host + " | " + socket + " | 空闲 | ",
        "李四 | " + host + " | " + socket + " | 事务中 | ",
        "王五 | " + host + " | " + socket + " | 执行中 | √",
        "赵六 | 裁剪间 | " + socket + " | 空闲 | ",
    };
    QStringList expected = all;
    expected.sort();
    QCOMPARE(shownRows(form), expected);
    // The connection times in this PC's local time.
    const toolkit::DataGridModel* model = form->OnlineGrid->gridModel();
    QCOMPARE(model->headerData(3, Qt::Horizontal, Qt::DisplayRole).toString(), QStringLiteral("连接时间"));
    for (int row = 0; row < model->rowCount(); ++row) {
        const QString text = model->displayText(row, 3);
        const QDateTime at = QDateTime::fromString(text, QStringLiteral("yyyy-MM-dd hh:mm:ss"));
        QVERIFY2(at >= before && at <= after, qPrintable(text));
    }

    first.reset();
    otherProgram.reset();
    expected.removeOne(all.at(0));
    expected.removeOne(all.at(1));
    // The server lets a closed connection go a moment after it closes.
    auto* refresh = form->findChild<QPushButton*>(QStringLiteral("cmdrefresh"));
    QTRY_COMPARE((refresh->click(), shownRows(form)), expected);

    form->findChild<QPushButton*>(QStringLiteral("cmdexit"))->click();
    QTRY_COMPARE(OnlineForm, nullptr);
    QCOMPARE(m_boxes->take().size(), 0);
}

// An application_name in the data source does not hide the clerk.
void TestOnline::theProgramsNameWinsOverTheDataSources()
{
    if (!testsupport::onServer())
        QSKIP("a server case");
    const QString uri = m_dir->dbPath() + QStringLiteral("&application_name=someone-else");
    platform::RegistryStore::openKey(data::Connection::kDataSourceKey, true)->writeString(QStringLiteral("DBQ"), uri);
    LoginUser = QStringLiteral("张三");
    data::Connection connection;
    QVERIFY(connection.open());
    const auto rows = testsupport::queryRows(
        m_dir->dbPath(), QStringLiteral("SELECT application_name FROM pg_stat_activity "
                                        "WHERE datname = current_database() AND pid <> pg_backend_pid()"));
    QCOMPARE(rows.size(), 1);
    QCOMPARE(rows.at(0).at(0).toString(), QString::fromLatin1(data::applicationName()));
}

void TestOnline::refusesOnAFile()
{
    if (testsupport::onServer())
        QSKIP("a file case");
    LoginUser = QStringLiteral("Dorvik");
    LoginRole = kAdministratorRole;
    m_main = new TMainForm;
    MainForm = m_main;
    m_main->show();
    QVERIFY(!m_main->OnlineUsers->isEnabled());

    // From the main window: the box, and no window.
    m_main->OnlineUsersClick();
    QCOMPARE(m_boxes->takeTexts(), QStringList{kRefusal});
    QCOMPARE(OnlineForm, nullptr);
    QVERIFY(m_main->childFrames().isEmpty());

    // Made directly: the box, no statement, and the window goes.
    QPointer<TOnlineForm> form = new TOnlineForm;
    toolkit::ChildWindow::present(form);
    QCOMPARE(m_boxes->takeTexts(), QStringList{kRefusal});
    QTRY_VERIFY(form.isNull());
    QTRY_VERIFY(m_main->childFrames().isEmpty());
    QVERIFY(!DM->connection()->isOpen());
}

QTEST_MAIN(TestOnline)
#include "tst_online.moc"
