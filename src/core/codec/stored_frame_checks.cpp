#include "codec/stored_frame_checks.h"

#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

#include "base/file_stamp.h"
#include "stored_frame_reader.h"

namespace folvane::codec {

namespace {

// Hints nobody asks about again (a job that skipped a file) are forgotten beyond this many.
constexpr size_t kMaxKept = 16;

using Key = std::pair<std::string, int>;

struct Check {
    enum class Phase { Queued, Running, Done } phase = Phase::Queued;
    FileStamp stamp;    // of the file the check read; empty when it changed meanwhile
    bool stored = false;
    StoredBilevelFrame frame;
};

} // namespace

struct StoredFrameChecks::State {
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<Key> queue;
    std::map<Key, Check> checks;
    bool stopping = false;
    std::thread worker;
    // Each thread reads through its own open file.
    StoredFrameReader workerReader;
    StoredFrameReader ownerReader;

    void run()
    {
        std::unique_lock lock(mutex);
        for (;;) {
            changed.wait(lock, [this] { return stopping || !queue.empty(); });
            if (stopping)
                return;
            checkNext(lock, workerReader);
        }
    }

    // Takes the first queued check and makes it through `reader` (the calling thread's) with the
    // lock released. False when none is queued.
    bool checkNext(std::unique_lock<std::mutex>& lock, StoredFrameReader& reader)
    {
        while (!queue.empty()) {
            Key key = std::move(queue.front());
            queue.pop_front();
            auto it = checks.find(key);
            if (it == checks.end() || it->second.phase != Check::Phase::Queued)
                continue; // taken over by the thread that needed it
            it->second.phase = Check::Phase::Running;
            lock.unlock();
            Check done;
            done.phase = Check::Phase::Done;
            done.stamp = fileStamp(key.first);
            done.stored = reader.read(key.first, key.second, done.frame);
            if (!(fileStamp(key.first) == done.stamp))
                done.stamp = FileStamp{};
            lock.lock();
            checks[key] = done; // a running check is never removed by anyone else
            changed.notify_all();
            return true;
        }
        return false;
    }

    // Forgets finished checks when too many are kept.
    void trim()
    {
        for (auto it = checks.begin(); checks.size() > kMaxKept && it != checks.end();)
            it = it->second.phase == Check::Phase::Done ? checks.erase(it) : std::next(it);
    }
};

StoredFrameChecks::StoredFrameChecks() : m_state(std::make_unique<State>()) {}

StoredFrameChecks::~StoredFrameChecks()
{
    {
        std::lock_guard lock(m_state->mutex);
        m_state->stopping = true;
    }
    m_state->changed.notify_all();
    if (m_state->worker.joinable())
        m_state->worker.join();
}

void StoredFrameChecks::expect(const std::string& path, int index)
{
    if (path.empty() || index < 0)
        return;
    {
        std::lock_guard lock(m_state->mutex);
        Key key{path, index};
        if (m_state->checks.count(key))
            return;
        m_state->trim();
        m_state->checks.emplace(key, Check{});
        m_state->queue.push_back(std::move(key));
        if (!m_state->worker.joinable())
            m_state->worker = std::thread([state = m_state.get()] { state->run(); });
    }
    m_state->changed.notify_all();
}

bool StoredFrameChecks::storedGroup4Frame(const std::string& path, int index, StoredBilevelFrame& frame)
{
    std::optional<Check> found;
    {
        std::unique_lock lock(m_state->mutex);
        auto it = m_state->checks.find(Key{path, index});
        if (it != m_state->checks.end()) {
            if (it->second.phase != Check::Phase::Queued) {
                // While the other thread checks this frame, this one checks what is queued next.
                while (it->second.phase != Check::Phase::Done)
                    if (!m_state->checkNext(lock, m_state->ownerReader))
                        m_state->changed.wait(lock, [&] { return it->second.phase == Check::Phase::Done; });
                found = it->second;
            }
            m_state->checks.erase(it); // a queued check is taken over here
        }
    }
    if (found && found->stamp.valid() && found->stamp == fileStamp(path)) {
        if (found->stored)
            frame = found->frame;
        return found->stored;
    }
    return m_state->ownerReader.read(path, index, frame);
}

} // namespace folvane::codec
