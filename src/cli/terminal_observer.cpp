#include "terminal_observer.h"

#include <iostream>

#include "jobs/job_log.h"

namespace folvane::cli {

namespace {

std::string clockText(double seconds)
{
    long whole = static_cast<long>(seconds + 0.5);
    char text[32];
    if (whole >= 3600)
        std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", whole / 3600, whole / 60 % 60, whole % 60);
    else
        std::snprintf(text, sizeof text, "%ld:%02ld", whole / 60, whole % 60);
    return text;
}

} // namespace

TerminalObserver::TerminalObserver(size_t rowCount, bool showProgress, bool interactive)
    : m_rowCount(rowCount)
    , m_showProgress(showProgress)
    , m_interactive(interactive)
    , m_done(rowCount, false)
    , m_start(std::chrono::steady_clock::now())
{
}

std::string TerminalObserver::progressText(size_t done, size_t total, long pages, double elapsedSeconds,
                                          long textPages, double textSeconds)
{
    std::string text = std::to_string(done) + " of " + std::to_string(total) + " files, " + std::to_string(pages) +
                       (pages == 1 ? " page, " : " pages, ");
    if (textPages > 0)
        text += "text read on " + std::to_string(textPages) + " (" + clockText(textSeconds) + "), ";
    text += clockText(elapsedSeconds) + " elapsed";
    if (done > 0 && done < total)
        text += ", about " + clockText(elapsedSeconds / static_cast<double>(done) * static_cast<double>(total - done)) +
                " left";
    return text;
}

void TerminalObserver::showProgress()
{
    if (!m_showProgress)
        return;
    double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count();
    std::string text =
        progressText(m_doneCount, m_rowCount, m_pages, elapsed, m_textPages, m_textSeconds);
    std::fprintf(stderr, "\r\033[K%s", text.c_str());
    std::fflush(stderr);
    m_progressShown = true;
}

void TerminalObserver::rowSelected(size_t row)
{
    if (row < m_rowCount)
        showProgress();
}

void TerminalObserver::rowStatus(size_t row, const std::string& status)
{
    if (row >= m_rowCount)
        return;
    bool finished = status == jobs::kStateSucceed || status == jobs::kStateFailed;
    if (finished != m_done[row]) {
        m_done[row] = finished;
        m_doneCount += finished ? 1 : static_cast<size_t>(-1);
    }
    if (finished)
        showProgress();
}

void TerminalObserver::textRecognised(size_t row, int frames, double seconds)
{
    m_textPages += frames;
    m_textSeconds += seconds;
    if (row < m_rowCount)
        showProgress(); // recognition is slow: show each page as it is read
}

void TerminalObserver::pagesBegun(size_t, int pages)
{
    // Shown with the row's status, which follows at once.
    m_pages += pages;
}

void TerminalObserver::jobStateChanged(bool running)
{
    if (!running)
        clearProgress();
}

void TerminalObserver::clearProgress()
{
    if (!m_progressShown)
        return;
    std::fprintf(stderr, "\r\033[K");
    std::fflush(stderr);
    m_progressShown = false;
}

std::string TerminalObserver::askOutputName(const std::string& existingPath)
{
    // Without a terminal nobody can answer: the job then uses a new numbered name, as a
    // cancelled dialog does.
    if (!m_interactive)
        return {};
    clearProgress();
    std::fprintf(stderr, "%s exists.\nSave as (empty for a new numbered name): ", existingPath.c_str());
    std::fflush(stderr);
    std::string answer;
    if (!std::getline(std::cin, answer))
        return {};
    return answer;
}

} // namespace folvane::cli
