// Runs one suite of the GUI tests, named by the first argument (all suites without one).

#include <QApplication>
#include <QDir>
#include <QTest>

#include <cstring>
#include <memory>
#include <vector>

#include "gui_common.h"
#include "gui_test_support.h"

QObject* makeMainWindowTest();
QObject* makeSettingsDialogTest();
QObject* makeOptionsPageTest();
QObject* makeUpdateDialogTest();
QObject* makeFolderPickerTest();
QObject* makeWatchPageTest();
QObject* makeFileListPageTest();
QObject* makeFileListJobTest();
QObject* makeThemeTest();

int main(int argc, char** argv)
{
    // Scratch folders are made before Qt looks at them; the runtime folder must be private.
    for (const char* sub : {"home", "config", "data", "run", "cache"}) {
        QString path = folvane::test::scratchFolder() + QLatin1Char('/') + QLatin1String(sub);
        QDir().mkpath(path);
        QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }
    QApplication application(argc, argv);
    application.setFont(folvane::gui::dialogFont());

    struct Suite {
        const char* name;
        QObject* (*make)();
    };
    const Suite suites[] = {{"MainWindowTest", makeMainWindowTest},
                            {"SettingsDialogTest", makeSettingsDialogTest},
                            {"OptionsPageTest", makeOptionsPageTest},
                            {"UpdateDialogTest", makeUpdateDialogTest},
                            {"FolderPickerTest", makeFolderPickerTest},
                            {"WatchPageTest", makeWatchPageTest},
                            {"FileListPageTest", makeFileListPageTest},
                            {"FileListJobTest", makeFileListJobTest},
                            {"ThemeTest", makeThemeTest}};
    const char* wanted = argc > 1 ? argv[1] : nullptr;
    int failures = 0;
    bool ran = false;
    for (const Suite& suite : suites) {
        if (wanted && std::strcmp(wanted, suite.name) != 0)
            continue;
        ran = true;
        std::unique_ptr<QObject> test(suite.make());
        failures += QTest::qExec(test.get(), 1, argv);
    }
    return ran ? failures : 1;
}
