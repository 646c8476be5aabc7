#pragma once
// Option values shared by the commands that run conversions: the mode, policy and action words,
// absolute paths, and stopping on SIGINT/SIGTERM the way the Stop button does.

#include <atomic>
#include <csignal>
#include <string>
#include <vector>

#include "app/output_settings.h"
#include "app/settings_store.h"
#include "jobs/output_naming.h"

namespace folvane::cli {

// The running job's stop flag, set by SIGINT/SIGTERM.
extern std::atomic<int>* g_stopFlag;
extern "C" void requestStop(int);

// While it lives, SIGINT and SIGTERM set `flag` instead of ending the process.
struct StopOnSignal {
    explicit StopOnSignal(std::atomic<int>& flag)
    {
        g_stopFlag = &flag;
        struct sigaction action {};
        action.sa_handler = requestStop;
        sigemptyset(&action.sa_mask);
        ::sigaction(SIGINT, &action, &m_previousInt);
        ::sigaction(SIGTERM, &action, &m_previousTerm);
    }
    ~StopOnSignal()
    {
        ::sigaction(SIGINT, &m_previousInt, nullptr);
        ::sigaction(SIGTERM, &m_previousTerm, nullptr);
        g_stopFlag = nullptr;
    }
    struct sigaction m_previousInt {};
    struct sigaction m_previousTerm {};
};

// -1 for a word that is not one of the command line's values.
int modeNumber(const std::string& mode);
int policyNumber(const std::string& policy);
int actionNumber(const std::string& action);

std::string absolutePath(const std::string& path);

// Puts "--output PATH" in place of the stored output of the run's mode (a folder for the image
// and folder modes); nothing changes for an empty path.
void applyOutputOption(jobs::OutputPaths& paths, int mode, const std::string& output);

} // namespace folvane::cli
