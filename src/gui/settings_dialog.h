#pragma once
// SettingsDialog: the modal "Settings" sheet with its eight tabs. It holds no settings itself:
// each page shows the copy of the caller's OutputSettings it was given, and on OK every page
// that has been shown writes its keys to the settings file. Cancel writes nothing.

#include <QDialog>
#include <QTabWidget>

#include <string>
#include <vector>

#include "app/output_settings.h"
#include "app/settings_store.h"

namespace folvane::gui {

class SheetPage;

// The tabs a sheet can hold.
enum class SheetTab { Page, Bookmark, Watermark, Viewer, Info, Security, Compress, SupportedImages };

class SettingsDialog : public QDialog {
    Q_OBJECT
public:
    // The file-list page's sheet: all eight tabs, Page first and Supported Images last.
    static const std::vector<SheetTab>& allTabs();
    // The watch-folder page's sheet: Compress, Page, Bookmark, Watermark, Viewer, Info, Security.
    static const std::vector<SheetTab>& watchTabs();

    SettingsDialog(const app::OutputSettings& settings, const std::string& settingsPath, QWidget* parent = nullptr,
                 const std::vector<SheetTab>& tabs = allTabs());

    QTabWidget* tabs() const { return m_tabs; }
    // The page of tab `index` (0 to the number of tabs minus 1).
    SheetPage* page(int index) const { return m_pages[static_cast<size_t>(index)]; }

    void accept() override;

    // Runs the sheet over `settings`; after OK the record is reloaded from the file. True on OK.
    static bool run(QWidget* parent, app::OutputSettings& settings, const app::SettingsStore& store,
                    app::OutputSettingsReader reader = app::OutputSettingsReader::FileList,
                    const std::vector<SheetTab>& tabs = allTabs());

private:
    QTabWidget* m_tabs;
    std::vector<SheetPage*> m_pages;
};

} // namespace folvane::gui
