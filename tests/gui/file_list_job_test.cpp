// The conversion job driven from the file-list page: a real engine on the worker thread, the
// Status column filled through the observer, the locking of the page and the main window, Stop,
// the continue question and the "Ask always" name question.

#include <QSignalSpy>
#include <QTest>
#include <QThread>
#include <QTimer>

#include "engine/engine.h"
#include "file_list.h"
#include "file_list_page_support.h"
#include "main_window.h"
#include "services/system_actions.h"

using folvane::gui::FileListPage;
namespace t = folvane::test;

namespace {

// A picture large enough that converting it takes a good while, so that a test can act while
// the job is inside its row.
QString writeLargePicture(const QString& path)
{
    QImage image(3000, 3000, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x)
            line[x] = qRgb((x * 7 + y * 13) % 256, (x * y) % 251, (x ^ y) % 256);
    }
    image.save(path);
    return path;
}

// Records the after-conversion actions instead of carrying them out.
struct RecordingActions : folvane::services::SystemActions {
    QStringList done;
    void powerOff() override { done << "powerOff"; }
    void suspend() override { done << "suspend"; }
    void reboot() override { done << "reboot"; }
    void logOff() override { done << "logOff"; }
    void exitProgram() override { done << "exit"; }
    void openWithDefaultApplication(const std::string& target) override
    {
        done << QStringLiteral("open ") + QString::fromStdString(target);
    }
};

} // namespace

class FileListJobTest : public QObject {
    Q_OBJECT

    RecordingActions m_actions;

    void prepare(FileListPage& page, const QStringList& files)
    {
        page.setSystemActions(&m_actions);
        page.setFilesChooser([files](QWidget*, const QString&, const QStringList&) { return files; });
        page.addFiles();
    }

    static QStringList statuses(const FileListPage& page)
    {
        QStringList texts;
        for (size_t row = 0; row < page.fileList()->rowCount(); ++row)
            texts << page.fileList()->text(row, 4);
        return texts;
    }

    static bool locked(const FileListPage& page)
    {
        for (QWidget* widget : std::initializer_list<QWidget*>{
                 page.addButton(), page.addFolderButton(), page.removeButton(), page.upButton(), page.downButton(),
                 page.settingsButton(), page.modeRadio(0), page.modeRadio(1), page.modeRadio(2), page.outputEdit(),
                 page.outputBrowseButton(), page.openButton()})
            if (widget->isEnabled())
                return false;
        return page.convertButton()->isEnabled() && page.convertButton()->text() == QStringLiteral("Stop");
    }

private slots:
    void init()
    {
        t::removeSettings();
        m_actions.done.clear();
    }

    void convertingFillsTheStatusColumnAndUnlocksThePage()
    {
        QString folder = t::freshFolder(QStringLiteral("merge"));
        QString output = folder + QStringLiteral("/album.pdf");
        folvane::app::SettingsStore store(t::settingsPath());
        store.putString("outPath0", output.toStdString());
        store.putString("after", "6"); // Open Output
        QString bad = t::writeBytes(folder + QStringLiteral("/broken.jpg"), 300);

        folvane::gui::MainWindow window(t::listLocation());
        int refusals = 0;
        window.setRefusalHook([&] { ++refusals; });
        window.show();
        auto* page = qobject_cast<FileListPage*>(window.page(1));
        QVERIFY(page);
        QSignalSpy states(page, &FileListPage::jobState);
        prepare(*page, {t::writePicture(folder + QStringLiteral("/one.png")), bad,
                        t::writePicture(folder + QStringLiteral("/two.bmp"), Qt::red)});
        QCOMPARE(page->fileList()->text(0, 3), output);

        QTest::mouseClick(page->convertButton(), Qt::LeftButton);
        QVERIFY(page->converting());
        QVERIFY(locked(*page));
        QVERIFY(page->progressBar()->isVisible());
        QCOMPARE(page->progressBar()->maximum(), 3);
        QCOMPARE(window.converting(), 1);
        // While the job runs the list takes no keys and no drops, and the window stays put.
        page->fileList()->selectAll();
        QTest::keyClick(page->fileList(), Qt::Key_Delete);
        page->dropPaths({folder + QStringLiteral("/one.png")});
        QCOMPARE(page->fileList()->rowCount(), size_t{3});
        QTest::mouseClick(&window, Qt::LeftButton, {}, window.navRect(3).center());
        QCOMPARE(refusals, 1);
        QCOMPARE(window.currentPage(), 1);

        page->waitForJob();
        QVERIFY(!page->converting());
        QCOMPARE(statuses(*page), QStringList({"Done", "Failed", "Done"}));
        QCOMPARE(page->fileList()->selectedRows(), std::vector<size_t>{0});
        // The progress bar counted every row; the summary stays in the page with the output.
        QCOMPARE(page->progressBar()->text(), QStringLiteral("3 of 3 files"));
        QVERIFY(!page->progressBar()->isVisible());
        QVERIFY(page->summaryBox()->isVisible());
        QCOMPARE(page->summaryLabel()->text(), QStringLiteral("2 converted, 1 failed\nSaved as ") + output);
        QStringList opened;
        page->setOpener([&](const QString& target) { opened << target; });
        QTest::mouseClick(page->openPdfButton(), Qt::LeftButton);
        QTest::mouseClick(page->openFolderButton(), Qt::LeftButton);
        QCOMPARE(opened, QStringList({output, folder}));
        // The failed row says why: in its status tooltip and, selected, in the line under the list.
        QCOMPARE(page->fileList()->topLevelItem(1)->toolTip(4), QStringLiteral("not a readable image"));
        QVERIFY(!page->detailsLine()->isVisible());
        page->fileList()->selectOnly(1);
        QVERIFY(page->detailsLine()->isVisible());
        QCOMPARE(page->detailsLine()->text(), QStringLiteral("broken.jpg: Failed: not a readable image"));
        page->fileList()->selectOnly(0);
        QVERIFY(!page->detailsLine()->isVisible());
        QCOMPARE(window.converting(), 0);
        QCOMPARE(states.count(), 2);
        QCOMPARE(states[0][0].toInt(), 1);
        QCOMPARE(states[1][0].toInt(), 0);
        QCOMPARE(page->convertButton()->text(), QStringLiteral("Convert"));
        for (QWidget* widget : std::initializer_list<QWidget*>{page->addButton(), page->addFolderButton(),
                                                               page->removeButton(), page->upButton(),
                                                               page->settingsButton(), page->modeRadio(1),
                                                               page->outputBrowseButton(), page->openButton()})
            QVERIFY(widget->isEnabled());
        QCOMPARE(page->outputEdit()->text(), output);
        QVERIFY(t::qpdfCheck(output));
        QCOMPARE(m_actions.done, QStringList{QStringLiteral("open ") + output});

        // A second run under "Create new file" writes a numbered file and shows its name.
        QTest::mouseClick(page->convertButton(), Qt::LeftButton);
        page->waitForJob();
        QString numbered = folder + QStringLiteral("/album001.pdf");
        QCOMPARE(page->outputEdit()->text(), numbered);
        QVERIFY(t::qpdfCheck(numbered));
        QCOMPARE(page->fileList()->text(0, 3), output); // the planned name stays as it was
        QTest::mouseClick(&window, Qt::LeftButton, {}, window.navRect(3).center());
        QCOMPARE(window.currentPage(), 3);
    }

    // With text recognition on, the progress bar says how many pages were read for text.
    void progressCountsThePagesReadForText()
    {
        if (folvane::engine::installedTextLanguages().empty())
            QSKIP("no text recognition language is installed");
        QString folder = t::freshFolder(QStringLiteral("ocr"));
        folvane::app::SettingsStore store(t::settingsPath());
        store.putString("outPath0", (folder + QStringLiteral("/text.pdf")).toStdString());
        store.putString("ocr", "1");
        folvane::gui::MainWindow window(t::listLocation());
        window.show();
        auto* page = qobject_cast<FileListPage*>(window.page(1));
        QVERIFY(page);
        prepare(*page, {t::writePicture(folder + QStringLiteral("/one.png")),
                        t::writePicture(folder + QStringLiteral("/two.png"), Qt::red)});
        QTest::mouseClick(page->convertButton(), Qt::LeftButton);
        page->waitForJob();
        QCOMPARE(statuses(*page), QStringList({"Done", "Done"}));
        QVERIFY2(page->progressBar()->text().startsWith(QStringLiteral("2 of 2 files, text read on 2 pages in ")),
                 qPrintable(page->progressBar()->text()));
        store.putString("ocr", "0");
    }

    void stopEndsAfterTheCurrentRowAndTheNextRunMayContinue()
    {
        QString folder = t::freshFolder(QStringLiteral("stop"));
        QString out = folder + QStringLiteral("/out/");
        QDir().mkpath(out);
        folvane::app::SettingsStore store(t::settingsPath());
        store.putString("outMode", "1");
        store.putString("outPath1", out.toStdString());
        store.putString("after", "6");

        FileListPage page(t::listLocation());
        t::MessageLog messages;
        messages.attach(page);
        page.show();
        prepare(page, {writeLargePicture(folder + QStringLiteral("/first.png")),
                       t::writePicture(folder + QStringLiteral("/second.png")),
                       t::writePicture(folder + QStringLiteral("/third.png"))});

        // The job selects the row it takes: Stop is pressed while the large first row converts.
        page.fileList()->selectOnly(2);
        QTest::mouseClick(page.convertButton(), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(page.fileList()->selectedRows() == std::vector<size_t> {0}, 20000);
        QCOMPARE(page.progressBar()->text(), QStringLiteral("0 of 3 files"));
        QVERIFY(!page.summaryBox()->isVisible());
        QTest::mouseClick(page.convertButton(), Qt::LeftButton); // Stop
        page.waitForJob();
        QCOMPARE(statuses(page), QStringList({"Done", "-", "-"}));
        QCOMPARE(page.summaryLabel()->text(),
                 QStringLiteral("Stopped: 1 converted, 0 failed\nKept %1first.pdf with 1 page.").arg(out));
        QVERIFY(QFile::exists(out + QStringLiteral("first.pdf")));
        QVERIFY(!QFile::exists(out + QStringLiteral("second.pdf")));
        QVERIFY(m_actions.done.isEmpty()); // a stopped job runs no after-conversion action
        QVERIFY(messages.shown.empty());

        // One of three rows was started: the next Convert asks; Yes converts the rest only.
        messages.answer = QMessageBox::Yes;
        QTest::mouseClick(page.convertButton(), Qt::LeftButton);
        QCOMPARE(messages.shown.size(), size_t{1});
        QCOMPARE(messages.shown[0].text, FileListPage::kContinueText);
        QCOMPARE(messages.shown[0].buttons, QMessageBox::Yes | QMessageBox::No);
        page.waitForJob();
        QCOMPARE(statuses(page), QStringList({"Done", "Done", "Done"}));
        // The continued run converts the two rows left.
        QCOMPARE(page.progressBar()->text(), QStringLiteral("2 of 2 files"));
        QCOMPARE(page.summaryLabel()->text(), QStringLiteral("2 converted, 0 failed\n2 PDF files saved in %1").arg(out.chopped(1)));
        QVERIFY(!QFile::exists(out + QStringLiteral("first001.pdf")));
        for (const char* name : {"first.pdf", "second.pdf", "third.pdf"})
            QVERIFY(t::qpdfCheck(out + QLatin1String(name)));
        QCOMPARE(m_actions.done, QStringList{QStringLiteral("open ") + out});

        // Every row was converted: no question, everything anew.
        QTest::mouseClick(page.convertButton(), Qt::LeftButton);
        page.waitForJob();
        QCOMPARE(messages.shown.size(), size_t{1});
        QVERIFY(t::qpdfCheck(out + QStringLiteral("first001.pdf")));
        QVERIFY(t::qpdfCheck(out + QStringLiteral("third001.pdf")));
    }

    void perFolderModeShowsTheSortedOrder()
    {
        QString folder = t::freshFolder(QStringLiteral("sorted"));
        QDir().mkpath(folder + QStringLiteral("/a"));
        QDir().mkpath(folder + QStringLiteral("/b"));
        folvane::app::SettingsStore store(t::settingsPath());
        store.putString("outMode", "2");
        store.putString("outPath2", (folder + QLatin1Char('/')).toStdString());
        FileListPage page(t::listLocation());
        page.show();
        QStringList files{t::writePicture(folder + QStringLiteral("/b/y.png")),
                          t::writePicture(folder + QStringLiteral("/a/z.png")),
                          t::writePicture(folder + QStringLiteral("/a/x.png"))};
        prepare(page, files);
        page.convert();
        page.waitForJob();
        QCOMPARE(page.fileList()->text(0, 0), files[2]);
        QCOMPARE(page.fileList()->text(1, 0), files[1]);
        QCOMPARE(page.fileList()->text(2, 0), files[0]);
        QCOMPARE(page.fileList()->text(2, 3), folder + QStringLiteral("/b.pdf"));
        QCOMPARE(statuses(page), QStringList({"Done", "Done", "Done"}));
        QVERIFY(t::qpdfCheck(folder + QStringLiteral("/a.pdf")));
        QVERIFY(t::qpdfCheck(folder + QStringLiteral("/b.pdf")));
    }

    void askAlwaysIsAnsweredOnTheUserInterfaceThread()
    {
        QString folder = t::freshFolder(QStringLiteral("ask"));
        QString existing = folder + QStringLiteral("/merged.pdf");
        t::writeBytes(existing, 20);
        folvane::app::SettingsStore store(t::settingsPath());
        store.putString("outPath0", existing.toStdString());
        store.putString("exists", "0");
        FileListPage page(t::listLocation());
        page.show();
        prepare(page, {t::writePicture(folder + QStringLiteral("/pic.png"))});
        QString asked;
        bool onUiThread = false;
        QString chosen = folder + QStringLiteral("/chosen");
        page.setSaveNameChooser([&](QWidget*, const QString& path) {
            asked = path;
            onUiThread = QThread::currentThread() == page.thread();
            return chosen;
        });
        page.convert();
        page.waitForJob();
        QCOMPARE(asked, existing);
        QVERIFY(onUiThread);
        QCOMPARE(statuses(page), QStringList{"Done"});
        QCOMPARE(page.outputEdit()->text(), chosen); // used exactly as chosen, no ".pdf" added
        QVERIFY(t::qpdfCheck(chosen));
        QCOMPARE(QFileInfo(existing).size(), 20);
    }

    // The real question names the existing file; cancelled, the job writes a numbered new file,
    // and the log names the file written.
    void askAlwaysNamesTheExistingFileAndTheLogTheFileWritten()
    {
        QString folder = t::freshFolder(QStringLiteral("ask-real"));
        QString existing = folder + QStringLiteral("/merged.pdf");
        t::writeBytes(existing, 20);
        folvane::app::SettingsStore store(t::settingsPath());
        store.putString("outPath0", existing.toStdString());
        store.putString("exists", "0");
        store.putString("log", "1");
        store.putString("logpath", (folder + QStringLiteral("/log/")).toStdString());
        FileListPage page(t::listLocation());
        page.show();
        prepare(page, {t::writePicture(folder + QStringLiteral("/pic.png"))});
        QString title;
        QTimer answer;
        connect(&answer, &QTimer::timeout, this, [&] {
            if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
                title = dialog->windowTitle();
                dialog->reject();
            }
        });
        answer.start(20);
        page.convert();
        page.waitForJob();
        QCOMPARE(title, QStringLiteral("merged.pdf already exists - save the PDF as"));
        QString written = folder + QStringLiteral("/merged001.pdf");
        QVERIFY(t::qpdfCheck(written));
        QDir logs(folder + QStringLiteral("/log"));
        QStringList files = logs.entryList({QStringLiteral("*.log")}, QDir::Files);
        QCOMPARE(files.size(), 1);
        QFile log(logs.filePath(files[0]));
        QVERIFY(log.open(QIODevice::ReadOnly));
        QString text = QString::fromUtf8(log.readAll());
        QVERIFY2(text.contains(QStringLiteral("[Output]: ") + written + QStringLiteral("\r\n")), qPrintable(text));
    }

    void closingThePageWhileTheJobWaitsForAnAnswerDoesNotHang()
    {
        QString folder = t::freshFolder(QStringLiteral("teardown"));
        QString existing = folder + QStringLiteral("/merged.pdf");
        t::writeBytes(existing, 20);
        folvane::app::SettingsStore store(t::settingsPath());
        store.putString("outPath0", existing.toStdString());
        store.putString("exists", "0");
        bool asked = false;
        {
            FileListPage page(t::listLocation());
            page.show();
            prepare(page, {t::writePicture(folder + QStringLiteral("/pic.png"))});
            page.setSaveNameChooser([&](QWidget*, const QString&) {
                asked = true;
                return QString();
            });
            page.convert();
            // The question is posted but never handled: the page goes away first.
        }
        QVERIFY(!asked);
        // The unanswered question counted as Cancel and the job stopped before its first row: the
        // existing file is untouched and no empty PDF is left behind.
        QCOMPARE(QFileInfo(existing).size(), 20);
        QCOMPARE(QDir(folder).entryList(QDir::Files, QDir::Name), QStringList({"merged.pdf", "pic.png"}));
    }
};

QObject* makeFileListJobTest() { return new FileListJobTest; }

#include "file_list_job_test.moc"
