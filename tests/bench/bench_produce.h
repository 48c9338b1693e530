#pragma once

#include <QString>

// The price application of the product window against the raw engine: one style's save for a
// month and the bulk update of a month, and once the per-step, per-commit way on 200,000 records.
// With a server URI, the bulk update also on the server beside its file line. Prints its lines;
// returns 0, or 1 after a failure it has reported.
int benchProduce(const QString& dbPath, qint64 rows, int months, int repeat, bool cpuClock,
                 const QString& scratchFolder, const QString& serverUri);
