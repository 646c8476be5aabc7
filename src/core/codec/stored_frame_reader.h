#pragma once
// Reads the frames of one TIFF file in turn for the Group 4 check, keeping the file open between
// frames. Opening the file again for every frame would walk its directory chain from the start
// each time (libtiff counts the whole chain even to jump to a known directory).

#include <string>

#include "base/file_stamp.h"
#include "codec/tiff_passthrough.h"
#include "tiff_handles.h"

namespace folvane::codec {

class StoredFrameReader {
public:
    StoredFrameReader() = default;
    StoredFrameReader(const StoredFrameReader&) = delete;
    StoredFrameReader& operator=(const StoredFrameReader&) = delete;

    // What storedGroup4Frame answers for the 0-based frame. The open file is read on when the
    // frame lies ahead of the last one read and the file at `path` is still the same (identity,
    // size, modification time); otherwise the file is opened afresh.
    bool read(const std::string& path, int index, StoredBilevelFrame& frame);

private:
    bool position(const std::string& path, int index);

    tiffhandles::Options m_options;
    tiffhandles::TiffFile m_file {nullptr};
    std::string m_path;
    int m_current = -1;
    FileStamp m_stamp;
};

} // namespace folvane::codec
