#include "source_file.h"

#include <dirent.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace folvane::jobs {

namespace {

SourceIdentity identityOf(const struct stat& info)
{
    SourceIdentity identity;
    identity.known = true;
    identity.device = info.st_dev;
    identity.inode = info.st_ino;
    identity.size = info.st_size;
    identity.mtimeNanos = static_cast<long long>(info.st_mtim.tv_sec) * 1000000000LL + info.st_mtim.tv_nsec;
    return identity;
}

const char* kindOf(mode_t mode)
{
    if (S_ISFIFO(mode))
        return "a FIFO";
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return "a device";
    if (S_ISSOCK(mode))
        return "a socket";
    if (S_ISDIR(mode))
        return "a folder";
    return "not a file";
}

} // namespace

SourceCheck examineSource(const std::string& path)
{
    SourceCheck check;
    // O_NONBLOCK: opening a FIFO without a writer would otherwise wait for ever.
    int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return check;
    struct stat info;
    if (::fstat(fd, &info) == 0) {
        if (S_ISREG(info.st_mode)) {
            check.identity = identityOf(info);
        } else {
            check.regular = false;
            check.reason = std::string("not a regular file (") + kindOf(info.st_mode) + ")";
        }
    }
    ::close(fd);
    return check;
}

SourceIdentity identityAt(const std::string& path)
{
    struct stat info;
    if (::lstat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
        return {};
    return identityOf(info);
}

bool stillTheSame(const std::string& path, const SourceIdentity& identity)
{
    return identity.known && identityAt(path) == identity;
}

void forEachEntry(const std::string& folder, const std::function<void(const std::string& name, const struct stat& info)>& visit)
{
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return;
    while (dirent* entry = ::readdir(dir)) {
        std::string name = entry->d_name;
        struct stat info;
        if (name != "." && name != ".." && ::lstat((folder + name).c_str(), &info) == 0)
            visit(name, info);
    }
    ::closedir(dir);
}

} // namespace folvane::jobs
