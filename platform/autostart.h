#pragma once

#include <QString>

// Start with the desktop session: an XDG autostart entry
// $XDG_CONFIG_HOME/autostart/<name>.desktop whose Exec is the program path.
namespace AutoStart {
QString entryPath(const QString &name);
// Writes or removes the entry; false when the file could not be written/removed.
bool set(const QString &name, const QString &programPath, bool enabled);
bool isSet(const QString &name);
} // namespace AutoStart
