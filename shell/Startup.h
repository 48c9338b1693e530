#pragma once

#include <QStringList>

#include <optional>

class QApplication;

// The name the installed menu entry carries (dorvik.desktop): docks and task bars match the
// program's windows to that entry by it.
inline constexpr char kDesktopFileName[] = "dorvik";

// Answers --help, --version and --migrate FILE URI on the terminal. Returns the exit code when it
// did; then no window, lock or program file has been touched (--help and --version touch no file at
// all). Any other command line (Qt's own options included) is left to the program: returns nothing.
std::optional<int> AnswerCommandLine(int argc, char** argv);
// --migrate FILE URI (rest holds what follows FILE): loads the database file into the server with a
// line per table on stdout; a refusal goes to stderr. Returns the exit code (0 done, 1 refused or
// failed, 2 wrong usage).
int MigrateToServer(const QString& file, const QStringList& rest);
// Application-wide settings made before any window: title, version, desktop entry name, window
// icon, fonts, Qt's own Chinese texts.
void PrepareApplication(QApplication& app);
// The start-up sequence after the application object exists: the modal login, then either the
// closing marker and the end, or the main window and the message loop. Returns the exit code.
int RunProgram(QApplication& app);
