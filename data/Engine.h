#pragma once

#include "data/ColumnStore.h"
#include "data/Dialect.h"
#include "data/Error.h"

#include <QString>
#include <QStringList>
#include <QVariantList>

#include <functional>
#include <memory>
#include <vector>

namespace data {

// Where the rows of a statement go: the dataset's column store.
struct ResultTarget {
    // The columns; the engine makes them, named after the result's columns, when there are none.
    std::vector<std::unique_ptr<ColumnStore>>* columns = nullptr;
    // Told the result's column names before any row is stored; false refuses the result (the
    // callee has set *error).
    std::function<bool(const QStringList& names, Error* error)> acceptColumns;
    // The stored row the first row of the result goes to.
    int firstRow = 0;

    // Takes the result's column names: refused by acceptColumns (false, *error says why), or the
    // columns to store the rows in, made first when there are none.
    bool describe(const QStringList& names, std::vector<ColumnStore*>* stores, Error* error);
};

// What a statement did.
struct StatementOutcome {
    int rows = 0;         // rows stored into the target
    int rowsAffected = 0; // rows the statement inserted, changed or deleted
    qint64 newKey = 0;    // the key of the row an INSERT added; 0 otherwise
};

// Rows another connection changed, as the server announced them when the change committed.
struct RowNotice {
    QString table;         // the table's name in small letters
    QList<qint64> keys;    // the changed rows' keys; empty when everyRow
    bool everyRow = false; // too many rows to name, or the table was emptied
};

// One database engine behind the connection: it opens the database a data source names, runs a
// statement with bound values into a column store and its own transaction statements, and says
// what went wrong in the neutral kinds of Error.
class Engine {
public:
    virtual ~Engine() = default;

    virtual Dialect dialect() const = 0;
    // Opens the database; the engine is closed when that fails.
    virtual bool open(const QString& source, Error* error) = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;

    // Runs one statement ("?" marks each bound value) and, with a target, stores its rows there.
    // A failure leaves rows past target->firstRow in an unspecified state.
    virtual bool run(const QString& sql, const QVariantList& params, ResultTarget* target, StatementOutcome* outcome,
                     Error* error) = 0;
    // Runs one statement of the engine's own that returns no rows and takes no values.
    virtual bool execute(const QString& statement, Error* error) = 0;

    virtual bool inTransaction() const = 0;

    // Rows this connection has inserted, changed or deleted since it opened.
    virtual qint64 totalChanges() const = 0;
    // A mark that moves whenever another connection commits a change; -1 when it cannot be read.
    virtual qint64 othersChangeMark() = 0;

    // How long a statement waits for another user's lock before it fails as busy.
    virtual void setBusyTimeout(int milliseconds) = 0;

    // True when the engine hears other connections' changes as row notices (a server that
    // announces them); a file database has one program at a time and announces nothing.
    virtual bool hearsOthers() const { return false; }
    // The notices that arrived since the last call, without waiting; a connection found broken is
    // closed.
    virtual QList<RowNotice> takeRowNotices() { return {}; }
};

// The engine a data source's value names: a server URI (postgresql:// or postgres://) or a file.
bool namesServer(const QString& source);
std::unique_ptr<Engine> makeEngine(const QString& source, int busyTimeout);

} // namespace data
