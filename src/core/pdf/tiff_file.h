#pragma once
// A TIFF file open for the importer, with libtiff's messages recorded instead of printed. The
// document keeps the file it last imported from open, so that the next frame of a multi-page
// file is read on from where the last one was: selecting a frame by number in a newly opened
// file walks the directory chain from the start, which for a long scan costs time growing with
// the square of its page count.

#include <cstdint>
#include <string>

#include <tiffio.h>

#include "base/file_stamp.h"

namespace folvane::pdf {

class TiffFile {
public:
    TiffFile() = default;
    TiffFile(const TiffFile&) = delete;
    TiffFile& operator=(const TiffFile&) = delete;
    ~TiffFile();

    // Opens the file and selects a 0-based directory.
    bool open(const std::string& path, int directory);
    // Moves to the 0-based `directory` when it follows the current one of this same file, and the
    // file at `path` is still the one opened (identity, size and modification time).
    bool advanceTo(const std::string& path, int directory);

    TIFF* tif() const { return m_tif; }
    int64_t size() const { return m_stamp.size; }
    bool failed() const { return m_failed; }

private:
    TIFF* m_tif = nullptr;
    std::string m_path;
    FileStamp m_stamp;
    bool m_failed = false;
};

} // namespace folvane::pdf
