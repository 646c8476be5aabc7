#pragma once
// ObserverBridge: the job observer a worker thread reports to, carrying every call to the
// user-interface thread (the thread of a `home` object) and on to the page's own observer.
//
// Calls reach the page in the order the job makes them. With Updates::Posted the worker does not
// wait for an update to be shown; with Updates::Waited it waits until each one was. A question
// (continue? which file name?) always waits for its answer. Calls made on the home thread itself
// go straight through.
//
// Teardown: once abandon() was called nothing more reaches the page, and every wait ends at once
// (within a few hundredths of a second for one already going), a question with the answer of a
// user who declines. So a page torn down during a job never leaves the two threads waiting on
// each other: its owner calls abandon(), asks the job to stop and joins the worker.

#include <QObject>

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "jobs/job_observer.h"

namespace folvane::gui {

class ObserverBridge : public jobs::JobObserver {
public:
    enum class Updates { Posted, Waited };

    // `home` and `page` must outlive the bridge; `page` is only called on home's thread.
    ObserverBridge(QObject& home, jobs::JobObserver& page, Updates updates);

    // From now on nothing more reaches the page and waits end. Any thread.
    void abandon() { m_abandoned->store(true); }
    // Runs `call` on the home thread, waiting for it like an update; nothing once abandoned.
    void deliver(std::function<void()> call);

    void rowSelected(size_t row) override;
    void rowStatus(size_t row, const std::string& status) override;
    void rowsReordered(const std::vector<size_t>& previousIndex) override;
    void outputNameShown(const std::string& path) override;
    void jobStateChanged(bool running) override;
    void watchStateLine(const std::string& text) override;
    void textRecognised(size_t row, int frames, double seconds) override;
    jobs::ContinueAnswer askContinue() override;
    std::string askOutputName(const std::string& existingPath) override;

private:
    bool onHomeThread() const;
    void update(std::function<void(jobs::JobObserver&)> call);
    // Runs `call` on the home thread; with `wait`, returns once it ran or the bridge was abandoned
    // (false then, when it did not run).
    bool send(std::function<void()> call, bool wait);

    QObject& m_home;
    jobs::JobObserver& m_page;
    Updates m_updates;
    std::shared_ptr<std::atomic<bool>> m_abandoned = std::make_shared<std::atomic<bool>>(false);
};

} // namespace folvane::gui
