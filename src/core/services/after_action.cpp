#include "services/after_action.h"

#include <iterator>

namespace folvane::services {

const char* afterConversionActionText(int action)
{
    static const char* const texts[] = {"Do Nothing", "Shut Down",    "Stand By",   "Restart",
                                        "Log Off",    "Exit Program", "Open Output"};
    if (action < 0 || action >= static_cast<int>(std::size(texts)))
        return "";
    return texts[action];
}

void runAfterConversionAction(int action, const std::string& target, SystemActions& actions)
{
    switch (action) {
    case kShutDown:
        actions.powerOff();
        break;
    case kStandBy:
        actions.suspend();
        break;
    case kRestart:
        actions.reboot();
        break;
    case kLogOff:
        actions.logOff();
        break;
    case kExitProgram:
        actions.exitProgram();
        break;
    case kOpenOutput:
        if (!target.empty())
            actions.openWithDefaultApplication(target);
        break;
    default:
        break;
    }
}

void runAfterConversionAction(int action, const std::string& target)
{
    runAfterConversionAction(action, target, systemActions());
}

} // namespace folvane::services
