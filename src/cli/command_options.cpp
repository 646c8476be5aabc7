#include "command_options.h"

#include <string>

#include "named_options.h"

namespace folvane::cli {

namespace {

// --jobs takes a whole number from 1 to kMaxJobs; anything else is refused before conversion.
CLI::Validator jobsValidator()
{
    return CLI::Validator(
        [](std::string& text) -> std::string {
            bool digits = !text.empty() && text.size() <= 4 &&
                          text.find_first_not_of("0123456789") == std::string::npos;
            int value = digits ? std::stoi(text) : 0;
            if (value < 1 || value > kMaxJobs)
                return "needs a whole number from 1 to " + std::to_string(kMaxJobs) + ", got \"" + text + "\"";
            return {};
        },
        "1.." + std::to_string(kMaxJobs));
}

// Every named setting option and --set, recorded in command-line order. The values are checked
// after parsing, all of them before anything is converted, so that each message can name the
// option, the value and what is accepted.
void addSettingOptions(CLI::App& command, std::vector<SettingArg>& args)
{
    command.add_option_function<std::string>(
               "--set", [&args](const std::string& value) { args.push_back({"--set", value}); },
               "set any settings key for this run (see settings list)")
        ->type_name("KEY=VALUE")
        ->allow_extra_args(false)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
        ->trigger_on_parse();
    for (const NamedOption& option : namedOptions()) {
        std::string name = option.name;
        CLI::Option* added = nullptr;
        if (option.valueName) {
            added = command
                        .add_option_function<std::string>(
                            name, [&args, name](const std::string& value) { args.push_back({name, value}); },
                            option.help)
                        ->type_name(option.valueName)
                        ->allow_extra_args(false)
                        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
        } else {
            added = command.add_flag_callback(name, [&args, name] { args.push_back({name, ""}); }, option.help);
        }
        added->group(option.group)->trigger_on_parse();
    }
}

void addReportOptions(CLI::App& command, ReportOptions& report)
{
    command.add_flag("--dry-run", report.dryRun, "show which inputs would go into which PDF; write nothing")
        ->group("Output");
    command.add_flag("--json", report.json, "one JSON object per input and per written file, for scripts")
        ->group("Output");
    command.add_flag_callback("--progress", [&report] { report.progress = 1; }, "show the progress line")
        ->group("Output")
        ->trigger_on_parse();
    command.add_flag_callback("--no-progress", [&report] { report.progress = 0; },
                              "never show it (default: on a terminal only)")
        ->group("Output")
        ->trigger_on_parse();
}

const std::vector<std::string> kModes = {"merge", "image", "folder"};
const std::vector<std::string> kPolicies = {"ask", "overwrite", "new", "append"};
const std::vector<std::string> kActions = {"none", "shutdown", "standby", "restart", "logoff", "open"};

// The output options convert and watch share.
template <typename Options>
void addOutputOptions(CLI::App& command, Options& options, const char* afterHelp)
{
    command.add_option("-m,--mode", options.mode, "merge, image or folder (default: \"outMode\")")
        ->check(CLI::IsMember(kModes))
        ->type_name("MODE")
        ->group("Output");
    command.add_option("-o,--output", options.output, "merge: the PDF file; image/folder: the output folder")
        ->type_name("PATH")
        ->group("Output");
    command.add_option("-e,--exists", options.exists, "ask, overwrite, new or append (default: \"exists\")")
        ->check(CLI::IsMember(kPolicies))
        ->type_name("POLICY")
        ->group("Output");
    command.add_option("--log", options.logFolder, "write the job log into DIR")->type_name("DIR")->group("Output");
    command.add_option("--after", options.after, afterHelp)
        ->check(CLI::IsMember(kActions))
        ->type_name("ACTION")
        ->group("Output");
    command.add_flag("-q,--quiet", options.quiet, "print only failures")->group("Output");
}

} // namespace

CLI::App* addConvertCommand(CLI::App& app, ConvertOptions& options)
{
    CLI::App* command = app.add_subcommand("convert", "convert images into PDF files");
    command->add_option("INPUT", options.inputs, "image files and folders; a folder adds its supported images, "
                                                 "sorted by name")
        ->required();
    addSettingOptions(*command, options.settingArgs);
    command->add_flag("-r,--recursive", options.recursive, "include subfolders of folder inputs")->group("Inputs");
    command->add_option("--filter", options.filter, "only this extension for folder inputs")
        ->type_name("EXT")
        ->group("Inputs");
    command->add_flag("--natural-sort", options.naturalSort, "folder contents as people count: page2 before page10")
        ->group("Inputs");
    addOutputOptions(*command, options, "none, shutdown, standby, restart, logoff or open");
    command
        ->add_option("-j,--jobs", options.jobs, "image/folder mode: convert N documents at once (default 1)")
        ->check(jobsValidator())
        ->type_name("N")
        ->group("Output");
    command
        ->add_option("--shard", options.shard,
                     "convert only the documents at positions K, K+N, K+2N ... of the batch (K/N, from 0), "
                     "or the shard a Kubernetes Indexed Job or Slurm array gives (auto)")
        ->type_name("K/N|auto")
        ->group("Scale-out");
    command->add_option("--shards", options.shards, "with --shard auto under a Kubernetes Indexed Job: the job's completions")
        ->check(CLI::Range(1, 1000000))
        ->type_name("N")
        ->group("Scale-out");
    addReportOptions(*command, options.report);
    return command;
}

CLI::App* addWatchCommand(CLI::App& app, WatchOptions& options, CLI::Option*& intervalOption)
{
    CLI::App* command = app.add_subcommand("watch", "convert the images that appear in a folder");
    command->add_option("INPUT_FOLDER", options.input, "the folder to watch")->required();
    addSettingOptions(*command, options.settingArgs);
    intervalOption = command->add_option("--interval", options.interval, "repeat the scan every SEC seconds until stopped")
                         ->check(CLI::Range(0, 999))
                         ->type_name("SEC")
                         ->group("Inputs");
    command->add_option("--settle", options.settle,
                        "a file is converted once its size and time stayed the same this long (default 2)")
        ->check(CLI::Range(0.0, 3600.0))
        ->type_name("SEC")
        ->group("Inputs");
    command->add_flag("--subdir", options.subdir, "include subfolders")->group("Inputs");
    command->add_flag("--natural-sort", options.naturalSort, "take the folder's images as people count: page2 before page10")
        ->group("Inputs");
    command->add_flag("--delete-success", options.deleteSuccess, "delete a source after its PDF was written")
        ->group("Inputs");
    command->add_flag("--keep-subfolders", options.keepSubfolders,
                      "per-image mode: mirror the input's subfolders under the output folder")
        ->group("Output");
    addOutputOptions(*command, options, "after a single pass: none, shutdown, standby, restart, logoff or open");
    command->add_flag("--shared", options.shared,
                      "one of several runners on this folder (per-image mode): claim each source before converting it")
        ->group("Scale-out");
    command->add_option("--lease", options.lease,
                        "a claim of a runner on another host that was not refreshed this long is taken back (default 120)")
        ->check(CLI::Range(10, 86400))
        ->type_name("SEC")
        ->group("Scale-out");
    command->add_option("--host", options.host, "the host name in this runner's claim folder (default: the system's)")
        ->type_name("NAME")
        ->group("Scale-out");
    addReportOptions(*command, options.report);
    return command;
}

} // namespace folvane::cli
