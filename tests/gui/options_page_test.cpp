#include <QTest>

#include "app/settings_location.h"
#include "gui_test_support.h"
#include "options_page.h"

using folvane::gui::OptionsPage;
namespace t = folvane::test;

class OptionsPageTest : public QObject {
    Q_OBJECT

    folvane::app::SettingsLocation location() { return {t::settingsPath(), false}; }

private slots:
    void init() { t::removeSettings(); }

    void emptyLogFolderShowsTheDefaultAndLeavingWritesIt()
    {
        QString expected = QString::fromStdString(folvane::app::defaultLogFolder(location()));
        QVERIFY(expected.startsWith(t::scratchFolder())); // from XDG_DATA_HOME, never the real home
        QVERIFY(expected.endsWith(QStringLiteral("/Folvane/")));
        {
            OptionsPage page(location());
            page.show();
            QCOMPARE(page.logFolderEdit()->text(), expected);
            QCOMPARE(page.afterCombo()->currentText(), QStringLiteral("Do Nothing"));
            QCOMPARE(page.existsCombo()->currentText(), QStringLiteral("Create new file"));
            QCOMPARE(page.priorityCombo()->currentText(), QStringLiteral("Normal"));
            page.hide();
            QCOMPARE(QString::fromStdString(t::valueOf("logpath")), expected);
            QCOMPARE(t::valueOf("exists"), std::string("2"));
            QCOMPARE(t::valueOf("log"), std::string("0"));
        }
    }

    void recordLogEnablesTheFolderControls()
    {
        OptionsPage page(location());
        page.show();
        QVERIFY(!page.logFolderEdit()->isEnabled());
        QVERIFY(!page.browseButton()->isEnabled());
        page.logCheck()->click();
        QVERIFY(page.logFolderEdit()->isEnabled());
        QVERIFY(page.browseButton()->isEnabled());
        page.logCheck()->click();
        QVERIFY(!page.logFolderEdit()->isEnabled());
    }

    void browseReplacesTheFolderWithoutItsTrailingSlash()
    {
        OptionsPage page(location());
        page.show();
        page.logCheck()->click();
        QString answer = t::scratchFolder() + QStringLiteral("/logs/");
        page.setFolderChooser([&](QWidget*) { return answer; });
        QTest::mouseClick(page.browseButton(), Qt::LeftButton);
        QCOMPARE(page.logFolderEdit()->text(), t::scratchFolder() + QStringLiteral("/logs"));
        answer.clear(); // cancelled
        QTest::mouseClick(page.browseButton(), Qt::LeftButton);
        QCOMPARE(page.logFolderEdit()->text(), t::scratchFolder() + QStringLiteral("/logs"));
        page.priorityCombo()->setCurrentIndex(4); // High
        page.hide();
        QCOMPARE(t::valueOf("priority"), std::string("4"));
        QCOMPARE(t::valueOf("log"), std::string("1"));
        QCOMPARE(QString::fromStdString(t::valueOf("logpath")), t::scratchFolder() + QStringLiteral("/logs"));
    }

    void showingReloadsWhatOthersWrote()
    {
        OptionsPage page(location());
        page.show();
        page.hide();
        folvane::app::SettingsStore store(t::settingsPath());
        store.putString("after", "6");
        store.putString("log", "1");
        store.putString("logpath", "/var/tmp/folvane-logs/");
        page.show();
        QCOMPARE(page.afterCombo()->currentText(), QStringLiteral("Open Output"));
        QVERIFY(page.logCheck()->isChecked());
        QVERIFY(page.browseButton()->isEnabled());
        QCOMPARE(page.logFolderEdit()->text(), QStringLiteral("/var/tmp/folvane-logs/"));
    }

    void destroyingThePageSavesIt()
    {
        {
            OptionsPage page(location());
            page.existsCombo()->setCurrentIndex(3);
        }
        QCOMPARE(t::valueOf("exists"), std::string("3"));
    }
};

QObject* makeOptionsPageTest() { return new OptionsPageTest; }

#include "options_page_test.moc"
