#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QApplication>
#include <QLabel>
#include <QSlider>
#include <QTabWidget>
#include <QTimer>
#include <QTreeWidget>
#include <QTest>

#include "gui_test_support.h"
#include "watermark_tab.h"
#include "settings_dialog.h"

using folvane::app::OutputSettings;
using folvane::app::SettingsStore;
using folvane::gui::SettingsDialog;
namespace t = folvane::test;

class SettingsDialogTest : public QObject {
    Q_OBJECT

    OutputSettings loaded()
    {
        OutputSettings settings;
        folvane::app::loadOutputSettings(SettingsStore(t::settingsPath()), settings);
        return settings;
    }

    template <typename T>
    static T* control(SettingsDialog& sheet, int tab, const char* name)
    {
        sheet.tabs()->setCurrentIndex(tab);
        T* found = sheet.page(tab)->findChild<T*>(QString::fromLatin1(name));
        if (!found)
            qFatal("no control %s", name);
        return found;
    }

    static void typeDpi(QComboBox* combo, const QString& text)
    {
        combo->lineEdit()->selectAll();
        QTest::keyClicks(combo->lineEdit(), text);
    }

private slots:
    void init() { t::removeSettings(); }

    void tabsAreInTheirOrder()
    {
        SettingsDialog sheet(loaded(), t::settingsPath());
        QStringList titles;
        for (int i = 0; i < sheet.tabs()->count(); ++i)
            titles << sheet.tabs()->tabText(i);
        QCOMPARE(titles, QStringList({"Page", "Bookmark", "Watermark", "Viewer", "Info", "Security", "Compress",
                                      "Supported Images"}));
        QCOMPARE(sheet.windowTitle(), QStringLiteral("Settings"));
    }

    void okAtOnceWritesOnlyThePageTab()
    {
        SettingsStore store(t::settingsPath());
        store.putString("title", "Kept title");
        store.putString("quality", "33");
        SettingsDialog sheet(loaded(), t::settingsPath());
        sheet.show();
        sheet.accept();
        for (const char* key : {"imgFit", "pageRotate", "xdpi", "ydpi", "layout", "border", "repeat", "order",
                                "pageSize", "mTop", "mLeft", "mRight", "mBottom"})
            QVERIFY2(t::hasKey(key), key);
        QCOMPARE(t::valueOf("xdpi"), std::string("72"));
        QCOMPARE(t::valueOf("layout"), std::string("1"));
        // The custom size is written only for a custom page.
        QVERIFY(!t::hasKey("page_W"));
        for (const char* key : {"bookmark", "header", "center", "security", "colorTif", "author"})
            QVERIFY2(!t::hasKey(key), key);
        QCOMPARE(t::valueOf("title"), std::string("Kept title"));
        QCOMPARE(t::valueOf("quality"), std::string("33"));
    }

    void cancelWritesNothing()
    {
        SettingsStore(t::settingsPath()).putString("xdpi", "300");
        std::string before = t::settingsText();
        SettingsDialog sheet(loaded(), t::settingsPath());
        sheet.show();
        for (int i = 0; i < 8; ++i)
            sheet.tabs()->setCurrentIndex(i);
        typeDpi(control<QComboBox>(sheet, 0, "xdpi"), QStringLiteral("600"));
        sheet.reject();
        QCOMPARE(t::settingsText(), before);
    }

    void runReloadsTheRecordOnlyAfterOk()
    {
        OutputSettings settings = loaded();
        SettingsStore store(t::settingsPath());
        QTimer::singleShot(0, [] {
            auto* sheet = qobject_cast<SettingsDialog*>(QApplication::activeModalWidget());
            QVERIFY(sheet);
            sheet->tabs()->setCurrentIndex(6);
            sheet->page(6)->findChild<QComboBox*>(QStringLiteral("colorTif"))->setCurrentIndex(2);
            sheet->accept();
        });
        QVERIFY(SettingsDialog::run(nullptr, settings, store));
        QCOMPARE(settings.colorCompression, folvane::app::Compression::Zip);
        QCOMPARE(t::valueOf("colorTif"), std::string("2"));
    }

    void dpiIsClampedWhenWritten_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("stored");
        QTest::newRow("30 becomes 72") << "30" << "72";
        QTest::newRow("1 becomes 72") << "1" << "72";
        QTest::newRow("71 becomes 72") << "71" << "72";
        QTest::newRow("72 stays") << "72" << "72";
        QTest::newRow("1200 stays") << "1200" << "1200";
        QTest::newRow("5000 becomes 1200") << "5000" << "1200";
        QTest::newRow("a huge number becomes 1200") << "99999999999999" << "1200";
        QTest::newRow("0 is unchanged") << "0" << "0";
        QTest::newRow("text is unchanged") << "abc" << "0";
        QTest::newRow("Remain unchanged") << "Remain unchanged" << "0";
        QTest::newRow("72(Reader)") << "72(Reader)" << "72";
        QTest::newRow("250dpi keeps its number") << "250dpi" << "250";
    }

    void dpiIsClampedWhenWritten()
    {
        QFETCH(QString, typed);
        QFETCH(QString, stored);
        SettingsDialog sheet(loaded(), t::settingsPath());
        sheet.show();
        typeDpi(control<QComboBox>(sheet, 0, "xdpi"), typed);
        sheet.accept();
        QCOMPARE(QString::fromStdString(t::valueOf("xdpi")), stored);
    }

    void storedDpiIsShownAndMissingValuesAreAdded()
    {
        OutputSettings settings = loaded();
        settings.dpiX = 250;
        settings.dpiY = 0;
        settings.pageSize = folvane::app::PageSize::Image;
        SettingsDialog sheet(settings, t::settingsPath());
        sheet.show();
        auto* x = control<QComboBox>(sheet, 0, "xdpi");
        auto* y = control<QComboBox>(sheet, 0, "ydpi");
        QCOMPARE(x->count(), 10);
        QCOMPARE(x->itemText(9), QStringLiteral("250"));
        QCOMPARE(x->currentText(), QStringLiteral("250"));
        QCOMPARE(y->currentText(), QStringLiteral("Remain unchanged"));
        QCOMPARE(y->count(), 9);
        sheet.accept();
        QCOMPARE(t::valueOf("xdpi"), std::string("250"));
        QCOMPARE(t::valueOf("ydpi"), std::string("0"));
    }

    void storedDpiOfOneIsNotShownAsAListedPrefix()
    {
        OutputSettings settings = loaded();
        settings.dpiX = 1;
        SettingsDialog sheet(settings, t::settingsPath());
        sheet.show();
        QCOMPARE(control<QComboBox>(sheet, 0, "xdpi")->currentText(), QStringLiteral("1"));
    }

    void pageSizeEnablesTheMatchingControls()
    {
        OutputSettings settings = loaded();
        settings.imagesPerPage = 4;
        settings.pageSize = folvane::app::PageSize::A4; // A4
        SettingsDialog sheet(settings, t::settingsPath());
        sheet.show();
        auto* size = control<QComboBox>(sheet, 0, "pageSize");
        QStringList layoutControls = {"fit", "stretch", "pageRotate", "layout", "orderHorizontal",
                                      "orderVertical", "repeat", "border"};
        auto enabled = [&](const QString& name) {
            return sheet.page(0)->findChild<QWidget*>(name)->isEnabled();
        };
        for (const QString& name : layoutControls)
            QVERIFY2(enabled(name), qPrintable(name));
        QVERIFY(!enabled("xdpi") && !enabled("ydpi"));
        QVERIFY(!enabled("pageWidth") && !enabled("pageHeight"));

        size->setCurrentIndex(0); // ImageSize
        for (const QString& name : layoutControls)
            QVERIFY2(!enabled(name), qPrintable(name));
        QVERIFY(enabled("xdpi") && enabled("ydpi"));

        size->setCurrentIndex(7); // Custom
        QVERIFY(enabled("pageWidth") && enabled("pageHeight"));
        QVERIFY(!enabled("xdpi"));

        // One image per page leaves nothing to order, repeat or frame.
        control<QComboBox>(sheet, 0, "layout")->setCurrentIndex(0);
        for (const char* name : {"orderHorizontal", "orderVertical", "repeat", "border"})
            QVERIFY2(!enabled(name), name);
        QVERIFY(enabled("fit"));
        control<QComboBox>(sheet, 0, "layout")->setCurrentIndex(5);
        QVERIFY(enabled("repeat"));

        auto* width = control<QLineEdit>(sheet, 0, "pageWidth");
        width->clear();
        QTest::keyClicks(width, "12a3456");
        QCOMPARE(width->text(), QStringLiteral("12345"));
        // Margins are typed as well as stepped; a value beyond the range is not taken.
        auto* top = control<QSpinBox>(sheet, 0, "mTop");
        top->setFocus();
        top->selectAll();
        QTest::keyClicks(top, "42");
        QCOMPARE(top->value(), 42);
        QTest::keyClick(top, Qt::Key_Up);
        QCOMPARE(top->value(), 43);
        top->selectAll();
        QTest::keyClicks(top, "5000");
        top->interpretText();
        QCOMPARE(top->value(), 500);
        top->selectAll();
        QTest::keyClicks(top, "43");
        sheet.accept();
        QCOMPARE(t::valueOf("mTop"), std::string("43"));
        QCOMPARE(t::valueOf("pageSize"), std::string("7"));
        QCOMPARE(t::valueOf("page_W"), std::string("12345"));
        QCOMPARE(t::valueOf("layout"), std::string("16"));
    }

    void rotationAndFitShowOnePreviewEach()
    {
        OutputSettings settings = loaded();
        settings.pageSize = folvane::app::PageSize::A3;
        settings.rotation = folvane::app::Rotation::By180;
        settings.imageFit = folvane::app::ImageFit::Stretch;
        SettingsDialog sheet(settings, t::settingsPath());
        sheet.show();
        QWidget* page = sheet.page(0);
        auto visible = [&](const QString& name) { return page->findChild<QWidget*>(name)->isVisible(); };
        QVERIFY(visible("rotatePreview180") && !visible("rotatePreview0") && !visible("rotatePreview90"));
        QVERIFY(visible("preview_stretch") && !visible("preview_fit"));
        page->findChild<QComboBox*>("pageRotate")->setCurrentIndex(3);
        QVERIFY(visible("rotatePreview270") && !visible("rotatePreview180"));
        page->findChild<QAbstractButton*>("fit")->click();
        QVERIFY(visible("preview_fit") && !visible("preview_stretch"));
    }

    void macroChosenTwiceIsAppendedTwice()
    {
        OutputSettings settings = loaded();
        settings.headerOn = 1;
        settings.headerText = "Page ";
        SettingsDialog sheet(settings, t::settingsPath());
        sheet.show();
        auto* macro = control<QComboBox>(sheet, 2, "headerMacro");
        int localTime = macro->findText(QStringLiteral("%LocalTime%"));
        QVERIFY(localTime >= 0);
        emit macro->activated(localTime);
        emit macro->activated(localTime);
        QCOMPARE(control<QLineEdit>(sheet, 2, "headerText")->text(), QStringLiteral("Page %LocalTime%%LocalTime%"));
        sheet.accept();
        QCOMPARE(t::valueOf("hWatermark"), std::string("Page %LocalTime%%LocalTime%"));
        QCOMPARE(t::valueOf("header"), std::string("1"));
    }

    void swatchOfASwitchedOffSectionOpensNothing()
    {
        OutputSettings settings = loaded();
        settings.headerOn = 0;
        settings.footerOn = 1;
        settings.footerColor = 0x0000FF; // red
        SettingsDialog sheet(settings, t::settingsPath());
        sheet.show();
        sheet.tabs()->setCurrentIndex(2);
        auto* page = qobject_cast<folvane::gui::WatermarkTab*>(sheet.page(2));
        QVERIFY(page);
        int opened = 0;
        page->setColorChooser([&](QWidget*) -> std::optional<QColor> {
            ++opened;
            return QColor(0x11, 0x22, 0x33);
        });
        auto* header = page->findChild<QWidget*>("headerSwatch");
        auto* footer = page->findChild<QWidget*>("footerSwatch");
        QTest::mouseClick(header, Qt::LeftButton);
        QCOMPARE(opened, 0);
        QTest::mouseClick(footer, Qt::LeftButton);
        QCOMPARE(opened, 1);
        // Switching the header on makes its swatch answer.
        page->findChild<QCheckBox*>("header")->setChecked(true);
        QTest::mouseClick(header, Qt::LeftButton);
        QCOMPARE(opened, 2);
        sheet.accept();
        QCOMPARE(t::valueOf("fcolor"), std::to_string(0x332211));
        QCOMPARE(t::valueOf("hcolor"), std::to_string(0x332211));
    }

    void cancelledColourDialogKeepsTheColour()
    {
        OutputSettings settings = loaded();
        settings.textWatermarkOn = 1;
        settings.watermarkColor = 0x00FF00;
        SettingsDialog sheet(settings, t::settingsPath());
        sheet.show();
        sheet.tabs()->setCurrentIndex(2);
        auto* page = qobject_cast<folvane::gui::WatermarkTab*>(sheet.page(2));
        page->setColorChooser([](QWidget*) -> std::optional<QColor> { return std::nullopt; });
        QTest::mouseClick(page->findChild<QWidget*>("textSwatch"), Qt::LeftButton);
        sheet.accept();
        QCOMPARE(t::valueOf("tcolor"), std::to_string(0x00FF00));
    }

    void imageBrowseTakesThePixelSizeFromTheEngine()
    {
        // A 3 x 2 binary PPM image, which the engine reads.
        QString image = t::scratchFolder() + QStringLiteral("/mark.ppm");
        QFile file(image);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray("P6\n3 2\n255\n") + QByteArray(18, '\x7f'));
        file.close();
        OutputSettings settings = loaded();
        settings.imageWatermarkOn = 1;
        SettingsDialog sheet(settings, t::settingsPath());
        sheet.show();
        sheet.tabs()->setCurrentIndex(2);
        auto* page = qobject_cast<folvane::gui::WatermarkTab*>(sheet.page(2));
        QString answer = image;
        page->setFileChooser([&](QWidget*) { return answer; });
        QTest::mouseClick(page->findChild<QAbstractButton*>("imageBrowse"), Qt::LeftButton);
        QCOMPARE(page->findChild<QLineEdit*>("imageText")->text(), image);
        QCOMPARE(page->findChild<QLineEdit*>("imgWidth")->text(), QStringLiteral("3"));
        QCOMPARE(page->findChild<QLineEdit*>("imgHeight")->text(), QStringLiteral("2"));
        // A file the engine cannot read leaves the size alone; a cancelled dialog changes nothing.
        answer = t::scratchFolder() + QStringLiteral("/missing.jpg");
        QTest::mouseClick(page->findChild<QAbstractButton*>("imageBrowse"), Qt::LeftButton);
        QCOMPARE(page->findChild<QLineEdit*>("imgWidth")->text(), QStringLiteral("3"));
        answer.clear();
        QTest::mouseClick(page->findChild<QAbstractButton*>("imageBrowse"), Qt::LeftButton);
        QVERIFY(page->findChild<QLineEdit*>("imageText")->text().endsWith("missing.jpg"));
    }

    void bookmarkRules()
    {
        OutputSettings settings = loaded();
        settings.bookmarksOn = 1;
        settings.bookmarkLabel = folvane::app::BookmarkLabel::FileName;
        SettingsDialog sheet(settings, t::settingsPath());
        sheet.show();
        sheet.tabs()->setCurrentIndex(1);
        QWidget* page = sheet.page(1);
        auto* add = page->findChild<QCheckBox*>("bookmark");
        auto* unit = page->findChild<QCheckBox*>("unitforfile");
        QVERIFY(unit->isEnabled());
        add->setChecked(false);
        for (int i = 0; i < 4; ++i) {
            QVERIFY(!page->findChild<QWidget*>(QStringLiteral("bookmarksel%1").arg(i))->isEnabled());
            QVERIFY(!page->findChild<QWidget*>(QStringLiteral("example%1").arg(i))->isEnabled());
        }
        // "Unit for file" follows the choice of text only.
        QVERIFY(unit->isEnabled());
        add->setChecked(true);
        page->findChild<QAbstractButton*>("bookmarksel0")->click();
        QVERIFY(!unit->isEnabled());
        page->findChild<QAbstractButton*>("bookmarksel3")->click();
        QVERIFY(unit->isEnabled());
        sheet.accept();
        QCOMPARE(t::valueOf("bookmarksel"), std::string("3"));
        QCOMPARE(t::valueOf("bookmark"), std::string("1"));
    }

    void securityRules()
    {
        OutputSettings settings = loaded();
        settings.securityOn = 0;
        settings.userPassword = "open";
        SettingsDialog sheet(settings, t::settingsPath());
        sheet.show();
        sheet.tabs()->setCurrentIndex(5);
        QWidget* page = sheet.page(5);
        const char* dependents[] = {"user", "owner", "level0", "level1", "level2", "level3", "print", "copy", "modify"};
        for (const char* name : dependents)
            QVERIFY2(!page->findChild<QWidget*>(name)->isEnabled(), name);
        page->findChild<QAbstractButton*>("security")->click();
        for (const char* name : dependents)
            QVERIFY2(page->findChild<QWidget*>(name)->isEnabled(), name);
        // A new settings file starts at 256-bit AES; the choice is written back.
        QVERIFY(page->findChild<QAbstractButton*>("level3")->isChecked());
        QCOMPARE(page->findChild<QAbstractButton*>("level2")->text(), QStringLiteral("128-bit AES"));
        page->findChild<QAbstractButton*>("level2")->click();
        page->findChild<QAbstractButton*>("print")->click();
        sheet.accept();
        QCOMPARE(t::valueOf("level"), std::string("2"));
        QCOMPARE(t::valueOf("security"), std::string("1"));
        QCOMPARE(t::valueOf("print"), std::string("1"));
        QCOMPARE(t::valueOf("user"), std::string("open"));
    }

    void passwordsAreMaskedUntilShowIsTicked()
    {
        OutputSettings settings = loaded();
        settings.securityOn = 1;
        settings.userPassword = "open";
        settings.ownerPassword = "change";
        SettingsDialog sheet(settings, t::settingsPath());
        sheet.show();
        sheet.tabs()->setCurrentIndex(5);
        QWidget* page = sheet.page(5);
        auto* user = page->findChild<QLineEdit*>("user");
        auto* owner = page->findChild<QLineEdit*>("owner");
        // What the screen shows of the fields: the masked display text, never the password.
        QVERIFY(user->displayText() != "open" && owner->displayText() != "change");
        QCOMPARE(user->displayText().size(), 4);
        auto* show = page->findChild<QAbstractButton*>("showPasswords");
        show->click();
        QCOMPARE(user->displayText(), QStringLiteral("open"));
        QCOMPARE(owner->displayText(), QStringLiteral("change"));
        show->click();
        QVERIFY(user->displayText() != "open");
        sheet.accept();
        QCOMPARE(t::valueOf("owner"), std::string("change"));
    }

    void longTextsAreWrittenWithAtMost255Bytes()
    {
        SettingsDialog sheet(loaded(), t::settingsPath());
        sheet.show();
        auto* title = control<QLineEdit>(sheet, 4, "title");
        QCOMPARE(title->maxLength(), 256);
        title->setText(QString(253, QLatin1Char('a')) + QStringLiteral("éé"));
        sheet.accept();
        std::string written = t::valueOf("title");
        QCOMPARE(written.size(), size_t(255));
        QVERIFY(written.ends_with("a\xC3\xA9")); // the second two-byte character does not fit
    }

    void compressPageShowsTheQualityAndWritesItsKeys()
    {
        OutputSettings settings = loaded();
        SettingsDialog sheet(settings, t::settingsPath());
        sheet.show();
        auto* slider = control<QSlider>(sheet, 6, "quality");
        auto* text = control<QLabel>(sheet, 6, "qualityText");
        QCOMPARE(text->text(), QStringLiteral("75%"));
        slider->setSliderDown(true);
        slider->setValue(40);
        QCOMPARE(text->text(), QStringLiteral("75%")); // not while dragging
        slider->setSliderDown(false);
        emit slider->sliderReleased();
        QCOMPARE(text->text(), QStringLiteral("40%"));
        sheet.accept();
        QCOMPARE(t::valueOf("quality"), std::string("40"));
        QCOMPARE(t::valueOf("bwTif"), std::string("4"));
    }

    void supportedImagesListsEveryType()
    {
        SettingsDialog sheet(loaded(), t::settingsPath());
        sheet.show();
        auto* list = control<QTreeWidget>(sheet, 7, "supportedList");
        QCOMPARE(list->topLevelItemCount(), 63);
        QCOMPARE(list->topLevelItem(2)->text(0), QStringLiteral("JPEG Files (*.jpg;*.jpeg)"));
        QCOMPARE(list->topLevelItem(62)->text(0), QStringLiteral("XWD Files (*.xwd)"));
        sheet.accept();
        QVERIFY(!t::hasKey("colorTif"));
    }

    void compressTabTurnsOnTheTextLayerWithItsLanguages()
    {
        SettingsDialog sheet(loaded(), t::settingsPath());
        sheet.show();
        auto* ocr = control<QCheckBox>(sheet, 6, "ocr");
        auto* languages = control<QLineEdit>(sheet, 6, "ocrLanguages");
        QVERIFY(!ocr->isChecked());
        QCOMPARE(languages->text(), QStringLiteral("eng"));
        QVERIFY(!languages->isEnabled());
        QVERIFY(control<QLabel>(sheet, 6, "ocrInstalled")->text().contains(QStringLiteral("eng")));
        ocr->click();
        QVERIFY(languages->isEnabled());
        languages->setText(QStringLiteral(" deu+eng "));
        sheet.accept();
        QCOMPARE(t::valueOf("ocr"), std::string("1"));
        QCOMPARE(t::valueOf("ocrLanguages"), std::string("deu+eng"));
    }
};

QObject* makeSettingsDialogTest() { return new SettingsDialogTest; }

#include "settings_dialog_test.moc"
