#pragma once
// Runs folvane-cli as a user would, isolated from the user's own files: its own HOME and XDG
// folders and settings file below a scratch folder, standard input from /dev/null.

#include <filesystem>
#include <string>
#include <sys/types.h>

#include "support/test_support.h"

namespace folvane::test {

class CliSession {
public:
    // `program` is the folvane-cli to run; `dir` the scratch folder that holds home/ and
    // Settings.ini.
    CliSession(std::string program, std::filesystem::path dir);

    // Runs `arguments` (already quoted for the shell) and waits; output is stdout and stderr.
    CommandResult run(const std::string& arguments) const;
    // The shell command run() would run, with `prefix` (say "strace -f -o LOG") before the program.
    std::string command(const std::string& arguments, const std::string& prefix = {}) const;
    // Starts `arguments` in a process of its own with output discarded; returns its id.
    pid_t start(const std::string& arguments) const;

private:
    std::string m_program;
    std::filesystem::path m_dir;
};

// The path quoted for the shell.
std::string q(const std::filesystem::path& path);

// True when `line` is a whole line of `output`.
bool printedLine(const std::string& output, const std::string& line);

} // namespace folvane::test
