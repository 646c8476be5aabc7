#include "observer_bridge.h"

#include <QThread>

#include <chrono>
#include <future>

namespace folvane::gui {

ObserverBridge::ObserverBridge(QObject& home, jobs::JobObserver& page, Updates updates)
    : m_home(home), m_page(page), m_updates(updates)
{
}

bool ObserverBridge::onHomeThread() const
{
    return QThread::currentThread() == m_home.thread();
}

bool ObserverBridge::send(std::function<void()> call, bool wait)
{
    if (m_abandoned->load())
        return false;
    if (onHomeThread()) {
        call();
        return true;
    }
    // The queued call owns everything it uses: when the worker stopped waiting for it, it may
    // still run later, and then only finds the bridge abandoned. A call still queued when `home`
    // is destroyed is dropped with it.
    auto done = std::make_shared<std::promise<void>>();
    std::future<void> ran = done->get_future();
    QMetaObject::invokeMethod(
        &m_home,
        [abandoned = m_abandoned, call = std::move(call), done] {
            if (!abandoned->load())
                call();
            done->set_value();
        },
        Qt::QueuedConnection);
    if (!wait)
        return true;
    while (ran.wait_for(std::chrono::milliseconds(20)) != std::future_status::ready) {
        if (m_abandoned->load())
            return false;
    }
    return !m_abandoned->load();
}

void ObserverBridge::deliver(std::function<void()> call)
{
    send(std::move(call), m_updates == Updates::Waited);
}

void ObserverBridge::update(std::function<void(jobs::JobObserver&)> call)
{
    jobs::JobObserver* page = &m_page;
    send([page, call = std::move(call)] { call(*page); }, m_updates == Updates::Waited);
}

void ObserverBridge::rowSelected(size_t row)
{
    update([row](jobs::JobObserver& page) { page.rowSelected(row); });
}

void ObserverBridge::rowStatus(size_t row, const std::string& status)
{
    update([row, status](jobs::JobObserver& page) { page.rowStatus(row, status); });
}

void ObserverBridge::rowsReordered(const std::vector<size_t>& previousIndex)
{
    update([previousIndex](jobs::JobObserver& page) { page.rowsReordered(previousIndex); });
}

void ObserverBridge::outputNameShown(const std::string& path)
{
    update([path](jobs::JobObserver& page) { page.outputNameShown(path); });
}

void ObserverBridge::jobStateChanged(bool running)
{
    update([running](jobs::JobObserver& page) { page.jobStateChanged(running); });
}

void ObserverBridge::watchStateLine(const std::string& text)
{
    update([text](jobs::JobObserver& page) { page.watchStateLine(text); });
}

void ObserverBridge::textRecognised(size_t row, int frames, double seconds)
{
    update([row, frames, seconds](jobs::JobObserver& page) { page.textRecognised(row, frames, seconds); });
}

jobs::ContinueAnswer ObserverBridge::askContinue()
{
    auto answer = std::make_shared<jobs::ContinueAnswer>(jobs::kNewConvert);
    jobs::JobObserver* page = &m_page;
    if (!send([page, answer] { *answer = page->askContinue(); }, true))
        return jobs::kNewConvert;
    return *answer;
}

std::string ObserverBridge::askOutputName(const std::string& existingPath)
{
    auto answer = std::make_shared<std::string>();
    jobs::JobObserver* page = &m_page;
    if (!send([page, answer, existingPath] { *answer = page->askOutputName(existingPath); }, true))
        return {};
    return *answer;
}

} // namespace folvane::gui
