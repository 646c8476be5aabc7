#include <QDir>
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
