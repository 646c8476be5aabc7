// Renders every page of the main window and every tab of the settings sheet, plus the update
// dialog and the folder picker, to PNG files for review. Run with the offscreen platform:
//   folvane_screenshots OUTPUT_FOLDER SETTINGS_FILE [--dark | --high-contrast] [--font-pt N]
//                       [--main-only] [--suffix TEXT]
// --dark and --high-contrast use the Fusion style with that palette, --font-pt sets the
// application font's size, --main-only renders the main window's pages only, and --suffix is
// appended to every file name ("main_1_file_list_dark.png").

#include <QApplication>
#include <QDir>
#include <QStyleFactory>
#include <QTabWidget>

#include "app/app_paths.h"
#include "app/settings_location.h"
#include "engine/external_converter.h"
#include "folder_picker.h"
#include "file_list.h"
#include "gui_common.h"
#include "file_list_page.h"
#include "main_window.h"
#include "watch_page.h"
#include "review_palettes.h"
#include "settings_dialog.h"
#include "update_dialog.h"

namespace {

QString g_suffix;

bool save(QWidget* widget, const QString& folder, const QString& name)
{
    QApplication::processEvents();
    return widget->grab().save(folder + QLatin1Char('/') + name + g_suffix + QStringLiteral(".png"));
}

} // namespace

int main(int argc, char** argv)
{
    using namespace folvane;
    QApplication application(argc, argv);
    if (argc < 3)
        return 2;
    bool mainOnly = false;
    for (int i = 3; i < argc; ++i) {
        QString option = QString::fromLocal8Bit(argv[i]);
        if (option == QStringLiteral("--dark") || option == QStringLiteral("--high-contrast")) {
            QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
            QApplication::setPalette(option == QStringLiteral("--dark") ? gui::darkPalette()
                                                                        : gui::highContrastPalette());
        } else if (option == QStringLiteral("--font-pt") && i + 1 < argc) {
            QFont font = QApplication::font();
            font.setPointSizeF(QString::fromLocal8Bit(argv[++i]).toDouble());
            QApplication::setFont(font);
        } else if (option == QStringLiteral("--main-only")) {
            mainOnly = true;
        } else if (option == QStringLiteral("--suffix") && i + 1 < argc) {
            g_suffix = QString::fromLocal8Bit(argv[++i]);
        } else {
            return 2;
        }
    }
    QString folder = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(folder);
    app::SettingsLocation settings{std::string(argv[2]), false};
    bool ok = true;

    gui::MainWindow window(settings);
    window.show();
    static const char* const pageNames[4] = {"main_1_file_list", "main_2_watch_folder", "main_3_options",
                                             "main_4_about"};
    for (int n = 1; n <= 4; ++n) {
        window.releaseAt(window.navRect(n).center());
        window.hoverAt(window.navRect(n).center());
        ok &= save(&window, folder, QString::fromLatin1(pageNames[n - 1]));
    }

    // The watch-folder page again, filled in: a watched folder, one PDF per image, an interval.
    // The folders are made below the scratch home folder the screenshots run with.
    if (auto* watch = qobject_cast<gui::WatchPage*>(window.page(2))) {
        QString home = QString::fromStdString(app::homeFolder());
        window.releaseAt(window.navRect(2).center());
        window.hoverAt(window.navRect(2).center());
        watch->setFolderChooser([&](QWidget*, const QString& title, const QString&) {
            return home + (title == QStringLiteral("Select Input Folder") ? QStringLiteral("/Scans/Inbox")
                                                                          : QStringLiteral("/Scans/PDF"));
        });
        watch->inputBrowseButton()->click();
        watch->modeRadio(1)->click();
        watch->outputBrowseButton()->click();
        watch->subfolderCheck()->setChecked(true);
        watch->intervalCheck()->click();
        ok &= save(&window, folder, QStringLiteral("main_2_watch_folder"));
        window.releaseAt(window.navRect(1).center());
    }

    // The file-list page after converting the bundled samples into the default merged PDF.
    // As in the program, formats the codec layer does not read go to the converter library
    // beside the program when it has been built.
    if (auto* list = qobject_cast<gui::FileListPage*>(window.page(1))) {
        engine::loadExternalConverter(app::AppPaths::modulePath(""));
        window.releaseAt(window.navRect(1).center());
        window.hoverAt(window.navRect(1).center());
        QDir samples(QStringLiteral(FOLVANE_SAMPLES_DIR));
        QStringList files;
        for (const QString& name : samples.entryList(QDir::Files, QDir::Name))
            files << samples.filePath(name);
        list->dropPaths(files); // takes the supported images only
        list->modeRadio(0)->click();
        list->convert();
        list->waitForJob();
        ok &= list->fileList()->rowCount() > 0;
        ok &= save(&window, folder, QStringLiteral("main_1_file_list_converted"));
    }

    if (mainOnly)
        return ok ? 0 : 1;

    app::OutputSettings output;
    app::loadOutputSettings(app::SettingsStore(settings.path), output);
    gui::SettingsDialog sheet(output, settings.path);
    sheet.show();
    for (int i = 0; i < sheet.tabs()->count(); ++i) {
        sheet.tabs()->setCurrentIndex(i);
        QString name = sheet.tabs()->tabText(i).toLower().replace(QLatin1Char(' '), QLatin1Char('_'));
        ok &= save(&sheet, folder, QStringLiteral("sheet_%1_%2").arg(i + 1).arg(name));
    }
    sheet.reject();

    gui::UpdateDialog update([](float& remote, std::string&) { remote = 6.8f; return true; }, nullptr);
    update.show();
    while (update.checking())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    ok &= save(&update, folder, QStringLiteral("update_newer"));

    gui::FolderPicker picker(nullptr, QStringLiteral("Please Select Folder"), QDir::tempPath(), true, 6);
    picker.show();
    ok &= save(&picker, folder, QStringLiteral("folder_picker"));
    return ok ? 0 : 1;
}
