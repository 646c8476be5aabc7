#pragma once
// The system services a finished job may call on: power actions, ending the program, and opening
// a file or folder with the user's default application. Callers take a SystemActions reference,
// so tests substitute a recording fake and never shut anything down.
//
// All actions fail silently: a refused power action leaves the program running normally.

#include <string>
#include <vector>

namespace folvane::services {

class SystemActions {
public:
    virtual ~SystemActions() = default;

    // Power off the computer, forcing applications to close.
    virtual void powerOff() = 0;
    // Suspend the computer, ignoring inhibitors.
    virtual void suspend() = 0;
    // Restart the computer, forcing applications to close.
    virtual void reboot() = 0;
    // End the user's session.
    virtual void logOff() = 0;
    // End this process at once with exit code 0: no destructor or exit handler runs.
    virtual void exitProgram() = 0;
    // Open a file or folder with its default application; returns without waiting for it.
    virtual void openWithDefaultApplication(const std::string& target) = 0;
};

// The Linux implementation: systemctl for the power actions (with -i, so that inhibitors held
// by other programs do not stop them), loginctl for logging off, _exit for ending the program
// and xdg-open for opening. Each command runs with its output discarded and its result ignored.
class LinuxSystemActions : public SystemActions {
public:
    void powerOff() override;
    void suspend() override;
    void reboot() override;
    void logOff() override;
    void exitProgram() override;
    void openWithDefaultApplication(const std::string& target) override;

    // The command line of each action, as given to run().
    static std::vector<std::string> powerOffCommand();
    static std::vector<std::string> suspendCommand();
    static std::vector<std::string> rebootCommand();
    // Ends the session named by $XDG_SESSION_ID, or all sessions of $USER without one; empty
    // when neither is known.
    static std::vector<std::string> logOffCommand();
    // A target beginning with "-" is passed as "./-..." so it is never read as an option.
    static std::vector<std::string> openCommand(const std::string& target);

    enum class Wait { UntilDone, Detached };

protected:
    // Starts argv[0] (looked up on PATH) with the arguments, standard input and output on
    // /dev/null. UntilDone waits for the command to end; Detached returns as soon as it has
    // started and leaves no child to reap. Failures are ignored.
    virtual void run(const std::vector<std::string>& argv, Wait wait);
};

// Starts a program as LinuxSystemActions::run does. Returns false when it could not be started
// (UntilDone: also when it did not exit with status 0).
bool launchProgram(const std::vector<std::string>& argv, LinuxSystemActions::Wait wait);

// The process's real system actions.
SystemActions& systemActions();

} // namespace folvane::services
