#pragma once
// Palettes other than the desktop's, for looking at the windows the way users of a dark or a
// high-contrast desktop theme see them (make screenshots, the contrast checks of the tests).

#include <QPalette>

namespace folvane::gui {

// A dark theme as desktops ship it: light text on dark grey, with a blue highlight.
QPalette darkPalette();

// A high-contrast theme: white text on black, yellow highlight with black text.
QPalette highContrastPalette();

} // namespace folvane::gui
