#include "job_runner.h"

#include <QCoreApplication>

namespace folvane::gui {

JobRunner::JobRunner(jobs::JobObserver& ui, QObject* parent)
    : QObject(parent), m_observer(*this, ui, ObserverBridge::Updates::Posted)
{
}

JobRunner::~JobRunner()
{
    if (m_thread.joinable()) {
        m_observer.abandon();
        requestStop();
        m_thread.join();
    }
    // Updates still queued for this object are dropped with it.
}

void JobRunner::start(jobs::JobState& state, std::vector<jobs::FileRow> rows, jobs::JobSettings settings,
                      services::SystemActions& actions,
                      std::function<int()> afterAction, FinishedHandler finished)
{
    if (running())
        return;
    m_state = &state;
    m_rows = std::move(rows);
    m_settings = std::move(settings);
    m_context = std::make_unique<jobs::JobContext>(
        jobs::JobContext {m_observer, actions, std::move(afterAction)});
    m_finished = std::move(finished);
    m_report = {};
    m_thread = std::thread([this] {
        m_report = jobs::runJob(*m_state, m_rows, m_settings, *m_context);
        // Queued after every update of the job, so the page sees it last.
        QMetaObject::invokeMethod(this, [this] { workerDone(); }, Qt::QueuedConnection);
    });
}

void JobRunner::requestStop()
{
    if (m_state)
        m_state->stopRequested = 1;
}

void JobRunner::waitForFinished()
{
    // The worker may be waiting for a question that only this thread can answer, so this
    // thread keeps handling events instead of blocking in join.
    while (running())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

void JobRunner::workerDone()
{
    if (!m_thread.joinable())
        return;
    m_thread.join();
    m_context.reset();
    FinishedHandler finished = std::move(m_finished);
    m_finished = nullptr;
    if (finished)
        finished(std::move(m_rows), m_report);
    m_rows.clear();
}

} // namespace folvane::gui
