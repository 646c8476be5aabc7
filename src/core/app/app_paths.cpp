#include "app/app_paths.h"

#include <cstdlib>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace folvane::app {

namespace {

std::string programPath()
{
    std::vector<char> buffer(4096);
    while (true) {
        ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (n < 0)
            return {};
        if (static_cast<size_t>(n) < buffer.size())
            return std::string(buffer.data(), static_cast<size_t>(n));
        if (buffer.size() >= (1u << 20))
            return {};
        buffer.resize(buffer.size() * 2);
    }
}

std::string withoutTrailingSlashes(std::string path)
{
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path == "/" ? std::string() : path;
}

} // namespace

namespace AppPaths {

std::string modulePath(std::string_view name)
{
    std::string path = programPath();
    size_t slash = path.rfind('/');
    path.resize(slash == std::string::npos ? 0 : slash + 1);
    return path.append(name);
}

void createDirectories(std::string_view path)
{
    for (size_t slash = path.find('/'); slash != std::string_view::npos; slash = path.find('/', slash + 1))
        if (slash > 0)
            ::mkdir(std::string(path.substr(0, slash)).c_str(), 0777);
}

bool fileExists(std::string_view path)
{
    if (path.empty())
        return false;
    // Without O_NONBLOCK a FIFO at the path would block until a writer appears.
    int fd = ::open(std::string(path).c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return false;
    struct stat info;
    bool isFile = ::fstat(fd, &info) == 0 && !S_ISDIR(info.st_mode);
    ::close(fd);
    return isFile;
}

bool folderExists(std::string_view path)
{
    // Same answer as trying to enter the folder, without touching the process-wide current
    // directory that other threads rely on.
    if (path.empty())
        return false;
    std::string p(path);
    struct stat info;
    return ::stat(p.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && ::access(p.c_str(), X_OK) == 0;
}

bool pathExists(std::string_view path)
{
    struct stat info;
    return !path.empty() && ::stat(std::string(path).c_str(), &info) == 0;
}

std::string makeDataFolderPath(std::string_view suffix)
{
    return homeFolder() + "/Quillmar" + std::string(suffix);
}

} // namespace AppPaths

std::string dataFolder()
{
    return AppPaths::makeDataFolderPath("/" + std::string(kProductName) + "/");
}

std::string homeFolder()
{
    const char* home = std::getenv("HOME");
    if (home && home[0] == '/')
        return withoutTrailingSlashes(home);
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<size_t>(size) : 16384);
    struct passwd entry;
    struct passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found && found->pw_dir &&
        found->pw_dir[0] == '/')
        return withoutTrailingSlashes(found->pw_dir);
    return {};
}

} // namespace folvane::app
