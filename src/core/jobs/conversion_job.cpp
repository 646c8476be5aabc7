#include "jobs/conversion_job.h"

#include <algorithm>
#include <optional>

#include "document_run.h"
#include "failure_reason.h"
#include "jobs/grouping.h"
#include "services/after_action.h"

namespace folvane::jobs {

namespace {

// What one output document leaves for the job once it is done.
struct DocumentResult {
    std::vector<OutputRecord> outputs; // the document, when an open was tried
    bool opened = false;               // an open was tried; lastOutput names its file
    std::string lastOutput;
    int pageCounter = 0;
};

// The file-list job's side of the grouping driver: rows are selected as they are converted and
// take their status from their image; a document that could not be written fails its rows.
// Each document's rows and result belong to it while it is written.
class FileListDocuments : public DocumentClient {
public:
    FileListDocuments(JobState& state, std::vector<FileRow>& rows, int mode, size_t documents)
        : m_state(state)
        , m_rows(rows)
        , m_results(documents)
        , m_merge(mode == kMergeMode)
        , m_perImage(mode == kPerImageMode)
    {
    }

    JobReport takeReport() { return std::move(m_report); }

    std::optional<std::string> admit(size_t row, DocumentScope& scope) override
    {
        // A continued per-image run only selects the rows the interrupted one started; nothing
        // is recorded for them.
        if (m_perImage && m_state.answer == kContinueConvert && m_rows[row].converted == 1) {
            scope.observer.rowSelected(row);
            return std::nullopt;
        }
        if (m_perImage)
            m_rows[row].converted = 1;
        return m_rows[row].path;
    }

    void selected(size_t row, DocumentScope& scope) override { scope.observer.rowSelected(row); }

    void openTried(const PlannedDocument& doc, const DocumentWriter& writer, DocumentScope& scope) override
    {
        DocumentResult& result = m_results[doc.index];
        const OutputDocument& opened = writer.document();
        result.opened = true;
        result.lastOutput = opened.path;
        result.pageCounter = 0;
        OutputRecord record;
        record.path = opened.path;
        record.created = opened.isOpen();
        record.appended = opened.appending;
        record.refusal = opened.refusal;
        result.outputs.push_back(record);
        if (m_merge && writer.isOpen())
            scope.observer.outputNameShown(opened.path);
    }

    void notOpened(const PlannedDocument&, size_t row, const std::string&, const std::string& reason,
                   const DocumentWriter& writer, DocumentScope& scope) override
    {
        if (m_perImage) {
            setRowStatus(row, false, reason, scope);
            return;
        }
        scope.log.appendRecord(kTagState, kStateCreateFailed);
        // After "Create Failed": the reason when the output was an existing PDF that refused the append.
        if (!writer.document().refusal.empty())
            scope.log.appendRecord(kTagReason, reason);
    }

    void imageDone(const AddedImage& image, DocumentScope& scope) override
    {
        setRowStatus(image.input, image.succeeded, image.reason, scope);
        if (image.succeeded && !image.note.empty()) {
            m_rows[image.input].note = image.note;
            scope.log.appendRecord(kTagNote, image.note);
        }
    }

    // A document whose file could not be completed must not leave its rows reading "Succeed".
    void closed(const PlannedDocument& doc, CloseOutcome outcome, const DocumentWriter& writer,
                DocumentScope& scope) override
    {
        DocumentResult& result = m_results[doc.index];
        OutputRecord& output = result.outputs.back();
        result.pageCounter = writer.pageCounter();
        output.written = outcome == CloseOutcome::Written;
        if (outcome == CloseOutcome::Written) {
            output.path = writer.path();
            result.lastOutput = output.path;
        }
        if (outcome != CloseOutcome::NotWritten)
            return;
        for (const AddedImage& image : writer.added()) {
            FileRow& row = m_rows[image.input];
            if (row.status != kStateFailed) {
                row.status = kStateFailed;
                row.failure = kReasonNotWritten;
                scope.observer.rowStatus(image.input, row.status);
            }
        }
    }

    // Takes over what a finished document leaves, in input order.
    void released(const PlannedDocument& doc) override
    {
        DocumentResult& result = m_results[doc.index];
        for (OutputRecord& output : result.outputs)
            m_report.outputs.push_back(std::move(output));
        if (result.opened) {
            m_state.lastOutput = result.lastOutput;
            m_state.pageCounter = result.pageCounter;
        }
        result = DocumentResult {};
    }

private:
    void setRowStatus(size_t row, bool succeeded, const std::string& failure, DocumentScope& scope)
    {
        const std::string word(succeeded ? kStateSucceed : kStateFailed);
        m_rows[row].status = word;
        m_rows[row].failure = succeeded ? std::string() : failure;
        m_rows[row].note.clear();
        scope.observer.rowStatus(row, word);
        scope.log.appendRecord(kTagState, word);
        if (!succeeded && !failure.empty())
            scope.log.appendRecord(kTagReason, failure);
    }

    JobState& m_state;
    std::vector<FileRow>& m_rows;
    std::vector<DocumentResult> m_results; // one per planned document
    JobReport m_report;
    const bool m_merge;
    const bool m_perImage;
};

std::vector<std::string> rowPaths(const std::vector<FileRow>& rows)
{
    std::vector<std::string> paths;
    paths.reserve(rows.size());
    for (const FileRow& row : rows)
        paths.push_back(row.path);
    return paths;
}

// One job run over the rows: per-folder mode first puts the rows into folder order, then the
// driver writes the planned documents.
JobReport convertRows(JobState& state, std::vector<FileRow>& rows, const JobSettings& settings, JobContext& context)
{
    state.pageCounter = 0;
    if (settings.mode == kPerFolderMode)
        context.observer.rowsReordered(sortRowsByPath(rows));
    std::vector<std::string> images = rowPaths(rows);
    std::vector<PlannedDocument> plan = planDocuments(images, settings.mode, settings.paths);
    FileListDocuments client(state, rows, settings.mode, plan.size());
    DocumentJob job {settings.output, settings.mode, state.policy, NamingStyle::List, images,
                     state.stopRequested};
    writeDocuments(job, plan, client, settings.workers, context.observer, state.log);
    JobReport report = client.takeReport();
    report.stopped = state.stopRequested.load() != 0;
    return report;
}

void clearRows(std::vector<FileRow>& rows)
{
    for (FileRow& row : rows) {
        row.status = kStatusNone;
        row.converted = 0;
    }
}

} // namespace

std::vector<RowRange> folderDocuments(const std::vector<FileRow>& rows, const std::string& outputFolder)
{
    OutputPaths paths;
    paths.perFolderFolder = outputFolder;
    std::vector<RowRange> documents;
    for (const PlannedDocument& doc : planDocuments(rowPaths(rows), kPerFolderMode, paths))
        documents.push_back({doc.inputs.front(), doc.inputs.back() + 1});
    return documents;
}

std::vector<size_t> sortRowsByPath(std::vector<FileRow>& rows)
{
    std::vector<std::string> paths = rowPaths(rows);
    std::vector<size_t> order = sortForFolders(paths, FolderOrder::Name);
    std::vector<FileRow> sorted;
    sorted.reserve(rows.size());
    for (size_t index : order)
        sorted.push_back(std::move(rows[index]));
    rows = std::move(sorted);
    return order;
}

bool beginJob(JobState& state, std::vector<FileRow>& rows, int mode, int policy, JobObserver& observer)
{
    state.rowCount = rows.size();
    state.answer = kNewConvert;
    if (state.rowCount == 0)
        return false;
    state.policy = policy;
    state.converting = 1;
    state.stopRequested = 0;
    observer.jobStateChanged(true);
    if (mode == kPerImageMode) {
        size_t started = static_cast<size_t>(
            std::count_if(rows.begin(), rows.end(), [](const FileRow& row) { return row.converted == 1; }));
        if (started > 0 && started < state.rowCount)
            state.answer = observer.askContinue() == kContinueConvert ? kContinueConvert : kNewConvert;
        if (state.answer == kNewConvert) {
            clearRows(rows);
            for (size_t i = 0; i < rows.size(); ++i)
                observer.rowStatus(i, kStatusNone);
        }
    } else {
        clearRows(rows);
        for (size_t i = 0; i < rows.size(); ++i)
            observer.rowStatus(i, kStatusNone);
    }
    return true;
}

JobReport runJob(JobState& state, std::vector<FileRow>& rows, const JobSettings& settings, JobContext& context)
{
    JobReport report = convertRows(state, rows, settings, context);

    // The log goes to its file before the after-conversion action: "Exit Program" and the power
    // actions may end the process, and the job's records must not be lost with it.
    state.log.flushLog();
    if (!report.stopped) {
        int action = context.afterAction ? context.afterAction() : services::kDoNothing;
        std::string target;
        if (settings.mode == kMergeMode)
            target = state.lastOutput;
        else if (settings.mode == kPerImageMode || settings.mode == kPerFolderMode)
            target = outputPathOf(settings.paths, settings.mode);
        services::runAfterConversionAction(action, target, context.actions);
    }
    state.converting = 0;
    state.stopRequested = 0;
    if (!rows.empty())
        context.observer.rowSelected(0);
    context.observer.jobStateChanged(false);
    return report;
}

} // namespace folvane::jobs
