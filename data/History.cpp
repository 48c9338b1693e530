#include "data/History.h"

#include "data/ClientName.h"
#include "data/DataModule.h"
#include "data/DataSet.h"
#include "data/LoginIdentity.h"
#include "data/Schema.h"
#include "data/Sql.h"
#include "toolkit/MessageBox.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonValue>

namespace {

const QString kMonthClosedSql = QStringLiteral("Select Month From MonthClose Where Month=?");
const QString kLogSql =
    QStringLiteral("Insert Into ChangeLog (ChangedAt,UserName,Host,ChangeKind,TableName,RowKey,OldValues,NewValues,"
                   "Note) Values (?,?,?,?,?,?,?,?,?)");

// One value as JSON text: numbers as numbers, dates and texts as strings, an empty value as null.
QString jsonValue(const QVariant& value)
{
    if (!value.isValid() || value.isNull())
        return QStringLiteral("null");
    switch (value.metaType().id()) {
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
    case QMetaType::ULongLong: return QString::number(value.toLongLong());
    case QMetaType::Double: return QString::number(value.toDouble(), 'g', 15);
    case QMetaType::QDate: return QLatin1Char('"') + value.toDate().toString(Qt::ISODate) + QLatin1Char('"');
    default: break;
    }
    // A JSON string with its quotes and escapes, as QJsonDocument writes it inside an array.
    const QByteArray array = QJsonDocument(QJsonArray{value.toString()}).toJson(QJsonDocument::Compact);
    return QString::fromUtf8(array.mid(1, array.size() - 2));
}

} // namespace

QString MonthKey(const QDate& anyDay)
{
    return anyDay.toString(QStringLiteral("yyyy-MM"));
}

bool MonthsOpen(const QList<QDate>& days, data::MonthHold hold)
{
    QList<QDate> months;
    for (const QDate& day : days)
        if (day.isValid() && !months.contains(QDate(day.year(), day.month(), 1)))
            months << QDate(day.year(), day.month(), 1);
    // The same order in every program, so that two changes never wait for each other's months.
    std::sort(months.begin(), months.end());
    data::DataSet query(QStringLiteral("MonthCheck"), DM->connection());
    for (const QDate& month : months) {
        if (!HoldMonthPrices(month, hold) || !OpenQuery(&query, kMonthClosedSql, {MonthKey(month)}))
            return false;
        if (query.recordCount() > 0) {
            toolkit::ShowStop(kMonthClosedText);
            return false;
        }
    }
    return true;
}

QStringList change::allKinds()
{
    return {kAddRecord, kEditRecord,  kDeleteRecord,     kAddStyle,   kEditStyle,   kDeleteStyle,
            kEditStep,  kApplyPrices, kCarryIntoRecords, kAddTeam,    kEditTeam,    kDeleteTeam,
            kAddWorker, kEditWorker,  kDeleteWorker,     kCloseMonth, kReopenMonth, kRestore};
}

bool LogChange(const ChangeLine& line)
{
    data::DataSet query(QStringLiteral("ChangeLog"), DM->connection());
    const auto orNull = [](const QString& text) { return text.isEmpty() ? QVariant() : QVariant(text); };
    return ExecQuery(&query, kLogSql,
                     {QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")), LoginUser,
                      data::thisHostName(), line.kind, line.table,
                      line.key.isValid() ? QVariant(line.key.toString()) : QVariant(), orNull(line.before),
                      orNull(line.after), orNull(line.note)});
}

QString ValuesText(const QStringList& columns, const QVariantList& values)
{
    QStringList pairs;
    for (qsizetype i = 0; i < columns.size(); ++i)
        pairs << jsonValue(columns.at(i)) + QLatin1Char(':') + jsonValue(values.value(i));
    return QLatin1Char('{') + pairs.join(QLatin1Char(',')) + QLatin1Char('}');
}

bool ReadRowValues(const QString& table, const QString& keyColumn, const QVariant& key, QString* values)
{
    const QStringList columns = data::tableColumns(table);
    QStringList terms;
    for (const QString& column : columns)
        terms << (column == QLatin1String("User") ? QStringLiteral("\"User\"") : column);
    // The table and column names come from the program's own schema, never from what a user typed.
    data::DataSet query(QStringLiteral("RowValues"), DM->connection());
    if (!OpenQuery(&query,
                   QStringLiteral("Select %1 From %2 Where %3=?").arg(terms.join(QLatin1Char(',')), table, keyColumn),
                   {key}))
        return false;
    values->clear();
    if (query.recordCount() == 0)
        return true;
    QVariantList row;
    for (int c = 0; c < query.fieldCount(); ++c)
        row << query.field(c).value();
    *values = ValuesText(columns, row);
    return true;
}
