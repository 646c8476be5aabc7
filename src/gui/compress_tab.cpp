#include "compress_tab.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QVBoxLayout>

#include "engine/engine.h"

namespace folvane::gui {

namespace {

QComboBox* combo(QWidget* parent, const QStringList& items, const char* name)
{
    auto* box = new QComboBox(parent);
    box->setObjectName(QString::fromLatin1(name));
    box->addItems(items);
    return box;
}

void setIndex(QComboBox* box, int index) { box->setCurrentIndex(index >= 0 && index < box->count() ? index : -1); }

} // namespace

CompressTab::CompressTab(const app::OutputSettings& settings, const std::string& settingsPath, QWidget* parent)
    : SheetPage(settings, settingsPath, parent)
{
    setObjectName(QStringLiteral("compressPage"));
    const QStringList tiff = {"None", "Lzw", "Zip", "Packbits", "Jpeg"};
    m_color = combo(this, tiff, "colorTif");
    m_gray = combo(this, tiff, "grayTif");
    m_bw = combo(this, {"None", "Lzw", "Zip", "CCITT G3", "CCITT G4"}, "bwTif");

    auto* layout = new QVBoxLayout(this);
    auto* group = new QGroupBox(QStringLiteral("Compression"), this);
    auto* grid = new QGridLayout(group);
    grid->addWidget(new QLabel(QStringLiteral("Color Image"), group), 0, 0);
    grid->addWidget(m_color, 0, 1);
    grid->addWidget(new QLabel(QStringLiteral("Grayscale Image"), group), 1, 0);
    grid->addWidget(m_gray, 1, 1);
    grid->addWidget(new QLabel(QStringLiteral("Black/White Image"), group), 2, 0);
    grid->addWidget(m_bw, 2, 1);
    layout->addWidget(group);

    m_skew = new QCheckBox(QStringLiteral("Skew correct"), this);
    m_skew->setObjectName(QStringLiteral("bSkew"));
    layout->addWidget(m_skew);

    auto* qualityGroup = new QGroupBox(QStringLiteral("JPEG Quality"), this);
    auto* qualityLayout = new QGridLayout(qualityGroup);
    m_quality = new QSlider(Qt::Horizontal, qualityGroup);
    m_quality->setObjectName(QStringLiteral("quality"));
    m_quality->setRange(0, 100);
    m_quality->setTickInterval(10);
    m_quality->setTickPosition(QSlider::TicksBelow);
    m_percent = new QLabel(qualityGroup);
    m_percent->setObjectName(QStringLiteral("qualityText"));
    qualityLayout->addWidget(new QLabel(QStringLiteral("Small Size"), qualityGroup), 0, 0);
    qualityLayout->addWidget(m_quality, 0, 1);
    qualityLayout->addWidget(new QLabel(QStringLiteral("High Quality"), qualityGroup), 0, 2);
    qualityLayout->addWidget(m_percent, 1, 1, Qt::AlignHCenter);
    layout->addWidget(qualityGroup);

    // Image handling
    auto* handlingGroup = new QGroupBox(QStringLiteral("Image Handling"), this);
    handlingGroup->setObjectName(QStringLiteral("imageHandling"));
    auto* handlingLayout = new QVBoxLayout(handlingGroup);
    m_autoOrient = new QCheckBox(QStringLiteral("Turn photos upright (EXIF orientation)"), handlingGroup);
    m_autoOrient->setObjectName(QStringLiteral("autoOrient"));
    handlingLayout->addWidget(m_autoOrient);
    m_lossless = new QCheckBox(QStringLiteral("Lossless (no JPEG for images that are not JPEG)"), handlingGroup);
    m_lossless->setObjectName(QStringLiteral("lossless"));
    handlingLayout->addWidget(m_lossless);
    m_refinedSkew = new QCheckBox(QStringLiteral("Refined skew estimate"), handlingGroup);
    m_refinedSkew->setObjectName(QStringLiteral("skewMethod"));
    handlingLayout->addWidget(m_refinedSkew);
    layout->addWidget(handlingGroup);
    // Searchable text: an invisible text layer from text recognition.
    auto* ocrGroup = new QGroupBox(QStringLiteral("Searchable Text"), this);
    auto* ocrLayout = new QGridLayout(ocrGroup);
    m_ocr = new QCheckBox(QStringLiteral("Recognize text (OCR)"), ocrGroup);
    m_ocr->setObjectName(QStringLiteral("ocr"));
    m_ocrLanguages = new QLineEdit(ocrGroup);
    m_ocrLanguages->setObjectName(QStringLiteral("ocrLanguages"));
    m_ocrLanguages->setMaxLength(63);
    m_ocrLanguages->setToolTip(QStringLiteral("Tesseract language codes joined by +, e.g. deu+eng"));
    m_ocrInstalled = new QLabel(ocrGroup);
    m_ocrInstalled->setObjectName(QStringLiteral("ocrInstalled"));
    m_ocrInstalled->setWordWrap(true);
    ocrLayout->addWidget(m_ocr, 0, 0, 1, 2);
    ocrLayout->addWidget(new QLabel(QStringLiteral("Languages"), ocrGroup), 1, 0);
    ocrLayout->addWidget(m_ocrLanguages, 1, 1);
    ocrLayout->addWidget(m_ocrInstalled, 2, 0, 1, 2);
    layout->addWidget(ocrGroup);
    layout->addStretch();
}

void CompressTab::initialise()
{
    const app::OutputSettings& s = m_settings;
    setIndex(m_color, static_cast<int>(s.colorCompression));
    setIndex(m_gray, static_cast<int>(s.grayCompression));
    setIndex(m_bw, static_cast<int>(s.bwCompression));
    m_skew->setChecked(s.skewCorrection != 0);
    m_quality->setValue(s.jpegQuality);
    showQuality();
    m_autoOrient->setChecked(s.autoOrient != 0);
    m_lossless->setChecked(s.lossless != 0);
    m_refinedSkew->setChecked(s.skewMethod == app::SkewMethod::Refined);
    m_ocr->setChecked(s.recognizeText != 0);
    m_ocrLanguages->setText(QString::fromStdString(s.recognitionLanguages));
    m_ocrLanguages->setEnabled(m_ocr->isChecked());
    connect(m_ocr, &QCheckBox::toggled, m_ocrLanguages, &QWidget::setEnabled);
    QStringList installed;
    for (const std::string& language : engine::installedTextLanguages())
        installed << QString::fromStdString(language);
    m_ocrInstalled->setText(installed.isEmpty() ? QStringLiteral("No recognition languages are installed.")
                                                : QStringLiteral("Installed: ") + installed.join(QStringLiteral(", ")));
    // The percentage follows the end of a movement, not the drag itself.
    connect(m_quality, &QSlider::sliderReleased, this, [this] { showQuality(); });
    connect(m_quality, &QSlider::valueChanged, this, [this] {
        if (!m_quality->isSliderDown())
            showQuality();
    });
}

void CompressTab::showQuality() { m_percent->setText(QStringLiteral("%1%").arg(m_quality->value())); }

void CompressTab::apply()
{
    app::OutputSettings& s = m_settings;
    s.colorCompression = static_cast<app::Compression>(m_color->currentIndex());
    s.grayCompression = static_cast<app::Compression>(m_gray->currentIndex());
    s.bwCompression = static_cast<app::BwCompression>(m_bw->currentIndex());
    s.skewCorrection = m_skew->isChecked() ? 1 : 0;
    s.jpegQuality = m_quality->value();
    s.autoOrient = m_autoOrient->isChecked() ? 1 : 0;
    s.lossless = m_lossless->isChecked() ? 1 : 0;
    s.skewMethod = m_refinedSkew->isChecked() ? app::SkewMethod::Refined : app::SkewMethod::FirstEstimate;
    s.recognizeText = m_ocr->isChecked() ? 1 : 0;
    s.recognitionLanguages = m_ocrLanguages->text().trimmed().toStdString();
    save(app::SettingsTab::Compress);
}

} // namespace folvane::gui
