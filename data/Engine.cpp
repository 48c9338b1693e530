#include "data/Engine.h"

#include "data/PgEngine.h"
#include "data/SqliteEngine.h"

namespace data {

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
