// Renders every page of the main window and every tab of the settings sheet, plus the update
// dialog and the folder picker, to PNG files for review. Run with the offscreen platform:
//   folvane_screenshots OUTPUT_FOLDER SETTINGS_FILE

#include <QApplication>
#include <QDir>
#include <QTabWidget>

#include "app/settings_location.h"
#include "folder_picker.h"
#include "gui_common.h"
#include "main_dlg.h"
#include "settings_sheet.h"
#include "update_dlg.h"

namespace {

bool save(QWidget* widget, const QString& folder, const QString& name)
{
    QApplication::processEvents();
    return widget->grab().save(folder + QLatin1Char('/') + name + QStringLiteral(".png"));
}

} // namespace

int main(int argc, char** argv)
{
    using namespace folvane;
    QApplication application(argc, argv);
    application.setFont(gui::dialogFont());
    if (argc < 3)
        return 2;
    QString folder = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(folder);
    app::SettingsLocation settings{std::string(argv[2]), false};
    bool ok = true;

    gui::CMainDlg window(settings);
    window.show();
    static const char* const pageNames[4] = {"main_1_file_list", "main_2_watch_folder", "main_3_options",
                                             "main_4_about"};
    for (int n = 1; n <= 4; ++n) {
        window.releaseAt(window.navRect(n).center());
        window.hoverAt(window.navRect(n).center());
        ok &= save(&window, folder, QString::fromLatin1(pageNames[n - 1]));
    }

    app::OutputSettings output;
    app::loadOutputSettings(app::SettingsStore(settings.path), output);
    gui::CMyPropSheet sheet(output, settings.path);
    sheet.show();
    for (int i = 0; i < sheet.tabs()->count(); ++i) {
        sheet.tabs()->setCurrentIndex(i);
        QString name = sheet.tabs()->tabText(i).toLower().replace(QLatin1Char(' '), QLatin1Char('_'));
        ok &= save(&sheet, folder, QStringLiteral("sheet_%1_%2").arg(i + 1).arg(name));
    }
    sheet.reject();

    gui::CUpdateDlg update([](float& remote) { remote = 6.8f; return true; }, nullptr);
    update.show();
    ok &= save(&update, folder, QStringLiteral("update_newer"));

    gui::FolderPicker picker(nullptr, QStringLiteral("Please Select Folder"), QDir::tempPath(), true, 6);
    picker.show();
    ok &= save(&picker, folder, QStringLiteral("folder_picker"));
    return ok ? 0 : 1;
}
