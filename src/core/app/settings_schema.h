#pragma once
// What every settings key may hold: its type, the values it accepts, its default and its
// meaning in a few words. The command line checks "--set" and "settings set" values against
// it, and both the command line and the desktop application take the defaults of the keys
// outside the output settings from here (those of the output settings come from
// outputSettingKeys()).

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace folvane::app {

struct SettingSpec {
    const char* key;
    bool isText;
    // Integer keys: the accepted range; `choices`, when not empty, lists the only values.
    int minimum;
    int maximum;
    std::span<const int> choices;
    // Text keys: the longest value in bytes (0: no limit beyond the path capacity of the caller);
    // `digitsOnly` for texts that hold a number as typed.
    size_t maxLength;
    bool digitsOnly;
    const char* meaning;
};

// Every key: the options and pages' keys first, then the output settings in record order.
std::span<const SettingSpec> settingSpecs();

// The description of a key (its letter case ignored); null for a key the program does not know.
const SettingSpec* findSetting(std::string_view key);

// The integer default of an integer key (0 for an unknown key).
int settingIntDefault(std::string_view key);

// The text default of a text key; "OpenFile" and "openDir" start in the user's home folder.
// The output paths have defaults that depend on the page reading them; they give "".
std::string settingTextDefault(std::string_view key);

// Empty when `value` is acceptable for the key, otherwise what is accepted, for example
// "a whole number from 0 to 100" or "one of 1, 2, 4, 6, 9, 16".
std::string settingValueProblem(const SettingSpec& spec, std::string_view value);

// Up to `count` known keys closest to a mistyped one (letter case ignored), best first; empty
// when none is close.
std::vector<std::string> nearestSettings(std::string_view key, size_t count = 3);

} // namespace folvane::app
