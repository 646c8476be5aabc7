#pragma once
// ViewerTab, the "Viewer" tab: how a PDF reader first shows the document.

#include <QButtonGroup>
#include <QCheckBox>

#include "sheet_page.h"

namespace folvane::gui {

class ViewerTab : public SheetPage {
    Q_OBJECT
public:
    ViewerTab(const app::OutputSettings& settings, const std::string& settingsPath, QWidget* parent = nullptr);
    void apply() override;

protected:
    void initialise() override;

private:
    QButtonGroup* m_document;
    QButtonGroup* m_zoom;
    QCheckBox* m_resize;
    QCheckBox* m_center;
    QCheckBox* m_fullscreen;
    QCheckBox* m_hideMenu;
    QCheckBox* m_hideTool;
    QCheckBox* m_hideControl;
};

} // namespace folvane::gui
