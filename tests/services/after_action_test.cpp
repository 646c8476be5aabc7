#include "services/after_action.h"

#include <gtest/gtest.h>

#include "fake_system_actions.h"

namespace folvane::services {
namespace {

using test::FakeSystemActions;

std::vector<std::string> callsOf(int action, const std::string& target)
{
    FakeSystemActions actions;
    runAfterConversionAction(action, target, actions);
    return actions.calls;
}

TEST(AfterConversionAction, EachListEntryCallsExactlyItsSystemAction)
{
    const std::string target = "/home/u/Quillmar/Folvane/MyPDF.pdf";
    using Calls = std::vector<std::string>;
    EXPECT_EQ(callsOf(kDoNothing, target), Calls {});
    EXPECT_EQ(callsOf(kShutDown, target), Calls {"powerOff"});
    EXPECT_EQ(callsOf(kStandBy, target), Calls {"suspend"});
    EXPECT_EQ(callsOf(kRestart, target), Calls {"reboot"});
    EXPECT_EQ(callsOf(kLogOff, target), Calls {"logOff"});
    EXPECT_EQ(callsOf(kExitProgram, target), Calls {"exitProgram"});
    EXPECT_EQ(callsOf(kOpenOutput, target), Calls {"open " + target});
    EXPECT_EQ(callsOf(kOpenOutput, "/home/u/out/"), Calls {"open /home/u/out/"}) << "a folder opens too";
}

TEST(AfterConversionAction, EmptyTargetAndUnknownActionsDoNothing)
{
    EXPECT_TRUE(callsOf(kOpenOutput, "").empty());
    for (int action : {7, -1, 8, 100, -2147483647 - 1})
        EXPECT_TRUE(callsOf(action, "/tmp/x.pdf").empty()) << action;
}

} // namespace
} // namespace folvane::services
