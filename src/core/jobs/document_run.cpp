#include "document_run.h"

#include "failure_reason.h"

namespace folvane::jobs {

namespace {

bool stopRequested(const DocumentJob& job)
{
    return job.stopRequested.load() != 0;
}

// Opens the document for its image `input`: the [Output] record names the file actually used,
// or the wanted one when nothing could be opened.
bool openFor(const DocumentJob& job, const PlannedDocument& doc, size_t input, const std::string& readPath,
             DocumentWriter& writer, DocumentClient& client, DocumentScope& scope)
{
    std::string refusal = client.beforeOpen(doc);
    if (refusal.empty()) {
        writer.open(doc.wantedPath, scope.opener, OutputPolicy {job.policy, job.style, &scope.observer});
        client.openTried(doc, writer, scope);
    }
    scope.log.appendRecord(kTagOutput, writer.isOpen() ? writer.path() : doc.wantedPath);
    if (!writer.isOpen())
        client.notOpened(doc, input, readPath, refusal.empty() ? writer.openFailure() : refusal, writer, scope);
    return writer.isOpen();
}

// Adds one input of the document; the input after it, if any, may be read ahead meanwhile.
void addImage(const DocumentJob& job, const PlannedDocument& doc, size_t position, const std::string& readPath,
              DocumentWriter& writer, DocumentClient& client, DocumentScope& scope)
{
    if (position + 1 < doc.inputs.size())
        writer.expectImage(job.images[doc.inputs[position + 1]]);
    const size_t input = doc.inputs[position];
    client.imageDone(writer.addImage(input, readPath, scope.observer, input), scope);
}

void closeDocument(const PlannedDocument& doc, DocumentWriter& writer, DocumentClient& client, DocumentScope& scope)
{
    CloseOutcome outcome = writer.close();
    if (outcome == CloseOutcome::NotWritten) {
        scope.log.appendRecord(kTagState, kStateFailed);
        scope.log.appendRecord(kTagReason, kReasonNotWritten);
    }
    client.closed(doc, outcome, writer, scope);
}

void writeMerged(const DocumentJob& job, const PlannedDocument& doc, DocumentClient& client, DocumentScope& scope)
{
    DocumentWriter writer(job.output);
    scope.log.recordTime();
    if (!openFor(job, doc, doc.inputs.empty() ? 0 : doc.inputs.front(), {}, writer, client, scope))
        return;
    for (size_t position = 0; position < doc.inputs.size(); ++position) {
        const size_t input = doc.inputs[position];
        if (stopRequested(job))
            break;
        std::optional<std::string> readPath = client.admit(input, scope);
        if (!readPath)
            continue;
        client.selected(input, scope);
        scope.log.appendRecord(kTagInput, job.images[input]);
        addImage(job, doc, position, *readPath, writer, client, scope);
    }
    closeDocument(doc, writer, client, scope);
}

void writeGrouped(const DocumentJob& job, const PlannedDocument& doc, DocumentClient& client, DocumentScope& scope)
{
    DocumentWriter writer(job.output);
    bool started = false;
    for (size_t position = 0; position < doc.inputs.size(); ++position) {
        const size_t input = doc.inputs[position];
        if (started && stopRequested(job))
            break;
        std::optional<std::string> readPath = client.admit(input, scope);
        if (!readPath)
            continue;
        client.selected(input, scope);
        if (!started) {
            started = true;
            scope.log.recordTime();
            // A per-image record reads as the image first, then the PDF made of it.
            if (job.mode == kPerImageMode)
                scope.log.appendRecord(kTagInput, job.images[input]);
            openFor(job, doc, input, *readPath, writer, client, scope);
        }
        if (!writer.isOpen())
            continue;
        if (job.mode != kPerImageMode)
            scope.log.appendRecord(kTagInput, job.images[input]);
        addImage(job, doc, position, *readPath, writer, client, scope);
    }
    if (writer.isOpen())
        closeDocument(doc, writer, client, scope);
}

} // namespace

void writeDocument(const DocumentJob& job, const PlannedDocument& doc, DocumentClient& client, DocumentScope& scope)
{
    if (job.mode == kMergeMode)
        writeMerged(job, doc, client, scope);
    else
        writeGrouped(job, doc, client, scope);
}

void writeDocuments(const DocumentJob& job, const std::vector<PlannedDocument>& plan, DocumentClient& client,
                    int workers, JobObserver& observer, JobLog& log)
{
    if (job.mode == kMergeMode) {
        DirectOpener opener;
        DocumentScope scope {observer, log, opener};
        for (const PlannedDocument& doc : plan) {
            writeDocument(job, doc, client, scope);
            client.released(doc);
        }
        return;
    }
    std::vector<DocumentUnit> units;
    units.reserve(plan.size());
    for (const PlannedDocument& doc : plan) {
        units.push_back(DocumentUnit {[&job, &doc, &client](DocumentScope& scope) { writeDocument(job, doc, client, scope); },
                                      [&client, &doc] { client.released(doc); }});
    }
    runDocumentUnits(units, workers, observer, log, job.stopRequested);
}

} // namespace folvane::jobs
