#include "robustness/cli_run.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "support/test_support.h"

namespace folvane::test {

namespace fs = std::filesystem;

namespace {

void setEnvironment(const CliOptions& options)
{
    const std::string home = options.home.string();
    ::setenv("HOME", home.c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (home + "/config").c_str(), 1);
    ::setenv("XDG_DATA_HOME", (home + "/data").c_str(), 1);
    ::setenv("TMPDIR", options.tmp.string().c_str(), 1);
    ::unsetenv("FOLVANE_SETTINGS");
}

} // namespace

CliRun runCli(const std::vector<std::string>& arguments, const CliOptions& options)
{
    fs::create_directories(options.home);
    fs::create_directories(options.tmp);
    std::vector<std::string> argv {FOLVANE_CLI};
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
