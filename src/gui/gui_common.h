#pragma once
// Small pieces shared by the windows of the application: dialog-unit geometry, the artwork,
// the colours of the skin and the base of the pages that live inside the main window.

#include <QColor>
#include <QPixmap>
#include <QRect>
#include <QString>
#include <QWidget>

namespace folvane::gui {

// The product name, used as window and message caption.
inline const QString kCaption = QStringLiteral("Folvane");

// Text colour on the dark parts of the skin.
inline const QColor kSkinTextColor(205, 230, 155);

// Dialog layouts are given in dialog units of an 8-point Tahoma face: one horizontal unit is
// 1.5 pixels and one vertical unit 1.625 pixels at 96 dpi.
int dluX(int units);
int dluY(int units);
QRect dluRect(int x, int y, int w, int h);

// One of the pictures of the skin (an SVG resource under ":/art/"), drawn at `size`.
QPixmap artPixmap(const QString& name, QSize size);

// The face used by every dialog: Tahoma 8, with a metric-compatible face where Tahoma is
// missing.
QFont dialogFont();

// A page that lives inside a window: Enter and Escape are swallowed so that they neither
// press a default button nor close the page or its window.
class KeySwallowingPage : public QWidget {
public:
    explicit KeySwallowingPage(QWidget* parent = nullptr);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    bool event(QEvent* event) override;
};

// True for the keys a page swallows.
bool isSwallowedKey(int key);

} // namespace folvane::gui
