#pragma once
// Hands the data of a large output file to the disk while the rest of the file is still being
// produced. A finished file is synced before it counts as written; without this the whole file
// would reach the disk only in that final sync, and the job would wait for all of it there.
//
// One background thread per large file, started with the first step of data; the writer's thread
// only posts how far the file is written, never waits for the disk, except in finish().

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

namespace folvane::pdf {

class Writeback {
public:
    Writeback() = default;
    Writeback(const Writeback&) = delete;
    Writeback& operator=(const Writeback&) = delete;
    ~Writeback() { finish(); }

    // The file behind `fd` holds its data up to the byte offset `end` (the caller's buffers are
    // flushed). Once a step of new data is there, its writing to the disk is started.
    void written(int fd, int64_t end);
    // Waits until the data posted so far was written and ends the thread. The file must stay
    // open until this returns.
    void finish();

private:
    void run();

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::thread m_thread;
    int m_fd = -1;
    int64_t m_posted = 0; // data the writer has put into the file
    int64_t m_taken = 0;  // data handed to the disk so far
    bool m_stop = false;
};

} // namespace folvane::pdf
