#include "app/settings_store.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <iterator>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <thread>
#include <vector>

#include "support/test_support.h"

namespace fs = std::filesystem;
using folvane::app::SettingsStore;
using folvane::test::readFileBytes;
using folvane::test::scratchDir;
using folvane::test::writeFileBytes;

namespace {

unsigned modeOf(const fs::path& path)
{
    struct stat info {};
    ::stat(path.c_str(), &info);
    return info.st_mode & 07777;
}

TEST(SettingsStore, WithoutAFileEveryReadGivesItsDefaultAndNothingIsCreated)
{
    fs::path file = scratchDir() / "Settings.ini";
    SettingsStore store(file.string());
    EXPECT_EQ(store.getInt("quality", 75), 75);
    EXPECT_EQ(store.getInt("outMode", -3), -3);
    EXPECT_EQ(store.getString("second", "5", 32), "5");
    EXPECT_EQ(store.getString("title", std::string(300, 'd')), std::string(255, 'd'));
    EXPECT_FALSE(fs::exists(file));
}

TEST(SettingsStore, KeysAreTheSameWhateverTheirCase)
{
    fs::path file = scratchDir() / "Settings.ini";
    SettingsStore store(file.string());
    store.putInt("hidemenu", 1);
    EXPECT_EQ(store.getInt("hideMenu", 0), 1);
    store.putInt("HIDEMENU", 0);
    EXPECT_EQ(store.getInt("hideMenu", 7), 0);
    EXPECT_EQ(readFileBytes(file), "[Settings]\nhidemenu=0\n");
}

TEST(SettingsStore, TextsAreCutToCapacityMinusOneWithoutSplittingACharacter)
{
    fs::path file = scratchDir() / "Settings.ini";
    SettingsStore store(file.string());
    store.putString("hWatermark", std::string(300, 'x'));
    EXPECT_EQ(store.getString("hWatermark", ""), std::string(255, 'x'));
    EXPECT_EQ(store.getString("hWatermark", "", 32), std::string(31, 'x'));
    EXPECT_EQ(store.getString("hWatermark", "", 1), "");
    EXPECT_EQ(store.getString("hWatermark", "", 0), "");
    // The whole value stays in the file.
    EXPECT_NE(readFileBytes(file).find(std::string(300, 'x')), std::string::npos);

    // "é" is two bytes; at bytes 254-255 it would be split, so it goes whole.
    store.putString("title", std::string(254, 'a') + "\xC3\xA9");
    EXPECT_EQ(store.getString("title", ""), std::string(254, 'a'));
    store.putString("title", std::string(253, 'a') + "\xC3\xA9" + "b");
    EXPECT_EQ(store.getString("title", ""), std::string(253, 'a') + "\xC3\xA9");
    // Bytes that are no UTF-8 are cut at the byte limit.
    store.putString("title", std::string(300, '\x80'));
    EXPECT_EQ(store.getString("title", "").size(), 255u);
}

TEST(SettingsStore, IntegersAreReadFromTheirLeadingDigits)
{
    const struct {
        const char* text;
        int expected;
    } cases[] = {{"12abc", 12}, {"abc", 0}, {"-3", -3}, {" 42 ", 42}, {"+7", 7}, {"", 5 /* empty: absent */},
                 {"99999999999", INT_MAX}, {"-99999999999", INT_MIN}, {"2147483647", INT_MAX},
                 {"-2147483648", INT_MIN}, {"\"15\"", 15}, {"0x10", 0}, {"-", 0}};
    fs::path file = scratchDir() / "Settings.ini";
    std::string text = "[Settings]\n";
    for (size_t i = 0; i < std::size(cases); ++i)
        text += "k" + std::to_string(i) + "=" + cases[i].text + "\n";
    writeFileBytes(file, text);
    SettingsStore store(file.string());
    for (size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(store.getInt("k" + std::to_string(i), 5), cases[i].expected) << cases[i].text;
    EXPECT_EQ(store.getInt("missing", 5), 5);

    store.putInt("n", INT_MIN);
    EXPECT_EQ(store.getString("n", ""), "-2147483648");
}

TEST(SettingsStore, AWriteKeepsTheRestOfTheFileByteForByte)
{
    fs::path file = scratchDir() / "Settings.ini";
    const std::string before = "; kept comment\r\n[Settings]\r\nquality = 60\r\nuser=secret \"pw\"\r\n"
                               "\r\n[Elsewhere]\r\nquality=1\r\ntrailing line without end";
    writeFileBytes(file, before);
    SettingsStore store(file.string());
    store.putInt("quality", 85);
    store.putString("outPath0", "/home/u/My PDF.pdf");
    EXPECT_EQ(readFileBytes(file), "; kept comment\r\n[Settings]\r\nquality=85\r\nuser=secret \"pw\"\r\n"
                                   "outPath0=/home/u/My PDF.pdf\r\n"
                                   "\r\n[Elsewhere]\r\nquality=1\r\ntrailing line without end");
    EXPECT_EQ(store.getString("user", ""), "secret \"pw\"");
}

TEST(SettingsStore, SeveralKeysAtOnceAreWrittenInOrder)
{
    fs::path file = scratchDir() / "Settings.ini";
    writeFileBytes(file, "[Settings]\nmTop=1\n");
    SettingsStore store(file.string());
    const SettingsStore::Entry entries[] = {
        {"mtop", "10"}, {"mLeft", "20"}, {"bad=key", "x"}, {"mLeft", "30"}, {"", "y"}};
    store.putStrings(entries);
    EXPECT_EQ(readFileBytes(file), "[Settings]\nmTop=10\nmLeft=30\n");

    // Nothing storable: no file appears.
    fs::path none = scratchDir() / "none.ini";
    const SettingsStore::Entry rejected[] = {{"=", "1"}};
    SettingsStore(none.string()).putStrings(rejected);
    EXPECT_FALSE(fs::exists(none));
}

TEST(SettingsStore, ANewFileIsPrivateAndAReplacedFileKeepsItsModeUnlessItHoldsAPassword)
{
    fs::path dir = scratchDir();
    fs::path file = dir / "new" / "deeper" / "Settings.ini";
    SettingsStore store(file.string());
    EXPECT_TRUE(store.putString("title", "a title"));
    ASSERT_TRUE(fs::exists(file));
    EXPECT_EQ(modeOf(file), 0600u);
    EXPECT_EQ(modeOf(dir / "new"), 0700u);
    EXPECT_EQ(readFileBytes(file), "[Settings]\ntitle=a title\n");

    fs::permissions(file, fs::perms(0644));
    store.putInt("level", 0);
    EXPECT_EQ(modeOf(file), 0644u);
    store.putString("owner", "permissions password");
    EXPECT_EQ(modeOf(file), 0600u) << "a file holding a password is readable by its owner only";
    fs::permissions(file, fs::perms(0644));
    store.putInt("level", 0);
    EXPECT_EQ(modeOf(file), 0600u) << "tightened even when the write changes nothing";

    // Beside the settings file only its lock file is left: no temporary files.
    std::vector<std::string> entries;
    for (const auto& entry : fs::directory_iterator(file.parent_path()))
        entries.push_back(entry.path().filename().string());
    std::sort(entries.begin(), entries.end());
    EXPECT_EQ(entries, (std::vector<std::string> {"Settings.ini", "Settings.ini.lock"}));
}

TEST(SettingsStore, WritesThroughALinkReplaceItsTarget)
{
    fs::path dir = scratchDir();
    writeFileBytes(dir / "real.ini", "[Settings]\na=1\n");
    fs::create_symlink("real.ini", dir / "Settings.ini");
    SettingsStore store((dir / "Settings.ini").string());
    store.putInt("a", 2);
    EXPECT_TRUE(fs::is_symlink(dir / "Settings.ini"));
    EXPECT_EQ(readFileBytes(dir / "real.ini"), "[Settings]\na=2\n");
}

TEST(SettingsStore, UnusablePathsGiveDefaultsAndWritesSayWhyTheyFailed)
{
    fs::path dir = scratchDir();
    std::string reason;
    std::vector<std::string> handled;
    SettingsStore::setWriteFailureHandler(
        [&handled](const std::string& path, const std::string& why) { handled.push_back(path + ": " + why); });

    // The parent "folder" is a file: no file there, so defaults and no read problem.
    writeFileBytes(dir / "plain", "x");
    SettingsStore underFile((dir / "plain" / "Settings.ini").string());
    EXPECT_EQ(underFile.readProblem(), "");
    EXPECT_FALSE(underFile.putInt("a", 1, &reason));
    EXPECT_EQ(reason, "Not a directory");
    EXPECT_EQ(underFile.getInt("a", 9), 9);
    EXPECT_EQ(readFileBytes(dir / "plain"), "x");

    // A folder at the path is neither read nor replaced.
    fs::create_directory(dir / "folder.ini");
    SettingsStore folder((dir / "folder.ini").string());
    EXPECT_EQ(folder.readProblem(), "Is a directory");
    EXPECT_FALSE(folder.putInt("a", 1, &reason));
    EXPECT_EQ(reason, "Is a directory");
    EXPECT_EQ(folder.getInt("a", 9), 9);
    EXPECT_TRUE(fs::is_directory(dir / "folder.ini"));

    // A FIFO must not block the reader.
    ASSERT_EQ(::mkfifo((dir / "fifo.ini").c_str(), 0600), 0);
    SettingsStore fifo((dir / "fifo.ini").string());
    EXPECT_EQ(fifo.getString("a", "default"), "default");
    EXPECT_EQ(fifo.readProblem(), "not a regular file");

    // A file far too large to be settings is left alone.
    std::string huge = "[Settings]\na=1\n" + std::string(2 << 20, '#');
    writeFileBytes(dir / "huge.ini", huge);
    SettingsStore big((dir / "huge.ini").string());
    EXPECT_EQ(big.getInt("a", 9), 9);
    EXPECT_NE(big.readProblem().find("too large"), std::string::npos) << big.readProblem();
    EXPECT_FALSE(big.putInt("a", 2));
    EXPECT_EQ(fs::file_size(dir / "huge.ini"), huge.size());

    SettingsStore::setWriteFailureHandler(nullptr);
    EXPECT_EQ(handled, (std::vector<std::string> {(dir / "plain" / "Settings.ini").string() + ": Not a directory",
                                                  (dir / "folder.ini").string() + ": Is a directory",
                                                  (dir / "huge.ini").string() + ": " + big.readProblem()}));
}

TEST(SettingsStore, SuspendedWritesLeaveTheFileAloneAndStaleTemporariesGoWithTheNextWrite)
{
    fs::path dir = scratchDir();
    fs::path file = dir / "Settings.ini";
    writeFileBytes(file, "[Settings]\na=1\n");
    writeFileBytes(dir / "Settings.ini.tmp-Ab12Cd", "[Settings]\na=half written");
    writeFileBytes(dir / "Settings.ini.backup", "kept");
    SettingsStore store(file.string());

    SettingsStore::setWritesSuspended(true);
    EXPECT_TRUE(store.putInt("a", 2));
    SettingsStore::setWritesSuspended(false);
    EXPECT_EQ(readFileBytes(file), "[Settings]\na=1\n");
    EXPECT_TRUE(fs::exists(dir / "Settings.ini.tmp-Ab12Cd"));

    EXPECT_TRUE(store.putInt("a", 3));
    EXPECT_EQ(readFileBytes(file), "[Settings]\na=3\n");
    EXPECT_FALSE(fs::exists(dir / "Settings.ini.tmp-Ab12Cd"));
    EXPECT_TRUE(fs::exists(dir / "Settings.ini.backup"));
}

// Two processes that each keep changing their own key: a read-modify-write of one that is not
// serialised with the other's puts back the other's older value, which its next read notices.
TEST(SettingsStore, TwoProcessesSettingDifferentKeysBothKeepTheirChanges)
{
    fs::path file = scratchDir() / "Settings.ini";
    constexpr int kRounds = 150;
    auto run = [&file](const std::string& key) {
        SettingsStore store(file.string());
        int lost = 0;
        for (int i = 1; i <= kRounds; ++i) {
            if (store.getInt(key, 0) != i - 1)
                ++lost;
            store.putInt(key, i);
        }
        return lost;
    };
    pid_t children[2];
    for (int c = 0; c < 2; ++c) {
        children[c] = ::fork();
        ASSERT_GE(children[c], 0);
        if (children[c] == 0)
            ::_exit(std::min(run("key" + std::to_string(c)), 100));
    }
    for (pid_t child : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 0) << "changes the other process lost";
    }
    SettingsStore store(file.string());
    EXPECT_EQ(store.getInt("key0", 0), kRounds);
    EXPECT_EQ(store.getInt("key1", 0), kRounds);
}

TEST(SettingsStore, WritesFromSeveralThreadsAreAllKept)
{
    fs::path file = scratchDir() / "Settings.ini";
    SettingsStore store(file.string());
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&store, t] {
            for (int k = 0; k < 20; ++k)
                store.putInt("key" + std::to_string(t) + "_" + std::to_string(k), t * 100 + k);
        });
    for (std::thread& thread : threads)
        thread.join();
    for (int t = 0; t < 4; ++t)
        for (int k = 0; k < 20; ++k)
            EXPECT_EQ(store.getInt("key" + std::to_string(t) + "_" + std::to_string(k), -1), t * 100 + k);
}

} // namespace
