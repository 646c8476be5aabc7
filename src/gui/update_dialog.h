#pragma once
// UpdateDialog: "Check for new version". The check runs on a worker thread, so the window never
// freezes: the dialog shows "Checking..." until the answer arrives and can be closed at any
// moment; an answer that arrives after the dialog is gone is dropped.

#include <QDialog>
#include <QLabel>

#include <functional>
#include <memory>
#include <string>

namespace folvane::gui {

class UpdateDialog : public QDialog {
    Q_OBJECT
public:
    // Fetches the remote version into its first argument; true when the version file was read,
    // else false with the reason in the second. Runs on a worker thread.
    using Fetch = std::function<bool(float&, std::string&)>;

    // Uses the update server (services::fetchLatestVersion).
    explicit UpdateDialog(QWidget* parent = nullptr);
    UpdateDialog(Fetch fetch, QWidget* parent);
    ~UpdateDialog() override;

    QString ownVersionText() const { return m_own->text(); }
    QString remoteVersionText() const { return m_remote->text(); }
    QString messageText() const { return m_message->text(); }
    // Why the check failed (libcurl missing, the transfer's error), shown as the message's tip.
    QString failureReason() const { return m_message->toolTip(); }
    bool downloadLinkShown() const { return !m_link->isHidden(); }
    QString downloadLinkTarget() const { return m_linkTarget; }
    // True until the answer (or the failure) of the check is shown.
    bool checking() const { return m_checking; }

private:
    // What the worker and the dialog share: the worker delivers its answer only while the
    // dialog is still there.
    struct Delivery;

    void startCheck(Fetch fetch);
    void showResult(bool fetched, float remote, const QString& failure);

    QLabel* m_own = nullptr;
    QLabel* m_remote = nullptr;
    QLabel* m_message = nullptr;
    QLabel* m_link = nullptr;
    QString m_linkTarget;
    bool m_checking = false;
    std::shared_ptr<Delivery> m_delivery;
};

} // namespace folvane::gui
