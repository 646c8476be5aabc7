// folvane-cli settings: reads and writes the settings file the desktop application uses.

#include <cstdio>
#include <strings.h>

#include "app/output_settings.h"
#include "app/settings_location.h"
#include "app/settings_store.h"
#include "commands.h"
#include "jobs/output_naming.h"

namespace folvane::cli {

namespace {

// The keys outside the output settings record, with their defaults. Text keys have no integer
// default; the output paths default to the file-list page's folders.
struct PlainKey {
    const char* key;
    bool isText;
    int intDefault;
    const char* textDefault;
};

const PlainKey kPlainKeys[] = {
    {"after", false, 0, nullptr},      {"exists", false, 2, nullptr},    {"priority", false, 2, nullptr},
    {"log", false, 0, nullptr},        {"logpath", true, 0, ""},          {"outMode", false, 0, nullptr},
    {"outPath0", true, 0, nullptr},    {"outPath1", true, 0, nullptr},    {"outPath2", true, 0, nullptr},
    {"OpenFile", true, 0, "C:\\"},     {"openDir", true, 0, "C:\\"},      {"subdir", false, 0, nullptr},
    {"input", true, 0, ""},            {"doutput", true, 0, ""},          {"keepsub", false, 0, nullptr},
    {"del_success", false, 0, nullptr}, {"autorun", false, 0, nullptr},   {"winstart", false, 0, nullptr},
    {"runsec", false, 0, nullptr},     {"second", true, 0, "5"},
};

app::SettingsStore openStore(const GlobalOptions& global)
{
    return app::SettingsStore(app::locateSettings(global.settingsFile).path);
}

// The two passwords of the security settings, hidden by "settings list" unless asked for.
bool isPasswordKey(const std::string& key)
{
    return strcasecmp(key.c_str(), "user") == 0 || strcasecmp(key.c_str(), "owner") == 0;
}

// The value of a known key with its default; false for a key the program does not know.
bool knownValue(const app::SettingsStore& store, const std::string& key, std::string& name, std::string& value)
{
    for (const PlainKey& plain : kPlainKeys) {
        if (strcasecmp(plain.key, key.c_str()) != 0)
            continue;
        name = plain.key;
        if (!plain.isText) {
            value = std::to_string(store.getInt(plain.key, plain.intDefault));
        } else if (plain.textDefault) {
            value = store.getString(plain.key, plain.textDefault, jobs::kPathCapacity);
        } else {
            jobs::OutputPaths paths = jobs::loadOutputPaths(store, jobs::OutputPathsReader::FileList);
            value = jobs::outputPathOf(paths, plain.key[7] - '0');
        }
        return true;
    }
    for (const app::OutputSettingKey& entry : app::outputSettingKeys()) {
        if (strcasecmp(entry.key, key.c_str()) != 0)
            continue;
        name = entry.key;
        value = entry.textField ? store.getString(entry.key, "") : std::to_string(store.getInt(entry.key, entry.intDefault));
        return true;
    }
    return false;
}

} // namespace

int checkSettingsReadable(const GlobalOptions& global)
{
    app::SettingsStore store = openStore(global);
    std::string problem = store.readProblem();
    if (problem.empty())
        return kExitOk;
    std::fprintf(stderr, "folvane-cli: cannot read the settings file %s: %s\n", store.path().c_str(), problem.c_str());
    return kExitUsage;
}

int runSettingsList(const GlobalOptions& global, bool showPasswords)
{
    app::SettingsStore store = openStore(global);
    std::printf("# %s\n", store.path().c_str());
    std::string name;
    std::string value;
    for (const PlainKey& plain : kPlainKeys) {
        knownValue(store, plain.key, name, value);
        std::printf("%s=%s\n", name.c_str(), value.c_str());
    }
    for (const app::OutputSettingKey& entry : app::outputSettingKeys()) {
        knownValue(store, entry.key, name, value);
        if (!showPasswords && isPasswordKey(name) && !value.empty())
            value = "********";
        std::printf("%s=%s\n", name.c_str(), value.c_str());
    }
    return kExitOk;
}

int runSettingsGet(const GlobalOptions& global, const std::string& key)
{
    std::string name;
    std::string value;
    if (!knownValue(openStore(global), key, name, value)) {
        std::fprintf(stderr, "folvane-cli: unknown setting \"%s\"\n", key.c_str());
        return kExitUsage;
    }
    std::printf("%s\n", value.c_str());
    return kExitOk;
}

int runSettingsSet(const GlobalOptions& global, const std::string& key, const std::string& value)
{
    app::SettingsStore store = openStore(global);
    std::string name;
    std::string current;
    if (!knownValue(store, key, name, current)) {
        std::fprintf(stderr, "folvane-cli: unknown setting \"%s\"\n", key.c_str());
        return kExitUsage;
    }
    std::string reason;
    if (!store.putString(name, value, &reason)) {
        std::fprintf(stderr, "folvane-cli: cannot write the settings file %s: %s\n", store.path().c_str(),
                     reason.c_str());
        return kExitFailed;
    }
    return kExitOk;
}

} // namespace folvane::cli
