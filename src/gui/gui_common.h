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

// Dialog layouts are given in dialog units of the desktop's font: a horizontal unit is a quarter
// of its average character width, a vertical unit an eighth of its height, so every size follows
// the font the user chose.
int dluX(int units);
int dluY(int units);
QRect dluRect(int x, int y, int w, int h);

// One of the pictures of the skin (an SVG resource under ":/art/"), drawn at `size`.
QPixmap artPixmap(const QString& name, QSize size);

// The face used by every dialog: the desktop's font.
QFont dialogFont();

// A page that lives inside a window: Escape is swallowed so that it does not close the page's
// window; Enter presses the focused button.
class KeySwallowingPage : public QWidget {
public:
    explicit KeySwallowingPage(QWidget* parent = nullptr);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    bool event(QEvent* event) override;
};

// The question of "Ask always": a save dialog whose title names the file that exists
// ("merged.pdf already exists - save the PDF as"), opened on it. Returns the chosen path, or an
// empty text for Cancel. `confirmOverwrite` makes the dialog ask again before an existing file
// is chosen.
QString askNameForExistingPdf(QWidget* owner, const QString& existingPath, bool confirmOverwrite);
// Its title.
QString existingPdfQuestion(const QString& existingPath);

// True for the keys a page swallows.
bool isSwallowedKey(int key);

} // namespace folvane::gui
