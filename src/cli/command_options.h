#pragma once
// The options of the convert and watch commands, grouped for --help the way the man page groups
// them: Page, Images, Bookmarks, Stamps, Viewer, Information, Security, Inputs, Output.

#include <CLI/CLI.hpp>

#include "commands.h"

namespace folvane::cli {

CLI::App* addConvertCommand(CLI::App& app, ConvertOptions& options);

// `intervalOption` receives --interval, whose presence makes the watch repeat.
CLI::App* addWatchCommand(CLI::App& app, WatchOptions& options, CLI::Option*& intervalOption);

} // namespace folvane::cli
