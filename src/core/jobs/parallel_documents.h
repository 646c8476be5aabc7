#pragma once
// The output documents of a job, converted one after another on the job's thread or several at
// once on worker threads, each document on one worker.
//
// With several workers the front end still sees what a single worker shows. Every document
// reports to an observer and a log of its own; the job's thread hands those reports on to the
// job's observer and log in input order, a document's reports once every earlier document is
// done. Questions (the name of an existing output file) are asked on the job's thread too, one at
// a time. Output documents are opened in input order, and a document whose name would depend on
// an earlier document that is still open (the same wanted name, or a numbered name that the
// earlier one took) waits until that one is closed and its file is final, so that every document
// gets the name, and the existing-file policy the outcome, that one worker would have given it.
// Choosing a generated name and creating the document happen under one lock: two workers never
// take the same name.

#include <atomic>
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "jobs/job_log.h"
#include "jobs/job_observer.h"
#include "jobs/output_naming.h"

namespace folvane::jobs {

// Opens the output document of one document's work and learns when it is closed again.
class OutputOpener {
public:
    virtual ~OutputOpener() = default;
    // openOutputDocument for `wantedPath` under `policy`; at most once per document.
    virtual OutputDocument open(const std::string& wantedPath, const OutputPolicy& policy) = 0;
    // The document open() returned with a handle above 0 is closed and its file is final
    // (written, or removed because it could not be completed or got no page).
    virtual void closed() {}
};

// Opens at once: the opener of a job that converts its documents one after another.
class DirectOpener : public OutputOpener {
public:
    OutputDocument open(const std::string& wantedPath, const OutputPolicy& policy) override
    {
        return openOutputDocument(wantedPath, policy);
    }
};

// What the work of one output document reports to and opens its document through.
struct DocumentScope {
    JobObserver& observer;
    JobLog& log;
    OutputOpener& opener;
};

// One output document of a job (or a row that is only selected, as a continued per-image run
// does with the rows an earlier run converted).
struct DocumentUnit {
    // Opens at most one output document through the scope's opener, fills it and closes it.
    // Reads the stop flag itself where it may end early (between rows of one document).
    std::function<void(DocumentScope&)> work;
    // Runs on the job's thread once the unit's reports were handed on; units are released in
    // input order. May be empty.
    std::function<void()> released;
};

// Runs the units in input order; a unit is started only while `stopRequested` is 0, and every
// started unit runs to its end. With `workers` 1 or less each unit runs on the calling thread and
// reports straight to `observer` and `log`. Otherwise up to `workers` units run at once, each on
// a worker thread of its own, and every call of `observer` is made on the calling thread. Returns
// when every started unit is done and released; an exception thrown by a unit's work stops
// further starts and is thrown again here.
void runDocumentUnits(std::vector<DocumentUnit>& units, int workers, JobObserver& observer, JobLog& log,
                      const std::atomic<int>& stopRequested);

} // namespace folvane::jobs
