// The desktop program: one instance per user, the external converter loaded for the lifetime
// of the main window, and the main window run modally.

#include <QApplication>
#include <QFileInfo>

#include <cstdio>
#include <string>
#include <string_view>

#include "app/app_paths.h"
#include "app/settings_location.h"
#include "app/settings_store.h"
#include "engine/external_converter.h"
#include "gui_common.h"
#include "install_paths.h"
#include "instance_activation.h"
#include "main_window.h"
#include "settings_problems.h"
#include "single_instance.h"

namespace {

// The value of --settings FILE or --settings=FILE, empty without one.
std::string settingsArgument(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--settings" && i + 1 < argc)
            return argv[i + 1];
        if (arg.rfind("--settings=", 0) == 0)
            return arg.substr(11);
    }
    return {};
}

bool hasArgument(int argc, char** argv, std::string_view wanted)
{
    for (int i = 1; i < argc; ++i)
        if (argv[i] == wanted)
            return true;
    return false;
}

// --version: what a support question needs first, the version and where the program found the
// files it ships with.
void printVersion()
{
    using namespace folvane;
    bool converter = engine::loadExternalConverter(app::AppPaths::modulePath(""));
    std::printf("Folvane %s\nHelp: %s\nExternal converter: %s\n", FOLVANE_VERSION, gui::helpFilePath().c_str(),
                converter ? "loaded" : "not found");
}

} // namespace

int main(int argc, char** argv)
{
    using namespace folvane;
    if (hasArgument(argc, argv, "--help") || hasArgument(argc, argv, "-h")) {
        std::printf("Usage: folvane [--settings FILE] [--version]\n");
        return 0;
    }
    if (hasArgument(argc, argv, "--version")) {
        printVersion();
        return 0;
    }
    std::string name = QFileInfo(QString::fromLocal8Bit(argv[0])).completeBaseName().toStdString();
    if (name.empty())
        name = "folvane";
    gui::SingleInstance instance(name);
    if (!instance.isFirst()) {
        // The running instance shows its window; without an answer this start just ends.
        QCoreApplication application(argc, argv);
        gui::InstanceActivation::activateRunning(name);
        return 0;
    }

    QApplication application(argc, argv);
    application.setApplicationName(QString::fromStdString(name));

    app::SettingsLocation settings = app::locateSettings(settingsArgument(argc, argv));
    // A settings file that exists but cannot be read is never silently taken as defaults: that
    // would drop password security, and the next write would replace the user's file.
    std::string problem = app::SettingsStore(settings.path).readProblem();
    if (!problem.empty() && !gui::askToStartWithDefaults(nullptr, settings.path, problem))
        return 2;
    gui::reportSettingsWriteFailures();
    engine::loadExternalConverter(app::AppPaths::modulePath(""));
    int result = 0;
    {
        gui::MainWindow window(settings);
        gui::InstanceActivation activation(name);
        QObject::connect(&activation, &gui::InstanceActivation::activationRequested, &window,
                         &gui::MainWindow::bringToFront);
        activation.listen();
        window.show();
        result = window.exec();
    }
    engine::unloadExternalConverter();
    (void)result;
    return 0;
}
