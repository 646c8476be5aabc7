#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QThread>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTimer>
#include <QTest>

#include "app/settings_location.h"
#include "autostart.h"
#include "fake_system_actions.h"
#include "gui_test_support.h"
#include "main_window.h"
#include "watch_page.h"
#include "watch_worker.h"
#include "settings_dialog.h"

using folvane::app::SettingsStore;
using folvane::gui::WatchPage;
namespace t = folvane::test;

namespace {

folvane::app::SettingsLocation location() { return {t::settingsPath(), false}; }

void put(const std::string& key, const std::string& value) { SettingsStore(t::settingsPath()).putString(key, value); }

// A fresh folder below the suite's scratch folder, with a trailing "/".
QString freshFolder(const QString& name)
{
    QString path = t::scratchFolder() + QStringLiteral("/work/") + name;
    QDir(path).removeRecursively();
    QDir().mkpath(path);
    return path + QLatin1Char('/');
}

void writePng(const QString& path, QColor colour)
{
    QImage image(24, 16, QImage::Format_RGB32);
    image.fill(colour);
    QVERIFY(image.save(path, "PNG"));
}

bool qpdfAccepts(const QString& pdf)
{
    QProcess qpdf;
    qpdf.start(QStringLiteral("qpdf"), {QStringLiteral("--check"), pdf});
    return qpdf.waitForFinished(30000) && qpdf.exitStatus() == QProcess::NormalExit && qpdf.exitCode() == 0;
}

// A page whose dialogs and shell are answered by the test.
struct Harness {
    WatchPage page {location()};
    QStringList messages;
    QList<QUrl> opened;
    folvane::test::FakeSystemActions actions;

    Harness()
    {
        page.setMessageHook([this](const QString& text) { messages << text; });
        page.setUrlOpener([this](const QUrl& url) { opened << url; });
        page.setFolderChooser([](QWidget*, const QString&, const QString&) { return QString(); });
        page.setPdfFileChooser([](QWidget*, const QString&) { return QString(); });
        page.worker()->setSystemActions(&actions);
    }
};

// The controls a run locks, with what each must be while it runs.
QList<QWidget*> lockedControls(const WatchPage& page)
{
    return {page.inputBrowseButton(), page.outputBrowseButton(), page.subfolderCheck(), page.deleteCheck(),
            page.keepSubfolderCheck(), page.winStartCheck(),    page.autoRunCheck(),   page.intervalCheck(),
            page.secondsEdit(),        page.modeRadio(0),       page.modeRadio(1),     page.modeRadio(2),
            page.settingsButton()};
}

} // namespace

class WatchPageTest : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        t::removeSettings();
        folvane::gui::removeAutostartEntry();
    }

    void firstShowReadsTheSwitchesThenEveryShowTheModeAndPaths()
    {
        QString input = t::scratchFolder() + QStringLiteral("/work/first/in/a/");
        QString lastOutput = t::scratchFolder() + QStringLiteral("/work/first/out/b/");
        QDir(t::scratchFolder() + QStringLiteral("/work/first")).removeRecursively();
        put("keepsub", "1");
        put("subdir", "1");
        put("del_success", "1");
        put("runsec", "0");
        put("second", "12345");
        put("input", input.toStdString());
        put("doutput", lastOutput.toStdString());
        put("outMode", "1");
        put("outPath1", "/srv/pdf/");
        put("title", "From the file");
        {
            Harness h;
            h.page.show();
            QVERIFY(h.page.keepSubfolderCheck()->isChecked());
            QVERIFY(h.page.subfolderCheck()->isChecked());
            QVERIFY(h.page.deleteCheck()->isChecked());
            QVERIFY(!h.page.intervalCheck()->isChecked());
            QVERIFY(!h.page.autoRunCheck()->isChecked());
            QCOMPARE(h.page.secondsEdit()->text(), QStringLiteral("123"));
            QVERIFY(!h.page.secondsEdit()->isEnabled());
            QCOMPARE(h.page.inputEdit()->text(), input);
            // "doutput" only made its folders; the box shows the path of the stored mode.
            QVERIFY(QDir(input).exists());
            QVERIFY(QDir(lastOutput).exists());
            QVERIFY(h.page.modeRadio(1)->isChecked());
            QCOMPARE(h.page.outputEdit()->text(), QStringLiteral("/srv/pdf/"));
            QVERIFY(h.page.keepSubfolderCheck()->isEnabled());
            QCOMPARE(h.page.outputSettings().title, std::string("From the file"));
            QCOMPARE(h.page.startButton()->text(), QStringLiteral("Start"));

            // The switches are read once; the mode and paths at every show.
            h.page.hide();
            put("subdir", "0");
            put("outMode", "0");
            put("outPath0", "/srv/book.pdf");
            h.page.show();
            QVERIFY(h.page.subfolderCheck()->isChecked());
            QVERIFY(h.page.modeRadio(0)->isChecked());
            QCOMPARE(h.page.outputEdit()->text(), QStringLiteral("/srv/book.pdf"));
            QVERIFY(!h.page.keepSubfolderCheck()->isEnabled());
        }
    }

    void modeRadiosShowTheStoredPathOfTheirMode()
    {
        put("outPath0", "/a/merged.pdf");
        put("outPath1", "/a/images/");
        put("outPath2", "/a/folders/");
        Harness h;
        QString chosenFolder = QStringLiteral("/b/chosen");
        QString chosenTitle;
        h.page.setFolderChooser([&](QWidget*, const QString& title, const QString&) {
            chosenTitle = title;
            return chosenFolder;
        });
        h.page.setPdfFileChooser([](QWidget*, const QString&) { return QStringLiteral("/b/report"); });
        h.page.show();
        QCOMPARE(h.page.outputEdit()->text(), QStringLiteral("/a/merged.pdf"));

        h.page.modeRadio(2)->click();
        QCOMPARE(h.page.outputEdit()->text(), QStringLiteral("/a/folders/"));
        QVERIFY(!h.page.keepSubfolderCheck()->isEnabled());
        h.page.modeRadio(1)->click();
        QCOMPARE(h.page.outputEdit()->text(), QStringLiteral("/a/images/"));
        QVERIFY(h.page.keepSubfolderCheck()->isEnabled());

        // A chosen folder gets its "/" and stays the per-image path across mode switches.
        h.page.outputBrowseButton()->click();
        QCOMPARE(chosenTitle, QStringLiteral("Select Output Folder"));
        QCOMPARE(h.page.outputEdit()->text(), QStringLiteral("/b/chosen/"));
        h.page.modeRadio(0)->click();
        QCOMPARE(h.page.outputEdit()->text(), QStringLiteral("/a/merged.pdf"));
        h.page.modeRadio(1)->click();
        QCOMPARE(h.page.outputEdit()->text(), QStringLiteral("/b/chosen/"));

        // Merging takes a file, with ".pdf" added when missing.
        h.page.modeRadio(0)->click();
        h.page.outputBrowseButton()->click();
        QCOMPARE(h.page.outputEdit()->text(), QStringLiteral("/b/report.pdf"));
        QCOMPARE(h.page.outputPaths().merged, std::string("/b/report.pdf"));

        // A cancelled dialog changes nothing.
        chosenFolder.clear();
        h.page.modeRadio(2)->click();
        h.page.outputBrowseButton()->click();
        QCOMPARE(h.page.outputEdit()->text(), QStringLiteral("/a/folders/"));

        // The input folder gets its "/" too; the two "..." hand the boxes to the shell.
        chosenFolder = QStringLiteral("/c/in");
        h.page.inputBrowseButton()->click();
        QCOMPARE(chosenTitle, QStringLiteral("Select Input Folder"));
        QCOMPARE(h.page.inputEdit()->text(), QStringLiteral("/c/in/"));
        h.page.inputOpenButton()->click();
        h.page.outputOpenButton()->click();
        QCOMPARE(h.opened, QList<QUrl>({QUrl::fromLocalFile(QStringLiteral("/c/in/")),
                                        QUrl::fromLocalFile(QStringLiteral("/a/folders/"))}));
    }

    void hidingWritesOnlyTheModeAndItsOutput()
    {
        put("outMode", "2");
        put("outPath2", "/x/folders/");
        {
            Harness h;
            h.page.show();
            t::removeSettings();
            h.page.hide();
            QCOMPARE(t::valueOf("outMode"), std::string("2"));
            QCOMPARE(t::valueOf("outPath2"), std::string("/x/folders/"));
            for (const char* key : {"outPath0", "outPath1", "input", "doutput", "subdir", "runsec", "second"})
                QVERIFY2(!t::hasKey(key), key);
            // A hidden page that closes leaves the shared mode and paths to the file-list page.
            put("outMode", "0");
        }
        QCOMPARE(t::valueOf("outMode"), std::string("0"));
        QCOMPARE(t::valueOf("doutput"), std::string("/x/folders/"));
    }

    void closingWritesThePageKeysOnlyAfterItWasShown()
    {
        {
            Harness h; // never shown
        }
        QVERIFY(!t::hasKey("input"));
        QVERIFY(!t::hasKey("outMode"));

        put("outPath1", "/y/images/");
        {
            Harness h;
            h.page.setFolderChooser([](QWidget*, const QString&, const QString&) { return QStringLiteral("/y/in/"); });
            h.page.show();
            h.page.inputBrowseButton()->click();
            h.page.subfolderCheck()->click();
            h.page.intervalCheck()->click();
            QVERIFY(h.page.secondsEdit()->isEnabled());
            h.page.secondsEdit()->clear();
            QTest::keyClicks(h.page.secondsEdit(), QStringLiteral("9x87"));
            h.page.modeRadio(1)->click();
            h.page.keepSubfolderCheck()->click();
            h.page.autoRunCheck()->click();
        }
        QCOMPARE(t::valueOf("input"), std::string("/y/in/"));
        QCOMPARE(t::valueOf("doutput"), std::string("/y/images/"));
        QCOMPARE(t::valueOf("subdir"), std::string("1"));
        QCOMPARE(t::valueOf("runsec"), std::string("1"));
        QCOMPARE(t::valueOf("second"), std::string("987")); // digits only, at most three
        QCOMPARE(t::valueOf("keepsub"), std::string("1"));
        QCOMPARE(t::valueOf("autorun"), std::string("1"));
        QCOMPARE(t::valueOf("winstart"), std::string("0"));
        QCOMPARE(t::valueOf("del_success"), std::string("0"));
        QCOMPARE(t::valueOf("outMode"), std::string("1"));
        QCOMPARE(t::valueOf("outPath1"), std::string("/y/images/"));
    }

    void startRefusesWithoutAnExistingInputFolderOrAnOutput()
    {
        Harness h;
        QSignalSpy states(&h.page, &WatchPage::jobState);
        h.page.show();
        h.page.startButton()->click();
        QString noFolder = QStringLiteral("You must select a folder for monitoring.");
        QCOMPARE(h.messages, QStringList({noFolder}));
        QCOMPARE(states.count(), 1);
        QCOMPARE(states.at(0).at(0).toInt(), 0);

        h.page.setFolderChooser([](QWidget*, const QString&, const QString&) {
            return t::scratchFolder() + QStringLiteral("/work/no-such-folder");
        });
        h.page.inputBrowseButton()->click();
        h.page.startButton()->click();
        QCOMPARE(h.messages.size(), 2);
        QCOMPARE(h.messages.last(), noFolder);

        // An existing folder but no output: nothing would say where the PDF files go.
        QString input = freshFolder(QStringLiteral("refuse"));
        h.page.setFolderChooser([&](QWidget*, const QString&, const QString&) { return input; });
        h.page.inputBrowseButton()->click();
        h.page.startButton()->click();
        QCOMPARE(h.messages.last(), WatchPage::kNoOutputText);
        QVERIFY(!h.page.worker()->running());
        QVERIFY(h.page.inputBrowseButton()->isEnabled());
        QCOMPARE(h.page.startButton()->text(), QStringLiteral("Start"));
    }

    // "Overwrite" with delete and the interval would replace the merged PDF on every pass after
    // the earlier sources were deleted: the page refuses to start and says why.
    void startRefusesOverwriteWithDeleteThatWouldLosePages()
    {
        put("exists", "1");
        Harness h;
        QString input = freshFolder(QStringLiteral("overwrite-delete"));
        h.page.setFolderChooser([&](QWidget*, const QString&, const QString&) { return input; });
        h.page.setPdfFileChooser([&](QWidget*, const QString&) { return input + QStringLiteral("/../all.pdf"); });
        h.page.show();
        h.page.inputBrowseButton()->click();
        h.page.modeRadio(0)->click();
        h.page.outputBrowseButton()->click();
        h.page.deleteCheck()->setChecked(true);
        h.page.intervalCheck()->setChecked(true);
        h.page.startButton()->click();
        QCOMPARE(h.messages.size(), 1);
        QVERIFY(h.messages.last().contains(QStringLiteral("\"Overwrite\"")));
        QVERIFY(h.messages.last().contains(QStringLiteral("\"Delete source file when success\"")));
        QVERIFY(!h.page.worker()->running());
        QCOMPARE(h.page.startButton()->text(), QStringLiteral("Start"));
    }

    void startWithWindowsWritesAndDeletesTheAutostartEntry()
    {
        std::string entry = folvane::gui::autostartEntryPath();
        QVERIFY(QString::fromStdString(entry).startsWith(t::scratchFolder())); // never the real one
        QVERIFY(QString::fromStdString(entry).endsWith(QStringLiteral("/autostart/Folvane.desktop")));
        Harness h;
        h.page.setProgramPath("/opt/My Apps/folvane");
        h.page.show();
        h.page.winStartCheck()->click();
        QFile file(QString::fromStdString(entry));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QByteArray text = file.readAll();
        file.close();
        QVERIFY(text.startsWith("[Desktop Entry]\n"));
        QVERIFY(text.contains("\nName=Folvane\n"));
        QVERIFY(text.contains("\nType=Application\n"));
        QVERIFY(text.contains("\nExec=\"/opt/My Apps/folvane\"\n"));

        h.page.winStartCheck()->click();
        QVERIFY(!QFile::exists(QString::fromStdString(entry)));
        // Unchecking with no entry: nothing to delete, nothing said, the box stays unchecked.
        h.page.winStartCheck()->click();
        h.page.winStartCheck()->click();
        QVERIFY(!QFile::exists(QString::fromStdString(entry)));
        QVERIFY(!h.page.winStartCheck()->isChecked());
        QVERIFY(h.messages.isEmpty());
        QVERIFY(!folvane::gui::removeAutostartEntry());
    }

    void execLinesQuoteAndEscapeThePath()
    {
        using folvane::gui::desktopExecArgument;
        QCOMPARE(desktopExecArgument("/usr/bin/folvane"), std::string("/usr/bin/folvane"));
        QCOMPARE(desktopExecArgument("/opt/a b/folvane"), std::string("\"/opt/a b/folvane\""));
        // "%" is doubled everywhere; inside quotes "$" gets a backslash, which the entry's string
        // rules double, and a backslash becomes four.
        QCOMPARE(desktopExecArgument("/opt/100%/folvane"), std::string("/opt/100%%/folvane"));
        QCOMPARE(desktopExecArgument("/opt/$x/f"), std::string("\"/opt/\\\\$x/f\""));
        QCOMPARE(desktopExecArgument("/opt/a\\b"), std::string("\"/opt/a\\\\\\\\b\""));
        QCOMPARE(desktopExecArgument("/opt/a\nb"), std::string());
        QVERIFY(!folvane::gui::writeAutostartEntry("/opt/a\nb"));
    }

    void settingsOpensTheSevenWatchTabs()
    {
        put("title", "Old");
        Harness h;
        h.page.show();
        QStringList titles;
        QTimer::singleShot(0, [&] {
            auto* sheet = qobject_cast<folvane::gui::SettingsDialog*>(QApplication::activeModalWidget());
            QVERIFY(sheet);
            for (int i = 0; i < sheet->tabs()->count(); ++i)
                titles << sheet->tabs()->tabText(i);
            SettingsStore(t::settingsPath()).putString("title", "New");
            sheet->reject();
        });
        h.page.settingsButton()->click();
        QCOMPARE(titles, QStringList({"Compress", "Page", "Bookmark", "Watermark", "Viewer", "Info", "Security"}));
        // Cancel reloads nothing.
        QCOMPARE(h.page.outputSettings().title, std::string("Old"));

        QTimer::singleShot(0, [&] {
            auto* sheet = qobject_cast<folvane::gui::SettingsDialog*>(QApplication::activeModalWidget());
            QVERIFY(sheet);
            sheet->accept();
        });
        h.page.settingsButton()->click();
        QCOMPARE(h.page.outputSettings().title, std::string("New"));
    }

    void destroyingTheWorkerWhileTheRunnerWaitsForAnAnswerDoesNotHang()
    {
        QString input = freshFolder(QStringLiteral("teardown-in"));
        QString output = freshFolder(QStringLiteral("teardown-out"));
        writePng(input + QStringLiteral("red.png"), Qt::red);
        QString existing = output + QStringLiteral("merged.pdf");
        QFile file(existing);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("twenty bytes of data");
        file.close();
        folvane::jobs::WatchSettings settings;
        settings.inputFolder = input.toStdString();
        settings.mode = folvane::jobs::kMergeMode;
        settings.paths.merged = existing.toStdString();
        settings.settleTime = std::chrono::milliseconds(0);
        bool asked = false;
        QElapsedTimer timer;
        {
            folvane::gui::WatchWorker worker;
            worker.setOutputNameAsker([&](const std::string&) {
                asked = true;
                return std::string();
            });
            QVERIFY(worker.start(settings, folvane::jobs::kAskAlways, {}));
            // The runner asks for a name; the question waits for this thread, which goes away first.
            QThread::msleep(500);
            timer.start();
        }
        QVERIFY(timer.elapsed() < 5000);
        QVERIFY(!asked);
        // The question counted as Cancel and the stopped run added no image: the existing file
        // is untouched, no empty PDF is left, and the source stays.
        QCOMPARE(QFileInfo(existing).size(), 20);
        QCOMPARE(QDir(output).entryList(QDir::Files), QStringList({"merged.pdf"}));
        QVERIFY(QFile::exists(input + QStringLiteral("red.png")));
    }

    void aRunConvertsLocksThePageAndStopsOnStop()
    {
        QString input = freshFolder(QStringLiteral("run-in"));
        QString output = freshFolder(QStringLiteral("run-out"));
        writePng(input + QStringLiteral("red.png"), Qt::red);
        put("outMode", "1");
        put("outPath1", output.toStdString());
        put("input", input.toStdString());
        put("runsec", "1");
        put("second", "1");
        Harness h;
        QSignalSpy states(&h.page, &WatchPage::jobState);
        QStringList lines;
        connect(h.page.worker(), &folvane::gui::WatchWorker::stateLine, this,
                [&](const QString& text) { lines << text; });
        h.page.show();
        h.page.startButton()->click();

        QCOMPARE(states.count(), 1);
        QCOMPARE(states.at(0).at(0).toInt(), 1);
        QVERIFY(h.page.worker()->running());
        QCOMPARE(h.page.startButton()->text(), QStringLiteral("Stop"));
        for (QWidget* control : lockedControls(h.page))
            QVERIFY2(!control->isEnabled(), qPrintable(control->objectName()));
        QVERIFY(h.page.inputOpenButton()->isEnabled());
        QVERIFY(h.page.outputOpenButton()->isEnabled());
        QVERIFY(h.page.startButton()->isEnabled());

        QString pdf = output + QStringLiteral("red.pdf");
        QString moved = input + QStringLiteral("_converted/red.png");
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(moved), 20000);
        QVERIFY(QFile::exists(pdf));
        QVERIFY(lines.contains(QStringLiteral("Current: ") + input + QStringLiteral("red.png")));
        // Passes go on while nothing new comes.
        QTRY_COMPARE_WITH_TIMEOUT(h.page.stateLabel()->text(),
                                  QStringLiteral("Current: Please add more supported files to the folder!"), 20000);

        h.page.startButton()->click();
        QVERIFY(!h.page.startButton()->isEnabled()); // until the runner has ended
        QTRY_COMPARE_WITH_TIMEOUT(states.count(), 2, 5000);
        QCOMPARE(states.at(1).at(0).toInt(), 0);
        QVERIFY(!h.page.worker()->running());
        QVERIFY(h.page.worker()->lastReport().stopped);
        QCOMPARE(h.page.worker()->lastReport().succeeded, 1);
        QCOMPARE(h.page.stateLabel()->text(), QString()); // a stop clears the line
        // The tally of the run stays: what was converted since Start and the last file.
        QCOMPARE(h.page.tallyLabel()->text(), QStringLiteral("Since Start: 1 converted, 0 failed. Last: red.png (Done)"));
        QCOMPARE(h.page.startButton()->text(), QStringLiteral("Start"));
        QVERIFY(h.page.startButton()->isEnabled());
        for (QWidget* control : lockedControls(h.page)) {
            bool expected = control != h.page.keepSubfolderCheck() || h.page.mode() == 1;
            QCOMPARE(control->isEnabled(), expected);
        }
        QVERIFY(h.actions.calls.empty()); // a stopped run does no after-conversion action
        QVERIFY(qpdfAccepts(pdf));
    }

    void autoRunStartsWatchingOnTheFirstShow()
    {
        QString input = freshFolder(QStringLiteral("auto-in"));
        QString output = freshFolder(QStringLiteral("auto-out"));
        writePng(input + QStringLiteral("a.png"), Qt::blue);
        writePng(input + QStringLiteral("b.png"), Qt::green);
        {
            QFile broken(input + QStringLiteral("c.png"));
            QVERIFY(broken.open(QIODevice::WriteOnly));
            broken.write("not a picture at all");
        }
        QString merged = output + QStringLiteral("book.pdf");
        put("autorun", "1");
        put("input", input.toStdString());
        put("outMode", "0");
        put("outPath0", merged.toStdString());
        put("after", "6"); // "Open Output", answered by the fake
        Harness h;
        QSignalSpy states(&h.page, &WatchPage::jobState);
        h.page.show();
        QCOMPARE(states.count(), 0); // not before the show is complete
        QTRY_COMPARE_WITH_TIMEOUT(states.count(), 2, 20000);
        QCOMPARE(states.at(0).at(0).toInt(), 1);
        QCOMPARE(states.at(1).at(0).toInt(), 0);
        QVERIFY(QFile::exists(merged));
        QVERIFY(qpdfAccepts(merged));
        // A single pass leaves its sources, keeps its last state line and then runs the action.
        QVERIFY(QFile::exists(input + QStringLiteral("a.png")));
        QCOMPARE(h.page.stateLabel()->text(), QStringLiteral("Current: ") + input + QStringLiteral("c.png"));
        QCOMPARE(h.page.tallyLabel()->text(),
                 QStringLiteral("Since Start: 2 converted, 1 failed. Last: c.png (Failed: not a readable image)"));
        QCOMPARE(h.actions.calls, std::vector<std::string>({"open " + merged.toStdString()}));

        // Only the first show starts it.
        h.page.hide();
        h.page.show();
        QTest::qWait(50);
        QCOMPARE(states.count(), 2);
    }

    void closingTheMainWindowWritesTheWatchKeys()
    {
        put("outPath2", "/z/folders/");
        {
            folvane::gui::MainWindow window(location());
            window.show();
            QTest::mouseClick(&window, Qt::LeftButton, {}, window.navRect(2).center());
            auto* page = qobject_cast<WatchPage*>(window.page(2));
            QVERIFY(page);
            page->modeRadio(2)->click();
            page->subfolderCheck()->click();
            QTest::mouseClick(&window, Qt::LeftButton, {}, window.closeRect().center());
            QVERIFY(!window.isVisible());
            QCOMPARE(t::valueOf("outMode"), std::string("2")); // the page was hidden with the window
        }
        QCOMPARE(t::valueOf("subdir"), std::string("1"));
        QCOMPARE(t::valueOf("doutput"), std::string("/z/folders/"));
        QCOMPARE(t::valueOf("second"), std::string("5"));
    }

    void mainWindowRefusesSwitchingWhileThePageWatches()
    {
        QString input = freshFolder(QStringLiteral("main-in"));
        put("input", input.toStdString());
        put("outPath0", (freshFolder(QStringLiteral("main-out")) + QStringLiteral("x.pdf")).toStdString());
        put("runsec", "1");
        put("second", "1");
        folvane::gui::MainWindow window(location());
        int refusals = 0;
        window.setRefusalHook([&] { ++refusals; });
        window.show();
        auto* page = qobject_cast<WatchPage*>(window.page(2));
        QVERIFY(page);
        page->setMessageHook([](const QString&) {});
        QTest::mouseClick(&window, Qt::LeftButton, {}, window.navRect(2).center());
        QVERIFY(page->isVisible());
        page->startButton()->click();
        QCOMPARE(window.converting(), 1);
        QTest::mouseClick(&window, Qt::LeftButton, {}, window.navRect(3).center());
        QCOMPARE(refusals, 1);
        QCOMPARE(window.currentPage(), 2);
        page->startButton()->click();
        QTRY_COMPARE_WITH_TIMEOUT(window.converting(), 0, 5000);
        QTest::mouseClick(&window, Qt::LeftButton, {}, window.navRect(3).center());
        QCOMPARE(window.currentPage(), 3);
    }
};

QObject* makeWatchPageTest() { return new WatchPageTest; }

#include "watch_page_test.moc"
