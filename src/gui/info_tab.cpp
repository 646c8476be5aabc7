#include "info_tab.h"

#include <QFormLayout>

namespace folvane::gui {

namespace {
constexpr const char* kLabels[6] = {"Title", "Author", "Subject", "Keywords", "Application", "Producer"};
constexpr const char* kKeys[6] = {"title", "author", "subject", "keywords", "creator", "producer"};
} // namespace

InfoTab::InfoTab(const app::OutputSettings& settings, const std::string& settingsPath, QWidget* parent)
    : SheetPage(settings, settingsPath, parent)
{
    setObjectName(QStringLiteral("infoPage"));
    auto* form = new QFormLayout(this);
    for (int i = 0; i < 6; ++i) {
        m_boxes[i] = new QLineEdit(this);
        m_boxes[i]->setObjectName(QString::fromLatin1(kKeys[i]));
        m_boxes[i]->setMaxLength(256);
        form->addRow(QString::fromLatin1(kLabels[i]), m_boxes[i]);
    }
}

void InfoTab::initialise()
{
    const app::OutputSettings& s = m_settings;
    const std::string* values[6] = {&s.title, &s.author, &s.subject, &s.keywords, &s.creator, &s.producer};
    for (int i = 0; i < 6; ++i)
        m_boxes[i]->setText(QString::fromStdString(*values[i]));
}

void InfoTab::apply()
{
    app::OutputSettings& s = m_settings;
    std::string* values[6] = {&s.title, &s.author, &s.subject, &s.keywords, &s.creator, &s.producer};
    for (int i = 0; i < 6; ++i)
        *values[i] = boxText(m_boxes[i]->text());
    save(app::SettingsTab::Info);
}

} // namespace folvane::gui
