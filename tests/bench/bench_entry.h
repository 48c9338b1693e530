#pragma once

#include <QString>

// The piece-work entry window against the raw engine and against the plain way: opening the
// window until its list shows, and one record added through the window until its list shows it.
// Needs a QApplication; opens the program's main window, whose data module is the current one
// while it runs. Prints its lines; returns 0, or 1 after a failure it has reported. The records
// it adds are removed again at the end. With a server URI, the add also on the server, against an
// INSERT that returns the new row through libpq.
int benchEntry(const QString& dbPath, int repeat, bool cpuClock, const QString& serverUri);
