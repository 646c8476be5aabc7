#include "app/output_settings.h"

#include <string_view>
#include <vector>

#include "app/setting_keys.h"

namespace folvane::app {

namespace {

std::vector<const SettingSpec*> collectOutputKeys()
{
    std::vector<const SettingSpec*> keys;
    for (const SettingSpec& spec : settingSpecs())
        if (spec.isOutputSetting())
            keys.push_back(&spec);
    return keys;
}

} // namespace

std::span<const SettingSpec* const> outputSettingKeys()
{
    static const std::vector<const SettingSpec*> keys = collectOutputKeys();
    return keys;
}

const OutputSettings& outputSettingDefaults()
{
    static const OutputSettings defaults = [] {
        OutputSettings record;
        for (const SettingSpec* spec : outputSettingKeys()) {
            if (spec->field.text)
                record.*spec->field.text = spec->textDefault;
            else
                spec->field.writeInt(record, spec->intDefault);
        }
        return record;
    }();
    return defaults;
}

void loadOutputSettings(const SettingsStore& store, OutputSettings& settings, OutputSettingsReader reader)
{
    OutputSettings loaded; // starts cleared: zeros and empty texts
    for (const SettingSpec* spec : outputSettingKeys()) {
        if (spec->field.text) {
            if (reader == OutputSettingsReader::WatchFolder && std::string_view(spec->key) == key::producer)
                continue;
            loaded.*spec->field.text = store.getString(spec->key, spec->textDefault, kTextCapacity);
        } else {
            spec->field.writeInt(loaded, store.getInt(spec->key, spec->intDefault));
        }
    }
    settings = std::move(loaded);
}

bool saveOutputSettings(const SettingsStore& store, const OutputSettings& settings,
                        std::span<const std::string_view> keys, std::string* reason)
{
    // The values live in `values` while the entries point into them.
    std::vector<std::string> values;
    std::vector<std::string_view> names;
    values.reserve(keys.size());
    for (std::string_view key : keys) {
        const SettingSpec* spec = findSetting(key);
        if (!spec || !spec->isOutputSetting())
            continue;
        names.push_back(key);
        values.push_back(spec->valueIn(settings));
    }
    std::vector<SettingsStore::Entry> entries;
    entries.reserve(names.size());
    for (size_t i = 0; i < names.size(); ++i)
        entries.push_back({names[i], values[i]});
    return store.putStrings(entries, reason);
}

bool saveSettingsTab(const SettingsStore& store, const OutputSettings& settings, SettingsTab tab, std::string* reason)
{
    std::vector<std::string_view> keys;
    for (const SettingsTabKey& entry : settingsTabKeys(tab))
        if (!entry.customPageSizeOnly || settings.pageSize == PageSize::Custom)
            keys.push_back(entry.key);
    return saveOutputSettings(store, settings, keys, reason);
}

bool saveOutputSettings(const SettingsStore& store, const OutputSettings& settings, std::string* reason)
{
    std::vector<std::string_view> keys;
    for (const SettingSpec* spec : outputSettingKeys())
        keys.push_back(spec->key);
    return saveOutputSettings(store, settings, keys, reason);
}

} // namespace folvane::app
