#pragma once

#include <QString>

// Start-up, shutdown and local configuration helpers of the program.

// The application title: the single-instance guard finds a running copy by it.
inline const QString kApplicationTitle = QStringLiteral("Tavik");

QString DatabaseFilePath();   // DorvikSalary.mdb in the data folder
QString ConfigFilePath();     // Config.ini in the data folder
QString AutoRunProgramPath(); // the program file the autorun entry starts

// The single-instance guard of this run, over the user's runtime folder and the database file.
// True when this copy may run. False when another copy runs: it has been asked to bring its
// window back, or, when it cannot be reached, the user has been told that the program is already
// running with this database. The running copy restores its active window when asked.
bool ClaimSingleInstance();
// Ends this process at once, touching no file, when ClaimSingleInstance says another copy runs.
void CheckSingleInstance();
// The message of a copy that finds its database in use by a copy it cannot reach.
inline const QString kDatabaseInUse = QStringLiteral("程序已在运行，正在使用此数据库!");
// Writes the valid database header, or the closing marker, at the start of the database file.
// The marker is never written while another copy of the program holds the database.
void RestoreDbHeader();
void WriteDbMarker();

// First-start set-up: the autorun entry, and the registration of the data source "Dorvik".
void SetupAutoRun();
void CreateDataSource();
// AutoRun from Config.ini with default 1; the menu item is checked when it is 1.
int ReadAutoRun();
void AutoRunOn();
void AutoRunOff();
