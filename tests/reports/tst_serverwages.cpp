#include "SampleData.h"
#include "data/Backup.h"
#include "data/DataModule.h"
#include "data/Sql.h"
#include "platform/RegistryStore.h"
#include "reports/Query.h"
#include "testsupport/BoxAnswerer.h"
#include "testsupport/TestProgramDir.h"
#include "toolkit/DisplayMask.h"

#include <QCoreApplication>
#include <QTest>

#include <memory>

// One workshop kept twice, in a database file and on a server: every wage summary the query window
// shows comes out the same on both, to the fen, worker by worker.

namespace {

QString socketFolder()
{
    return qEnvironmentVariable("DORVIK_TEST_PG_SOCKET");
}

void pointDataSourceAt(const QString& source)
{
    auto key = platform::RegistryStore::openKey(data::Connection::kDataSourceKey, true);
    if (!key || !key->writeString(QStringLiteral("DBQ"), source))
        QFAIL("cannot write the data source");
}

// Team, place and worker -> the wage as the summary grid shows it, and to the fen.
QMap<QString, QStringList> wagesOf(const QString& source, const QString& sql, const QVariantList& params)
{
    pointDataSourceAt(source);
    TDM dm;
    QMap<QString, QStringList> wages;
    if (!OpenQuery(DM->SalaryMonthQuery, sql, params))
        return wages;
    data::DataSet* set = DM->SalaryMonthQuery;
    for (int r = 0; r < set->recordCount(); ++r) {
        const double wage = set->value(r, set->findField(QStringLiteral("Expr1003"))).toDouble();
        const QString who =
            QStringList{set->value(r, 0).toString(), set->value(r, 1).toString(), set->value(r, 2).toString()}.join(
                QLatin1Char('|'));
        wages[who] = {toolkit::formatNumber(wage, toolkit::kYuanMask),
                      toolkit::formatNumber(wage, QStringLiteral("0.00"))};
    }
    return wages;
}

} // namespace

class TestServerWages : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void summariesAgreeToTheFen_data();
    void summariesAgreeToTheFen();

private:
    std::unique_ptr<testsupport::TestProgramDir> m_dir;
    std::unique_ptr<testsupport::BoxAnswerer> m_boxes;
    QString m_database;
    QString m_uri;
    QDate m_lastMonth;
};

void TestServerWages::initTestCase()
{
    if (socketFolder().isEmpty())
        QSKIP("no test server (DORVIK_TEST_PG_SOCKET)");
    m_dir = std::make_unique<testsupport::TestProgramDir>();
    m_boxes = std::make_unique<testsupport::BoxAnswerer>();
    // Three months of a small workshop, every price applied: prices of three decimals, sums that
    // end in a half fen.
    sample::Options options;
    options.rows = 20000;
    options.months = 3;
    options.workers = 40;
    QString error;
    QVERIFY2(sample::createSampleDatabase(m_dir->dbPath(), options, &error), qPrintable(error));
    m_lastMonth = sample::lastMonthOf(options);

    m_database = QStringLiteral("wages_%1").arg(QCoreApplication::applicationPid());
    testsupport::execSql(testsupport::serverAdminUri(), QStringLiteral("DROP DATABASE IF EXISTS %1").arg(m_database));
    testsupport::execSql(testsupport::serverAdminUri(), QStringLiteral("CREATE DATABASE %1").arg(m_database));
    m_uri = QStringLiteral("postgresql:///%1?host=%2&user=dorvik").arg(m_database, socketFolder());
    const data::CopyOutcome moved = data::migrateToServer(m_dir->dbPath(), m_uri);
    QVERIFY2(moved.ok, qPrintable(moved.message));
}

void TestServerWages::cleanupTestCase()
{
    if (!m_database.isEmpty())
        testsupport::execSql(testsupport::serverAdminUri(),
                             QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(m_database));
    if (m_boxes)
        QCOMPARE(m_boxes->unexpected(), 0);
}

void TestServerWages::summariesAgreeToTheFen_data()
{
    QTest::addColumn<QString>("summary");
    QTest::newRow("one month") << "month";
    QTest::newRow("all months") << "all";
    QTest::newRow("all months at list prices") << "list";
}

void TestServerWages::summariesAgreeToTheFen()
{
    QFETCH(QString, summary);
    const QVariantList month{MonthStart(m_lastMonth), NextMonthStart(m_lastMonth)};
    const auto sqlFor = [&](data::Dialect dialect) {
        return summary == QLatin1String("month") ? querysql::summaryMonth(dialect)
               : summary == QLatin1String("all") ? querysql::kSummaryAll
                                                 : querysql::kSummaryListPrice;
    };
    const QVariantList params = summary == QLatin1String("month") ? month : QVariantList();
    const auto onFile = wagesOf(m_dir->dbPath(), sqlFor(data::Dialect::Sqlite), params);
    const auto onServer = wagesOf(m_uri, sqlFor(data::Dialect::Postgres), params);
    QCOMPARE(m_boxes->takeTexts(), QStringList());
    QVERIFY(onFile.size() >= 40);
    QCOMPARE(onServer.keys(), onFile.keys());
    for (auto it = onFile.cbegin(); it != onFile.cend(); ++it)
        QCOMPARE(onServer.value(it.key()), it.value());
}

QTEST_MAIN(TestServerWages)
#include "tst_serverwages.moc"
