#include "services/system_actions.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "app/app_test_env.h"
#include "support/test_support.h"

namespace folvane::services {
namespace {

namespace fs = std::filesystem;
using Command = std::vector<std::string>;
using Wait = LinuxSystemActions::Wait;

// The real Linux actions with the process start replaced by a recorder.
class RecordingLinuxActions : public LinuxSystemActions {
public:
    std::vector<std::pair<Command, Wait>> runs;

protected:
    void run(const Command& argv, Wait wait) override { runs.emplace_back(argv, wait); }
};

class LinuxActions : public test::ScratchHomeTest {
protected:
    RecordingLinuxActions actions;
};

TEST_F(LinuxActions, PowerActionsAreForcedSystemctlCallsThatAreWaitedFor)
{
    actions.powerOff();
    actions.suspend();
    actions.reboot();
    ASSERT_EQ(actions.runs.size(), 3u);
    EXPECT_EQ(actions.runs[0].first, (Command {"systemctl", "poweroff", "-i"}));
    EXPECT_EQ(actions.runs[1].first, (Command {"systemctl", "suspend", "-i"}));
    EXPECT_EQ(actions.runs[2].first, (Command {"systemctl", "reboot", "-i"}));
    for (const auto& run : actions.runs)
        EXPECT_EQ(run.second, Wait::UntilDone);
}

TEST_F(LinuxActions, LogOffEndsTheSessionOrElseTheUser)
{
    setVariable("XDG_SESSION_ID", "c7");
    setVariable("USER", "ann");
    actions.logOff();
    setVariable("XDG_SESSION_ID", "");
    actions.logOff();
    setVariable("USER", std::nullopt);
    actions.logOff();
    ASSERT_EQ(actions.runs.size(), 2u) << "without a session or user nothing is run";
    EXPECT_EQ(actions.runs[0].first, (Command {"loginctl", "terminate-session", "c7"}));
    EXPECT_EQ(actions.runs[1].first, (Command {"loginctl", "terminate-user", "ann"}));
}

TEST_F(LinuxActions, OpenIsADetachedXdgOpenOfAnythingButAnEmptyTarget)
{
    actions.openWithDefaultApplication("");
    EXPECT_TRUE(actions.runs.empty());
    actions.openWithDefaultApplication("/home/u/My PDF's; rm -rf ~.pdf");
    actions.openWithDefaultApplication("-rf.pdf");
    actions.openWithDefaultApplication("/home/u/out/");
    ASSERT_EQ(actions.runs.size(), 3u);
    EXPECT_EQ(actions.runs[0].first, (Command {"xdg-open", "/home/u/My PDF's; rm -rf ~.pdf"})) << "one argument";
    EXPECT_EQ(actions.runs[0].second, Wait::Detached);
    EXPECT_EQ(actions.runs[1].first, (Command {"xdg-open", "./-rf.pdf"})) << "never read as an option";
    EXPECT_EQ(actions.runs[2].first, (Command {"xdg-open", "/home/u/out/"}));
}

TEST(LaunchProgram, WaitsForTheCommandWithItsOutputDiscarded)
{
    fs::path dir = test::scratchDir();
    fs::path out = dir / "fds.txt";
    std::string script = "fds=$(readlink /proc/$$/fd/0 /proc/$$/fd/1 /proc/$$/fd/2); printf '%s\\n' \"$fds\" > \"$1\"";
    EXPECT_TRUE(launchProgram({"sh", "-c", script, "sh", out.string()}, Wait::UntilDone));
    EXPECT_EQ(test::readFileBytes(out), "/dev/null\n/dev/null\n/dev/null\n") << "the file is there on return";

    EXPECT_FALSE(launchProgram({"sh", "-c", "exit 3"}, Wait::UntilDone));
    EXPECT_FALSE(launchProgram({"folvane-no-such-program"}, Wait::UntilDone));
    EXPECT_FALSE(launchProgram({}, Wait::UntilDone));
    EXPECT_FALSE(launchProgram({""}, Wait::Detached));
}

TEST(LaunchProgram, DetachedCommandOutlivesTheCallAndLeavesNoChild)
{
    fs::path dir = test::scratchDir();
    fs::path out = dir / "ran.txt";
    auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(launchProgram({"sh", "-c", "sleep 2; echo ran > \"$1\"", "sh", out.string()}, Wait::Detached));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1500)) << "returns at once";
    EXPECT_FALSE(fs::exists(out));
    int status = 0;
    EXPECT_EQ(::waitpid(-1, &status, WNOHANG), -1) << "no child of ours is left to reap";

    for (int i = 0; i < 200 && test::readFileBytes(out).empty(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(test::readFileBytes(out), "ran\n") << "the detached command ran to its end";
}

TEST(LinuxActionsDeathTest, ExitProgramEndsAtOnceWithCodeZero)
{
    EXPECT_EXIT(
        {
            std::atexit([] { std::fputs("exit handler ran", stderr); });
            LinuxSystemActions().exitProgram();
        },
        ::testing::ExitedWithCode(0), "^$");
}

} // namespace
} // namespace folvane::services
