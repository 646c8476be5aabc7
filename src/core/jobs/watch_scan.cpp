// The watch-folder runner's view of the file system: which files a pass finds, whether a file
// has stopped changing, and moving a source aside without ever replacing a file.

#include "jobs/watch_runner.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include "app/app_paths.h"
#include "jobs/image_inputs.h"
#include "source_file.h"

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
    return strcasecmp(name.c_str(), "_processing") == 0 ||
           strcasecmp(name.c_str(), std::string(kConvertedFolder).c_str()) == 0 ||
           strcasecmp(name.c_str(), std::string(kFailedFolder).c_str()) == 0;
}

// The real subfolders of `folder` in name order; linked folders are passed over so that a link
// loop cannot make the scan endless.
std::vector<std::string> subfolders(const std::string& folder, FolderOrder order)
{
    std::vector<std::string> names;
    forEachEntry(folder, [&](const std::string& name, const struct stat& info) {
        if (S_ISDIR(info.st_mode) && !isManagedFolder(name))
            names.push_back(name);
    });
    std::sort(names.begin(), names.end(), order == FolderOrder::Natural ? naturalNameBefore : nameBefore);
    return names;
}

// The supported images directly in `folder` (which ends with "/") that are regular files, in
// name order. A link is never followed: a link in a watched folder could hand the runner a file
// from anywhere, and the runner moves and deletes its sources. Entries with a supported name
// that are links or not regular files go to `skipped`.
std::vector<std::string> regularImages(const std::string& folder, std::vector<std::string>* skipped,
                                       FolderOrder order)
{
    std::vector<std::string> names;
    forEachEntry(folder, [&](const std::string& name, const struct stat& info) {
        if (!passesFilter(name, kAllSupportFilter))
            return;
        if (S_ISREG(info.st_mode))
            names.push_back(name);
        else if (skipped && !S_ISDIR(info.st_mode))
            skipped->push_back(folder + name);
    });
    std::sort(names.begin(), names.end(), order == FolderOrder::Natural ? naturalNameBefore : nameBefore);
    for (std::string& name : names)
        name.insert(0, folder);
    return names;
}

void scanTreeInto(const std::string& folder, bool createManaged, std::vector<std::string>& out, int depth,
                  std::vector<std::string>* skipped, FolderOrder order)
{
    // Far deeper than any real tree; it only guards against pathological nesting.
    if (depth > 256)
        return;
    std::vector<std::string> images = regularImages(folder, skipped, order);
    out.insert(out.end(), images.begin(), images.end());
    if (createManaged) {
        app::AppPaths::createDirectories(folder + std::string(kConvertedFolder) + "/");
        app::AppPaths::createDirectories(folder + std::string(kFailedFolder) + "/");
    }
    for (const std::string& name : subfolders(folder, order))
        scanTreeInto(folder + name + "/", createManaged, out, depth + 1, skipped, order);
}

// A rename that fails when the target exists, as the Windows move does; both names are taken
// relative to open folders.
bool renameNoReplace(int fromFolder, const std::string& from, int toFolder, const std::string& to)
{
    if (::renameat2(fromFolder, from.c_str(), toFolder, to.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS)
        return false;
    // File systems without the flag: a hard link cannot replace either.
    if (::linkat(fromFolder, from.c_str(), toFolder, to.c_str(), 0) != 0)
        return false;
    ::unlinkat(fromFolder, from.c_str(), 0);
    return true;
}

std::string withoutSlash(std::string folder)
{
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    return folder;
}

std::string errorText(int error)
{
    char buffer[256];
    return ::strerror_r(error, buffer, sizeof buffer);
}

} // namespace

std::vector<std::string> scanFolder(const std::string& folder, std::vector<std::string>* skipped, FolderOrder order)
{
    return regularImages(withSlash(folder), skipped, order);
}

std::vector<std::string> scanTree(const std::string& folder, bool createManaged, std::vector<std::string>* skipped,
                                  FolderOrder order)
{
    std::vector<std::string> out;
    scanTreeInto(withSlash(folder), createManaged, out, 0, skipped, order);
    return out;
}

std::string moveIntoFolder(const std::string& source, const std::string& folder, std::string* reason)
{
    PathParts parts = splitPath(source);
    std::string sourceFolder = parts.folder.empty() ? std::string(".") : parts.folder;
    auto fail = [&](int error) {
        if (reason)
            *reason = errorText(error);
        return std::string();
    };
    // Both folders are opened first and the rename made between them, so that a folder swapped
    // for a link meanwhile cannot send the source elsewhere. The target must be a real folder:
    // a managed folder that is a link or a file makes the move fail.
    int from = ::open(sourceFolder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (from < 0)
        return fail(errno);
    int to = ::open(withoutSlash(folder).c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (to < 0) {
        int error = errno == ELOOP ? ENOTDIR : errno;
        ::close(from);
        return fail(error);
    }
    std::string fileName = parts.name + parts.extension;
    std::string name = fileName;
    std::string moved;
    int error = 0;
    // A taken name would make the move fail again on every pass and the source be converted
    // again each time; the first free numbered name keeps both files.
    for (int n = 1; n <= 100000; ++n) {
        if (renameNoReplace(from, fileName, to, name)) {
            ::fsync(to);
            moved = folder + name;
            break;
        }
        if (errno != EEXIST) {
            error = errno;
            break;
        }
        name = parts.name + "(" + std::to_string(n) + ")" + parts.extension;
    }
    ::close(from);
    ::close(to);
    return moved.empty() ? fail(error ? error : EEXIST) : moved;
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
        return settle <= std::chrono::milliseconds::zero();
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
