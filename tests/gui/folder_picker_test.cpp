#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTreeView>
#include <QTest>
#include <QTimer>

#include "folder_picker.h"
#include "gui_test_support.h"

using folvane::gui::FolderPicker;

class FolderPickerTest : public QObject {
    Q_OBJECT

private slots:
    void filterListHasAllSupportThenEveryType()
    {
        QStringList texts = FolderPicker::formatFilterTexts();
        QCOMPARE(texts.size(), 64);
        QCOMPARE(texts[0], QStringLiteral("All Support"));
        QCOMPARE(texts[1], QStringLiteral("BMP"));
        QCOMPARE(texts[3], QStringLiteral("JPG"));
        QCOMPARE(texts[6], QStringLiteral("TIF"));
        QCOMPARE(texts[37], QStringLiteral("P7"));
        QCOMPARE(texts[63], QStringLiteral("XWD"));
    }

    void filterForIndexMapsToExtensions()
    {
        QCOMPARE(FolderPicker::filterForIndex(0), QStringLiteral("allsupport"));
        QCOMPARE(FolderPicker::filterForIndex(1), QStringLiteral(".bmp"));
        QCOMPARE(FolderPicker::filterForIndex(3), QStringLiteral(".jpg"));
        QCOMPARE(FolderPicker::filterForIndex(6), QStringLiteral(".tif"));
        QCOMPARE(FolderPicker::filterForIndex(63), QStringLiteral(".xwd"));
        QCOMPARE(FolderPicker::filterForIndex(64), QString());
        QCOMPARE(FolderPicker::filterForIndex(-1), QString());
    }

    void choosingAFolderReturnsItWithTheChoices()
    {
        QString folder = folvane::test::scratchFolder() + QStringLiteral("/pictures");
        QDir().mkpath(folder + QStringLiteral("/inner"));
        FolderPicker picker(nullptr, QStringLiteral("Please Select Folder"), folder, true, 0);
        QVERIFY(picker.subfolderCheck()->isChecked());
        QCOMPARE(picker.subfolderCheck()->text(), QStringLiteral(" Include Subfolder"));
        QTimer::singleShot(0, &picker, [&] {
            picker.selectFolder(folder + QStringLiteral("/inner"));
            picker.subfolderCheck()->setChecked(false);
            picker.filterCombo()->setCurrentIndex(6);
            picker.accept();
        });
        QVERIFY(picker.run());
        QCOMPARE(picker.result(), folder + QStringLiteral("/inner/"));
        QVERIFY(!picker.includeSubfolders());
        QCOMPARE(picker.filterIndex(), 6);
        QCOMPARE(FolderPicker::filterForIndex(picker.filterIndex()), QStringLiteral(".tif"));
    }

    void opensAtTheRememberedFolderAndTakesATypedPath()
    {
        QString base = folvane::test::scratchFolder() + QStringLiteral("/deep");
        for (int i = 0; i < 40; ++i)
            QDir().mkpath(base + QStringLiteral("/folder%1").arg(i, 2, 10, QLatin1Char('0')));
        QString remembered = base + QStringLiteral("/folder37");
        QString typed = base + QStringLiteral("/folder03");
        FolderPicker picker(nullptr, QStringLiteral("Please Select Folder"), remembered + QLatin1Char('/'), false, 0);
        picker.resize(400, 300);
        picker.show();
        // Selected and in view once the tree has read its folders.
        QTRY_COMPARE_WITH_TIMEOUT(picker.folderTree()->currentIndex().data(Qt::DisplayRole).toString(),
                                  QStringLiteral("folder37"), 10000);
        QTRY_VERIFY(picker.folderTree()->viewport()->rect().contains(
            picker.folderTree()->visualRect(picker.folderTree()->currentIndex()).center()));
        // The path box is there to type in; the filter list is labelled.
        QVERIFY(picker.pathEdit()->isVisible() && !picker.pathEdit()->isReadOnly());
        bool labelled = false;
        for (QLabel* label : picker.findChildren<QLabel*>())
            labelled |= label->buddy() == picker.filterCombo() && label->text().contains(QStringLiteral("Filter"));
        QVERIFY(labelled);
        picker.pathEdit()->selectAll();
        QTest::keyClicks(picker.pathEdit(), typed);
        QCOMPARE(picker.folderTree()->currentIndex().data(Qt::DisplayRole).toString(), QStringLiteral("folder03"));
        QCOMPARE(picker.pathEdit()->text(), typed);
        picker.accept();
        QCOMPARE(picker.result(), typed + QLatin1Char('/'));
    }

    void cancelReturnsFalse()
    {
        FolderPicker picker(nullptr, QStringLiteral("Please Select Folder"), QDir::tempPath(), false, 2);
        QCOMPARE(picker.filterCombo()->currentText(), QStringLiteral("GIF"));
        QTimer::singleShot(0, &picker, [&] { picker.reject(); });
        QVERIFY(!picker.run());
        QVERIFY(picker.result().isEmpty());
    }

    void aVanishedFolderGivesAnEmptyResult()
    {
        QString folder = folvane::test::scratchFolder() + QStringLiteral("/gone");
        QDir().mkpath(folder);
        FolderPicker picker(nullptr, QStringLiteral("Please Select Folder"), folder, false, 0);
        QSignalSpy removed(picker.folderTree()->model(), &QAbstractItemModel::rowsRemoved);
        QTimer::singleShot(0, &picker, [&] {
            // Let the tree notice the removal and move its current row to a neighbour first:
            // that move must not turn into the chosen folder.
            QDir(folder).removeRecursively();
            QTRY_VERIFY_WITH_TIMEOUT(removed.count() > 0, 10000);
            picker.accept();
        });
        QVERIFY(picker.run());
        QVERIFY(picker.result().isEmpty());
        QCOMPARE(picker.selectedFolder(), folder);
    }
};

QObject* makeFolderPickerTest() { return new FolderPickerTest; }

#include "folder_picker_test.moc"
