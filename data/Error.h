#pragma once

#include <QString>

namespace data {

// What went wrong, in words that hold for either engine.
enum class ErrorKind {
    None,
    Busy,           // another user or program holds what the statement needs; try again later
    Unique,         // the value is already taken
    NotNull,        // a required value is missing
    BadValue,       // a value that the table does not take (a malformed date, a text for a number)
    ReadOnly,       // the database takes no writes
    ConnectionLost, // the server cannot be reached or the connection broke
    AccessDenied,   // user, password or rights refused
    NotOurs,        // the database is not this program's
    NoDataSource,   // no data source, or it names nothing that exists
    Other,
};

// What went wrong in the data layer: the kind, the engine's own code (SQLite's extended result
// code; on the server its SQLSTATE as a number of its five characters is not needed, so 1) and the
// cause in the user's words (one line, Chinese, ready to stand under the statement in the failure
// box).
struct Error {
    int code = 0; // 0 when nothing went wrong
    QString text;
    ErrorKind kind = ErrorKind::None;

    bool failed() const { return code != 0; }
};

// The code of a failure the data layer finds before any engine does (a statement it cannot run).
constexpr int kMisuse = 21;

// The cause of an SQLite failure in the user's words, from its (extended) result code.
QString causeOfEngineCode(int code);
// The kind of an SQLite failure, from its (extended) result code.
ErrorKind kindOfEngineCode(int code);

// The text of the failures the data layer finds before the engine does.
inline const QString kInUseText = QStringLiteral("数据库正被其他程序使用，请稍后再试");
QString noDataSourceText();
QString fileMissingText(const QString& path);
QString notThisProgramsDatabaseText(const QString& missingTable = QString());
QString readOnlyMarkedFileText();
QString notThisProgramsServerDatabaseText(const QString& missingTable = QString());

} // namespace data
