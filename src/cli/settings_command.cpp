// folvane-cli settings: reads and writes the settings file the desktop application uses.

#include <cstdio>
#include <strings.h>

#include "app/output_settings.h"
#include "app/setting_keys.h"
#include "app/settings_location.h"
#include "app/settings_schema.h"
#include "app/settings_store.h"
#include "commands.h"
#include "jobs/output_naming.h"
#include "named_options.h"

namespace folvane::cli {

namespace {

// "# meaning (--option)" above each key of the list.
void printMeaning(const app::SettingSpec& spec)
{
    std::string options = optionsOfKey(spec.key);
    std::printf("# %s%s\n", spec.meaning, options.empty() ? "" : (" (" + options + ")").c_str());
}

app::SettingsStore openStore(const GlobalOptions& global)
{
    return app::SettingsStore(app::locateSettings(global.settingsFile).path);
}

// The two passwords of the security settings, hidden by "settings list" unless asked for.
bool isPasswordKey(const std::string& key)
{
    return strcasecmp(key.c_str(), app::key::userPassword.data()) == 0 ||
           strcasecmp(key.c_str(), app::key::ownerPassword.data()) == 0;
}

// The value of a known key with its default; false for a key the program does not know.
bool knownValue(const app::SettingsStore& store, const std::string& key, std::string& name, std::string& value)
{
    const app::SettingSpec* spec = app::findSetting(key);
    if (!spec)
        return false;
    name = spec->key;
    if (spec->isOutputSetting()) {
        value = spec->isText ? store.getString(spec->key, spec->textDefault)
                             : std::to_string(store.getInt(spec->key, spec->intDefault));
        return true;
    }
    if (!spec->isText) {
        value = std::to_string(store.getInt(spec->key, app::settingIntDefault(spec->key)));
    } else if (name.rfind("outPath", 0) != 0) {
        value = store.getString(spec->key, app::settingTextDefault(spec->key), jobs::kPathCapacity);
    } else {
        jobs::OutputPaths paths = jobs::loadOutputPaths(store, jobs::OutputPathsReader::FileList);
        value = jobs::outputPathOf(paths, spec->key[7] - '0');
    }
    return true;
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
    for (const app::SettingSpec& spec : app::settingSpecs()) {
        knownValue(store, spec.key, name, value);
        if (!showPasswords && isPasswordKey(name) && !value.empty())
            value = "********";
        printMeaning(spec);
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
    const app::SettingSpec* spec = app::findSetting(key);
    std::string problem = spec ? app::settingValueProblem(*spec, value) : std::string();
    if (!spec || !knownValue(store, key, name, current)) {
        app::OutputSettings scratch;
        applySetting(key, value, scratch, problem); // words the unknown key with its nearest names
        std::fprintf(stderr, "folvane-cli: settings set: %s\n", problem.c_str());
        return kExitUsage;
    }
    if (!problem.empty()) {
        std::fprintf(stderr, "folvane-cli: settings set: '%s' is not a value of %s (%s)\n", value.c_str(), name.c_str(),
                     problem.c_str());
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
