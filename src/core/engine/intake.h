#pragma once
// Image intake: recognising an image file, preparing it as a JPEG or TIFF file the writer can
// embed, and placing it on the page. Engine-internal.

#include <string>

#include "engine/engine_document.h"

namespace folvane::engine {

// Format number of a file from its first 128 bytes and its name (the codec's format ids), or -1.
int SniffImageFormat(const std::string& path);

// Embeds a prepared TIFF or JPEG file and draws it into the placement box (beginning and ending a
// page of the image's own size when no page is open). 1 placed, 0 failed.
int PlaceImageFile(EngineDocument* doc, const std::string& path);

// The reason LastImageFailure gives is cleared when AddImageFile begins and set when a temporary
// file cannot be created or written, with the system's error number.
void clearImageFailure();
void noteTemporaryFailure(int error);
void noteImageFailure(const std::string& reason);

// A unique empty file in the temporary folder ($TMPDIR, else /tmp) whose name starts with the
// given prefix; removed when the object goes away. A failed create is noted as the reason.
class TemporaryFile {
public:
    TemporaryFile() = default;
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    ~TemporaryFile() { remove(); }

    bool create(const std::string& prefix);
    void remove();
    const std::string& path() const { return m_path; }
    // Takes over an existing name (the object then removes it).
    void adopt(const std::string& path)
    {
        remove();
        m_path = path;
    }

private:
    std::string m_path;
};

} // namespace folvane::engine
