#pragma once
// The commands of folvane-cli. Each returns the process's exit status: 0 success, 1 when an
// input or file failed, 2 for bad usage.

#include <string>
#include <vector>

namespace folvane::cli {

enum ExitStatus : int { kExitOk = 0, kExitFailed = 1, kExitUsage = 2 };

// One "--set KEY=VALUE" or named setting option ("--page-size", "A4"; a switch has no value), in
// command-line order: later ones win.
struct SettingArg {
    std::string option;
    std::string value;
};

// How a run reports: the progress line (-1: on a terminal only), JSON records instead of text
// lines, and a dry run that only shows which inputs would go into which PDF.
struct ReportOptions {
    int progress = -1;
    bool json = false;
    bool dryRun = false;
};

struct ConvertOptions {
    std::vector<std::string> inputs;   // image files and folders
    std::string mode;                  // "merge", "image", "folder"; empty: "outMode"
    std::string output;                // empty: the stored output path of the mode
    std::string exists;                // "ask", "overwrite", "new", "append"; empty: "exists"
    bool recursive = false;
    std::string filter;                // empty: every supported extension
    bool naturalSort = false;          // folder contents in natural order
    std::vector<SettingArg> settingArgs;
    std::string logFolder;             // empty: "log" and "logpath" of the settings file
    std::string after = "none";
    bool quiet = false;
    int jobs = 1;                      // documents converted at once (image and folder mode)
    std::string shard;                 // "K/N", "auto" or empty (the whole batch)
    int shards = 0;                    // N for --shard auto under a Kubernetes Indexed Job
    ReportOptions report;
};

// The largest --jobs value: every worker holds one open document and one decoded frame.
inline constexpr int kMaxJobs = 64;

struct WatchOptions {
    std::string input;                 // the watched folder
    int interval = 0;                  // seconds between passes
    bool intervalGiven = false;        // --interval given: repeat until stopped
    double settle = 2.0;               // seconds a file must stay unchanged before it is taken
    bool subdir = false;
    bool deleteSuccess = false;
    bool keepSubfolders = false;
    bool naturalSort = false;          // the folder's images in natural order (merge-mode pages)
    std::string mode;
    std::string output;
    std::string exists;
    std::vector<SettingArg> settingArgs;
    std::string logFolder;
    std::string after = "none";
    bool quiet = false;
    bool shared = false;               // several runners on one folder, claiming sources
    int lease = 120;                   // seconds another host's claim may go unrefreshed
    std::string host;                  // the claim folders' host name; empty: the system's
    ReportOptions report;
};

// The settings file in use: --settings, FOLVANE_SETTINGS, beside the program or the user's.
struct GlobalOptions {
    std::string settingsFile;
};

int runConvert(const GlobalOptions& global, const ConvertOptions& options);
// kExitOk when the settings file can be read or does not exist; otherwise says which file and
// why on stderr and gives kExitUsage, so that no command runs on defaults in its place.
int checkSettingsReadable(const GlobalOptions& global);
// Prints every setting; the two passwords show as "********" unless `showPasswords`.
int runSettingsList(const GlobalOptions& global, bool showPasswords);
int runSettingsGet(const GlobalOptions& global, const std::string& key);
int runSettingsSet(const GlobalOptions& global, const std::string& key, const std::string& value);
int runWatch(const GlobalOptions& global, const WatchOptions& options);
int runInfo(const std::vector<std::string>& files, bool listTextLanguages = false);

} // namespace folvane::cli
