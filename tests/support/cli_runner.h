#pragma once
// Runs folvane-cli as a user would, isolated from the user's own files: its own HOME and XDG
// folders and settings file below a scratch folder, standard input from /dev/null. Two forms:
// a session that runs a shell command line (output of both streams together), and runCli, which
// runs the program without a shell, keeps the streams apart and can limit time and file size.

#include <filesystem>
#include <string>
#include <sys/types.h>
#include <utility>
#include <vector>

#include "support/test_support.h"

namespace folvane::test {

// The variables that put a run's home and XDG folders below `home`.
std::vector<std::pair<std::string, std::string>> isolatedHome(const std::filesystem::path& home);

class CliSession {
public:
    // `program` is the folvane-cli to run; `dir` the scratch folder that holds home/ and
    // Settings.ini.
    CliSession(std::string program, std::filesystem::path dir);

    // Runs `arguments` (already quoted for the shell) and waits; output is stdout and stderr.
    // `environment` ("NAME=value ...") is set for the program only.
    CommandResult run(const std::string& arguments, const std::string& environment = {}) const;
    // The shell command run() would run, with `prefix` (say "strace -f -o LOG", or variables)
    // before the program.
    std::string command(const std::string& arguments, const std::string& prefix = {}) const;
    // Starts `arguments` in a process of its own with output discarded; returns its id.
    pid_t start(const std::string& arguments) const;

private:
    std::string m_program;
    std::filesystem::path m_dir;
};

struct CliRun {
    int exitCode = -1;    // the exit status, or -1 when the process did not exit normally
    int signal = 0;       // the signal that ended it, or 0
    bool timedOut = false;// killed after the time limit
    double seconds = 0;   // wall-clock time
    std::string out;      // standard output
    std::string err;      // standard error
};

struct CliOptions {
    std::filesystem::path program; // the folvane-cli to run
    std::filesystem::path home;    // HOME and XDG folders; the settings file lies beside it
    std::filesystem::path tmp;     // TMPDIR of the run
    double timeLimitSeconds = 60;  // the process is killed with SIGKILL after this
    long long fileSizeLimit = -1;  // RLIMIT_FSIZE in bytes, with SIGXFSZ ignored; -1 for none
};

// Runs options.program with `arguments` (no shell involved) and standard input from /dev/null.
CliRun runCli(const std::vector<std::string>& arguments, const CliOptions& options);

// True when the run's output shows a sanitizer report.
bool sanitizerReported(const CliRun& run);

// Names of the entries of a folder (not recursive), sorted; empty when it does not exist.
std::vector<std::string> entriesOf(const std::filesystem::path& folder);

// The text of every file of a folder, concatenated in name order.
std::string folderText(const std::filesystem::path& folder);

// The path quoted for the shell.
std::string q(const std::filesystem::path& path);

// True when `line` is a whole line of `output`.
bool printedLine(const std::string& output, const std::string& line);

} // namespace folvane::test
