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

CMyPropSheet::CMyPropSheet(const app::OutputSettings& settings, const std::string& settingsPath, QWidget* parent)
    : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Settings"));
    setFont(dialogFont());
    auto* layout = new QVBoxLayout(this);
    m_tabs = new QTabWidget(this);
    m_tabs->setObjectName(QStringLiteral("settingsTabs"));
    layout->addWidget(m_tabs);

    m_pages = {new CPage2(settings, settingsPath, m_tabs), new CPage3(settings, settingsPath, m_tabs),
               new CPage4(settings, settingsPath, m_tabs), new CPage5(settings, settingsPath, m_tabs),
               new CPage6(settings, settingsPath, m_tabs), new CPage7(settings, settingsPath, m_tabs),
               new CPage1(settings, settingsPath, m_tabs), new CPage8(m_tabs)};
    static const char* const titles[8] = {"Page",     "Bookmark", "Watermark", "Viewer",
                                          "Info",     "Security", "Compress",  "Supported Images"};
    for (size_t i = 0; i < m_pages.size(); ++i)
        m_tabs->addTab(m_pages[i], QString::fromLatin1(titles[i]));

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
                       app::OutputSettingsReader reader)
{
    CMyPropSheet sheet(settings, store.path(), parent);
    if (sheet.exec() != QDialog::Accepted)
        return false;
    app::loadOutputSettings(store, settings, reader);
    return true;
}

} // namespace folvane::gui
