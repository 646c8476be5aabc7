#include "jobs/conversion_job.h"

#include <algorithm>
#include <numeric>
#include <optional>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include "engine/composer.h"
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

// One job run over the rows: the mode algorithms and the document that is currently open.
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
    JobLog& log() { return m_state.log; }
    JobObserver& observer() { return m_context.observer; }

    void selectRow(size_t row) { observer().rowSelected(row); }

    void setRowStatus(size_t row, bool succeeded)
    {
        const std::string word(succeeded ? kStateSucceed : kStateFailed);
        m_rows[row].status = word;
        observer().rowStatus(row, word);
        log().appendRecord(kTagState, word);
    }

    // Opens the output document for `wanted` under the job's policy; the handle or 0 or less.
    engine::DocHandle openDocument(const std::string& wanted)
    {
        OutputPolicy policy {&m_context.engine, m_state.policy, NamingStyle::List, &observer()};
        OutputDocument doc = openOutputDocument(wanted, policy);
        m_state.lastOutput = doc.path;
        OutputRecord record;
        record.path = doc.path;
        record.created = doc.handle > 0;
        record.appended = doc.appending;
        m_report.outputs.push_back(record);
        m_handle = doc.handle > 0 ? doc.handle : 0;
        m_documentRows.clear();
        m_documentPages = 0;
        // The engine writes a new file under a temporary name and renames it when complete, so
        // normally nothing lies under the name until the close succeeds. Whatever is found there
        // after a failed close was then made by this document and may go; a file that was there
        // before (a name the user chose under "Ask always") is never touched.
        m_removeOnFailure = m_handle > 0 && !doc.appending && !somethingExists(doc.path);
        if (m_handle > 0)
            m_composer.emplace(m_context.engine, m_settings.output);
        return doc.handle;
    }

    // Composes every frame of the row's image into the open document and sets its status from
    // the last frame's result; an image without frames fails.
    void convertRow(size_t row)
    {
        const std::string& path = m_rows[row].path;
        int frames = m_context.engine.QueryDocument(m_handle, engine::kQueryFrameCount, 0, 0, path.c_str(), nullptr);
        int result = 0;
        for (int frame = 0; frame < frames; ++frame) {
            result = m_composer->ComposeFrame(m_handle, frame, path, frames, m_state.pageCounter);
            m_state.pageCounter += 1;
            if (result > 0)
                m_documentPages += 1;
        }
        setRowStatus(row, result > 0);
        m_documentRows.push_back(row);
    }

    // Finishes and closes the open document. A document whose file could not be completed must
    // not leave its rows reading "Succeed": they fail, the log says so, and a partly written new
    // file is removed.
    void closeDocument()
    {
        if (m_handle <= 0)
            return;
        m_composer->FinishDocument(m_handle);
        bool written = m_context.engine.CloseDocument(m_handle) > 0;
        m_report.outputs.back().written = written;
        if (!written) {
            for (size_t row : m_documentRows) {
                if (m_rows[row].status != kStateFailed) {
                    m_rows[row].status = kStateFailed;
                    observer().rowStatus(row, m_rows[row].status);
                }
            }
            log().appendRecord(kTagState, kStateFailed);
            const std::string& path = m_report.outputs.back().path;
            if (m_removeOnFailure && isRegularFile(path))
                ::unlink(path.c_str());
        } else if (m_documentPages == 0 && m_removeOnFailure) {
            // Not one image made it into this new document: a PDF without pages is of no use
            // and would look like a result, so it goes. The rows already read "Failed".
            const std::string& path = m_report.outputs.back().path;
            if (isRegularFile(path))
                ::unlink(path.c_str());
            m_report.outputs.back().written = false;
        }
        m_handle = 0;
        m_composer.reset();
        m_documentRows.clear();
    }

    void mergeMode()
    {
        log().recordTime();
        engine::DocHandle handle = openDocument(m_settings.paths.merged);
        log().appendRecord(kTagOutput, m_settings.paths.merged);
        if (handle <= 0) {
            log().appendRecord(kTagState, kStateCreateFailed);
            return;
        }
        observer().outputNameShown(m_state.lastOutput);
        applyDocumentSettings(m_context.engine, m_handle, m_settings.output);
        for (size_t row = 0; row < m_rows.size() && !stopRequested(); ++row) {
            selectRow(row);
            log().appendRecord(kTagInput, m_rows[row].path);
            convertRow(row);
        }
        closeDocument();
    }

    void perImageMode()
    {
        for (size_t row = 0; row < m_rows.size() && !stopRequested(); ++row) {
            selectRow(row);
            FileRow& current = m_rows[row];
            if (m_state.answer == kContinueConvert && current.converted == 1)
                continue;
            current.converted = 1;
            log().recordTime();
            log().appendRecord(kTagInput, current.path);
            std::string name = perImageOutputName(m_settings.paths.perImageFolder, current.path);
            log().appendRecord(kTagOutput, name);
            if (openDocument(name) <= 0) {
                setRowStatus(row, false);
                continue;
            }
            m_state.pageCounter = 0;
            applyDocumentSettings(m_context.engine, m_handle, m_settings.output);
            convertRow(row);
            closeDocument();
        }
    }

    void perFolderMode()
    {
        observer().rowsReordered(sortRowsByPath(m_rows));
        std::string previousName;
        bool opened = false;
        for (size_t row = 0; row < m_rows.size() && !stopRequested(); ++row) {
            selectRow(row);
            const std::string& path = m_rows[row].path;
            std::string name = perFolderOutputName(m_settings.paths.perFolderFolder, path);
            if (!opened || strcasecmp(name.c_str(), previousName.c_str()) != 0) {
                closeDocument();
                m_state.pageCounter = 0;
                log().recordTime();
                previousName = name;
                opened = true;
                engine::DocHandle handle = openDocument(name);
                log().appendRecord(kTagOutput, name);
                if (handle <= 0)
                    log().appendRecord(kTagState, kStateCreateFailed);
                else
                    applyDocumentSettings(m_context.engine, m_handle, m_settings.output);
            }
            if (m_handle > 0) {
                log().appendRecord(kTagInput, path);
                convertRow(row);
            }
        }
        closeDocument();
    }

    JobState& m_state;
    std::vector<FileRow>& m_rows;
    const JobSettings& m_settings;
    JobContext& m_context;
    JobReport m_report;

    engine::DocHandle m_handle = 0;          // the open output document, 0 when none
    std::optional<engine::PageComposer> m_composer; // its page composer
    std::vector<size_t> m_documentRows;      // rows composed into it
    int m_documentPages = 0;                 // frames placed on its pages successfully
    bool m_removeOnFailure = false;          // its file did not exist before the job
};

void clearRows(std::vector<FileRow>& rows)
{
    for (FileRow& row : rows) {
        row.status = kStatusNone;
        row.converted = 0;
    }
}

} // namespace

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
