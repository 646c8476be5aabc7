#include "main_window.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <QScrollArea>
#include <QShortcut>
#include <QSizeGrip>
#include <QStackedWidget>
#include <QSvgRenderer>
#include <QVBoxLayout>
#include <QWindow>

#include "about_page.h"
#include "gui_common.h"
#include "file_list_page.h"
#include "watch_page.h"
#include "options_page.h"

namespace folvane::gui {

const QString MainWindow::kRefusalText = QStringLiteral("A conversion is running. Stop it or wait until it has finished.");

namespace {

// The dark colour behind the skin's pictures.
const QColor kSkinBackground(0x16, 0x20, 0x0f);
// Width of the band along the window's edges that resizes it.
constexpr int kResizeBand = 5;

// A widget that paints one of the skin's pictures over its whole area.
class SkinPanel : public QWidget {
public:
    SkinPanel(const QString& art, QWidget* parent) : QWidget(parent), m_art(art) {}

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.fillRect(rect(), kSkinBackground);
        painter.drawPixmap(rect(), artPixmap(m_art, size()));
    }

private:
    QString m_art;
};

// The navigation pictures are 135 by 32 with the symbol in their first 32 units and their text
// after 36 units; the text is drawn by the button in the desktop's font instead.
constexpr double kNavArtWidth = 135, kNavArtHeight = 32, kNavSymbolWidth = 32, kNavTextStart = 36;

} // namespace

// --- SkinButton -------------------------------------------------------------------------------

SkinButton::SkinButton(const QString& art, const QString& text, QWidget* parent) : QAbstractButton(parent), m_art(art)
{
    setText(text);
    setAttribute(Qt::WA_Hover);
    setFocusPolicy(text.isEmpty() ? Qt::NoFocus : Qt::StrongFocus);
    setCursor(Qt::PointingHandCursor);
    if (!text.isEmpty()) {
        QFont bold = font();
        bold.setBold(true);
        setFont(bold);
        setAccessibleName(text);
    }
}

QSize SkinButton::sizeHint() const
{
    if (m_hint.isValid())
        return m_hint;
    // A navigation entry: the symbol, the text and room for the arrow.
    QFontMetrics metrics(font());
    int height = std::max(metrics.height() + 14, dluY(20));
    int symbol = static_cast<int>(height * kNavTextStart / kNavArtHeight);
    return {symbol + metrics.horizontalAdvance(text()) + height, height};
}

void SkinButton::setForcedHover(bool on)
{
    if (m_forcedHover != on) {
        m_forcedHover = on;
        update();
    }
}

void SkinButton::leaveEvent(QEvent* event)
{
    // A hover shown for the pointer ends when the pointer leaves; nothing keeps it lit.
    m_forcedHover = false;
    update();
    QAbstractButton::leaveEvent(event);
}

void SkinButton::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        event->accept();
        click();
        return;
    }
    QAbstractButton::keyPressEvent(event);
}

void SkinButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QString art = hoverShown() || isDown() ? m_art + QStringLiteral("_hover") : m_art;
    if (text().isEmpty()) {
        painter.drawPixmap(rect(), artPixmap(art, size()));
        return;
    }
    QRectF area = QRectF(rect()).adjusted(1, 1, -1, -1);
    if (isChecked()) {
        // The current entry: a filled frame and the arrow pointing at the page.
        painter.setPen(QPen(kSkinTextColor, 1.5));
        painter.setBrush(QColor(0x3f, 0x55, 0x30));
        painter.drawRoundedRect(area, 5, 5);
        int arrowHeight = height() / 2;
        QRect arrow(width() - arrowHeight * 15 / 18 - 2, (height() - arrowHeight) / 2, arrowHeight * 15 / 18,
                    arrowHeight);
        painter.drawPixmap(arrow, artPixmap(QStringLiteral("arrow"), arrow.size()));
    }
    // The symbol part of the picture (its hover form carries the highlight behind it).
    double scale = height() / kNavArtHeight;
    QSvgRenderer renderer(QStringLiteral(":/art/%1.svg").arg(art));
    if (hoverShown() || isDown()) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(0x5d, 0x7a, 0x45));
        painter.drawRoundedRect(area.adjusted(2, 2, -2, -2), 5, 5);
    }
    painter.save();
    painter.setClipRect(QRectF(0, 0, kNavSymbolWidth * scale, height()));
    renderer.render(&painter, QRectF(0, 0, kNavArtWidth * scale, height()));
    painter.restore();
    painter.setPen(hoverShown() || isDown() ? QColor(Qt::white) : kSkinTextColor);
    painter.setFont(font());
    QRectF textArea(kNavTextStart * scale, 0, width() - kNavTextStart * scale, height());
    painter.drawText(textArea, Qt::AlignVCenter | Qt::AlignLeft, text());
    if (hasFocus()) {
        painter.setPen(QPen(Qt::white, 1, Qt::DotLine));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(area.adjusted(3, 3, -3, -3), 4, 4);
    }
}

// --- MainWindow ---------------------------------------------------------------------------------

MainWindow::MainWindow(const app::SettingsLocation& settings, QWidget* parent)
    : QDialog(parent, Qt::Window | Qt::FramelessWindowHint), m_store(settings.path)
{
    setWindowTitle(kCaption);
    setWindowIcon(QIcon(artPixmap(QStringLiteral("icon"), QSize(64, 64))));
    setSizeGripEnabled(false);

    // The banner: title on the left, minimize and close on the right. It drags the window.
    m_banner = new SkinPanel(QStringLiteral("banner"), this);
    m_banner->setObjectName(QStringLiteral("banner"));
    auto* bannerLayout = new QHBoxLayout(m_banner);
    bannerLayout->setContentsMargins(dluX(20), 0, dluX(4), 0);
    auto* title = new QLabel(kCaption, m_banner);
    title->setObjectName(QStringLiteral("title"));
    QFont titleFont = title->font();
    titleFont.setBold(true);
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.4);
    title->setFont(titleFont);
    QPalette skinText = title->palette();
    skinText.setColor(QPalette::WindowText, kSkinTextColor);
    title->setPalette(skinText);
    title->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_minimize = new SkinButton(QStringLiteral("minimize"), QString(), m_banner);
    m_minimize->setObjectName(QStringLiteral("minimizeButton"));
    m_minimize->setToolTip(QStringLiteral("Minimize"));
    m_close = new SkinButton(QStringLiteral("close"), QString(), m_banner);
    m_close->setObjectName(QStringLiteral("closeButton"));
    m_close->setToolTip(QStringLiteral("Close"));
    QSize pictureButton(dluX(20), dluY(14));
    for (SkinButton* button : {m_minimize, m_close})
        button->setFixedHint(pictureButton);
    bannerLayout->addWidget(title);
    bannerLayout->addStretch();
    bannerLayout->addWidget(m_minimize, 0, Qt::AlignTop);
    bannerLayout->addWidget(m_close, 0, Qt::AlignTop);
    int bannerHeight = std::max(dluY(36), title->sizeHint().height() + dluY(12));
    m_banner->setFixedHeight(bannerHeight);
    connect(m_minimize, &QAbstractButton::clicked, this, [this] { releaseAt(minRect().center()); });
    connect(m_close, &QAbstractButton::clicked, this, [this] { releaseAt(closeRect().center()); });

    // The navigation column.
    auto* navColumn = new SkinPanel(QStringLiteral("nav_background"), this);
    navColumn->setObjectName(QStringLiteral("navigation"));
    auto* navLayout = new QVBoxLayout(navColumn);
    navLayout->setContentsMargins(dluX(6), dluY(8), 0, dluY(8));
    navLayout->setSpacing(dluY(6));
    static const char* const navArt[4] = {"nav_list", "nav_watch", "nav_options", "nav_about"};
    static const char* const navText[4] = {"File List", "Watch Folder", "Options", "About"};
    int navWidth = 0;
    for (int k = 0; k < 4; ++k) {
        auto* button = new SkinButton(QString::fromLatin1(navArt[k]), QString::fromLatin1(navText[k]), navColumn);
        button->setObjectName(QStringLiteral("nav%1").arg(k + 1));
        // Checked marks the current entry. Not an exclusive group: Tab would then skip the
        // entries that are not current.
        button->setCheckable(true);
        button->setToolTip(QStringLiteral("%1 (Ctrl+%2)").arg(QString::fromLatin1(navText[k])).arg(k + 1));
        navWidth = std::max(navWidth, button->sizeHint().width());
        navLayout->addWidget(button);
        m_nav[static_cast<size_t>(k)] = button;
        connect(button, &QAbstractButton::clicked, this, [this, k] {
            // A refused click leaves the current entry marked.
            navigate(k + 1);
            markCurrentEntry();
        });
        auto* shortcut = new QShortcut(QKeySequence(Qt::CTRL | static_cast<Qt::Key>(Qt::Key_1 + k)), this);
        connect(shortcut, &QShortcut::activated, this, [this, k] { navigate(k + 1); });
    }
    for (SkinButton* button : m_nav)
        button->setFixedHint(QSize(navWidth, button->sizeHint().height()));
    m_nav[0]->setChecked(true);
    navLayout->addStretch();
    navColumn->setFixedWidth(navWidth + dluX(6));

    // The page area: each page in a scroll area, so a small screen scrolls instead of clipping.
    m_stack = new QStackedWidget(this);
    m_stack->setObjectName(QStringLiteral("pageArea"));
    m_stack->setAutoFillBackground(true);
    m_stack->setBackgroundRole(QPalette::Window);
    auto* listPage = new FileListPage(settings);
    connect(listPage, &FileListPage::jobState, this, &MainWindow::onJobState);
    m_pages[0] = listPage;
    auto* watchPage = new WatchPage(settings);
    connect(watchPage, &WatchPage::jobState, this, &MainWindow::onJobState);
    m_pages[1] = watchPage;
    m_pages[2] = new OptionsPage(settings);
    m_pages[3] = new AboutPage;
    for (QWidget* p : m_pages) {
        auto* scroll = new QScrollArea(m_stack);
        scroll->setFrameShape(QFrame::NoFrame);
        scroll->setWidgetResizable(true);
        scroll->setWidget(p);
        m_stack->addWidget(scroll);
    }

    auto* body = new QHBoxLayout;
    body->setContentsMargins(0, 0, 0, 0);
    body->setSpacing(0);
    body->addWidget(navColumn);
    body->addWidget(m_stack, 1);

    auto* layout = new QVBoxLayout(this);
    // The right and bottom borders of the skin frame the page area.
    layout->setContentsMargins(0, 0, dluX(6), dluY(9));
    layout->setSpacing(0);
    layout->addWidget(m_banner);
    layout->addLayout(body, 1);

    auto* grip = new QSizeGrip(this);
    grip->setObjectName(QStringLiteral("sizeGrip"));
    grip->resize(dluY(9), dluY(9));

    // The tab order runs through the navigation first, then the page.
    for (int k = 0; k < 3; ++k)
        setTabOrder(m_nav[static_cast<size_t>(k)], m_nav[static_cast<size_t>(k + 1)]);

    setMinimumSize(layout->minimumSize().boundedTo(QSize(640, 400)).expandedTo(QSize(560, 360)));
}

QWidget* MainWindow::page(int n) const { return (n >= 1 && n <= 4) ? m_pages[static_cast<size_t>(n - 1)] : nullptr; }

QRect MainWindow::rectOf(const QWidget* widget) const
{
    return QRect(widget->mapTo(this, QPoint(0, 0)), widget->size());
}

QRect MainWindow::minRect() const { return rectOf(m_minimize); }
QRect MainWindow::closeRect() const { return rectOf(m_close); }
QRect MainWindow::dragRect() const { return rectOf(m_banner); }
QRect MainWindow::navRect(int n) const { return rectOf(m_nav[static_cast<size_t>(n - 1)]); }

bool MainWindow::hoverShown(int n) const { return m_nav[static_cast<size_t>(n - 1)]->hoverShown(); }

void MainWindow::onJobState(int state) { m_converting = state; }

void MainWindow::bringToFront()
{
    if (isMinimized())
        showNormal();
    show();
    raise();
    activateWindow();
}

void MainWindow::refuse()
{
    if (m_refusalHook) {
        m_refusalHook();
        return;
    }
    QMessageBox::warning(this, kCaption, kRefusalText);
}

void MainWindow::navigate(int n)
{
    if (n < 1 || n > 4)
        return;
    if (m_converting) {
        refuse();
        return;
    }
    switchTo(n);
}

void MainWindow::switchTo(int n)
{
    if (n == m_currentPage)
        return;
    m_currentPage = n;
    markCurrentEntry();
    m_stack->setCurrentIndex(n - 1);
}

void MainWindow::markCurrentEntry()
{
    for (int k = 0; k < 4; ++k)
        m_nav[static_cast<size_t>(k)]->setChecked(k + 1 == m_currentPage);
}

void MainWindow::releaseAt(QPoint pos)
{
    if (minRect().contains(pos)) {
        m_minimize->setForcedHover(false);
        showMinimized();
        return;
    }
    if (closeRect().contains(pos)) {
        if (m_converting) {
            refuse();
            return;
        }
        m_closing = true;
        reject();
        return;
    }
    for (int n = 1; n <= 4; ++n) {
        if (navRect(n).contains(pos)) {
            navigate(n);
            return;
        }
    }
}

void MainWindow::hoverAt(QPoint pos)
{
    m_minimize->setForcedHover(minRect().contains(pos));
    m_close->setForcedHover(closeRect().contains(pos));
    for (int n = 1; n <= 4; ++n)
        m_nav[static_cast<size_t>(n - 1)]->setForcedHover(navRect(n).contains(pos));
}

void MainWindow::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), kSkinBackground);
    QRect right(width() - dluX(6), dragRect().bottom() + 1, dluX(6), height() - dragRect().bottom() - 1);
    QRect bottom(0, height() - dluY(9), width(), dluY(9));
    painter.drawPixmap(right, artPixmap(QStringLiteral("border_right"), right.size()));
    painter.drawPixmap(bottom, artPixmap(QStringLiteral("border_bottom"), bottom.size()));
}

Qt::Edges MainWindow::edgesAt(QPoint pos) const
{
    Qt::Edges edges;
    if (pos.x() < kResizeBand)
        edges |= Qt::LeftEdge;
    if (pos.x() >= width() - kResizeBand)
        edges |= Qt::RightEdge;
    if (pos.y() < kResizeBand)
        edges |= Qt::TopEdge;
    if (pos.y() >= height() - kResizeBand)
        edges |= Qt::BottomEdge;
    return edges;
}

void MainWindow::mousePressEvent(QMouseEvent* event)
{
    QPoint pos = event->position().toPoint();
    if (event->button() == Qt::LeftButton && windowHandle()) {
        // Without the window manager's frame the edges resize and the banner moves the window.
        Qt::Edges edges = edgesAt(pos);
        if (edges && windowHandle()->startSystemResize(edges))
            return;
        if (dragRect().contains(pos) && !minRect().contains(pos) && !closeRect().contains(pos) &&
            windowHandle()->startSystemMove())
            return;
    }
    QDialog::mousePressEvent(event);
}

void MainWindow::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        releaseAt(event->position().toPoint());
    QDialog::mouseReleaseEvent(event);
}

void MainWindow::keyPressEvent(QKeyEvent* event)
{
    // Escape never closes the main window; closing is the close button's (or the desktop's) job.
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

// Closing by the window manager (or a keyboard shortcut) follows the close button's rule.
void MainWindow::closeEvent(QCloseEvent* event)
{
    if (m_converting && !m_closing) {
        event->ignore();
        refuse();
        return;
    }
    // The pages save their settings when hidden.
    for (QWidget* p : m_pages)
        p->hide();
    QDialog::closeEvent(event);
}

void MainWindow::showEvent(QShowEvent* event)
{
    if (!m_sized) {
        m_sized = true;
        // The design size in dialog units of the desktop's font, but never larger than the
        // screen's free area, centred on it.
        QSize wanted(dluX(515), dluY(326));
        wanted = wanted.expandedTo(minimumSizeHint()).expandedTo(minimumSize());
        QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
        if (screen) {
            QRect available = screen->availableGeometry();
            wanted = wanted.boundedTo(available.size());
            resize(wanted);
            move(available.center() - QPoint(wanted.width() / 2, wanted.height() / 2));
        } else {
            resize(wanted);
        }
    }
    QDialog::showEvent(event);
}

void MainWindow::resizeEvent(QResizeEvent* event)
{
    if (auto* grip = findChild<QSizeGrip*>(QStringLiteral("sizeGrip")))
        grip->move(width() - grip->width(), height() - grip->height());
    QPainterPath path;
    path.addRoundedRect(QRectF(rect()), 7.5, 7.5);
    // The offscreen platform used for tests and screenshots has no window shapes.
    if (QGuiApplication::platformName() != QLatin1String("offscreen"))
        setMask(QRegion(path.toFillPolygon().toPolygon()));
    QDialog::resizeEvent(event);
}

} // namespace folvane::gui
