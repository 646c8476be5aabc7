#pragma once
// JobRunner: runs one conversion job of the file list on a worker thread and carries the job's
// observer calls to the user-interface thread.
//
// Updates (row selected, status, new row order, output name) are posted as queued calls, so the
// page sees them in the order the job made them without the worker waiting. A question (the
// output name under "Ask always") is posted the same way and the worker waits for the answer;
// the wait also ends when the runner is being destroyed, with the answer of a user who cancels,
// so tearing the page down during a job can never leave the two threads waiting on each other
// (see observer_bridge.h).
//
// Threads: every method is called on the thread that owns the runner (the user-interface
// thread); requestStop may be called from any thread.

#include <QObject>

#include <atomic>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "jobs/conversion_job.h"
#include "observer_bridge.h"
#include "services/system_actions.h"

namespace folvane::gui {

class JobRunner : public QObject {
    Q_OBJECT
public:
    // What the finished job hands back: its rows (with their statuses, converted flags and the
    // order the job left them in) and its report.
    using FinishedHandler = std::function<void(std::vector<jobs::FileRow>&& rows, const jobs::JobReport& report)>;

    // `ui` receives the job's observer calls on this object's thread; it must outlive the runner.
    explicit JobRunner(jobs::JobObserver& ui, QObject* parent = nullptr);
    // Stops a running job and waits for its worker (it finishes the row it is on).
    ~JobRunner() override;

    bool running() const { return m_thread.joinable(); }

    // Starts runJob on a worker thread. beginJob must have run on `state` and `rows` already.
    // `state` must outlive the job; the rows and settings belong to the job until
    // `finished` is called on this object's thread after the worker has ended.
    void start(jobs::JobState& state, std::vector<jobs::FileRow> rows, jobs::JobSettings settings,
               services::SystemActions& actions,
               std::function<int()> afterAction, FinishedHandler finished);

    // Asks the running job to stop after the row it is on.
    void requestStop();

    // Blocks until a running worker has ended, then delivers its pending updates and the finished
    // call. For tests and for shutting down.
    void waitForFinished();

private:
    void workerDone();

    ObserverBridge m_observer;
    jobs::JobState* m_state = nullptr;
    std::vector<jobs::FileRow> m_rows;
    jobs::JobSettings m_settings;
    std::unique_ptr<jobs::JobContext> m_context;
    jobs::JobReport m_report;
    FinishedHandler m_finished;
    std::thread m_thread;
};

} // namespace folvane::gui
