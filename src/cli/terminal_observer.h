#pragma once
// The job observer of the command line: the progress line on standard error (files done of
// total, pages begun, time elapsed and an estimate of the time left), and the question of the
// "ask" policy. Status lines are printed by the convert command after the job, because a failed
// final write can still change the statuses of a document's rows.

#include <chrono>
#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

#include "jobs/job_observer.h"

namespace folvane::cli {

class TerminalObserver : public jobs::JobObserver {
public:
    // `showProgress`: write the progress line to standard error. `interactive`: standard input
    // and error are a terminal, so the "ask" policy can prompt.
    TerminalObserver(size_t rowCount, bool showProgress, bool interactive);

    void rowSelected(size_t row) override;
    void rowStatus(size_t row, const std::string& status) override;
    void jobStateChanged(bool running) override;
    std::string askOutputName(const std::string& existingPath) override;
    void textRecognised(size_t row, int frames, double seconds) override;
    void pagesBegun(size_t row, int pages) override;

    // Removes the progress line so that the next output starts on a clean line.
    void clearProgress();

    // "3 of 10 files, 12 pages, 0:05 elapsed, about 0:12 left"; with text recognition
    // "3 of 10 files, 12 pages, text read on 12 (0:04), 0:05 elapsed, about 0:12 left".
    static std::string progressText(size_t done, size_t total, long pages, double elapsedSeconds,
                                    long textPages = 0, double textSeconds = 0);

private:
    void showProgress();

    size_t m_rowCount;
    bool m_showProgress;
    bool m_interactive;
    std::vector<bool> m_done;
    size_t m_doneCount = 0;
    std::chrono::steady_clock::time_point m_start;
    bool m_progressShown = false;
    long m_pages = 0;          // pages begun, over all workers
    long m_textPages = 0;      // frames read by text recognition, over all workers
    double m_textSeconds = 0;  // the time they took, summed
};

} // namespace folvane::cli
