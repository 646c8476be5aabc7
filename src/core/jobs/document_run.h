#pragma once
// The grouping driver: writes the planned documents of a job (jobs/grouping.h), one after another
// or, with several workers, several at once (jobs/parallel_documents.h). For each document it
// opens the output under the existing-file policy, adds each image's frames, closes or drops it,
// and keeps the job log's records of the document; what the front end is told and what happens
// to a source afterwards is left to the job through DocumentClient.
//
// The order of what happens in one document, per mode:
//   merge:      [Time] open [Output]; per image: admit, selected, [Input], imageDone; close
//   per image:  admit, selected, [Time] [Input], beforeOpen, open [Output], imageDone; close
//   per folder: per image: admit, selected; at the first: [Time], beforeOpen, open [Output];
//               then [Input], imageDone; close
// A document that cannot be opened goes to notOpened and gets no image; in per-folder mode its
// other images are still selected. A stop requested by the front end is honoured before every
// image except the first of a per-image or per-folder document: a started document is finished.

#include <atomic>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "app/output_settings.h"
#include "document_writer.h"
#include "jobs/grouping.h"
#include "jobs/job_log.h"
#include "jobs/job_observer.h"
#include "jobs/output_naming.h"
#include "parallel_documents.h"

namespace folvane::jobs {

// Where the file-list job and the watch-folder runner differ. With several workers every method
// but released() runs on a worker thread, for one document at a time per worker; a method must
// then touch only what belongs to that document, and report through `scope`.
class DocumentClient {
public:
    virtual ~DocumentClient() = default;

    // Before anything is done for image `input`: the file to read (the image's path, or where
    // the job put it), or nothing to pass the image over.
    virtual std::optional<std::string> admit(size_t input, DocumentScope& scope) = 0;
    // Image `input` is the one being converted now.
    virtual void selected(size_t /*input*/, DocumentScope& /*scope*/) {}
    // Right before the document is opened: why it must not be (then notOpened follows), or "".
    virtual std::string beforeOpen(const PlannedDocument& /*doc*/) { return {}; }
    // After every try to open the document; writer.isOpen() tells whether it opened.
    virtual void openTried(const PlannedDocument& /*doc*/, const DocumentWriter& /*writer*/, DocumentScope& /*scope*/) {}
    // The document was refused or could not be opened; `input` is the image it was opened for
    // (read from `readPath`), `reason` says why.
    virtual void notOpened(const PlannedDocument& doc, size_t input, const std::string& readPath,
                           const std::string& reason, const DocumentWriter& writer, DocumentScope& scope) = 0;
    // An image was added (or failed to be).
    virtual void imageDone(const AddedImage& image, DocumentScope& scope) = 0;
    // The document was closed; for NotWritten the log already says so.
    virtual void closed(const PlannedDocument& doc, CloseOutcome outcome, const DocumentWriter& writer,
                        DocumentScope& scope) = 0;
    // On the job's thread, in plan order, once the document's reports were handed on.
    virtual void released(const PlannedDocument& /*doc*/) {}
};

// What every document of a job shares.
struct DocumentJob {
    const app::OutputSettings& output;
    int mode = kMergeMode;             // OutputMode of the plan
    int policy = kCreateNewFile;       // ExistsPolicy
    NamingStyle style = NamingStyle::List;
    const std::vector<std::string>& images; // the paths the log's [Input] records name
    const std::atomic<int>& stopRequested;
};

// Writes one planned document, reporting through `scope`.
void writeDocument(const DocumentJob& job, const PlannedDocument& doc, DocumentClient& client, DocumentScope& scope);

// Writes the plan. Merge mode's single document is written on the calling thread even when a
// stop was requested before it began; the other modes start a document only while no stop is
// requested, `workers` of them at once (1 or less: one after another on the calling thread).
// Every call of `observer` is made on the calling thread, in the order one worker makes them.
void writeDocuments(const DocumentJob& job, const std::vector<PlannedDocument>& plan, DocumentClient& client,
                    int workers, JobObserver& observer, JobLog& log);

} // namespace folvane::jobs
