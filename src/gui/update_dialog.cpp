#include "update_dialog.h"

#include <QGridLayout>
#include <QPushButton>
#include <QUrl>

#include <mutex>
#include <thread>

#include "about_page.h"
#include "gui_common.h"
#include "services/update_check.h"

namespace folvane::gui {

struct UpdateDialog::Delivery {
    std::mutex mutex;
    UpdateDialog* dialog = nullptr; // cleared by the dialog's destructor
};

UpdateDialog::UpdateDialog(QWidget* parent)
    : UpdateDialog(
          [](float& remote, std::string& failure) {
              return services::fetchLatestVersion(remote, services::versionFileUrl(), services::TransferLimits{},
                                                  failure);
          },
          parent)
{
}

UpdateDialog::UpdateDialog(Fetch fetch, QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Check for new version"));
    setFont(dialogFont());
    setMinimumSize(dluX(262), dluY(89));

    auto* grid = new QGridLayout(this);
    grid->addWidget(new QLabel(QStringLiteral("Your version is: "), this), 0, 0);
    m_own = new QLabel(this);
    grid->addWidget(m_own, 0, 1);
    grid->addWidget(new QLabel(QStringLiteral("Current version is:"), this), 1, 0);
    m_remote = new QLabel(this);
    grid->addWidget(m_remote, 1, 1);
    m_message = new QLabel(this);
    grid->addWidget(m_message, 2, 0, 1, 2);
    m_linkTarget = QString::fromStdString(services::downloadUrl());
    m_link = makeLinkLabel(m_linkTarget, QUrl(m_linkTarget), this);
    m_link->hide();
    grid->addWidget(m_link, 3, 0, 1, 2);
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setDefault(true);
    grid->addWidget(ok, 4, 1, Qt::AlignRight);
    grid->setColumnStretch(1, 1);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    m_own->setText(QString::fromStdString(services::formatVersion(services::kOwnVersion)));
    startCheck(std::move(fetch));
}

UpdateDialog::~UpdateDialog()
{
    // After this the worker posts nothing more; what it already posted goes with the object.
    std::lock_guard lock(m_delivery->mutex);
    m_delivery->dialog = nullptr;
}

void UpdateDialog::startCheck(Fetch fetch)
{
    m_checking = true;
    m_message->setText(QStringLiteral("Checking..."));
    m_delivery = std::make_shared<Delivery>();
    m_delivery->dialog = this;
    // Detached: the dialog never waits for a slow server. The thread holds only the shared
    // delivery record, never the dialog itself.
    std::thread([fetch = std::move(fetch), delivery = m_delivery] {
        float remote = 0.0f;
        std::string failure;
        bool fetched = fetch(remote, failure);
        QString reason = QString::fromStdString(failure);
        std::lock_guard lock(delivery->mutex);
        if (UpdateDialog* dialog = delivery->dialog)
            QMetaObject::invokeMethod(
                dialog, [dialog, fetched, remote, reason] { dialog->showResult(fetched, remote, reason); },
                Qt::QueuedConnection);
    }).detach();
}

void UpdateDialog::showResult(bool fetched, float remote, const QString& failure)
{
    m_checking = false;
    if (!fetched) {
        m_remote->setText(QStringLiteral("v 0.0"));
        m_message->setText(QStringLiteral("Cannot connect to remote server."));
        m_message->setToolTip(failure);
        return;
    }
    m_remote->setText(QString::fromStdString(services::formatVersion(remote)));
    if (remote > services::kOwnVersion) {
        m_message->setText(QStringLiteral("Download latest version:"));
        m_link->show();
        return;
    }
    m_message->setText(QStringLiteral("You are running the latest version."));
}

} // namespace folvane::gui
