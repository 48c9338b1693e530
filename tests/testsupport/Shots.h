#pragma once

#include <QString>

class QApplication;

namespace testsupport {

// The set-up the picture programs share: the program's Song face at its size, as the program sets
// it at start, so that windows look as a clerk sees them; and the folder the pictures go into (the
// first argument, or the current folder).
void useProgramFont(QApplication& app);
QString picturesFolder(int argc, char** argv);

} // namespace testsupport
