#include "watch_claims.h"
#include "source_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

#include "jobs/output_naming.h"
#include "jobs/watch_runner.h"

namespace folvane::jobs {

namespace {

constexpr std::string_view kRecoveringMark = ".recovering";

// The start time of a process in clock ticks since boot, which tells a process from a later one
// that got the same id; "" when there is no such process.
std::string processStart(long pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    size_t paren = text.rfind(')');
    if (paren == std::string::npos)
        return {};
    // After the command's closing parenthesis: state (field 3) ... starttime (field 22).
    size_t at = paren + 1;
    for (int field = 3; field <= 22; ++field) {
        at = text.find_first_not_of(' ', at);
        if (at == std::string::npos)
            return {};
        size_t end = text.find(' ', at);
        if (field == 22)
            return text.substr(at, end == std::string::npos ? std::string::npos : end - at);
        at = end;
    }
    return {};
}

struct ClaimName {
    std::string host;
    long pid = 0;
    std::string start;
    bool valid = false;
};

// "<host>.<pid>.<start>", optionally followed by ".recovering<n>"; the host may hold dots.
ClaimName parseClaim(std::string name)
{
    ClaimName claim;
    size_t mark = name.rfind(kRecoveringMark);
    if (mark != std::string::npos && name.find('.', mark + 1) == std::string::npos)
        name.erase(mark);
    size_t second = name.rfind('.');
    if (second == std::string::npos || second == 0)
        return claim;
    size_t first = name.rfind('.', second - 1);
    if (first == std::string::npos || first == 0)
        return claim;
    std::string pid = name.substr(first + 1, second - first - 1);
    claim.start = name.substr(second + 1);
    if (pid.empty() || pid.find_first_not_of("0123456789") != std::string::npos || claim.start.empty() ||
        claim.start.find_first_not_of("0123456789") != std::string::npos)
        return claim;
    claim.host = name.substr(0, first);
    claim.pid = std::stol(pid);
    claim.valid = true;
    return claim;
}

std::vector<std::string> entriesOf(const std::string& folder, bool folders)
{
    std::vector<std::string> names;
    forEachEntry(folder, [&](const std::string& name, const struct stat& info) {
        if (folders ? S_ISDIR(info.st_mode) : S_ISREG(info.st_mode))
            names.push_back(name);
    });
    return names;
}

} // namespace

std::string hostName()
{
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0 || name[0] == '\0')
        return "localhost";
    return name;
}

ClaimFolder::ClaimFolder(std::string inputFolder, std::string host, std::chrono::seconds lease)
    : m_input(std::move(inputFolder))
    , m_host(host.empty() ? hostName() : std::move(host))
    , m_lease(lease)
{
    for (char& c : m_host) {
        if (c == '/')
            c = '_';
    }
    m_name = m_host + "." + std::to_string(::getpid()) + "." + processStart(::getpid());
    m_path = m_input + std::string(kProcessingFolder) + "/" + m_name + "/";
}

bool ClaimFolder::open(std::string& error)
{
    std::string processing = m_input + std::string(kProcessingFolder);
    ::mkdir(processing.c_str(), 0755);
    struct stat info;
    if (::lstat(processing.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        error = processing + " is not a folder";
        return false;
    }
    std::string own = m_path.substr(0, m_path.size() - 1);
    if (::mkdir(own.c_str(), 0755) != 0 && errno != EEXIST) {
        error = "cannot create " + own + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

std::string ClaimFolder::claim(const std::string& source)
{
    PathParts parts = splitPath(source);
    std::string claimed = m_path + parts.name + parts.extension;
    if (::renameat2(AT_FDCWD, source.c_str(), AT_FDCWD, claimed.c_str(), RENAME_NOREPLACE) != 0)
        return {};
    return claimed;
}

std::string ClaimFolder::originalPath(const std::string& claimed) const
{
    PathParts parts = splitPath(claimed);
    return m_input + parts.name + parts.extension;
}

void ClaimFolder::refresh() const
{
    ::utimensat(AT_FDCWD, m_path.c_str(), nullptr, 0);
}

std::vector<std::string> ClaimFolder::recoverStale()
{
    std::vector<std::string> returned;
    std::string processing = m_input + std::string(kProcessingFolder) + "/";
    for (const std::string& name : entriesOf(processing, true)) {
        ClaimName claim = parseClaim(name);
        if (!claim.valid || name == m_name)
            continue;
        bool gone;
        if (claim.host == m_host) {
            gone = processStart(claim.pid) != claim.start;
        } else {
            struct stat info;
            if (::lstat((processing + name).c_str(), &info) != 0)
                continue;
            auto age = std::chrono::system_clock::now() -
                       std::chrono::system_clock::from_time_t(info.st_mtim.tv_sec);
            gone = age > m_lease;
        }
        if (!gone)
            continue;
        // One rename makes the folder this runner's; a runner that noticed the same a moment
        // later finds it gone. Should this runner die now, the folder is a stale claim of its own.
        std::string taken = processing + m_name + std::string(kRecoveringMark) + std::to_string(++m_recoveries);
        if (::renameat2(AT_FDCWD, (processing + name).c_str(), AT_FDCWD, taken.c_str(), RENAME_NOREPLACE) != 0)
            continue;
        for (const std::string& file : entriesOf(taken + "/", false)) {
            std::string back = moveIntoFolder(taken + "/" + file, m_input);
            if (!back.empty())
                returned.push_back(back);
        }
        ::rmdir(taken.c_str());
    }
    return returned;
}

void ClaimFolder::close()
{
    std::string processing = m_input + std::string(kProcessingFolder) + "/";
    for (const std::string& name : entriesOf(processing, true)) {
        if (name != m_name && !(name.starts_with(m_name + std::string(kRecoveringMark))))
            continue;
        for (const std::string& file : entriesOf(processing + name + "/", false))
            moveIntoFolder(processing + name + "/" + file, m_input);
        ::rmdir((processing + name).c_str());
    }
}

} // namespace folvane::jobs
