#include "main_dlg.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPainter>
#include <QPainterPath>
#include <QWindow>

#include "about_page.h"
#include "gui_common.h"
#include "list_page.h"
#include "monitor_page.h"
#include "option_page.h"

namespace folvane::gui {

const QString CMainDlg::kRefusalText = QStringLiteral("A conversion is running. Stop it or wait until it has finished.");

CMainDlg::CMainDlg(const app::SettingsLocation& settings, QWidget* parent)
    : QDialog(parent, Qt::Window | Qt::FramelessWindowHint), m_store(settings.path)
{
    setFont(dialogFont());
    setWindowTitle(kCaption);
    setWindowIcon(QIcon(artPixmap(QStringLiteral("icon"), QSize(64, 64))));
    setFixedSize(dluX(515), dluY(326));
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);

    // Pictures in reverse order of overlap: the last made lies on top.
    addPicture(QStringLiteral("nav_lower"), dluRect(0, 191, 113, 135), true);
    addPicture(QStringLiteral("nav_background"), dluRect(0, 35, 113, 177), true);
    QLabel* banner = addPicture(QStringLiteral("banner"), dluRect(0, 0, 515, 36), true);
    QLabel* rightBorder = addPicture(QStringLiteral("border_right"), dluRect(509, 30, 6, 287), true);
    QLabel* bottomBorder = addPicture(QStringLiteral("border_bottom"), dluRect(113, 317, 402, 9), true);

    auto* title = new QLabel(kCaption, this);
    title->setObjectName(QStringLiteral("title"));
    title->setGeometry(dluRect(20, 5, 234, 13));
    QFont titleFont(QStringLiteral("Arial"));
    titleFont.setPixelSize(16);
    titleFont.setBold(true);
    titleFont.setStyleHint(QFont::SansSerif);
    title->setFont(titleFont);
    QPalette textPalette = title->palette();
    textPalette.setColor(QPalette::WindowText, kSkinTextColor);
    title->setPalette(textPalette);
    title->setAttribute(Qt::WA_TransparentForMouseEvents);

    m_dragRect = dluRect(0, 0, 465, 20);
    m_minRect = dluRect(465, 0, 20, 14);
    m_closeRect = dluRect(485, 0, 20, 14);
    addPicture(QStringLiteral("minimize"), m_minRect, true);
    m_minHover = addPicture(QStringLiteral("minimize_hover"), m_minRect, false);
    addPicture(QStringLiteral("close"), m_closeRect, true);
    m_closeHover = addPicture(QStringLiteral("close_hover"), m_closeRect, false);

    static const char* const navArt[4] = {"nav_list", "nav_watch", "nav_options", "nav_about"};
    for (int k = 0; k < 4; ++k) {
        m_navRect[k] = dluRect(10, 30 + 30 * k, 90, 20);
        m_navNormal[k] = addPicture(QString::fromLatin1(navArt[k]), m_navRect[k], true);
        m_navHover[k] = addPicture(QString::fromLatin1(navArt[k]) + QStringLiteral("_hover"), m_navRect[k], false);
        m_navNormal[k]->setObjectName(QStringLiteral("nav%1").arg(k + 1));
    }
    for (int k = 0; k < 5; ++k)
        m_arrows[k] = addPicture(QStringLiteral("arrow"), dluRect(103, 38 + 30 * k, 10, 11), k == 0);

    // The page area fills the space between the navigation, banner and borders.
    int x = dluRect(0, 35, 113, 177).right() + 1;
    int y = banner->geometry().bottom() + 1;
    m_pageRect = QRect(x, y, rightBorder->geometry().left() - x, bottomBorder->geometry().top() - y);

    auto* listPage = new CListPage(settings, this);
    connect(listPage, &CListPage::jobState, this, &CMainDlg::onJobState);
    m_pages[0] = listPage;
    auto* monitorPage = new CMonitorPage(settings, this);
    connect(monitorPage, &CMonitorPage::jobState, this, &CMainDlg::onJobState);
    m_pages[1] = monitorPage;
    m_pages[2] = new COptionPage(settings, this);
    m_pages[3] = new CAboutPage(this);
    for (QWidget* p : m_pages) {
        p->setGeometry(m_pageRect);
        p->hide();
    }
    m_pages[0]->show();
}

QLabel* CMainDlg::addPicture(const QString& art, QRect rect, bool visible)
{
    auto* label = new QLabel(this);
    label->setGeometry(rect);
    label->setPixmap(artPixmap(art, rect.size()));
    label->setAttribute(Qt::WA_TransparentForMouseEvents);
    label->setVisible(visible);
    return label;
}

QWidget* CMainDlg::page(int n) const { return (n >= 1 && n <= 4) ? m_pages[n - 1] : nullptr; }

bool CMainDlg::hoverShown(int n) const { return !m_navHover[n - 1]->isHidden(); }

void CMainDlg::onJobState(int state) { m_converting = state; }

void CMainDlg::refuse()
{
    if (m_refusalHook) {
        m_refusalHook();
        return;
    }
    QMessageBox::warning(this, kCaption, kRefusalText);
}

void CMainDlg::switchTo(int n)
{
    if (n == m_currentPage)
        return;
    m_currentPage = n;
    for (QLabel* arrow : m_arrows)
        arrow->hide();
    for (QWidget* p : m_pages)
        p->hide();
    m_arrows[n - 1]->show();
    m_pages[n - 1]->show();
}

void CMainDlg::releaseAt(QPoint pos)
{
    if (m_minRect.contains(pos)) {
        m_minHover->hide();
        showMinimized();
        return;
    }
    if (m_closeRect.contains(pos)) {
        if (m_converting) {
            refuse();
            return;
        }
        m_closing = true;
        reject();
        return;
    }
    for (int n = 1; n <= 4; ++n) {
        if (!m_navRect[n - 1].contains(pos))
            continue;
        if (m_converting)
            refuse();
        else
            switchTo(n);
        return;
    }
}

void CMainDlg::hoverAt(QPoint pos)
{
    m_minHover->setVisible(m_minRect.contains(pos));
    m_closeHover->setVisible(m_closeRect.contains(pos));
    for (int k = 0; k < 4; ++k)
        m_navHover[k]->setVisible(m_navRect[k].contains(pos));
}

void CMainDlg::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), QColor(0x16, 0x20, 0x0f));
    painter.fillRect(m_pageRect, Qt::white);
}

void CMainDlg::mouseMoveEvent(QMouseEvent* event)
{
    hoverAt(event->position().toPoint());
    QDialog::mouseMoveEvent(event);
}

void CMainDlg::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && m_dragRect.contains(event->position().toPoint())
        && !m_minRect.contains(event->position().toPoint()) && windowHandle()) {
        windowHandle()->startSystemMove();
        return;
    }
    QDialog::mousePressEvent(event);
}

void CMainDlg::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        releaseAt(event->position().toPoint());
    QDialog::mouseReleaseEvent(event);
}

void CMainDlg::keyPressEvent(QKeyEvent* event)
{
    if (isSwallowedKey(event->key())) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

// Closing by the window manager (or a keyboard shortcut) follows the close picture's rule.
void CMainDlg::closeEvent(QCloseEvent* event)
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

void CMainDlg::resizeEvent(QResizeEvent* event)
{
    QPainterPath path;
    path.addRoundedRect(QRectF(rect()), 7.5, 7.5);
    // The offscreen platform used for tests and screenshots has no window shapes.
    if (QGuiApplication::platformName() != QLatin1String("offscreen"))
        setMask(QRegion(path.toFillPolygon().toPolygon()));
    QDialog::resizeEvent(event);
}

} // namespace folvane::gui
