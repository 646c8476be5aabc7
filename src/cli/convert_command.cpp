// folvane-cli convert: the file-list conversion job without a window.

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include "app/app_paths.h"
#include "app/output_settings.h"
#include "app/setting_keys.h"
#include "app/settings_location.h"
#include "app/settings_store.h"
#include "commands.h"
#include "engine/external_converter.h"
#include "jobs/conversion_job.h"
#include "jobs/image_inputs.h"
#include "jobs/shards.h"
#include "named_options.h"
#include "run_report.h"
#include "services/after_action.h"
#include "terminal_observer.h"
#include "option_values.h"

namespace folvane::cli {

// The running job's stop flag, set by SIGINT/SIGTERM: the job finishes the file it is on and
// skips the rest, as the Stop button does.
std::atomic<int>* g_stopFlag = nullptr;

extern "C" void requestStop(int)
{
    if (g_stopFlag)
        g_stopFlag->store(1);
}

int modeNumber(const std::string& mode)
{
    if (mode == "merge")
        return jobs::kMergeMode;
    if (mode == "image")
        return jobs::kPerImageMode;
    if (mode == "folder")
        return jobs::kPerFolderMode;
    return -1;
}

int policyNumber(const std::string& policy)
{
    if (policy == "ask")
        return jobs::kAskAlways;
    if (policy == "overwrite")
        return jobs::kOverwrite;
    if (policy == "new")
        return jobs::kCreateNewFile;
    if (policy == "append")
        return jobs::kAppend;
    return -1;
}

int actionNumber(const std::string& action)
{
    if (action == "none")
        return services::kDoNothing;
    if (action == "shutdown")
        return services::kShutDown;
    if (action == "standby")
        return services::kStandBy;
    if (action == "restart")
        return services::kRestart;
    if (action == "logoff")
        return services::kLogOff;
    if (action == "open")
        return services::kOpenOutput;
    return -1;
}

std::string absolutePath(const std::string& path)
{
    std::error_code error;
    std::filesystem::path absolute = std::filesystem::absolute(path, error);
    return error ? path : absolute.lexically_normal().string();
}

void applyOutputOption(jobs::OutputPaths& paths, int mode, const std::string& output)
{
    if (output.empty())
        return;
    std::string path = absolutePath(output);
    if (mode == jobs::kMergeMode)
        paths.merged = path;
    else if (mode == jobs::kPerImageMode)
        paths.perImageFolder = jobs::chosenOutputFolder(path);
    else if (mode == jobs::kPerFolderMode)
        paths.perFolderFolder = jobs::chosenOutputFolder(path);
}

namespace {

bool isFolder(const std::string& path)
{
    struct stat info;
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// The input files: a file as it is, a folder as its images in name (or natural) order.
std::vector<std::string> inputFiles(const ConvertOptions& options)
{
    std::string filter = options.filter.empty() ? std::string(jobs::kAllSupportFilter)
                                                : jobs::normalizedFilter(options.filter);
    jobs::FolderOrder order = options.naturalSort ? jobs::FolderOrder::Natural : jobs::FolderOrder::Name;
    std::vector<std::string> files;
    for (const std::string& input : options.inputs) {
        std::string path = absolutePath(input);
        if (isFolder(path)) {
            std::vector<std::string> images = jobs::folderImages(path, options.recursive, filter, order);
            files.insert(files.end(), images.begin(), images.end());
        } else {
            files.push_back(path);
        }
    }
    return files;
}

// The rows for the files. A file that cannot be read still gets a row, so that it is reported
// as failed rather than forgotten.
std::vector<jobs::FileRow> fileRows(const std::vector<std::string>& files)
{
    std::vector<jobs::FileRow> rows;
    for (const std::string& file : files) {
        jobs::FileRow row;
        if (!jobs::makeFileRow(file, row)) {
            row = jobs::FileRow {};
            row.path = file;
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

// The shard this run converts: --shard K/N, or --shard auto from the scheduler's environment.
// Nothing with a message printed when the values do not fit.
std::optional<jobs::Shard> chosenShard(const ConvertOptions& options, int mode)
{
    if (options.shard.empty()) {
        if (options.shards > 0) {
            std::fprintf(stderr, "folvane-cli: --shards goes with --shard auto\n");
            return std::nullopt;
        }
        return jobs::Shard {};
    }
    std::optional<jobs::Shard> shard;
    if (options.shard == "auto") {
        std::string error;
        shard = jobs::shardFromEnvironment(options.shards, error);
        if (!shard) {
            std::fprintf(stderr, "folvane-cli: --shard auto: %s\n", error.c_str());
            return std::nullopt;
        }
    } else {
        shard = jobs::parseShard(options.shard);
        if (!shard) {
            std::fprintf(stderr, "folvane-cli: --shard: '%s' is not a shard (K/N with 0 <= K < N, or auto)\n",
                         options.shard.c_str());
            return std::nullopt;
        }
    }
    if (mode == jobs::kMergeMode && shard->count > 1) {
        std::fprintf(stderr, "folvane-cli: --shard: merge mode writes a single PDF, which cannot be split over %d "
                             "shards; use -m image or -m folder\n", shard->count);
        return std::nullopt;
    }
    return shard;
}

} // namespace

int runConvert(const GlobalOptions& global, const ConvertOptions& options)
{
    app::SettingsLocation location = app::locateSettings(global.settingsFile);
    app::SettingsStore store(location.path);

    jobs::JobSettings settings;
    if (!resolveRunSettings(store, options.settingArgs, settings.output))
        return kExitUsage;
    settings.workers = options.jobs;
    if (options.mode.empty())
        settings.mode = std::max(0, store.getInt(app::key::outputMode, 0));
    else
        settings.mode = modeNumber(options.mode);
    int policy = options.exists.empty() ? store.getInt(app::key::existingOutput, jobs::kCreateNewFile)
                                        : policyNumber(options.exists);
    int action = actionNumber(options.after);
    if (settings.mode < 0 || policy < 0 || action < 0) {
        std::fprintf(stderr, "folvane-cli: bad --mode, --exists or --after value\n");
        return kExitUsage;
    }
    if (!options.filter.empty() && jobs::normalizedFilter(options.filter) != jobs::kAllSupportFilter &&
        !jobs::isSupportedExtension("x" + jobs::normalizedFilter(options.filter))) {
        std::fprintf(stderr, "folvane-cli: --filter %s is not a supported format\n", options.filter.c_str());
        return kExitUsage;
    }

    std::optional<jobs::Shard> shard = chosenShard(options, settings.mode);
    if (!shard)
        return kExitUsage;

    settings.paths = jobs::loadOutputPaths(store, jobs::OutputPathsReader::FileList);
    applyOutputOption(settings.paths, settings.mode, options.output);

    std::vector<std::string> files = inputFiles(options);
    if (files.empty()) {
        std::fprintf(stderr, "folvane-cli: no images to convert\n");
        return kExitFailed;
    }
    std::vector<jobs::FileRow> rows = fileRows(files);
    if (shard->count > 1) {
        rows = jobs::shardRows(std::move(rows), settings.mode, settings.paths, *shard);
        files.clear();
        for (const jobs::FileRow& row : rows)
            files.push_back(row.path);
        // A shard may get no document of a small batch; it has nothing to do, which is no failure.
        if (rows.empty())
            return kExitOk;
    }
    if (options.report.dryRun) {
        printDryRun(store, settings.output, files, settings.mode, settings.paths, options.report.json);
        return kExitOk;
    }
    // The output folder is made as the file-list page makes its default folder; a folder that
    // cannot be made shows up as an output that cannot be created.
    app::AppPaths::createDirectories(jobs::outputPathOf(settings.paths, settings.mode));

    engine::deferExternalConverter(app::AppPaths::modulePath(""));

    jobs::JobState state;
    jobs::LogSettings log = jobs::loadLogSettings(store, location);
    if (!options.logFolder.empty())
        log = jobs::LogSettings {true, jobs::chosenOutputFolder(absolutePath(options.logFolder))};
    state.log.setSettings(log);

    bool terminal = ::isatty(STDERR_FILENO) != 0;
    bool progress = options.report.progress < 0 ? terminal && !options.quiet : options.report.progress > 0;
    TerminalObserver observer(rows.size(), progress, terminal && ::isatty(STDIN_FILENO) != 0);
    jobs::JobContext context {observer, services::systemActions(), [action] { return action; }};

    jobs::beginJob(state, rows, settings.mode, policy, observer);
    jobs::JobReport report;
    {
        StopOnSignal stopOnSignal(state.stopRequested);
        report = jobs::runJob(state, rows, settings, context);
    }
    observer.clearProgress();

    bool allSucceeded = printJobResults(rows, report, settings.mode, settings.paths, options.quiet,
                                        options.report.json);
    return allSucceeded ? kExitOk : kExitFailed;
}

} // namespace folvane::cli
