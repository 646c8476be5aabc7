#pragma once
// Keeps the program to one running instance: an exclusive lock on a file named after the
// program in the user's runtime folder (or another folder private to the user). The lock is held until the object is destroyed or the
// process ends, whichever comes first; the kernel drops it when the process dies.

#include <string>

namespace folvane::gui {

class SingleInstance {
public:
    // `name` is the application name (the program's file name without extension).
    explicit SingleInstance(const std::string& name);
    ~SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // True when this process holds the lock; false when another process holds it (or the lock
    // file cannot be opened, in which case running twice is the lesser evil and we say true).
    bool isFirst() const { return m_first; }

    // $XDG_RUNTIME_DIR/<name>.lock; without a runtime folder <name>.lock in a folder private to
    // the user: $XDG_CACHE_HOME/Folvane/ (by default ~/.cache/Folvane/), without a home folder
    // /tmp/folvane-<uid>/. That folder is made (0700) when missing; one that is a link, belongs
    // to someone else or is open to others is refused, and the path is then empty (no lock).
    static std::string lockPath(const std::string& name);

private:
    int m_fd = -1;
    bool m_first = true;
};

} // namespace folvane::gui
