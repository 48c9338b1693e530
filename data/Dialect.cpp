#include "data/Dialect.h"

namespace data {

QString unindexedTerm(Dialect dialect, const QString& column)
{
    // SQLite takes no index for an expression; "+column" keeps the value and the collation. The
    // server plans a grouping by its own costs, so the column stands as it is.
    return dialect == Dialect::Sqlite ? QLatin1Char('+') + column : column;
}

QString stepLabelFilter(Dialect dialect)
{
    return stepLabelFilter(dialect, QStringLiteral("Process"), QStringLiteral("?"));
}

QString stepLabelFilter(Dialect dialect, const QString& label, const QString& highest)
{
    if (dialect == Dialect::Sqlite)
        return QStringLiteral("CAST(substr(%1,3) AS INTEGER) Between 1 And %2 "
                              "And %1='工序'||CAST(substr(%1,3) AS INTEGER)")
            .arg(label, highest);
    // The server refuses to cast a text that is not a number, so the label's form is tested first;
    // CASE keeps the order of the two tests.
    return QStringLiteral("CASE WHEN %1 ~ '^工序[1-9][0-9]{0,8}$' THEN CAST(substr(%1,3) AS INTEGER) END "
                          "Between 1 And %2")
        .arg(label, highest);
}

QString asText(Dialect dialect, const QString& column)
{
    return dialect == Dialect::Sqlite ? column : QStringLiteral("CAST(%1 AS TEXT)").arg(column);
}

QString wholeNumberText(Dialect dialect, const QString& column)
{
    if (dialect == Dialect::Sqlite)
        return QStringLiteral("iif(%1=CAST(%1 AS INTEGER),CAST(%1 AS INTEGER),%1)").arg(column);
    return QStringLiteral("CAST(trim_scale(CAST(%1 AS NUMERIC)) AS TEXT)").arg(column);
}

QString largeReadCacheStatement(Dialect dialect)
{
    return dialect == Dialect::Sqlite ? QStringLiteral("PRAGMA cache_size = -32768") : QString();
}

QString monthLockStatement(Dialect dialect, MonthHold hold)
{
    if (dialect == Dialect::Sqlite)
        return QString();
    return hold == MonthHold::Entry ? QStringLiteral("Select pg_advisory_xact_lock_shared(?, ?)")
                                    : QStringLiteral("Select pg_advisory_xact_lock(?, ?)");
}

QString rowVersionTerm(Dialect dialect, const QString& table)
{
    if (dialect == Dialect::Sqlite)
        return QString();
    const QString column = table.isEmpty() ? QStringLiteral("xmin") : table + QStringLiteral(".xmin");
    // "AS" with blanks on both sides: the server's result names the column as the statement spells it.
    return QStringLiteral(", %1::text AS %2").arg(column, QLatin1String(kRowVersionField));
}

QString rowVersionCondition(Dialect dialect)
{
    return dialect == Dialect::Sqlite ? QString() : QStringLiteral(" And xmin::text = ?");
}

QString lockForShare(Dialect dialect)
{
    return dialect == Dialect::Sqlite ? QString() : QStringLiteral(" For Share");
}

QString lockForUpdate(Dialect dialect)
{
    return dialect == Dialect::Sqlite ? QString() : QStringLiteral(" For Update");
}

QString monthOfDate(Dialect dialect, const QString& column)
{
    // A file keeps dates as "yyyy-MM-dd" text; the server's are dates.
    return dialect == Dialect::Sqlite ? QStringLiteral("substr(%1,1,7)").arg(column)
                                      : QStringLiteral("to_char(%1,'YYYY-MM')").arg(column);
}

} // namespace data
