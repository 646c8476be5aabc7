#include "watermark_tab.h"

#include <QColorDialog>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

#include "engine/engine.h"

namespace folvane::gui {

namespace {

const QStringList kMacros = {"%Title%", "%Subject%", "%Author%", "%Keywordes%", "%LocalDate(YY-MM-DD)%",
                             "%LocalDate(DD-MM-YY)%", "%LocalTime%"};
const QStringList kLineSides = {"Left", "Center", "Right"};
const QStringList kNinePositions = {"Top-Left",    "Top-Center", "Top-Right",     "Center-Left", "Center",
                                    "Center-Right", "Bottom-Left", "Bottom-Center", "Bottom-Right"};

void setIndex(QComboBox* box, int index) { box->setCurrentIndex(index >= 0 && index < box->count() ? index : -1); }

QLineEdit* sizeEdit(QWidget* parent, const char* name)
{
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QString::fromLatin1(name));
    // Four digits when typed; a larger pixel size from the browse button is still shown whole.
    edit->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,4}")), edit));
    return edit;
}

} // namespace

ColorSwatch::ColorSwatch(QWidget* parent) : QWidget(parent) { setFixedSize(36, 20); }

void ColorSwatch::setColor(QColor color)
{
    m_color = color;
    update();
}

void ColorSwatch::setPainted(bool painted)
{
    m_painted = painted;
    update();
}

void ColorSwatch::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setPen(QColor(128, 128, 128));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
    if (m_painted)
        painter.fillRect(rect().adjusted(2, 2, -2, -2), m_color);
}

void ColorSwatch::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit clicked();
}

QColor WatermarkTab::colorFromWord(int word)
{
    auto w = static_cast<unsigned>(word);
    return QColor(w & 0xFF, (w >> 8) & 0xFF, (w >> 16) & 0xFF);
}

int WatermarkTab::wordFromColor(QColor color)
{
    return color.red() | (color.green() << 8) | (color.blue() << 16);
}

WatermarkTab::WatermarkTab(const app::OutputSettings& settings, const std::string& settingsPath, QWidget* parent)
    : SheetPage(settings, settingsPath, parent)
{
    setObjectName(QStringLiteral("watermarkPage"));
    auto* layout = new QVBoxLayout(this);
    static const char* const switches[SectionCount] = {"Page header", "Page footer", "Text", "Image"};
    static const char* const names[SectionCount] = {"header", "footer", "text", "image"};

    for (int s = 0; s < SectionCount; ++s) {
        auto* group = new QGroupBox(this);
        auto* grid = new QGridLayout(group);
        grid->setVerticalSpacing(3);
        m_switch[s] = new QCheckBox(QString::fromLatin1(switches[s]), group);
        m_switch[s]->setObjectName(QString::fromLatin1(names[s]));
        grid->addWidget(m_switch[s], 0, 0, 1, 6);
        std::vector<QWidget*>& controls = m_controls[s];
        auto label = [&](const char* text, int row, int column) {
            auto* l = new QLabel(QString::fromLatin1(text), group);
            grid->addWidget(l, row, column);
            controls.push_back(l);
        };
        m_text[s] = new QLineEdit(group);
        m_text[s]->setObjectName(QStringLiteral("%1Text").arg(QString::fromLatin1(names[s])));
        m_pos[s] = new QComboBox(group);
        m_pos[s]->setObjectName(QStringLiteral("%1Pos").arg(QString::fromLatin1(names[s])));
        m_pos[s]->addItems(s < Text ? kLineSides : kNinePositions);
        controls.push_back(m_text[s]);
        controls.push_back(m_pos[s]);
        if (s == Header || s == Footer) {
            label("Text", 1, 0);
            grid->addWidget(m_text[s], 1, 1, 1, 3);
            m_macros[s] = new QComboBox(group);
            m_macros[s]->setObjectName(QStringLiteral("%1Macro").arg(QString::fromLatin1(names[s])));
            m_macros[s]->addItems(kMacros);
            m_macros[s]->setCurrentIndex(-1);
            m_macros[s]->setPlaceholderText(QStringLiteral("Macro"));
            grid->addWidget(m_macros[s], 1, 4, 1, 2);
            controls.push_back(m_macros[s]);
            label("Position", 2, 0);
            grid->addWidget(m_pos[s], 2, 1);
            label("Color", 2, 2);
        } else if (s == Text) {
            label("Text", 1, 0);
            grid->addWidget(m_text[s], 1, 1, 1, 5);
            label("Position", 2, 0);
            grid->addWidget(m_pos[s], 2, 1);
            label("Size", 2, 2);
            m_size = makeNumberSpin(group, 1, 100);
            m_size->setObjectName(QStringLiteral("tsize"));
            grid->addWidget(m_size, 2, 3);
            controls.push_back(m_size);
        } else {
            label("File", 1, 0);
            grid->addWidget(m_text[s], 1, 1, 1, 4);
            auto* browse = new QPushButton(QStringLiteral("..."), group);
            browse->setObjectName(QStringLiteral("imageBrowse"));
            browse->setFixedWidth(30);
            grid->addWidget(browse, 1, 5);
            controls.push_back(browse);
            connect(browse, &QPushButton::clicked, this, [this] { onBrowse(); });
            label("Position", 2, 0);
            grid->addWidget(m_pos[s], 2, 1);
            m_imgWidth = sizeEdit(group, "imgWidth");
            m_imgHeight = sizeEdit(group, "imgHeight");
            label("Width", 2, 2);
            grid->addWidget(m_imgWidth, 2, 3);
            label("Height", 2, 4);
            grid->addWidget(m_imgHeight, 2, 5);
            controls.push_back(m_imgWidth);
            controls.push_back(m_imgHeight);
        }
        if (s != Image) {
            m_swatch[s] = new ColorSwatch(group);
            m_swatch[s]->setObjectName(QStringLiteral("%1Swatch").arg(QString::fromLatin1(names[s])));
            m_swatch[s]->setCursor(Qt::PointingHandCursor);
            grid->addWidget(m_swatch[s], 2, s == Text ? 5 : 3, Qt::AlignLeft);
            if (s == Text)
                label("Color", 2, 4);
            connect(m_swatch[s], &ColorSwatch::clicked, this, [this, s] { onSwatchClicked(s); });
        }
        grid->setColumnStretch(1, 1);
        grid->setColumnStretch(3, 1);
        layout->addWidget(group);
    }
    for (int s = 0; s < 2; ++s) {
        connect(m_macros[s], &QComboBox::activated, this, [this, s](int index) {
            if (index >= 0)
                m_text[s]->setText(m_text[s]->text() + kMacros[index]);
            m_macros[s]->setCurrentIndex(-1);
        });
    }
    layout->addStretch();
}

void WatermarkTab::initialise()
{
    const app::OutputSettings& s = m_settings;
    const int switches[SectionCount] = {s.headerOn, s.footerOn, s.textWatermarkOn, s.imageWatermarkOn};
    const std::string* texts[SectionCount] = {&s.headerText, &s.footerText, &s.watermarkText, &s.watermarkImagePath};
    const int positions[SectionCount] = {static_cast<int>(s.headerPosition), static_cast<int>(s.footerPosition), static_cast<int>(s.watermarkPosition), static_cast<int>(s.watermarkImagePosition)};
    const int colors[3] = {s.headerColor, s.footerColor, s.watermarkColor};
    for (int i = 0; i < SectionCount; ++i) {
        m_switch[i]->setChecked(switches[i] != 0);
        m_text[i]->setText(QString::fromStdString(*texts[i]));
        setIndex(m_pos[i], positions[i]);
        if (m_swatch[i])
            m_swatch[i]->setColor(colorFromWord(colors[i]));
    }
    m_size->setValue(s.watermarkTextSizePt);
    m_imgWidth->setText(QString::number(s.watermarkImageWidthPt));
    m_imgHeight->setText(QString::number(s.watermarkImageHeightPt));
    for (int i = 0; i < SectionCount; ++i) {
        connect(m_switch[i], &QCheckBox::toggled, this, [this, i] { applySwitch(i); });
        applySwitch(i);
    }
}

void WatermarkTab::applySwitch(int section)
{
    bool on = m_switch[section]->isChecked();
    for (QWidget* w : m_controls[section])
        w->setEnabled(on);
    if (m_swatch[section])
        m_swatch[section]->setPainted(on);
}

void WatermarkTab::onSwatchClicked(int section)
{
    if (!m_switch[section]->isChecked())
        return;
    std::optional<QColor> chosen;
    if (m_chooseColor) {
        chosen = m_chooseColor(this);
    } else {
        QColor color = QColorDialog::getColor(Qt::black, this);
        if (color.isValid())
            chosen = color;
    }
    if (chosen)
        m_swatch[section]->setColor(*chosen);
}

void WatermarkTab::onBrowse()
{
    QString path;
    if (m_chooseFile)
        path = m_chooseFile(this);
    else
        path = QFileDialog::getOpenFileName(
            this, QStringLiteral("Folvane"), QString(),
            QStringLiteral("Supported File(*.jpg *.jpeg *.tif *.tiff *.bmp);;JPEG Files (*.jpg *.jpeg);;"
                           "TIFF Files (*.tif *.tiff);;BMP Files (*.bmp)"));
    if (path.isEmpty())
        return;
    m_text[Image]->setText(path);
    // The size is shown only when the engine could read the image; otherwise the boxes keep
    // what they held.
    engine::ImageProbe probe = engine::probeImage(path.toStdString());
    if (probe.width > 0) {
        m_imgWidth->setText(QString::number(probe.width));
        m_imgHeight->setText(QString::number(probe.height));
    }
}

void WatermarkTab::apply()
{
    auto on = [](const QCheckBox* box) { return box->isChecked() ? 1 : 0; };
    const app::OutputSettings& defaults = app::outputSettingDefaults();
    app::OutputSettings& s = m_settings;
    s.headerOn = on(m_switch[Header]);
    s.headerPosition = static_cast<app::Alignment>(m_pos[Header]->currentIndex());
    s.headerColor = wordFromColor(m_swatch[Header]->color());
    s.headerText = boxText(m_text[Header]->text());
    s.footerOn = on(m_switch[Footer]);
    s.footerPosition = static_cast<app::Alignment>(m_pos[Footer]->currentIndex());
    s.footerColor = wordFromColor(m_swatch[Footer]->color());
    s.footerText = boxText(m_text[Footer]->text());
    s.textWatermarkOn = on(m_switch[Text]);
    s.watermarkPosition = static_cast<app::Position>(m_pos[Text]->currentIndex());
    s.watermarkColor = wordFromColor(m_swatch[Text]->color());
    s.watermarkText = boxText(m_text[Text]->text());
    s.watermarkTextSizePt = m_size->value();
    s.imageWatermarkOn = on(m_switch[Image]);
    s.watermarkImagePosition = static_cast<app::Position>(m_pos[Image]->currentIndex());
    s.watermarkImagePath = boxText(m_text[Image]->text());
    s.watermarkImageWidthPt = boxNumber(m_imgWidth, defaults.watermarkImageWidthPt);
    s.watermarkImageHeightPt = boxNumber(m_imgHeight, defaults.watermarkImageHeightPt);
    save(app::SettingsTab::Watermark);
}

} // namespace folvane::gui
