#pragma once
// WatchWorker: runs the watch-folder runner of the core on a worker thread for the watch-folder
// page and hands its reports to the user-interface thread as signals.
//
// Threads: every method is called on the user-interface thread (the thread the worker lives in).
// The runner's reports reach that thread through an ObserverBridge that waits for each, so they
// arrive in the order the runner makes them and the runner waits until each is shown. The
// user-interface thread therefore never blocks on the runner while it runs: stop() only raises
// the flag, and the end is reported by runEnded(). Only the destructor waits: it abandons the
// bridge first, so the runner no longer waits for this thread, and then joins it.

#include <QObject>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "jobs/watch_runner.h"
#include "observer_bridge.h"
#include "services/system_actions.h"

namespace folvane::gui {

class WatchWorker : public QObject, private jobs::JobObserver {
    Q_OBJECT
public:
    explicit WatchWorker(QObject* parent = nullptr);
    // Stops a run that is still going and waits for its end.
    ~WatchWorker() override;

    // The after-conversion action of a single pass ("after"), asked on the worker thread when
    // the pass ends; none means "Do Nothing".
    void setAfterAction(std::function<int()> action) { m_afterAction = std::move(action); }
    // The system the after-conversion action acts on; the process's real one unless replaced.
    void setSystemActions(services::SystemActions* actions) { m_actions = actions; }
    // Answers the "Ask always" question on the user-interface thread: the chosen file, or an
    // empty text for Cancel.
    void setOutputNameAsker(std::function<std::string(const std::string&)> asker) { m_askName = std::move(asker); }

    // Start pressed while no run is going: false, and nothing starts, when the settings' input
    // folder is empty or no existing folder. Otherwise runStarted() has been emitted when this
    // returns and the runner is going on its thread with its own copy of the settings.
    bool start(jobs::WatchSettings settings, int policy, const jobs::LogSettings& log);
    // Asks the run to stop: the current file is finished, the wait between passes ends within
    // a second. runEnded() follows.
    void stop();
    // From start() until the runner has ended.
    bool running() const { return m_state && m_state->running.load() != 0; }
    bool stopRequested() const { return m_state && m_state->stopRequested.load() != 0; }
    // The last run's report, valid after runEnded().
    jobs::WatchReport lastReport() const { return m_report; }

signals:
    void runStarted();
    // The run ended; `stopped` when the user stopped it.
    void runEnded(bool stopped);
    // The state line now reads `text` (empty clears it).
    void stateLine(const QString& text);
    // The output file the run writes now.
    void outputShown(const QString& path);
    // The outcome of one file: "Succeed", "Failed" or "Skipped", with the reason of a failure.
    void fileDone(const QString& path, const QString& outcome, const QString& reason);

private:
    void jobStateChanged(bool running) override;
    void watchStateLine(const std::string& text) override;
    void outputNameShown(const std::string& path) override;
    std::string askOutputName(const std::string& existingPath) override;

    void join();

    ObserverBridge m_bridge; // the runner's observer; passes its calls on to this object's

    std::unique_ptr<jobs::WatchState> m_state;
    jobs::WatchSettings m_settings;
    jobs::WatchReport m_report;
    std::thread m_thread;
    std::function<int()> m_afterAction;
    services::SystemActions* m_actions = nullptr;
    std::function<std::string(const std::string&)> m_askName;
};

} // namespace folvane::gui
