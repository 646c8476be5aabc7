#include "gui_common.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QKeyEvent>
#include <QPainter>
#include <QPushButton>
#include <QSvgRenderer>

// The artwork lives in a static library, whose resources must be registered by hand.
static void registerArtwork()
{
    static const bool done = [] {
        Q_INIT_RESOURCE(artwork);
        return true;
    }();
    (void)done;
}

namespace folvane::gui {

namespace {

// The font's average character width and its height: a horizontal dialog unit is a quarter of
// the first, a vertical one an eighth of the second.
QSizeF dialogBaseUnits()
{
    QFontMetricsF metrics(QApplication::font());
    static const QString letters = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    return {metrics.horizontalAdvance(letters) / letters.size(), metrics.height()};
}

} // namespace

int dluX(int units) { return qRound(units * dialogBaseUnits().width() / 4); }
int dluY(int units) { return qRound(units * dialogBaseUnits().height() / 8); }
QRect dluRect(int x, int y, int w, int h) { return QRect(dluX(x), dluY(y), dluX(w), dluY(h)); }

QPixmap artPixmap(const QString& name, QSize size)
{
    QPixmap pixmap(size);
    pixmap.fill(Qt::transparent);
    registerArtwork();
    QSvgRenderer renderer(QStringLiteral(":/art/%1.svg").arg(name));
    if (renderer.isValid()) {
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        renderer.render(&painter);
    }
    return pixmap;
}

QFont dialogFont() { return QApplication::font(); }

QString existingPdfQuestion(const QString& existingPath)
{
    return QStringLiteral("%1 already exists - save the PDF as").arg(QFileInfo(existingPath).fileName());
}

QString askNameForExistingPdf(QWidget* owner, const QString& existingPath, bool confirmOverwrite)
{
    QFileDialog dialog(owner, existingPdfQuestion(existingPath), existingPath, QStringLiteral("PDF Files (*.pdf)"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, !confirmOverwrite);
    dialog.selectFile(existingPath);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return dialog.selectedFiles().first();
}

bool isSwallowedKey(int key) { return key == Qt::Key_Escape; }

KeySwallowingPage::KeySwallowingPage(QWidget* parent) : QWidget(parent) {}

void KeySwallowingPage::keyPressEvent(QKeyEvent* event)
{
    if (isSwallowedKey(event->key())) {
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}

// Children are watched too: a focused push button would otherwise act on Enter itself.
bool KeySwallowingPage::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress || event->type() == QEvent::ShortcutOverride) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (isSwallowedKey(key->key())) {
            key->accept();
            return event->type() == QEvent::KeyPress;
        }
    }
    return QWidget::eventFilter(watched, event);
}

bool KeySwallowingPage::event(QEvent* event)
{
    if (event->type() == QEvent::Show || event->type() == QEvent::Polish) {
        for (QWidget* child : findChildren<QWidget*>()) {
            child->installEventFilter(this);
            // Enter presses the focused button.
            if (auto* button = qobject_cast<QPushButton*>(child))
                button->setAutoDefault(true);
        }
    }
    return QWidget::event(event);
}

} // namespace folvane::gui
