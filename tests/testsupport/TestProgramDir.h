#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QTemporaryDir>
#include <QVariantList>

#include <memory>

namespace testsupport {

// True when the tests run against the test cluster's PostgreSQL server (DORVIK_TEST_ENGINE=pg,
// its socket folder in DORVIK_TEST_PG_SOCKET) instead of database files.
bool onServer();
// The test cluster's maintenance database `postgres` as the superuser `dorvik`, for tests that
// make roles or databases of their own.
QString serverAdminUri();

// A temporary program folder for one test: the program folder, the registry store file, the
// user's configuration folder (autostart entries) and the runtime folder all point into it while
// the object lives. On the server the object owns a database of its own instead of the file,
// made from a template with the schema and dropped with the object.
class TestProgramDir {
public:
    TestProgramDir();
    ~TestProgramDir();

    QString path() const { return m_dir.path(); }
    QString file(const QString& name) const;
    // The database file, or on the server the database's URI (postgresql:///<name>?host=...).
    QString dbPath() const;
    QString registryPath() const { return file(QStringLiteral("registry.json")); }
    QString configHome() const { return file(QStringLiteral("config")); }

    // DorvikSalary.mdb made from the schema (an existing one replaced); on the server a new
    // database with the schema.
    void createDatabase() const;
    // The data source key naming the database (DBQ: the file or the server URI), as the first start
    // registers it.
    void registerDataSource() const;
    // Both: a database the data module can reach.
    void prepareDatabase() const
    {
        createDatabase();
        registerDataSource();
    }

    QByteArray fileHead(const QString& name, int bytes = 16) const;

private:
    QTemporaryDir m_dir;
    QString m_serverDb;             // the server database's name, empty on files
    mutable bool m_created = false; // the server database exists
};

// A database file made from the schema at path (an existing one replaced), on either engine: a
// backup file, say, or the file a workshop moves to a server.
void createDatabaseFile(const QString& path);

// Makes the statements of one kind fail in the database, to show that what ran before them is
// undone: a trigger "refuse" described as "BEFORE UPDATE ON Salary" or "BEFORE INSERT ON
// Process WHEN NEW.Process='工序3'", on either engine; dropRefusingTrigger takes the same description.
void addRefusingTrigger(const QString& dbPath, const QString& trigger);
void dropRefusingTrigger(const QString& dbPath, const QString& trigger);

// Leaves a test function (QSKIP returns from the function it stands in) that checks what only a
// database file has: its bytes, its lock, its header, its place in the folder.
#define SKIP_ON_SERVER(why)                                                                                            \
    if (testsupport::onServer())                                                                                       \
    QSKIP(why)

// Direct access to a database file or server URI, beside the program's own connection. The
// statement's "?" placeholders take params in order; a failed statement throws.
QList<QVariantList> queryRows(const QString& dbPath, const QString& sql, const QVariantList& params = {});
void execSql(const QString& dbPath, const QString& sql, const QVariantList& params = {});
// Another clerk's transaction on the server, held open while the test acts: exec() runs statements
// in it, which keep the rows they write locked and their changes unseen by others; commitAfter()
// has the server commit it after a pause while the test goes on, so that the test's next action
// meets the open transaction and the commit lands while it waits. Without commitAfter() the
// transaction is rolled back when the object goes; otherwise the object waits for the commit.
// Statements that fail throw.
class HeldTransaction {
public:
    explicit HeldTransaction(const QString& uri);
    ~HeldTransaction();
    HeldTransaction(const HeldTransaction&) = delete;
    HeldTransaction& operator=(const HeldTransaction&) = delete;

    void exec(const QString& sql, const QVariantList& params = {});
    void commitAfter(int milliseconds);
    // Waits for the commit that commitAfter() sent; throws when it failed.
    void waitForCommit();

private:
    struct Server;
    enum class State { Open, Committing, Ended };
    std::unique_ptr<Server> m_server;
    State m_state = State::Open;
};

// A whole file's bytes (empty when it cannot be read), and a file written whole.
QByteArray readFile(const QString& path);
bool writeFile(const QString& path, const QByteArray& bytes);

} // namespace testsupport
