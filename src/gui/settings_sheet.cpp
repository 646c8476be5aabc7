#include "settings_sheet.h"

#include <QDialogButtonBox>
#include <QPushButton>
#include <QVBoxLayout>

#include "gui_common.h"
#include "page1.h"
#include "page2.h"
#include "page3.h"
#include "page4.h"
#include "page5.h"
#include "page6.h"
#include "page7.h"
#include "page8.h"

namespace folvane::gui {

const std::vector<SheetTab>& CMyPropSheet::allTabs()
{
    static const std::vector<SheetTab> tabs = {SheetTab::Page,     SheetTab::Bookmark, SheetTab::Watermark,
                                               SheetTab::Viewer,   SheetTab::Info,     SheetTab::Security,
                                               SheetTab::Compress, SheetTab::SupportedImages};
    return tabs;
}

const std::vector<SheetTab>& CMyPropSheet::watchTabs()
{
    static const std::vector<SheetTab> tabs = {SheetTab::Compress, SheetTab::Page,   SheetTab::Bookmark,
                                               SheetTab::Watermark, SheetTab::Viewer, SheetTab::Info,
                                               SheetTab::Security};
    return tabs;
}

CMyPropSheet::CMyPropSheet(const app::OutputSettings& settings, const std::string& settingsPath, QWidget* parent,
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
        case SheetTab::Page: page = new CPage2(settings, settingsPath, m_tabs); title = "Page"; break;
        case SheetTab::Bookmark: page = new CPage3(settings, settingsPath, m_tabs); title = "Bookmark"; break;
        case SheetTab::Watermark: page = new CPage4(settings, settingsPath, m_tabs); title = "Watermark"; break;
        case SheetTab::Viewer: page = new CPage5(settings, settingsPath, m_tabs); title = "Viewer"; break;
        case SheetTab::Info: page = new CPage6(settings, settingsPath, m_tabs); title = "Info"; break;
        case SheetTab::Security: page = new CPage7(settings, settingsPath, m_tabs); title = "Security"; break;
        case SheetTab::Compress: page = new CPage1(settings, settingsPath, m_tabs); title = "Compress"; break;
        case SheetTab::SupportedImages: page = new CPage8(m_tabs); title = "Supported Images"; break;
        }
        m_pages.push_back(page);
        m_tabs->addTab(page, QString::fromLatin1(title));
    }

    // OK and Cancel only, at the right edge: there is no Apply and no Help.
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("okButton"));
    buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("cancelButton"));
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &CMyPropSheet::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CMyPropSheet::reject);
    resize(dluX(400), dluY(300));
}

void CMyPropSheet::accept()
{
    for (SheetPage* page : m_pages)
        if (page->wasShown())
            page->apply();
    QDialog::accept();
}

bool CMyPropSheet::run(QWidget* parent, app::OutputSettings& settings, const app::SettingsStore& store,
                       app::OutputSettingsReader reader, const std::vector<SheetTab>& tabs)
{
    CMyPropSheet sheet(settings, store.path(), parent, tabs);
    if (sheet.exec() != QDialog::Accepted)
        return false;
    app::loadOutputSettings(store, settings, reader);
    return true;
}

} // namespace folvane::gui
