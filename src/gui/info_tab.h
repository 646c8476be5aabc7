#pragma once
// InfoTab, the "Info" tab: the document information of the PDF files.

#include <QLineEdit>

#include <array>

#include "sheet_page.h"

namespace folvane::gui {

class InfoTab : public SheetPage {
    Q_OBJECT
public:
    InfoTab(const app::OutputSettings& settings, const std::string& settingsPath, QWidget* parent = nullptr);
    void apply() override;

protected:
    void initialise() override;

private:
    std::array<QLineEdit*, 6> m_boxes; // title, author, subject, keywords, creator, producer
};

} // namespace folvane::gui
