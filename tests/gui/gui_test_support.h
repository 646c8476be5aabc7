#pragma once
// Helpers of the GUI tests: the scratch folder and settings file of the running suite.

#include <QDir>
#include <QFile>
#include <QString>

#include <string>

#include "ini_text.h"
#include "app/settings_store.h"

namespace folvane::test {

// The suite's scratch folder (made by the suite's main), from FOLVANE_TEST_SCRATCH.
inline QString scratchFolder() { return qEnvironmentVariable("FOLVANE_TEST_SCRATCH"); }

inline std::string settingsPath() { return qEnvironmentVariable("FOLVANE_SETTINGS").toStdString(); }

inline void removeSettings() { QFile::remove(QString::fromStdString(settingsPath())); }

inline std::string settingsText()
{
    QFile file(QString::fromStdString(settingsPath()));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll().toStdString();
}

// True when the settings file holds `key` (in any letter case).
inline bool hasKey(const std::string& key)
{
    return app::findIniValue(settingsText(), "Settings", key).has_value();
}

inline std::string valueOf(const std::string& key)
{
    return app::findIniValue(settingsText(), "Settings", key).value_or("<absent>");
}

inline void setValue(const std::string& key, const std::string& value)
{
    app::SettingsStore(settingsPath()).putString(key, value);
}

} // namespace folvane::test
