#include "jobs/conversion_job.h"

#include <algorithm>
#include <numeric>
#include <optional>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include "layout/composer.h"
#include "jobs/failure_reason.h"
#include "jobs/parallel_documents.h"
#include "jobs/source_file.h"
#include "jobs/text_layer_tally.h"
#include "services/after_action.h"

namespace folvane::jobs {

namespace {

bool isRegularFile(const std::string& path)
{
    struct stat info;
    return ::lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

bool somethingExists(const std::string& path)
{
    struct stat info;
    return ::lstat(path.c_str(), &info) == 0;
}

// What one output document leaves for the job once it is done.
struct DocumentResult {
    std::vector<OutputRecord> outputs; // the document, when one was opened
    bool opened = false;               // an open was tried; lastOutput names its file
    std::string lastOutput;
    int pageCounter = 0;
};

// One output document: opens it under the job's policy, composes rows into it and closes it,
// reporting through its scope. Its rows belong to it while it runs.
class DocumentWork {
public:
    DocumentWork(DocumentScope& scope, std::vector<FileRow>& rows, const JobSettings& settings, int policy,
                 engine::CEngineClient& engine, DocumentResult& result)
        : m_scope(scope)
        , m_rows(rows)
        , m_settings(settings)
        , m_policy(policy)
        , m_engine(engine)
        , m_result(result)
    {
    }

    JobObserver& observer() { return m_scope.observer; }
    JobLog& log() { return m_scope.log; }
    engine::DocHandle handle() const { return m_handle; }
    int& pageCounter() { return m_result.pageCounter; }
    const std::string& lastOutput() const { return m_result.lastOutput; }
    void applySettings() { applyDocumentSettings(m_engine, m_handle, m_settings.output); }

    void setRowStatus(size_t row, bool succeeded, const std::string& failure = {})
    {
        const std::string word(succeeded ? kStateSucceed : kStateFailed);
        m_rows[row].status = word;
        m_rows[row].failure = succeeded ? std::string() : failure;
        m_rows[row].note.clear();
        observer().rowStatus(row, word);
        log().appendRecord(kTagState, word);
        if (!succeeded && !failure.empty())
            log().appendRecord(kTagReason, failure);
    }

    // Why the document just opened could not be: the refusal to append, when there was one.
    std::string openFailure() const
    {
        return m_document.refusal.empty() ? std::string(kReasonNotOpened) : "cannot append: " + m_document.refusal;
    }

    // After "Create Failed": the reason when the output was an existing PDF that refused the append.
    void logRefusal()
    {
        if (!m_document.refusal.empty())
            log().appendRecord(kTagReason, openFailure());
    }

    // Opens the output document for `wanted` under the job's policy; the handle or 0 or less.
    engine::DocHandle open(const std::string& wanted)
    {
        OutputPolicy policy {&m_engine, m_policy, NamingStyle::List, &observer()};
        OutputDocument doc = m_scope.opener.open(wanted, policy);
        m_document = doc;
        m_result.opened = true;
        m_result.lastOutput = doc.path;
        OutputRecord record;
        record.path = doc.path;
        record.created = doc.handle > 0;
        record.appended = doc.appending;
        record.refusal = doc.refusal;
        m_result.outputs.push_back(record);
        m_handle = doc.handle > 0 ? doc.handle : 0;
        m_documentPages = 0;
        // The engine writes a new file under a temporary name and renames it when complete, so
        // normally nothing lies under the name until the close succeeds. Whatever is found there
        // after a failed close was then made by this document and may go; a file that was there
        // before (a name the user chose under "Ask always") is never touched.
        m_removeOnFailure = m_handle > 0 && !doc.appending && !somethingExists(doc.path);
        if (m_handle > 0)
            m_composer.emplace(m_engine, m_settings.output);
        return doc.handle;
    }

    // Composes every frame of the row's image into the open document and sets its status from
    // the last frame's result; an image without frames fails.
    void convertRow(size_t row)
    {
        const std::string& path = m_rows[row].path;
        // A FIFO, a device or a folder is never read: it could hang the job or never end.
        SourceCheck source = examineSource(path);
        if (!source.regular) {
            setRowStatus(row, false, source.reason);
            m_documentRows.push_back(row);
            return;
        }
        int frames = m_engine.QueryDocument(m_handle, engine::kQueryFrameCount, 0, 0, path.c_str(), nullptr);
        ImageOutcome outcome{frames};
        TextLayerTally text;
        for (int frame = 0; frame < frames; ++frame) {
            engine::ImageAdded added = m_composer->ComposeFrame(m_handle, frame, path, frames, m_result.pageCounter);
            m_result.pageCounter += 1;
            if (added.status.ok)
                m_documentPages += 1;
            outcome.frameDone(frame, added.status);
            text.add(added.textLayer, row, observer());
        }
        setRowStatus(row, outcome.succeeded(), outcome.succeeded() ? std::string() : outcome.failureReason());
        if (outcome.succeeded() && !text.note().empty()) {
            m_rows[row].note = text.note();
            log().appendRecord(kTagNote, text.note());
        }
        m_documentRows.push_back(row);
    }

    // Finishes and closes the open document. A document whose file could not be completed must
    // not leave its rows reading "Succeed": they fail, the log says so, and a partly written new
    // file is removed.
    void close()
    {
        if (m_handle <= 0)
            return;
        OutputRecord& output = m_result.outputs.back();
        // Not one image made it into this document: a PDF without pages is of no use and would
        // look like a result, so a new one is dropped unwritten, and a file it was to replace
        // stays. The rows already read "Failed".
        if (m_documentPages == 0 && m_engine.DiscardDocument(m_handle) > 0) {
            output.written = false;
            finished();
            return;
        }
        m_composer->FinishDocument(m_handle);
        bool written = m_engine.CloseDocument(m_handle) > 0;
        output.written = written;
        if (written) {
            // Another process may have taken the name meanwhile; the file then took the next
            // free generated name.
            output.path = m_document.writtenPath();
            m_result.lastOutput = output.path;
        }
        if (!written) {
            for (size_t row : m_documentRows) {
                if (m_rows[row].status != kStateFailed) {
                    m_rows[row].status = kStateFailed;
                    m_rows[row].failure = kReasonNotWritten;
                    observer().rowStatus(row, m_rows[row].status);
                }
            }
            log().appendRecord(kTagState, kStateFailed);
            log().appendRecord(kTagReason, kReasonNotWritten);
            if (m_removeOnFailure && isRegularFile(output.path))
                ::unlink(output.path.c_str());
        }
        finished();
    }

private:
    void finished()
    {
        m_handle = 0;
        m_composer.reset();
        m_documentRows.clear();
        m_scope.opener.closed();
    }

    DocumentScope& m_scope;
    std::vector<FileRow>& m_rows;
    const JobSettings& m_settings;
    int m_policy;
    engine::CEngineClient& m_engine;
    DocumentResult& m_result;

    OutputDocument m_document;               // the open output document as opened
    engine::DocHandle m_handle = 0;          // the open output document, 0 when none
    std::optional<layout::PageComposer> m_composer; // its page composer
    std::vector<size_t> m_documentRows;      // rows composed into it
    int m_documentPages = 0;                 // frames placed on its pages successfully
    bool m_removeOnFailure = false;          // its file did not exist before the job
};

// One job run over the rows: the mode algorithms. Merge mode has one document and converts it on
// the job's thread; the other modes hand their documents to runDocumentUnits, which converts them
// one after another or, with several workers, at once.
class JobRun {
public:
    JobRun(JobState& state, std::vector<FileRow>& rows, const JobSettings& settings, JobContext& context)
        : m_state(state)
        , m_rows(rows)
        , m_settings(settings)
        , m_context(context)
    {
    }

    JobReport run()
    {
        m_state.pageCounter = 0;
        switch (m_settings.mode) {
        case kMergeMode:
            mergeMode();
            break;
        case kPerImageMode:
            perImageMode();
            break;
        case kPerFolderMode:
            perFolderMode();
            break;
        default:
            break;
        }
        m_report.stopped = stopRequested();
        return std::move(m_report);
    }

private:
    bool stopRequested() const { return m_state.stopRequested.load() != 0; }

    DocumentWork work(DocumentScope& scope, DocumentResult& result)
    {
        return DocumentWork(scope, m_rows, m_settings, m_state.policy, m_context.engine, result);
    }

    // Takes over what a finished document leaves, in input order.
    void collect(DocumentResult& result)
    {
        for (OutputRecord& output : result.outputs)
            m_report.outputs.push_back(std::move(output));
        if (result.opened) {
            m_state.lastOutput = result.lastOutput;
            m_state.pageCounter = result.pageCounter;
        }
    }

    // The work of one document of the per-image or per-folder mode.
    using DocumentBody = std::function<void(DocumentScope&, DocumentResult&)>;

    void runUnits(std::vector<DocumentBody> bodies)
    {
        m_results.assign(bodies.size(), DocumentResult {});
        std::vector<DocumentUnit> units;
        units.reserve(bodies.size());
        for (size_t i = 0; i < bodies.size(); ++i) {
            auto work = [this, i, body = std::move(bodies[i])](DocumentScope& scope) { body(scope, m_results[i]); };
            units.push_back(DocumentUnit {std::move(work), [this, i] { collect(m_results[i]); }});
        }
        runDocumentUnits(units, m_settings.workers, m_context.observer, m_state.log, m_state.stopRequested);
    }

    void mergeMode()
    {
        DirectOpener opener;
        DocumentScope scope {m_context.observer, m_state.log, opener};
        DocumentResult result;
        DocumentWork doc = work(scope, result);
        doc.log().recordTime();
        engine::DocHandle handle = doc.open(m_settings.paths.merged);
        // The record names the file actually written (a new numbered name, or the one the user
        // chose under "Ask always").
        doc.log().appendRecord(kTagOutput, handle > 0 ? doc.lastOutput() : m_settings.paths.merged);
        if (handle <= 0) {
            doc.log().appendRecord(kTagState, kStateCreateFailed);
            doc.logRefusal();
        } else {
            doc.observer().outputNameShown(doc.lastOutput());
            doc.applySettings();
            for (size_t row = 0; row < m_rows.size() && !stopRequested(); ++row) {
                doc.observer().rowSelected(row);
                doc.log().appendRecord(kTagInput, m_rows[row].path);
                doc.convertRow(row);
            }
            doc.close();
        }
        collect(result);
    }

    void perImageMode()
    {
        std::vector<DocumentBody> bodies;
        for (size_t row = 0; row < m_rows.size(); ++row) {
            // A continued run only selects the rows the interrupted one started; nothing is
            // recorded for them.
            if (m_state.answer == kContinueConvert && m_rows[row].converted == 1) {
                bodies.push_back([row](DocumentScope& scope, DocumentResult&) { scope.observer.rowSelected(row); });
                continue;
            }
            bodies.push_back([this, row](DocumentScope& scope, DocumentResult& result) {
                scope.observer.rowSelected(row);
                FileRow& current = m_rows[row];
                current.converted = 1;
                DocumentWork doc = work(scope, result);
                doc.log().recordTime();
                doc.log().appendRecord(kTagInput, current.path);
                std::string name = perImageOutputName(m_settings.paths.perImageFolder, current.path);
                bool opened = doc.open(name) > 0;
                doc.log().appendRecord(kTagOutput, opened ? doc.lastOutput() : name);
                if (!opened) {
                    doc.setRowStatus(row, false, doc.openFailure());
                    return;
                }
                doc.pageCounter() = 0;
                doc.applySettings();
                doc.convertRow(row);
                doc.close();
            });
        }
        runUnits(std::move(bodies));
    }

    void perFolderMode()
    {
        m_context.observer.rowsReordered(sortRowsByPath(m_rows));
        std::vector<DocumentBody> bodies;
        for (const RowRange& range : folderDocuments(m_rows, m_settings.paths.perFolderFolder)) {
            size_t first = range.first;
            size_t end = range.end;
            std::string name = perFolderOutputName(m_settings.paths.perFolderFolder, m_rows[first].path);
            bodies.push_back([this, first, end, name](DocumentScope& scope, DocumentResult& result) {
                DocumentWork doc = work(scope, result);
                for (size_t row = first; row < end && (row == first || !stopRequested()); ++row) {
                    doc.observer().rowSelected(row);
                    if (row == first) {
                        doc.pageCounter() = 0;
                        doc.log().recordTime();
                        engine::DocHandle handle = doc.open(name);
                        doc.log().appendRecord(kTagOutput, handle > 0 ? doc.lastOutput() : name);
                        if (handle <= 0) {
                            doc.log().appendRecord(kTagState, kStateCreateFailed);
                            doc.logRefusal();
                        } else {
                            doc.applySettings();
                        }
                    }
                    if (doc.handle() > 0) {
                        doc.log().appendRecord(kTagInput, m_rows[row].path);
                        doc.convertRow(row);
                    }
                }
                doc.close();
            });
        }
        runUnits(std::move(bodies));
    }

    JobState& m_state;
    std::vector<FileRow>& m_rows;
    const JobSettings& m_settings;
    JobContext& m_context;
    JobReport m_report;
    std::vector<DocumentResult> m_results; // one per document of the per-image and per-folder modes
};

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
    // Consecutive rows whose output names are equal (letter case ignored) share a document.
    std::vector<RowRange> documents;
    for (size_t first = 0; first < rows.size();) {
        std::string name = perFolderOutputName(outputFolder, rows[first].path);
        size_t end = first + 1;
        while (end < rows.size() && strcasecmp(perFolderOutputName(outputFolder, rows[end].path).c_str(), name.c_str()) == 0)
            ++end;
        documents.push_back({first, end});
        first = end;
    }
    return documents;
}

std::vector<size_t> sortRowsByPath(std::vector<FileRow>& rows)
{
    std::vector<size_t> order(rows.size());
    std::iota(order.begin(), order.end(), size_t {0});
    // std::string compares as unsigned bytes, which is the plain byte order wanted here.
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return rows[a].path < rows[b].path; });
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
    JobReport report = JobRun(state, rows, settings, context).run();

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
