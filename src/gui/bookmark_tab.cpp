#include "bookmark_tab.h"

#include <QGridLayout>
#include <QRadioButton>
#include <QVBoxLayout>

namespace folvane::gui {

BookmarkTab::BookmarkTab(const app::OutputSettings& settings, const std::string& settingsPath, QWidget* parent)
    : SheetPage(settings, settingsPath, parent)
{
    setObjectName(QStringLiteral("bookmarkPage"));
    auto* layout = new QVBoxLayout(this);
    m_bookmark = new QCheckBox(QStringLiteral("Add Bookmark"), this);
    m_bookmark->setObjectName(QStringLiteral("bookmark"));
    layout->addWidget(m_bookmark);

    static const char* const radios[4] = {"Use the page number as bookmarks",
                                          "Use short filename without filetype as bookmarks",
                                          "Use short filename as bookmarks", "Use full filename as bookmarks"};
    static const char* const examples[4] = {"Example: 1, 2, 3 ...", "Example: image1, image2 ...",
                                            "Example: image1.jpg, image2.jpg ...",
                                            "Example: /home/user/image1.jpg, /home/user/image2.jpg ..."};
    auto* grid = new QGridLayout;
    grid->setContentsMargins(20, 4, 0, 4);
    m_selection = new QButtonGroup(this);
    for (int i = 0; i < 4; ++i) {
        auto* button = new QRadioButton(QString::fromLatin1(radios[i]), this);
        button->setObjectName(QStringLiteral("bookmarksel%1").arg(i));
        m_selection->addButton(button, i);
        m_radios[i] = button;
        m_examples[i] = new QLabel(QString::fromLatin1(examples[i]), this);
        m_examples[i]->setObjectName(QStringLiteral("example%1").arg(i));
        m_examples[i]->setContentsMargins(20, 0, 0, 6);
        grid->addWidget(button, i * 2, 0);
        grid->addWidget(m_examples[i], i * 2 + 1, 0);
    }
    layout->addLayout(grid);
    m_unitForFile = new QCheckBox(QStringLiteral("Unit for file"), this);
    m_unitForFile->setObjectName(QStringLiteral("unitforfile"));
    layout->addWidget(m_unitForFile);
    layout->addStretch();
}

void BookmarkTab::initialise()
{
    m_bookmark->setChecked(m_settings.bookmarksOn != 0);
    if (QAbstractButton* b = m_selection->button(static_cast<int>(m_settings.bookmarkLabel)))
        b->setChecked(true);
    m_unitForFile->setChecked(m_settings.bookmarkPerFile != 0);
    connect(m_bookmark, &QCheckBox::toggled, this, [this] { onAddBookmarkToggled(); });
    connect(m_selection, &QButtonGroup::idClicked, this, [this](int id) { onSelectionClicked(id); });
    onAddBookmarkToggled();
}

void BookmarkTab::onAddBookmarkToggled()
{
    bool on = m_bookmark->isChecked();
    for (int i = 0; i < 4; ++i) {
        m_radios[i]->setEnabled(on);
        m_examples[i]->setEnabled(on);
    }
    // Depends on the choice of bookmark text only, not on the switch.
    m_unitForFile->setEnabled(m_selection->checkedId() > 0);
}

void BookmarkTab::onSelectionClicked(int id) { m_unitForFile->setEnabled(id != 0); }

void BookmarkTab::apply()
{
    int selection = m_selection->checkedId();
    m_settings.bookmarksOn = m_bookmark->isChecked() ? 1 : 0;
    m_settings.bookmarkLabel = static_cast<app::BookmarkLabel>(selection < 0 ? 0 : selection);
    m_settings.bookmarkPerFile = m_unitForFile->isChecked() ? 1 : 0;
    save(app::SettingsTab::Bookmark);
}

} // namespace folvane::gui
