#include "base/file_stamp.h"

#include <sys/stat.h>

namespace folvane {

FileStamp fileStamp(const std::string& path)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return {};
    return {st.st_dev, st.st_ino, st.st_size, st.st_mtim.tv_sec, st.st_mtim.tv_nsec};
}

} // namespace folvane
