#include "review_palettes.h"

namespace folvane::gui {

namespace {

QPalette paletteOf(QColor window, QColor base, QColor alternate, QColor text, QColor button, QColor highlight,
                   QColor highlightedText, QColor link, QColor disabledText)
{
    QPalette palette;
    palette.setColor(QPalette::Window, window);
    palette.setColor(QPalette::WindowText, text);
    palette.setColor(QPalette::Base, base);
    palette.setColor(QPalette::AlternateBase, alternate);
    palette.setColor(QPalette::ToolTipBase, base);
    palette.setColor(QPalette::ToolTipText, text);
    palette.setColor(QPalette::PlaceholderText, disabledText);
    palette.setColor(QPalette::Text, text);
    palette.setColor(QPalette::Button, button);
    palette.setColor(QPalette::ButtonText, text);
    palette.setColor(QPalette::BrightText, Qt::red);
    palette.setColor(QPalette::Link, link);
    palette.setColor(QPalette::LinkVisited, link);
    palette.setColor(QPalette::Highlight, highlight);
    palette.setColor(QPalette::HighlightedText, highlightedText);
    palette.setColor(QPalette::Light, button.lighter(150));
    palette.setColor(QPalette::Midlight, button.lighter(125));
    palette.setColor(QPalette::Mid, button.darker(130));
    palette.setColor(QPalette::Dark, button.darker(160));
    palette.setColor(QPalette::Shadow, Qt::black);
    for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        palette.setColor(QPalette::Disabled, role, disabledText);
    return palette;
}

} // namespace

QPalette darkPalette()
{
    return paletteOf(QColor(0x35, 0x35, 0x35), QColor(0x23, 0x23, 0x23), QColor(0x2c, 0x2c, 0x2c),
                     QColor(0xee, 0xee, 0xee), QColor(0x45, 0x45, 0x45), QColor(0x1e, 0x5f, 0xa8), Qt::white,
                     QColor(0x7c, 0xb7, 0xff), QColor(0x9a, 0x9a, 0x9a));
}

QPalette highContrastPalette()
{
    return paletteOf(Qt::black, Qt::black, QColor(0x1a, 0x1a, 0x1a), Qt::white, Qt::black, Qt::yellow, Qt::black,
                     QColor(0x80, 0xff, 0xff), QColor(0xc0, 0xc0, 0xc0));
}

} // namespace folvane::gui
