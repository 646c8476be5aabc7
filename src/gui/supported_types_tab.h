#pragma once
// SupportedTypesTab, the "Supported Images" tab: the list of image types the program takes. Writes nothing.

#include "sheet_page.h"

namespace folvane::gui {

class SupportedTypesTab : public SheetPage {
    Q_OBJECT
public:
    explicit SupportedTypesTab(QWidget* parent = nullptr);
};

} // namespace folvane::gui
