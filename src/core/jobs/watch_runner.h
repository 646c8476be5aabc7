#pragma once
// The watch-folder runner: converts the supported images that appear in a folder (optionally
// with its subfolders) into PDF files, once or again and again at an interval until stopped, and
// moves each source aside into "_converted" or "_failed" beside it, or deletes it after success,
// so that each pass finds only new files. It groups images as the file-list job does (merge, one
// PDF per image, one PDF per folder) and shares that job's settings, composer, naming and log.
//
// A file is taken only once it has stopped changing: a scanner or a copy still writing into the
// folder must not have its half-written file converted and moved away. Sources are moved or
// deleted only after the PDF holding their pages was written completely, so a failed write never
// loses a source; they are then simply tried again in the next pass.
//
// Threads: beginWatch runs on the front end's thread; runWatch on one worker thread (or on the
// caller's thread, as the command line does). The front end may set `stopRequested` at any time
// from any thread; the worker reads it before each file and every second of the wait between
// passes.

#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "jobs/conversion_job.h"

namespace folvane::jobs {

// The folders the runner manages inside every scanned folder.
inline constexpr std::string_view kConvertedFolder = "_converted";
inline constexpr std::string_view kFailedFolder = "_failed";

// State line texts.
inline constexpr std::string_view kWatchCurrentPrefix = "Current: ";
inline constexpr std::string_view kWatchNothingToDo = "Please add more supported files to the folder!";
// Shown when the folder given at start is empty or not an existing folder.
inline constexpr std::string_view kWatchNoFolder = "You must select a folder for monitoring.";
// Outcome word of a file that was still changing and is left for a later look.
inline constexpr std::string_view kStateSkipped = "Skipped";

// What a run reads, fixed at start.
struct WatchSettings {
    std::string inputFolder; // the monitored folder; beginWatch adds the trailing "/"
    int mode = kMergeMode;   // OutputMode; another value converts nothing
    OutputPaths paths;
    app::OutputSettings output; // its producer is ignored: the default producer is always written
    bool includeSubfolders = false; // "subdir"
    bool deleteOnSuccess = false;   // "del_success"
    bool keepSubfolders = false;    // "keepsub", per-image mode
    bool repeat = false;            // "runsec": repeat the pass every intervalSeconds
    int intervalSeconds = 0;        // 0 to 999
    // A file is taken when two looks this far apart saw the same size and modification time.
    std::chrono::milliseconds settleTime {2000};
    // The longest a pass waits for changing files when it cannot leave them to the next pass.
    std::chrono::milliseconds settleLimit {10000};
};

struct WatchState {
    std::atomic<int> running {0};
    std::atomic<int> stopRequested {0};
    int policy = kCreateNewFile; // ExistsPolicy ("exists")
    int pageCounter = 0;
    std::string lastOutput; // the output file last opened
    JobLog log;
};

// What a run talks to. The references must outlive the run.
struct WatchContext {
    engine::CEngineClient& engine;
    JobObserver& observer;
    services::SystemActions& actions;
    // The after-conversion action ("after") of a single pass; none given means "Do Nothing".
    std::function<int()> afterAction;
    // Told the outcome of every file a pass handles: "Succeed", "Failed" or "Skipped", with a
    // one-line reason for "Failed" (empty otherwise).
    std::function<void(const std::string& path, std::string_view outcome, std::string_view reason)> fileDone;
};

struct WatchReport {
    int passes = 0;
    int succeeded = 0;
    int failed = 0;
    int skipped = 0;
    bool stopped = false;
};

// Start pressed while nothing runs: false, and nothing starts, when the input folder is empty or
// not an existing folder (the front end shows kWatchNoFolder). Otherwise appends "/" to the
// folder when it lacks one, marks the run running and reports the start to the observer.
bool beginWatch(WatchState& state, WatchSettings& settings, int policy, JobObserver& observer);

// The runner body after beginWatch: passes (with the interval until stopped, or one pass followed
// by the after-conversion action), then the end steps: state line cleared after a stop, the log
// written, the end reported to the observer.
WatchReport runWatch(WatchState& state, const WatchSettings& settings, WatchContext& context);

// The supported images directly in `folder` in name order.
std::vector<std::string> scanFolder(const std::string& folder);
// The supported images of `folder` and, depth first, of its subfolders except the managed
// folders (compared without regard to case); the images of a folder come before those of its
// subfolders. With `createManaged` the managed folders of every scanned folder are created.
std::vector<std::string> scanTree(const std::string& folder, bool createManaged);

// Moves `source` into `folder` (which ends with "/") under its own name, or under the first free
// name "name(1).ext", "name(2).ext", ... when that is taken; never replaces anything. Returns the
// new path, or "" when the move failed (the source then stays where it was).
std::string moveIntoFolder(const std::string& source, const std::string& folder);

// Remembers what the files looked like, to tell files still being written from finished ones.
class StabilityTracker {
public:
    using Clock = std::chrono::steady_clock;
    // True when an earlier look at least `settle` ago saw the same size and modification time.
    // Records this look either way (a changed file starts over).
    bool stable(const std::string& path, std::chrono::milliseconds settle);
    // Drops the looks of files not in `present`, so the memory does not grow without bound.
    void keepOnly(const std::vector<std::string>& present);

private:
    struct Look {
        long long size = -1;
        long long mtimeNanos = 0;
        Clock::time_point since;
    };
    std::map<std::string, Look> m_looks;
};

} // namespace folvane::jobs
