// The main pages as users of other desktop themes see them: every enabled text on the pages
// keeps a contrast ratio of at least 4.5 against the background it is drawn on, measured on the
// rendered window under the Fusion style with its own, a dark and a high-contrast palette.

#include <QAbstractButton>
#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QStyle>
#include <QStyleFactory>
#include <QTest>

#include <map>

#include "gui_test_support.h"
#include "main_window.h"
#include "review_palettes.h"

using folvane::gui::MainWindow;

namespace {

double luminance(QRgb rgb)
{
    auto channel = [](int value) {
        double c = value / 255.0;
        return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(qRed(rgb)) + 0.7152 * channel(qGreen(rgb)) + 0.0722 * channel(qBlue(rgb));
}

double contrast(QRgb a, QRgb b)
{
    double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// The contrast of the text in `area`: its most frequent colour is the background, and the colour
// that stands out most from it is the core of the glyphs.
double textContrast(const QImage& image, QRect area)
{
    std::map<QRgb, int> counts;
    area = area.intersected(image.rect());
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            ++counts[image.pixel(x, y) | 0xff000000u];
    if (counts.empty())
        return 0;
    QRgb background = std::max_element(counts.begin(), counts.end(), [](auto& a, auto& b) {
                          return a.second < b.second;
                      })->first;
    double best = 1;
    for (const auto& [colour, count] : counts)
        best = std::max(best, contrast(colour, background));
    return best;
}

// The rectangle of a widget's own text within the window image.
QRect textRect(const QWidget* widget, const QWidget* window)
{
    QRect rect(widget->mapTo(window, QPoint(0, 0)), widget->size());
    if (auto* group = qobject_cast<const QGroupBox*>(widget))
        rect.setHeight(group->fontMetrics().height() + 4); // its title only
    return rect;
}

} // namespace

class ThemeTest : public QObject {
    Q_OBJECT

private slots:
    void cleanup()
    {
        QApplication::setPalette(QApplication::style()->standardPalette());
    }

    void textOnTheMainPagesIsReadable_data()
    {
        QTest::addColumn<QString>("theme");
        QTest::newRow("Fusion") << "fusion";
        QTest::newRow("dark") << "dark";
        QTest::newRow("high contrast") << "high-contrast";
    }

    void textOnTheMainPagesIsReadable()
    {
        QFETCH(QString, theme);
        QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
        QApplication::setPalette(theme == "dark"            ? folvane::gui::darkPalette()
                                 : theme == "high-contrast" ? folvane::gui::highContrastPalette()
                                                            : QApplication::style()->standardPalette());
        MainWindow window({folvane::test::settingsPath(), false});
        window.resize(900, 620);
        window.show();
        for (int n = 1; n <= 4; ++n) {
            window.navigate(n);
            QApplication::processEvents();
            QImage image = window.grab().toImage().convertToFormat(QImage::Format_RGB32);
            int checked = 0;
            for (QWidget* widget : window.page(n)->findChildren<QWidget*>()) {
                bool hasText = false;
                if (auto* label = qobject_cast<QLabel*>(widget))
                    hasText = !label->text().isEmpty();
                else if (auto* button = qobject_cast<QAbstractButton*>(widget))
                    hasText = !button->text().isEmpty();
                else if (auto* group = qobject_cast<QGroupBox*>(widget))
                    hasText = !group->title().isEmpty();
                if (!hasText || !widget->isVisible() || !widget->isEnabled())
                    continue;
                double ratio = textContrast(image, textRect(widget, &window));
                QVERIFY2(ratio >= 4.5, qPrintable(QStringLiteral("%1 on page %2: %3 (%4)")
                                                      .arg(widget->objectName(), QString::number(n),
                                                           QString::number(ratio, 'f', 2),
                                                           QString::fromLatin1(widget->metaObject()->className()))));
                ++checked;
            }
            QVERIFY2(checked >= 3, qPrintable(QStringLiteral("page %1 shows %2 texts").arg(n).arg(checked)));
        }
    }
};

QObject* makeThemeTest() { return new ThemeTest; }

#include "theme_test.moc"
