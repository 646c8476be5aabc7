#pragma once
// SecurityTab, the "Security" tab: password security and the permissions of the PDF files.

#include <QButtonGroup>
#include <QCheckBox>
#include <QLineEdit>

#include <vector>

#include "sheet_page.h"

namespace folvane::gui {

class SecurityTab : public SheetPage {
    Q_OBJECT
public:
    SecurityTab(const app::OutputSettings& settings, const std::string& settingsPath, QWidget* parent = nullptr);
    void apply() override;

protected:
    void initialise() override;

private:
    void onSecurityClicked();

    QCheckBox* m_security;
    QLineEdit* m_user;
    QLineEdit* m_owner;
    QCheckBox* m_showPasswords; // shows both passwords in plain text while ticked
    QButtonGroup* m_level;
    QCheckBox* m_print;
    QCheckBox* m_copy;
    QCheckBox* m_modify;
    std::vector<QWidget*> m_dependents; // everything the switch enables
};

} // namespace folvane::gui
