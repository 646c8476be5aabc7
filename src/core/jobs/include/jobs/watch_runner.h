#pragma once
// The watch-folder runner: converts the supported images that appear in a folder (optionally
// with its subfolders) into PDF files, once or again and again at an interval until stopped, and
// moves each source aside into "_converted" or "_failed" beside it, or deletes it after success,
// so that each pass finds only new files. It groups images as the file-list job does (merge, one
// PDF per image, one PDF per folder) and writes them through the same driver
// (jobs/document_run.h), with that job's settings, composer, naming and log.
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
#include "jobs/grouping.h"
#include "jobs/image_inputs.h"

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

// The log record of a source that was converted but could not be moved aside or deleted.
inline constexpr std::string_view kTagNotMoved = "[Not Moved]";

// What a run reads, fixed at start.
struct WatchSettings {
    std::string inputFolder; // the watched folder; beginWatch adds the trailing "/"
    int mode = kMergeMode;   // OutputMode; another value converts nothing
    OutputPaths paths;
    app::OutputSettings output; // its producer is ignored: the default producer is always written
    bool includeSubfolders = false; // "subdir"
    bool deleteOnSuccess = false;   // "del_success"
    bool keepSubfolders = false;    // "keepsub", per-image mode
    FolderOrder order = FolderOrder::Name; // the order of a folder's images (merge-mode page order)
    bool repeat = false;            // "runsec": repeat the pass every intervalSeconds
    int intervalSeconds = 0;        // 0 to 999
    // A file is taken when two looks this far apart saw the same size and modification time.
    std::chrono::milliseconds settleTime {2000};
    // The longest a pass waits for changing files when it cannot leave them to the next pass.
    std::chrono::milliseconds settleLimit {10000};
    // Several runners share the input folder (per-image mode only): each source is claimed by a
    // rename into "_processing/<host>.<pid>.<start>/" first (see jobs/watch_claims.h).
    bool shared = false;
    std::string host;                 // the host part of the claim folder's name; "" the system's
    std::chrono::seconds lease {120}; // how long another host's claim may go unrefreshed
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
    JobObserver& observer;
    services::SystemActions& actions;
    // The after-conversion action ("after") of a single pass; none given means "Do Nothing".
    std::function<int()> afterAction;
    // Told the outcome of every file a pass handles: "Succeed", "Failed" or "Skipped", with a
    // one-line reason for "Failed" (empty otherwise).
    std::function<void(const std::string& path, std::string_view outcome, std::string_view reason)> fileDone;
    // Told what went wrong around a file besides its conversion: a source that could not be moved
    // aside or deleted ("cannot move to _converted: Permission denied"), and once per pass whose
    // set of them changed, the entries passed over because they are links or not regular files
    // ("skipped: not a regular file"). The same text goes to the state line and the log.
    std::function<void(const std::string& path, std::string_view message)> notice;
    // Told the path of every PDF written and named, once it is on disk.
    std::function<void(const std::string& path)> written;
};

struct WatchReport {
    int passes = 0;
    int succeeded = 0;
    int failed = 0;
    int skipped = 0;
    int notMoved = 0; // sources converted but left in place because moving or deleting them failed
    bool stopped = false;
};

// A combination of settings that would lose pages, or "" when there is none. "Overwrite" with
// "Delete source file when success" replaces a PDF with one made of newer sources after the
// sources of the replaced one were deleted: with the interval in merge and per-folder mode that
// happens on every pass, in per-image mode whenever two sources give the same PDF name. Front
// ends refuse to start such a run and show the text, which names the settings.
std::string overwriteDeleteConflict(const WatchSettings& settings, int policy);

// Settings a shared folder cannot be watched with (anything but per-image mode, subfolders), or
// "" when the run may start.
std::string sharedWatchConflict(const WatchSettings& settings);

// The documents a pass writes for `images`, the supported images it found in scan order. In
// per-folder mode the images are first put into folder order (the pass writes them so); in
// per-image mode with keepSubfolders each PDF goes to the image's folder mirrored below the
// output folder.
std::vector<PlannedDocument> planWatchDocuments(const WatchSettings& settings, std::vector<std::string>& images);

// Start pressed while nothing runs: false, and nothing starts, when the input folder is empty or
// not an existing folder (the front end shows kWatchNoFolder). Front ends check
// overwriteDeleteConflict first. Otherwise appends "/" to the
// folder when it lacks one, marks the run running and reports the start to the observer.
bool beginWatch(WatchState& state, WatchSettings& settings, int policy, JobObserver& observer);

// The runner body after beginWatch: passes (with the interval until stopped, or one pass followed
// by the after-conversion action), then the end steps: state line cleared after a stop, the log
// written, the end reported to the observer.
WatchReport runWatch(WatchState& state, const WatchSettings& settings, WatchContext& context);

// The supported images directly in `folder` in name (or natural) order. Only regular files are taken: symbolic
// links (also links to images) and other kinds of entries are passed over and, when `skipped` is
// given, appended to it.
std::vector<std::string> scanFolder(const std::string& folder, std::vector<std::string>* skipped = nullptr,
                                    FolderOrder order = FolderOrder::Name);
// The supported images of `folder` and, depth first, of its real subfolders (never a linked one)
// except the managed folders (compared without regard to case); the images of a folder come
// before those of its subfolders. With `createManaged` the managed folders of every scanned
// folder are created. Entries passed over go to `skipped` as in scanFolder.
std::vector<std::string> scanTree(const std::string& folder, bool createManaged,
                                  std::vector<std::string>* skipped = nullptr, FolderOrder order = FolderOrder::Name);

// Moves `source` into `folder` (which ends with "/") under its own name, or under the first free
// name "name(1).ext", "name(2).ext", ... when that is taken; never replaces anything. `folder`
// must be a real folder: a symbolic link (to a folder or not) makes the move fail. Returns the
// new path, or "" when the move failed (the source then stays where it was, and `reason`, when
// given, receives the system's reason). A move to another file system fails; it is never done
// by copying.
std::string moveIntoFolder(const std::string& source, const std::string& folder, std::string* reason = nullptr);

// Remembers what the files looked like, to tell files still being written from finished ones.
class StabilityTracker {
public:
    using Clock = std::chrono::steady_clock;
    // True when an earlier look at least `settle` ago saw the same size and modification time,
    // and always for a settle time of zero (no waiting asked). Records this look either way (a
    // changed file starts over).
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
