#pragma once
// Image intake: recognising an image file, preparing it as a JPEG or TIFF file the writer can
// embed, and placing it on the page. Engine-internal.

#include <string>

#include "base/result.h"

#include "engine_document.h"

namespace folvane::engine {

// Format number of a file from its first 128 bytes and its name (the codec's format ids), or -1.
int sniffImageFormat(const std::string& path);

// Embeds a prepared TIFF, JPEG or PNG file and draws it into the placement box (beginning and
// ending a page of the image's own size when no page is open). 1 placed, 0 failed. `orientation`
// (1 to 8, as EXIF numbers it) turns the picture by the drawing's matrix, so that embedded data
// stays as it is; 5 to 8 swap its width and height on the page.
int placeImageFile(EngineDocument* doc, const std::string& path, int orientation = 1);
// Embeds only the 1-based `page` of a TIFF file (a source frame whose data goes in as stored) and
// draws it like placeImageFile. 1 placed, 0 failed.
int placeTiffFrame(EngineDocument* doc, const std::string& path, int page, int orientation);

// Adds every selected frame of an image file as a picture: 1 success, 0 failure, -1 a frame
// range beyond the image or no converter for a format the codec layer cannot read. The cause of
// a failure, when known, is imageFailure() afterwards.
int addImageFile(EngineDocument* doc, const std::string& path);
// Whether a stored Group 4 frame may go into the document as it is stored: nothing would change it.
bool storedGroup4Allowed(const EngineDocument* doc);
// Starts reading ahead the image likely added next (see Document::expectImage).
void expectImageFile(EngineDocument* doc, const std::string& path);

// Why the last addImageFile on the calling thread failed, when the cause is known: a temporary
// file that could not be created or written (with the system's error), what the decoder said
// ("12-bit JPEG is not supported"), the document's refusal. Success when no cause was noted;
// cleared when addImageFile begins.
Result imageFailure();
void clearImageFailure();
void noteTemporaryFailure(int error);
void noteImageFailure(const std::string& reason, FailureCode code = FailureCode::Damaged);

// A private folder for the temporary files of one addImageFile call: made with mkdtemp in the
// temporary folder ($TMPDIR, else /tmp), so it has a name nobody can guess and mode 0700, and
// no other user can plant a file or a link at a name inside it. Made when its first file is
// (a file embedded as stored needs none), removed with everything in it (also what the external
// converter left there) when the object goes away. A failed create is noted as the reason.
class TemporaryFolder {
public:
    TemporaryFolder() = default;
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;
    ~TemporaryFolder() { remove(); }

    bool create();
    // Makes the folder unless it exists already.
    bool ensure() { return !m_path.empty() || create(); }
    void remove();
    const std::string& path() const { return m_path; }

private:
    std::string m_path;
};

// An empty file `name` inside a TemporaryFolder, created exclusively (never through an existing
// name or link) with mode 0600; removed when the object goes away. A failed create is noted as
// the reason.
class TemporaryFile {
public:
    TemporaryFile() = default;
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    ~TemporaryFile() { remove(); }

    // Makes the folder first when it does not exist yet.
    bool create(TemporaryFolder& folder, const std::string& name);
    void remove();
    const std::string& path() const { return m_path; }

private:
    std::string m_path;
};

} // namespace folvane::engine
