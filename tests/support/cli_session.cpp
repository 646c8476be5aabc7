#include "support/cli_session.h"

#include <unistd.h>

namespace folvane::test {

namespace fs = std::filesystem;

CliSession::CliSession(std::string program, fs::path dir)
    : m_program(std::move(program))
    , m_dir(std::move(dir))
{
    fs::create_directories(m_dir / "home");
}

std::string CliSession::command(const std::string& arguments, const std::string& prefix) const
{
    std::string home = shellQuote((m_dir / "home").string());
    return "env HOME=" + home + " XDG_CONFIG_HOME=" + home + "/config XDG_DATA_HOME=" + home +
           "/data FOLVANE_SETTINGS= " + prefix + " " + shellQuote(m_program) + " " + arguments + " --settings " +
           shellQuote((m_dir / "Settings.ini").string()) + " </dev/null";
}

CommandResult CliSession::run(const std::string& arguments) const
{
    return runCommand(command(arguments));
}

pid_t CliSession::start(const std::string& arguments) const
{
    std::string line = "exec " + command(arguments) + " >/dev/null 2>&1";
    pid_t pid = ::fork();
    if (pid == 0) {
        ::execl("/bin/sh", "sh", "-c", line.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    return pid;
}

std::string q(const fs::path& path)
{
    return shellQuote(path.string());
}

bool printedLine(const std::string& output, const std::string& line)
{
    return ("\n" + output).find("\n" + line + "\n") != std::string::npos;
}

} // namespace folvane::test
