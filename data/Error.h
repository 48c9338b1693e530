#pragma once

#include <QString>

namespace data {

// What went wrong in the data layer: the engine's result code and the cause in the user's words
// (one line, Chinese, ready to stand under the statement in the failure box).
struct Error {
    int code = 0; // SQLite's extended result code; 0 (SQLITE_OK) when nothing went wrong
    QString text;

    bool failed() const { return code != 0; }
};

// The cause of an engine failure in the user's words, from its (extended) result code.
QString causeOfEngineCode(int code);

// The text of the failures the data layer finds before the engine does.
inline const QString kInUseText = QStringLiteral("数据库正被其他程序使用，请稍后再试");
QString noDataSourceText();
QString fileMissingText(const QString& path);
QString notThisProgramsDatabaseText(const QString& missingTable = QString());
QString readOnlyMarkedFileText();

} // namespace data
