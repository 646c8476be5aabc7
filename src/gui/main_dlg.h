#pragma once
// CMainDlg: the one main window. A captionless skinned window with rounded corners: banner
// with title, minimize and close pictures, a navigation column of four entries on the left
// and a white page area that hosts the four pages. The pages are made once and only shown
// and hidden afterwards. While a conversion runs (onJobState(1)) page switches and closing are
// refused with a message.

#include <QDialog>
#include <QLabel>
#include <QRect>

#include <array>
#include <functional>

#include "app/settings_location.h"
#include "app/settings_store.h"

namespace folvane::gui {

class CAboutPage;
class COptionPage;

class CMainDlg : public QDialog {
    Q_OBJECT
public:
    explicit CMainDlg(const app::SettingsLocation& settings, QWidget* parent = nullptr);

    // Selected navigation entry, 1 to 4 (file list, watch folder, options, about).
    int currentPage() const { return m_currentPage; }
    int converting() const { return m_converting; }
    // The page of navigation entry n (1 to 4).
    QWidget* page(int n) const;

    // Client rectangles of the minimize and close pictures and the navigation slots.
    QRect minRect() const { return m_minRect; }
    QRect closeRect() const { return m_closeRect; }
    QRect dragRect() const { return m_dragRect; }
    QRect navRect(int n) const { return m_navRect[n - 1]; }

    // What a left-button release at `pos` (client coordinates) does.
    void releaseAt(QPoint pos);
    // Shows each hover picture while `pos` lies in its rectangle.
    void hoverAt(QPoint pos);
    bool hoverShown(int n) const; // navigation entry n's hover picture

    // Called instead of the refusal message box; tests count refusals with it.
    void setRefusalHook(std::function<void()> hook) { m_refusalHook = std::move(hook); }

    static const QString kRefusalText;

public slots:
    // A conversion page reports that a worker started (1) or ended (0).
    void onJobState(int state);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QLabel* addPicture(const QString& art, QRect rect, bool visible);
    void refuse();
    void switchTo(int n);

    app::SettingsStore m_store;
    int m_currentPage = 1;
    int m_converting = 0;
    bool m_closing = false;
    QRect m_dragRect, m_minRect, m_closeRect, m_pageRect;
    std::array<QRect, 4> m_navRect;
    QLabel* m_minHover = nullptr;
    QLabel* m_closeHover = nullptr;
    std::array<QLabel*, 4> m_navNormal{};
    std::array<QLabel*, 4> m_navHover{};
    std::array<QLabel*, 5> m_arrows{};
    std::array<QWidget*, 4> m_pages{};
    std::function<void()> m_refusalHook;
};

} // namespace folvane::gui
