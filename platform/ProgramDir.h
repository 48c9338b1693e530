#pragma once

#include <QString>

namespace platform {

// The folder that holds the running program; every file the system uses lives relative to it.
QString programDir();
// Full path of a file in the program folder.
QString programFile(const QString& relativePath);
// Points the program folder elsewhere (tests); an empty path goes back to the executable's folder.
void setProgramDir(const QString& path);

} // namespace platform
