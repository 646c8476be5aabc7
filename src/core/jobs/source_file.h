#pragma once
// What a job knows of a source image it converts: whether it is a file at all, and enough of its
// identity to tell, before the source is moved aside or deleted, whether the path still names
// exactly what was read. A scanner that writes a new file under the same name while the old one
// is converted must not have the new scan deleted or filed away unconverted.

#include <functional>
#include <string>
#include <sys/stat.h>
#include <sys/types.h>

namespace folvane::jobs {

struct SourceIdentity {
    bool known = false; // false: nothing could be recorded, so the source is never moved or deleted
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    long long mtimeNanos = 0;

    bool operator==(const SourceIdentity&) const = default;
};

struct SourceCheck {
    // False when the path names something that is not a regular file (a FIFO, a device, a
    // socket, a folder): it is never read, so neither a FIFO nor a device can hang the job.
    bool regular = true;
    std::string reason;      // why it is not taken, for a "Failed" row: "not a regular file (a FIFO)"
    SourceIdentity identity; // of the file opened, when one could be opened
};

// Opens the source without blocking (following a link, as any reader of the path would), checks
// with fstat that it is a regular file and records its identity. A source that cannot be opened
// at all (missing, no permission) is left to the image reader, which names the cause; its
// identity stays unknown.
SourceCheck examineSource(const std::string& path);

// The identity of what lies under `path` itself (a link is not followed); unknown when nothing
// does or it is not a regular file.
SourceIdentity identityAt(const std::string& path);

// True when `path` still is the regular file recorded in `identity` (same device and inode, same
// size and modification time), so moving or deleting it moves or deletes what was converted.
bool stillTheSame(const std::string& path, const SourceIdentity& identity);

// Calls `visit` with the name and lstat information of every entry of `folder` (which ends with
// "/"), "." and ".." left out; links are reported as links, never followed. A folder that cannot
// be read has no entries.
void forEachEntry(const std::string& folder, const std::function<void(const std::string& name, const struct stat& info)>& visit);

} // namespace folvane::jobs
