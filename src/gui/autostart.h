#pragma once
// The entry that starts the program when the user logs in: an XDG autostart desktop entry
// "$XDG_CONFIG_HOME/autostart/Folvane.desktop" (by default under ~/.config) named Folvane whose
// Exec line is the program's full path. The desktop environment reads it at the next login.
//
// Plain file operations, no Qt; call from the user-interface thread. Failures are returned,
// never shown: the watch-folder page keeps its check box as the user set it either way.

#include <string>

namespace folvane::gui {

// The entry's full path. Empty when neither XDG_CONFIG_HOME nor the home folder is known.
std::string autostartEntryPath();

// The text of the entry that starts `program`.
std::string autostartEntryText(const std::string& program);

// `program` as one argument of an Exec line: quoted when it holds a character the desktop entry
// format reserves, with its escapes applied. Empty when it cannot be written on one line.
std::string desktopExecArgument(const std::string& program);

// Writes (or replaces) the entry for `program`, creating the autostart folder when needed. The
// file is replaced whole, so an earlier entry is never left half-written. True on success.
bool writeAutostartEntry(const std::string& program);

// Deletes the entry. True when it was deleted; false when there was none or it could not be
// deleted (both harmless).
bool removeAutostartEntry();

// The running program's full path (from /proc/self/exe); empty when unknown.
std::string runningProgramPath();

} // namespace folvane::gui
