#pragma once
// Where the settings file lives, and the default folder of the job logs.
//
// In order of precedence the settings file is:
//   1. the path given with --settings on the command line (passed in by the front end),
//   2. the path in the environment variable FOLVANE_SETTINGS,
//   3. "Settings.ini" beside the program when that file already exists (a portable install;
//      never for a program in a system folder such as /usr/bin),
//   4. $XDG_CONFIG_HOME/Folvane/Settings.ini, by default ~/.config/Folvane/Settings.ini.
// The path is computed once at start-up and then used unchanged; relative paths are made
// absolute against the current directory at that moment.

#include <string>
#include <string_view>

namespace folvane::app {

inline constexpr std::string_view kSettingsFileName = "Settings.ini";

struct SettingsLocation {
    std::string path;      // full path of the settings file
    bool portable = false; // the file beside the program is used
};

// `commandLineValue` is the value of --settings, empty when the option was not given.
SettingsLocation locateSettings(std::string_view commandLineValue);

// The same with the program's folder (with trailing "/") given instead of taken from the
// running program.
SettingsLocation locateSettings(std::string_view commandLineValue, std::string_view programFolder);

// The folder for the job logs when none is set, with trailing "/": the settings file's folder
// in a portable install, otherwise $XDG_DATA_HOME/Folvane/ (by default ~/.local/share/Folvane/).
// The folder is not created here.
std::string defaultLogFolder(const SettingsLocation& location);

} // namespace folvane::app
