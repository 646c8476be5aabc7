#include <QElapsedTimer>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <future>
#include <memory>

#include "gui_test_support.h"
#include "local_http_server.h"
#include "services/update_check.h"
#include "update_dialog.h"

using folvane::gui::UpdateDialog;

class UpdateDialogTest : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { qputenv("FOLVANE_UPDATE_URL", "http://127.0.0.1:9"); }

    void showsTheResultOfTheServersVersionFile_data()
    {
        QTest::addColumn<QString>("body");
        QTest::addColumn<QString>("remote");
        QTest::addColumn<QString>("message");
        QTest::addColumn<bool>("link");
        QTest::newRow("6.8 is newer") << "6.8" << "v 6.8" << "Download latest version:" << true;
        QTest::newRow("6.7 is the same") << "6.7\n" << "v 6.7" << "You are running the latest version." << false;
        QTest::newRow("6.71 is newer though shown alike") << "6.71" << "v 6.7" << "Download latest version:" << true;
        QTest::newRow("7.0 beta reads as 7.0") << "7.0 beta" << "v 7.0" << "Download latest version:" << true;
        QTest::newRow("an empty answer") << "" << "v 0.0" << "You are running the latest version." << false;
    }

    void showsTheResultOfTheServersVersionFile()
    {
        QFETCH(QString, body);
        QFETCH(QString, remote);
        QFETCH(QString, message);
        QFETCH(bool, link);
        folvane::test::LocalHttpServer server(body.toStdString());
        qputenv("FOLVANE_UPDATE_URL", QByteArray::fromStdString(server.address()));
        UpdateDialog dialog;
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Check for new version"));
        QCOMPARE(dialog.ownVersionText(), QStringLiteral("v 6.7"));
        QTRY_VERIFY(!dialog.checking());
        QCOMPARE(dialog.remoteVersionText(), remote);
        QCOMPARE(dialog.messageText(), message);
        QCOMPARE(dialog.downloadLinkShown(), link);
        QCOMPARE(dialog.downloadLinkTarget(), QString::fromStdString(server.address() + "/folvane/download/linux/"));
    }

    void noServerCannotConnect()
    {
        qputenv("FOLVANE_UPDATE_URL", QByteArray::fromStdString(folvane::test::closedLocalAddress()));
        UpdateDialog dialog;
        QTRY_VERIFY(!dialog.checking());
        QCOMPARE(dialog.remoteVersionText(), QStringLiteral("v 0.0"));
        QCOMPARE(dialog.messageText(), QStringLiteral("Cannot connect to remote server."));
        QVERIFY2(!dialog.failureReason().isEmpty(), "the reason travels with the failure");
        QVERIFY(!dialog.downloadLinkShown());
    }

    // The window stays live while the server is slow: the dialog says so at once, can be closed
    // at once, and the answer that comes after it is gone harms nothing.
    void aSlowServerNeitherFreezesTheDialogNorOutlivesIt()
    {
        auto release = std::make_shared<std::promise<void>>();
        std::shared_future<void> released = release->get_future().share();
        auto finished = std::make_shared<std::atomic<bool>>(false);
        auto slowFetch = [released, finished](float& remote, std::string&) {
            released.wait();
            remote = 9.0f;
            *finished = true;
            return true;
        };
        {
            UpdateDialog dialog(slowFetch, nullptr);
            dialog.show();
            QCOMPARE(dialog.messageText(), QStringLiteral("Checking..."));
            QVERIFY(dialog.checking());
            QTimer::singleShot(0, &dialog, [&dialog] { dialog.accept(); });
            QElapsedTimer clock;
            clock.start();
            dialog.exec();
            QVERIFY(clock.elapsed() < 2000);
            QVERIFY(dialog.checking());
        }
        release->set_value();
        QTRY_VERIFY(finished->load());
        QTest::qWait(50); // a late delivery would run here

        UpdateDialog second(slowFetch, nullptr);
        QTRY_VERIFY(!second.checking());
        QCOMPARE(second.remoteVersionText(), QStringLiteral("v 9.0"));
        QVERIFY(second.downloadLinkShown());
    }
};

QObject* makeUpdateDialogTest() { return new UpdateDialogTest; }

#include "update_dialog_test.moc"
