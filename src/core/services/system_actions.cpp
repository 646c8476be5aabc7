#include "services/system_actions.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace folvane::services {

namespace {

std::string environmentValue(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "";
}

} // namespace

bool launchProgram(const std::vector<std::string>& argv, LinuxSystemActions::Wait wait)
{
    if (argv.empty() || argv[0].empty())
        return false;
    // A detached program is started by a shell that puts it in the background and ends at once:
    // the program is then a child of init, never a zombie of ours, and nothing here forks a
    // process that has other threads. The arguments reach it as "$@", never as shell text.
    std::vector<std::string> full;
    if (wait == LinuxSystemActions::Wait::Detached)
        full = {"/bin/sh", "-c", "\"$@\" &", "sh"};
    full.insert(full.end(), argv.begin(), argv.end());
    std::vector<char*> args;
    for (std::string& arg : full)
        args.push_back(arg.data());
    args.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    if (posix_spawn_file_actions_init(&actions) != 0)
        return false;
    for (int fd : {0, 1, 2})
        posix_spawn_file_actions_addopen(&actions, fd, "/dev/null", fd == 0 ? O_RDONLY : O_WRONLY, 0);
    pid_t pid = 0;
    int error = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0)
        return false;
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR)
            return false;
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::vector<std::string> LinuxSystemActions::powerOffCommand()
{
    return {"systemctl", "poweroff", "-i"};
}

std::vector<std::string> LinuxSystemActions::suspendCommand()
{
    return {"systemctl", "suspend", "-i"};
}

std::vector<std::string> LinuxSystemActions::rebootCommand()
{
    return {"systemctl", "reboot", "-i"};
}

std::vector<std::string> LinuxSystemActions::logOffCommand()
{
    std::string session = environmentValue("XDG_SESSION_ID");
    if (!session.empty())
        return {"loginctl", "terminate-session", session};
    std::string user = environmentValue("USER");
    if (!user.empty())
        return {"loginctl", "terminate-user", user};
    return {};
}

std::vector<std::string> LinuxSystemActions::openCommand(const std::string& target)
{
    return {"xdg-open", target.starts_with('-') ? "./" + target : target};
}

void LinuxSystemActions::powerOff()
{
    run(powerOffCommand(), Wait::UntilDone);
}

void LinuxSystemActions::suspend()
{
    run(suspendCommand(), Wait::UntilDone);
}

void LinuxSystemActions::reboot()
{
    run(rebootCommand(), Wait::UntilDone);
}

void LinuxSystemActions::logOff()
{
    std::vector<std::string> command = logOffCommand();
    if (!command.empty())
        run(command, Wait::UntilDone);
}

void LinuxSystemActions::exitProgram()
{
    // What the program has printed so far still reaches its reader; nothing else is tidied up.
    std::fflush(nullptr);
    ::_exit(0);
}

void LinuxSystemActions::openWithDefaultApplication(const std::string& target)
{
    if (!target.empty())
        run(openCommand(target), Wait::Detached);
}

void LinuxSystemActions::run(const std::vector<std::string>& argv, Wait wait)
{
    launchProgram(argv, wait);
}

SystemActions& systemActions()
{
    static LinuxSystemActions actions;
    return actions;
}

} // namespace folvane::services
