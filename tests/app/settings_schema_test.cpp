// The schema of the settings keys: it must cover every key the program reads, accept each key's
// own default, and refuse what the settings sheet could never store.

#include <gtest/gtest.h>

#include "app/output_settings.h"
#include "app/settings_schema.h"
#include "app/settings_store.h"
#include "support/test_support.h"

namespace folvane::app {
namespace {

TEST(SettingsSchema, EveryDefaultIsAcceptedByItsOwnKeyAndIsWhatAFreshFileGives)
{
    SettingsStore store((folvane::test::scratchDir() / "Settings.ini").string());
    OutputSettings fresh;
    loadOutputSettings(store, fresh);
    for (const SettingSpec& spec : settingSpecs()) {
        SCOPED_TRACE(spec.key);
        std::string byDefault = spec.isText ? settingTextDefault(spec.key) : std::to_string(settingIntDefault(spec.key));
        EXPECT_EQ(settingValueProblem(spec, byDefault), "");
        if (spec.isOutputSetting()) {
            EXPECT_EQ(spec.valueIn(fresh), byDefault);
        }
    }
    EXPECT_EQ(outputSettingKeys().size(), 67u);
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
