#include "data/Schema.h"

#include <QList>
#include <QStringList>

namespace data {

namespace {

// Every text compares without regard to letter case (SQLite: COLLATE NOCASE, PostgreSQL: citext).
// Dates: 'yyyy-MM-dd' text with a CHECK in SQLite, the date type on the server. Prices are REAL
// yuan values in SQLite, so that the statements multiply and sum them directly (a piece price has
// at most three decimals, and a double carries about 15 significant digits, far more than any wage
// total needs); the server keeps them as exact numeric(12,3).
enum class Kind { Key, Text, Integer, Real, Price, Date };

struct Column {
    QString name;
    Kind kind;
};

struct Table {
    QString name;
    QList<Column> columns;
};

struct Index {
    QString name;
    QString table;
    QStringList columns;
    bool unique = false;
};

const QList<Table>& tables()
{
    static const QList<Table> list{
        {QStringLiteral("UserData"),
         {{QStringLiteral("Id"), Kind::Key},
          {QStringLiteral("User"), Kind::Text},
          {QStringLiteral("Password"), Kind::Text},
          {QStringLiteral("Role"), Kind::Text}}},
        {QStringLiteral("Dept"), {{QStringLiteral("id"), Kind::Key}, {QStringLiteral("DeptName"), Kind::Text}}},
        {QStringLiteral("Worker"),
         {{QStringLiteral("id"), Kind::Key},
          {QStringLiteral("WorkerName"), Kind::Text},
          {QStringLiteral("DeptId"), Kind::Integer},
          {QStringLiteral("MachineId"), Kind::Text},
          {QStringLiteral("EnterDate"), Kind::Date}}},
        {QStringLiteral("Product"),
         {{QStringLiteral("Id"), Kind::Key},
          {QStringLiteral("Kind"), Kind::Text},
          {QStringLiteral("Process"), Kind::Integer},
          {QStringLiteral("KindName"), Kind::Text},
          {QStringLiteral("ProductCount"), Kind::Integer},
          {QStringLiteral("ProductDate"), Kind::Date}}},
        {QStringLiteral("Process"),
         {{QStringLiteral("Id"), Kind::Key},
          {QStringLiteral("Process"), Kind::Text},
          {QStringLiteral("ProcessName"), Kind::Text},
          {QStringLiteral("ProductId"), Kind::Text},
          {QStringLiteral("Price"), Kind::Price},
          {QStringLiteral("Productsize"), Kind::Text}}},
        {QStringLiteral("Salary"),
         {{QStringLiteral("id"), Kind::Key},
          {QStringLiteral("DeptName"), Kind::Text},
          {QStringLiteral("MachineId"), Kind::Integer},
          {QStringLiteral("WorkerName"), Kind::Text},
          {QStringLiteral("KindId"), Kind::Text},
          {QStringLiteral("KindName"), Kind::Text},
          {QStringLiteral("Process"), Kind::Text},
          {QStringLiteral("ProcessName"), Kind::Text},
          {QStringLiteral("ProcessSize"), Kind::Real},
          {QStringLiteral("ProductCount"), Kind::Integer},
          {QStringLiteral("ProcessPrice"), Kind::Price},
          {QStringLiteral("ProcessDate"), Kind::Date}}},
    };
    return list;
}

// The tables of the closed months and of the change record. A database made by an earlier version
// lacks them and gets them when it is opened (historyTablesText); they are not among the tables that
// make a database the program's own.
const QList<Table>& historyTables()
{
    static const QList<Table> list{
        {QStringLiteral("MonthClose"),
         {{QStringLiteral("Id"), Kind::Key},
          {QStringLiteral("Month"), Kind::Text},
          {QStringLiteral("ClosedBy"), Kind::Text},
          {QStringLiteral("ClosedAt"), Kind::Text}}},
        {QStringLiteral("ChangeLog"),
         {{QStringLiteral("Id"), Kind::Key},
          {QStringLiteral("ChangedAt"), Kind::Text},
          {QStringLiteral("UserName"), Kind::Text},
          {QStringLiteral("Host"), Kind::Text},
          {QStringLiteral("ChangeKind"), Kind::Text},
          {QStringLiteral("TableName"), Kind::Text},
          {QStringLiteral("RowKey"), Kind::Text},
          {QStringLiteral("OldValues"), Kind::Text},
          {QStringLiteral("NewValues"), Kind::Text},
          {QStringLiteral("Note"), Kind::Text}}},
    };
    return list;
}

const QList<Index>& historyIndexes()
{
    static const QList<Index> list{
        {QStringLiteral("MonthClose_Month"), QStringLiteral("MonthClose"), {QStringLiteral("Month")}, true},
        {QStringLiteral("ChangeLog_ChangedAt"), QStringLiteral("ChangeLog"), {QStringLiteral("ChangedAt")}},
    };
    return list;
}

const QList<Index>& indexes()
{
    static const QList<Index> list{
        {QStringLiteral("UserData_User"), QStringLiteral("UserData"), {QStringLiteral("User")}},
        // The windows refuse a second team, style, or step of a style of the same name in any
        // letter case; the unique indexes (case-insensitive as their columns) hold to it too.
        {QStringLiteral("Dept_DeptName"), QStringLiteral("Dept"), {QStringLiteral("DeptName")}, true},
        {QStringLiteral("Worker_DeptMachine"),
         QStringLiteral("Worker"),
         {QStringLiteral("DeptId"), QStringLiteral("MachineId")}},
        {QStringLiteral("Worker_WorkerName"), QStringLiteral("Worker"), {QStringLiteral("WorkerName")}},
        {QStringLiteral("Product_Kind"), QStringLiteral("Product"), {QStringLiteral("Kind")}, true},
        {QStringLiteral("Process_ProductStep"),
         QStringLiteral("Process"),
         {QStringLiteral("ProductId"), QStringLiteral("Process")},
         true},
        // Price application per style, step and month; the detail join on style and step.
        {QStringLiteral("Salary_KindStepDate"),
         QStringLiteral("Salary"),
         {QStringLiteral("KindId"), QStringLiteral("Process"), QStringLiteral("ProcessDate")}},
        // Month filters (ProcessDate >= first day AND ProcessDate < first day of the next month).
        {QStringLiteral("Salary_ProcessDate"), QStringLiteral("Salary"), {QStringLiteral("ProcessDate")}},
        // A team rename carries the new name into the records.
        {QStringLiteral("Salary_DeptName"), QStringLiteral("Salary"), {QStringLiteral("DeptName")}},
        // The wage summary per worker, team and machine place: walking this index gives the records
        // in the order of the grouping, with every column the summary reads, so the summary over all
        // months needs neither a sort of the records nor the table itself. A month's summary keeps
        // to the month index (its grouping terms are written so that they cannot take their order
        // from this one).
        {QStringLiteral("Salary_WorkerGroup"),
         QStringLiteral("Salary"),
         {QStringLiteral("WorkerName"), QStringLiteral("DeptName"), QStringLiteral("MachineId"),
          QStringLiteral("KindId"), QStringLiteral("Process"), QStringLiteral("ProductCount"),
          QStringLiteral("ProcessPrice")}},
    };
    return list;
}

// A column name as statements write it. "User" is a keyword on the server (the current user's
// name), so it is quoted, with its case, in both engines.
QString sqlName(const QString& name)
{
    return name == QLatin1String("User") ? QLatin1Char('"') + name + QLatin1Char('"') : name;
}

QString columnType(const Column& column, Dialect dialect)
{
    const QString name = sqlName(column.name);
    if (dialect == Dialect::Sqlite) {
        switch (column.kind) {
        case Kind::Key: return QStringLiteral("INTEGER PRIMARY KEY AUTOINCREMENT");
        case Kind::Text: return QStringLiteral("TEXT COLLATE NOCASE");
        case Kind::Integer: return QStringLiteral("INTEGER");
        case Kind::Real:
        case Kind::Price: return QStringLiteral("REAL");
        case Kind::Date: return QStringLiteral("TEXT COLLATE NOCASE CHECK (%1 IS NULL OR date(%1) IS %1)").arg(name);
        }
    } else {
        switch (column.kind) {
        case Kind::Key: return QStringLiteral("bigint GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY");
        // The "C" rules make citext compare as SQLite's NOCASE does: ASCII letters without case,
        // then the bytes; lists sort alike on both engines, whatever the database's own locale.
        case Kind::Text: return QStringLiteral("citext COLLATE \"C\"");
        case Kind::Integer: return QStringLiteral("integer");
        case Kind::Real: return QStringLiteral("double precision");
        case Kind::Price: return QStringLiteral("numeric(12,3)");
        case Kind::Date: return QStringLiteral("date");
        }
    }
    return {};
}

// Every statement that changes a table of the program draws a number from one counter and counts
// it in the session's own tally. A list read earlier is still what the tables hold when the
// counter has moved only by the session's own statements; the session knows which those were.
// The statement also tells every listening program which rows it changed: the table's name and the
// keys, or "*" when it changed more rows than are worth reading one by one (or emptied the table).
// The server delivers the notice when the change commits, and not at all when it rolls back.
const QString kRowNoticeFunction = QStringLiteral(
    "CREATE OR REPLACE FUNCTION dorvik_note_rows() RETURNS trigger LANGUAGE plpgsql SET search_path FROM CURRENT "
    "AS $$\n"
    "DECLARE\n"
    "    n bigint := -1;\n"
    "    keys text;\n"
    "BEGIN\n"
    "    PERFORM nextval('dorvik_changes');\n"
    "    PERFORM set_config('dorvik.own_changes',\n"
    "        (coalesce(nullif(current_setting('dorvik.own_changes', true), ''), '0')::bigint + 1)::text, false);\n"
    "    IF TG_OP = 'INSERT' THEN\n"
    "        SELECT count(*), string_agg(id::text, ' ') INTO n, keys FROM (SELECT id FROM new_rows LIMIT %1) k;\n"
    "    ELSIF TG_OP = 'DELETE' THEN\n"
    "        SELECT count(*), string_agg(id::text, ' ') INTO n, keys FROM (SELECT id FROM old_rows LIMIT %1) k;\n"
    "    ELSIF TG_OP = 'UPDATE' THEN\n"
    "        SELECT count(*), string_agg(id::text, ' ') INTO n, keys\n"
    "            FROM (SELECT id FROM new_rows UNION SELECT id FROM old_rows LIMIT %1) k;\n"
    "    END IF;\n"
    "    IF n <> 0 THEN\n"
    "        PERFORM pg_notify('%2', TG_TABLE_NAME || ' ' || CASE WHEN n < 0 OR n >= %1 THEN '*' ELSE keys END);\n"
    "    END IF;\n"
    "    RETURN NULL;\n"
    "END $$;\n");

QString rowNoticeTriggers()
{
    QString text = kRowNoticeFunction.arg(kRowNoticeMostKeys + 1).arg(kRowNoticeChannel);
    for (const Table& table : tables())
        text += QStringLiteral(
                    "CREATE TRIGGER %1_added AFTER INSERT ON %1 REFERENCING NEW TABLE AS new_rows "
                    "FOR EACH STATEMENT EXECUTE FUNCTION dorvik_note_rows();\n"
                    "CREATE TRIGGER %1_changed AFTER UPDATE ON %1 REFERENCING OLD TABLE AS old_rows NEW TABLE AS "
                    "new_rows FOR EACH STATEMENT EXECUTE FUNCTION dorvik_note_rows();\n"
                    "CREATE TRIGGER %1_removed AFTER DELETE ON %1 REFERENCING OLD TABLE AS old_rows "
                    "FOR EACH STATEMENT EXECUTE FUNCTION dorvik_note_rows();\n"
                    "CREATE TRIGGER %1_emptied AFTER TRUNCATE ON %1 FOR EACH STATEMENT EXECUTE FUNCTION "
                    "dorvik_note_rows();\n")
                    .arg(table.name);
    return text;
}

QString serverChangeCounter()
{
    return QStringLiteral("\nCREATE SEQUENCE dorvik_changes;\n") + rowNoticeTriggers();
}

// One table and its indexes; ifNotExists ("IF NOT EXISTS " or empty) lets the text run on a
// database that may hold them already.
QString tableText(const Table& table, const QList<Index>& tableIndexes, Dialect dialect, const QString& ifNotExists)
{
    QStringList columns;
    for (const Column& column : table.columns)
        columns << QStringLiteral("    %1 %2").arg(sqlName(column.name), columnType(column, dialect));
    QString text = QStringLiteral("\nCREATE TABLE %1%2 (\n%3\n)%4;\n")
                       .arg(ifNotExists, table.name, columns.join(QStringLiteral(",\n")),
                            dialect == Dialect::Sqlite ? QStringLiteral(" STRICT") : QString());
    for (const Index& index : tableIndexes) {
        if (index.table != table.name)
            continue;
        QStringList names;
        for (const QString& column : index.columns)
            names << sqlName(column);
        text += QStringLiteral("CREATE %1INDEX %2%3 ON %4(%5);\n")
                    .arg(index.unique ? QStringLiteral("UNIQUE ") : QString(), ifNotExists, index.name, table.name,
                         names.join(QStringLiteral(", ")));
    }
    return text;
}

} // namespace

QString rowNoticeUpgradeText()
{
    // A database prepared before the notices counted its changes with one trigger per table.
    QString text;
    for (const Table& table : tables())
        text += QStringLiteral("DROP TRIGGER IF EXISTS %1_changes ON %1;\n").arg(table.name);
    text += QStringLiteral("DROP FUNCTION IF EXISTS dorvik_count_change();\n");
    return text + rowNoticeTriggers();
}

QString schemaText(Dialect dialect)
{
    QString text = dialect == Dialect::Sqlite ? QStringLiteral("PRAGMA journal_mode = DELETE;\n")
                                              : QStringLiteral("CREATE EXTENSION IF NOT EXISTS citext;\n");
    for (const Table& table : tables())
        text += tableText(table, indexes(), dialect, QString());
    if (dialect == Dialect::Postgres) {
        // The server would guess a hundred thousand worker groups among a million records and group
        // them by sorting; counted, the two hundred groups fit a hash in memory.
        text += QStringLiteral("CREATE STATISTICS Salary_WorkerGroups (ndistinct) ON WorkerName, DeptName, MachineId "
                               "FROM Salary;\n");
        text += serverChangeCounter();
    }
    return text + historyTablesText(dialect);
}

QString historyTablesText(Dialect dialect)
{
    QString text;
    for (const Table& table : historyTables())
        text += tableText(table, historyIndexes(), dialect, QStringLiteral("IF NOT EXISTS "));
    // The change record only grows: no statement of any program changes or deletes a line of it.
    if (dialect == Dialect::Sqlite) {
        for (const char* event : {"UPDATE", "DELETE"})
            text += QStringLiteral("CREATE TRIGGER IF NOT EXISTS ChangeLog_Kept%1 BEFORE %2 ON ChangeLog "
                                   "BEGIN SELECT RAISE(ABORT, '%3'); END;\n")
                        .arg(QString::fromLatin1(event).toLower(), QLatin1String(event), kChangeLogKeptText);
    } else {
        // Made only where missing: a database that has it keeps it, and no notice is printed.
        text += QStringLiteral("CREATE OR REPLACE FUNCTION dorvik_keep_log() RETURNS trigger LANGUAGE plpgsql AS $$\n"
                               "BEGIN RAISE EXCEPTION '%1'; END $$;\n"
                               "DO $$ BEGIN\n"
                               "    IF NOT EXISTS (SELECT 1 FROM pg_trigger WHERE tgname = 'changelog_kept'\n"
                               "                   AND tgrelid = 'changelog'::regclass) THEN\n"
                               "        CREATE TRIGGER ChangeLog_Kept BEFORE UPDATE OR DELETE ON ChangeLog\n"
                               "            FOR EACH ROW EXECUTE FUNCTION dorvik_keep_log();\n"
                               "    END IF;\n"
                               "END $$;\n")
                    .arg(kChangeLogKeptText);
    }
    return text;
}

QStringList historyTableNames()
{
    QStringList names;
    for (const Table& table : historyTables())
        names << table.name;
    return names;
}

QStringList tableColumns(const QString& table)
{
    QStringList names;
    for (const QList<Table>* list : {&tables(), &historyTables()})
        for (const Table& t : *list)
            if (t.name == table)
                for (const Column& column : t.columns)
                    names << column.name;
    return names;
}

} // namespace data
