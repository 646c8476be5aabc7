#include "support/cli_runner.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace folvane::test {

namespace fs = std::filesystem;

namespace {

// Passwords the program would take from its environment; no run inherits them.
constexpr const char* kPasswordVariables[] = {"FOLVANE_USER_PASSWORD", "FOLVANE_OWNER_PASSWORD"};

// In the child of runCli, before exec.
void setEnvironment(const CliOptions& options)
{
    for (const auto& [name, value] : isolatedHome(options.home))
        ::setenv(name.c_str(), value.c_str(), 1);
    ::setenv("TMPDIR", options.tmp.string().c_str(), 1);
    ::unsetenv("FOLVANE_SETTINGS");
    for (const char* name : kPasswordVariables)
        ::unsetenv(name);
}

} // namespace

std::vector<std::pair<std::string, std::string>> isolatedHome(const fs::path& home)
{
    return {{"HOME", home.string()},
            {"XDG_CONFIG_HOME", (home / "config").string()},
            {"XDG_DATA_HOME", (home / "data").string()}};
}

CliSession::CliSession(std::string program, fs::path dir)
    : m_program(std::move(program))
    , m_dir(std::move(dir))
{
    fs::create_directories(m_dir / "home");
}

std::string CliSession::command(const std::string& arguments, const std::string& prefix) const
{
    std::string line = "env";
    for (const char* name : kPasswordVariables)
        line += std::string(" -u ") + name;
    for (const auto& [name, value] : isolatedHome(m_dir / "home"))
        line += " " + name + "=" + shellQuote(value);
    return line + " FOLVANE_SETTINGS= " + prefix + " " + shellQuote(m_program) + " " + arguments + " --settings " +
           shellQuote((m_dir / "Settings.ini").string()) + " </dev/null";
}

CommandResult CliSession::run(const std::string& arguments, const std::string& environment) const
{
    return runCommand(command(arguments, environment));
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

CliRun runCli(const std::vector<std::string>& arguments, const CliOptions& options)
{
    fs::create_directories(options.home);
    fs::create_directories(options.tmp);
    std::vector<std::string> argv {options.program.string()};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    argv.push_back("--settings");
    argv.push_back((options.home / "Settings.ini").string());
    std::vector<char*> pointers;
    for (std::string& a : argv)
        pointers.push_back(a.data());
    pointers.push_back(nullptr);

    int outPipe[2];
    int errPipe[2];
    CliRun run;
    if (::pipe(outPipe) != 0 || ::pipe(errPipe) != 0)
        return run;
    auto start = std::chrono::steady_clock::now();
    pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(outPipe[1], STDOUT_FILENO);
        ::dup2(errPipe[1], STDERR_FILENO);
        ::close(outPipe[0]), ::close(outPipe[1]), ::close(errPipe[0]), ::close(errPipe[1]);
        int null = ::open("/dev/null", O_RDONLY);
        ::dup2(null, STDIN_FILENO);
        setEnvironment(options);
        if (options.fileSizeLimit >= 0) {
            // Writes beyond the limit then fail with EFBIG instead of killing the process.
            ::signal(SIGXFSZ, SIG_IGN);
            rlimit limit {static_cast<rlim_t>(options.fileSizeLimit), static_cast<rlim_t>(options.fileSizeLimit)};
            ::setrlimit(RLIMIT_FSIZE, &limit);
        }
        ::execv(pointers[0], pointers.data());
        ::_exit(127);
    }
    ::close(outPipe[1]);
    ::close(errPipe[1]);
    auto deadline = start + std::chrono::duration<double>(options.timeLimitSeconds);
    pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
    int open = 2;
    char buffer[65536];
    while (open > 0) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            run.timedOut = true;
            ::kill(pid, SIGKILL);
            break;
        }
        if (::poll(fds, 2, static_cast<int>(std::min<long long>(left.count(), 1000))) < 0)
            break;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            ssize_t got = ::read(fds[i].fd, buffer, sizeof buffer);
            if (got > 0) {
                (i == 0 ? run.out : run.err).append(buffer, static_cast<size_t>(got));
            } else {
                ::close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            }
        }
    }
    for (pollfd& fd : fds)
        if (fd.fd >= 0)
            ::close(fd.fd);
    int status = 0;
    ::waitpid(pid, &status, 0);
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (WIFEXITED(status))
        run.exitCode = WEXITSTATUS(status);
    else if (WIFSIGNALED(status))
        run.signal = WTERMSIG(status);
    return run;
}

bool sanitizerReported(const CliRun& run)
{
    for (const char* mark : {"AddressSanitizer", "LeakSanitizer", "UndefinedBehaviorSanitizer", "runtime error:"})
        if (run.err.find(mark) != std::string::npos || run.out.find(mark) != std::string::npos)
            return true;
    return false;
}

std::vector<std::string> entriesOf(const fs::path& folder)
{
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder, error))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::string folderText(const fs::path& folder)
{
    std::string text;
    for (const std::string& name : entriesOf(folder))
        text += readFileBytes(folder / name);
    return text;
}

} // namespace folvane::test
