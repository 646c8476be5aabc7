#include "engine/temporary_output.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <random>

namespace folvane::engine {

namespace {

struct PathParts {
    std::string folder; // with its trailing "/", or empty for the current folder
    std::string name;
};

PathParts split(const std::string& path)
{
    size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return {std::string(), path};
    return {path.substr(0, slash + 1), path.substr(slash + 1)};
}

// The file creation mask of the process, read without changing it (umask() would change it for
// every thread for a moment).
mode_t currentUmask()
{
    FILE* status = std::fopen("/proc/self/status", "r");
    mode_t mask = 022;
    if (!status)
        return mask;
    char line[256];
    while (std::fgets(line, sizeof line, status)) {
        unsigned value;
        if (std::sscanf(line, "Umask: %o", &value) == 1) {
            mask = static_cast<mode_t>(value);
            break;
        }
    }
    std::fclose(status);
    return mask;
}

// The start of a hidden sibling's name: "." and the final name, cut so that the sibling with its
// seven-character suffix still fits a file system's 255-byte name limit.
std::string siblingStem(const PathParts& parts)
{
    return parts.folder + "." + parts.name.substr(0, 240) + ".";
}

// A hidden name beside the final one that nothing has yet; six random letters and digits.
std::string siblingName(const PathParts& parts, std::mt19937& random)
{
    static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::string suffix(6, 'x');
    for (char& c : suffix)
        c = kLetters[random() % (sizeof kLetters - 1)];
    return siblingStem(parts) + suffix;
}

// Names tried for one file before giving up; far more than any run of other processes taking
// numbered names at the same moment.
constexpr int kMaxNameAttempts = 10000;

// A rename that fails with EEXIST when the target exists. File systems without the flag get a
// hard link, which cannot replace either, followed by removing the old name.
bool renameNoReplace(const std::string& from, const std::string& to)
{
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS)
        return false;
    if (::link(from.c_str(), to.c_str()) != 0)
        return false;
    ::unlink(from.c_str());
    return true;
}

// The replacement of an existing regular file keeps the mode, owner and group the user gave it.
// Owner and group follow only where the system permits; without them the set-user and set-group
// bits are not carried over, as a copy would not carry them either.
void takeOverAttributes(int fd, const std::string& replaced)
{
    struct stat info;
    if (::lstat(replaced.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
        return;
    bool owned = ::fchown(fd, info.st_uid, info.st_gid) == 0;
    mode_t mode = info.st_mode & (owned ? 07777 : 01777);
    ::fchmod(fd, mode);
}

// Makes the new name itself durable: the folder entry is synced after the link or rename. False
// when the system reports that it could not be (a folder that cannot be opened for it, such as
// one without read permission, is taken as synced by the system's own schedule).
bool syncFolderOf(const std::string& path)
{
    PathParts parts = split(path);
    const std::string folder = parts.folder.empty() ? std::string(".") : parts.folder;
    int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return true;
    bool synced = ::fsync(fd) == 0 || errno == EINVAL || errno == EROFS;
    ::close(fd);
    return synced;
}

} // namespace

bool TemporaryOutput::create(const std::string& finalPath)
{
    discard();
    m_finalPath = finalPath;
    PathParts parts = split(finalPath);
    const std::string folder = parts.folder.empty() ? std::string(".") : parts.folder;
    // The kernel applies the creation mask to the mode, as for any new file.
    m_fd = ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    if (m_fd >= 0) {
        m_writePath = "/proc/self/fd/" + std::to_string(m_fd);
        if (::access(m_writePath.c_str(), W_OK) == 0)
            return true;
        ::close(m_fd); // no /proc to reopen it through: fall back to a named file
        m_fd = -1;
    }
    std::string pattern = siblingStem(parts) + "XXXXXX";
    int fd = ::mkstemp(pattern.data());
    if (fd < 0) {
        m_writePath.clear();
        return false;
    }
    ::close(fd);
    m_sibling = pattern;
    m_writePath = pattern;
    return true;
}

bool TemporaryOutput::publish(const NamingRule& rule)
{
    if (m_writePath.empty())
        return false;
    bool published = m_fd >= 0 ? publishUnnamed(rule) : publishSibling(rule);
    discard(); // what is left: the unnamed file's descriptor, or a sibling that was not published
    return published && syncFolderOf(m_finalPath);
}

bool TemporaryOutput::publishUnnamed(const NamingRule& rule)
{
    // A free name is given in one step that fails when the name is taken, so a process that dies
    // here leaves either nothing or the complete file, and two processes that chose the same
    // free name cannot replace each other's file.
    for (int attempt = 0; attempt < kMaxNameAttempts; ++attempt) {
        if (::linkat(AT_FDCWD, m_writePath.c_str(), AT_FDCWD, m_finalPath.c_str(), AT_SYMLINK_FOLLOW) == 0)
            return true;
        if (errno != EEXIST)
            return false;
        if (!rule.mayReplace) {
            std::string next = rule.nextName ? rule.nextName(m_finalPath) : std::string();
            if (next.empty())
                return false;
            m_finalPath = next;
            continue;
        }
        takeOverAttributes(m_fd, m_finalPath);
        // An unnamed file cannot replace a name directly: it is linked under a fresh hidden name,
        // which the rename then moves over the final one.
        std::random_device seed;
        std::mt19937 random(seed());
        PathParts parts = split(m_finalPath);
        for (int tries = 0; tries < 100 && m_sibling.empty(); ++tries) {
            std::string name = siblingName(parts, random);
            if (::linkat(AT_FDCWD, m_writePath.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0)
                m_sibling = name;
            else if (errno != EEXIST)
                return false;
        }
        return replaceWithSibling();
    }
    return false;
}

bool TemporaryOutput::publishSibling(const NamingRule& rule)
{
    if (rule.mayReplace) {
        struct stat info;
        if (::lstat(m_finalPath.c_str(), &info) == 0 && S_ISREG(info.st_mode)) {
            int fd = ::open(m_sibling.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
            if (fd >= 0) {
                takeOverAttributes(fd, m_finalPath);
                ::close(fd);
            }
        } else {
            ::chmod(m_sibling.c_str(), 0666 & ~currentUmask()); // mkstemp made it private
        }
        return replaceWithSibling();
    }
    ::chmod(m_sibling.c_str(), 0666 & ~currentUmask());
    for (int attempt = 0; attempt < kMaxNameAttempts; ++attempt) {
        if (renameNoReplace(m_sibling, m_finalPath)) {
            m_sibling.clear();
            return true;
        }
        if (errno != EEXIST)
            return false;
        std::string next = rule.nextName ? rule.nextName(m_finalPath) : std::string();
        if (next.empty())
            return false;
        m_finalPath = next;
    }
    return false;
}

bool TemporaryOutput::replaceWithSibling()
{
    if (m_sibling.empty() || ::rename(m_sibling.c_str(), m_finalPath.c_str()) != 0)
        return false;
    m_sibling.clear();
    return true;
}

void TemporaryOutput::discard()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    if (!m_sibling.empty())
        ::unlink(m_sibling.c_str());
    m_sibling.clear();
    m_writePath.clear();
}

} // namespace folvane::engine
