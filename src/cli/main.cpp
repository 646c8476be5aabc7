// folvane-cli: converts images to PDF files from the command line, with the settings file of the
// desktop application.

#include <CLI/CLI.hpp>

#include <cstdio>
#include <string>

#include "command_options.h"
#include "commands.h"

int main(int argc, char** argv)
{
    using namespace folvane::cli;

    CLI::App app {"Folvane: converts images to PDF files.", "folvane-cli"};
    app.set_version_flag("--version", "folvane-cli " FOLVANE_VERSION);
    app.require_subcommand(1);

    GlobalOptions global;
    app.add_option("--settings", global.settingsFile, "the settings file to use")->type_name("FILE");

    ConvertOptions convert;
    CLI::App* convertCommand = addConvertCommand(app, convert);
    WatchOptions watch;
    CLI::Option* intervalOption = nullptr;
    CLI::App* watchCommand = addWatchCommand(app, watch, intervalOption);

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
    CLI::Option* infoFiles = infoCommand->add_option("FILE", files);
    bool listLanguages = false;
    CLI::Option* languagesFlag =
        infoCommand->add_flag("--ocr-languages", listLanguages, "list the installed text recognition languages");
    infoCommand->callback([&] {
        if (infoFiles->count() == 0 && languagesFlag->count() == 0)
            throw CLI::RequiredError("FILE");
    });

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
        return runInfo(files, listLanguages);
    return kExitUsage;
}
