#include "LoadRun.h"
#include "SampleData.h"
#include "data/Backup.h"
#include "testsupport/TestProgramDir.h"

#include <QCoreApplication>
#include <QTest>

// Four clerks save records of one month on the server at once, each through its own entry window
// with its own search list, while another applies new prices to the month twice and a third reads
// the month's wage summary over and over; each in a process of its own.

class TestLoadClerks : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void clerksPricesAndSummaryKeepToOneState();

private:
    std::unique_ptr<testsupport::TestProgramDir> m_dir;
    QString m_database;
    QString m_uri;
    QDate m_month;
};

void TestLoadClerks::initTestCase()
{
    const QString socket = qEnvironmentVariable("DORVIK_TEST_PG_SOCKET");
    if (socket.isEmpty())
        QSKIP("no test server (DORVIK_TEST_PG_SOCKET)");
    m_dir = std::make_unique<testsupport::TestProgramDir>();
    // A small workshop of one month; the clerks save into the month after it, which holds nothing.
    sample::Options options;
    options.rows = 3000;
    options.months = 1;
    options.teams = 4;
    options.workers = 40;
    options.styles = 12;
    options.lastMonth = QDate(2004, 3, 1);
    QString error;
    QVERIFY2(sample::createSampleDatabase(m_dir->file(QStringLiteral("workshop.mdb")), options, &error),
             qPrintable(error));
    m_month = QDate(2004, 4, 1);
    m_database = QStringLiteral("load_%1").arg(QCoreApplication::applicationPid());
    testsupport::execSql(testsupport::serverAdminUri(), QStringLiteral("DROP DATABASE IF EXISTS %1").arg(m_database));
    testsupport::execSql(testsupport::serverAdminUri(), QStringLiteral("CREATE DATABASE %1").arg(m_database));
    m_uri = QStringLiteral("postgresql:///%1?host=%2&user=dorvik").arg(m_database, socket);
    const data::CopyOutcome moved = data::migrateToServer(m_dir->file(QStringLiteral("workshop.mdb")), m_uri);
    QVERIFY2(moved.ok, qPrintable(moved.message));
}

void TestLoadClerks::cleanupTestCase()
{
    if (!m_database.isEmpty())
        testsupport::execSql(testsupport::serverAdminUri(),
                             QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(m_database));
}

void TestLoadClerks::clerksPricesAndSummaryKeepToOneState()
{
    loadrun::LoadOptions options;
    options.uri = m_uri;
    options.childProgram = QStringLiteral(LOAD_CHILD);
    options.month = m_month;
    options.addsPerClerk =
        qEnvironmentVariableIntValue("DORVIK_LOAD_ADDS") > 0 ? qEnvironmentVariableIntValue("DORVIK_LOAD_ADDS") : 5000;
    const loadrun::LoadResult result = loadrun::runLoad(options);
    qInfo().noquote() << loadrun::loadLine(result);
    for (const QString& line : loadrun::detailLines(result))
        qInfo().noquote() << line;

    QVERIFY2(result.errors.isEmpty(), qPrintable(result.errors.join(QLatin1Char('\n'))));
    const int total = options.clerks * options.addsPerClerk;
    QCOMPARE(result.adds, total);
    QCOMPARE(result.newRecords, qint64(total));
    QCOMPARE(result.retries, 0);
    // Both applications ran while the clerks saved, and the last one reached records.
    QCOMPARE(result.applications, 2);
    QVERIFY(result.pricedRecords > 0);
    QCOMPARE(result.pricedAtOtherPrices, 0);
    QCOMPARE(result.unpricedBelowPriced, 0);
    QCOMPARE(result.unpricedAfterFinal, 0);
    QVERIFY(result.summaryReads > 0);
    QCOMPARE(result.inconsistentReads, QStringList());
    QCOMPARE(result.listsChecked, options.clerks);
    QCOMPARE(result.listMismatches, QStringList());
}

QTEST_MAIN(TestLoadClerks)
#include "tst_loadclerks.moc"
