#include "page_tab.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QTransform>
#include <QVBoxLayout>

#include <climits>

#include "gui_common.h"

namespace folvane::gui {

namespace {

constexpr int kImageSize = 0;
constexpr int kCustom = 7;

QLineEdit* digitEdit(QWidget* parent, int maxDigits, const char* name)
{
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QString::fromLatin1(name));
    edit->setMaxLength(maxDigits);
    edit->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,%1}").arg(maxDigits)), edit));
    return edit;
}

QComboBox* dpiCombo(QWidget* parent, const char* name)
{
    auto* combo = new QComboBox(parent);
    combo->setObjectName(QString::fromLatin1(name));
    combo->setEditable(true);
    combo->setInsertPolicy(QComboBox::NoInsert);
    combo->addItems({"Remain unchanged", "72(Reader)", "96", "120", "150", "200", "300", "600", "1200"});
    return combo;
}

QRadioButton* radio(QWidget* parent, const char* text, const char* name)
{
    auto* button = new QRadioButton(QString::fromLatin1(text), parent);
    button->setObjectName(QString::fromLatin1(name));
    return button;
}

} // namespace

int PageTab::dpiFromText(const QString& text)
{
    QString trimmed = text.trimmed();
    long long value = 0;
    bool any = false;
    for (QChar c : trimmed) {
        if (!c.isDigit() || c.unicode() > '9')
            break;
        any = true;
        if (value < INT_MAX)
            value = value * 10 + (c.unicode() - '0');
    }
    if (!any || value <= 0)
        return 0;
    if (value < 72)
        return 72;
    if (value > 1200)
        return 1200;
    return static_cast<int>(value);
}

QString PageTab::dpiText(int dpi)
{
    if (dpi == 0)
        return QStringLiteral("Remain unchanged");
    if (dpi == 72)
        return QStringLiteral("72(Reader)");
    return QString::number(dpi);
}

PageTab::PageTab(const app::OutputSettings& settings, const std::string& settingsPath, QWidget* parent)
    : SheetPage(settings, settingsPath, parent)
{
    setObjectName(QStringLiteral("pagePage"));
    auto* grid = new QGridLayout(this);
    grid->setColumnStretch(0, 1);
    grid->setColumnStretch(1, 1);

    // Page size and custom size.
    auto* sizeGroup = new QGroupBox(QStringLiteral("Page Size"), this);
    auto* sizeLayout = new QGridLayout(sizeGroup);
    m_pageSize = new QComboBox(sizeGroup);
    m_pageSize->setObjectName(QStringLiteral("pageSize"));
    m_pageSize->addItems({"ImageSize", "A3", "A4", "A5", "B5", "Letter", "Legal", "Custom"});
    sizeLayout->addWidget(m_pageSize, 0, 0, 1, 4);
    m_width = digitEdit(sizeGroup, 5, "pageWidth");
    m_height = digitEdit(sizeGroup, 5, "pageHeight");
    sizeLayout->addWidget(new QLabel(QStringLiteral("Width"), sizeGroup), 1, 0);
    sizeLayout->addWidget(m_width, 1, 1);
    sizeLayout->addWidget(new QLabel(QStringLiteral("Height"), sizeGroup), 1, 2);
    sizeLayout->addWidget(m_height, 1, 3);
    sizeLayout->addWidget(new QLabel(QStringLiteral("(3 - 14400) pixel"), sizeGroup), 2, 0, 1, 4);
    grid->addWidget(sizeGroup, 0, 0);

    // Resolution.
    auto* dpiGroup = new QGroupBox(QStringLiteral("Resolution (DPI)"), this);
    auto* dpiLayout = new QGridLayout(dpiGroup);
    m_xdpi = dpiCombo(dpiGroup, "xdpi");
    m_ydpi = dpiCombo(dpiGroup, "ydpi");
    dpiLayout->addWidget(new QLabel(QStringLiteral("X-DPI"), dpiGroup), 0, 0);
    dpiLayout->addWidget(m_xdpi, 0, 1);
    dpiLayout->addWidget(new QLabel(QStringLiteral("Y-DPI"), dpiGroup), 1, 0);
    dpiLayout->addWidget(m_ydpi, 1, 1);
    grid->addWidget(dpiGroup, 0, 1);

    // Margins: top, left, right, bottom.
    auto* marginGroup = new QGroupBox(QStringLiteral("Margin"), this);
    auto* marginLayout = new QGridLayout(marginGroup);
    static const char* const marginNames[4] = {"mTop", "mLeft", "mRight", "mBottom"};
    static const char* const marginLabels[4] = {"Top", "Left", "Right", "Bottom"};
    for (int i = 0; i < 4; ++i) {
        m_margins[i] = makeNumberSpin(marginGroup, 0, 999);
        m_margins[i]->setObjectName(QString::fromLatin1(marginNames[i]));
        marginLayout->addWidget(new QLabel(QString::fromLatin1(marginLabels[i]), marginGroup), i / 2, (i % 2) * 2);
        marginLayout->addWidget(m_margins[i], i / 2, (i % 2) * 2 + 1);
    }
    grid->addWidget(marginGroup, 1, 0);

    // Several images per page.
    auto* layoutGroup = new QGroupBox(QStringLiteral("Layout"), this);
    auto* layoutLayout = new QGridLayout(layoutGroup);
    m_layout = new QComboBox(layoutGroup);
    m_layout->setObjectName(QStringLiteral("layout"));
    m_layout->addItems({"1", "2", "4", "6", "9", "16"});
    layoutLayout->addWidget(new QLabel(QStringLiteral("Images per page"), layoutGroup), 0, 0);
    layoutLayout->addWidget(m_layout, 0, 1);
    m_order = new QButtonGroup(this);
    auto* horizontal = radio(layoutGroup, "Horizontal", "orderHorizontal");
    auto* vertical = radio(layoutGroup, "Vertical", "orderVertical");
    m_order->addButton(horizontal, 0);
    m_order->addButton(vertical, 1);
    m_orderButtons = {horizontal, vertical};
    layoutLayout->addWidget(horizontal, 1, 0);
    layoutLayout->addWidget(vertical, 1, 1);
    m_repeat = new QCheckBox(QStringLiteral("Repeat"), layoutGroup);
    m_repeat->setObjectName(QStringLiteral("repeat"));
    m_border = new QCheckBox(QStringLiteral("Border"), layoutGroup);
    m_border->setObjectName(QStringLiteral("border"));
    layoutLayout->addWidget(m_repeat, 2, 0);
    layoutLayout->addWidget(m_border, 2, 1);
    grid->addWidget(layoutGroup, 1, 1);

    // Rotation with its preview.
    auto* rotateGroup = new QGroupBox(QStringLiteral("Rotation"), this);
    auto* rotateLayout = new QHBoxLayout(rotateGroup);
    rotateLayout->addWidget(new QLabel(QStringLiteral("Angle"), rotateGroup));
    m_rotate = new QComboBox(rotateGroup);
    m_rotate->setObjectName(QStringLiteral("pageRotate"));
    m_rotate->addItems({"0", "90", "180", "270"});
    rotateLayout->addWidget(m_rotate);
    QPixmap page = artPixmap(QStringLiteral("preview_page"), QSize(32, 32));
    for (int i = 0; i < 4; ++i) {
        m_rotatePreview[i] = new QLabel(rotateGroup);
        m_rotatePreview[i]->setObjectName(QStringLiteral("rotatePreview%1").arg(i * 90));
        m_rotatePreview[i]->setPixmap(page.transformed(QTransform().rotate(90.0 * i)));
        m_rotatePreview[i]->hide();
        rotateLayout->addWidget(m_rotatePreview[i]);
    }
    rotateLayout->addStretch();
    grid->addWidget(rotateGroup, 2, 0);

    // Fit or stretch with its preview.
    auto* fitGroup = new QGroupBox(QStringLiteral("Image"), this);
    auto* fitLayout = new QHBoxLayout(fitGroup);
    auto* fitColumn = new QVBoxLayout;
    m_fit = new QButtonGroup(this);
    auto* fit = radio(fitGroup, "Fit", "fit");
    auto* stretch = radio(fitGroup, "Stretch", "stretch");
    m_fit->addButton(fit, 0);
    m_fit->addButton(stretch, 1);
    m_fitButtons = {fit, stretch};
    fitColumn->addWidget(fit);
    fitColumn->addWidget(stretch);
    fitLayout->addLayout(fitColumn);
    static const char* const fitArt[2] = {"preview_fit", "preview_stretch"};
    for (int i = 0; i < 2; ++i) {
        m_fitPreview[i] = new QLabel(fitGroup);
        m_fitPreview[i]->setObjectName(QString::fromLatin1(fitArt[i]));
        m_fitPreview[i]->setPixmap(artPixmap(QString::fromLatin1(fitArt[i]), QSize(36, 36)));
        m_fitPreview[i]->hide();
        fitLayout->addWidget(m_fitPreview[i]);
    }
    fitLayout->addStretch();
    grid->addWidget(fitGroup, 2, 1);
    grid->setRowStretch(3, 1);
}

void PageTab::selectDpi(QComboBox* combo, int dpi)
{
    QString text = dpiText(dpi);
    // A value the list lacks is added first; the exact item is selected (a prefix match would
    // show a stored 1 as "120").
    int index = combo->findText(text, Qt::MatchFixedString);
    if (index < 0) {
        combo->addItem(text);
        index = combo->count() - 1;
    }
    combo->setCurrentIndex(index);
}

void PageTab::initialise()
{
    const app::OutputSettings& s = m_settings;
    int pageSize = static_cast<int>(s.pageSize);
    m_pageSize->setCurrentIndex(pageSize >= 0 && pageSize < m_pageSize->count() ? pageSize : -1);
    m_width->setText(QString::number(s.pageWidthPt));
    m_height->setText(QString::number(s.pageHeightPt));
    selectDpi(m_xdpi, s.dpiX);
    selectDpi(m_ydpi, s.dpiY);
    m_margins[0]->setValue(s.marginTopPt);
    m_margins[1]->setValue(s.marginLeftPt);
    m_margins[2]->setValue(s.marginRightPt);
    m_margins[3]->setValue(s.marginBottomPt);
    m_layout->setCurrentIndex(m_layout->findText(QString::number(s.imagesPerPage), Qt::MatchStartsWith));
    if (QAbstractButton* b = m_order->button(static_cast<int>(s.cellOrder)))
        b->setChecked(true);
    m_repeat->setChecked(s.repeatImage != 0);
    m_border->setChecked(s.cellBorders != 0);
    int rotation = static_cast<int>(s.rotation);
    m_rotate->setCurrentIndex(rotation >= 0 && rotation < 4 ? rotation : -1);
    if (QAbstractButton* b = m_fit->button(static_cast<int>(s.imageFit)))
        b->setChecked(true);

    connect(m_pageSize, &QComboBox::currentIndexChanged, this, [this] { onPageSizeChanged(); });
    connect(m_layout, &QComboBox::currentIndexChanged, this, [this] { onLayoutChanged(); });
    connect(m_rotate, &QComboBox::currentIndexChanged, this, [this] { onRotationChanged(); });
    connect(m_fit, &QButtonGroup::idClicked, this, [this] { onFitChanged(); });
    onPageSizeChanged();
    onRotationChanged();
    onFitChanged();
}

void PageTab::onPageSizeChanged()
{
    QWidget* const layoutControls[] = {m_fitButtons[0], m_fitButtons[1], m_rotate, m_layout,
                                       m_orderButtons[0], m_orderButtons[1], m_repeat, m_border};
    int size = m_pageSize->currentIndex();
    m_width->setEnabled(false);
    m_height->setEnabled(false);
    for (QWidget* w : layoutControls)
        w->setEnabled(true);
    m_xdpi->setEnabled(false);
    m_ydpi->setEnabled(false);
    if (size == kImageSize) {
        for (QWidget* w : layoutControls)
            w->setEnabled(false);
        m_xdpi->setEnabled(true);
        m_ydpi->setEnabled(true);
    }
    if (size == kCustom) {
        m_width->setEnabled(true);
        m_height->setEnabled(true);
    }
    if (m_layout->currentText() == QLatin1String("1")) {
        m_orderButtons[0]->setEnabled(false);
        m_orderButtons[1]->setEnabled(false);
        m_repeat->setEnabled(false);
        m_border->setEnabled(false);
    }
}

void PageTab::onLayoutChanged()
{
    bool several = m_layout->currentText() != QLatin1String("1");
    m_orderButtons[0]->setEnabled(several);
    m_orderButtons[1]->setEnabled(several);
    m_repeat->setEnabled(several);
    m_border->setEnabled(several);
}

void PageTab::onRotationChanged()
{
    int angle = m_rotate->currentIndex();
    for (int i = 0; i < 4; ++i)
        m_rotatePreview[i]->setVisible(i == angle);
}

void PageTab::onFitChanged()
{
    int fit = m_fit->checkedId();
    m_fitPreview[0]->setVisible(fit == 0);
    m_fitPreview[1]->setVisible(fit == 1);
}

void PageTab::apply()
{
    const app::OutputSettings& defaults = app::outputSettingDefaults();
    app::OutputSettings& s = m_settings;
    s.imageFit = static_cast<app::ImageFit>(m_fit->checkedId() < 0 ? 0 : m_fit->checkedId());
    s.rotation = static_cast<app::Rotation>(m_rotate->currentIndex());
    s.dpiX = dpiFromText(m_xdpi->currentText());
    s.dpiY = dpiFromText(m_ydpi->currentText());
    s.imagesPerPage = m_layout->currentText().toInt();
    s.cellBorders = m_border->isChecked() ? 1 : 0;
    s.repeatImage = m_repeat->isChecked() ? 1 : 0;
    s.cellOrder = static_cast<app::CellOrder>(m_order->checkedId() < 0 ? 0 : m_order->checkedId());
    s.pageSize = static_cast<app::PageSize>(m_pageSize->currentIndex());
    s.pageWidthPt = boxNumber(m_width, defaults.pageWidthPt);
    s.pageHeightPt = boxNumber(m_height, defaults.pageHeightPt);
    s.marginTopPt = m_margins[0]->value();
    s.marginLeftPt = m_margins[1]->value();
    s.marginRightPt = m_margins[2]->value();
    s.marginBottomPt = m_margins[3]->value();
    save(app::SettingsTab::Page);
}

} // namespace folvane::gui
