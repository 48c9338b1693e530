#pragma once

#include <QString>

// The export of the piece-work list to CSV, as "导出..." writes it, against the same statement's
// rows written straight to a file with the raw SQLite API and stdio; and once the same export to
// XLSX. With a server URI, the CSV export also of the list loaded from the server, against COPY
// writing the rows to a file. Prints its lines; returns 0, or 1 after a failure it has reported.
int benchExport(const QString& dbPath, int repeat, bool cpuClock, const QString& scratchFolder,
                const QString& serverUri);
