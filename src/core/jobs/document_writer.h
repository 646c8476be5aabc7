#pragma once
// One output document of a job as the engine sees it: opened under the existing-file policy,
// filled image by image (every frame of each image), and closed, or dropped when not one image
// made it in. This is the only place the jobs call the engine; the grouping driver
// (jobs/document_run.h) decides which images go into which document and what a front end is
// told.
//
// Threads: one writer per document, used by one thread at a time.

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "app/output_settings.h"
#include "layout/composer.h"
#include "jobs/job_observer.h"
#include "jobs/output_naming.h"
#include "parallel_documents.h"
#include "source_file.h"

namespace folvane::jobs {

// What became of one image added to the document.
struct AddedImage {
    size_t input = 0;        // the image's index in the job's inputs
    std::string path;        // the file that was read
    bool succeeded = false;  // every frame made a page
    std::string reason;      // why it failed, in a few words; empty when it succeeded
    std::string note;        // what a converted image lacks (pages left without text); else empty
    SourceIdentity identity; // what was read, so that only that file is ever moved or deleted
};

enum class CloseOutcome {
    Dropped,    // not one frame made a page: nothing was written, a file it was to replace stays
    Written,    // the file is complete and on disk under path()
    NotWritten, // the file could not be completed; a partly written new file was removed
};

class DocumentWriter {
public:
    // `output` must outlive the writer; it is read when the document is opened.
    explicit DocumentWriter(const app::OutputSettings& output);

    DocumentWriter(const DocumentWriter&) = delete;
    DocumentWriter& operator=(const DocumentWriter&) = delete;

    // Opens the document for `wanted` through `opener` under the policy and sends the document-wide settings. At most once per writer. False when the
    // output cannot be written; openFailure() then says why.
    bool open(const std::string& wanted, OutputOpener& opener, OutputPolicy policy);

    bool isOpen() const { return m_document.isOpen(); }
    // The document as opened: its file after any renaming, whether it appends, the refusal.
    const OutputDocument& document() const { return m_document; }
    // The file: as opened, and once closed Written, the name it was finally given.
    const std::string& path() const { return m_path; }
    // Why the document could not be opened: the refusal to append, when there was one.
    std::string openFailure() const;

    // Composes every frame of the image at `path` into the open document. The outcome is the
    // first failing frame's (an image without frames fails); a FIFO, a device or a folder is
    // never read. Text recognition progress and the pages begun go to `observer` for row
    // `textRow`.
    AddedImage addImage(size_t input, const std::string& path, JobObserver& observer, size_t textRow);
    // Tells the open document which image is likely added after the current one, so that it can
    // be read ahead on another core.
    void expectImage(const std::string& path)
    {
        if (isOpen())
            m_document.document.expectImage(path);
    }

    // The images added so far, in order.
    const std::vector<AddedImage>& added() const { return m_added; }
    // Frames composed into the document (also those that failed).
    int pageCounter() const { return m_pageCounter; }

    // Finishes and closes the open document, then tells the opener the file is final.
    CloseOutcome close();

private:
    const app::OutputSettings& m_output;
    OutputOpener* m_opener = nullptr;
    OutputDocument m_document;       // owns the engine document while it is open
    std::string m_path;
    std::optional<layout::PageComposer> m_composer;
    std::vector<AddedImage> m_added;
    int m_pageCounter = 0;           // frames composed, the bookmark number of the next one
    int m_pages = 0;                 // frames placed on pages successfully
    bool m_removeOnFailure = false;  // the file did not exist before this document
};

} // namespace folvane::jobs
