#pragma once

#include "data/DataSet.h"

#include <QList>
#include <QString>
#include <QVariantList>

namespace testsupport {

// A list of piece-work records as the entry window reads it: its condition with its values and its
// order; the statement, the patch that brings it up to date after a change, and the follow of other
// connections' changes.
struct List {
    QString condition; // empty: every record
    QVariantList params;
    QString order;

    QString sql() const
    {
        return QStringLiteral("Select * From Salary") +
               (condition.isEmpty() ? QString() : QStringLiteral(" Where ") + condition) +
               QStringLiteral(" Order By ") + order;
    }
    data::RowPatch patch(const QVariant& changedKey = QVariant(), qint64 changes = 0) const
    {
        QList<data::OrderTerm> terms;
        for (const QString& term : order.split(QLatin1Char(','))) {
            const QStringList words = term.simplified().split(QLatin1Char(' '));
            terms.append({words[0], words.size() > 1 && words[1].toUpper() == QLatin1String("DESC")});
        }
        const QString keys = QStringLiteral("(id > ? Or id = ?)");
        return {.keyField = QStringLiteral("id"),
                .order = terms,
                .sql = QStringLiteral("Select * From Salary Where ") +
                       (condition.isEmpty() ? keys : QLatin1Char('(') + condition + QStringLiteral(") And ") + keys),
                .params = params,
                .changedKey = changedKey,
                .changes = changes};
    }
    data::ListFollow follow() const
    {
        return data::followList(QStringLiteral("Salary"), sql(), QStringLiteral("id"), patch().order, patch().sql,
                                params);
    }
};

// Every value of every row a dataset holds, in its order.
inline QList<QVariantList> rowsOf(const data::DataSet* set)
{
    QList<QVariantList> rows;
    for (int r = 0; r < set->recordCount(); ++r) {
        QVariantList row;
        for (int c = 0; c < set->fieldCount(); ++c)
            row << set->value(r, c);
        rows << row;
    }
    return rows;
}

} // namespace testsupport
