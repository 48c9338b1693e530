#pragma once

#include <QString>

// Start-up, shutdown and local configuration helpers of the program.

// The application title: the single-instance guard finds a running copy by it.
inline const QString kApplicationTitle = QStringLiteral("Tavik");

QString DatabaseFilePath();   // DorvikSalary.mdb in the program folder
QString ConfigFilePath();     // Config.ini in the program folder
QString AutoRunProgramPath(); // the program file the autorun entry starts

// Ends this process at once, touching no file, when another copy runs; that copy is asked to
// bring its window back. The running copy restores its active window when asked.
void CheckSingleInstance();
// Writes the valid database header, or the closing marker, at the start of the database file.
void RestoreDbHeader();
void WriteDbMarker();

// First-start set-up: the autorun entry, and the registration of the data source "Dorvik".
void SetupAutoRun();
void CreateDataSource();
// AutoRun from Config.ini with default 1; the menu item is checked when it is 1.
int ReadAutoRun();
void AutoRunOn();
void AutoRunOff();
