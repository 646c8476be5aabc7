#include "single_instance.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace folvane::gui {

namespace {

// A folder for the lock that only this user can write: made with mode 0700 where missing (with
// any missing levels above it), and taken only when it is a real folder (no link), owned by the
// user and closed to everyone else. Another user who made it first could otherwise hold or
// replace the lock. Empty when it cannot be made or fails the check.
std::string privateFolder(const std::string& folder)
{
    for (size_t slash = folder.find('/', 1); slash != std::string::npos; slash = folder.find('/', slash + 1))
        ::mkdir(folder.substr(0, slash).c_str(), 0700);
    ::mkdir(folder.c_str(), 0700);
    struct stat info;
    if (::lstat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != ::geteuid() ||
        (info.st_mode & 077) != 0)
        return {};
    return folder + "/";
}

bool isAbsolute(const char* path)
{
    return path && path[0] == '/';
}

} // namespace

std::string SingleInstance::lockPath(const std::string& name)
{
    std::string folder;
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); isAbsolute(runtime)) {
        folder = runtime;
        if (folder.back() != '/')
            folder += '/';
    } else if (const char* cache = std::getenv("XDG_CACHE_HOME"); isAbsolute(cache)) {
        folder = privateFolder(std::string(cache) + "/Folvane");
    } else if (const char* home = std::getenv("HOME"); isAbsolute(home)) {
        folder = privateFolder(std::string(home) + "/.cache/Folvane");
    } else {
        folder = privateFolder("/tmp/folvane-" + std::to_string(::geteuid()));
    }
    return folder.empty() ? std::string() : folder + name + ".lock";
}

SingleInstance::SingleInstance(const std::string& name)
{
    std::string path = lockPath(name);
    if (path.empty())
        return;
    m_fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (m_fd < 0)
        return;
    int rc;
    do {
        rc = ::flock(m_fd, LOCK_EX | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0 && errno == EWOULDBLOCK)
        m_first = false;
}

SingleInstance::~SingleInstance()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

} // namespace folvane::gui
