#include "settings_dialog.h"

#include <QDialogButtonBox>
#include <QPushButton>
#include <QVBoxLayout>

#include "gui_common.h"
#include "compress_tab.h"
#include "page_tab.h"
#include "bookmark_tab.h"
#include "watermark_tab.h"
#include "viewer_tab.h"
#include "info_tab.h"
#include "security_tab.h"
#include "supported_types_tab.h"

namespace folvane::gui {

const std::vector<SheetTab>& SettingsDialog::allTabs()
{
    static const std::vector<SheetTab> tabs = {SheetTab::Page,     SheetTab::Bookmark, SheetTab::Watermark,
                                               SheetTab::Viewer,   SheetTab::Info,     SheetTab::Security,
                                               SheetTab::Compress, SheetTab::SupportedImages};
    return tabs;
}

const std::vector<SheetTab>& SettingsDialog::watchTabs()
{
    static const std::vector<SheetTab> tabs = {SheetTab::Compress, SheetTab::Page,   SheetTab::Bookmark,
                                               SheetTab::Watermark, SheetTab::Viewer, SheetTab::Info,
                                               SheetTab::Security};
    return tabs;
}

SettingsDialog::SettingsDialog(const app::OutputSettings& settings, const std::string& settingsPath, QWidget* parent,
                           const std::vector<SheetTab>& tabs)
    : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Settings"));
    setFont(dialogFont());
    auto* layout = new QVBoxLayout(this);
    m_tabs = new QTabWidget(this);
    m_tabs->setObjectName(QStringLiteral("settingsTabs"));
    layout->addWidget(m_tabs);

    for (SheetTab tab : tabs) {
        SheetPage* page = nullptr;
        const char* title = "";
        switch (tab) {
        case SheetTab::Page: page = new PageTab(settings, settingsPath, m_tabs); title = "Page"; break;
        case SheetTab::Bookmark: page = new BookmarkTab(settings, settingsPath, m_tabs); title = "Bookmark"; break;
        case SheetTab::Watermark: page = new WatermarkTab(settings, settingsPath, m_tabs); title = "Watermark"; break;
        case SheetTab::Viewer: page = new ViewerTab(settings, settingsPath, m_tabs); title = "Viewer"; break;
        case SheetTab::Info: page = new InfoTab(settings, settingsPath, m_tabs); title = "Info"; break;
        case SheetTab::Security: page = new SecurityTab(settings, settingsPath, m_tabs); title = "Security"; break;
        case SheetTab::Compress: page = new CompressTab(settings, settingsPath, m_tabs); title = "Compress"; break;
        case SheetTab::SupportedImages: page = new SupportedTypesTab(m_tabs); title = "Supported Images"; break;
        }
        m_pages.push_back(page);
        m_tabs->addTab(page, QString::fromLatin1(title));
    }

    // OK and Cancel only, at the right edge: there is no Apply and no Help.
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("okButton"));
    buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("cancelButton"));
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &SettingsDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &SettingsDialog::reject);
    resize(dluX(400), dluY(300));
}

void SettingsDialog::accept()
{
    for (SheetPage* page : m_pages)
        if (page->wasShown())
            page->apply();
    QDialog::accept();
}

bool SettingsDialog::run(QWidget* parent, app::OutputSettings& settings, const app::SettingsStore& store,
                       app::OutputSettingsReader reader, const std::vector<SheetTab>& tabs)
{
    SettingsDialog sheet(settings, store.path(), parent, tabs);
    if (sheet.exec() != QDialog::Accepted)
        return false;
    app::loadOutputSettings(store, settings, reader);
    return true;
}

} // namespace folvane::gui
