#include "app/output_settings.h"

#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "support/test_support.h"

using folvane::app::loadOutputSettings;
using folvane::app::outputSettingKeys;
using folvane::app::saveOutputSettings;
using folvane::app::SettingSpec;
using folvane::app::OutputSettings;
using folvane::app::OutputSettingsReader;
using folvane::app::SettingsStore;
using folvane::test::scratchDir;
using folvane::test::writeFileBytes;

using namespace folvane::app; // the choices' enums

namespace {

// A record whose every field holds something other than a default.
OutputSettings filledRecord()
{
    OutputSettings s;
    for (const SettingSpec* key : outputSettingKeys())
        key->assign(s, key->isText ? "stale" : "-77");
    return s;
}

// The key names of a settings file's lines, in file order.
std::vector<std::string> keysOfFile(const std::string& text)
{
    std::vector<std::string> keys;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line))
        if (size_t equals = line.find('='); equals != std::string::npos)
            keys.push_back(line.substr(0, equals));
    return keys;
}

TEST(OutputSettings, SavingWritesEveryKeyInRecordOrderAndLoadsBackTheSameValues)
{
    const std::vector<std::string> expected = {
        "colorTif", "grayTif", "bwTif", "bSkew", "quality", "imgFit", "pageRotate", "pageSize",
        "page_W", "page_H", "xdpi", "ydpi", "mTop", "mLeft", "mRight", "mBottom", "layout", "order",
        "repeat", "border", "header", "hWatermark", "hpos", "hcolor", "footer", "fWatermark", "fpos",
        "fcolor", "text", "tWatermark", "tpos", "tsize", "tcolor", "image", "imgWatermark", "imgpos",
        "imgWidth", "imgHeight", "security", "copy", "print", "modify", "level", "user", "owner",
        "document", "zoom", "resize", "center", "fullscreen", "hideMenu", "hideTool", "hideControl",
        "bookmark", "bookmarksel", "unitforfile", "title", "subject", "author", "keywords", "creator",
        "producer", "autoOrient", "lossless", "skewMethod", "ocr", "ocrLanguages"};
    // Every key a value of its own, so two keys sharing a field would show.
    OutputSettings written;
    int counter = 0;
    for (const SettingSpec* key : outputSettingKeys()) {
        ++counter;
        key->assign(written, key->isText ? "text " + std::to_string(counter) : std::to_string(counter));
    }
    auto path = scratchDir() / "Settings.ini";
    SettingsStore store(path.string());
    ASSERT_TRUE(saveOutputSettings(store, written));
    EXPECT_EQ(keysOfFile(folvane::test::readFileBytes(path)), expected);

    OutputSettings read = filledRecord();
    loadOutputSettings(store, read);
    EXPECT_EQ(read.colorCompression, Compression::Lzw);
    EXPECT_EQ(read.pageWidthPt, 9);
    EXPECT_EQ(read.headerText, "text 22");
    EXPECT_EQ(read.ownerPassword, "text 45");
    EXPECT_EQ(read.bookmarkPerFile, 56);
    EXPECT_EQ(read.recognitionLanguages, "text 67");
    for (const SettingSpec* key : outputSettingKeys())
        EXPECT_EQ(key->valueIn(read), key->valueIn(written)) << key->key;
}

TEST(OutputSettings, SavingNamedKeysRewritesOnlyThoseInTheGivenOrder)
{
    auto path = scratchDir() / "Settings.ini";
    writeFileBytes(path, "[Settings]\nquality=75\ntitle=Old\n");
    SettingsStore store(path.string());
    OutputSettings s;
    s.jpegQuality = 40;
    s.title = "New";
    s.hideMenubar = 1;
    const std::string_view keys[] = {"hidemenu", "title"};
    ASSERT_TRUE(saveOutputSettings(store, s, keys));
    EXPECT_EQ(folvane::test::readFileBytes(path), "[Settings]\nquality=75\ntitle=New\nhidemenu=1\n");
}

TEST(OutputSettings, WithoutAFileEveryFieldHoldsItsDefault)
{
    SettingsStore store((scratchDir() / "Settings.ini").string());
    OutputSettings s = filledRecord();
    loadOutputSettings(store, s);
    EXPECT_EQ(s.colorCompression, Compression::Jpeg);
    EXPECT_EQ(s.grayCompression, Compression::Jpeg);
    EXPECT_EQ(s.bwCompression, BwCompression::Group4);
    EXPECT_EQ(s.skewCorrection, 0);
    EXPECT_EQ(s.jpegQuality, 75);
    EXPECT_EQ(s.imageFit, ImageFit::KeepProportions);
    EXPECT_EQ(s.rotation, Rotation::None);
    EXPECT_EQ(s.pageSize, PageSize::Image);
    EXPECT_EQ(s.pageWidthPt, 0);
    EXPECT_EQ(s.pageHeightPt, 0);
    EXPECT_EQ(s.dpiX, 72);
    EXPECT_EQ(s.dpiY, 72);
    EXPECT_EQ(s.marginTopPt + s.marginLeftPt + s.marginRightPt + s.marginBottomPt, 0);
    EXPECT_EQ(s.imagesPerPage, 1);
    EXPECT_EQ(s.cellOrder, CellOrder::Horizontal);
    EXPECT_EQ(s.repeatImage + s.cellBorders, 0);
    EXPECT_EQ(s.headerOn + s.headerColor + s.footerOn + s.footerColor + s.textWatermarkOn + s.watermarkColor + s.imageWatermarkOn, 0);
    EXPECT_EQ(s.headerPosition, Alignment::Left);
    EXPECT_EQ(s.footerPosition, Alignment::Left);
    EXPECT_EQ(s.watermarkPosition, Position::Center);
    EXPECT_EQ(s.watermarkTextSizePt, 12);
    EXPECT_EQ(s.watermarkImagePosition, Position::Center);
    EXPECT_EQ(s.watermarkImageWidthPt, 100);
    EXPECT_EQ(s.watermarkImageHeightPt, 100);
    EXPECT_EQ(s.securityOn + s.allowCopy + s.allowPrint + s.allowModify, 0);
    EXPECT_EQ(s.securityLevel, SecurityLevel::Aes256) << "256-bit AES for a new settings file";
    EXPECT_EQ(s.openPanel, OpenPanel::PageOnly);
    EXPECT_EQ(s.openZoom, OpenZoom::FitWidth);
    EXPECT_EQ(s.fitWindow + s.centerWindow + s.fullScreen, 0);
    EXPECT_EQ(s.hideMenubar + s.hideToolbar + s.hideWindowControls, 0);
    EXPECT_EQ(s.bookmarkLabel, BookmarkLabel::PageNumber);
    EXPECT_EQ(s.bookmarksOn + s.bookmarkPerFile, 0);
    for (const std::string* text : {&s.headerText, &s.footerText, &s.watermarkText, &s.watermarkImagePath, &s.userPassword,
                                    &s.ownerPassword, &s.title, &s.subject, &s.author, &s.keywords, &s.creator,
                                    &s.producer})
        EXPECT_EQ(*text, "");
}

TEST(OutputSettings, EveryKeyOfTheFileReachesItsField)
{
    auto path = scratchDir() / "Settings.ini";
    SettingsStore store(path.string());
    std::vector<std::string> values;
    for (const SettingSpec* key : outputSettingKeys())
        values.push_back((key->isText ? "text " : "10") + std::to_string(values.size() + 1));
    std::vector<SettingsStore::Entry> entries;
    for (size_t i = 0; i < values.size(); ++i)
        entries.push_back({outputSettingKeys()[i]->key, values[i]});
    store.putStrings(entries);
    OutputSettings s;
    loadOutputSettings(store, s);
    EXPECT_EQ(static_cast<int>(s.colorCompression), 101); // kept as read, even outside the choices
    EXPECT_EQ(s.pageWidthPt, 109);
    EXPECT_EQ(s.headerText, "text 22");
    EXPECT_EQ(s.allowCopy, 1040);
    EXPECT_EQ(s.ownerPassword, "text 45");
    EXPECT_EQ(s.bookmarkPerFile, 1056);
    EXPECT_EQ(s.producer, "text 62");
}

TEST(OutputSettings, TheWatchFolderReaderLeavesTheProducerEmpty)
{
    auto path = scratchDir() / "Settings.ini";
    writeFileBytes(path, "[Settings]\nproducer=Scanner Suite\ncreator=Scan Tool\nhidemenu=1\ntitle=" +
                             std::string(400, 't') + "\n");
    SettingsStore store(path.string());

    OutputSettings list = filledRecord();
    loadOutputSettings(store, list, OutputSettingsReader::FileList);
    EXPECT_EQ(list.producer, "Scanner Suite");
    EXPECT_EQ(list.hideMenubar, 1); // written in lower case, read as the same key
    EXPECT_EQ(list.title, std::string(255, 't'));

    OutputSettings watch = filledRecord();
    loadOutputSettings(store, watch, OutputSettingsReader::WatchFolder);
    EXPECT_EQ(watch.producer, "");
    EXPECT_EQ(watch.creator, "Scan Tool");
    EXPECT_EQ(watch.jpegQuality, 75);
    EXPECT_EQ(watch.subject, "");
}

} // namespace
