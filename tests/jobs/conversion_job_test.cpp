// The conversion job on image files the test writes: statuses, observer updates, log records,
// the PDFs left behind, and the failures real conditions cause.

#include "jobs/conversion_job.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "job_fixture.h"
#include "layout/document_settings.h"

namespace folvane::jobs {
namespace {

namespace fs = std::filesystem;
using test::bmpFile;
using test::fileRows;
using test::logLines;
using test::statuses;

// A three-page TIFF whose second page points at strip data beyond the end of the file.
std::string tiffWithDamagedMiddlePage(const fs::path& path)
{
    test::TiffPage page;
    page.width = 32;
    page.height = 24;
    page.value = [](int x, int y, int) { return static_cast<uint8_t>(x * 7 + y * 3); };
    test::writeTiff(path, {page, page, page});
    std::string bytes = test::readFileBytes(path);
    auto u16 = [&](size_t at) { return uint32_t(uint8_t(bytes[at])) | uint32_t(uint8_t(bytes[at + 1])) << 8; };
    auto u32 = [&](size_t at) { return u16(at) | u16(at + 2) << 16; };
    if (bytes.substr(0, 2) != "II") {
        ADD_FAILURE() << "not a little-endian TIFF";
        return path.string();
    }
    size_t ifd = u32(u32(4) + 2 + 12 * u16(u32(4))); // the second directory
    for (uint32_t i = 0; i < u16(ifd); ++i) {
        size_t entry = ifd + 2 + 12 * i;
        if (u16(entry) == 273) // StripOffsets
            std::memcpy(&bytes[entry + 8], "\x00\x00\x00\x7f", 4);
    }
    test::writeFileBytes(path, bytes);
    return path.string();
}

class ConversionJobTest : public test::PdfTest {
protected:
    void SetUp() override
    {
        dir = test::scratchDir();
        out = dir / "out";
        fs::create_directories(out / "img");
        fs::create_directories(out / "dir");
        fs::create_directories(dir / "in");
        settings.paths = {(out / "MyPDF.pdf").string(), (out / "img/").string(), (out / "dir/").string()};
        settings.output.bookmarksOn = 0;
        settings.output.imagesPerPage = 1;
        settings.output.jpegQuality = 75;
        state.log.setSettings({true, (dir / "logs/").string()});
        state.log.setClock([] { return std::time_t {1401440707}; });
    }

    // Every PDF the job left in the output folders must pass qpdf --check.
    void TearDown() override
    {
        if (fs::exists(out))
            for (const auto& entry : fs::recursive_directory_iterator(out))
                if (entry.is_regular_file() && entry.path().extension() == ".pdf")
                    pdfPath(fs::relative(entry.path(), dir).string());
        test::PdfTest::TearDown();
    }

    std::string in(const std::string& name) { return (dir / "in" / name).string(); }
    std::string image(const std::string& name, int width = 40, int height = 30) { return bmpFile(in(name), width, height); }

    JobReport run(std::vector<FileRow>& rows, int mode, int policy = kCreateNewFile)
    {
        settings.mode = mode;
        if (!beginJob(state, rows, mode, policy, observer))
            return {};
        JobContext context = test::jobContext(observer, actions, [this] { return afterAction; });
        return runJob(state, rows, settings, context);
    }

    std::vector<std::string> log() const { return logLines(test::readFileBytes(state.log.currentLogFilePath())); }

    fs::path dir;
    fs::path out;
    test::RecordingObserver observer;
    test::FakeSystemActions actions;
    JobState state;
    JobSettings settings;
    int afterAction = 0;
};

TEST_F(ConversionJobTest, MergeKeepsGoingPastABadFileAndLogsItsRecordSequence)
{
    auto rows = fileRows({image("a.bmp"), test::damagedFile(in("bad.jpg")), image("c.bmp", 30, 40)});
    JobReport report = run(rows, kMergeMode);

    EXPECT_EQ(statuses(rows), (std::vector<std::string> {"Succeed", "Failed", "Succeed"}));
    ASSERT_EQ(report.outputs.size(), 1u);
    EXPECT_TRUE(report.outputs[0].written);
    EXPECT_EQ(test::pageShapes(settings.paths.merged), "LP") << "the good images, in list order";
    EXPECT_TRUE(observer.saw("output " + settings.paths.merged));

    std::vector<std::string> lines = log();
    std::vector<std::string> expected = {"[Time]: 2014/05/",          "[Output]: " + settings.paths.merged,
                                         "[Input]: " + rows[0].path, "[State]: Succeed",
                                         "[Input]: " + rows[1].path, "[State]: Failed",
                                         "[Reason]: " + rows[1].failure,
                                         "[Input]: " + rows[2].path, "[State]: Succeed"};
    // The hour is that of the local time zone; compare the records without the time.
    ASSERT_EQ(lines.size(), expected.size());
    EXPECT_EQ(lines[0].rfind(expected[0], 0), 0u);
    EXPECT_FALSE(rows[1].failure.empty());
    for (size_t i = 1; i < lines.size(); ++i)
        EXPECT_EQ(lines[i], expected[i]);
    EXPECT_TRUE(state.log.text().empty());
    EXPECT_EQ(state.converting.load(), 0);
    EXPECT_EQ(observer.events.front(), "started");
    EXPECT_EQ(observer.events.back(), "ended");
}

TEST_F(ConversionJobTest, OutputThatCannotBeCreatedLeavesRowsUntouched)
{
    test::writeFileBytes(out / "plain-file", "x");
    settings.paths.merged = (out / "plain-file/MyPDF.pdf").string(); // a folder that is a file
    auto rows = fileRows({image("a.bmp"), image("b.bmp")});
    JobReport report = run(rows, kMergeMode);
    EXPECT_EQ(statuses(rows), (std::vector<std::string> {"-", "-"}));
    ASSERT_EQ(report.outputs.size(), 1u);
    EXPECT_FALSE(report.outputs[0].created);
    std::vector<std::string> lines = log();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[2], "[State]: Create Failed");
}

// A frame that could not be read fails its file even when the frames after it made pages.
TEST_F(ConversionJobTest, FileWithoutFramesFailsAndAFailedFrameFailsItsFile)
{
    test::writeFileBytes(in("empty.tif"), "");
    auto rows = fileRows({tiffWithDamagedMiddlePage(in("three.tif")), in("empty.tif"), image("good.bmp")});
    run(rows, kMergeMode);
    EXPECT_EQ(statuses(rows), (std::vector<std::string> {"Failed", "Failed", "Succeed"}));
    EXPECT_EQ(test::qpdfPageCount(settings.paths.merged), 3) << "the two readable frames and the good image";
}

TEST_F(ConversionJobTest, StopDuringAMultiFrameFileTakesEffectAfterItsLastFrame)
{
    test::TiffPage page;
    page.width = 32;
    page.height = 24;
    page.value = [](int x, int, int) { return static_cast<uint8_t>(x * 8); };
    test::writeTiff(in("pages.tif"), {page, page, page});
    // The stop comes while the job takes its first row (the selection after the job is not one).
    bool stopAsked = false;
    observer.onSelect = [&](size_t) {
        if (!stopAsked)
            state.stopRequested = 1;
        stopAsked = true;
    };
    afterAction = 6;
    auto rows = fileRows({in("pages.tif"), image("next.bmp")});
    JobReport report = run(rows, kMergeMode);

    EXPECT_TRUE(report.stopped);
    EXPECT_EQ(test::qpdfPageCount(settings.paths.merged), 3);
    EXPECT_EQ(statuses(rows), (std::vector<std::string> {"Succeed", "-"}));
    EXPECT_TRUE(actions.calls.empty()) << "a stopped job runs no after-conversion action";
    EXPECT_EQ(state.stopRequested.load(), 0);
    EXPECT_FALSE(log().empty());
}

TEST_F(ConversionJobTest, PerImageRunStoppedAfterFourRowsCanBeContinuedOrStartedAnew)
{
    std::vector<std::string> paths;
    for (int i = 1; i <= 10; ++i)
        paths.push_back(image("p" + std::to_string(i) + ".bmp"));
    auto rows = fileRows(paths);
    observer.onStatus = [this](size_t row, const std::string& status) {
        if (row == 3 && status == "Succeed")
            state.stopRequested = 1;
    };
    run(rows, kPerImageMode);
    for (size_t i = 0; i < rows.size(); ++i)
        EXPECT_EQ(rows[i].converted, i < 4 ? 1 : 0) << i;
    EXPECT_TRUE(fs::exists(out / "img/p4.pdf"));
    EXPECT_FALSE(fs::exists(out / "img/p5.pdf"));
    observer.onStatus = nullptr;

    // Yes: only rows 5 to 10 are converted, rows 1 to 4 keep their statuses and their PDFs.
    std::vector<FileRow> continued = rows;
    observer.continueAnswer = kContinueConvert;
    run(continued, kPerImageMode);
    EXPECT_EQ(observer.continueQuestions, 1);
    EXPECT_TRUE(fs::exists(out / "img/p5.pdf"));
    EXPECT_TRUE(fs::exists(out / "img/p10.pdf"));
    EXPECT_FALSE(fs::exists(out / "img/p1001.pdf"));
    EXPECT_EQ(statuses(continued), std::vector<std::string>(10, "Succeed"));

    // No: every status is cleared and all ten are converted again, under new names.
    std::vector<FileRow> anew = rows;
    anew[0].status = "Failed";
    observer.continueAnswer = kNewConvert;
    observer.events.clear();
    run(anew, kPerImageMode);
    EXPECT_EQ(observer.continueQuestions, 2);
    EXPECT_TRUE(fs::exists(out / "img/p1001.pdf"));
    EXPECT_TRUE(fs::exists(out / "img/p10001.pdf"));
    EXPECT_EQ(std::count(observer.events.begin(), observer.events.end(), "status 0 -"), 1);

    // Everything converted: nothing is asked and all rows are converted again.
    run(anew, kPerImageMode);
    EXPECT_EQ(observer.continueQuestions, 2);
    EXPECT_TRUE(fs::exists(out / "img/p1002.pdf"));
    EXPECT_TRUE(fs::exists(out / "img/p10002.pdf"));
}

TEST_F(ConversionJobTest, PerImageFailureToCreateFailsTheRowAndLogsFourLinesPerImage)
{
    fs::create_directory(out / "img/b.pdf"); // a folder cannot be overwritten
    auto rows = fileRows({image("a.bmp"), image("b.bmp"), image("c.bmp")});
    run(rows, kPerImageMode, kOverwrite);
    EXPECT_EQ(statuses(rows), (std::vector<std::string> {"Succeed", "Failed", "Succeed"}));
    EXPECT_EQ(test::qpdfPageCount(out / "img/a.pdf"), 1);
    EXPECT_EQ(test::qpdfPageCount(out / "img/c.pdf"), 1);
    std::vector<std::string> lines = log();
    ASSERT_EQ(lines.size(), 13u);
    EXPECT_EQ(lines[5], "[Input]: " + rows[1].path);
    EXPECT_EQ(lines[6], "[Output]: " + (out / "img/b.pdf").string());
    EXPECT_EQ(lines[7], "[State]: Failed");
    EXPECT_EQ(lines[8], "[Reason]: " + rows[1].failure);

    // A second job of the same day appends to the same file.
    auto more = fileRows({image("d.bmp")});
    run(more, kPerImageMode);
    EXPECT_EQ(log().size(), 17u);
}

TEST_F(ConversionJobTest, PerFolderSortsByBytesAndGroupsConsecutiveFolders)
{
    auto rows = fileRows({image("a/x.bmp", 20, 60), image("b/y.bmp"), image("a/z.bmp", 40, 40), image("A/w.bmp")});
    run(rows, kPerFolderMode);
    std::vector<std::string> order;
    for (const FileRow& row : rows)
        order.push_back(fs::relative(row.path, dir / "in").string());
    // Byte order puts the upper-case "A/" first.
    EXPECT_EQ(order, (std::vector<std::string> {"A/w.bmp", "a/x.bmp", "a/z.bmp", "b/y.bmp"}));
    EXPECT_EQ(observer.events.back(), "ended");
    EXPECT_TRUE(observer.saw("reordered 3 0 2 1"));
    // "A/" and "a/" give names equal without regard to case, so they share one document.
    EXPECT_EQ(test::pageShapes(out / "dir/A.pdf"), "LPS");
    EXPECT_EQ(test::qpdfPageCount(out / "dir/b.pdf"), 1);
    EXPECT_FALSE(fs::exists(out / "dir/a.pdf"));
}

TEST_F(ConversionJobTest, PerFolderDocumentThatCannotBeCreatedSkipsOnlyItsRows)
{
    fs::create_directory(out / "dir/a.pdf");
    auto rows = fileRows({image("a/x.bmp"), image("b/y.bmp"), image("a/z.bmp")});
    JobReport report = run(rows, kPerFolderMode, kOverwrite);
    EXPECT_EQ(statuses(rows), (std::vector<std::string> {"-", "-", "Succeed"}));
    ASSERT_EQ(report.outputs.size(), 2u);
    EXPECT_FALSE(report.outputs[0].created);
    EXPECT_TRUE(report.outputs[1].written);
    std::vector<std::string> lines = log();
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_EQ(lines[2], "[State]: Create Failed");
    EXPECT_EQ(lines[4], "[Output]: " + (out / "dir/b.pdf").string());
    EXPECT_EQ(test::qpdfPageCount(out / "dir/b.pdf"), 1);
}

// The output folder goes away while the document is written: its file cannot be given its name.
TEST_F(ConversionJobTest, FailedFinalWriteFailsTheDocumentsRowsAndLeavesNoPartialFile)
{
    fs::path gone = dir / "gone";
    observer.onStatus = [&](size_t row, const std::string& status) {
        if (row == 1 && status == "Succeed" && fs::exists(out))
            fs::rename(out, gone);
    };
    auto rows = fileRows({image("a.bmp"), image("b.bmp")});
    JobReport report = run(rows, kMergeMode);

    EXPECT_EQ(statuses(rows), (std::vector<std::string> {"Failed", "Failed"}));
    EXPECT_TRUE(fs::is_empty(gone / "img"));
    EXPECT_FALSE(fs::exists(gone / "MyPDF.pdf"));
    EXPECT_EQ(std::distance(fs::directory_iterator(gone), fs::directory_iterator()), 2) << "no temporary file left";
    ASSERT_EQ(report.outputs.size(), 1u);
    EXPECT_FALSE(report.outputs[0].written);
    std::vector<std::string> lines = log();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2], "[State]: Failed");
    EXPECT_EQ(lines.back(), "[Reason]: the PDF file could not be written");
    EXPECT_EQ(std::count(observer.events.begin(), observer.events.end(), "status 1 Failed"), 1);

}

TEST_F(ConversionJobTest, LogIsWrittenBeforeTheAfterActionWhichGetsTheModesTarget)
{
    // The action sees the job's records already in the file: "Exit Program" cannot lose them.
    struct CheckingActions : test::FakeSystemActions {
        std::string logPath;
        std::string logAtAction;
        void exitProgram() override
        {
            logAtAction = test::readFileBytes(logPath);
            FakeSystemActions::exitProgram();
        }
    } checking;
    checking.logPath = state.log.currentLogFilePath();
    auto rows = fileRows({image("a.bmp")});
    settings.mode = kMergeMode;
    beginJob(state, rows, kMergeMode, kCreateNewFile, observer);
    JobContext exiting = test::jobContext(observer, checking, [] { return 5; });
    runJob(state, rows, settings, exiting);
    EXPECT_EQ(checking.calls, (std::vector<std::string> {"exitProgram"}));
    EXPECT_NE(checking.logAtAction.find("[Input]: " + rows[0].path), std::string::npos);

    struct Case {
        int mode;
        std::string target;
    } cases[] = {{kMergeMode, settings.paths.merged},
                 {kPerImageMode, settings.paths.perImageFolder},
                 {kPerFolderMode, settings.paths.perFolderFolder}};
    for (const Case& c : cases) {
        actions.calls.clear();
        fs::remove(settings.paths.merged);
        afterAction = 6;
        run(rows, c.mode);
        EXPECT_EQ(actions.calls, (std::vector<std::string> {"open " + c.target})) << c.mode;
    }
    for (int action : {7, -1}) {
        actions.calls.clear();
        afterAction = action;
        run(rows, kMergeMode);
        EXPECT_TRUE(actions.calls.empty()) << action;
    }
}

TEST_F(ConversionJobTest, NoRowsStartsNoJobAndUnknownModeConvertsNothing)
{
    std::vector<FileRow> none;
    EXPECT_FALSE(beginJob(state, none, kMergeMode, kCreateNewFile, observer));
    EXPECT_TRUE(observer.events.empty());
    EXPECT_EQ(state.converting.load(), 0);

    auto rows = fileRows({image("a.bmp")});
    run(rows, 3);
    EXPECT_EQ(statuses(rows), (std::vector<std::string> {"-"}));
    EXPECT_TRUE(fs::is_empty(out / "img"));
    EXPECT_TRUE(fs::is_empty(out / "dir"));
    EXPECT_FALSE(fs::exists(settings.paths.merged));
}


// The document-wide settings reach the written file: compression per image class, rotation,
// information, producer, security and viewer preferences.
class DocumentSettingsTest : public test::PdfTest {
protected:
    fs::path dir = test::scratchDir();

    // A colour, a gray and a black-and-white TIFF through the settings; the file decrypted.
    std::string written(const std::string& name, const app::OutputSettings& settings, const std::string& password = "")
    {
        auto page = [](int samples, int bits) {
            test::TiffPage p;
            p.width = samples == 1 && bits == 1 ? 64 : 40;
            p.height = 30;
            p.samples = samples;
            p.bitsPerSample = bits;
            p.photometric = samples == 3 ? 2 : 1;
            p.value = [bits](int x, int y, int c) {
                return static_cast<uint8_t>(bits == 1 ? (x / 8 + y / 8) % 2 : x * 5 + y * 3 + c * 40);
            };
            return p;
        };
        test::writeTiff(dir / "colour.tif", {page(3, 8)});
        test::writeTiff(dir / "gray.tif", {page(1, 8)});
        test::writeTiff(dir / "bw.tif", {page(1, 1)});
        fs::path pdf = password.empty() ? pdfPath(name) : pdfPath(name, password);
        engine::Document document = engine::Document::create(pdf.string()).document;
        layout::applyDocumentSettings(document, settings);
        for (const char* image : {"colour.tif", "gray.tif", "bw.tif"})
            EXPECT_TRUE(document.addImage((dir / image).string()).status.ok) << image;
        EXPECT_TRUE(document.close().ok);
        fs::path plain = dir / ("plain-" + name);
        test::runCommand("qpdf --password=" + password + " --decrypt --stream-data=preserve " + test::shellQuote(pdf.string()) + " " +
                         test::shellQuote(plain.string()));
        return test::readFileBytes(plain);
    }
    std::string info(const std::string& name, const std::string& password = "")
    {
        return test::runCommand("pdfinfo -upw '" + password + "' " + test::shellQuote((dir / name).string())).output;
    }
};

TEST_F(DocumentSettingsTest, EverySettingShowsInTheFile)
{
    app::OutputSettings s;
    s.colorCompression = app::Compression::Jpeg;
    s.grayCompression = app::Compression::None;
    s.bwCompression = app::BwCompression::Group3;
    s.rotation = app::Rotation::By270;
    s.title = "T";
    s.author = "A";
    s.securityOn = 1;
    s.securityLevel = app::SecurityLevel::Rc4Bits128;
    s.allowPrint = 1;
    s.allowModify = 1;
    s.ownerPassword = "own";
    s.userPassword = "usr";
    s.openPanel = app::OpenPanel::Thumbnails;
    s.openZoom = app::OpenZoom::FitPage;
    s.centerWindow = 1;
    s.hideToolbar = 1;
    std::string pdf = written("secure.pdf", s, "usr");
    EXPECT_NE(pdf.find("/DCTDecode"), std::string::npos);
    EXPECT_NE(pdf.find("/CCITTFaxDecode"), std::string::npos);
    EXPECT_EQ(pdf.find("/K -1"), std::string::npos) << "Group 3";
    EXPECT_NE(pdf.find("/PageMode /UseThumbs"), std::string::npos);
    EXPECT_NE(pdf.find("/CenterWindow true"), std::string::npos);
    EXPECT_NE(pdf.find("/HideToolbar true"), std::string::npos);
    std::string text = info("secure.pdf", "usr");
    EXPECT_NE(text.find("Title:           T\n"), std::string::npos) << text;
    EXPECT_NE(text.find("Author:          A\n"), std::string::npos) << text;
    EXPECT_NE(text.find(kDefaultProducer), std::string::npos) << text;
    EXPECT_NE(text.find("Encrypted:       yes (print:yes copy:no change:yes"), std::string::npos) << text;
    test::CommandResult sizes = test::runCommand("pdfinfo -upw usr -f 1 -l 1 " + test::shellQuote((dir / "secure.pdf").string()));
    EXPECT_NE(sizes.output.find("rot:   270"), std::string::npos) << sizes.output;
    EXPECT_NE(test::runCommand("qpdf --show-encryption --password=usr " + test::shellQuote((dir / "secure.pdf").string()))
                  .output.find("R = 3"),
              std::string::npos);

    app::OutputSettings p;
    p.producer = "Mine";
    p.colorCompression = app::Compression::Lzw;
    p.grayCompression = app::Compression::PackBits;
    p.bwCompression = app::BwCompression::Group4;
    pdf = written("plain.pdf", p);
    EXPECT_NE(pdf.find("/LZWDecode"), std::string::npos);
    EXPECT_NE(pdf.find("/RunLengthDecode"), std::string::npos);
    EXPECT_NE(pdf.find("/K -1"), std::string::npos) << "Group 4";
    text = info("plain.pdf");
    EXPECT_NE(text.find("Producer:        Mine\n"), std::string::npos) << text;
    EXPECT_NE(text.find("Encrypted:       no"), std::string::npos) << text;
}

TEST(ViewerPreferences, FollowTheSettings)
{
    // The panel, zoom and window settings each give their preference; full screen wins over the
    // panel, and a panel value out of range opens the page only.
    struct Case {
        int document, zoom, resize, fullscreen, hideMenu, hideControl;
        engine::PageMode mode;
        engine::OpenZoom openZoom;
    } viewer[] = {{0, 0, 0, 0, 0, 0, engine::PageMode::PageOnly, engine::OpenZoom::FitWidth},
                  {1, 0, 1, 1, 1, 1, engine::PageMode::FullScreen, engine::OpenZoom::FitWidth},
                  {5, 2, 2, 0, 0, 0, engine::PageMode::PageOnly, engine::OpenZoom::FitPage}};
    for (const Case& c : viewer) {
        app::OutputSettings v;
        v.openPanel = static_cast<folvane::app::OpenPanel>(c.document);
        v.openZoom = static_cast<folvane::app::OpenZoom>(c.zoom);
        v.fitWindow = c.resize;
        v.fullScreen = c.fullscreen;
        v.hideMenubar = c.hideMenu;
        v.hideWindowControls = c.hideControl;
        engine::ViewerPreferences p = layout::viewerPreferencesFor(v);
        EXPECT_EQ(p.pageMode, c.mode) << c.document;
        EXPECT_EQ(p.openZoom, c.openZoom) << c.document;
        EXPECT_EQ(p.fitWindow, c.resize == 1) << c.document;
        EXPECT_EQ(p.hideMenubar, c.hideMenu == 1) << c.document;
        EXPECT_EQ(p.hideWindowControls, c.hideControl == 1) << c.document;
    }
}

} // namespace
} // namespace folvane::jobs
