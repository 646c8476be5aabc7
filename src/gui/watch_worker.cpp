#include "watch_worker.h"

#include <QCoreApplication>
#include <QThread>

#include "engine/engine_client.h"

namespace folvane::gui {

WatchWorker::WatchWorker(QObject* parent) : QObject(parent) {}

WatchWorker::~WatchWorker()
{
    if (m_thread.joinable()) {
        m_detached = true;
        if (m_state)
            m_state->stopRequested = 1;
        // The runner may be waiting for a report to be shown on this thread: keep serving them
        // (they are no longer passed on) until it has ended.
        while (!m_finished.load())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        m_thread.join();
    }
}

void WatchWorker::onUiThread(const std::function<void()>& call)
{
    if (QThread::currentThread() == thread()) {
        call();
        return;
    }
    QMetaObject::invokeMethod(this, [this, &call] {
        if (!m_detached.load())
            call();
    }, Qt::BlockingQueuedConnection);
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
    if (!jobs::beginWatch(*m_state, settings, policy, *this))
        return false;
    m_settings = std::move(settings);
    m_report = {};
    m_finished = false;
    m_thread = std::thread([this] {
        engine::CEngineClient engine;
        services::SystemActions& actions = m_actions ? *m_actions : services::systemActions();
        jobs::WatchContext context {engine, *this, actions, m_afterAction,
                                    [this](const std::string& path, std::string_view outcome, std::string_view reason) {
                                        QString file = QString::fromStdString(path);
                                        QString word = QString::fromUtf8(outcome.data(), qsizetype(outcome.size()));
                                        QString why = QString::fromUtf8(reason.data(), qsizetype(reason.size()));
                                        onUiThread([&] { emit fileDone(file, word, why); });
                                    },
                                    {}, {}};
        jobs::WatchReport report = jobs::runWatch(*m_state, m_settings, context);
        onUiThread([&] {
            m_report = report;
            emit runEnded(report.stopped);
        });
        m_finished = true;
    });
    return true;
}

void WatchWorker::stop()
{
    if (running())
        m_state->stopRequested = 1;
}

void WatchWorker::jobStateChanged(bool running)
{
    // The end is reported once the runner has returned, with its report (see start()).
    if (running)
        onUiThread([this] { emit runStarted(); });
}

void WatchWorker::watchStateLine(const std::string& text)
{
    QString line = QString::fromStdString(text);
    onUiThread([&] { emit stateLine(line); });
}

void WatchWorker::outputNameShown(const std::string& path)
{
    QString file = QString::fromStdString(path);
    onUiThread([&] { emit outputShown(file); });
}

std::string WatchWorker::askOutputName(const std::string& existingPath)
{
    std::string answer;
    if (m_askName)
        onUiThread([&] { answer = m_askName(existingPath); });
    return answer;
}

} // namespace folvane::gui
