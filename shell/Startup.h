#pragma once

#include <QString>
#include <QStringList>

#include <optional>

class QApplication;

// The name the installed menu entry carries (dorvik.desktop): docks and task bars match the
// program's windows to that entry by it.
inline constexpr char kDesktopFileName[] = "dorvik";

// Answers the terminal's options and returns the exit code when it did: --help and --version, which
// start nothing (no application object, window, lock or file), and --connect, --init-server and
// --migrate, which change only the data source or the server database they name. Any other command line
// (Qt's own options included) is left to the program: returns nothing.
std::optional<int> AnswerCommandLine(int argc, char** argv);

// What a terminal command says: on the standard output when it succeeded, otherwise on the error
// output (exit code 1).
struct CommandAnswer {
    bool ok = false;
    QString text;
};
// "--connect URI" stores the server once it answers with this program's database; "--connect
// file" points the data source back at the data folder's database file.
CommandAnswer ConnectCommand(const QString& target);
// "--init-server URI": the program's tables in a new, empty server database.
CommandAnswer InitServerCommand(const QString& uri);
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
