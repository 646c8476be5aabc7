#pragma once
// WatermarkTab, the "Watermark" tab: page header, page footer, text watermark and image watermark,
// each switched on and off by its check box.

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QSpinBox>

#include <functional>
#include <optional>
#include <vector>

#include "sheet_page.h"

namespace folvane::gui {

// A rectangle filled with a section's colour while the section is on; reports left clicks.
class ColorSwatch : public QWidget {
    Q_OBJECT
public:
    explicit ColorSwatch(QWidget* parent = nullptr);
    void setColor(QColor color);
    QColor color() const { return m_color; }
    void setPainted(bool painted);

signals:
    void clicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QColor m_color;
    bool m_painted = false;
};

class WatermarkTab : public SheetPage {
    Q_OBJECT
public:
    WatermarkTab(const app::OutputSettings& settings, const std::string& settingsPath, QWidget* parent = nullptr);
    void apply() override;

    // The colour dialog (black preselected); nullopt when cancelled. Tests replace it.
    using ColorChooser = std::function<std::optional<QColor>(QWidget*)>;
    void setColorChooser(ColorChooser chooser) { m_chooseColor = std::move(chooser); }
    // The file dialog of the image browse button; an empty text when cancelled.
    using FileChooser = std::function<QString(QWidget*)>;
    void setFileChooser(FileChooser chooser) { m_chooseFile = std::move(chooser); }

    // Colour words 0x00BBGGRR and back.
    static QColor colorFromWord(int word);
    static int wordFromColor(QColor color);

protected:
    void initialise() override;

private:
    enum Section { Header, Footer, Text, Image, SectionCount };
    void applySwitch(int section);
    void onSwatchClicked(int section);
    void onBrowse();

    QCheckBox* m_switch[SectionCount];
    std::vector<QWidget*> m_controls[SectionCount];
    ColorSwatch* m_swatch[SectionCount] = {}; // none for the image
    QLineEdit* m_text[SectionCount];           // the image's is its path
    QComboBox* m_pos[SectionCount];
    QComboBox* m_macros[2];
    QSpinBox* m_size;
    QLineEdit* m_imgWidth;
    QLineEdit* m_imgHeight;
    ColorChooser m_chooseColor;
    FileChooser m_chooseFile;
};

} // namespace folvane::gui
