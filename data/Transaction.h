#pragma once

#include "data/Error.h"

#include <QList>
#include <QString>

#include <functional>

namespace data {

class Connection;

// A statement of the transaction itself (BEGIN, COMMIT, ROLLBACK) that failed, and why.
struct TransactionFailure {
    QString statement;
    Error error;
};

// Runs work (a sequence of statements on the connection) in one transaction: committed when work
// returns true, rolled back otherwise. A COMMIT that fails is rolled back too, so that a failure
// anywhere leaves the database as it was; a ROLLBACK that fails closes the connection, which
// drops the transaction. Inside an open transaction, work simply joins it. Work reports its own
// failures; the failures of the transaction's own statements come back in failures, in order.
// True only when work succeeded and its changes are committed (or joined an open transaction).
bool runInTransaction(Connection& connection, const std::function<bool()>& work, QList<TransactionFailure>* failures);

} // namespace data
