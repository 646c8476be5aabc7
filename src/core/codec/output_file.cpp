// Opening the file an encoder writes.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "codec_internal.h"

namespace folvane::codec {

// ext4 flushes a file to disk when it is closed after being truncated to nothing (its guard for
// programs that rewrite files in place), and removing the file then waits for that write. Every
// prepared frame goes to a fresh, empty temporary file that is deleted right after use, so an
// empty file is written into as it is; only a file with content is truncated.
int openForOverwrite(const std::string& path)
{
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0)
        return -1;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || (S_ISREG(info.st_mode) && info.st_size > 0 && ::ftruncate(fd, 0) != 0)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

FILE* openBufferedOutput(const std::string& path, std::vector<char>& buffer)
{
    int fd = openForOverwrite(path);
    FILE* file = fd < 0 ? nullptr : ::fdopen(fd, "wb");
    if (!file) {
        if (fd >= 0)
            ::close(fd);
        return nullptr;
    }
    buffer.resize(size_t{1} << 18);
    std::setvbuf(file, buffer.data(), _IOFBF, buffer.size());
    return file;
}

} // namespace folvane::codec
