#pragma once
// Files the desktop program ships besides itself. They are found beside the program in the build
// tree, and in the installed layout relative to the program's folder (so a staged or moved
// installation finds its own files), then at the place the build was configured to install to.

#include <string>

namespace folvane::gui {

// The help page the about page opens: the first of these that exists, or the first when none:
// "help.html" beside the program, "<programs>/../share/folvane/help.html" (the installed
// layout), the configured data folder's "folvane/help.html".
std::string helpFilePath();

// The same search below the programs' folder `programFolder` (ending in "/").
std::string helpFilePath(const std::string& programFolder);

} // namespace folvane::gui
