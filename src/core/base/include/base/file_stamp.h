#pragma once
// What tells one state of a file from another without reading it: device, inode, size and
// modification time. A file replaced or rewritten between two looks almost always has another
// stamp; whatever is kept about a file (an open handle, a check's answer, a frame index) is used
// again only while the stamp is unchanged.

#include <cstdint>
#include <string>

#include <sys/types.h>

namespace folvane {

struct FileStamp {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = -1; // -1 for a file that could not be looked at
    int64_t seconds = 0;
    long nanoseconds = 0;

    bool valid() const { return size >= 0; }
    bool operator==(const FileStamp&) const = default;
};

// The stamp of the file at `path` (links followed); an invalid stamp when it cannot be looked at.
FileStamp fileStamp(const std::string& path);

} // namespace folvane
