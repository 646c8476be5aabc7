#include <QApplication>
#include <QDropEvent>
#include <QMimeData>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include "app/app_paths.h"
#include "file_list.h"
#include "file_list_page_support.h"
#include "settings_dialog.h"

using folvane::gui::FileListPage;
using folvane::gui::FileList;
namespace t = folvane::test;

class FileListPageTest : public QObject {
    Q_OBJECT

    static QStringList column(const FileListPage& page, int column)
    {
        QStringList texts;
        for (size_t row = 0; row < page.fileList()->rowCount(); ++row)
            texts << page.fileList()->text(row, column);
        return texts;
    }

    static QString headerText(const FileListPage& page) { return page.fileList()->headerItem()->text(0); }

    static void addFilesThroughTheDialog(FileListPage& page, const QStringList& files)
    {
        page.setFilesChooser([files](QWidget*, const QString&, const QStringList&) { return files; });
        QTest::mouseClick(page.addButton(), Qt::LeftButton);
    }

    static std::vector<size_t> selection(const FileListPage& page) { return page.fileList()->selectedRows(); }

    static QStringList menuTexts(QMenu* menu, bool enabledOnly)
    {
        QStringList texts;
        for (QAction* action : menu->actions())
            if (!enabledOnly || (action->isEnabled() && !action->isSeparator()))
                texts << (action->isSeparator() ? QStringLiteral("|") : action->text());
        return texts;
    }

    static QAction* menuAction(QMenu* menu, const char* text)
    {
        for (QAction* action : menu->actions())
            if (action->text() == QString::fromLatin1(text))
                return action;
        return nullptr;
    }

private slots:
    void init() { t::removeSettings(); }

    void addedFilesShowSizeTypeAndTheCountHeader()
    {
        QString folder = t::freshFolder(QStringLiteral("sizes"));
        QString small = t::writeBytes(folder + QStringLiteral("/small.jpg"), 500);
        QString empty = t::writeBytes(folder + QStringLiteral("/empty.Tiff"), 0);
        QString middle = t::writeBytes(folder + QStringLiteral("/middle.png"), 1536);
        QString missing = folder + QStringLiteral("/missing.png");

        FileListPage page(t::listLocation());
        page.show();
        QCOMPARE(headerText(page), QStringLiteral("Image Files (0)"));
        QString startFolder;
        page.setFilesChooser([&](QWidget*, const QString& start, const QStringList&) {
            startFolder = start;
            return QStringList{small, empty, middle, missing, small};
        });
        QTest::mouseClick(page.addButton(), Qt::LeftButton);

        // The unreadable file is passed over silently; the same file twice gives two rows.
        QCOMPARE(column(page, 0), QStringList({small, empty, middle, small}));
        QCOMPARE(column(page, 1), QStringList({"1 KB", "0 KB", "1 KB", "1 KB"}));
        QCOMPARE(column(page, 2), QStringList({"JPG", "TIFF", "PNG", "JPG"}));
        QCOMPARE(column(page, 4), QStringList({"-", "-", "-", "-"}));
        QString merged = QString::fromStdString(folvane::app::dataFolder()) + QStringLiteral("MyPDF.pdf");
        QCOMPARE(column(page, 3), QStringList({merged, merged, merged, merged}));
        QCOMPARE(headerText(page), QStringLiteral("Image Files (4)"));
        // The last added row is the selected one, so the row buttons and Convert are usable.
        QCOMPARE(selection(page), std::vector<size_t>{3});
        QVERIFY(page.removeButton()->isEnabled());
        QVERIFY(page.convertButton()->isEnabled());
        // The dialog starts in the home folder and remembers the last file for next time.
        QCOMPARE(startFolder, QString::fromStdString(folvane::app::homeFolder()) + QLatin1Char('/'));
        QCOMPARE(QString::fromStdString(t::valueOf("OpenFile")), small);
        addFilesThroughTheDialog(page, {});
        QCOMPARE(page.fileList()->rowCount(), size_t{4});
    }

    void threeFilesOnAnEmptyListReadPdfFilesThree()
    {
        QString folder = t::freshFolder(QStringLiteral("three"));
        FileListPage page(t::listLocation());
        page.show();
        QVERIFY(!page.convertButton()->isEnabled());
        QVERIFY(!page.removeButton()->isEnabled());
        addFilesThroughTheDialog(page, {t::writeBytes(folder + "/a.bmp", 10), t::writeBytes(folder + "/b.bmp", 10),
                                        t::writeBytes(folder + "/c.bmp", 10)});
        QCOMPARE(headerText(page), QStringLiteral("Image Files (3)"));
    }

    void addFilesFiltersNameEveryType()
    {
        QStringList filters = FileListPage::addFilesFilters();
        QCOMPARE(filters.size(), 1 + 63 + 1);
        QVERIFY(filters[0].startsWith(QStringLiteral("Supported Image Files (*.bmp *.gif *.jpg *.jpeg *.png ")));
        QCOMPARE(filters[0].count(QStringLiteral("*.")), 65);
        QVERIFY(filters[0].endsWith(QStringLiteral("*.xwd)")));
        QCOMPARE(filters[1], QStringLiteral("BMP Files (*.bmp)"));
        QCOMPARE(filters[3], QStringLiteral("JPEG Files (*.jpg *.jpeg)"));
        QCOMPARE(filters[6], QStringLiteral("TIFF Files (*.tif *.tiff)"));
        QCOMPARE(filters[63], QStringLiteral("XWD Files (*.xwd)"));
        QCOMPARE(filters[64], QStringLiteral("All Files (*)"));
    }

    void addFolderTakesTheChosenTypeAndRemembersTheChoice()
    {
        QString folder = t::freshFolder(QStringLiteral("folder"));
        QDir().mkpath(folder + QStringLiteral("/sub"));
        for (const char* name : {"b.JPEG", "a.jpg", "c.png", "sub/d.jpg", "e.txt"})
            t::writeBytes(folder + QLatin1Char('/') + QLatin1String(name), 100);

        folvane::app::SettingsStore(t::settingsPath()).putString("subdir", "1");
        FileListPage page(t::listLocation());
        page.show();
        FileListPage::FolderChoice offered;
        page.setFolderChooser([&](QWidget*, FileListPage::FolderChoice& choice) {
            offered = choice;
            choice.folder = folder + QLatin1Char('/');
            choice.includeSubfolders = false;
            choice.filterIndex = 3; // JPG
            return true;
        });
        QTest::mouseClick(page.addFolderButton(), Qt::LeftButton);
        QVERIFY(offered.includeSubfolders);
        QCOMPARE(offered.filterIndex, 0);
        QCOMPARE(column(page, 0), QStringList({folder + "/a.jpg", folder + "/b.JPEG"}));
        QCOMPARE(t::valueOf("subdir"), std::string("0"));
        QCOMPARE(QString::fromStdString(t::valueOf("openDir")), folder + QLatin1Char('/'));
        QCOMPARE(headerText(page), QStringLiteral("Image Files (2)"));

        // All supported types with the subfolders; the picker opens where the last choice was.
        page.setFolderChooser([&](QWidget*, FileListPage::FolderChoice& choice) {
            offered = choice;
            choice.folder = folder + QLatin1Char('/');
            choice.includeSubfolders = true;
            choice.filterIndex = 0;
            return true;
        });
        QTest::mouseClick(page.addFolderButton(), Qt::LeftButton);
        QCOMPARE(offered.initialFolder, folder + QLatin1Char('/'));
        QVERIFY(!offered.includeSubfolders);
        QCOMPARE(column(page, 0).mid(2), QStringList({folder + "/a.jpg", folder + "/b.JPEG", folder + "/c.png",
                                                       folder + "/sub/d.jpg"}));
        QCOMPARE(t::valueOf("subdir"), std::string("1"));

        // Cancelled: nothing is added or written.
        folvane::app::SettingsStore(t::settingsPath()).putString("openDir", "/elsewhere/");
        page.setFolderChooser([](QWidget*, FileListPage::FolderChoice&) { return false; });
        QTest::mouseClick(page.addFolderButton(), Qt::LeftButton);
        QCOMPARE(page.fileList()->rowCount(), size_t{6});
        QCOMPARE(t::valueOf("openDir"), std::string("/elsewhere/"));

        // Natural order is off until chosen; once chosen it is offered again next time.
        for (const char* name : {"p10.png", "p9.png"})
            t::writeBytes(folder + QLatin1Char('/') + QLatin1String(name), 100);
        page.fileList()->removeAll();
        page.setFolderChooser([&](QWidget*, FileListPage::FolderChoice& choice) {
            offered = choice;
            choice.folder = folder + QLatin1Char('/');
            choice.includeSubfolders = false;
            choice.filterIndex = 4; // PNG
            choice.naturalOrder = true;
            return true;
        });
        QTest::mouseClick(page.addFolderButton(), Qt::LeftButton);
        QVERIFY(!offered.naturalOrder);
        QCOMPARE(column(page, 0), QStringList({folder + "/c.png", folder + "/p9.png", folder + "/p10.png"}));
        QTest::mouseClick(page.addFolderButton(), Qt::LeftButton);
        QVERIFY(offered.naturalOrder);
    }

    void droppedFoldersAddTheirImagesAndWhatCannotBeAddedIsNamed()
    {
        QString folder = t::freshFolder(QStringLiteral("drop"));
        QDir().mkpath(folder + QStringLiteral("/inner.jpg"));
        QString plain = t::writeBytes(folder + QStringLiteral("/README"), 10);
        QString text = t::writeBytes(folder + QStringLiteral("/notes.txt"), 10);
        QString picture = t::writeBytes(folder + QStringLiteral("/photo.JPG"), 10);
        QString pages = folder + QStringLiteral("/pages");
        QDir().mkpath(pages + QStringLiteral("/sub"));
        for (const char* name : {"page10.png", "page2.png", "page1.png", "notes.txt", "sub/deep.png"})
            t::writeBytes(pages + QLatin1Char('/') + QLatin1String(name), 10);

        FileListPage page(t::listLocation());
        page.show();
        // Returns the drop action the page settled on, or IgnoreAction when it refused the drop.
        auto drop = [&](const QStringList& paths, Qt::DropActions offered = Qt::CopyAction | Qt::MoveAction) {
            QList<QUrl> urls;
            for (const QString& path : paths)
                urls << QUrl::fromLocalFile(path);
            QMimeData data;
            data.setUrls(urls);
            // A file manager proposes a move when Shift is held; the page must still copy.
            QDragEnterEvent enter(QPoint(10, 10), offered, &data, Qt::LeftButton, Qt::ShiftModifier);
            QApplication::sendEvent(&page, &enter);
            if (!enter.isAccepted())
                return Qt::IgnoreAction;
            QDropEvent event(QPointF(10, 10), offered, &data, Qt::LeftButton, Qt::ShiftModifier);
            QApplication::sendEvent(&page, &event);
            return event.isAccepted() ? event.dropAction() : Qt::IgnoreAction;
        };
        QCOMPARE(drop({picture}, Qt::MoveAction), Qt::IgnoreAction);
        QCOMPARE(page.fileList()->rowCount(), size_t{0});

        QCOMPARE(drop({folder + QStringLiteral("/inner.jpg")}), Qt::CopyAction);
        QCOMPARE(page.fileList()->rowCount(), size_t{0});
        QCOMPARE(headerText(page), QStringLiteral("Image Files (0)"));
        QCOMPARE(page.statusLine()->text(), QStringLiteral("Not added: inner.jpg (holds no supported images)"));
        QVERIFY(!page.convertButton()->isEnabled());

        // A name without extension passes the supported-type test (it fails later in the job).
        QCOMPARE(drop({text, plain, folder + QStringLiteral("/gone.png"), picture}), Qt::CopyAction);
        QCOMPARE(column(page, 0), QStringList({plain, picture}));
        QCOMPARE(column(page, 2), QStringList({"", "JPG"}));
        QCOMPARE(headerText(page), QStringLiteral("Image Files (2)"));
        QVERIFY(page.convertButton()->isEnabled());
        QCOMPARE(page.statusLine()->text(),
                 QStringLiteral("Not added: notes.txt (not a supported image type); gone.png (no longer exists)"));
        QVERIFY(page.statusLine()->isVisible());

        // A folder adds its images as Add Folder does: name order, or natural order when chosen
        // there, with subfolders when chosen there.
        page.fileList()->removeAll();
        drop({pages});
        QCOMPARE(column(page, 0), QStringList({pages + "/page1.png", pages + "/page10.png", pages + "/page2.png"}));
        QVERIFY(!page.statusLine()->isVisible());
        page.fileList()->removeAll();
        t::setValue("naturalSort", "1");
        t::setValue("subdir", "1");
        drop({pages});
        QCOMPARE(column(page, 0), QStringList({pages + "/page1.png", pages + "/page2.png", pages + "/page10.png",
                                               pages + "/sub/deep.png"}));
    }

    void longPathsKeepTheFileNameVisibleWithTheFullPathAsTooltip()
    {
        QString folder = t::freshFolder(QStringLiteral("a-rather-long-folder-name/with/several/levels/below/it"));
        QString file = t::writeBytes(folder + QStringLiteral("/scan-2026-12-10-page10.png"), 10);
        FileListPage page(t::listLocation());
        page.resize(700, 400);
        page.show();
        addFilesThroughTheDialog(page, {file});
        FileList* list = page.fileList();
        QCOMPARE(list->topLevelItem(0)->toolTip(0), file);

        QFontMetrics metrics(list->font());
        for (int width : {60, 160, 260}) {
            QString shown = folvane::gui::PathDelegate::elidePath(file, metrics, width);
            QVERIFY2(metrics.horizontalAdvance(shown) <= width, qPrintable(shown));
            QVERIFY2(shown.contains(QChar(0x2026)), qPrintable(shown));
            if (width >= 260) {
                QVERIFY2(shown.endsWith(QStringLiteral("/scan-2026-12-10-page10.png")), qPrintable(shown));
                QVERIFY2(shown.startsWith(QStringLiteral("/")), qPrintable(shown));
            }
        }
        QCOMPARE(folvane::gui::PathDelegate::elidePath(file, metrics, 5000), file);
        QVERIFY(dynamic_cast<folvane::gui::PathDelegate*>(list->itemDelegateForColumn(0)));
    }

    void upAndDownMoveTheSelectedRowsWithTheirFields()
    {
        QString folder = t::freshFolder(QStringLiteral("move"));
        FileListPage page(t::listLocation());
        page.show();
        addFilesThroughTheDialog(page, {t::writeBytes(folder + "/0.png", 10), t::writeBytes(folder + "/1.png", 2048),
                                        t::writeBytes(folder + "/2.png", 4096)});
        FileList* list = page.fileList();
        list->selectRows({1, 2});
        QTest::mouseClick(page.upButton(), Qt::LeftButton);
        QCOMPARE(column(page, 0), QStringList({folder + "/1.png", folder + "/2.png", folder + "/0.png"}));
        QCOMPARE(column(page, 1), QStringList({"2 KB", "4 KB", "1 KB"}));
        QCOMPARE(selection(page), (std::vector<size_t>{0, 1}));
        QCOMPARE(list->row(2).path, (folder + "/0.png").toStdString());

        // The first selected row is at the top: nothing moves.
        QTest::mouseClick(page.upButton(), Qt::LeftButton);
        QCOMPARE(column(page, 0), QStringList({folder + "/1.png", folder + "/2.png", folder + "/0.png"}));
        QCOMPARE(selection(page), (std::vector<size_t>{0, 1}));

        list->selectOnly(2);
        QTest::mouseClick(page.downButton(), Qt::LeftButton);
        QCOMPARE(column(page, 0), QStringList({folder + "/1.png", folder + "/2.png", folder + "/0.png"}));
        QCOMPARE(selection(page), std::vector<size_t>{2});

        // Rows 0 and 2 selected: the last selected row is at the bottom, so nothing moves.
        list->selectRows({0, 2});
        QTest::mouseClick(page.downButton(), Qt::LeftButton);
        QCOMPARE(column(page, 0), QStringList({folder + "/1.png", folder + "/2.png", folder + "/0.png"}));
        list->selectRows({0, 1});
        QTest::mouseClick(page.downButton(), Qt::LeftButton);
        QCOMPARE(column(page, 0), QStringList({folder + "/0.png", folder + "/1.png", folder + "/2.png"}));
        QCOMPARE(selection(page), (std::vector<size_t>{1, 2}));
    }

    void removingOneRowAsksNothingAndSeveralAskOnce()
    {
        QString folder = t::freshFolder(QStringLiteral("remove"));
        FileListPage page(t::listLocation());
        t::MessageLog messages;
        messages.attach(page);
        page.show();
        QStringList files;
        for (int i = 0; i < 5; ++i)
            files << t::writeBytes(folder + QStringLiteral("/%1.gif").arg(i), 10);
        addFilesThroughTheDialog(page, files);

        page.fileList()->selectOnly(2);
        QTest::mouseClick(page.removeButton(), Qt::LeftButton);
        QVERIFY(messages.shown.empty());
        QCOMPARE(column(page, 0), QStringList({files[0], files[1], files[3], files[4]}));
        QCOMPARE(selection(page), std::vector<size_t>{1}); // the row before the removed one
        QCOMPARE(headerText(page), QStringLiteral("Image Files (4)"));

        page.fileList()->selectRows({2, 3});
        messages.answer = QMessageBox::Cancel;
        QTest::keyClick(page.fileList(), Qt::Key_Delete);
        QCOMPARE(messages.shown.size(), size_t{1});
        QCOMPARE(messages.shown[0].text, FileListPage::kRemoveText);
        QCOMPARE(messages.shown[0].buttons, QMessageBox::Ok | QMessageBox::Cancel);
        QCOMPARE(messages.shown[0].icon, QMessageBox::Warning);
        QCOMPARE(page.fileList()->rowCount(), size_t{4});

        messages.answer = QMessageBox::Ok;
        QTest::mouseClick(page.removeButton(), Qt::LeftButton);
        QCOMPARE(messages.shown.size(), size_t{2});
        QCOMPARE(column(page, 0), QStringList({files[0], files[1]}));
        QCOMPARE(selection(page), std::vector<size_t>{1});

        // The first row removed: row 0 becomes the selected row; the last removed: all disabled.
        page.fileList()->selectOnly(0);
        QTest::mouseClick(page.removeButton(), Qt::LeftButton);
        QCOMPARE(selection(page), std::vector<size_t>{0});
        QTest::mouseClick(page.removeButton(), Qt::LeftButton);
        QCOMPARE(page.fileList()->rowCount(), size_t{0});
        QCOMPARE(headerText(page), QStringLiteral("Image Files (0)"));
        for (QPushButton* button : {page.removeButton(), page.upButton(), page.downButton(), page.convertButton()})
            QVERIFY(!button->isEnabled());
        QCOMPARE(messages.shown.size(), size_t{2});
    }

    void contextMenuItemsFollowRowsAndSelection()
    {
        QString folder = t::freshFolder(QStringLiteral("menu"));
        FileListPage page(t::listLocation());
        t::MessageLog messages;
        messages.attach(page);
        QStringList opened;
        page.setOpener([&](const QString& target) { opened << target; });
        page.show();
        std::unique_ptr<QMenu> menu(page.fileList()->makeContextMenu(&page));
        QCOMPARE(menuTexts(menu.get(), false),
                 QStringList({"Add Files...", "Add Folder...", "|", "Remove",
                              "Clear All", "|", "Up", "Down", "|", "Select All", "|",
                              "Open Source File", "Open Output"}));
        QCOMPARE(menuTexts(menu.get(), true),
                 QStringList({"Add Files...", "Add Folder...", "Open Source File", "Open Output"}));

        addFilesThroughTheDialog(page, {t::writeBytes(folder + "/x.png", 10), t::writeBytes(folder + "/y.png", 10)});
        page.fileList()->clearSelection();
        QVERIFY(!page.removeButton()->isEnabled());
        menu.reset(page.fileList()->makeContextMenu(&page));
        QCOMPARE(menuTexts(menu.get(), true),
                 QStringList({"Add Files...", "Add Folder...", "Clear All", "Select All",
                              "Open Source File", "Open Output"}));
        menuAction(menu.get(), FileList::kSelectAllItem)->trigger();
        QCOMPARE(selection(page), (std::vector<size_t>{0, 1}));
        QVERIFY(page.removeButton()->isEnabled() && page.upButton()->isEnabled() && page.downButton()->isEnabled());

        menu.reset(page.fileList()->makeContextMenu(&page));
        menuAction(menu.get(), FileList::kOpenSourceItem)->trigger();
        menuAction(menu.get(), FileList::kOpenOutputItem)->trigger();
        QCOMPARE(opened, QStringList({folder + "/x.png", QString::fromStdString(folvane::app::dataFolder())}));

        page.fileList()->clearSelection();
        QTest::keyClick(page.fileList(), Qt::Key_A, Qt::ControlModifier);
        QCOMPARE(selection(page), (std::vector<size_t>{0, 1}));

        messages.answer = QMessageBox::Cancel;
        menuAction(menu.get(), FileList::kClearAllItem)->trigger();
        QCOMPARE(page.fileList()->rowCount(), size_t{2});
        messages.answer = QMessageBox::Ok;
        menuAction(menu.get(), FileList::kClearAllItem)->trigger();
        QCOMPARE(messages.shown.size(), size_t{2});
        QCOMPARE(messages.shown[1].text, FileListPage::kClearText);
        QCOMPARE(page.fileList()->rowCount(), size_t{0});
        QCOMPARE(headerText(page), QStringLiteral("Image Files (0)"));
        QVERIFY(!page.convertButton()->isEnabled());
    }

    void convertWithoutRowsTellsTheUser()
    {
        FileListPage page(t::listLocation());
        t::MessageLog messages;
        messages.attach(page);
        QSignalSpy states(&page, &FileListPage::jobState);
        page.show();
        page.convert();
        QCOMPARE(messages.shown.size(), size_t{1});
        QCOMPARE(messages.shown[0].text, QStringLiteral("Can't convert, please add files first!"));
        QCOMPARE(messages.shown[0].icon, QMessageBox::Critical);
        QVERIFY(!page.converting());
        QCOMPARE(states.count(), 0);
    }

    void showingReadsTheOutputKeysAndHidingWritesThem()
    {
        QString home = QString::fromStdString(folvane::app::homeFolder());
        QDir(home + QStringLiteral("/Quillmar")).removeRecursively();
        QString dataFolder = QString::fromStdString(folvane::app::dataFolder());
        QCOMPARE(dataFolder, home + QStringLiteral("/Quillmar/Folvane/"));
        {
            FileListPage page(t::listLocation());
            page.show();
            QVERIFY(page.modeRadio(0)->isChecked());
            QCOMPARE(page.outputEdit()->text(), dataFolder + QStringLiteral("MyPDF.pdf"));
            QVERIFY(QDir(dataFolder).exists());
            page.hide();
            QCOMPARE(t::valueOf("outMode"), std::string("0"));
            QCOMPARE(QString::fromStdString(t::valueOf("outPath1")), dataFolder);
        }
        folvane::app::SettingsStore store(t::settingsPath());
        store.putString("outMode", "-3");
        store.putString("outPath0", "");
        store.putString("outPath2", "/srv/pdf/");
        FileListPage page(t::listLocation());
        page.show();
        QCOMPARE(page.mode(), 0);
        QCOMPARE(page.outputEdit()->text(), dataFolder + QStringLiteral("MyPDF.pdf"));
        QTest::mouseClick(page.modeRadio(2), Qt::LeftButton);
        QCOMPARE(page.outputEdit()->text(), QStringLiteral("/srv/pdf/"));
        page.hide();
        QCOMPARE(t::valueOf("outMode"), std::string("2"));
        QCOMPARE(QString::fromStdString(t::valueOf("outPath0")), dataFolder + QStringLiteral("MyPDF.pdf"));

        store.putString("outMode", "1");
        page.show();
        QVERIFY(page.modeRadio(1)->isChecked());
        QCOMPARE(page.outputEdit()->text(), dataFolder);
    }

    void modeAndOutputChoicesRecomputePlannedNames()
    {
        QString folder = t::freshFolder(QStringLiteral("modes"));
        QDir().mkpath(folder + QStringLiteral("/album"));
        FileListPage page(t::listLocation());
        page.show();
        QString image = t::writeBytes(folder + QStringLiteral("/album/beach.photo.png"), 10);
        addFilesThroughTheDialog(page, {image});
        QString chosen;
        int chooserMode = -1;
        page.setOutputChooser([&](QWidget*, int mode, const QString&) {
            chooserMode = mode;
            return chosen;
        });
        chosen = folder + QStringLiteral("/report");
        QTest::mouseClick(page.outputBrowseButton(), Qt::LeftButton);
        QCOMPARE(chooserMode, 0);
        QCOMPARE(page.outputEdit()->text(), folder + QStringLiteral("/report.pdf"));
        QCOMPARE(page.fileList()->text(0, 3), folder + QStringLiteral("/report.pdf"));

        QTest::mouseClick(page.modeRadio(1), Qt::LeftButton);
        chosen = folder + QStringLiteral("/out");
        QTest::mouseClick(page.outputBrowseButton(), Qt::LeftButton);
        QCOMPARE(chooserMode, 1);
        QCOMPARE(page.outputEdit()->text(), folder + QStringLiteral("/out/"));
        QCOMPARE(page.fileList()->text(0, 3), folder + QStringLiteral("/out/beach.photo.pdf"));

        QTest::mouseClick(page.modeRadio(2), Qt::LeftButton);
        chosen.clear(); // cancelled
        QTest::mouseClick(page.outputBrowseButton(), Qt::LeftButton);
        QString perFolder = QString::fromStdString(folvane::app::dataFolder());
        QCOMPARE(page.outputEdit()->text(), perFolder);
        QCOMPARE(page.fileList()->text(0, 3), perFolder + QStringLiteral("album.pdf"));

        QStringList opened;
        page.setOpener([&](const QString& target) { opened << target; });
        QTest::mouseClick(page.openButton(), Qt::LeftButton);
        QCOMPARE(opened, QStringList{perFolder});

        page.hide();
        QCOMPARE(QString::fromStdString(t::valueOf("outPath0")), folder + QStringLiteral("/report.pdf"));
        QCOMPARE(QString::fromStdString(t::valueOf("outPath1")), folder + QStringLiteral("/out/"));
    }

    void settingsOpensTheSheetAndReloadsAfterOk()
    {
        folvane::app::SettingsStore store(t::settingsPath());
        FileListPage page(t::listLocation());
        page.show();
        QCOMPARE(page.outputSettings().jpegQuality, 75);
        QStringList tabs;
        bool accept = false;
        auto answerSheet = [&] {
            auto* sheet = qobject_cast<folvane::gui::SettingsDialog*>(QApplication::activeModalWidget());
            QVERIFY(sheet);
            tabs.clear();
            for (int i = 0; i < sheet->tabs()->count(); ++i)
                tabs << sheet->tabs()->tabText(i);
            // Written behind the sheet's back: only a reload after OK brings it into the page.
            store.putString("quality", accept ? "33" : "50");
            accept ? sheet->accept() : sheet->reject();
        };
        QTimer::singleShot(0, &page, answerSheet);
        QTest::mouseClick(page.settingsButton(), Qt::LeftButton);
        QCOMPARE(tabs, QStringList({"Page", "Bookmark", "Watermark", "Viewer", "Info", "Security", "Compress",
                                    "Supported Images"}));
        QCOMPARE(page.outputSettings().jpegQuality, 75);

        accept = true;
        QTimer::singleShot(0, &page, answerSheet);
        QTest::mouseClick(page.settingsButton(), Qt::LeftButton);
        QCOMPARE(page.outputSettings().jpegQuality, 33);
    }
};

QObject* makeFileListPageTest() { return new FileListPageTest; }

#include "file_list_page_test.moc"
