#pragma once

#include <optional>

class QApplication;

// The name the installed menu entry carries (dorvik.desktop): docks and task bars match the
// program's windows to that entry by it.
inline constexpr char kDesktopFileName[] = "dorvik";

// Answers --help and --version on the terminal. Returns the exit code when it did; then nothing
// else has been started: no application object, window, lock or file. Any other command line
// (Qt's own options included) is left to the program: returns nothing.
std::optional<int> AnswerCommandLine(int argc, char** argv);
// Application-wide settings made before any window: title, version, desktop entry name, window
// icon, fonts, Qt's own Chinese texts.
void PrepareApplication(QApplication& app);
// The start-up sequence after the application object exists: the modal login, then either the
// closing marker and the end, or the main window and the message loop. Returns the exit code.
int RunProgram(QApplication& app);
