#pragma once
// The conversion job of the file list: turns the list's rows into PDF files in one of three
// groupings (all rows into one file, one file per row, one file per source folder), writes each
// row's outcome into its status and into the job log, and runs the after-conversion action when
// the job was not stopped.
//
// Threads: beginJob runs on the front end's thread when Convert is pressed; runJob runs on one
// worker thread (or on the caller's thread, as the command line does). While a job runs only the
// job touches the rows, the state and the log; the front end may set `stopRequested` at any
// time from any thread, which the job reads before each row. All updates the front end shows
// arrive through the JobObserver, on the thread that called runJob, in the order a single worker
// makes them, also when JobSettings::workers converts several documents at once.

#include <atomic>
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "app/output_settings.h"
#include "jobs/job_log.h"
#include "jobs/job_observer.h"
#include "jobs/output_naming.h"
#include "layout/document_settings.h"
#include "services/system_actions.h"
#include "version.h"

namespace folvane::jobs {

using layout::kDefaultProducer;

// Status texts of a row.
inline constexpr const char* kStatusNone = "-";

// One row of the file list.
struct FileRow {
    std::string path;        // full path of the image, as added
    std::string sizeText;    // "%d KB"
    std::string typeText;    // extension without its dot, upper case
    std::string plannedName; // the "PDF Files" column
    std::string status = kStatusNone; // "-", "Succeed" or "Failed"
    int converted = 0;       // 1 once a per-image run has started the row
    std::string failure;     // why a "Failed" row failed, in a few words; empty otherwise
    std::string note;        // what a converted row still lacks (pages left without text); else empty
};

// The job's state; it belongs to the page and outlives single jobs (the converted flags of the
// rows and this state together let a stopped per-image run be continued).
struct JobState {
    std::atomic<int> converting {0};    // 1 from Convert until the job has ended
    std::atomic<int> stopRequested {0}; // set by the front end; read by the worker between rows
    int answer = kNewConvert;           // kContinueConvert or kNewConvert
    size_t rowCount = 0;                // rows when Convert was pressed
    int policy = kCreateNewFile;        // ExistsPolicy of the job
    int pageCounter = 0;                // frames composed into the current output document
    std::string lastOutput;             // the output file last opened, after renaming
    JobLog log;                         // the records of the job
};

// What a job reads besides the rows: fixed when Convert is pressed.
struct JobSettings {
    int mode = kMergeMode; // OutputMode; another value converts nothing
    // Output documents converted at once in per-image and per-folder mode, each on a worker
    // thread of its own; 1 converts them one after another on the job's thread. Merge mode has a
    // single document and ignores it. The outputs, the log and the observer's updates are the
    // same for every count (see jobs/parallel_documents.h).
    int workers = 1;
    OutputPaths paths;
    app::OutputSettings output;
};

// What a job talks to. The references must outlive the job.
struct JobContext {
    JobObserver& observer;
    services::SystemActions& actions;
    // The after-conversion action ("after"), read when a job that was not stopped ends; none
    // given means "Do Nothing".
    std::function<int()> afterAction;
};

// One output document of a job, in the order the job opened them.
struct OutputRecord {
    std::string path;     // the file actually used (after any renaming)
    bool created = false; // the document could be opened
    bool written = false; // the document was closed with its file complete
    bool appended = false; // pages were added to an existing PDF
    std::string refusal;   // why appending to the existing PDF was refused; empty otherwise
};

struct JobReport {
    std::vector<OutputRecord> outputs;
    bool stopped = false; // the front end asked the job to stop
};

// Convert pressed while no job runs. Returns false, and changes nothing, when there are no rows
// (the front end shows "Can't convert, please add files first!"). Otherwise marks the job
// running, reports the start to the observer, and prepares the rows: in per-image mode after
// asking whether an interrupted run is continued (only when some but not all rows were started),
// in the other modes always, every status becomes "-" and every converted flag 0.
bool beginJob(JobState& state, std::vector<FileRow>& rows, int mode, int policy, JobObserver& observer);

// The job body, after beginJob: converts the rows by the mode, writes the job log, then (unless
// a stop was requested) runs the after-conversion action, and reports the end to the observer.
// The log is written before the action, because "Exit Program" and the power actions may end the
// process.
JobReport runJob(JobState& state, std::vector<FileRow>& rows, const JobSettings& settings, JobContext& context);

// The rows [first, end) of one output document.
struct RowRange {
    size_t first = 0;
    size_t end = 0;
};

// The documents of per-folder mode over rows already sorted by sortRowsByPath, in the order the
// job writes them: each run of consecutive rows whose PDF names in `outputFolder` are equal
// (letter case ignored).
std::vector<RowRange> folderDocuments(const std::vector<FileRow>& rows, const std::string& outputFolder);

// Puts the rows into ascending byte order of their paths (stable, case-sensitive); returns, for
// each new position, the row's previous index.
std::vector<size_t> sortRowsByPath(std::vector<FileRow>& rows);

} // namespace folvane::jobs
