// The watch-folder runner's body: the passes, the wait between them, and the three ways of
// grouping a pass's images into PDF files.

#include "jobs/watch_runner.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>
#include <optional>
#include <strings.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "app/app_paths.h"
#include "document_run.h"
#include "failure_reason.h"
#include "jobs/grouping.h"
#include "source_file.h"
#include "watch_claims.h"
#include "services/after_action.h"

namespace folvane::jobs {

namespace {

using std::chrono::milliseconds;

std::string replaceAll(std::string text, const std::string& from, const std::string& to)
{
    if (from.empty())
        return text;
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

// A source whose pages went into the open document, whether they were added, and what was read.
struct Handled {
    std::string path;
    bool succeeded = false;
    SourceIdentity identity;
    std::string shown; // the path the user knows when it differs (a claimed source's), else ""

    const std::string& known() const { return shown.empty() ? path : shown; }
};

// What a run remembers from pass to pass.
struct WatchMemory {
    StabilityTracker tracker;
    // Sources converted but not moved aside or deleted, with what they were then: while a source
    // stays exactly so, converting it again would only make the same PDF again.
    std::map<std::string, SourceIdentity> stuck;
    std::vector<std::string> lastSkipped; // the entries the previous pass passed over
    // Per-image PDFs this run wrote under "Overwrite" with delete on, by name (letter case kept).
    std::vector<std::string> overwrittenNames;
    ClaimFolder* claims = nullptr; // a shared folder's claim folder of this runner
};

std::string withSlash(std::string folder)
{
    if (!folder.empty() && folder.back() != '/')
        folder.push_back('/');
    return folder;
}

bool sameName(const std::string& a, const std::string& b)
{
    return strcasecmp(a.c_str(), b.c_str()) == 0;
}

class WatchPass : public DocumentClient {
public:
    WatchPass(WatchState& state, const WatchSettings& settings, WatchContext& context, WatchMemory& memory,
              WatchReport& report)
        : m_state(state)
        , m_settings(settings)
        , m_context(context)
        , m_memory(memory)
        , m_tracker(memory.tracker)
        , m_report(report)
    {
        // The watch page has no producer box: the default producer is always written.
        m_output = settings.output;
        m_output.producer.clear();
    }

    void run()
    {
        if (m_memory.claims) {
            for (const std::string& path : m_memory.claims->recoverStale())
                notice(path, "returned from the claim of a runner that is gone");
        }
        std::vector<std::string> work;
        std::vector<std::string> skipped;
        if (m_settings.includeSubfolders) {
            work = scanTree(m_settings.inputFolder, m_settings.repeat, &skipped, m_settings.order);
        } else {
            work = scanFolder(m_settings.inputFolder, &skipped, m_settings.order);
            if (m_settings.repeat)
                createManagedFolders(m_settings.inputFolder);
        }
        reportSkipped(skipped);
        work = settledFiles(withoutStuck(work));
        if (work.empty()) {
            m_context.observer.watchStateLine(std::string(kWatchCurrentPrefix) +
                                              (m_lastNotice.empty() && m_memory.stuck.empty()
                                                   ? std::string(kWatchNothingToDo)
                                                   : notMovedSummary()));
            return;
        }
        m_state.pageCounter = 0;
        writeWork(std::move(work));
    }

private:
    bool stopRequested() const { return m_state.stopRequested.load() != 0; }
    JobLog& log() { return m_state.log; }

    void notice(const std::string& path, const std::string& message)
    {
        m_lastNotice = path + ": " + message;
        m_context.observer.watchStateLine(std::string(kWatchCurrentPrefix) + m_lastNotice);
        if (m_context.notice)
            m_context.notice(path, message);
    }

    // Entries that are links or not regular files are never converted; the user is told which,
    // once for every change of that set rather than on every pass.
    void reportSkipped(std::vector<std::string>& skipped)
    {
        std::sort(skipped.begin(), skipped.end());
        if (skipped == m_memory.lastSkipped)
            return;
        for (const std::string& path : skipped) {
            if (!std::binary_search(m_memory.lastSkipped.begin(), m_memory.lastSkipped.end(), path))
                notice(path, "skipped: a symbolic link or not a regular file");
        }
        m_memory.lastSkipped = std::move(skipped);
    }

    // The files of `found` except the sources that were converted before but could not be moved
    // aside or deleted and have not changed since. Memory of sources no longer there is dropped.
    std::vector<std::string> withoutStuck(const std::vector<std::string>& found)
    {
        std::vector<std::string> work;
        std::map<std::string, SourceIdentity> stillStuck;
        for (const std::string& path : found) {
            auto stuck = m_memory.stuck.find(path);
            if (stuck != m_memory.stuck.end() && stillTheSame(path, stuck->second))
                stillStuck.insert(*stuck);
            else
                work.push_back(path);
        }
        m_memory.stuck = std::move(stillStuck);
        return work;
    }

    std::string notMovedSummary() const
    {
        if (!m_lastNotice.empty())
            return m_lastNotice;
        return std::to_string(m_memory.stuck.size()) + " converted file(s) could not be moved aside; see the log";
    }

    static void createManagedFolders(const std::string& folder)
    {
        app::AppPaths::createDirectories(folder + std::string(kConvertedFolder) + "/");
        app::AppPaths::createDirectories(folder + std::string(kFailedFolder) + "/");
    }

    // The files of `found` that have stopped changing, in the order found. When the next pass
    // comes soon enough to give a changing file its second look, it is left to that pass;
    // otherwise this pass looks again after the settle time, for at most the settle limit.
    std::vector<std::string> settledFiles(const std::vector<std::string>& found)
    {
        m_tracker.keepOnly(found);
        std::vector<std::string> pending;
        std::vector<std::string> settled;
        for (const std::string& path : found)
            (m_tracker.stable(path, m_settings.settleTime) ? settled : pending).push_back(path);
        bool nextPassLooks = m_settings.repeat && milliseconds(m_settings.intervalSeconds * 1000LL) >= m_settings.settleTime;
        if (!pending.empty() && !nextPassLooks) {
            auto deadline = StabilityTracker::Clock::now() + m_settings.settleLimit;
            while (!pending.empty() && !stopRequested() && StabilityTracker::Clock::now() < deadline) {
                auto wake = std::min(StabilityTracker::Clock::now() + m_settings.settleTime, deadline);
                while (!stopRequested() && StabilityTracker::Clock::now() < wake)
                    std::this_thread::sleep_for(std::min<StabilityTracker::Clock::duration>(milliseconds(100), wake - StabilityTracker::Clock::now()));
                std::vector<std::string> still;
                for (const std::string& path : pending)
                    (m_tracker.stable(path, m_settings.settleTime) ? settled : still).push_back(path);
                pending = std::move(still);
            }
        }
        m_report.skipped += static_cast<int>(pending.size());
        if (!m_settings.repeat && m_context.fileDone) {
            for (const std::string& path : pending)
                m_context.fileDone(path, kStateSkipped, {});
        }
        std::vector<std::string> ordered;
        for (const std::string& path : found) {
            if (std::find(settled.begin(), settled.end(), path) != settled.end())
                ordered.push_back(path);
        }
        return ordered;
    }

    void showCurrent(const std::string& path)
    {
        m_context.observer.watchStateLine(std::string(kWatchCurrentPrefix) + path);
    }

    // `reason`: why a failed file failed, or what a converted one lacks (its note).
    void record(const std::string& path, bool succeeded, const std::string& reason)
    {
        log().appendRecord(kTagState, succeeded ? kStateSucceed : kStateFailed);
        if (!reason.empty())
            log().appendRecord(succeeded ? kTagNote : kTagReason, reason);
        (succeeded ? m_report.succeeded : m_report.failed) += 1;
        if (m_context.fileDone)
            m_context.fileDone(path, succeeded ? kStateSucceed : kStateFailed, reason);
    }

    // Moves a source into the managed folder `which` of the folder the user put it in; false
    // when it stayed.
    bool moveAside(const Handled& source, std::string_view which)
    {
        PathParts parts = splitPath(source.known());
        std::string reason;
        if (!moveIntoFolder(source.path, parts.drive + parts.folder + std::string(which) + "/", &reason).empty())
            return true;
        notMoved(source.known(), "cannot move to " + std::string(which) + ": " + reason);
        return false;
    }

    // A claimed source that is not moved on goes back to the input folder for a later pass.
    void returnClaimed(const Handled& source)
    {
        if (!source.shown.empty() && std::filesystem::exists(source.path))
            moveIntoFolder(source.path, m_settings.inputFolder);
    }

    // A converted source that stays where it was: said once, logged, and remembered so that it
    // is not converted again while it stays as it is.
    void notMoved(const std::string& path, const std::string& message)
    {
        log().appendRecord(kTagNotMoved, path + ": " + message);
        m_report.notMoved += 1;
        SourceIdentity identity = identityAt(path);
        if (identity.known)
            m_memory.stuck[path] = identity;
        notice(path, message);
    }

    // After the document holding the source was written: deletes or moves a converted source,
    // moves a failed one; a failed source is never deleted. Only the file that was read is moved
    // or deleted: a file written under the same name since (a scanner's next page) stays for the
    // next pass.
    void settle(const Handled& source)
    {
        bool moves = source.succeeded ? m_settings.deleteOnSuccess || m_settings.repeat : m_settings.repeat;
        if (moves && stillTheSame(source.path, source.identity)) {
            if (source.succeeded && m_settings.deleteOnSuccess) {
                errno = 0;
                if (deleteUnlessReadOnly(source.path))
                    return;
                notMoved(source.known(), std::string("cannot delete: ") +
                                             (errno == 0 || errno == ENOENT ? "the file is read-only" : std::strerror(errno)));
            } else if (moveAside(source, source.succeeded ? kConvertedFolder : kFailedFolder)) {
                return;
            }
        }
        returnClaimed(source);
    }

    // The pass's images into documents by the mode, one document after another.
    void writeWork(std::vector<std::string> work)
    {
        std::vector<PlannedDocument> plan = planWatchDocuments(m_settings, work);
        m_work = std::move(work);
        m_shown.assign(m_work.size(), std::string());
        DocumentJob job {m_output, m_settings.mode, m_state.policy, NamingStyle::Watch, m_work,
                         m_state.stopRequested};
        writeDocuments(job, plan, *this, 1, m_context.observer, m_state.log);
    }

    // What the driver asks of the runner while it writes the pass's documents (DocumentClient).

    std::optional<std::string> admit(size_t input, DocumentScope&) override
    {
        const std::string& path = m_work[input];
        if (!m_memory.claims)
            return path;
        // In a shared folder a source is first claimed; one another runner claimed is its.
        std::string claimed = m_memory.claims->claim(path);
        if (claimed.empty())
            return std::nullopt;
        if (claimed != path)
            m_shown[input] = path;
        return claimed;
    }

    void selected(size_t input, DocumentScope&) override { showCurrent(m_work[input]); }

    std::string beforeOpen(const PlannedDocument& doc) override
    {
        if (m_settings.mode != kPerImageMode)
            return {};
        if (m_settings.keepSubfolders) {
            PathParts parts = splitPath(doc.wantedPath);
            app::AppPaths::createDirectories(parts.drive + parts.folder);
        }
        if (!replacesAnEarlierSource(doc.wantedPath))
            return {};
        return "another source of this run already gave " + doc.wantedPath +
               ", and \"Overwrite\" would replace it after that source was deleted";
    }

    void openTried(const PlannedDocument&, const DocumentWriter& writer, DocumentScope&) override
    {
        m_state.lastOutput = writer.document().path;
        if (writer.isOpen())
            m_context.observer.outputNameShown(writer.document().path);
    }

    void notOpened(const PlannedDocument&, size_t input, const std::string& readPath, const std::string& reason,
                   const DocumentWriter&, DocumentScope&) override
    {
        const std::string& path = m_work[input];
        switch (m_settings.mode) {
        case kMergeMode:
            log().appendRecord(kTagState, kStateFailed);
            log().appendRecord(kTagReason, reason);
            break;
        case kPerImageMode:
            record(path, false, reason);
            settle({readPath, false, identityAt(readPath), m_shown[input]});
            break;
        default:
            // The folder's first source goes to "_failed", so that a folder whose PDF cannot be
            // made does not block every pass; its other sources stay.
            record(path, false, reason);
            moveAside({path, false, identityAt(path), {}}, kFailedFolder);
            break;
        }
    }

    void imageDone(const AddedImage& image, DocumentScope&) override
    {
        const std::string& shown = m_shown[image.input];
        record(shown.empty() ? image.path : shown, image.succeeded, image.succeeded ? image.note : image.reason);
    }

    // Sources are moved or deleted only when the document holding them was written (or
    // dropped, all of them failed); otherwise they stay for the next pass.
    void closed(const PlannedDocument&, CloseOutcome outcome, const DocumentWriter& writer, DocumentScope&) override
    {
        m_state.pageCounter = writer.pageCounter();
        if (outcome == CloseOutcome::Written) {
            m_state.lastOutput = writer.path();
            if (m_context.written)
                m_context.written(writer.path());
        }
        for (const AddedImage& image : writer.added()) {
            Handled source {image.path, image.succeeded, image.identity, m_shown[image.input]};
            if (outcome != CloseOutcome::NotWritten) {
                settle(source);
                continue;
            }
            if (source.succeeded) {
                m_report.succeeded -= 1;
                m_report.failed += 1;
                if (m_context.fileDone)
                    m_context.fileDone(source.known(), kStateFailed, kReasonNotWritten);
            }
            returnClaimed(source);
        }
    }

    // Under "Overwrite" with delete on, a second source giving the same per-image PDF name would
    // replace the PDF of the first, whose source is gone by then. Such a source is not converted.
    bool replacesAnEarlierSource(const std::string& name)
    {
        if (m_state.policy != kOverwrite || !m_settings.deleteOnSuccess)
            return false;
        auto& names = m_memory.overwrittenNames;
        if (std::any_of(names.begin(), names.end(), [&](const std::string& n) { return sameName(n, name); }))
            return true;
        names.push_back(name);
        return false;
    }

    WatchState& m_state;
    const WatchSettings& m_settings;
    WatchContext& m_context;
    WatchMemory& m_memory;
    StabilityTracker& m_tracker;
    WatchReport& m_report;
    app::OutputSettings m_output;
    std::string m_lastNotice; // the last notice of this pass, for the state line
    std::vector<std::string> m_work;  // the pass's images, in the order they are written
    std::vector<std::string> m_shown; // per image: the path the user knows when it was claimed, else ""
};

// The wait between passes. The stop flag is looked at ten times a second, so that Stop ends the
// wait at once for the user watching the button, well within the second it may take.
void waitBetweenPasses(const WatchState& state, int seconds)
{
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (state.stopRequested.load() == 0) {
        auto left = end - std::chrono::steady_clock::now();
        if (left <= std::chrono::steady_clock::duration::zero())
            break;
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(left, milliseconds(100)));
    }
}

} // namespace

std::vector<PlannedDocument> planWatchDocuments(const WatchSettings& settings, std::vector<std::string>& images)
{
    if (settings.mode == kPerFolderMode)
        sortForFolders(images, settings.order);
    PerImageFolder folderOf;
    if (settings.keepSubfolders) {
        folderOf = [input = withSlash(settings.inputFolder), &settings](const std::string& path) {
            PathParts parts = splitPath(path);
            return replaceAll(parts.drive + parts.folder, input, settings.paths.perImageFolder);
        };
    }
    return planDocuments(images, settings.mode, settings.paths, folderOf);
}

std::string sharedWatchConflict(const WatchSettings& settings)
{
    if (!settings.shared)
        return {};
    if (settings.mode != kPerImageMode)
        return "--shared works with one PDF per image (-m image) only: in merge and per-folder mode one PDF "
               "holds several sources, which no single runner can claim";
    if (settings.includeSubfolders)
        return "--shared watches the folder itself, not its subfolders";
    return {};
}

std::string overwriteDeleteConflict(const WatchSettings& settings, int policy)
{
    if (policy != kOverwrite || !settings.deleteOnSuccess)
        return {};
    const std::string both = "\"Overwrite\" (when the output file exists) together with \"Delete source file when "
                             "success\"";
    if (settings.mode == kMergeMode || settings.mode == kPerFolderMode) {
        if (!settings.repeat)
            return {};
        return both + " and a monitoring interval would replace the PDF on every pass with that pass's images "
                      "alone, after the earlier images were deleted. Choose another existing-file policy or keep "
                      "the source files.";
    }
    if (settings.mode != kPerImageMode)
        return {};
    std::string folder = withSlash(settings.inputFolder);
    std::vector<std::string> sources = settings.includeSubfolders ? scanTree(folder, false) : scanFolder(folder);
    std::vector<PlannedDocument> plan = planWatchDocuments(settings, sources);
    for (size_t later = 0; later < plan.size(); ++later) {
        for (size_t earlier = 0; earlier < later; ++earlier) {
            const std::string& name = plan[later].wantedPath;
            if (!sameName(plan[earlier].wantedPath, name))
                continue;
            const std::string& otherSource = sources[plan[earlier].inputs.front()];
            const std::string& source = sources[plan[later].inputs.front()];
            return both + " would replace the PDF of " + otherSource + " with the one of " + source +
                   " (both give " + name + ") after deleting " + otherSource +
                   ". Choose another existing-file policy or keep the source files.";
        }
    }
    return {};
}

bool beginWatch(WatchState& state, WatchSettings& settings, int policy, JobObserver& observer)
{
    if (settings.inputFolder.empty() || !app::AppPaths::folderExists(settings.inputFolder))
        return false;
    if (settings.inputFolder.back() != '/')
        settings.inputFolder.push_back('/');
    settings.intervalSeconds = std::clamp(settings.intervalSeconds, 0, 999);
    state.policy = policy;
    state.stopRequested = 0;
    state.running = 1;
    observer.jobStateChanged(true);
    return true;
}

WatchReport runWatch(WatchState& state, const WatchSettings& settings, WatchContext& context)
{
    WatchReport report;
    WatchMemory memory;
    std::optional<ClaimFolder> claims;
    std::thread heartbeat;
    std::atomic<bool> ended {false};
    if (settings.shared) {
        claims.emplace(settings.inputFolder, settings.host, settings.lease);
        std::string error;
        if (claims->open(error)) {
            memory.claims = &*claims;
            // The claim folder stays fresh while the runner lives, also during a long conversion.
            auto beat = std::max<std::chrono::milliseconds>(milliseconds(100), settings.lease / 4);
            heartbeat = std::thread([&claims, &ended, beat] {
                while (!ended.load()) {
                    claims->refresh();
                    for (auto slept = milliseconds(0); slept < beat && !ended.load(); slept += milliseconds(50))
                        std::this_thread::sleep_for(milliseconds(50));
                }
            });
        } else {
            if (context.notice)
                context.notice(settings.inputFolder, error);
            state.stopRequested = 1;
        }
    }
    if (settings.repeat) {
        while (state.stopRequested.load() == 0) {
            WatchPass(state, settings, context, memory, report).run();
            report.passes += 1;
            // A long-running watch writes its records after every pass, so they are neither
            // held in memory without bound nor lost when the process is killed.
            state.log.flushLog();
            waitBetweenPasses(state, settings.intervalSeconds);
        }
    } else {
        WatchPass(state, settings, context, memory, report).run();
        report.passes = 1;
    }
    if (heartbeat.joinable()) {
        ended = true;
        heartbeat.join();
        claims->close();
    }
    report.stopped = state.stopRequested.load() != 0;
    // The log goes to its file before the after-conversion action: "Exit Program" and the power
    // actions may end the process.
    state.log.flushLog();
    if (!settings.repeat && !report.stopped) {
        int action = context.afterAction ? context.afterAction() : services::kDoNothing;
        services::runAfterConversionAction(action, outputPathOf(settings.paths, settings.mode), context.actions);
    }
    if (report.stopped)
        context.observer.watchStateLine("");
    state.running = 0;
    state.stopRequested = 0;
    context.observer.jobStateChanged(false);
    return report;
}

} // namespace folvane::jobs
