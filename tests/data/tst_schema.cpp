#include "data/Connection.h"
#include "data/Schema.h"
#include "testsupport/TestProgramDir.h"

#include <QTest>

#include <libpq-fe.h>
#include <sqlite3.h>

#include <memory>

// The schema built from its one description: on SQLite exactly the tables, columns and indexes the
// program has always had, on the server the same with the server's types. The behaviour tests run
// on both engines (tst_schema on a file, tst_schema_pg on the test cluster).
class SchemaTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void tablesColumnsAndIndexes_data();
    void tablesColumnsAndIndexes();
    void namesAreUniqueInAnyLetterCase_data();
    void namesAreUniqueInAnyLetterCase();
    void badDatesAreRefused_data();
    void badDatesAreRefused();
    void likeIgnoresLetterCase();
    void userIsAColumn();
    void pricesKeepThreeDecimals();
    void serverTextAppliesToAnEmptyDatabase();
    void changeRecordOnlyGrows();
    void olderDatabaseGetsTheNewTablesWhenOpened();

private:
    bool refused(const QString& sql, const QVariantList& params);
    std::unique_ptr<testsupport::TestProgramDir> m_dir;
};

void SchemaTest::init()
{
    m_dir = std::make_unique<testsupport::TestProgramDir>();
    m_dir->createDatabase();
}

void SchemaTest::cleanup()
{
    m_dir.reset();
}

bool SchemaTest::refused(const QString& sql, const QVariantList& params)
{
    try {
        testsupport::execSql(m_dir->dbPath(), sql, params);
        return false;
    } catch (const std::runtime_error&) {
        return true;
    }
}

namespace {

using Rows = QList<QVariantList>;

// SQLite: "Name TYPE COLLATION", with " key" for the AUTOINCREMENT key, as the database reports them.
QStringList sqliteColumns(const QString& path, const QString& table)
{
    sqlite3* db = nullptr;
    sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    const std::unique_ptr<sqlite3, int (*)(sqlite3*)> guard(db, sqlite3_close);
    QStringList columns;
    const Rows names =
        testsupport::queryRows(path, QStringLiteral("SELECT name FROM pragma_table_info(?) ORDER BY cid"), {table});
    for (const QVariantList& name : names) {
        const char* type = nullptr;
        const char* collation = nullptr;
        int notNull = 0, primaryKey = 0, autoIncrement = 0;
        if (sqlite3_table_column_metadata(db, nullptr, table.toUtf8().constData(),
                                          name.first().toString().toUtf8().constData(), &type, &collation, &notNull,
                                          &primaryKey, &autoIncrement) != SQLITE_OK)
            return {QStringLiteral("no metadata")};
        columns << QStringLiteral("%1 %2 %3%4%5")
                       .arg(name.first().toString(), QString::fromUtf8(type), QString::fromUtf8(collation),
                            primaryKey && autoIncrement ? QStringLiteral(" key") : QString(),
                            notNull ? QStringLiteral(" not null") : QString());
    }
    return columns;
}

// SQLite: "Name[ unique]: column, column" per index of the table, by name.
QStringList sqliteIndexes(const QString& path, const QString& table)
{
    QStringList indexes;
    const Rows list = testsupport::queryRows(
        path, QStringLiteral("SELECT name, \"unique\" FROM pragma_index_list(?) ORDER BY name"), {table});
    for (const QVariantList& index : list) {
        QStringList columns;
        for (const QVariantList& column : testsupport::queryRows(
                 path, QStringLiteral("SELECT name FROM pragma_index_info(?) ORDER BY seqno"), {index[0]}))
            columns << column.first().toString();
        indexes << QStringLiteral("%1%2: %3")
                       .arg(index[0].toString(), index[1].toLongLong() ? QStringLiteral(" unique") : QString(),
                            columns.join(QStringLiteral(", ")));
    }
    return indexes;
}

// The server: "name type[ identity][ not null]" per column.
QStringList serverColumns(const QString& uri, const QString& table)
{
    QStringList columns;
    const Rows rows = testsupport::queryRows(
        uri,
        QStringLiteral("SELECT a.attname, format_type(a.atttypid, a.atttypmod), a.attidentity <> '', a.attnotnull "
                       "FROM pg_attribute a JOIN pg_class c ON c.oid = a.attrelid "
                       "JOIN pg_namespace n ON n.oid = c.relnamespace "
                       "WHERE n.nspname = 'public' AND c.relname = ? AND a.attnum > 0 AND NOT a.attisdropped "
                       "ORDER BY a.attnum"),
        {table.toLower()});
    for (const QVariantList& row : rows)
        columns << QStringLiteral("%1 %2%3%4")
                       .arg(row[0].toString(), row[1].toString(),
                            row[2].toLongLong() ? QStringLiteral(" identity") : QString(),
                            row[3].toLongLong() && !row[2].toLongLong() ? QStringLiteral(" not null") : QString());
    return columns;
}

QStringList serverIndexes(const QString& uri, const QString& table)
{
    QStringList indexes;
    for (const QVariantList& row : testsupport::queryRows(
             uri,
             QStringLiteral("SELECT indexdef FROM pg_indexes WHERE schemaname = 'public' AND tablename = ? "
                            "ORDER BY indexname"),
             {table.toLower()}))
        indexes << row.first().toString();
    return indexes;
}

} // namespace

void SchemaTest::tablesColumnsAndIndexes_data()
{
    QTest::addColumn<QString>("table");
    QTest::addColumn<QStringList>("sqliteColumns");
    QTest::addColumn<QStringList>("sqliteIndexes");
    QTest::addColumn<QStringList>("serverColumns");
    QTest::addColumn<QStringList>("serverIndexes");
    const auto idx = [](const char* table, const char* name, const char* columns, bool unique = false) {
        return QStringLiteral("CREATE %1INDEX %2 ON public.%3 USING btree (%4)")
            .arg(unique ? QStringLiteral("UNIQUE ") : QString(), QLatin1String(name), QLatin1String(table),
                 QLatin1String(columns));
    };
    QTest::newRow("UserData") << QStringLiteral("UserData")
                              << QStringList{"Id INTEGER BINARY key", "User TEXT NOCASE", "Password TEXT NOCASE",
                                             "Role TEXT NOCASE"}
                              << QStringList{"UserData_User: User"}
                              << QStringList{"id bigint identity", "User citext", "password citext", "role citext"}
                              << QStringList{idx("userdata", "userdata_pkey", "id", true),
                                             idx("userdata", "userdata_user", "\"User\"")};
    QTest::newRow("Dept") << QStringLiteral("Dept") << QStringList{"id INTEGER BINARY key", "DeptName TEXT NOCASE"}
                          << QStringList{"Dept_DeptName unique: DeptName"}
                          << QStringList{"id bigint identity", "deptname citext"}
                          << QStringList{idx("dept", "dept_deptname", "deptname", true),
                                         idx("dept", "dept_pkey", "id", true)};
    QTest::newRow("Worker") << QStringLiteral("Worker")
                            << QStringList{"id INTEGER BINARY key", "WorkerName TEXT NOCASE", "DeptId INTEGER BINARY",
                                           "MachineId TEXT NOCASE", "EnterDate TEXT NOCASE"}
                            << QStringList{"Worker_DeptMachine: DeptId, MachineId", "Worker_WorkerName: WorkerName"}
                            << QStringList{"id bigint identity", "workername citext", "deptid integer",
                                           "machineid citext", "enterdate date"}
                            << QStringList{idx("worker", "worker_deptmachine", "deptid, machineid"),
                                           idx("worker", "worker_pkey", "id", true),
                                           idx("worker", "worker_workername", "workername")};
    QTest::newRow("Product") << QStringLiteral("Product")
                             << QStringList{"Id INTEGER BINARY key",       "Kind TEXT NOCASE",
                                            "Process INTEGER BINARY",      "KindName TEXT NOCASE",
                                            "ProductCount INTEGER BINARY", "ProductDate TEXT NOCASE"}
                             << QStringList{"Product_Kind unique: Kind"}
                             << QStringList{"id bigint identity", "kind citext",          "process integer",
                                            "kindname citext",    "productcount integer", "productdate date"}
                             << QStringList{idx("product", "product_kind", "kind", true),
                                            idx("product", "product_pkey", "id", true)};
    QTest::newRow("Process") << QStringLiteral("Process")
                             << QStringList{"Id INTEGER BINARY key", "Process TEXT NOCASE", "ProcessName TEXT NOCASE",
                                            "ProductId TEXT NOCASE", "Price REAL BINARY",   "Productsize TEXT NOCASE"}
                             << QStringList{"Process_ProductStep unique: ProductId, Process"}
                             << QStringList{"id bigint identity", "process citext",      "processname citext",
                                            "productid citext",   "price numeric(12,3)", "productsize citext"}
                             << QStringList{idx("process", "process_pkey", "id", true),
                                            idx("process", "process_productstep", "productid, process", true)};
    QTest::newRow("Salary")
        << QStringLiteral("Salary")
        << QStringList{"id INTEGER BINARY key",       "DeptName TEXT NOCASE",     "MachineId INTEGER BINARY",
                       "WorkerName TEXT NOCASE",      "KindId TEXT NOCASE",       "KindName TEXT NOCASE",
                       "Process TEXT NOCASE",         "ProcessName TEXT NOCASE",  "ProcessSize REAL BINARY",
                       "ProductCount INTEGER BINARY", "ProcessPrice REAL BINARY", "ProcessDate TEXT NOCASE"}
        << QStringList{"Salary_DeptName: DeptName", "Salary_KindStepDate: KindId, Process, ProcessDate",
                       "Salary_ProcessDate: ProcessDate",
                       "Salary_WorkerGroup: WorkerName, DeptName, MachineId, KindId, Process, ProductCount, "
                       "ProcessPrice"}
        << QStringList{"id bigint identity",
                       "deptname citext",
                       "machineid integer",
                       "workername citext",
                       "kindid citext",
                       "kindname citext",
                       "process citext",
                       "processname citext",
                       "processsize double precision",
                       "productcount integer",
                       "processprice numeric(12,3)",
                       "processdate date"}
        << QStringList{idx("salary", "salary_deptname", "deptname"),
                       idx("salary", "salary_kindstepdate", "kindid, process, processdate"),
                       idx("salary", "salary_pkey", "id", true), idx("salary", "salary_processdate", "processdate"),
                       idx("salary", "salary_workergroup",
                           "workername, deptname, machineid, kindid, process, productcount, processprice")};
    QTest::newRow("MonthClose") << QStringLiteral("MonthClose")
                                << QStringList{"Id INTEGER BINARY key", "Month TEXT NOCASE", "ClosedBy TEXT NOCASE",
                                               "ClosedAt TEXT NOCASE"}
                                << QStringList{"MonthClose_Month unique: Month"}
                                << QStringList{"id bigint identity", "month citext", "closedby citext",
                                               "closedat citext"}
                                << QStringList{idx("monthclose", "monthclose_month", "month", true),
                                               idx("monthclose", "monthclose_pkey", "id", true)};
    QTest::newRow("ChangeLog") << QStringLiteral("ChangeLog")
                               << QStringList{"Id INTEGER BINARY key",  "ChangedAt TEXT NOCASE",
                                              "UserName TEXT NOCASE",   "Host TEXT NOCASE",
                                              "ChangeKind TEXT NOCASE", "TableName TEXT NOCASE",
                                              "RowKey TEXT NOCASE",     "OldValues TEXT NOCASE",
                                              "NewValues TEXT NOCASE",  "Note TEXT NOCASE"}
                               << QStringList{"ChangeLog_ChangedAt: ChangedAt"}
                               << QStringList{"id bigint identity", "changedat citext",  "username citext",
                                              "host citext",        "changekind citext", "tablename citext",
                                              "rowkey citext",      "oldvalues citext",  "newvalues citext",
                                              "note citext"}
                               << QStringList{idx("changelog", "changelog_changedat", "changedat"),
                                              idx("changelog", "changelog_pkey", "id", true)};
}

void SchemaTest::tablesColumnsAndIndexes()
{
    QFETCH(QString, table);
    const QString db = m_dir->dbPath();
    if (testsupport::onServer()) {
        QFETCH(QStringList, serverColumns);
        QFETCH(QStringList, serverIndexes);
        QCOMPARE(::serverColumns(db, table), serverColumns);
        QCOMPARE(::serverIndexes(db, table), serverIndexes);
        QCOMPARE(
            testsupport::queryRows(db, QStringLiteral("SELECT count(*) FROM pg_tables WHERE schemaname = 'public'"))
                .first()
                .first(),
            QVariant(8LL));
        return;
    }
    QFETCH(QStringList, sqliteColumns);
    QFETCH(QStringList, sqliteIndexes);
    QCOMPARE(::sqliteColumns(db, table), sqliteColumns);
    QCOMPARE(::sqliteIndexes(db, table), sqliteIndexes);
    QCOMPARE(
        testsupport::queryRows(db, QStringLiteral("SELECT name, strict FROM pragma_table_list "
                                                  "WHERE schema = 'main' AND name NOT LIKE 'sqlite%' ORDER BY name")),
        (Rows{{QStringLiteral("ChangeLog"), 1LL},
              {QStringLiteral("Dept"), 1LL},
              {QStringLiteral("MonthClose"), 1LL},
              {QStringLiteral("Process"), 1LL},
              {QStringLiteral("Product"), 1LL},
              {QStringLiteral("Salary"), 1LL},
              {QStringLiteral("UserData"), 1LL},
              {QStringLiteral("Worker"), 1LL}}));
}

// A second name that differs from the first only in letter case is refused where the windows
// refuse duplicates; the same step number under another style is no duplicate.
void SchemaTest::namesAreUniqueInAnyLetterCase_data()
{
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QVariantList>("first");
    QTest::addColumn<QVariantList>("second");
    QTest::addColumn<bool>("refused");
    const QString dept = QStringLiteral("INSERT INTO Dept (DeptName) VALUES (?)");
    const QString style = QStringLiteral("INSERT INTO Product (Kind, KindName) VALUES (?, ?)");
    const QString step = QStringLiteral("INSERT INTO Process (ProductId, Process, ProcessName) VALUES (?, ?, ?)");
    QTest::newRow("team") << dept << QVariantList{"Sewing A"} << QVariantList{"SEWING a"} << true;
    QTest::newRow("team, Chinese") << dept << QVariantList{"缝纫一组"} << QVariantList{"缝纫一组"} << true;
    QTest::newRow("another team") << dept << QVariantList{"Sewing A"} << QVariantList{"Sewing B"} << false;
    QTest::newRow("style") << style << QVariantList{"ab-100", "Shirt"} << QVariantList{"AB-100", "Polo"} << true;
    QTest::newRow("step of a style") << step << QVariantList{"ab-100", "01", "Collar"}
                                     << QVariantList{"AB-100", "01", "Cuff"} << true;
    QTest::newRow("step letter case") << step << QVariantList{"ab-100", "x1", "Collar"}
                                      << QVariantList{"ab-100", "X1", "Cuff"} << true;
    QTest::newRow("step of another style")
        << step << QVariantList{"ab-100", "01", "Collar"} << QVariantList{"ab-200", "01", "Collar"} << false;
}

void SchemaTest::namesAreUniqueInAnyLetterCase()
{
    QFETCH(QString, sql);
    QFETCH(QVariantList, first);
    QFETCH(QVariantList, second);
    QFETCH(bool, refused);
    QVERIFY(!this->refused(sql, first));
    QCOMPARE(this->refused(sql, second), refused);
}

void SchemaTest::badDatesAreRefused_data()
{
    QTest::addColumn<QString>("table");
    QTest::addColumn<QString>("column");
    QTest::addColumn<QVariant>("date");
    QTest::addColumn<bool>("refused");
    QTest::addColumn<bool>("onFileToo");
    const QList<QPair<QString, QString>> columns{{QStringLiteral("Worker"), QStringLiteral("EnterDate")},
                                                 {QStringLiteral("Product"), QStringLiteral("ProductDate")},
                                                 {QStringLiteral("Salary"), QStringLiteral("ProcessDate")}};
    for (const auto& [table, column] : columns) {
        const QByteArray t = table.toUtf8();
        QTest::addRow("%s leap day", t.data())
            << table << column << QVariant(QStringLiteral("2024-02-29")) << false << true;
        QTest::addRow("%s null", t.data()) << table << column << QVariant() << false << true;
        QTest::addRow("%s day 32", t.data())
            << table << column << QVariant(QStringLiteral("2024-01-32")) << true << true;
        QTest::addRow("%s month 13", t.data())
            << table << column << QVariant(QStringLiteral("2024-13-01")) << true << true;
        QTest::addRow("%s words", t.data()) << table << column << QVariant(QStringLiteral("someday")) << true << true;
        // SQLite 3.40's date() gives 30 February back unchanged, so the file's CHECK lets it pass.
        QTest::addRow("%s 30 February", t.data())
            << table << column << QVariant(QStringLiteral("2024-02-30")) << true << false;
    }
}

void SchemaTest::badDatesAreRefused()
{
    QFETCH(QString, table);
    QFETCH(QString, column);
    QFETCH(QVariant, date);
    QFETCH(bool, refused);
    QFETCH(bool, onFileToo);
    if (!onFileToo && !testsupport::onServer())
        QSKIP("a server case");
    QCOMPARE(this->refused(QStringLiteral("INSERT INTO %1 (%2) VALUES (?)").arg(table, column), {date}), refused);
    // What is kept reads back as the date it was given.
    if (!refused)
        QCOMPARE(testsupport::queryRows(m_dir->dbPath(),
                                        QStringLiteral("SELECT CAST(%2 AS TEXT) FROM %1").arg(table, column)),
                 (Rows{{date.isNull() ? QVariant() : date}}));
}

void SchemaTest::likeIgnoresLetterCase()
{
    const QString db = m_dir->dbPath();
    testsupport::execSql(db, QStringLiteral("INSERT INTO Worker (WorkerName, MachineId) VALUES (?, ?)"),
                         {QStringLiteral("Zhang Wei"), QStringLiteral("A7")});
    testsupport::execSql(db, QStringLiteral("INSERT INTO Worker (WorkerName, MachineId) VALUES (?, ?)"),
                         {QStringLiteral("Li Na"), QStringLiteral("b8")});
    QCOMPARE(testsupport::queryRows(db, QStringLiteral("SELECT WorkerName FROM Worker WHERE WorkerName LIKE ?"),
                                    {QStringLiteral("%ZHANG w%")}),
             (Rows{{QStringLiteral("Zhang Wei")}}));
    QCOMPARE(testsupport::queryRows(db, QStringLiteral("SELECT WorkerName FROM Worker WHERE MachineId LIKE ?"),
                                    {QStringLiteral("a%")}),
             (Rows{{QStringLiteral("Zhang Wei")}}));
    // Equality too: a search for a team or worker finds it in any letter case.
    QCOMPARE(testsupport::queryRows(db, QStringLiteral("SELECT WorkerName FROM Worker WHERE MachineId = ?"),
                                    {QStringLiteral("B8")}),
             (Rows{{QStringLiteral("Li Na")}}));
}

// "User" names the column, not the server's current user.
void SchemaTest::userIsAColumn()
{
    const QString db = m_dir->dbPath();
    testsupport::execSql(db, QStringLiteral("INSERT INTO UserData (\"User\", Password, Role) VALUES (?, ?, ?)"),
                         {QStringLiteral("Wang"), QStringLiteral("pw"), QStringLiteral("admin")});
    QCOMPARE(testsupport::queryRows(db, QStringLiteral("SELECT \"User\", Role FROM UserData WHERE \"User\" = ?"),
                                    {QStringLiteral("WANG")}),
             (Rows{{QStringLiteral("Wang"), QStringLiteral("admin")}}));
}

void SchemaTest::pricesKeepThreeDecimals()
{
    const QString db = m_dir->dbPath();
    for (int i = 0; i < 3; ++i)
        testsupport::execSql(db, QStringLiteral("INSERT INTO Process (ProductId, Process, Price) VALUES ('s', ?, ?)"),
                             {QString::number(i), 1.005});
    testsupport::execSql(db, QStringLiteral("INSERT INTO Salary (ProcessPrice, ProductCount) VALUES (?, 1000)"),
                         {0.125});
    QCOMPARE(testsupport::queryRows(db, QStringLiteral("SELECT Price FROM Process WHERE Process = '0'")),
             (Rows{{1.005}}));
    if (!testsupport::onServer())
        return; // REAL values: the sums below carry a double's rounding there
    // Exact decimals: sums and products come out as written, with no binary rounding.
    QCOMPARE(testsupport::queryRows(db, QStringLiteral("SELECT CAST(sum(Price) AS text) FROM Process")),
             (Rows{{QStringLiteral("3.015")}}));
    QCOMPARE(testsupport::queryRows(db, QStringLiteral("SELECT sum(Price) FROM Process")), (Rows{{3.015}}));
    QCOMPARE(testsupport::queryRows(db, QStringLiteral("SELECT CAST(ProcessPrice * ProductCount AS text) FROM Salary")),
             (Rows{{QStringLiteral("125.000")}}));
    // A fourth decimal is rounded away.
    testsupport::execSql(db, QStringLiteral("UPDATE Process SET Price = ? WHERE Process = '0'"), {2.0004});
    QCOMPARE(testsupport::queryRows(db, QStringLiteral("SELECT CAST(Price AS text) FROM Process WHERE Process = '0'")),
             (Rows{{QStringLiteral("2.000")}}));
}

// The server text runs in one go on a database made from the bare template, citext included.
void SchemaTest::serverTextAppliesToAnEmptyDatabase()
{
    if (!testsupport::onServer())
        QSKIP("server only");
    const QString name = QStringLiteral("dorvik_schema_empty");
    const QString admin = testsupport::serverAdminUri();
    testsupport::execSql(admin, QStringLiteral("DROP DATABASE IF EXISTS %1").arg(name));
    testsupport::execSql(admin, QStringLiteral("CREATE DATABASE %1 TEMPLATE template0").arg(name));
    QString uri = admin;
    uri.replace(QLatin1String(":///postgres?"), QStringLiteral(":///%1?").arg(name));
    {
        const std::unique_ptr<PGconn, void (*)(PGconn*)> conn(PQconnectdb(uri.toUtf8().constData()), PQfinish);
        QCOMPARE(PQstatus(conn.get()), CONNECTION_OK);
        const std::unique_ptr<PGresult, void (*)(PGresult*)> result(
            PQexec(conn.get(), data::schemaText(data::Dialect::Postgres).toUtf8().constData()), PQclear);
        QVERIFY2(PQresultStatus(result.get()) == PGRES_COMMAND_OK, PQresultErrorMessage(result.get()));
    }
    QCOMPARE(testsupport::queryRows(uri, QStringLiteral("SELECT tablename FROM pg_tables WHERE schemaname = 'public' "
                                                        "ORDER BY tablename")),
             (Rows{{QStringLiteral("changelog")},
                   {QStringLiteral("dept")},
                   {QStringLiteral("monthclose")},
                   {QStringLiteral("process")},
                   {QStringLiteral("product")},
                   {QStringLiteral("salary")},
                   {QStringLiteral("userdata")},
                   {QStringLiteral("worker")}}));
    testsupport::execSql(admin, QStringLiteral("DROP DATABASE %1 WITH (FORCE)").arg(name));
}

// No statement of any program changes or deletes a line of the change record.
void SchemaTest::changeRecordOnlyGrows()
{
    const QString db = m_dir->dbPath();
    testsupport::execSql(db, QStringLiteral("INSERT INTO ChangeLog (ChangeKind, Note) VALUES (?, ?)"),
                         {QStringLiteral("新增班组"), QStringLiteral("kept")});
    QVERIFY(refused(QStringLiteral("UPDATE ChangeLog SET Note = ?"), {QStringLiteral("changed")}));
    QVERIFY(refused(QStringLiteral("DELETE FROM ChangeLog"), {}));
    QCOMPARE(testsupport::queryRows(db, QStringLiteral("SELECT ChangeKind, Note FROM ChangeLog")),
             (Rows{{QStringLiteral("新增班组"), QStringLiteral("kept")}}));
}

// A database of an earlier version, without the tables of closed months and of the change record,
// gets them (and the guard of the change record) when the program connects; its rows stay.
void SchemaTest::olderDatabaseGetsTheNewTablesWhenOpened()
{
    const QString db = m_dir->dbPath();
    testsupport::execSql(db, QStringLiteral("INSERT INTO Dept (DeptName) VALUES (?)"), {QStringLiteral("一组")});
    for (const QString& table : data::historyTableNames())
        testsupport::execSql(db, QStringLiteral("DROP TABLE %1").arg(table));
    m_dir->registerDataSource();
    {
        data::Connection connection;
        data::Error error;
        QVERIFY2(connection.open(&error), qPrintable(error.text));
    }
    const QString tables = testsupport::onServer()
                               ? QStringLiteral("SELECT count(*) FROM pg_tables WHERE schemaname = 'public'")
                               : QStringLiteral("SELECT count(*) FROM sqlite_master WHERE type = 'table' "
                                                "AND name NOT LIKE 'sqlite%'");
    QCOMPARE(testsupport::queryRows(db, tables), (Rows{{8LL}}));
    testsupport::execSql(db, QStringLiteral("INSERT INTO MonthClose (Month) VALUES (?)"), {QStringLiteral("2026-10")});
    testsupport::execSql(db, QStringLiteral("INSERT INTO ChangeLog (Note) VALUES (?)"), {QStringLiteral("x")});
    QVERIFY(refused(QStringLiteral("DELETE FROM ChangeLog"), {}));
    QCOMPARE(testsupport::queryRows(db, QStringLiteral("SELECT DeptName FROM Dept")), (Rows{{QStringLiteral("一组")}}));
}

QTEST_GUILESS_MAIN(SchemaTest)
#include "tst_schema.moc"
