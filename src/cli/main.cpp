// folvane-cli: converts images to PDF files from the command line, with the settings file of the
// desktop application.

#include <CLI/CLI.hpp>

#include <cstdio>
#include <string>

#include "commands.h"

namespace {

// --jobs takes a whole number from 1 to kMaxJobs; anything else is refused before conversion.
CLI::Validator jobsValidator()
{
    return CLI::Validator(
        [](std::string& text) -> std::string {
            using folvane::cli::kMaxJobs;
            bool digits = !text.empty() && text.size() <= 4 &&
                          text.find_first_not_of("0123456789") == std::string::npos;
            int value = digits ? std::stoi(text) : 0;
            if (value < 1 || value > kMaxJobs)
                return "needs a whole number from 1 to " + std::to_string(kMaxJobs) + ", got \"" + text + "\"";
            return {};
        },
        "1.." + std::to_string(folvane::cli::kMaxJobs));
}

} // namespace

int main(int argc, char** argv)
{
    using namespace folvane::cli;

    CLI::App app {"Folvane: converts images to PDF files.", "folvane-cli"};
    app.set_version_flag("--version", "folvane-cli " FOLVANE_VERSION);
    app.require_subcommand(1);

    GlobalOptions global;
    app.add_option("--settings", global.settingsFile, "the settings file to use")->type_name("FILE");

    ConvertOptions convert;
    CLI::App* convertCommand = app.add_subcommand("convert", "convert images into PDF files");
    convertCommand->add_option("INPUT", convert.inputs, "image files and folders; a folder adds its supported "
                                                        "images, sorted by name")
        ->required();
    convertCommand->add_option("-m,--mode", convert.mode, "merge | image | folder (default: \"outMode\")")
        ->check(CLI::IsMember({"merge", "image", "folder"}))
        ->type_name("MODE");
    convertCommand->add_option("-o,--output", convert.output,
                               "merge: the PDF file; image/folder: the output folder")
        ->type_name("PATH");
    convertCommand->add_option("-e,--exists", convert.exists, "ask | overwrite | new | append (default: \"exists\")")
        ->check(CLI::IsMember({"ask", "overwrite", "new", "append"}))
        ->type_name("POLICY");
    convertCommand->add_flag("-r,--recursive", convert.recursive, "include subfolders of folder inputs");
    convertCommand->add_option("--filter", convert.filter, "only this extension for folder inputs")
        ->type_name("EXT");
    convertCommand->add_option("--set", convert.overrides, "override an output setting for this run")
        ->type_name("KEY=VALUE")
        ->allow_extra_args(false);
    convertCommand->add_option("--log", convert.logFolder, "write the job log into DIR")->type_name("DIR");
    convertCommand->add_option("--after", convert.after, "none | shutdown | standby | restart | logoff | open")
        ->check(CLI::IsMember({"none", "shutdown", "standby", "restart", "logoff", "open"}))
        ->type_name("ACTION");
    convertCommand->add_flag("-q,--quiet", convert.quiet, "print only failures");
    convertCommand
        ->add_option("-j,--jobs", convert.jobs,
                     "image/folder mode: convert N documents at once, one per thread (default 1; merge mode "
                     "has one document)")
        ->check(jobsValidator())
        ->type_name("N");

    WatchOptions watch;
    CLI::App* watchCommand = app.add_subcommand("watch", "convert the images that appear in a folder");
    watchCommand->add_option("INPUT_FOLDER", watch.input, "the folder to monitor")->required();
    CLI::Option* intervalOption =
        watchCommand->add_option("--interval", watch.interval, "repeat the scan every SEC seconds until stopped")
            ->check(CLI::Range(0, 999))
            ->type_name("SEC");
    watchCommand->add_option("--settle", watch.settle,
                             "a file is converted once its size and time stayed the same this long (default 2)")
        ->check(CLI::Range(0.0, 3600.0))
        ->type_name("SEC");
    watchCommand->add_flag("--subdir", watch.subdir, "include subfolders");
    watchCommand->add_flag("--delete-success", watch.deleteSuccess, "delete a source after its PDF was written");
    watchCommand->add_flag("--keep-subfolders", watch.keepSubfolders,
                           "per-image mode: mirror the input's subfolders under the output folder");
    watchCommand->add_option("-m,--mode", watch.mode, "merge | image | folder (default: \"outMode\")")
        ->check(CLI::IsMember({"merge", "image", "folder"}))
        ->type_name("MODE");
    watchCommand->add_option("-o,--output", watch.output, "merge: the PDF file; image/folder: the output folder")
        ->type_name("PATH");
    watchCommand->add_option("-e,--exists", watch.exists, "ask | overwrite | new | append (default: \"exists\")")
        ->check(CLI::IsMember({"ask", "overwrite", "new", "append"}))
        ->type_name("POLICY");
    watchCommand->add_option("--set", watch.overrides, "override an output setting for this run")
        ->type_name("KEY=VALUE")
        ->allow_extra_args(false);
    watchCommand->add_option("--log", watch.logFolder, "write the job log into DIR")->type_name("DIR");
    watchCommand->add_option("--after", watch.after, "after a single pass: none | shutdown | standby | restart | logoff | open")
        ->check(CLI::IsMember({"none", "shutdown", "standby", "restart", "logoff", "open"}))
        ->type_name("ACTION");
    watchCommand->add_flag("-q,--quiet", watch.quiet, "print only failures");

    CLI::App* settingsCommand = app.add_subcommand("settings", "show or change the settings file");
    settingsCommand->require_subcommand(1);
    CLI::App* listCommand = settingsCommand->add_subcommand("list", "every setting with its value");
    bool showPasswords = false;
    listCommand->add_flag("--show-passwords", showPasswords, "show the two passwords instead of \"********\"");
    std::string key;
    std::string value;
    CLI::App* getCommand = settingsCommand->add_subcommand("get", "one setting's value");
    getCommand->add_option("KEY", key)->required();
    CLI::App* setCommand = settingsCommand->add_subcommand("set", "change one setting");
    setCommand->add_option("KEY", key)->required();
    setCommand->add_option("VALUE", value)->required();

    std::vector<std::string> files;
    CLI::App* infoCommand = app.add_subcommand("info", "format, frame count and pixel size of images");
    infoCommand->add_option("FILE", files)->required();

    // --settings may stand anywhere on the line, also after a command's arguments.
    for (CLI::App* command : {convertCommand, watchCommand, settingsCommand, listCommand, getCommand, setCommand, infoCommand})
        command->fallthrough();

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        int status = app.exit(error);
        return status == 0 ? kExitOk : kExitUsage;
    }

    // Every command but info reads the settings file; one that exists but cannot be read would
    // otherwise be taken as defaults, dropping password security among others.
    if (!infoCommand->parsed()) {
        if (int status = checkSettingsReadable(global); status != kExitOk)
            return status;
    }
    if (convertCommand->parsed())
        return runConvert(global, convert);
    if (watchCommand->parsed()) {
        watch.intervalGiven = intervalOption->count() > 0;
        return runWatch(global, watch);
    }
    if (listCommand->parsed())
        return runSettingsList(global, showPasswords);
    if (getCommand->parsed())
        return runSettingsGet(global, key);
    if (setCommand->parsed())
        return runSettingsSet(global, key, value);
    if (infoCommand->parsed())
        return runInfo(files);
    return kExitUsage;
}
