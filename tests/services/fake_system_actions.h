#pragma once
// SystemActions that only records what it was asked to do: no test may power anything off or
// open a viewer.

#include <string>
#include <vector>

#include "services/system_actions.h"

namespace folvane::test {

class FakeSystemActions : public services::SystemActions {
public:
    std::vector<std::string> calls;

    void powerOff() override { calls.push_back("powerOff"); }
    void suspend() override { calls.push_back("suspend"); }
    void reboot() override { calls.push_back("reboot"); }
    void logOff() override { calls.push_back("logOff"); }
    void exitProgram() override { calls.push_back("exitProgram"); }
    void openWithDefaultApplication(const std::string& target) override { calls.push_back("open " + target); }
};

} // namespace folvane::test
