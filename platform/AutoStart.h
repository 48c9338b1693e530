#pragma once

#include <QString>

namespace platform {

// The desktop's autostart entry (XDG autostart) that starts the program at log-in.
class AutoStart {
public:
    static QString entryPath();
    static bool writeEntry(const QString& programPath);
    static bool removeEntry();
    static bool entryExists();
};

} // namespace platform
