// The schema of the settings keys: it must cover every key the program reads, accept each key's
// own default, and refuse what the settings sheet could never store.

#include <gtest/gtest.h>

#include "app/output_settings.h"
#include "app/settings_schema.h"

namespace folvane::app {
namespace {

TEST(SettingsSchema, CoversEveryOutputKeyAndAcceptsItsDefault)
{
    for (const OutputSettingKey& entry : outputSettingKeys()) {
        SCOPED_TRACE(entry.key);
        const SettingSpec* spec = findSetting(entry.key);
        ASSERT_NE(spec, nullptr);
        EXPECT_EQ(spec->isText, entry.textField != nullptr);
        std::string byDefault = entry.textField ? std::string() : std::to_string(entry.intDefault);
        EXPECT_EQ(settingValueProblem(*spec, byDefault), "");
        EXPECT_EQ(settingIntDefault(entry.key), entry.textField ? 0 : entry.intDefault);
    }
    for (const SettingSpec& spec : settingSpecs()) {
        if (spec.isText)
            continue;
        EXPECT_EQ(settingValueProblem(spec, std::to_string(settingIntDefault(spec.key))), "") << spec.key;
    }
}

TEST(SettingsSchema, RefusesValuesOutsideRangesAndChoices)
{
    const SettingSpec& layout = *findSetting("LAYOUT");
    EXPECT_EQ(settingValueProblem(layout, "4"), "");
    EXPECT_EQ(settingValueProblem(layout, "5"), "one of 1, 2, 4, 6, 9, 16");
    const SettingSpec& dpi = *findSetting("xdpi");
    EXPECT_EQ(settingValueProblem(dpi, "0"), "");
    EXPECT_EQ(settingValueProblem(dpi, "1200"), "");
    EXPECT_NE(settingValueProblem(dpi, "50"), "");
    EXPECT_NE(settingValueProblem(*findSetting("quality"), " 50"), "");
    EXPECT_NE(settingValueProblem(*findSetting("quality"), "50%"), "");
    EXPECT_NE(settingValueProblem(*findSetting("quality"), "99999999999999999999"), "");
    EXPECT_EQ(settingValueProblem(*findSetting("level"), "3"), "") << "AES-256";
    EXPECT_NE(settingValueProblem(*findSetting("title"), std::string(256, 'x')), "");
    EXPECT_NE(settingValueProblem(*findSetting("second"), "1000"), "");
}

TEST(SettingsSchema, SuggestsTheNearestKeysAndStartsPickersAtHome)
{
    EXPECT_EQ(nearestSettings("pagesiz").at(0), "pageSize");
    EXPECT_EQ(nearestSettings("HideMenus").at(0), "hideMenu");
    EXPECT_TRUE(nearestSettings("zzzzzzzzzz").empty());
    EXPECT_EQ(findSetting("nosuchkey"), nullptr);
    std::string start = settingTextDefault("openDir");
    EXPECT_EQ(start, settingTextDefault("OpenFile"));
    EXPECT_EQ(start.find('\\'), std::string::npos);
    EXPECT_EQ(start.back(), '/');
}

} // namespace
} // namespace folvane::app
