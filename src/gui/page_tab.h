#pragma once
// PageTab, the "Page" tab: page size, custom size, resolution, margins, images per page and
// their order, rotation and fit.

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>

#include <array>

#include "sheet_page.h"

namespace folvane::gui {

class PageTab : public SheetPage {
    Q_OBJECT
public:
    PageTab(const app::OutputSettings& settings, const std::string& settingsPath, QWidget* parent = nullptr);
    void apply() override;

    // The value a DPI combo's text is written as: its leading number, 1..71 raised to 72,
    // above 1200 lowered to 1200; no number (or none above 0) means unchanged, 0.
    static int dpiFromText(const QString& text);
    // The text a stored DPI is shown as: "Remain unchanged" for 0, "72(Reader)" for 72.
    static QString dpiText(int dpi);

protected:
    void initialise() override;

private:
    void onPageSizeChanged();
    void onLayoutChanged();
    void onRotationChanged();
    void onFitChanged();
    void selectDpi(QComboBox* combo, int dpi);

    QComboBox* m_pageSize;
    QLineEdit* m_width;
    QLineEdit* m_height;
    QComboBox* m_xdpi;
    QComboBox* m_ydpi;
    std::array<QSpinBox*, 4> m_margins; // top, left, right, bottom
    QComboBox* m_layout;
    QButtonGroup* m_order;
    QCheckBox* m_repeat;
    QCheckBox* m_border;
    QComboBox* m_rotate;
    QButtonGroup* m_fit;
    std::array<QLabel*, 4> m_rotatePreview;
    std::array<QLabel*, 2> m_fitPreview;
    std::array<QWidget*, 2> m_orderButtons;
    std::array<QWidget*, 2> m_fitButtons;
};

} // namespace folvane::gui
