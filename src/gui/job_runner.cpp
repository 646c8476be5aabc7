#include "job_runner.h"

#include <QCoreApplication>
#include <QThread>

#include <chrono>
#include <future>

namespace folvane::gui {

// Carries each observer call of the worker to the runner's thread. Calls made on that thread
// already (beginJob runs there) go straight through.
class JobRunner::QueuedObserver : public jobs::JobObserver {
public:
    QueuedObserver(JobRunner& runner, jobs::JobObserver& ui, const std::atomic<bool>& abandoned)
        : m_runner(runner), m_ui(ui), m_abandoned(abandoned)
    {
    }

    void rowSelected(size_t row) override
    {
        post([row](jobs::JobObserver& ui) { ui.rowSelected(row); });
    }
    void rowStatus(size_t row, const std::string& status) override
    {
        post([row, status](jobs::JobObserver& ui) { ui.rowStatus(row, status); });
    }
    void rowsReordered(const std::vector<size_t>& previousIndex) override
    {
        post([previousIndex](jobs::JobObserver& ui) { ui.rowsReordered(previousIndex); });
    }
    void outputNameShown(const std::string& path) override
    {
        post([path](jobs::JobObserver& ui) { ui.outputNameShown(path); });
    }
    void jobStateChanged(bool running) override
    {
        post([running](jobs::JobObserver& ui) { ui.jobStateChanged(running); });
    }
    void watchStateLine(const std::string& text) override
    {
        post([text](jobs::JobObserver& ui) { ui.watchStateLine(text); });
    }
    void textRecognised(size_t row, int frames, double seconds) override
    {
        post([row, frames, seconds](jobs::JobObserver& ui) { ui.textRecognised(row, frames, seconds); });
    }
    jobs::ContinueAnswer askContinue() override
    {
        return ask<jobs::ContinueAnswer>([](jobs::JobObserver& ui) { return ui.askContinue(); }, jobs::kNewConvert);
    }
    std::string askOutputName(const std::string& existingPath) override
    {
        return ask<std::string>([existingPath](jobs::JobObserver& ui) { return ui.askOutputName(existingPath); },
                                std::string());
    }

private:
    bool onRunnerThread() const { return QThread::currentThread() == m_runner.thread(); }

    template <typename Call>
    void post(Call call)
    {
        if (onRunnerThread()) {
            call(m_ui);
            return;
        }
        jobs::JobObserver* ui = &m_ui;
        QMetaObject::invokeMethod(&m_runner, [ui, call] { call(*ui); }, Qt::QueuedConnection);
    }

    // Posts the question and waits for its answer. When the runner is torn down meanwhile the
    // question will never be answered (its queued call dies with the runner): the wait ends with
    // `declined` instead.
    template <typename Answer, typename Call>
    Answer ask(Call call, Answer declined)
    {
        if (onRunnerThread())
            return call(m_ui);
        auto promise = std::make_shared<std::promise<Answer>>();
        std::future<Answer> future = promise->get_future();
        jobs::JobObserver* ui = &m_ui;
        QMetaObject::invokeMethod(
            &m_runner, [ui, call, promise] { promise->set_value(call(*ui)); }, Qt::QueuedConnection);
        while (future.wait_for(std::chrono::milliseconds(50)) != std::future_status::ready) {
            if (m_abandoned.load())
                return declined;
        }
        return future.get();
    }

    JobRunner& m_runner;
    jobs::JobObserver& m_ui;
    const std::atomic<bool>& m_abandoned;
};

JobRunner::JobRunner(jobs::JobObserver& ui, QObject* parent)
    : QObject(parent), m_ui(ui), m_observer(std::make_unique<QueuedObserver>(*this, ui, m_abandoned))
{
}

JobRunner::~JobRunner()
{
    if (m_thread.joinable()) {
        m_abandoned = true;
        requestStop();
        m_thread.join();
    }
    // Updates still queued for this object are dropped with it.
}

void JobRunner::start(jobs::JobState& state, std::vector<jobs::FileRow> rows, jobs::JobSettings settings,
                      std::unique_ptr<engine::CEngineClient> engine, services::SystemActions& actions,
                      std::function<int()> afterAction, FinishedHandler finished)
{
    if (running())
        return;
    m_state = &state;
    m_rows = std::move(rows);
    m_settings = std::move(settings);
    m_engine = std::move(engine);
    m_context = std::make_unique<jobs::JobContext>(
        jobs::JobContext {*m_engine, *m_observer, actions, std::move(afterAction)});
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
    m_engine.reset();
    FinishedHandler finished = std::move(m_finished);
    m_finished = nullptr;
    if (finished)
        finished(std::move(m_rows), m_report);
    m_rows.clear();
}

} // namespace folvane::gui
