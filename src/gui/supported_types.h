#pragma once
// The 63 image types the program takes, in the order the settings sheet lists them and the
// folder picker's "Format Filter" offers them.

#include <QString>
#include <QStringList>

namespace folvane::gui {

// "BMP Files (*.bmp)", "GIF Files (*.gif)", ... "XWD Files (*.xwd)".
const QStringList& supportedImageTypes();

// The short upper-case names: "BMP", "GIF", "JPG", ... (JPG and TIF for JPEG and TIFF).
const QStringList& supportedTypeNames();

} // namespace folvane::gui
