#include "viewer_tab.h"

#include <QGroupBox>
#include <QRadioButton>
#include <QVBoxLayout>

namespace folvane::gui {

namespace {

QButtonGroup* radioGroup(QWidget* parent, QVBoxLayout* layout, const char* title,
                         std::initializer_list<const char*> texts, const char* name)
{
    auto* box = new QGroupBox(QString::fromLatin1(title), parent);
    auto* boxLayout = new QVBoxLayout(box);
    auto* group = new QButtonGroup(parent);
    int id = 0;
    for (const char* text : texts) {
        auto* button = new QRadioButton(QString::fromLatin1(text), box);
        button->setObjectName(QStringLiteral("%1%2").arg(QString::fromLatin1(name)).arg(id));
        group->addButton(button, id++);
        boxLayout->addWidget(button);
    }
    layout->addWidget(box);
    return group;
}

QCheckBox* check(QWidget* parent, QVBoxLayout* layout, const char* text, const char* name)
{
    auto* box = new QCheckBox(QString::fromLatin1(text), parent);
    box->setObjectName(QString::fromLatin1(name));
    layout->addWidget(box);
    return box;
}

int idOrZero(const QButtonGroup* group) { return group->checkedId() < 0 ? 0 : group->checkedId(); }

} // namespace

ViewerTab::ViewerTab(const app::OutputSettings& settings, const std::string& settingsPath, QWidget* parent)
    : SheetPage(settings, settingsPath, parent)
{
    setObjectName(QStringLiteral("viewerPage"));
    auto* layout = new QVBoxLayout(this);
    m_document = radioGroup(this, layout, "Show",
                            {"Page only", "Show the bookmark panel", "Show the thumbnail panel"}, "document");
    m_zoom = radioGroup(this, layout, "Zoom", {"Fit Width", "Fit Page"}, "zoom");
    auto* windowBox = new QGroupBox(QStringLiteral("Window Options"), this);
    auto* windowLayout = new QVBoxLayout(windowBox);
    m_resize = check(windowBox, windowLayout, "Resize window to the initial page", "resize");
    m_center = check(windowBox, windowLayout, "Center window on screen", "center");
    m_fullscreen = check(windowBox, windowLayout, "Open in Full screen mode", "fullscreen");
    m_hideMenu = check(windowBox, windowLayout, "Hide Menu Bar", "hidemenu");
    m_hideTool = check(windowBox, windowLayout, "Hide Tool Bars", "hidetool");
    m_hideControl = check(windowBox, windowLayout, "Hide Window Controls", "hidecontrol");
    layout->addWidget(windowBox);
    layout->addStretch();
}

void ViewerTab::initialise()
{
    const app::OutputSettings& s = m_settings;
    if (QAbstractButton* b = m_document->button(static_cast<int>(s.openPanel)))
        b->setChecked(true);
    if (QAbstractButton* b = m_zoom->button(static_cast<int>(s.openZoom)))
        b->setChecked(true);
    m_resize->setChecked(s.fitWindow != 0);
    m_center->setChecked(s.centerWindow != 0);
    m_fullscreen->setChecked(s.fullScreen != 0);
    m_hideMenu->setChecked(s.hideMenubar != 0);
    m_hideTool->setChecked(s.hideToolbar != 0);
    m_hideControl->setChecked(s.hideWindowControls != 0);
}

void ViewerTab::apply()
{
    app::OutputSettings& s = m_settings;
    s.centerWindow = m_center->isChecked() ? 1 : 0;
    s.openPanel = static_cast<app::OpenPanel>(idOrZero(m_document));
    s.fullScreen = m_fullscreen->isChecked() ? 1 : 0;
    s.hideWindowControls = m_hideControl->isChecked() ? 1 : 0;
    s.hideMenubar = m_hideMenu->isChecked() ? 1 : 0;
    s.hideToolbar = m_hideTool->isChecked() ? 1 : 0;
    s.fitWindow = m_resize->isChecked() ? 1 : 0;
    s.openZoom = static_cast<app::OpenZoom>(idOrZero(m_zoom));
    save(app::SettingsTab::Viewer);
}

} // namespace folvane::gui
