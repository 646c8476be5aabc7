#pragma once
// What the desktop application does when the settings file lets it down: a file that exists but
// cannot be read is shown at start-up with the choice to go on with defaults (the file then stays
// untouched for the whole session), and every failed write is shown in a message box.

#include <QWidget>

#include <string>

namespace folvane::gui {

// Shows why the settings file cannot be read and asks whether to start with the default
// settings. True when the user chose to; settings writes are then suspended so the file is never
// overwritten. False when the user chose to quit.
bool askToStartWithDefaults(QWidget* parent, const std::string& path, const std::string& reason);

// Installs the handler that shows a failed settings write in a warning box on the GUI thread,
// once control is back in its event loop (failures while one is waiting or open give no more).
void reportSettingsWriteFailures();

} // namespace folvane::gui
