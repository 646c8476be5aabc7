#pragma once
// The action a conversion job carries out when it ends normally (not stopped by the user): the
// "after" setting, the index of the options page's "After Conversion:" list.

#include <string>

#include "services/system_actions.h"

namespace folvane::services {

enum AfterConversionAction : int {
    kDoNothing = 0,
    kShutDown = 1,
    kStandBy = 2,
    kRestart = 3,
    kLogOff = 4,
    kExitProgram = 5,
    kOpenOutput = 6,
};

// The list's text of an action ("Do Nothing" ... "Open Output"); empty for any other value.
const char* afterConversionActionText(int action);

// Carries out `action` through `actions`. `target` is the file or folder that kOpenOutput opens;
// an empty target opens nothing, and the other actions ignore it. A value outside 0..6 does
// nothing. Runs on the job's worker thread; the job must have written its log before, because
// kExitProgram and the power actions may end the process.
void runAfterConversionAction(int action, const std::string& target, SystemActions& actions);

// The same with the process's real system actions.
void runAfterConversionAction(int action, const std::string& target);

} // namespace folvane::services
