#pragma once

#include <QString>

struct sqlite3;

namespace data {

// The database connection of one data module. It resolves the data source "Dorvik" through the
// registry store (the value DBQ names the database file), opens the file read-write without ever
// creating it, on the first statement, and can be closed so that the next statement reconnects.
class Connection {
public:
    explicit Connection(QString connectionName);
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // The open SQLite handle, connecting first when needed; nullptr with a reason when that fails.
    sqlite3* handle(QString* error = nullptr);
    bool isOpen() const { return m_handle != nullptr; }
    void close();

    // The database file named by the data source, or an empty text when there is none.
    static QString dataSourcePath();
    static const QString kDataSourceKey;

private:
    QString m_name;
    sqlite3* m_handle = nullptr;
};

} // namespace data
