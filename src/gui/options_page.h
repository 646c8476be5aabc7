#pragma once
// OptionsPage: the choices that apply to every job (after-conversion action, existing output
// files, process priority, the job log and its folder). Reads its keys when made and each time
// it is shown; writes them each time it is hidden and when it is destroyed.

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

#include <functional>

#include "app/settings_location.h"
#include "app/settings_store.h"
#include "gui_common.h"

namespace folvane::gui {

class OptionsPage : public KeySwallowingPage {
    Q_OBJECT
public:
    OptionsPage(const app::SettingsLocation& settings, QWidget* parent = nullptr);
    ~OptionsPage() override;

    // Replaces the folder browser of "..." (tests answer it themselves). Returns the chosen
    // folder, or an empty text when cancelled.
    void setFolderChooser(std::function<QString(QWidget*)> chooser) { m_chooseFolder = std::move(chooser); }

    void load();
    void save();

    QComboBox* afterCombo() const { return m_after; }
    QComboBox* existsCombo() const { return m_exists; }
    QComboBox* priorityCombo() const { return m_priority; }
    QCheckBox* logCheck() const { return m_log; }
    QLineEdit* logFolderEdit() const { return m_logPath; }
    QPushButton* browseButton() const { return m_browse; }

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void onLogClicked();
    void onBrowse();

    app::SettingsStore m_store;
    QString m_defaultLogFolder;
    QComboBox* m_after = nullptr;
    QComboBox* m_exists = nullptr;
    QComboBox* m_priority = nullptr;
    QCheckBox* m_log = nullptr;
    QLineEdit* m_logPath = nullptr;
    QPushButton* m_browse = nullptr;
    std::function<QString(QWidget*)> m_chooseFolder;
};

} // namespace folvane::gui
