#include "data/Engine.h"

#include "data/PgEngine.h"
#include "data/SqliteEngine.h"

namespace data {

bool ResultTarget::describe(const QStringList& names, std::vector<ColumnStore*>* stores, Error* error)
{
    Error refused;
    if (acceptColumns && !acceptColumns(names, &refused)) {
        if (error)
            *error =
                refused.failed() ? refused : Error{kMisuse, QStringLiteral("语句的结果不能读入"), ErrorKind::Other};
        return false;
    }
    if (columns->empty())
        for (const QString& name : names) {
            columns->push_back(std::make_unique<ColumnStore>());
            columns->back()->name = name;
        }
    stores->clear();
    for (const auto& column : *columns)
        stores->push_back(column.get());
    return true;
}

bool namesServer(const QString& source)
{
    return source.startsWith(QLatin1String("postgresql://"), Qt::CaseInsensitive) ||
           source.startsWith(QLatin1String("postgres://"), Qt::CaseInsensitive);
}

std::unique_ptr<Engine> makeEngine(const QString& source, int busyTimeout)
{
    if (namesServer(source))
        return std::make_unique<PgEngine>(busyTimeout);
    return std::make_unique<SqliteEngine>(busyTimeout);
}

} // namespace data
