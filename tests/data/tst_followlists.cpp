#include "data/DataModule.h"
#include "data/Sql.h"
#include "testsupport/BoxAnswerer.h"
#include "testsupport/SalaryList.h"
#include "testsupport/TestProgramDir.h"

#include <QTest>

#include <memory>

// Two programs on one server: the first holds a list that follows (its data module looks for the
// server's notices), the second changes the table. Within a second the list holds what a fresh read
// gives, the clerk's current record and sort stay, and nothing is missed across a reconnect or a
// commit that comes late.

using testsupport::List;
using testsupport::rowsOf;

namespace {

const QString kInsert = QStringLiteral("Insert Into Salary (DeptName,MachineId,WorkerName,ProductCount,ProcessDate) "
                                       "Values (?,?,?,?,?)");

qint64 currentKey(const data::DataSet* set)
{
    return set->fieldByName(QStringLiteral("id")).asInteger();
}

} // namespace

class TestFollowLists : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        m_dir = std::make_unique<testsupport::TestProgramDir>();
        m_dir->prepareDatabase();
        QString sql = kInsert;
        QVariantList params;
        for (int i = 1; i <= 8; ++i) {
            if (i > 1)
                sql += QStringLiteral(",(?,?,?,?,?)");
            params << (i % 2 ? "一组" : "二组") << (i % 3 + 1) << QStringLiteral("w%1").arg(i) << i * 10
                   << QStringLiteral("2004-03-%1").arg(i, 2, 10, QLatin1Char('0'));
        }
        testsupport::execSql(m_dir->dbPath(), sql, params);
        m_boxes = std::make_unique<testsupport::BoxAnswerer>();
        m_dm = std::make_unique<TDM>();
        m_other = std::make_unique<data::Connection>();
        m_writer = std::make_unique<data::DataSet>(QStringLiteral("writer"), m_other.get());
    }
    void cleanup()
    {
        m_writer.reset();
        m_other.reset();
        m_dm.reset();
        QCOMPARE(m_boxes->takeTexts(), QStringList());
        m_boxes.reset();
        m_dir.reset();
    }

    void othersChangesArrive_data();
    void othersChangesArrive();
    void aLateCommitOfALowerKeyArrives();
    void readAgainAfterTheConnectionCameBack();
    void nothingMovesInsideATransaction();

private:
    // The list as a fresh read of its statement gives it, sorted in memory as the followed one is.
    QList<QVariantList> freshRead(const List& list, const QString& sort = QString()) const
    {
        data::DataSet fresh(QStringLiteral("fresh"), m_other.get());
        fresh.setSql(list.sql(), list.params);
        if (!fresh.open() || (!sort.isEmpty() && !fresh.setSort(sort)))
            return {{QStringLiteral("fresh read failed")}};
        return rowsOf(&fresh);
    }
    bool otherClerk(const QString& sql, const QVariantList& params = {})
    {
        return ExecQuery(m_writer.get(), sql, params);
    }

    std::unique_ptr<testsupport::TestProgramDir> m_dir;
    std::unique_ptr<testsupport::BoxAnswerer> m_boxes;
    std::unique_ptr<TDM> m_dm;
    std::unique_ptr<data::Connection> m_other;
    std::unique_ptr<data::DataSet> m_writer;
};

void TestFollowLists::othersChangesArrive_data()
{
    QTest::addColumn<QString>("condition");
    QTest::addColumn<QVariantList>("params");
    QTest::addColumn<QString>("order");
    QTest::addColumn<QStringList>("statements");

    const QList<std::tuple<const char*, QString, QVariantList, QString>> lists = {
        {"all, newest first", QString(), {}, QStringLiteral("id desc")},
        {"place 2 by name", QStringLiteral("MachineId = ?"), {2}, QStringLiteral("WorkerName desc, id desc")},
    };
    const QList<std::pair<const char*, QStringList>> changes = {
        {"add", {kInsert + QStringLiteral("|二组|2|w0|5|2004-03-09")}},
        {"add two in one statement",
         {QStringLiteral("Insert Into Salary (WorkerName,MachineId) Values ('a',2),('z',2)")}},
        {"edit moves a row", {QStringLiteral("Update Salary Set WorkerName='zz' Where id=1")}},
        {"edit moves a row into and out of the filter",
         {QStringLiteral("Update Salary Set MachineId=2 Where id=3"),
          QStringLiteral("Update Salary Set MachineId=3 Where id=4")}},
        {"delete", {QStringLiteral("Delete From Salary Where id=4")}},
        {"more rows than a notice names",
         {QStringLiteral(
             "Insert Into Salary (WorkerName,MachineId) Select concat('n', g), 2 From generate_series(1,150) g")}},
        {"table emptied and filled",
         {QStringLiteral("Truncate Salary"), kInsert + QStringLiteral("|一组|2|new|1|2004-04-01")}},
    };
    for (const auto& [listName, condition, params, order] : lists)
        for (const auto& [changeName, statements] : changes)
            QTest::addRow("%s, %s", listName, changeName) << condition << params << order << statements;
}

void TestFollowLists::othersChangesArrive()
{
    QFETCH(QString, condition);
    QFETCH(QVariantList, params);
    QFETCH(QString, order);
    QFETCH(QStringList, statements);
    const List list{condition, params, order};
    data::DataSet* set = DM->DataAddQuery;
    QVERIFY(OpenQuery(set, list.sql(), list.params));
    set->follow(list.follow());
    // The clerk sorted the list and stands on a record no change touches.
    const QString sort = QStringLiteral("ProductCount DESC");
    QVERIFY(set->setSort(sort));
    int place = 1;
    while (place <= set->recordCount() && set->value(place - 1, set->findField(QStringLiteral("id"))).toInt() != 2)
        ++place;
    set->setRecNo(place);

    for (const QString& statement : statements) {
        const QStringList parts = statement.split(QLatin1Char('|'));
        QVERIFY(otherClerk(parts.first(), QVariantList(parts.begin() + 1, parts.end())));
    }
    QTRY_COMPARE_WITH_TIMEOUT(rowsOf(set), freshRead(list, sort), 1000);
    QCOMPARE(set->sort(), sort);
    if (!statements.first().startsWith(QLatin1String("Truncate")) && condition.isEmpty())
        QCOMPARE(currentKey(set), 2);

    // The clerk's own change after the others' is patched in, not refused for their changes.
    data::DataSet own(QStringLiteral("own"), DM->connection());
    QVERIFY(ExecQuery(&own, kInsert, {"一组", 2, "own", 1, "2004-03-10"}));
    QVERIFY2(set->patchRows(list.patch(own.lastInsertId(), 1)), qPrintable(set->lastError().text));
    QCOMPARE(rowsOf(set), freshRead(list));
}

// Keys are drawn when a row is added, so a row that commits late may have a lower key than rows the
// list already holds; its notice brings it in all the same.
void TestFollowLists::aLateCommitOfALowerKeyArrives()
{
    const List list{QString(), {}, QStringLiteral("id desc")};
    data::DataSet* set = DM->DataAddQuery;
    QVERIFY(OpenQuery(set, list.sql()));
    set->follow(list.follow());

    data::Connection slow;
    data::DataSet slowWriter(QStringLiteral("slow"), &slow);
    QVERIFY(slow.begin());
    QVERIFY(ExecQuery(&slowWriter, kInsert, {"一组", 1, "late", 1, "2004-03-11"}));
    QVERIFY(otherClerk(kInsert, {"一组", 1, "early", 1, "2004-03-12"}));
    const qint64 late = slowWriter.lastInsertId();
    QVERIFY(late < m_writer->lastInsertId());
    QTRY_COMPARE_WITH_TIMEOUT(rowsOf(set), freshRead(list), 1000);

    data::DataSet own(QStringLiteral("own"), DM->connection());
    QVERIFY(ExecQuery(&own, kInsert, {"一组", 1, "own", 1, "2004-03-13"}));
    QVERIFY(set->patchRows(list.patch(own.lastInsertId(), 1)));
    QVERIFY(slow.execute(QStringLiteral("COMMIT")));
    QTRY_COMPARE_WITH_TIMEOUT(rowsOf(set), freshRead(list), 1000);
    QCOMPARE(set->recordCount(), 11);
}

// The server dropped the connection: notices sent meanwhile never arrive. The list keeps what it
// shows until the next statement connects again, and is then read again.
void TestFollowLists::readAgainAfterTheConnectionCameBack()
{
    const List list{QString(), {}, QStringLiteral("id desc")};
    data::DataSet* set = DM->DataAddQuery;
    QVERIFY(OpenQuery(set, list.sql()));
    set->follow(list.follow());
    data::DataSet probe(QStringLiteral("probe"), DM->connection());
    QVERIFY(OpenQuery(&probe, QStringLiteral("Select pg_backend_pid() AS Pid")));
    const qint64 pid = probe.fieldByName(QStringLiteral("Pid")).asInteger();
    testsupport::execSql(testsupport::serverAdminUri(), QStringLiteral("Select pg_terminate_backend(?)"), {pid});
    QTRY_VERIFY_WITH_TIMEOUT(!DM->connection()->isOpen(), 2000);
    const QList<QVariantList> shown = rowsOf(set);
    QVERIFY(otherClerk(QStringLiteral("Delete From Salary Where id=8")));
    QTest::qWait(2 * TDM::kFollowInterval);
    QCOMPARE(rowsOf(set), shown);

    QVERIFY(OpenQuery(&probe, QStringLiteral("Select 1 AS One"))); // the clerk's next action
    QTRY_COMPARE_WITH_TIMEOUT(rowsOf(set), freshRead(list), 1000);
    QCOMPARE(set->recordCount(), 7);
}

// Inside the clerk's open transaction a read would show rows not yet committed; the list waits.
void TestFollowLists::nothingMovesInsideATransaction()
{
    const List list{QString(), {}, QStringLiteral("id desc")};
    data::DataSet* set = DM->DataAddQuery;
    QVERIFY(OpenQuery(set, list.sql()));
    set->follow(list.follow());
    const QList<QVariantList> shown = rowsOf(set);
    QVERIFY(DM->connection()->begin());
    QVERIFY(otherClerk(QStringLiteral("Delete From Salary Where id=8")));
    QTest::qWait(3 * TDM::kFollowInterval);
    QCOMPARE(rowsOf(set), shown);
    QVERIFY(DM->connection()->execute(QStringLiteral("COMMIT")));
    QTRY_COMPARE_WITH_TIMEOUT(rowsOf(set), freshRead(list), 1000);
}

QTEST_MAIN(TestFollowLists)
#include "tst_followlists.moc"
