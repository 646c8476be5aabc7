// folvane-cli watch: the watch-folder runner without a window.

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "app/app_paths.h"
#include "app/settings_location.h"
#include "app/settings_store.h"
#include "commands.h"
#include "engine/engine_client.h"
#include "engine/external_converter.h"
#include "jobs/watch_runner.h"
#include "option_values.h"
#include "services/after_action.h"

namespace folvane::cli {

int runWatch(const GlobalOptions& global, const WatchOptions& options)
{
    app::SettingsLocation location = app::locateSettings(global.settingsFile);
    app::SettingsStore store(location.path);

    jobs::WatchSettings settings;
    if (!loadRunSettings(store, options.overrides, settings.output))
        return kExitUsage;
    settings.mode = options.mode.empty() ? std::max(0, store.getInt("outMode", 0)) : modeNumber(options.mode);
    int policy = options.exists.empty() ? store.getInt("exists", jobs::kCreateNewFile) : policyNumber(options.exists);
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
    settings.repeat = options.interval >= 0 && options.intervalGiven;
    settings.intervalSeconds = options.interval;
    settings.settleTime = std::chrono::milliseconds(static_cast<long long>(options.settle * 1000.0));

    settings.paths = jobs::loadOutputPaths(store, jobs::OutputPathsReader::WatchFolder);
    applyOutputOption(settings.paths, settings.mode, options.output);
    if (jobs::outputPathOf(settings.paths, settings.mode).empty()) {
        std::fprintf(stderr, "folvane-cli: no output path: give -o or set it in the watch-folder page\n");
        return kExitUsage;
    }
    app::AppPaths::createDirectories(jobs::outputPathOf(settings.paths, settings.mode));

    std::string conflict = jobs::overwriteDeleteConflict(settings, policy);
    if (!conflict.empty()) {
        std::fprintf(stderr, "folvane-cli: %s\n", conflict.c_str());
        return kExitUsage;
    }

    jobs::JobObserver observer;
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

    engine::CEngineClient engine;
    bool quiet = options.quiet;
    jobs::WatchContext context {engine, observer, services::systemActions(), [action] { return action; },
                                [quiet](const std::string& path, std::string_view outcome, std::string_view reason) {
                                    if (!quiet || outcome != jobs::kStateSucceed) {
                                        std::printf("%s %s\n", std::string(outcome).c_str(), path.c_str());
                                        std::fflush(stdout);
                                    }
                                    if (outcome == jobs::kStateFailed && !reason.empty())
                                        std::fprintf(stderr, "folvane-cli: %s: Failed: %s\n", path.c_str(),
                                                     std::string(reason).c_str());
                                },
                                [](const std::string& path, std::string_view message) {
                                    std::fprintf(stderr, "folvane-cli: %s: %s\n", path.c_str(),
                                                 std::string(message).c_str());
                                }};
    jobs::WatchReport report;
    {
        StopOnSignal stopOnSignal(state.stopRequested);
        report = jobs::runWatch(state, settings, context);
    }
    if (report.stopped && !quiet)
        std::printf("Stopped\n");
    std::fflush(stdout);
    // A stopped monitor ended as asked; a single pass reports failed files in its status.
    return !settings.repeat && !report.stopped && report.failed > 0 ? kExitFailed : kExitOk;
}

} // namespace folvane::cli
