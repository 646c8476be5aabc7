#pragma once
// Every settings key in one table: its type, the values it accepts, its default, its meaning in
// a few words, the label it has in the desktop application and, for the keys of the output
// settings, the field of OutputSettings it fills. The INI spelling of a key appears only here.
// The command line checks "--set" and "settings set" values against it, "settings list" prints
// it, and loadOutputSettings/saveOutputSettings read and write the record through it.

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace folvane::app {

struct OutputSettings;
class SettingsStore;

// The name of the merged PDF the file-list page offers in the data folder ("outPath0" unset).
inline constexpr std::string_view kDefaultMergedFileName = "MyPDF.pdf";

// How a key reaches its field of OutputSettings: integer keys (enums included) through two
// functions, text keys through a member pointer. A key outside the record has neither.
struct SettingField {
    int (*readInt)(const OutputSettings&) = nullptr;
    void (*writeInt)(OutputSettings&, int) = nullptr;
    std::string OutputSettings::*text = nullptr;

    bool bound() const { return readInt || text; }
};

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
    // The text of the control that edits the key in the desktop application ("" for none).
    const char* label = "";
    int intDefault = 0;
    const char* textDefault = "";
    SettingField field = {};

    bool isOutputSetting() const { return field.bound(); }
    // The key's value in `settings` as the settings file spells it.
    std::string valueIn(const OutputSettings& settings) const;
    // Stores `value` (a text, or a whole number for integer keys) into the key's field.
    void assign(OutputSettings& settings, std::string_view value) const;
};

// The tabs of the settings sheet. Each writes its own keys, in its own order and spelling.
enum class SettingsTab { Compress, Page, Bookmark, Watermark, Viewer, Info, Security };

struct SettingsTabKey {
    const char* key;          // as the tab writes it
    bool customPageSizeOnly;  // written only while the page size is the custom one
};

std::span<const SettingsTabKey> settingsTabKeys(SettingsTab tab);

// Every key: the options and pages' keys first, then the output settings in record order.
std::span<const SettingSpec> settingSpecs();

// The description of a key (its letter case ignored); null for a key the program does not know.
const SettingSpec* findSetting(std::string_view key);

// The integer default of an integer key (0 for an unknown key).
int settingIntDefault(std::string_view key);

// The text default of a text key; "OpenFile" and "openDir" start in the user's home folder.
// The output paths have defaults that depend on the page reading them; they give "".
std::string settingTextDefault(std::string_view key);

// A key's value in the settings file, the key's own default where the file lacks it.
int storedInt(const SettingsStore& store, std::string_view key);
std::string storedText(const SettingsStore& store, std::string_view key, size_t capacity);

// Empty when `value` is acceptable for the key, otherwise what is accepted, for example
// "a whole number from 0 to 100" or "one of 1, 2, 4, 6, 9, 16".
std::string settingValueProblem(const SettingSpec& spec, std::string_view value);

// Up to `count` known keys closest to a mistyped one (letter case ignored), best first; empty
// when none is close.
std::vector<std::string> nearestSettings(std::string_view key, size_t count = 3);

} // namespace folvane::app
