#include "app/settings_location.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <unistd.h>

#include "app_test_env.h"

namespace fs = std::filesystem;
using folvane::app::defaultLogFolder;
using folvane::app::locateSettings;
using folvane::app::SettingsLocation;
using folvane::test::writeFileBytes;

namespace {

class SettingsLocationTest : public folvane::test::ScratchHomeTest {
protected:
    void SetUp() override
    {
        ScratchHomeTest::SetUp();
        m_program = (dir() / "program").string() + "/";
        fs::create_directories(m_program);
    }
    std::string m_program;
};

TEST_F(SettingsLocationTest, CommandLineBeatsEnvironmentBeatsPortableFileBeatsConfigFolder)
{
    writeFileBytes(m_program + "Settings.ini", "[Settings]\n");
    setVariable("FOLVANE_SETTINGS", "/from/environment.ini");

    SettingsLocation location = locateSettings("/from/command/line.ini", m_program);
    EXPECT_EQ(location.path, "/from/command/line.ini");
    EXPECT_FALSE(location.portable);

    location = locateSettings("", m_program);
    EXPECT_EQ(location.path, "/from/environment.ini");
    EXPECT_FALSE(location.portable);

    setVariable("FOLVANE_SETTINGS", "");
    location = locateSettings("", m_program);
    EXPECT_EQ(location.path, m_program + "Settings.ini");
    EXPECT_TRUE(location.portable);
    EXPECT_EQ(defaultLogFolder(location), m_program);

    fs::remove(m_program + "Settings.ini");
    location = locateSettings("", m_program);
    EXPECT_EQ(location.path, (dir() / "config" / "Folvane" / "Settings.ini").string());
    EXPECT_FALSE(location.portable);
    EXPECT_EQ(defaultLogFolder(location), (dir() / "data" / "Folvane").string() + "/");
}

TEST_F(SettingsLocationTest, XdgFoldersThatAreUnsetOrRelativeFallBackBelowHome)
{
    const std::string home = (dir() / "home").string();
    setVariable("XDG_CONFIG_HOME", std::nullopt);
    setVariable("XDG_DATA_HOME", "relative/data");
    SettingsLocation location = locateSettings("", m_program);
    EXPECT_EQ(location.path, home + "/.config/Folvane/Settings.ini");
    EXPECT_EQ(defaultLogFolder(location), home + "/.local/share/Folvane/");

    setVariable("XDG_CONFIG_HOME", "relative/config");
    EXPECT_EQ(locateSettings("", m_program).path, home + "/.config/Folvane/Settings.ini");
}

TEST_F(SettingsLocationTest, APortableFileMustBeAFileBesideTheProgram)
{
    // A folder named like the file does not make an install portable.
    fs::create_directory(m_program + "Settings.ini");
    EXPECT_FALSE(locateSettings("", m_program).portable);
    // The running test program's folder holds no settings file.
    EXPECT_FALSE(locateSettings("").portable);
}

TEST_F(SettingsLocationTest, RelativePathsAreMadeAbsoluteAtOnce)
{
    char cwd[4096];
    ASSERT_NE(::getcwd(cwd, sizeof cwd), nullptr);
    EXPECT_EQ(locateSettings("my.ini", m_program).path, std::string(cwd) + "/my.ini");
    setVariable("FOLVANE_SETTINGS", "sub/env.ini");
    EXPECT_EQ(locateSettings("", m_program).path, std::string(cwd) + "/sub/env.ini");
}

} // namespace
