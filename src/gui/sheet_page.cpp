#include "sheet_page.h"

#include <QLineEdit>
#include <QShowEvent>
#include <QSpinBox>


namespace folvane::gui {

SheetPage::SheetPage(const app::OutputSettings& settings, const std::string& settingsPath, QWidget* parent)
    : QWidget(parent), m_settings(settings), m_store(settingsPath)
{
}

void SheetPage::showEvent(QShowEvent* event)
{
    if (!m_shown) {
        m_shown = true;
        initialise();
    }
    QWidget::showEvent(event);
}

void SheetPage::save(app::SettingsTab tab) const
{
    app::saveSettingsTab(m_store, m_settings, tab);
}

int boxNumber(const QLineEdit* box, int empty)
{
    QString text = box->text().trimmed();
    return text.isEmpty() ? empty : text.toInt();
}

std::string boxText(const QString& text)
{
    std::string bytes = text.toStdString();
    if (bytes.size() <= app::kTextCapacity - 1)
        return bytes;
    size_t cut = app::kTextCapacity - 1;
    while (cut > 0 && (static_cast<unsigned char>(bytes[cut]) & 0xC0) == 0x80)
        --cut;
    bytes.resize(cut);
    return bytes;
}

QSpinBox* makeNumberSpin(QWidget* parent, int minimum, int maximum)
{
    auto* spin = new QSpinBox(parent);
    spin->setRange(minimum, maximum);
    return spin;
}

} // namespace folvane::gui
