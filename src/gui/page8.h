#pragma once
// CPage8, the "Supported Images" tab: the list of image types the program takes. Writes nothing.

#include "sheet_page.h"

namespace folvane::gui {

class CPage8 : public SheetPage {
    Q_OBJECT
public:
    explicit CPage8(QWidget* parent = nullptr);
};

} // namespace folvane::gui
