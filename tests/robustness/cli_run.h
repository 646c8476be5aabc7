#pragma once
// Running folvane-cli for the robustness tests: its own HOME, settings file and temporary folder
// below the scratch folder, standard output and standard error kept apart, a time limit, and an
// optional file-size limit set in the child before exec.

#include <filesystem>
#include <string>
#include <vector>

namespace folvane::test {

struct CliRun {
    int exitCode = -1;    // the exit status, or -1 when the process did not exit normally
    int signal = 0;       // the signal that ended it, or 0
    bool timedOut = false;// killed after the time limit
    double seconds = 0;   // wall-clock time
    std::string out;      // standard output
    std::string err;      // standard error
};

struct CliOptions {
    std::filesystem::path home;    // HOME and XDG folders; the settings file lies beside it
    std::filesystem::path tmp;     // TMPDIR of the run
    double timeLimitSeconds = 60;  // the process is killed with SIGKILL after this
    long long fileSizeLimit = -1;  // RLIMIT_FSIZE in bytes, with SIGXFSZ ignored; -1 for none
};

// Runs FOLVANE_CLI with `arguments` (no shell involved) and standard input from /dev/null.
CliRun runCli(const std::vector<std::string>& arguments, const CliOptions& options);

// True when the run's output shows a sanitizer report.
bool sanitizerReported(const CliRun& run);

// Names of the entries of a folder (not recursive), sorted; empty when it does not exist.
std::vector<std::string> entriesOf(const std::filesystem::path& folder);

// The text of every file of a folder, concatenated in name order.
std::string folderText(const std::filesystem::path& folder);

} // namespace folvane::test
