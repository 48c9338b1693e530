#pragma once

#include <QString>

// The query window's statements against the raw engine: the detail list of all records, the wage
// summary of one month and of all months, and the preview of a month's detail report. Needs a
// QApplication (the preview paints). With a server URI, the two summaries also on the server beside
// their file lines. Prints its lines; returns 0, or 1 after a failure it has reported.
int benchQuery(const QString& dbPath, qint64 rows, int months, int repeat, bool cpuClock, const QString& serverUri);
