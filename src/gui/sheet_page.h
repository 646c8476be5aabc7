#pragma once
// The base of the settings sheet's pages. A page receives a copy of the caller's output
// settings and the settings file; it puts the values into its controls and applies its
// enabling rules when it is first shown, and only a page that has been shown writes its keys
// (apply), which the sheet asks for when it is closed with OK.

#include <QString>
#include <QSpinBox>
#include <QWidget>

#include <string>

class QLineEdit;

#include "app/output_settings.h"
#include "app/settings_store.h"

namespace folvane::gui {

class SheetPage : public QWidget {
    Q_OBJECT
public:
    SheetPage(const app::OutputSettings& settings, const std::string& settingsPath, QWidget* parent = nullptr);

    bool wasShown() const { return m_shown; }
    // Takes the values from the controls and writes the page's keys, in the page's order.
    virtual void apply() {}

protected:
    // Puts the copy's values into the controls and runs the enabling rules.
    virtual void initialise() {}
    void showEvent(QShowEvent* event) override;

    // Writes the tab's keys with their values in m_settings, with one replacement of the file.
    void save(app::SettingsTab tab) const;

    app::OutputSettings m_settings;
    app::SettingsStore m_store;

private:
    bool m_shown = false;
};

// The number typed into a digits-only box; `empty` when nothing is typed (an empty value reads
// as the key's default).
int boxNumber(const QLineEdit* box, int empty);

// A box text as written to the settings file: at most 255 bytes, never splitting a character.
std::string boxText(const QString& text);

// A QSpinBox for a number in [minimum, maximum]: typed, or stepped with its arrows and the arrow
// keys. A typed value outside the range is not accepted.
QSpinBox* makeNumberSpin(QWidget* parent, int minimum, int maximum);
// The former name of makeNumberSpin, for pages written against it.
inline QSpinBox* makeArrowOnlySpin(QWidget* parent, int minimum, int maximum)
{
    return makeNumberSpin(parent, minimum, maximum);
}

} // namespace folvane::gui
