#pragma once
// The named options of convert and watch ("--page-size A4", "--encrypt aes-128", ...). Each one
// stands for settings keys and becomes KEY=VALUE assignments that go through the same checks as
// "--set"; this table is the one place that knows which option writes which key.

#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "app/output_settings.h"
#include "commands.h"

namespace folvane::cli {

struct NamedOption;
using Assignment = std::pair<std::string, std::string>; // key, value

// Turns the option's value into assignments; false with the reason printed after the quoted
// value ("is not a page size (...)").
using Translate = bool (*)(const NamedOption& option, const std::string& value, std::vector<Assignment>& out,
                           std::string& problem);

struct NamedOption {
    const char* name;      // "--page-size"
    const char* group;     // the heading of convert --help
    const char* valueName; // "SIZE"; null for a switch, which sets `key` to 1
    const char* help;      // one line
    const char* key;       // the key the value goes to
    const char* alsoKey;   // a switch key the option turns on as well ("header" for --header), or null
    const char* noun;      // "a page size", for messages
    std::vector<std::string_view> words; // the accepted words of a choice, in key value order
    std::vector<int> codes;              // the key value of each word when not its index
    Translate translate;                 // null for switches, choices and texts
    std::vector<std::string_view> moreKeys = {}; // further keys a custom translation writes
};

std::span<const NamedOption> namedOptions();

// The named options that write `key` (letter case ignored), as "--a, --b"; empty for none.
std::string optionsOfKey(const std::string& key);

// The stored output settings, then the passwords of FOLVANE_USER_PASSWORD and
// FOLVANE_OWNER_PASSWORD, then every "--set" and named option in command-line order. False, after
// printing one line that names the option, the value and what is accepted, for any bad value.
bool resolveRunSettings(const app::SettingsStore& store, const std::vector<SettingArg>& args,
                        app::OutputSettings& settings);

// Checks KEY=VALUE against the settings' schema and applies it to an output settings record;
// false with the message's text after "folvane-cli: " (unknown keys suggest the nearest ones).
bool applySetting(const std::string& key, const std::string& value, app::OutputSettings& settings,
                  std::string& problem);

} // namespace folvane::cli
