#include "tiff_frame_index.h"

#include "base/file_stamp.h"

#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace folvane::codec {

namespace {

using namespace tiffhandles;

struct CachedIndex {
    std::string path;
    FileStamp stamp;
    TiffFrameIndex index;

    bool describes(const std::string& name, const FileStamp& now) const { return path == name && stamp == now; }
};

// Opens a regular file only: a FIFO or a device put where a file was is never waited on.
TIFF* openRegular(const std::string& path, const Options& options)
{
    int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return nullptr;
    }
    // Read without mapping: a frame's directory and one strip are all that is read.
    TIFF* tif = TIFFFdOpenExt(fd, path.c_str(), "rm", options.get());
    if (!tif)
        ::close(fd);
    return tif;
}

// Reads the chain once: libtiff's own count (which follows the chain without reading the
// directories, so a damaged frame still counts and later fails with its reason), then every
// directory in turn until one cannot be read.
TiffFrameIndex readIndex(const std::string& path)
{
    TiffFrameIndex index;
    Options options;
    TiffFile file(openRegular(path, options));
    TIFF* tif = file.get();
    if (!tif)
        return index;
    index.count = static_cast<int>(TIFFNumberOfDirectories(tif));
    for (int frame = 0; frame < index.count; ++frame) {
        if (frame > 0 && !TIFFReadDirectory(tif))
            break;
        TiffFrameEntry entry;
        entry.offset = TIFFCurrentDirOffset(tif);
        if (!TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &entry.width) || !TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &entry.height))
            break;
        TIFFGetFieldDefaulted(tif, TIFFTAG_ORIENTATION, &entry.orientation);
        index.frames.push_back(entry);
    }
    return index;
}

} // namespace

bool isTiffFile(const std::string& path)
{
    int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st {};
    unsigned char magic[4] = {};
    bool regular = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    bool read = regular && ::read(fd, magic, sizeof magic) == static_cast<ssize_t>(sizeof magic);
    ::close(fd);
    // Classic and BigTIFF, in either byte order.
    return read && ((std::memcmp(magic, "II", 2) == 0 && (magic[2] == 42 || magic[2] == 43) && magic[3] == 0) ||
                    (std::memcmp(magic, "MM", 2) == 0 && magic[2] == 0 && (magic[3] == 42 || magic[3] == 43)));
}

const TiffFrameIndex& tiffFrameIndex(const std::string& path)
{
    thread_local CachedIndex cached;
    const FileStamp stamp = fileStamp(path);
    if (!stamp.valid()) {
        cached = CachedIndex{};
        return cached.index;
    }
    if (!cached.describes(path, stamp)) {
        // A FIFO or a device is never opened: readIndex takes regular files only.
        cached = CachedIndex{path, stamp, readIndex(path)};
        // A file changed while it was read is read again next time.
        if (!cached.describes(path, fileStamp(path)))
            cached.path.clear();
    }
    return cached.index;
}

TIFF* openTiffFrame(const std::string& path, int frame, const Options& options)
{
    if (frame < 0)
        return nullptr;
    const TiffFrameIndex& index = tiffFrameIndex(path);
    TIFF* tif = openRegular(path, options);
    if (!tif)
        return nullptr;
    bool selected = true;
    if (frame > 0 && static_cast<size_t>(frame) < index.frames.size())
        selected = TIFFSetSubDirectory(tif, index.frames[static_cast<size_t>(frame)].offset) != 0;
    else if (frame > 0)
        selected = TIFFSetDirectory(tif, static_cast<tdir_t>(frame)) != 0;
    if (!selected) {
        TIFFClose(tif);
        return nullptr;
    }
    return tif;
}

} // namespace folvane::codec
