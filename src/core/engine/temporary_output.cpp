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

bool TemporaryOutput::publish()
{
    if (m_writePath.empty())
        return false;
    if (m_fd < 0) {
        ::chmod(m_sibling.c_str(), 0666 & ~currentUmask()); // mkstemp made it private
    } else {
        // A free final name is given in one step, so a process that dies here leaves either
        // nothing or the complete file.
        if (::linkat(AT_FDCWD, m_writePath.c_str(), AT_FDCWD, m_finalPath.c_str(), AT_SYMLINK_FOLLOW) == 0) {
            ::close(m_fd);
            m_fd = -1;
            m_writePath.clear();
            return true;
        }
        // An unnamed file cannot replace a name directly: it is linked under a fresh hidden name,
        // which the rename then moves over the final one.
        std::random_device seed;
        std::mt19937 random(seed());
        PathParts parts = split(m_finalPath);
        for (int attempt = 0; attempt < 100 && m_sibling.empty(); ++attempt) {
            std::string name = siblingName(parts, random);
            if (::linkat(AT_FDCWD, m_writePath.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0)
                m_sibling = name;
            else if (errno != EEXIST)
                break;
        }
        ::close(m_fd);
        m_fd = -1;
        if (m_sibling.empty()) {
            m_writePath.clear();
            return false;
        }
    }
    bool renamed = ::rename(m_sibling.c_str(), m_finalPath.c_str()) == 0;
    if (!renamed)
        ::unlink(m_sibling.c_str());
    m_sibling.clear();
    m_writePath.clear();
    return renamed;
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
