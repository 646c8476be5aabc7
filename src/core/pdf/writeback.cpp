#include "writeback.h"

#include <fcntl.h>

namespace folvane::pdf {

namespace {

// Small enough to keep the disk busy early, large enough that the requests cost nothing.
constexpr int64_t kStep = 4 << 20;

} // namespace

void Writeback::written(int fd, int64_t end)
{
    std::unique_lock lock(m_mutex);
    if (m_stop || end - m_taken < kStep)
        return;
    if (!m_thread.joinable()) {
        m_fd = fd;
        m_thread = std::thread([this] { run(); });
    }
    m_posted = end;
    lock.unlock();
    m_wake.notify_one();
}

void Writeback::finish()
{
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_one();
    if (m_thread.joinable())
        m_thread.join();
}

void Writeback::run()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_stop || m_posted > m_taken; });
        if (m_posted <= m_taken)
            return; // stopped with nothing left
        int64_t from = m_taken;
        int64_t to = m_posted;
        m_taken = to;
        lock.unlock();
        // Failures do not matter here: the final sync reports them.
        ::sync_file_range(m_fd, from, to - from,
                          SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE | SYNC_FILE_RANGE_WAIT_AFTER);
        lock.lock();
    }
}

} // namespace folvane::pdf
