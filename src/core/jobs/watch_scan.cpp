// The watch-folder runner's view of the file system: which files a pass finds, whether a file
// has stopped changing, and moving a source aside without ever replacing a file.

#include "jobs/watch_runner.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include "app/app_paths.h"
#include "jobs/image_inputs.h"

namespace folvane::jobs {

namespace {

std::string withSlash(std::string folder)
{
    if (folder.empty() || folder.back() != '/')
        folder.push_back('/');
    return folder;
}

bool isManagedFolder(const std::string& name)
{
    return strcasecmp(name.c_str(), std::string(kConvertedFolder).c_str()) == 0 ||
           strcasecmp(name.c_str(), std::string(kFailedFolder).c_str()) == 0;
}

// The real subfolders of `folder` in name order; linked folders are passed over so that a link
// loop cannot make the scan endless.
std::vector<std::string> subfolders(const std::string& folder)
{
    std::vector<std::string> names;
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return names;
    while (dirent* entry = ::readdir(dir)) {
        std::string name = entry->d_name;
        if (name == "." || name == ".." || isManagedFolder(name))
            continue;
        struct stat info;
        if (::lstat((folder + name).c_str(), &info) == 0 && S_ISDIR(info.st_mode))
            names.push_back(name);
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end(), nameBefore);
    return names;
}

void scanTreeInto(const std::string& folder, bool createManaged, std::vector<std::string>& out, int depth)
{
    // Far deeper than any real tree; it only guards against pathological nesting.
    if (depth > 256)
        return;
    std::vector<std::string> images = scanFolder(folder);
    out.insert(out.end(), images.begin(), images.end());
    if (createManaged) {
        app::AppPaths::createDirectories(folder + std::string(kConvertedFolder) + "/");
        app::AppPaths::createDirectories(folder + std::string(kFailedFolder) + "/");
    }
    for (const std::string& name : subfolders(folder))
        scanTreeInto(folder + name + "/", createManaged, out, depth + 1);
}

// A rename that fails when the target exists, as the Windows move does.
bool renameNoReplace(const std::string& from, const std::string& to)
{
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS)
        return false;
    // File systems without the flag: a hard link cannot replace either.
    if (::link(from.c_str(), to.c_str()) != 0)
        return false;
    ::unlink(from.c_str());
    return true;
}

} // namespace

std::vector<std::string> scanFolder(const std::string& folder)
{
    return folderImages(withSlash(folder), false, kAllSupportFilter);
}

std::vector<std::string> scanTree(const std::string& folder, bool createManaged)
{
    std::vector<std::string> out;
    scanTreeInto(withSlash(folder), createManaged, out, 0);
    return out;
}

std::string moveIntoFolder(const std::string& source, const std::string& folder)
{
    PathParts parts = splitPath(source);
    std::string target = folder + parts.name + parts.extension;
    // A taken name would make the move fail again on every pass and the source be converted
    // again each time; the first free numbered name keeps both files.
    for (int n = 1; n <= 100000; ++n) {
        if (renameNoReplace(source, target))
            return target;
        if (errno != EEXIST)
            return {};
        target = folder + parts.name + "(" + std::to_string(n) + ")" + parts.extension;
    }
    return {};
}

bool StabilityTracker::stable(const std::string& path, std::chrono::milliseconds settle)
{
    struct stat info;
    if (::stat(path.c_str(), &info) != 0) {
        m_looks.erase(path);
        return false;
    }
    Look now;
    now.size = static_cast<long long>(info.st_size);
    now.mtimeNanos = static_cast<long long>(info.st_mtim.tv_sec) * 1000000000LL + info.st_mtim.tv_nsec;
    now.since = Clock::now();
    auto found = m_looks.find(path);
    if (found == m_looks.end() || found->second.size != now.size || found->second.mtimeNanos != now.mtimeNanos) {
        m_looks[path] = now;
        return false;
    }
    return now.since - found->second.since >= settle;
}

void StabilityTracker::keepOnly(const std::vector<std::string>& present)
{
    std::map<std::string, Look> kept;
    for (const std::string& path : present) {
        auto found = m_looks.find(path);
        if (found != m_looks.end())
            kept.insert(*found);
    }
    m_looks = std::move(kept);
}

} // namespace folvane::jobs
