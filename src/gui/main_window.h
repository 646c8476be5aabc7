#pragma once
// MainWindow: the one main window. A skinned window without the window manager's caption: a banner
// with the title and minimize and close buttons, a navigation column of four entries on the left
// and a page area that hosts the four pages. The window is resizable (from its edges and the
// grip in the corner); the pages sit in scroll areas, so every control stays reachable on a
// small screen. The pages are made once and only shown and hidden afterwards. While a
// conversion runs (onJobState(1)) page switches and closing are refused with a message.
//
// Colours: the banner and the navigation column are the skin's own dark pictures with their own
// light text colour; the page area follows the desktop's palette, as do the pages.
//
// Keyboard: the navigation entries are buttons in the Tab order, Ctrl+1 to Ctrl+4 switch pages.

#include <QAbstractButton>
#include <QDialog>
#include <QLabel>
#include <QRect>

#include <array>
#include <functional>

#include "app/settings_location.h"
#include "app/settings_store.h"

class QStackedWidget;

namespace folvane::gui {

// A button of the skin: a picture, and its hover picture while the pointer is over it (or while
// forced by hoverAt). Navigation entries also draw their text in the skin's text colour with the
// desktop's font, and mark the current entry with the arrow and a frame.
class SkinButton : public QAbstractButton {
    Q_OBJECT
public:
    SkinButton(const QString& art, const QString& text, QWidget* parent);
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }
    bool hoverShown() const { return m_forcedHover || underMouse(); }
    void setForcedHover(bool on);
    void setFixedHint(QSize size) { m_hint = size; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    QString m_art;
    QSize m_hint;
    bool m_forcedHover = false;
};

class MainWindow : public QDialog {
    Q_OBJECT
public:
    explicit MainWindow(const app::SettingsLocation& settings, QWidget* parent = nullptr);

    // Selected navigation entry, 1 to 4 (file list, watch folder, options, about).
    int currentPage() const { return m_currentPage; }
    int converting() const { return m_converting; }
    // The page of navigation entry n (1 to 4).
    QWidget* page(int n) const;
    // The navigation button of entry n (1 to 4).
    SkinButton* navButton(int n) const { return m_nav[static_cast<size_t>(n - 1)]; }

    // Rectangles, in window coordinates, of the minimize and close buttons, the banner (which
    // drags the window) and the navigation entries.
    QRect minRect() const;
    QRect closeRect() const;
    QRect dragRect() const;
    QRect navRect(int n) const;

    // What a left-button release at `pos` (window coordinates) does.
    void releaseAt(QPoint pos);
    // Shows each hover picture while `pos` lies in its rectangle (as the pointer does).
    void hoverAt(QPoint pos);
    bool hoverShown(int n) const; // navigation entry n's hover picture

    // Switches to entry n as a click on it does (refused while converting).
    void navigate(int n);

    // Called instead of the refusal message box; tests count refusals with it.
    void setRefusalHook(std::function<void()> hook) { m_refusalHook = std::move(hook); }

    static const QString kRefusalText;

public slots:
    // A conversion page reports that a worker started (1) or ended (0).
    void onJobState(int state);
    // Another start of the program asked for the window: it is shown and raised.
    void bringToFront();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void refuse();
    void switchTo(int n);
    void markCurrentEntry();
    QRect rectOf(const QWidget* widget) const;
    Qt::Edges edgesAt(QPoint pos) const;

    app::SettingsStore m_store;
    int m_currentPage = 1;
    int m_converting = 0;
    bool m_closing = false;
    bool m_sized = false;
    QWidget* m_banner = nullptr;
    SkinButton* m_minimize = nullptr;
    SkinButton* m_close = nullptr;
    std::array<SkinButton*, 4> m_nav{};
    std::array<QWidget*, 4> m_pages{};
    QStackedWidget* m_stack = nullptr;
    std::function<void()> m_refusalHook;
};

} // namespace folvane::gui
