// Splitting work over several processes: shards of a batch write exactly the files one run writes,
// and several watch runners sharing one folder lose nothing when they are killed.

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <random>
#include <set>
#include <sys/wait.h>
#include <thread>

#include "support/cli_runner.h"
#include "support/image_files.h"

namespace folvane::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// Every regular file below `root` with its bytes, by path relative to `root`.
std::map<std::string, std::string> filesBelow(const fs::path& root)
{
    std::map<std::string, std::string> files;
    if (!fs::exists(root))
        return files;
    for (const auto& entry : fs::recursive_directory_iterator(root))
        if (entry.is_regular_file())
            files[fs::relative(entry.path(), root).string()] = readFileBytes(entry.path());
    return files;
}

class ScaleOutTest : public PdfTest {
protected:
    void SetUp() override
    {
        dir = scratchDir();
        ::setenv("SOURCE_DATE_EPOCH", "1700000000", 1);
    }
    void TearDown() override
    {
        ::unsetenv("SOURCE_DATE_EPOCH");
        PdfTest::TearDown();
    }

    void bmp(const fs::path& path, int shade)
    {
        fs::create_directories(path.parent_path());
        writeBmp24(path, 24, 16, [shade](int x, int y) { return static_cast<uint32_t>(shade * 0x010203 + x * 5 + y); });
    }

    CliSession cli {FOLVANE_CLI, scratchDir() / "session"};
    fs::path dir;
};

// N shards together write byte for byte what one run writes, each file once, for batches that
// leave some shards empty and for per-folder documents.
TEST_F(ScaleOutTest, ShardsTogetherWriteWhatOneRunWrites)
{
    for (int files : {0, 1, 5, 50}) {
        fs::path in = dir / ("in" + std::to_string(files));
        fs::create_directories(in);
        for (int i = 0; i < files; ++i)
            bmp(in / ("f" + std::to_string(i % 4)) / ("p" + std::to_string(i) + ".bmp"), i);
        for (const char* mode : {"image", "folder"}) {
            if (files != 50 && std::string(mode) == "folder")
                continue;
            fs::path whole = dir / "whole" / mode / std::to_string(files);
            CommandResult one = cli.run(std::string("convert -r -m ") + mode + " -o " + q(whole) + " " + q(in));
            EXPECT_EQ(one.exitCode, files == 0 ? 1 : 0) << one.output;
            auto expected = filesBelow(whole);
            for (int count : {1, 2, 3, 7}) {
                SCOPED_TRACE(std::to_string(files) + " files, " + mode + ", " + std::to_string(count) + " shards");
                fs::path sharded = dir / "sharded" / mode / std::to_string(files) / std::to_string(count);
                int written = 0;
                for (int k = 0; k < count; ++k) {
                    CommandResult part = cli.run(std::string("convert -r -m ") + mode + " --shard " +
                                                 std::to_string(k) + "/" + std::to_string(count) + " -o " +
                                                 q(sharded) + " " + q(in));
                    EXPECT_EQ(part.exitCode, files == 0 ? 1 : 0) << part.output;
                    for (size_t at = part.output.find("Written "); at != std::string::npos;
                         at = part.output.find("Written ", at + 1))
                        ++written;
                }
                EXPECT_EQ(filesBelow(sharded), expected);
                EXPECT_EQ(written, static_cast<int>(expected.size())) << "each file is written by one shard";
            }
        }
    }
    pdfPath("whole/folder/50/f3.pdf");
    pdfPath("sharded/image/50/7/p49.pdf");
}

TEST_F(ScaleOutTest, ShardOptionsAreCheckedAndAutoReadsTheScheduler)
{
    bmp(dir / "in/a.bmp", 1);
    bmp(dir / "in/b.bmp", 2);
    std::string in = " " + q(dir / "in");
    EXPECT_EQ(cli.run("convert --shard 1/2 -m merge -o m.pdf" + in).exitCode, 2) << "one PDF cannot be split";
    EXPECT_EQ(cli.run("convert --shard 2/2 -m image" + in).exitCode, 2);
    EXPECT_EQ(cli.run("convert --shard auto -m image" + in).exitCode, 2) << "no scheduler";

    CommandResult kube = runCommand("JOB_COMPLETION_INDEX=1 " +
                                    cli.command("convert --shard auto --shards 2 -m image -o " + q(dir / "k") + in));
    EXPECT_EQ(kube.exitCode, 0) << kube.output;
    EXPECT_TRUE(printedLine(kube.output, "Written " + (dir / "k/b.pdf").string())) << kube.output;
    EXPECT_FALSE(fs::exists(dir / "k/a.pdf"));

    CommandResult slurm = runCommand("SLURM_ARRAY_TASK_ID=7 SLURM_ARRAY_TASK_MIN=7 SLURM_ARRAY_TASK_COUNT=2 " +
                                     cli.command("convert --shard auto -m image -o " + q(dir / "s") + in));
    EXPECT_EQ(slurm.exitCode, 0) << slurm.output;
    EXPECT_TRUE(fs::exists(dir / "s/a.pdf"));
    EXPECT_FALSE(fs::exists(dir / "s/b.pdf"));
    pdfPath("k/b.pdf");
    pdfPath("s/a.pdf");
}

class SharedWatchTest : public ScaleOutTest {
protected:
    fs::path in() const { return dir / "in"; }
    std::string runner(const std::string& extra) const
    {
        return "watch --shared --settle 0 --interval 1 -m image -e overwrite -o " + q(dir / "out") + " " + extra +
               " " + q(in());
    }
    // Starts a runner whose output lines are appended to `log`.
    pid_t startRunner(const std::string& extra, const fs::path& log) const
    {
        pid_t pid = ::fork();
        if (pid == 0) {
            ::setpgid(0, 0);
            std::string command = "exec " + cli.command(runner(extra)) + " >>" + q(log) + " 2>&1";
            ::execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        return pid;
    }
    static void stop(pid_t pid, int signal)
    {
        ::kill(pid, signal);
        ::waitpid(pid, nullptr, 0);
    }
    bool sourcesLeft() const
    {
        for (const auto& entry : fs::directory_iterator(in()))
            if (entry.is_regular_file())
                return true;
        // Running runners keep their (empty) claim folders; a claimed source is a file in one.
        return !filesBelow(in() / "_processing").empty();
    }
};

// Four runners on one folder, twelve of them killed with SIGKILL while they work and started
// again: every source ends in "_converted" with its PDF, no claim is left, and a source was
// converted twice only where a runner died on it.
TEST_F(SharedWatchTest, FourRunnersKilledTwelveTimesLoseNothing)
{
    constexpr int kSources = 400;
    constexpr int kKills = 12;
    for (int i = 0; i < kSources; ++i)
        bmp(in() / ("s" + std::to_string(i) + ".bmp"), i);
    std::vector<pid_t> runners;
    std::vector<fs::path> logs;
    for (int r = 0; r < 4; ++r) {
        logs.push_back(dir / ("runner" + std::to_string(r) + ".log"));
        runners.push_back(startRunner("", logs.back()));
    }
    std::mt19937 random(7);
    for (int kill = 0; kill < kKills; ++kill) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100 + random() % 250));
        size_t r = random() % runners.size();
        stop(runners[r], SIGKILL);
        runners[r] = startRunner("", logs[r]);
    }
    for (int wait = 0; wait < 600 && sourcesLeft(); ++wait)
        std::this_thread::sleep_for(100ms);
    for (pid_t pid : runners)
        stop(pid, SIGTERM);

    EXPECT_FALSE(sourcesLeft());
    EXPECT_TRUE(!fs::exists(in() / "_processing") || fs::is_empty(in() / "_processing")) << "claims left behind";
    std::map<std::string, int> conversions;
    for (const fs::path& log : logs) {
        std::string text = readFileBytes(log);
        for (size_t at = text.find("Succeed "); at != std::string::npos; at = text.find("Succeed ", at + 1))
            ++conversions[fs::path(text.substr(at + 8, text.find('\n', at) - at - 8)).filename()];
    }
    int repeated = 0;
    for (int i = 0; i < kSources; ++i) {
        std::string name = "s" + std::to_string(i);
        EXPECT_TRUE(fs::exists(in() / "_converted" / (name + ".bmp"))) << name;
        EXPECT_TRUE(fs::exists(dir / "out" / (name + ".pdf"))) << name;
        EXPECT_GE(conversions[name + ".bmp"], 1) << name;
        repeated += std::max(0, conversions[name + ".bmp"] - 1);
    }
    EXPECT_LE(repeated, kKills);
    EXPECT_TRUE(fs::is_empty(in() / "_failed"));
    for (int i = 0; i < kSources; ++i)
        pdfPath("out/s" + std::to_string(i) + ".pdf");
}

// Two runners with their own host names; a third host's claim that is older than the lease is
// taken back and converted, a fresh one is left to its host.
TEST_F(SharedWatchTest, AnotherHostsClaimIsTakenBackOnlyAfterItsLease)
{
    fs::path stale = in() / "_processing/ghost.4242.1000";
    fs::path fresh = in() / "_processing/ghost.4343.1000";
    bmp(stale / "old.bmp", 1);
    bmp(fresh / "busy.bmp", 2);
    bmp(in() / "new.bmp", 3);
    auto hourAgo = fs::file_time_type::clock::now() - 1h;
    fs::last_write_time(stale, hourAgo);

    pid_t alpha = startRunner("--host alpha --lease 30", dir / "alpha.log");
    pid_t beta = startRunner("--host beta --lease 30", dir / "beta.log");
    for (int wait = 0; wait < 100 && !(fs::exists(dir / "out/old.pdf") && fs::exists(dir / "out/new.pdf")); ++wait)
        std::this_thread::sleep_for(100ms);
    std::this_thread::sleep_for(1500ms); // a further pass of both runners
    stop(alpha, SIGTERM);
    stop(beta, SIGTERM);

    EXPECT_TRUE(fs::exists(in() / "_converted/old.bmp"));
    EXPECT_TRUE(fs::exists(in() / "_converted/new.bmp"));
    EXPECT_FALSE(fs::exists(stale));
    EXPECT_TRUE(fs::exists(fresh / "busy.bmp")) << "a claim within its lease belongs to its host";
    EXPECT_FALSE(fs::exists(dir / "out/busy.pdf"));
    pdfPath("out/old.pdf");
    pdfPath("out/new.pdf");
}

TEST_F(SharedWatchTest, SharedRefusesModesWhereOnePdfHoldsSeveralSources)
{
    fs::create_directories(in());
    for (const char* mode : {"merge", "folder"}) {
        CommandResult result = cli.run(std::string("watch --shared -m ") + mode + " -o " + q(dir / "o.pdf") + " " + q(in()));
        EXPECT_EQ(result.exitCode, 2) << result.output;
        EXPECT_NE(result.output.find("--shared works with one PDF per image"), std::string::npos) << result.output;
    }
}

} // namespace
} // namespace folvane::test
