#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QTemporaryDir>
#include <QVariantList>

namespace testsupport {

// A temporary program folder for one test: the program folder, the registry store file, the
// user's configuration folder (autostart entries) and the runtime folder all point into it while
// the object lives.
class TestProgramDir {
public:
    TestProgramDir();
    ~TestProgramDir();

    QString path() const { return m_dir.path(); }
    QString file(const QString& name) const;
    QString dbPath() const { return file(QStringLiteral("DorvikSalary.mdb")); }
    QString registryPath() const { return file(QStringLiteral("registry.json")); }
    QString configHome() const { return file(QStringLiteral("config")); }

    // DorvikSalary.mdb made from the schema.
    void createDatabase() const;
    // The data source key naming the database file, as the first start registers it.
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
};

// Direct access to a database file, beside the program's own connection.
QList<QVariantList> queryRows(const QString& dbPath, const QString& sql, const QVariantList& params = {});
void execSql(const QString& dbPath, const QString& sql, const QVariantList& params = {});
// A whole file's bytes (empty when it cannot be read), and a file written whole.
QByteArray readFile(const QString& path);
bool writeFile(const QString& path, const QByteArray& bytes);
// The path of the schema the tests build databases from.
QString schemaPath();

} // namespace testsupport
