#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QLocalSocket>
#include <QMessageBox>
#include <QPointer>
#include <QScreen>
#include <QProcess>
#include <QTest>
#include <QTimer>

#include "app/settings_location.h"
#include "app/settings_store.h"
#include "gui_test_support.h"
#include "about_page.h"
#include "main_window.h"
#include "settings_problems.h"
#include "instance_activation.h"
#include "single_instance.h"

using folvane::gui::MainWindow;

class MainWindowTest : public QObject {
    Q_OBJECT

    folvane::app::SettingsLocation location() { return {folvane::test::settingsPath(), false}; }

private slots:
    void secondInstanceIsRefusedUntilTheFirstEnds()
    {
        std::string path = folvane::gui::SingleInstance::lockPath("folvane-test");
        QVERIFY(QString::fromStdString(path).startsWith(folvane::test::scratchFolder()));
        {
            folvane::gui::SingleInstance first("folvane-test");
            QVERIFY(first.isFirst());
            folvane::gui::SingleInstance second("folvane-test");
            QVERIFY(!second.isFirst());
        }
        folvane::gui::SingleInstance again("folvane-test");
        QVERIFY(again.isFirst());
    }

    // Without a runtime folder the lock lives in a folder only the user can write; a folder that
    // someone else could have prepared is refused rather than used.
    void lockWithoutARuntimeFolderIsInAPrivateFolder()
    {
        const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
        const QByteArray cache = qgetenv("XDG_CACHE_HOME");
        const QString scratch = folvane::test::scratchFolder();
        qunsetenv("XDG_RUNTIME_DIR");
        auto lockFor = [](const QString& cacheHome) {
            qputenv("XDG_CACHE_HOME", cacheHome.toUtf8());
            return QString::fromStdString(folvane::gui::SingleInstance::lockPath("folvane-test"));
        };
        QCOMPARE(lockFor(scratch + "/fresh/cache"), scratch + "/fresh/cache/Folvane/folvane-test.lock");
        QCOMPARE(QFile::permissions(scratch + "/fresh/cache/Folvane"),
                 QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner | QFileDevice::ReadUser |
                     QFileDevice::WriteUser | QFileDevice::ExeUser);
        {
            folvane::gui::SingleInstance first("folvane-test");
            QVERIFY(first.isFirst());
            QVERIFY(!folvane::gui::SingleInstance("folvane-test").isFirst());
        }

        QDir().mkpath(scratch + "/open/Folvane");
        QFile::setPermissions(scratch + "/open/Folvane", QFileDevice::Permissions(0x7777));
        QCOMPARE(lockFor(scratch + "/open"), QString());
        QDir().mkpath(scratch + "/linked/elsewhere");
        QFile::link(scratch + "/linked/elsewhere", scratch + "/linked/Folvane");
        QCOMPARE(lockFor(scratch + "/linked"), QString());
        QVERIFY(!QFile::exists(scratch + "/linked/elsewhere/folvane-test.lock"));

        qputenv("XDG_RUNTIME_DIR", runtime);
        qputenv("XDG_CACHE_HOME", cache);
    }

    void secondProgramStartExitsSilently()
    {
        QString program = QStringLiteral(FOLVANE_PROGRAM);
        // The lock the program takes is named after its file name.
        folvane::gui::SingleInstance held(QFileInfo(program).completeBaseName().toStdString());
        QVERIFY(held.isFirst());
        QProcess process;
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(program, {});
        QVERIFY(process.waitForFinished(15000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 0);
        QCOMPARE(process.readAll(), QByteArray());
    }

    // A second start asks the running instance (here the test process) to show its window, and
    // the window comes back from being minimized.
    void secondProgramStartBringsTheRunningWindowToTheFront()
    {
        QString program = QStringLiteral(FOLVANE_PROGRAM);
        std::string name = QFileInfo(program).completeBaseName().toStdString();
        folvane::gui::SingleInstance held(name);
        QVERIFY(held.isFirst());
        MainWindow window(location());
        folvane::gui::InstanceActivation activation(name);
        int requests = 0;
        connect(&activation, &folvane::gui::InstanceActivation::activationRequested, &window, [&] {
            ++requests;
            window.bringToFront();
        });
        QVERIFY(activation.listen());
        QVERIFY(activation.socketPath(name).startsWith(folvane::test::scratchFolder()));
        window.show();
        window.showMinimized();

        QProcess process;
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(program, {});
        QTRY_COMPARE_WITH_TIMEOUT(process.state(), QProcess::NotRunning, 15000);
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 0);
        QCOMPARE(process.readAll(), QByteArray());
        QCOMPARE(requests, 1);
        QVERIFY(window.isVisible() && !window.isMinimized());

        // Only the one message is taken.
        QLocalSocket stranger;
        stranger.connectToServer(activation.socketPath(name));
        QVERIFY(stranger.waitForConnected(2000));
        stranger.write("quit\n");
        QVERIFY(stranger.waitForBytesWritten(2000));
        QTRY_COMPARE(stranger.state(), QLocalSocket::UnconnectedState);
        QCOMPARE(requests, 1);
    }

    void navigationSwitchesPagesAndRefusesWhileConverting()
    {
        MainWindow window(location());
        int refusals = 0;
        window.setRefusalHook([&] { ++refusals; });
        window.show();
        QCOMPARE(window.currentPage(), 1);
        QVERIFY(window.page(1)->isVisible());

        QTest::mouseClick(&window, Qt::LeftButton, {}, window.navRect(4).center());
        QCOMPARE(window.currentPage(), 4);
        QVERIFY(window.page(4)->isVisible());
        QVERIFY(!window.page(1)->isVisible());

        window.onJobState(1);
        QTest::mouseClick(&window, Qt::LeftButton, {}, window.navRect(2).center());
        QCOMPARE(refusals, 1);
        QCOMPARE(window.currentPage(), 4);
        QVERIFY(window.page(4)->isVisible());

        window.onJobState(0);
        QTest::mouseClick(&window, Qt::LeftButton, {}, window.navRect(2).center());
        QCOMPARE(refusals, 1);
        QCOMPARE(window.currentPage(), 2);
        QVERIFY(window.page(2)->isVisible());
        QVERIFY(!window.page(4)->isVisible());
    }

    void clickingTheCurrentEntryChangesNothing()
    {
        MainWindow window(location());
        window.show();
        QWidget* page = window.page(1);
        int hides = 0;
        struct Counter : QObject {
            int* count;
            bool eventFilter(QObject*, QEvent* e) override
            {
                if (e->type() == QEvent::Hide)
                    ++*count;
                return false;
            }
        } counter;
        counter.count = &hides;
        page->installEventFilter(&counter);
        QTest::mouseClick(&window, Qt::LeftButton, {}, window.navRect(1).center());
        QCOMPARE(hides, 0);
        QCOMPARE(window.currentPage(), 1);
        page->removeEventFilter(&counter);
    }

    void closeIsRefusedWhileConvertingAndWorksAfter()
    {
        MainWindow window(location());
        int refusals = 0;
        window.setRefusalHook([&] { ++refusals; });
        window.show();
        window.onJobState(1);
        QTest::mouseClick(&window, Qt::LeftButton, {}, window.closeRect().center());
        QCOMPARE(refusals, 1);
        QVERIFY(window.isVisible());
        // Closing by the window manager follows the same rule.
        window.close();
        QCOMPARE(refusals, 2);
        QVERIFY(window.isVisible());

        window.onJobState(0);
        QTest::mouseClick(&window, Qt::LeftButton, {}, window.closeRect().center());
        QCOMPARE(refusals, 2);
        QVERIFY(!window.isVisible());
        QCOMPARE(window.result(), int(QDialog::Rejected));
    }

    void hoverPicturesFollowThePointer()
    {
        MainWindow window(location());
        window.show();
        window.hoverAt(window.navRect(3).center());
        QVERIFY(window.hoverShown(3));
        QVERIFY(!window.hoverShown(1));
        window.hoverAt(QPoint(window.width() / 2, window.height() / 2));
        for (int n = 1; n <= 4; ++n)
            QVERIFY(!window.hoverShown(n));
    }

    void escapeNeverClosesTheWindowAndEnterPressesTheFocusedButton()
    {
        MainWindow window(location());
        window.show();
        QTest::mouseClick(&window, Qt::LeftButton, {}, window.navRect(4).center());
        auto* help = window.page(4)->findChild<QWidget*>(QStringLiteral("helpButton"));
        QVERIFY(help);
        QStringList opened;
        folvane::gui::AboutPage::setUrlOpener([&](const QUrl& url) { opened << url.toString(); });
        help->setFocus();
        QTest::keyClick(help, Qt::Key_Escape);
        QTest::keyClick(&window, Qt::Key_Escape);
        QVERIFY(window.isVisible());
        QVERIFY(opened.isEmpty());
        QTest::keyClick(help, Qt::Key_Return);
        QCOMPARE(opened.size(), 1);
        QVERIFY(opened[0].endsWith(QStringLiteral("help.html")));
        folvane::gui::AboutPage::setUrlOpener(nullptr);
    }

    void windowFitsTheScreenAndItsListGrowsWithIt()
    {
        MainWindow window(location());
        window.show();
        QVERIFY(window.minimumWidth() <= 800 && window.minimumHeight() <= 520);
        QRect available = window.screen()->availableGeometry();
        QVERIFY(window.width() <= available.width() && window.height() <= available.height());
        QWidget* list = window.page(1)->findChild<QWidget*>(QStringLiteral("fileList"));
        QVERIFY(list);
        window.resize(window.minimumSize());
        QApplication::processEvents();
        QSize small = list->size();
        window.resize(window.minimumSize() + QSize(200, 150));
        QApplication::processEvents();
        QVERIFY(list->width() > small.width() && list->height() > small.height());
    }

    void navigationIsReachableByKeysAndMarksTheCurrentPage()
    {
        MainWindow window(location());
        window.show();
        QApplication::setActiveWindow(&window);
        QTest::keyClick(&window, Qt::Key_3, Qt::ControlModifier);
        QCOMPARE(window.currentPage(), 3);
        QVERIFY(window.page(3)->isVisible());
        QVERIFY(window.navButton(3)->isChecked());
        QVERIFY(!window.navButton(1)->isChecked());

        // Tab moves through the entries; Enter on a focused entry opens its page.
        window.navButton(1)->setFocus();
        QTest::keyClick(window.navButton(1), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget() ? QApplication::focusWidget()->objectName() : QString("none"), QString("nav2"));
        QTest::keyClick(window.navButton(2), Qt::Key_Return);
        QCOMPARE(window.currentPage(), 2);

        // Refused while converting: the current entry stays marked.
        window.onJobState(1);
        int refusals = 0;
        window.setRefusalHook([&] { ++refusals; });
        QTest::keyClick(&window, Qt::Key_4, Qt::ControlModifier);
        QTest::mouseClick(window.navButton(1), Qt::LeftButton);
        QCOMPARE(refusals, 2);
        QCOMPARE(window.currentPage(), 2);
        QVERIFY(window.navButton(2)->isChecked() && !window.navButton(1)->isChecked());
        window.onJobState(0);

        // A hover shown for the pointer ends when the pointer leaves the entry.
        window.hoverAt(window.navRect(4).center());
        QVERIFY(window.hoverShown(4));
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(window.navButton(4), &leave);
        QVERIFY(!window.hoverShown(4));
    }

    // Answers the next message box with the button of that text; its text lands in `shown`.
    static QPointer<QTimer> answerMessageBox(const QString& button, QString* shown)
    {
        auto* poll = new QTimer;
        QObject::connect(poll, &QTimer::timeout, [poll, button, shown] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box)
                return;
            poll->deleteLater();
            *shown = box->text();
            for (QAbstractButton* b : box->buttons())
                if (b->text() == button)
                    b->click();
        });
        poll->start(10);
        return poll;
    }

    void unreadableSettingsOfferDefaultsWithoutEverWritingTheFile()
    {
        const std::string path = folvane::test::scratchFolder().toStdString() + "/unreadable.ini";
        QDir().mkpath(QString::fromStdString(path));
        QString shown;
        answerMessageBox(QStringLiteral("Quit"), &shown);
        QVERIFY(!folvane::gui::askToStartWithDefaults(nullptr, path, "Is a directory"));
        QVERIFY(shown.contains(QString::fromStdString(path) + QStringLiteral(": Is a directory")));
        QVERIFY(!folvane::app::SettingsStore::writesSuspended());

        const std::string file = folvane::test::settingsPath();
        QFile::remove(QString::fromStdString(file));
        answerMessageBox(QStringLiteral("Start with Defaults"), &shown);
        QVERIFY(folvane::gui::askToStartWithDefaults(nullptr, file, "Permission denied"));
        {
            // A whole window's worth of writes: none reaches the file.
            MainWindow window(location());
            window.show();
            folvane::app::SettingsStore(file).putInt("security", 0);
            window.close();
        }
        folvane::app::SettingsStore::setWritesSuspended(false);
        QVERIFY(!QFile::exists(QString::fromStdString(file)));
    }

    void failedSettingsWritesAreShown()
    {
        folvane::gui::reportSettingsWriteFailures();
        const std::string path = folvane::test::scratchFolder().toStdString() + "/folder.ini";
        QDir().mkpath(QString::fromStdString(path));
        QString shown;
        answerMessageBox(QStringLiteral("OK"), &shown);
        // One action that fails several writes gives one box.
        QVERIFY(!folvane::app::SettingsStore(path).putInt("security", 1));
        QVERIFY(!folvane::app::SettingsStore(path).putInt("print", 1));
        QTRY_VERIFY(!shown.isEmpty());
        QCOMPARE(shown, QStringLiteral("The settings could not be saved in %1: Is a directory.")
                            .arg(QString::fromStdString(path)));
        shown.clear();
        QPointer<QTimer> second = answerMessageBox(QStringLiteral("OK"), &shown); // answers a second box
        QTest::qWait(100);
        delete second.data();
        QVERIFY(shown.isEmpty());
        folvane::app::SettingsStore::setWriteFailureHandler(nullptr);
    }
};

QObject* makeMainWindowTest() { return new MainWindowTest; }

#include "main_window_test.moc"
