#include "data/Backup.h"
#include "data/DataModule.h"
#include "data/Sql.h"
#include "testsupport/BoxAnswerer.h"
#include "testsupport/SalaryList.h"
#include "testsupport/TestProgramDir.h"

#include <QSignalSpy>
#include <QTest>

#include <memory>

// A list patched after one change holds exactly the rows, values and order that reading it again
// gives: under each order (texts without regard to case, empty values, numbers of both kinds,
// ties broken by key) and with or without a filter.

using testsupport::List;
using testsupport::rowsOf;

namespace {

const QString kInsert = QStringLiteral("Insert Into Salary (DeptName,MachineId,WorkerName,ProcessSize,ProductCount,"
                                       "ProcessDate) Values (?,?,?,?,?,?)");

} // namespace

class TestRowPatch : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        m_dir = std::make_unique<testsupport::TestProgramDir>();
        m_dir->prepareDatabase();
        fillPristine();
        if (!testsupport::onServer())
            m_pristine = testsupport::readFile(m_dir->dbPath());
    }
    void init()
    {
        if (testsupport::onServer()) {
            testsupport::execSql(m_dir->dbPath(), QStringLiteral("TRUNCATE Salary RESTART IDENTITY"));
            fillPristine();
        } else {
            QVERIFY(testsupport::writeFile(m_dir->dbPath(), m_pristine));
        }
        m_boxes = std::make_unique<testsupport::BoxAnswerer>();
        m_dm = std::make_unique<TDM>();
    }
    void cleanup()
    {
        m_dm.reset();
        QCOMPARE(m_boxes->takeTexts(), QStringList());
        m_boxes.reset();
    }
    void cleanupTestCase() { m_dir.reset(); }

    void patchedEqualsReloaded_data();
    void patchedEqualsReloaded();
    void refusedAfterAnotherChange();
    void refusedAfterARestore();

private:
    // Names differing only in case, an empty name, equal dates, whole and fractional sizes.
    void fillPristine() const { fillPristine(m_dir->dbPath()); }
    static void fillPristine(const QString& db)
    {
        const QList<QVariantList> rows = {
            {"一组", 1, "bob", 38, 10, "2004-03-01"},          {"一组", 2, "Alice", 40.5, 20, "2004-03-02"},
            {"二组", 1, "ALICE", QVariant(), 5, "2004-03-02"}, {"二组", 3, QVariant(), 36, 7, "2004-03-01"},
            {"二组", 1, "张三", 40, QVariant(), "2004-03-05"}, {"一组", 2, "alice", 39.5, 8, "2004-03-02"},
            {"一组", 1, "Bob", 41, 9, "2004-02-27"},
        };
        // One statement: on the server each direct statement is a connection of its own.
        QString sql = kInsert;
        QVariantList params = rows.first();
        for (qsizetype r = 1; r < rows.size(); ++r) {
            sql += QStringLiteral(",(?,?,?,?,?,?)");
            params += rows.at(r);
        }
        testsupport::execSql(db, sql, params);
    }

    std::unique_ptr<testsupport::TestProgramDir> m_dir;
    QByteArray m_pristine; // the database file before each case
    std::unique_ptr<testsupport::BoxAnswerer> m_boxes;
    std::unique_ptr<TDM> m_dm;
};

void TestRowPatch::patchedEqualsReloaded_data()
{
    QTest::addColumn<QString>("condition");
    QTest::addColumn<QVariantList>("params");
    QTest::addColumn<QString>("order");
    QTest::addColumn<QString>("change");
    QTest::addColumn<QVariantList>("values"); // of the record added or written

    const QList<std::pair<const char*, QString>> orders = {
        {"key", QStringLiteral("id desc")},
        {"name", QStringLiteral("WorkerName ASC, Id Desc")},
        {"name desc", QStringLiteral("WorkerName DESC, Id Desc")},
        {"date", QStringLiteral("ProcessDate DESC, Id Desc")},
        {"size", QStringLiteral("ProcessSize ASC, Id Desc")},
        {"count", QStringLiteral("ProductCount DESC, Id Desc")},
    };
    const QList<std::tuple<const char*, QString, QVariantList>> filters = {
        {"all", QString(), {}},
        {"place 1", QStringLiteral("Machineid = ?"), {1}},
        {"place 1 team", QStringLiteral("Machineid = ? And DeptName = ?"), {1, QStringLiteral("一组")}},
    };
    const QList<std::tuple<const char*, QString, QVariantList>> changes = {
        {"add", QStringLiteral("add"), {"一组", 1, "aLiCe", 40, 6, "2004-03-02"}},
        {"add unlisted", QStringLiteral("add"), {"二组", 2, "bob", 40, 6, "2004-03-02"}},
        {"edit moves", QStringLiteral("edit 1"), {"一组", 1, "ALICE", 39.5, 30, "2004-03-09"}},
        {"edit leaves", QStringLiteral("edit 1"), {"一组", 3, "bob", 38, 10, "2004-03-01"}},
        {"edit enters", QStringLiteral("edit 4"), {"一组", 1, QVariant(), QVariant(), 1, "2004-03-01"}},
        {"delete", QStringLiteral("delete 5"), {}},
        {"delete unlisted", QStringLiteral("delete 2"), {}},
    };
    for (const auto& [orderName, order] : orders)
        for (const auto& [filterName, condition, params] : filters)
            for (const auto& [changeName, change, values] : changes)
                QTest::addRow("%s, %s, %s", orderName, filterName, changeName)
                    << condition << params << order << change << values;
}

void TestRowPatch::patchedEqualsReloaded()
{
    QFETCH(QString, condition);
    QFETCH(QVariantList, params);
    QFETCH(QString, order);
    QFETCH(QString, change);
    QFETCH(QVariantList, values);
    const List list{condition, params, order};
    data::DataSet* set = DM->DataAddQuery;
    QVERIFY(OpenQuery(set, list.sql(), list.params));
    QVERIFY(set->setSort(QStringLiteral("ProductCount ASC"))); // an in-memory sort, dropped as by a reload
    set->setRecNo(3);

    data::DataSet writer(QStringLiteral("writer"), DM->connection());
    QVariant key;
    if (change == QLatin1String("add")) {
        QVERIFY(ExecQuery(&writer, kInsert, values));
        key = writer.lastInsertId();
    } else if (change.startsWith(QLatin1String("edit"))) {
        key = change.section(QLatin1Char(' '), 1).toLongLong();
        QVERIFY(ExecQuery(&writer,
                          QStringLiteral("Update Salary Set DeptName=?,MachineId=?,WorkerName=?,ProcessSize=?,"
                                         "ProductCount=?,ProcessDate=? Where id=?"),
                          values << key));
    } else {
        key = change.section(QLatin1Char(' '), 1).toLongLong();
        QVERIFY(ExecQuery(&writer, QStringLiteral("Delete From Salary Where id=?"), {key}));
    }
    QCOMPARE(writer.rowsAffected(), 1);

    QSignalSpy changed(set, &data::DataSet::rowsChanged);
    QVERIFY2(set->patchRows(list.patch(key, writer.rowsAffected())), qPrintable(set->lastError().text));
    QCOMPARE(changed.count(), 1);
    QCOMPARE(set->sort(), QString());
    QCOMPARE(set->recNo(), set->isEmpty() ? 0 : 1);

    data::DataSet reloaded(QStringLiteral("reloaded"), DM->connection());
    reloaded.setSql(list.sql(), list.params);
    QVERIFY(reloaded.open());
    QCOMPARE(rowsOf(set), rowsOf(&reloaded));

    // A second change patches the patched list just as well; and an in-memory sort still works.
    QVERIFY(ExecQuery(&writer, kInsert, {"一组", 1, "Zed", 1, 1, "2004-03-03"}));
    QVERIFY(set->patchRows(list.patch(writer.lastInsertId(), 1)));
    QVERIFY(reloaded.open());
    QCOMPARE(rowsOf(set), rowsOf(&reloaded));
    QVERIFY(set->setSort(QStringLiteral("ProcessDate ASC")));
    QVERIFY(reloaded.setSort(QStringLiteral("ProcessDate ASC")));
    QCOMPARE(rowsOf(set), rowsOf(&reloaded));
}

// Any change the caller did not make (another statement on the connection, another connection)
// makes the patch refuse, so that the caller reads the list again.
void TestRowPatch::refusedAfterAnotherChange()
{
    const List list{QString(), {}, QStringLiteral("id desc")};
    data::DataSet* set = DM->DataAddQuery;
    QVERIFY(OpenQuery(set, list.sql()));
    const QList<QVariantList> before = rowsOf(set);
    data::DataSet writer(QStringLiteral("writer"), DM->connection());
    QVERIFY(ExecQuery(&writer, QStringLiteral("Update Salary Set DeptName='三组' Where id<3")));
    QVERIFY(!set->patchRows(list.patch(1, 1)));
    QCOMPARE(rowsOf(set), before);
    QVERIFY(set->patchRows(list.patch(1, 2)));

    testsupport::execSql(m_dir->dbPath(), QStringLiteral("Update Salary Set DeptName='四组' Where id=7"));
    QVERIFY(!set->patchRows(list.patch(QVariant(), 0)));
    QVERIFY(OpenQuery(set, list.sql()));
    QVERIFY(set->patchRows(list.patch(QVariant(), 0)));

    // A list of another statement's columns is not patched.
    QVERIFY(OpenQuery(set, QStringLiteral("Select id, WorkerName From Salary Order By id desc")));
    QVERIFY(!set->patchRows(list.patch(QVariant(), 0)));
}

// A restore closes the connection and puts another file in place; SQLite may hand back the same
// handle with its counters started again. A list read before the restore must be read again: a
// patch would keep the old file's rows, and an edit by key would then reach another record.
void TestRowPatch::refusedAfterARestore()
{
    const List list{QString(), {}, QStringLiteral("id desc")};
    data::DataSet* set = DM->DataAddQuery;
    QVERIFY(OpenQuery(set, list.sql()));
    const QList<QVariantList> before = rowsOf(set);

    // The restored database: the same records but for the newest, replaced by another of another key.
    const QString backup = m_dir->path() + QStringLiteral("/backup.mdb");
    if (testsupport::onServer()) {
        testsupport::createDatabaseFile(backup);
        fillPristine(backup);
    } else {
        QVERIFY(testsupport::writeFile(backup, m_pristine));
    }
    testsupport::execSql(backup, QStringLiteral("Delete From Salary Where id=7"));
    testsupport::execSql(backup, kInsert, {"三组", 9, "restored", 1, 1, "2004-04-01"});
    QVERIFY(data::restoreDatabase(*DM->connection(), backup).ok);

    data::DataSet writer(QStringLiteral("writer"), DM->connection());
    QVERIFY(ExecQuery(&writer, kInsert, {"一组", 1, "Zed", 1, 1, "2004-03-03"}));
    QVERIFY(!set->patchRows(list.patch(writer.lastInsertId(), 1)));
    QCOMPARE(rowsOf(set), before);
    QVERIFY(OpenQuery(set, list.sql()));
    QVERIFY(set->patchRows(list.patch(QVariant(), 0)));
    data::DataSet reloaded(QStringLiteral("reloaded"), DM->connection());
    reloaded.setSql(list.sql());
    QVERIFY(reloaded.open());
    QCOMPARE(rowsOf(set), rowsOf(&reloaded));
    QCOMPARE(set->recordCount(), before.size() + 1);
}

QTEST_MAIN(TestRowPatch)
#include "tst_rowpatch.moc"
