#include "platform/RegistryStore.h"
#include "testsupport/TestProgramDir.h"

#include <QDate>
#include <QTest>

#include <memory>

// The direct database access the tests use beside the program: the same statement text and values
// give the same rows on a file and on the test cluster, and on the server every TestProgramDir owns
// a database of its own that the data source names and that goes with the object.
class TestProgramDirTest : public QObject {
    Q_OBJECT
private slots:
    void valuesAndRows_data();
    void valuesAndRows();
    void failedStatementThrows();
    void eachObjectHasItsOwnDatabase();
};

using Rows = QList<QVariantList>;

void TestProgramDirTest::valuesAndRows_data()
{
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QVariantList>("params");
    QTest::addColumn<QVariantList>("row");
    QTest::newRow("question marks in quotes")
        << QStringLiteral("SELECT 'a?b', ? AS \"x?\", ?") << QVariantList{QStringLiteral("x"), QStringLiteral("it's")}
        << QVariantList{QStringLiteral("a?b"), QStringLiteral("x"), QStringLiteral("it's")};
    QTest::newRow("null") << QStringLiteral("SELECT CAST(? AS TEXT), CAST(? AS TEXT) IS NULL")
                          << QVariantList{QVariant(), QVariant()} << QVariantList{QVariant(), 1LL};
    QTest::newRow("integer") << QStringLiteral("SELECT CAST(? AS INTEGER) + 1") << QVariantList{41}
                             << QVariantList{42LL};
    QTest::newRow("double, every digit") << QStringLiteral("SELECT CAST(? AS DOUBLE PRECISION)")
                                         << QVariantList{0.1 + 0.2} << QVariantList{0.1 + 0.2};
    QTest::newRow("decimal") << QStringLiteral("SELECT CAST(? AS NUMERIC(12,3))")
                             << QVariantList{QStringLiteral("1.005")} << QVariantList{1.005};
    QTest::newRow("date") << QStringLiteral("SELECT CAST(? AS TEXT)") << QVariantList{QDate(2024, 2, 29)}
                          << QVariantList{QStringLiteral("2024-02-29")};
    QTest::newRow("comparison") << QStringLiteral("SELECT 2 > 1, 1 > 2") << QVariantList{} << QVariantList{1LL, 0LL};
}

void TestProgramDirTest::valuesAndRows()
{
    QFETCH(QString, sql);
    QFETCH(QVariantList, params);
    QFETCH(QVariantList, row);
    testsupport::TestProgramDir dir;
    dir.createDatabase();
    QCOMPARE(testsupport::queryRows(dir.dbPath(), sql, params), (Rows{row}));
}

void TestProgramDirTest::failedStatementThrows()
{
    testsupport::TestProgramDir dir;
    dir.createDatabase();
    QVERIFY_THROWS_EXCEPTION(std::runtime_error, testsupport::execSql(dir.dbPath(), QStringLiteral("SELECT x FROM y")));
    QVERIFY_THROWS_EXCEPTION(std::runtime_error,
                             testsupport::queryRows(dir.dbPath(), QStringLiteral("SELECT * FROM NoSuchTable")));
    testsupport::execSql(dir.dbPath(), QStringLiteral("INSERT INTO Dept (DeptName) VALUES (?)"), {QStringLiteral("a")});
    QVERIFY_THROWS_EXCEPTION(std::runtime_error, testsupport::execSql(dir.dbPath(),
                                                                      QStringLiteral("INSERT INTO Dept "
                                                                                     "(DeptName) VALUES "
                                                                                     "(?)"),
                                                                      {QStringLiteral("A")}));
}

void TestProgramDirTest::eachObjectHasItsOwnDatabase()
{
    auto first = std::make_unique<testsupport::TestProgramDir>();
    testsupport::TestProgramDir second;
    first->prepareDatabase();
    second.createDatabase();
    QVERIFY(first->dbPath() != second.dbPath());
    QCOMPARE(first->dbPath().startsWith(QLatin1String("postgresql:///")), testsupport::onServer());
    // The data source names the database, file or server.
    const auto key = platform::RegistryStore::openKey(QStringLiteral("Software\\ODBC\\ODBC.INI\\Dorvik"), false);
    QVERIFY(key);
    QCOMPARE(key->value(QStringLiteral("DBQ"))->data.toString(), first->dbPath());

    testsupport::execSql(first->dbPath(), QStringLiteral("INSERT INTO Dept (DeptName) VALUES ('a')"));
    const QString count = QStringLiteral("SELECT count(*) FROM Dept");
    QCOMPARE(testsupport::queryRows(first->dbPath(), count), (Rows{{1LL}}));
    QCOMPARE(testsupport::queryRows(second.dbPath(), count), (Rows{{0LL}}));
    // Made again: empty.
    first->createDatabase();
    QCOMPARE(testsupport::queryRows(first->dbPath(), count), (Rows{{0LL}}));

    if (!testsupport::onServer())
        return;
    const QString name = first->dbPath().section(QLatin1Char('/'), 3).section(QLatin1Char('?'), 0, 0);
    const QString exists = QStringLiteral("SELECT count(*) FROM pg_database WHERE datname = ?");
    QCOMPARE(testsupport::queryRows(testsupport::serverAdminUri(), exists, {name}), (Rows{{1LL}}));
    first.reset();
    QCOMPARE(testsupport::queryRows(testsupport::serverAdminUri(), exists, {name}), (Rows{{0LL}}));
}

QTEST_GUILESS_MAIN(TestProgramDirTest)
#include "tst_testprogramdir.moc"
