#pragma once
// CompressTab, the "Compress" tab: recompression per image class, skew correction, JPEG quality, the
// image handling group (photos upright, lossless, skew method) and the text layer of searchable
// scans.

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QSlider>

#include "sheet_page.h"

namespace folvane::gui {

class CompressTab : public SheetPage {
    Q_OBJECT
public:
    CompressTab(const app::OutputSettings& settings, const std::string& settingsPath, QWidget* parent = nullptr);
    void apply() override;

protected:
    void initialise() override;

private:
    void showQuality();

    QComboBox* m_color;
    QComboBox* m_gray;
    QComboBox* m_bw;
    QCheckBox* m_skew;
    QSlider* m_quality;
    QLabel* m_percent;
    // Image handling
    QCheckBox* m_autoOrient;
    QCheckBox* m_lossless;
    QCheckBox* m_refinedSkew;
    // Searchable text
    QCheckBox* m_ocr;
    QLineEdit* m_ocrLanguages;
    QLabel* m_ocrInstalled;
};

} // namespace folvane::gui
