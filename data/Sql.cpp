#include "data/Sql.h"

#include "data/DataModule.h"
#include "data/DataSet.h"
#include "toolkit/MessageBox.h"

#include <sqlite3.h>

namespace {

bool reportFailure(data::DataSet* query)
{
    toolkit::ShowStop(StatementErrorText(query->sql(), query->params()));
    return false;
}

bool runOnConnection(const char* statement)
{
    sqlite3* db = DM ? DM->connection()->handle() : nullptr;
    return db && sqlite3_exec(db, statement, nullptr, nullptr, nullptr) == SQLITE_OK;
}

int hexDigit(QChar c)
{
    const ushort u = c.unicode();
    if (u >= '0' && u <= '9')
        return u - '0';
    if (u >= 'a' && u <= 'f')
        return u - 'a' + 10;
    if (u >= 'A' && u <= 'F')
        return u - 'A' + 10;
    return -1;
}

} // namespace

QString StatementErrorText(const QString& sql, const QVariantList& params)
{
    return QStringLiteral("操作数据表时出错, 执行语句为:\n\n") + data::statementWithValues(sql, params);
}

bool OpenQuery(data::DataSet* query, const QString& sql, const QVariantList& params)
{
    query->close();
    query->setSql(sql, params);
    return query->open() || reportFailure(query);
}

bool ExecQuery(data::DataSet* query, const QString& sql, const QVariantList& params)
{
    query->close();
    query->setSql(sql, params);
    return query->execSql() || reportFailure(query);
}

bool RunInTransaction(const std::function<bool()>& work)
{
    sqlite3* db = DM ? DM->connection()->handle() : nullptr;
    if (db && !sqlite3_get_autocommit(db))
        return work();
    if (!runOnConnection("BEGIN IMMEDIATE")) {
        toolkit::ShowStop(StatementErrorText(QStringLiteral("BEGIN TRANSACTION"), {}));
        return false;
    }
    if (work() && runOnConnection("COMMIT"))
        return true;
    runOnConnection("ROLLBACK");
    return false;
}

QVariant KeyParam(const data::Field& field)
{
    return field.isValid() ? field.value() : QVariant();
}

QString ContainsPattern(const QString& text)
{
    QString escaped;
    escaped.reserve(text.size() + 2);
    for (const QChar c : text) {
        if (c == QLatin1Char('%') || c == QLatin1Char('_') || c == QLatin1Char('\\'))
            escaped += QLatin1Char('\\');
        escaped += c;
    }
    return QLatin1Char('%') + escaped + QLatin1Char('%');
}

bool IsInteger(const QString& text)
{
    int i = 0;
    const int n = int(text.size());
    while (i < n && text.at(i) == QLatin1Char(' '))
        ++i;
    if (i == n)
        return false;

    // Hexadecimal: "$", "0x", "0X", "x" or "X", then digits of either case, up to eight significant.
    int hexStart = -1;
    if (text.at(i) == QLatin1Char('$') || text.at(i) == QLatin1Char('x') || text.at(i) == QLatin1Char('X'))
        hexStart = i + 1;
    else if (text.at(i) == QLatin1Char('0') && i + 1 < n &&
             (text.at(i + 1) == QLatin1Char('x') || text.at(i + 1) == QLatin1Char('X')))
        hexStart = i + 2;
    if (hexStart >= 0) {
        if (hexStart == n)
            return false;
        int significant = 0;
        for (int j = hexStart; j < n; ++j) {
            const int d = hexDigit(text.at(j));
            if (d < 0)
                return false;
            if (significant > 0 || d != 0)
                ++significant;
        }
        return significant <= 8;
    }

    bool negative = false;
    if (text.at(i) == QLatin1Char('+') || text.at(i) == QLatin1Char('-')) {
        negative = text.at(i) == QLatin1Char('-');
        ++i;
    }
    if (i == n)
        return false;
    qint64 value = 0;
    for (; i < n; ++i) {
        const ushort u = text.at(i).unicode();
        if (u < '0' || u > '9')
            return false;
        value = value * 10 + (u - '0');
        if (value > qint64(1) << 31)
            return false;
    }
    return negative ? value <= qint64(1) << 31 : value < qint64(1) << 31;
}
