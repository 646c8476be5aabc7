#pragma once
// The job observer of the command line: progress "file n of N" on a terminal, and the question
// of the "ask" policy. Status lines are printed by the convert command after the job, because a
// failed final write can still change the statuses of a document's rows.

#include <cstddef>
#include <cstdio>
#include <string>

#include "jobs/job_observer.h"

namespace folvane::cli {

class TerminalObserver : public jobs::JobObserver {
public:
    // `showProgress`: write progress to standard error (a terminal, not quiet). `interactive`:
    // standard input and error are a terminal, so the "ask" policy can prompt.
    TerminalObserver(size_t rowCount, bool showProgress, bool interactive);

    void rowSelected(size_t row) override;
    void jobStateChanged(bool running) override;
    std::string askOutputName(const std::string& existingPath) override;

    // Removes the progress line so that the next output starts on a clean line.
    void clearProgress();

private:
    size_t m_rowCount;
    bool m_showProgress;
    bool m_interactive;
    bool m_progressShown = false;
};

} // namespace folvane::cli
