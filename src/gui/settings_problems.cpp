#include "settings_problems.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

#include <atomic>

#include "app/settings_store.h"

namespace folvane::gui {

bool askToStartWithDefaults(QWidget* parent, const std::string& path, const std::string& reason)
{
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Folvane"),
                    QStringLiteral("Cannot read the settings file %1: %2.")
                        .arg(QString::fromStdString(path), QString::fromStdString(reason)),
                    QMessageBox::NoButton, parent);
    box.setObjectName(QStringLiteral("unreadableSettings"));
    box.setInformativeText(QStringLiteral("Start with the default settings? The settings file is then left as it is "
                                          "and no change is saved."));
    QPushButton* start = box.addButton(QStringLiteral("Start with Defaults"), QMessageBox::AcceptRole);
    box.addButton(QStringLiteral("Quit"), QMessageBox::RejectRole);
    box.setDefaultButton(start);
    box.exec();
    if (box.clickedButton() != start)
        return false;
    app::SettingsStore::setWritesSuspended(true);
    return true;
}

namespace {

// Set while a failure is waiting to be shown or on screen: the writes of one action (every tab
// of the settings sheet writes its own keys) then give one box, not one per tab.
std::atomic<bool> g_failureShown{false};

void showWriteFailure(const QString& path, const QString& reason)
{
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Folvane"),
                    QStringLiteral("The settings could not be saved in %1: %2.").arg(path, reason), QMessageBox::Ok,
                    QApplication::activeWindow());
    box.setObjectName(QStringLiteral("settingsWriteFailure"));
    box.exec();
    g_failureShown = false;
}

} // namespace

void reportSettingsWriteFailures()
{
    app::SettingsStore::setWriteFailureHandler([](const std::string& path, const std::string& reason) {
        QCoreApplication* application = QCoreApplication::instance();
        if (!application || g_failureShown.exchange(true))
            return;
        QString file = QString::fromStdString(path);
        QString why = QString::fromStdString(reason);
        QMetaObject::invokeMethod(application, [file, why] { showWriteFailure(file, why); }, Qt::QueuedConnection);
    });
}

} // namespace folvane::gui
