#pragma once

#include <QString>

namespace platform {

// The folder that holds the running program and its pictures (icon/).
QString programDir();
// Full path of a file in the program folder.
QString programFile(const QString& relativePath);
// Points the program folder, and with it the data folder, elsewhere (tests); an empty path goes
// back to the executable's folder.
void setProgramDir(const QString& path);

// The folder that holds the database, Config.ini and backup/. It is the program folder when this
// user can write it (a program run from its build folder keeps everything beside itself). An
// installed program's folder cannot be written by its users: then it is the user's data folder,
// $XDG_DATA_HOME/Dorvik (~/.local/share/Dorvik), which gets a copy of the empty database shipped
// beside the program when it has none. DORVIK_DATA_DIR names another data folder (the demo).
QString dataDir();
// Full path of a file in the data folder.
QString dataFile(const QString& relativePath);
// The data folder of a program kept in programFolder, by the rule above, made ready for use.
QString dataDirFor(const QString& programFolder);

} // namespace platform
