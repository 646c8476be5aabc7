#pragma once
// CUpdateDlg: "Check for new version". The check runs while the dialog is made, before it is
// shown, and blocks the window until the server has answered or the request failed.

#include <QDialog>
#include <QLabel>

#include <functional>

namespace folvane::gui {

class CUpdateDlg : public QDialog {
    Q_OBJECT
public:
    // Fetches the remote version into its argument; true when the version file was read.
    using Fetch = std::function<bool(float&)>;

    // Uses the update server (services::fetchLatestVersion).
    explicit CUpdateDlg(QWidget* parent = nullptr);
    CUpdateDlg(Fetch fetch, QWidget* parent);

    QString ownVersionText() const { return m_own->text(); }
    QString remoteVersionText() const { return m_remote->text(); }
    QString messageText() const { return m_message->text(); }
    bool downloadLinkShown() const { return !m_link->isHidden(); }
    QString downloadLinkTarget() const { return m_linkTarget; }

private:
    void runCheck(const Fetch& fetch);

    QLabel* m_own = nullptr;
    QLabel* m_remote = nullptr;
    QLabel* m_message = nullptr;
    QLabel* m_link = nullptr;
    QString m_linkTarget;
};

} // namespace folvane::gui
