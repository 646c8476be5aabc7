#include "terminal_observer.h"

#include <iostream>

namespace folvane::cli {

TerminalObserver::TerminalObserver(size_t rowCount, bool showProgress, bool interactive)
    : m_rowCount(rowCount)
    , m_showProgress(showProgress)
    , m_interactive(interactive)
{
}

void TerminalObserver::rowSelected(size_t row)
{
    if (!m_showProgress || row >= m_rowCount)
        return;
    std::fprintf(stderr, "\r\033[Kfile %zu of %zu", row + 1, m_rowCount);
    std::fflush(stderr);
    m_progressShown = true;
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
