// folvane-cli watch: the watch-folder runner without a window.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <unistd.h>

#include "app/app_paths.h"
#include "app/output_settings.h"
#include "app/setting_keys.h"
#include "app/settings_location.h"
#include "app/settings_store.h"
#include "commands.h"
#include "engine/external_converter.h"
#include "jobs/watch_runner.h"
#include "named_options.h"
#include "option_values.h"
#include "run_report.h"
#include "terminal_observer.h"
#include "services/after_action.h"

namespace folvane::cli {

namespace {

// Remembers the output document the runner works on, for the JSON records, and keeps the
// progress line (files done, pages begun, time elapsed; a watch has no known total).
class WatchObserver : public jobs::JobObserver {
public:
    explicit WatchObserver(bool showProgress)
        : m_showProgress(showProgress)
    {
    }

    void outputNameShown(const std::string& path) override { m_output = path; }
    const std::string& output() const { return m_output; }

    void clearProgress()
    {
        if (m_progressShown)
            std::fprintf(stderr, "\r\033[K");
        m_progressShown = false;
    }

    void fileDone()
    {
        ++m_done;
        if (!m_showProgress)
            return;
        double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count();
        long pages = m_pages;
        long minutes = static_cast<long>(elapsed) / 60;
        std::string text = m_textPages > 0 ? ", text read on " + std::to_string(m_textPages) : std::string();
        std::fprintf(stderr, "\r\033[K%zu %s, %ld %s%s, %ld:%02ld elapsed", m_done, m_done == 1 ? "file" : "files",
                     pages, pages == 1 ? "page" : "pages", text.c_str(), minutes, static_cast<long>(elapsed) % 60);
        std::fflush(stderr);
        m_progressShown = true;
    }

    void textRecognised(size_t, int frames, double) override { m_textPages += frames; }
    void pagesBegun(size_t, int pages) override { m_pages += pages; }

private:
    bool m_showProgress;
    long m_pages = 0;
    long m_textPages = 0;
    std::string m_output;
    size_t m_done = 0;
    bool m_progressShown = false;
    std::chrono::steady_clock::time_point m_start = std::chrono::steady_clock::now();
};

} // namespace

int runWatch(const GlobalOptions& global, const WatchOptions& options)
{
    app::SettingsLocation location = app::locateSettings(global.settingsFile);
    app::SettingsStore store(location.path);

    jobs::WatchSettings settings;
    if (!resolveRunSettings(store, options.settingArgs, settings.output))
        return kExitUsage;
    settings.mode =
        options.mode.empty() ? std::max(0, store.getInt(app::key::outputMode, 0)) : modeNumber(options.mode);
    int policy = options.exists.empty() ? store.getInt(app::key::existingOutput, jobs::kCreateNewFile)
                                        : policyNumber(options.exists);
    int action = actionNumber(options.after);
    if (settings.mode < 0 || policy < 0 || action < 0) {
        std::fprintf(stderr, "folvane-cli: bad --mode, --exists or --after value\n");
        return kExitUsage;
    }
    if (options.interval < 0 || options.interval > 999) {
        std::fprintf(stderr, "folvane-cli: --interval must be 0 to 999 seconds\n");
        return kExitUsage;
    }
    settings.inputFolder = absolutePath(options.input);
    settings.includeSubfolders = options.subdir;
    settings.deleteOnSuccess = options.deleteSuccess;
    settings.keepSubfolders = options.keepSubfolders;
    settings.order = options.naturalSort ? jobs::FolderOrder::Natural : jobs::FolderOrder::Name;
    settings.repeat = options.interval >= 0 && options.intervalGiven;
    settings.intervalSeconds = options.interval;
    settings.shared = options.shared;
    settings.host = options.host;
    settings.lease = std::chrono::seconds(options.lease);
    if (!options.host.empty() && (options.host.find('/') != std::string::npos || options.host == "." ||
                                  options.host == ".." || options.host.size() > 64)) {
        std::fprintf(stderr, "folvane-cli: --host: '%s' cannot be part of a folder name\n", options.host.c_str());
        return kExitUsage;
    }
    if (std::string conflict = jobs::sharedWatchConflict(settings); !conflict.empty()) {
        std::fprintf(stderr, "folvane-cli: %s\n", conflict.c_str());
        return kExitUsage;
    }
    settings.settleTime = std::chrono::milliseconds(static_cast<long long>(options.settle * 1000.0));

    settings.paths = jobs::loadOutputPaths(store, jobs::OutputPathsReader::WatchFolder);
    applyOutputOption(settings.paths, settings.mode, options.output);
    if (jobs::outputPathOf(settings.paths, settings.mode).empty()) {
        std::fprintf(stderr, "folvane-cli: no output path: give -o or set it in the watch-folder page\n");
        return kExitUsage;
    }
    std::string conflict = jobs::overwriteDeleteConflict(settings, policy);
    if (!conflict.empty()) {
        std::fprintf(stderr, "folvane-cli: %s\n", conflict.c_str());
        return kExitUsage;
    }

    if (options.report.dryRun) {
        if (!app::AppPaths::folderExists(settings.inputFolder)) {
            std::fprintf(stderr, "folvane-cli: %s\n", std::string(jobs::kWatchNoFolder).c_str());
            return kExitUsage;
        }
        std::vector<std::string> files = settings.includeSubfolders ? jobs::scanTree(settings.inputFolder, false, nullptr, settings.order)
                                                                    : jobs::scanFolder(settings.inputFolder, nullptr, settings.order);
        std::vector<jobs::PlannedDocument> plan = jobs::planWatchDocuments(settings, files);
        printDryRun(store, settings.output, files, plan, options.report.json);
        return kExitOk;
    }
    app::AppPaths::createDirectories(jobs::outputPathOf(settings.paths, settings.mode));

    bool terminal = ::isatty(STDERR_FILENO) != 0;
    bool progress = options.report.progress < 0 ? terminal && !options.quiet : options.report.progress > 0;
    WatchObserver observer(progress);
    jobs::WatchState state;
    if (!jobs::beginWatch(state, settings, policy, observer)) {
        std::fprintf(stderr, "folvane-cli: %s\n", std::string(jobs::kWatchNoFolder).c_str());
        return kExitUsage;
    }

    engine::loadExternalConverter(app::AppPaths::modulePath(""));
    jobs::LogSettings log = jobs::loadLogSettings(store, location);
    if (!options.logFolder.empty())
        log = jobs::LogSettings {true, jobs::chosenOutputFolder(absolutePath(options.logFolder))};
    state.log.setSettings(log);

    bool quiet = options.quiet;
    bool json = options.report.json;
    auto outcomeLine = [quiet, json, &observer](const std::string& path, std::string_view outcome,
                                                std::string_view reason) {
        observer.clearProgress();
        if (!quiet || outcome != jobs::kStateSucceed) {
            printRecord(json, path, observer.output(), outcome, json ? reason : std::string_view());
            std::fflush(stdout);
        }
        if (outcome == jobs::kStateFailed && !reason.empty())
            std::fprintf(stderr, "folvane-cli: %s: Failed: %s\n", path.c_str(), std::string(reason).c_str());
        else if (!reason.empty()) // a converted file's note: pages left without text
            std::fprintf(stderr, "folvane-cli: %s: %s\n", path.c_str(), std::string(reason).c_str());
        observer.fileDone();
    };
    jobs::WatchContext context {observer, services::systemActions(), [action] { return action; }, outcomeLine,
                                [&observer](const std::string& path, std::string_view message) {
                                    observer.clearProgress();
                                    std::fprintf(stderr, "folvane-cli: %s: %s\n", path.c_str(),
                                                 std::string(message).c_str());
                                },
                                [quiet, json, &observer](const std::string& path) {
                                    if (quiet)
                                        return;
                                    observer.clearProgress();
                                    printRecord(json, "", path, "Written", "");
                                    std::fflush(stdout);
                                }};
    jobs::WatchReport report;
    {
        StopOnSignal stopOnSignal(state.stopRequested);
        report = jobs::runWatch(state, settings, context);
    }
    observer.clearProgress();
    if (report.stopped && !quiet)
        printRecord(json, "", "", "Stopped", json ? "stop requested" : "");
    std::fflush(stdout);
    // A stopped watch ended as asked; a single pass reports failed files in its status.
    return !settings.repeat && !report.stopped && report.failed > 0 ? kExitFailed : kExitOk;
}

} // namespace folvane::cli
