#include "ini_text.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

using folvane::app::findIniValue;
using folvane::app::setIniValue;
using folvane::app::storableIniValue;

namespace {

std::optional<std::string> find(const std::string& text, const std::string& key)
{
    return findIniValue(text, "Settings", key);
}

std::string set(const std::string& text, const std::string& key, const std::string& value)
{
    std::optional<std::string> result = setIniValue(text, "Settings", key, value);
    EXPECT_TRUE(result.has_value()) << key;
    return result.value_or("<rejected>");
}

TEST(IniText, ReadsKeysOfTheSectionWhateverTheirCaseAndBlanks)
{
    EXPECT_EQ(find("[Settings]\nquality=80\n", "quality"), "80");
    EXPECT_EQ(find("[settings]\r\nHIDEMENU=1\r\n", "hideMenu"), "1");
    EXPECT_EQ(find("  [ Settings ]  \r\n \t key  =  v a l \t\r\n", "key"), "v a l");
    EXPECT_EQ(find("[Settings]\na=b=c\n", "a"), "b=c");
    EXPECT_EQ(find("[Settings]\na=\n", "a"), "");
    EXPECT_EQ(find("[Settings]\na=1\na=2\n", "a"), "1");
    // One matching pair of quotes goes.
    EXPECT_EQ(find("[Settings]\na=\"  x  \"\n", "a"), "  x  ");
    EXPECT_EQ(find("[Settings]\na='y'\n", "a"), "y");
    EXPECT_EQ(find("[Settings]\na=\"z'\n", "a"), "\"z'");
    EXPECT_EQ(find("[Settings]\na=\"\n", "a"), "\"");
    EXPECT_EQ(find("\xEF\xBB\xBF[Settings]\na=1", "a"), "1");
    // A "[" line without "]" is no header, so the section goes on.
    EXPECT_EQ(find("[Settings]\n[broken=1\nx=2\n", "x"), "2");
}

TEST(IniText, MissesKeysOutsideTheFirstSectionOfItsName)
{
    const std::string text = "b=0\n[Settings]\na=1\n[Other]\nb=2\n[Settings]\nb=3\n";
    EXPECT_EQ(find(text, "a"), "1");
    EXPECT_EQ(find(text, "b"), std::nullopt);
    EXPECT_EQ(find("[Settings]\nflag\n", "flag"), std::nullopt);
    EXPECT_EQ(find("", "a"), std::nullopt);
}

TEST(IniText, ReplacingAValueKeepsEveryOtherByte)
{
    const std::string before = "; written by hand\r\n"
                               "[Settings]\r\n"
                               "  quality = 75   \r\n"
                               "logpath=/data/logs/\r\n"
                               "\r\n"
                               "[Other]\r\n"
                               "quality=1\r\n";
    const std::string after = "; written by hand\r\n"
                              "[Settings]\r\n"
                              "quality=90\r\n"
                              "logpath=/data/logs/\r\n"
                              "\r\n"
                              "[Other]\r\n"
                              "quality=1\r\n";
    EXPECT_EQ(set(before, "QUALITY", "90"), after);
    // The file's own spelling of a key stays.
    EXPECT_EQ(set("[Settings]\nhideMenu=0\n", "hidemenu", "1"), "[Settings]\nhideMenu=1\n");
}

TEST(IniText, NewKeysGoAtTheEndOfTheSectionOrIntoANewSection)
{
    EXPECT_EQ(set("[Settings]\r\na=1\r\n\r\n[Other]\r\nb=2\r\n", "c", "3"),
              "[Settings]\r\na=1\r\nc=3\r\n\r\n[Other]\r\nb=2\r\n");
    EXPECT_EQ(set("[Settings]\na=1", "b", "2"), "[Settings]\na=1\nb=2\n");
    EXPECT_EQ(set("[Settings]", "b", "2"), "[Settings]\nb=2\n");
    EXPECT_EQ(set("", "a", "1"), "[Settings]\na=1\n");
    EXPECT_EQ(set("\xEF\xBB\xBF", "a", "1"), "\xEF\xBB\xBF[Settings]\na=1\n");
    EXPECT_EQ(set("[Other]\nb=2", "a", "1"), "[Other]\nb=2\n[Settings]\na=1\n");
    EXPECT_EQ(set("[Other]\r\nb=2\r\n", "a", "1"), "[Other]\r\nb=2\r\n[Settings]\r\na=1\r\n");
    // Only the first section of the name is written to.
    EXPECT_EQ(set("[Settings]\na=1\n[Settings]\nb=2\n", "b", "3"), "[Settings]\na=1\nb=3\n[Settings]\nb=2\n");
}

TEST(IniText, AwkwardValuesReadBackAsStored)
{
    const std::string values[] = {" lead", "trail\t", "\"quoted\"", "'single'", "a=b", "", "[x]",
                                  "line1\nline2\r\n", std::string("cut\0here", 8), "\xC3\xA9t\xC3\xA9"};
    for (const std::string& value : values) {
        std::string text = set("[Settings]\nother=keep\n", "key", value);
        EXPECT_EQ(find(text, "key"), storableIniValue(value)) << text;
        EXPECT_EQ(find(text, "other"), "keep") << text;
    }
    EXPECT_EQ(storableIniValue("line1\nline2\r\n"), "line1 line2  ");
    EXPECT_EQ(storableIniValue(std::string("cut\0here", 8)), "cut");
}

TEST(IniText, RefusesNamesThatCannotBeStored)
{
    for (const char* key : {"", "  ", "a=b", "[x]", "a\nb", "[half"})
        EXPECT_EQ(setIniValue("[Settings]\n", "Settings", key, "1"), std::nullopt) << key;
    EXPECT_EQ(setIniValue("", "Set]tings", "a", "1"), std::nullopt);
    EXPECT_EQ(setIniValue("", "", "a", "1"), std::nullopt);
}

} // namespace
