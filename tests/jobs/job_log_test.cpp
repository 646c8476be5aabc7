#include "jobs/job_log.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <sys/stat.h>

#include "support/test_support.h"

namespace folvane::jobs {
namespace {

namespace fs = std::filesystem;
using test::readFileBytes;
using test::scratchDir;

// Fixed moments in UTC, which the fixture makes the local time zone.
constexpr std::time_t kMay30_090507 = 1401440707;  // 2014-05-30 09:05:07
constexpr std::time_t kMay30_235959 = 1401494399;  // 2014-05-30 23:59:59
constexpr std::time_t kMay31_000001 = 1401494401;  // 2014-05-31 00:00:01
constexpr std::time_t kDec01_000000 = 1417392000;  // 2014-12-01 00:00:00

class JobLogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const char* tz = std::getenv("TZ");
        if (tz)
            m_savedTz = tz;
        ::setenv("TZ", "UTC", 1);
        ::tzset();
        log.setClock([this] { return now; });
    }
    void TearDown() override
    {
        if (m_savedTz)
            ::setenv("TZ", m_savedTz->c_str(), 1);
        else
            ::unsetenv("TZ");
        ::tzset();
    }

    fs::path dir = scratchDir();
    std::time_t now = kMay30_090507;
    JobLog log;

private:
    std::optional<std::string> m_savedTz;
};

TEST_F(JobLogTest, TimeStampAndFileNameFormats)
{
    EXPECT_EQ(timeStamp(kMay30_090507), "2014/05/30 9:05:07") << "the hour is not padded";
    EXPECT_EQ(timeStamp(kMay30_235959), "2014/05/30 23:59:59");
    EXPECT_EQ(timeStamp(kDec01_000000), "2014/12/01 0:00:00");
    EXPECT_EQ(logFileName(kMay30_090507), "2014_05_30.log");
    EXPECT_EQ(logFileName(kDec01_000000), "2014_12_01.log");
}

TEST_F(JobLogTest, RecordsAreTagColonSpaceValueAndCrLf)
{
    log.recordTime();
    log.appendRecord(kTagInput, "/pics/a.jpg");
    log.appendRecord(kTagOutput, "");
    std::string longValue(10000, 'x');
    log.appendRecord(kTagState, longValue);
    EXPECT_EQ(log.text(), "[Time]: 2014/05/30 9:05:07\r\n"
                          "[Input]: /pics/a.jpg\r\n"
                          "[Output]: \r\n"
                          "[State]: " + longValue + "\r\n");

    JobLog other;
    other.appendRecord(kTagInput, "/pics/two\nlines\r.jpg");
    EXPECT_EQ(other.text(), "[Input]: /pics/two lines .jpg\r\n") << "a record stays one line";
}

TEST_F(JobLogTest, FlushCreatesMissingFoldersAppendsAndEmptiesTheText)
{
    fs::path folder = dir / "one" / "two" / "three";
    log.setSettings({true, folder.string()});
    log.appendRecord(kTagState, std::string(kStateSucceed));
    EXPECT_TRUE(log.flushLog());
    EXPECT_EQ(readFileBytes(folder / "2014_05_30.log"), "[State]: Succeed\r\n");
    EXPECT_EQ(log.text(), "");
    EXPECT_EQ(log.currentLogFilePath(), (folder / "2014_05_30.log").string()) << "a \"/\" is added once";
    log.setSettings({true, folder.string() + "/"});
    EXPECT_EQ(log.currentLogFilePath(), (folder / "2014_05_30.log").string());
}

TEST_F(JobLogTest, TwoJobsOfOneDayShareTheFileAndTheNextDayStartsAnother)
{
    log.setSettings({true, dir.string()});
    log.appendRecord(kTagInput, "first job");
    log.flushLog();
    now = kMay30_235959;
    log.appendRecord(kTagInput, "second job");
    log.flushLog();
    EXPECT_EQ(readFileBytes(dir / "2014_05_30.log"), "[Input]: first job\r\n[Input]: second job\r\n");

    // A job that runs across midnight goes into the file of the day it ended.
    log.recordTime();
    now = kMay31_000001;
    log.appendRecord(kTagState, "Failed");
    log.flushLog();
    EXPECT_EQ(readFileBytes(dir / "2014_05_31.log"), "[Time]: 2014/05/30 23:59:59\r\n[State]: Failed\r\n");
    EXPECT_EQ(readFileBytes(dir / "2014_05_30.log"), "[Input]: first job\r\n[Input]: second job\r\n");
}

TEST_F(JobLogTest, DisabledLogWritesNothingAndStillEmptiesTheText)
{
    log.setSettings({false, (dir / "logs").string()});
    log.appendRecord(kTagInput, "lost");
    EXPECT_FALSE(log.flushLog());
    EXPECT_EQ(log.text(), "");
    EXPECT_FALSE(fs::exists(dir / "logs"));

    log.setSettings({true, (dir / "logs").string()});
    log.appendRecord(kTagInput, "kept");
    log.flushLog();
    EXPECT_EQ(readFileBytes(dir / "logs" / "2014_05_30.log"), "[Input]: kept\r\n") << "the next job starts empty";
}

TEST_F(JobLogTest, UnwritableFolderLosesTheRecordsQuietly)
{
    test::writeFileBytes(dir / "blocker", "a file where the folder should be");
    log.setSettings({true, (dir / "blocker" / "logs").string()});
    log.appendRecord(kTagInput, "lost");
    EXPECT_FALSE(log.flushLog());
    EXPECT_EQ(log.text(), "");
    EXPECT_EQ(readFileBytes(dir / "blocker"), "a file where the folder should be");

    // A pipe where the file should be must not block the job.
    ASSERT_EQ(::mkfifo((dir / "2014_05_30.log").c_str(), 0600), 0);
    log.setSettings({true, dir.string()});
    log.appendRecord(kTagInput, "lost too");
    EXPECT_FALSE(log.flushLog());
    EXPECT_EQ(log.text(), "");
}

TEST_F(JobLogTest, SettingsComeFromTheFileWithTheDefaultFolderForAnEmptyPath)
{
    app::SettingsLocation location {(dir / "portable" / "Settings.ini").string(), true};
    app::SettingsStore store(location.path);
    LogSettings unset = loadLogSettings(store, location);
    EXPECT_FALSE(unset.enabled);
    EXPECT_EQ(unset.folder, (dir / "portable").string() + "/");

    store.putString("log", "1");
    store.putString("logpath", "/var/tmp/folvane logs");
    LogSettings set = loadLogSettings(store, location);
    EXPECT_TRUE(set.enabled);
    EXPECT_EQ(set.folder, "/var/tmp/folvane logs");

    store.putString("log", "2");
    EXPECT_FALSE(loadLogSettings(store, location).enabled) << "only 1 switches the log on";
}

} // namespace
} // namespace folvane::jobs
