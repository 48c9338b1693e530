#pragma once

class QApplication;

// Application-wide settings made before any window: title, fonts, Qt's own Chinese texts.
void PrepareApplication(QApplication& app);
// The start-up sequence after the application object exists: the modal login, then either the
// closing marker and the end, or the main window and the message loop. Returns the exit code.
int RunProgram(QApplication& app);
