#include "parallel_documents.h"

#include <algorithm>
#include <condition_variable>
#include <csignal>
#include <exception>
#include <memory>
#include <mutex>
#include <pthread.h>
#include <strings.h>
#include <system_error>
#include <thread>

namespace folvane::jobs {

namespace {

using Report = std::function<void(JobObserver&)>;

// The observer a document reports to on a worker: keeps the updates until they are handed on in
// input order, and passes questions to the job's thread, which asks them at once.
class RecordingObserver : public JobObserver {
public:
    explicit RecordingObserver(std::function<void(const Report&)> ask)
        : m_ask(std::move(ask))
    {
    }

    void rowSelected(size_t row) override
    {
        m_reports.push_back([row](JobObserver& o) { o.rowSelected(row); });
    }
    void rowStatus(size_t row, const std::string& status) override
    {
        m_reports.push_back([row, status](JobObserver& o) { o.rowStatus(row, status); });
    }
    void rowsReordered(const std::vector<size_t>& previousIndex) override
    {
        m_reports.push_back([previousIndex](JobObserver& o) { o.rowsReordered(previousIndex); });
    }
    void outputNameShown(const std::string& path) override
    {
        m_reports.push_back([path](JobObserver& o) { o.outputNameShown(path); });
    }
    void jobStateChanged(bool running) override
    {
        m_reports.push_back([running](JobObserver& o) { o.jobStateChanged(running); });
    }
    void watchStateLine(const std::string& text) override
    {
        m_reports.push_back([text](JobObserver& o) { o.watchStateLine(text); });
    }
    void textRecognised(size_t row, int frames, double seconds) override
    {
        m_reports.push_back([=](JobObserver& o) { o.textRecognised(row, frames, seconds); });
    }
    void pagesBegun(size_t row, int pages) override
    {
        m_reports.push_back([=](JobObserver& o) { o.pagesBegun(row, pages); });
    }
    ContinueAnswer askContinue() override
    {
        ContinueAnswer answer = kNewConvert;
        m_ask([&answer](JobObserver& o) { answer = o.askContinue(); });
        return answer;
    }
    std::string askOutputName(const std::string& existingPath) override
    {
        std::string answer;
        m_ask([&answer, &existingPath](JobObserver& o) { answer = o.askOutputName(existingPath); });
        return answer;
    }

    void handOn(JobObserver& target) const
    {
        for (const Report& report : m_reports)
            report(target);
    }

private:
    std::function<void(const Report&)> m_ask;
    std::vector<Report> m_reports;
};

// Blocks the signals that ask a job to stop (and the other terminal signals) on the threads
// started while it lives: they then reach the job's thread, whose waits simply resume, instead of
// interrupting a worker in the middle of reading an image or writing a PDF.
class QuietSignals {
public:
    QuietSignals()
    {
        sigset_t stopping;
        sigemptyset(&stopping);
        for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT})
            sigaddset(&stopping, signal);
        ::pthread_sigmask(SIG_BLOCK, &stopping, &m_previous);
    }
    ~QuietSignals() { ::pthread_sigmask(SIG_SETMASK, &m_previous, nullptr); }
    QuietSignals(const QuietSignals&) = delete;
    QuietSignals& operator=(const QuietSignals&) = delete;

private:
    sigset_t m_previous;
};

class ParallelRun {
public:
    ParallelRun(std::vector<DocumentUnit>& units, int workers, JobObserver& observer, JobLog& log,
                const std::atomic<int>& stopRequested)
        : m_units(units)
        , m_workerCount(static_cast<size_t>(workers))
        , m_observer(observer)
        , m_log(log)
        , m_stopRequested(stopRequested)
    {
        m_slots.reserve(units.size());
        for (size_t i = 0; i < units.size(); ++i) {
            auto slot = std::make_unique<Slot>([this](const Report& question) { ask(question); });
            // "[Time]" records read the job's clock, which a test may have replaced by one that
            // is not made for several threads.
            slot->log.setClock([this] {
                std::lock_guard lock(m_clockMutex);
                return m_log.clock()();
            });
            m_slots.push_back(std::move(slot));
        }
    }

    // False, with nothing done, when not a single worker thread could be started.
    bool run()
    {
        std::vector<std::thread> threads;
        {
            QuietSignals quiet;
            size_t count = std::min(m_workerCount, m_units.size());
            for (size_t i = 0; i < count; ++i) {
                std::lock_guard lock(m_mutex);
                try {
                    threads.emplace_back([this] { workerLoop(); });
                } catch (const std::system_error&) {
                    break; // the system has no more threads to give: fewer workers do
                }
                ++m_activeWorkers;
            }
        }
        if (threads.empty())
            return false;
        releaseInOrder();
        for (std::thread& thread : threads)
            thread.join();
        if (m_error)
            std::rethrow_exception(m_error);
        return true;
    }

private:
    struct Slot {
        explicit Slot(std::function<void(const Report&)> ask)
            : observer(std::move(ask))
        {
        }
        RecordingObserver observer;
        JobLog log;
        bool done = false;
    };

    // The opener of one unit on a worker: opens in input order and waits while the name would
    // depend on a document that is still open.
    class GatedOpener : public OutputOpener {
    public:
        GatedOpener(ParallelRun& run, size_t index)
            : m_run(run)
            , m_index(index)
        {
        }

        OutputDocument open(const std::string& wantedPath, const OutputPolicy& policy) override
        {
            std::unique_lock lock(m_run.m_mutex);
            m_run.m_changed.wait(lock, [&] { return m_run.m_openTurn == m_index; });
            auto taken = [this](const std::string& path) { return m_run.pathOpen(path); };
            m_run.m_changed.wait(lock,
                                 [&] { return !outputNameTouches(wantedPath, policy.policy, policy.style, taken); });

            // A name the user types may be that of a document still being written: it is used
            // once that document is complete, as it would be by a single worker.
            AnswerWaiter waiter(policy.observer, lock, m_run);
            OutputPolicy gated = policy;
            gated.observer = policy.observer ? &waiter : nullptr;
            OutputDocument doc = openOutputDocument(wantedPath, gated);
            if (doc.isOpen()) {
                m_openPath = doc.path;
                m_run.m_openPaths.push_back(doc.path);
            }
            passTurn();
            return doc;
        }

        void closed() override
        {
            std::lock_guard lock(m_run.m_mutex);
            forgetPath();
        }

        // After the unit's work: a unit that opened nothing still passes its turn, and a
        // document left open by an exception no longer holds its name.
        void finish()
        {
            std::unique_lock lock(m_run.m_mutex);
            if (!m_turnPassed) {
                m_run.m_changed.wait(lock, [&] { return m_run.m_openTurn == m_index; });
                passTurn();
            }
            forgetPath();
        }

    private:
        class AnswerWaiter : public JobObserver {
        public:
            AnswerWaiter(JobObserver* inner, std::unique_lock<std::mutex>& lock, ParallelRun& run)
                : m_inner(inner)
                , m_lock(lock)
                , m_run(run)
            {
            }
            std::string askOutputName(const std::string& existingPath) override
            {
                m_lock.unlock();
                std::string answer = m_inner->askOutputName(existingPath);
                m_lock.lock();
                if (!answer.empty())
                    m_run.m_changed.wait(m_lock, [&] { return !m_run.pathOpen(answer); });
                return answer;
            }

        private:
            JobObserver* m_inner;
            std::unique_lock<std::mutex>& m_lock;
            ParallelRun& m_run;
        };

        // Called with the run's mutex held.
        void passTurn()
        {
            m_turnPassed = true;
            ++m_run.m_openTurn;
            m_run.m_changed.notify_all();
        }
        void forgetPath()
        {
            if (m_openPath.empty())
                return;
            auto& paths = m_run.m_openPaths;
            auto found = std::find(paths.begin(), paths.end(), m_openPath);
            if (found != paths.end())
                paths.erase(found);
            m_openPath.clear();
            m_run.m_changed.notify_all();
        }

        ParallelRun& m_run;
        size_t m_index;
        bool m_turnPassed = false;
        std::string m_openPath;
    };

    // Called with m_mutex held. The engine refuses a second document under the same path in any
    // letter case, so names are compared the same way.
    bool pathOpen(const std::string& path) const
    {
        return std::any_of(m_openPaths.begin(), m_openPaths.end(),
                           [&](const std::string& open) { return strcasecmp(open.c_str(), path.c_str()) == 0; });
    }

    void workerLoop()
    {
        for (;;) {
            size_t index;
            {
                std::lock_guard lock(m_mutex);
                if (m_error || m_next >= m_units.size() || m_stopRequested.load() != 0)
                    break;
                index = m_next++;
            }
            runUnit(index);
            std::lock_guard lock(m_mutex);
            m_slots[index]->done = true;
            m_changed.notify_all();
        }
        std::lock_guard lock(m_mutex);
        --m_activeWorkers;
        m_changed.notify_all();
    }

    void runUnit(size_t index)
    {
        Slot& slot = *m_slots[index];
        GatedOpener opener(*this, index);
        DocumentScope scope {slot.observer, slot.log, opener};
        try {
            if (m_units[index].work)
                m_units[index].work(scope);
        } catch (...) {
            std::lock_guard lock(m_mutex);
            if (!m_error)
                m_error = std::current_exception();
        }
        opener.finish();
    }

    // On a worker: has the job's thread run `question` on the job's observer, one question at a
    // time, and returns once it has.
    void ask(const Report& question)
    {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [&] { return m_question == nullptr; });
        m_question = &question;
        m_changed.notify_all();
        m_changed.wait(lock, [&] { return m_question != &question; });
    }

    // On the job's thread: answers questions and hands the reports of finished units on, in
    // input order, until every started unit is released.
    void releaseInOrder()
    {
        size_t released = 0;
        std::unique_lock lock(m_mutex);
        for (;;) {
            m_changed.wait(lock, [&] {
                return m_question || released == m_units.size() || m_slots[released]->done || m_activeWorkers == 0;
            });
            if (m_question) {
                const Report* question = m_question;
                lock.unlock();
                try {
                    (*question)(m_observer);
                } catch (...) {
                    lock.lock();
                    if (!m_error)
                        m_error = std::current_exception();
                    lock.unlock();
                }
                lock.lock();
                m_question = nullptr;
                m_changed.notify_all();
                continue;
            }
            if (released < m_units.size() && m_slots[released]->done) {
                Slot& slot = *m_slots[released];
                lock.unlock();
                try {
                    slot.observer.handOn(m_observer);
                    m_log.appendRecordsOf(slot.log);
                    if (m_units[released].released)
                        m_units[released].released();
                } catch (...) {
                    lock.lock();
                    if (!m_error)
                        m_error = std::current_exception();
                    lock.unlock();
                }
                lock.lock();
                m_slots[released].reset(); // its reports are handed on: no need to keep them
                ++released;
                continue;
            }
            // Every unit released, or the workers ended (a stop) before starting the next one.
            break;
        }
    }

    std::vector<DocumentUnit>& m_units;
    size_t m_workerCount;
    JobObserver& m_observer;
    JobLog& m_log;
    const std::atomic<int>& m_stopRequested;
    std::vector<std::unique_ptr<Slot>> m_slots;
    std::mutex m_clockMutex;

    // Guarded by m_mutex.
    std::mutex m_mutex;
    std::condition_variable m_changed;
    size_t m_next = 0;        // the next unit to start
    size_t m_activeWorkers = 0;
    size_t m_openTurn = 0;    // the unit whose output document is opened next
    std::vector<std::string> m_openPaths; // files of the documents open now
    const Report* m_question = nullptr;
    std::exception_ptr m_error;
};

} // namespace

void runDocumentUnits(std::vector<DocumentUnit>& units, int workers, JobObserver& observer, JobLog& log,
                      const std::atomic<int>& stopRequested)
{
    if (workers <= 1) {
        DirectOpener opener;
        DocumentScope scope {observer, log, opener};
        for (DocumentUnit& unit : units) {
            if (stopRequested.load() != 0)
                break;
            if (unit.work)
                unit.work(scope);
            if (unit.released)
                unit.released();
        }
        return;
    }
    if (!ParallelRun(units, workers, observer, log, stopRequested).run())
        runDocumentUnits(units, 1, observer, log, stopRequested);
}

} // namespace folvane::jobs
