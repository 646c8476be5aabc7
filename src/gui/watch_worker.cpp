#include "watch_worker.h"


namespace folvane::gui {

WatchWorker::WatchWorker(QObject* parent)
    : QObject(parent), m_bridge(*this, static_cast<jobs::JobObserver&>(*this), ObserverBridge::Updates::Waited)
{
}

WatchWorker::~WatchWorker()
{
    if (m_thread.joinable()) {
        // The runner may be waiting for a report to be shown on this thread: the bridge lets it
        // go on without, and it ends after the file it is on.
        m_bridge.abandon();
        if (m_state)
            m_state->stopRequested = 1;
        m_thread.join();
    }
}

void WatchWorker::join()
{
    if (m_thread.joinable())
        m_thread.join();
}

bool WatchWorker::start(jobs::WatchSettings settings, int policy, const jobs::LogSettings& log)
{
    if (running())
        return false;
    // A finished run's thread has at most its last few instructions left.
    join();
    // The state is in place before beginWatch reports the start, so running() holds then.
    m_state = std::make_unique<jobs::WatchState>();
    m_state->log.setSettings(log);
    if (!jobs::beginWatch(*m_state, settings, policy, m_bridge))
        return false;
    m_settings = std::move(settings);
    m_report = {};
    m_thread = std::thread([this] {
        services::SystemActions& actions = m_actions ? *m_actions : services::systemActions();
        jobs::WatchContext context {m_bridge, actions, m_afterAction,
                                    [this](const std::string& path, std::string_view outcome, std::string_view reason) {
                                        QString file = QString::fromStdString(path);
                                        QString word = QString::fromUtf8(outcome.data(), qsizetype(outcome.size()));
                                        QString why = QString::fromUtf8(reason.data(), qsizetype(reason.size()));
                                        m_bridge.deliver([this, file, word, why] { emit fileDone(file, word, why); });
                                    },
                                    {}, {}};
        jobs::WatchReport report = jobs::runWatch(*m_state, m_settings, context);
        m_bridge.deliver([this, report] {
            m_report = report;
            emit runEnded(report.stopped);
        });
    });
    return true;
}

void WatchWorker::stop()
{
    if (running())
        m_state->stopRequested = 1;
}

// The runner's reports, on the user-interface thread.

void WatchWorker::jobStateChanged(bool running)
{
    // The end is reported once the runner has returned, with its report (see start()).
    if (running)
        emit runStarted();
}

void WatchWorker::watchStateLine(const std::string& text)
{
    emit stateLine(QString::fromStdString(text));
}

void WatchWorker::outputNameShown(const std::string& path)
{
    emit outputShown(QString::fromStdString(path));
}

std::string WatchWorker::askOutputName(const std::string& existingPath)
{
    return m_askName ? m_askName(existingPath) : std::string();
}

} // namespace folvane::gui
