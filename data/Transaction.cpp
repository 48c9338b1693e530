#include "data/Transaction.h"

#include "data/Connection.h"

namespace data {

namespace {

const QString kCommit = QStringLiteral("COMMIT");
const QString kRollback = QStringLiteral("ROLLBACK");

bool run(Connection& connection, const QString& statement, QList<TransactionFailure>* failures)
{
    Error error;
    if (connection.execute(statement, &error))
        return true;
    if (failures)
        failures->append(TransactionFailure{statement, error});
    return false;
}

// Undoes what the transaction did. The engine may have rolled back by itself already (a full
// disk, an I/O error); a ROLLBACK that fails leaves the connection to be closed.
void rollBack(Connection& connection, QList<TransactionFailure>* failures)
{
    if (connection.inTransaction() && !run(connection, kRollback, failures))
        connection.close();
}

} // namespace

bool runInTransaction(Connection& connection, const std::function<bool()>& work, QList<TransactionFailure>* failures)
{
    if (connection.inTransaction())
        return work();
    Error error;
    if (!connection.begin(&error)) {
        if (failures)
            failures->append(TransactionFailure{connection.beginStatement(), error});
        return false;
    }
    if (!work()) {
        rollBack(connection, failures);
        return false;
    }
    if (run(connection, kCommit, failures))
        return true;
    rollBack(connection, failures);
    return false;
}

} // namespace data
