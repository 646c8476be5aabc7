#pragma once
// BookmarkTab, the "Bookmark" tab: whether bookmarks are added and what they show.

#include <QButtonGroup>
#include <QCheckBox>
#include <QLabel>

#include <array>

#include "sheet_page.h"

namespace folvane::gui {

class BookmarkTab : public SheetPage {
    Q_OBJECT
public:
    BookmarkTab(const app::OutputSettings& settings, const std::string& settingsPath, QWidget* parent = nullptr);
    void apply() override;

protected:
    void initialise() override;

private:
    void onAddBookmarkToggled();
    void onSelectionClicked(int id);

    QCheckBox* m_bookmark;
    QButtonGroup* m_selection;
    std::array<QWidget*, 4> m_radios;
    std::array<QLabel*, 4> m_examples;
    QCheckBox* m_unitForFile;
};

} // namespace folvane::gui
