#include "jobs/conversion_job.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sys/stat.h>

#include "../engine/intake_fixtures.h"
#include "../services/fake_system_actions.h"
#include "fake_engine_client.h"
#include "support/test_support.h"

namespace folvane::jobs {
namespace {

namespace fs = std::filesystem;
using test::FakeEngineClient;
using test::FakeSystemActions;

// Records what the front end would show, in order, and answers the questions as told.
class RecordingObserver : public JobObserver {
public:
    std::vector<std::string> events;
    ContinueAnswer continueAnswer = kNewConvert;
    int continueQuestions = 0;
    std::function<void(size_t)> onSelect;
    std::function<void(size_t, const std::string&)> onStatus;

    void rowSelected(size_t row) override
    {
        events.push_back("select " + std::to_string(row));
        if (onSelect)
            onSelect(row);
    }
    void rowStatus(size_t row, const std::string& status) override
    {
        events.push_back("status " + std::to_string(row) + " " + status);
        if (onStatus)
            onStatus(row, status);
    }
    void rowsReordered(const std::vector<size_t>& previous) override
    {
        std::string text = "reordered";
        for (size_t i : previous)
            text += " " + std::to_string(i);
        events.push_back(text);
    }
    void outputNameShown(const std::string& path) override { events.push_back("output " + path); }
    void jobStateChanged(bool running) override { events.push_back(running ? "started" : "ended"); }
    ContinueAnswer askContinue() override
    {
        ++continueQuestions;
        return continueAnswer;
    }
};

std::vector<FileRow> rowsFor(const std::vector<std::string>& paths)
{
    std::vector<FileRow> rows;
    for (const std::string& path : paths) {
        FileRow row;
        row.path = path;
        rows.push_back(row);
    }
    return rows;
}

std::vector<std::string> statuses(const std::vector<FileRow>& rows)
{
    std::vector<std::string> out;
    for (const FileRow& row : rows)
        out.push_back(row.status);
    return out;
}

std::vector<std::string> callsStartingWith(const FakeEngineClient& engine, const std::string& prefix)
{
    std::vector<std::string> out;
    for (const std::string& call : engine.calls) {
        if (call.rfind(prefix, 0) == 0)
            out.push_back(call);
    }
    return out;
}

std::vector<std::string> logLines(const std::string& text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find("\r\n", start);
        if (end == std::string::npos)
            end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

// A job over fake collaborators; the log goes to a scratch folder with a fixed clock.
class ConversionJobTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        scratch = test::scratchDir();
        settings.paths = {"/out/MyPDF.pdf", "/out/img/", "/out/dir/"};
        settings.output.bookmarksOn = 0;
        settings.output.imagesPerPage = 1;
        state.log.setSettings({true, (scratch / "logs/").string()});
        state.log.setClock([] { return std::time_t {1401440707}; });
    }

    JobReport run(std::vector<FileRow>& rows, int mode, int policy = kCreateNewFile)
    {
        settings.mode = mode;
        if (!beginJob(state, rows, mode, policy, observer))
            return {};
        JobContext context {engine, observer, actions, [this] { return afterAction; }};
        return runJob(state, rows, settings, context);
    }

    std::string logFile() const { return test::readFileBytes(state.log.currentLogFilePath()); }

    fs::path scratch;
    FakeEngineClient engine;
    RecordingObserver observer;
    FakeSystemActions actions;
    JobState state;
    JobSettings settings;
    int afterAction = 0;
};

TEST_F(ConversionJobTest, MergeKeepsGoingPastABadFileAndLogsItsRecordSequence)
{
    engine.failingImages = {"/in/bad.jpg"};
    auto rows = rowsFor({"/in/a.jpg", "/in/bad.jpg", "/in/c.jpg"});
    JobReport report = run(rows, kMergeMode);

    EXPECT_EQ(statuses(rows), (std::vector<std::string> {"Succeed", "Failed", "Succeed"}));
    EXPECT_EQ(callsStartingWith(engine, "AddImageFile").size(), 3u);
    ASSERT_EQ(report.outputs.size(), 1u);
    EXPECT_TRUE(report.outputs[0].written);
    // Nothing exists at /out/MyPDF.pdf, so it is created under its own name and shown.
    EXPECT_EQ(callsStartingWith(engine, "CreateDocument"), (std::vector<std::string> {"CreateDocument /out/MyPDF.pdf"}));
    EXPECT_NE(std::find(observer.events.begin(), observer.events.end(), "output /out/MyPDF.pdf"),
              observer.events.end());

    std::vector<std::string> lines = logLines(logFile());
    std::vector<std::string> expected = {"[Time]: 2014/05/30 9:05:07", "[Output]: /out/MyPDF.pdf",
                                         "[Input]: /in/a.jpg",          "[State]: Succeed",
                                         "[Input]: /in/bad.jpg",        "[State]: Failed",
                                         "[Reason]: " + rows[1].failure,
                                         "[Input]: /in/c.jpg",          "[State]: Succeed"};
    // The hour is that of the local time zone; compare the records without the time.
    ASSERT_EQ(lines.size(), expected.size());
    EXPECT_EQ(lines[0].rfind("[Time]: 2014/05/", 0), 0u);
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
    engine.failingCreates = {"/out/MyPDF.pdf"};
    auto rows = rowsFor({"/in/a.jpg", "/in/b.jpg"});
    JobReport report = run(rows, kMergeMode);
    EXPECT_EQ(statuses(rows), (std::vector<std::string> {"-", "-"}));
    ASSERT_EQ(report.outputs.size(), 1u);
    EXPECT_FALSE(report.outputs[0].created);
    std::vector<std::string> lines = logLines(logFile());
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[2], "[State]: Create Failed");
    EXPECT_TRUE(callsStartingWith(engine, "AddImageFile").empty());
}

// A frame that could not be read fails its file even when the frames after it made pages.
TEST_F(ConversionJobTest, FileWithoutFramesFailsAndAFailedFrameFailsItsFile)
{
    engine.frameCounts = {{"/in/empty.tif", 0}, {"/in/three.tif", 3}};
    // The fake fails every frame of a path; a wrapper fails only the middle one.
    struct MiddleFrameFails : FakeEngineClient {
        int adds = 0;
        engine::ImageAdded AddImage(engine::DocHandle h, const std::string& path) override
        {
            engine::ImageAdded added = FakeEngineClient::AddImage(h, path);
            if (++adds == 2)
                added.status = Result::failure(FailureCode::Damaged, "image data damaged or unreadable");
            return added;
        }
    } middle;
    middle.frameCounts = engine.frameCounts;
    auto rows = rowsFor({"/in/three.tif", "/in/empty.tif"});
    settings.mode = kMergeMode;
    beginJob(state, rows, kMergeMode, kCreateNewFile, observer);
    JobContext context {middle, observer, actions, {}};
    runJob(state, rows, settings, context);
    EXPECT_EQ(statuses(rows), (std::vector<std::string> {"Failed", "Failed"}));
    EXPECT_EQ(middle.adds, 3);
}

TEST_F(ConversionJobTest, StopDuringAMultiFrameFileTakesEffectAfterItsLastFrame)
{
    engine.frameCounts = {{"/in/pages.tif", 3}};
    struct StopOnFirstAdd : FakeEngineClient {
        JobState* state = nullptr;
        engine::ImageAdded AddImage(engine::DocHandle h, const std::string& path) override
        {
            state->stopRequested = 1;
            return FakeEngineClient::AddImage(h, path);
        }
    } stopping;
    stopping.frameCounts = engine.frameCounts;
    stopping.state = &state;
    afterAction = 6;
    auto rows = rowsFor({"/in/pages.tif", "/in/next.jpg"});
    settings.mode = kMergeMode;
    beginJob(state, rows, kMergeMode, kCreateNewFile, observer);
    JobContext context {stopping, observer, actions, [this] { return afterAction; }};
    JobReport report = runJob(state, rows, settings, context);

    EXPECT_TRUE(report.stopped);
    EXPECT_EQ(callsStartingWith(stopping, "AddImageFile").size(), 3u);
    EXPECT_EQ(statuses(rows), (std::vector<std::string> {"Succeed", "-"}));
    EXPECT_EQ(callsStartingWith(stopping, "CloseDocument").size(), 1u);
    EXPECT_TRUE(actions.calls.empty()) << "a stopped job runs no after-conversion action";
    EXPECT_EQ(state.stopRequested.load(), 0);
    EXPECT_FALSE(logFile().empty());
}

TEST_F(ConversionJobTest, PerImageRunStoppedAfterFourRowsCanBeContinuedOrStartedAnew)
{
    std::vector<std::string> paths;
    for (int i = 1; i <= 10; ++i)
        paths.push_back("/in/p" + std::to_string(i) + ".jpg");
    auto rows = rowsFor(paths);
    observer.onStatus = [this](size_t row, const std::string& status) {
        if (row == 3 && status == "Succeed")
            state.stopRequested = 1;
    };
    run(rows, kPerImageMode);
    for (size_t i = 0; i < rows.size(); ++i)
        EXPECT_EQ(rows[i].converted, i < 4 ? 1 : 0) << i;
    observer.onStatus = nullptr;

    // Yes: only rows 5 to 10 are converted, rows 1 to 4 keep their statuses.
    std::vector<FileRow> continued = rows;
    engine.calls.clear();
    observer.continueAnswer = kContinueConvert;
    run(continued, kPerImageMode);
    EXPECT_EQ(observer.continueQuestions, 1);
    std::vector<std::string> creates = callsStartingWith(engine, "CreateDocument");
    ASSERT_EQ(creates.size(), 6u);
    EXPECT_EQ(creates.front(), "CreateDocument /out/img/p5.pdf");
    EXPECT_EQ(creates.back(), "CreateDocument /out/img/p10.pdf");
    EXPECT_EQ(statuses(continued), std::vector<std::string>(10, "Succeed"));

    // No: every status is cleared and all ten are converted.
    std::vector<FileRow> anew = rows;
    anew[0].status = "Failed";
    engine.calls.clear();
    observer.continueAnswer = kNewConvert;
    observer.events.clear();
    run(anew, kPerImageMode);
    EXPECT_EQ(observer.continueQuestions, 2);
    EXPECT_EQ(callsStartingWith(engine, "CreateDocument").size(), 10u);
    EXPECT_EQ(std::count(observer.events.begin(), observer.events.end(), "status 0 -"), 1);

    // Everything converted: nothing is asked and all rows are converted again.
    engine.calls.clear();
    run(anew, kPerImageMode);
    EXPECT_EQ(observer.continueQuestions, 2);
    EXPECT_EQ(callsStartingWith(engine, "CreateDocument").size(), 10u);
}

TEST_F(ConversionJobTest, PerImageFailureToCreateFailsTheRowAndLogsFourLinesPerImage)
{
    engine.failingCreates = {"/out/img/b.pdf"};
    auto rows = rowsFor({"/in/a.jpg", "/in/b.jpg", "/in/c.jpg"});
    run(rows, kPerImageMode);
    EXPECT_EQ(statuses(rows), (std::vector<std::string> {"Succeed", "Failed", "Succeed"}));
    std::vector<std::string> lines = logLines(logFile());
    ASSERT_EQ(lines.size(), 13u);
    EXPECT_EQ(lines[5], "[Input]: /in/b.jpg");
    EXPECT_EQ(lines[6], "[Output]: /out/img/b.pdf");
    EXPECT_EQ(lines[7], "[State]: Failed");
    EXPECT_EQ(lines[8], "[Reason]: " + rows[1].failure);

    // A second job of the same day appends to the same file.
    auto more = rowsFor({"/in/d.jpg"});
    run(more, kPerImageMode);
    EXPECT_EQ(logLines(logFile()).size(), 17u);
}

TEST_F(ConversionJobTest, PerFolderSortsByBytesAndGroupsConsecutiveFolders)
{
    auto rows = rowsFor({"/a/x.jpg", "/b/y.jpg", "/a/z.jpg", "/A/w.jpg"});
    run(rows, kPerFolderMode);
    std::vector<std::string> order;
    for (const FileRow& row : rows)
        order.push_back(row.path);
    // Byte order puts the upper-case "/A/" first.
    EXPECT_EQ(order, (std::vector<std::string> {"/A/w.jpg", "/a/x.jpg", "/a/z.jpg", "/b/y.jpg"}));
    EXPECT_EQ(observer.events[observer.events.size() - 1], "ended");
    EXPECT_NE(std::find(observer.events.begin(), observer.events.end(), "reordered 3 0 2 1"), observer.events.end());
    // "/A/" and "/a/" give names equal without regard to case, so they share one document.
    EXPECT_EQ(callsStartingWith(engine, "CreateDocument"),
              (std::vector<std::string> {"CreateDocument /out/dir/A.pdf", "CreateDocument /out/dir/b.pdf"}));
    std::vector<std::string> adds = callsStartingWith(engine, "AddImageFile");
    EXPECT_EQ(adds, (std::vector<std::string> {"AddImageFile 1 /A/w.jpg", "AddImageFile 1 /a/x.jpg",
                                               "AddImageFile 1 /a/z.jpg", "AddImageFile 2 /b/y.jpg"}));
}

TEST_F(ConversionJobTest, PerFolderDocumentThatCannotBeCreatedSkipsOnlyItsRows)
{
    engine.failingCreates = {"/out/dir/a.pdf"};
    auto rows = rowsFor({"/a/x.jpg", "/b/y.jpg", "/a/z.jpg"});
    JobReport report = run(rows, kPerFolderMode);
    EXPECT_EQ(statuses(rows), (std::vector<std::string> {"-", "-", "Succeed"}));
    ASSERT_EQ(report.outputs.size(), 2u);
    EXPECT_FALSE(report.outputs[0].created);
    EXPECT_TRUE(report.outputs[1].written);
    std::vector<std::string> lines = logLines(logFile());
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_EQ(lines[2], "[State]: Create Failed");
    EXPECT_EQ(lines[4], "[Output]: /out/dir/b.pdf");
}

TEST_F(ConversionJobTest, FailedFinalWriteFailsTheDocumentsRowsAndRemovesThePartialFile)
{
    fs::path out = scratch / "merged.pdf";
    settings.paths.merged = out.string();
    // An engine that leaves a partial file behind and reports the failed write on close.
    struct PartialWrite : FakeEngineClient {
        fs::path partial;
        int CloseDocument(engine::DocHandle h) override
        {
            FakeEngineClient::CloseDocument(h);
            test::writeFileBytes(partial, "%PDF-1.4 cut");
            return 0;
        }
    } partial;
    partial.partial = out;
    auto rows = rowsFor({"/in/a.jpg", "/in/b.jpg"});
    settings.mode = kMergeMode;
    beginJob(state, rows, kMergeMode, kAppend, observer);
    JobContext context {partial, observer, actions, {}};
    JobReport report = runJob(state, rows, settings, context);

    EXPECT_EQ(statuses(rows), (std::vector<std::string> {"Failed", "Failed"}));
    EXPECT_FALSE(fs::exists(out));
    ASSERT_EQ(report.outputs.size(), 1u);
    EXPECT_FALSE(report.outputs[0].written);
    std::vector<std::string> lines = logLines(logFile());
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2], "[State]: Failed");
    EXPECT_EQ(lines.back(), "[Reason]: the PDF file could not be written");
    EXPECT_EQ(std::count(observer.events.begin(), observer.events.end(), "status 1 Failed"), 1);

    // When appending, the existing file is the user's and stays.
    test::writeFileBytes(out, "existing");
    auto again = rowsFor({"/in/a.jpg"});
    beginJob(state, again, kMergeMode, kAppend, observer);
    runJob(state, again, settings, context);
    EXPECT_EQ(statuses(again), (std::vector<std::string> {"Failed"}));
    EXPECT_TRUE(fs::exists(out));
}

TEST_F(ConversionJobTest, LogIsWrittenBeforeTheAfterActionWhichGetsTheModesTarget)
{
    // The action sees the job's records already in the file: "Exit Program" cannot lose them.
    struct CheckingActions : FakeSystemActions {
        std::string logPath;
        std::string logAtAction;
        void exitProgram() override
        {
            logAtAction = test::readFileBytes(logPath);
            FakeSystemActions::exitProgram();
        }
    } checking;
    checking.logPath = state.log.currentLogFilePath();
    auto rows = rowsFor({"/in/a.jpg"});
    settings.mode = kMergeMode;
    beginJob(state, rows, kMergeMode, kCreateNewFile, observer);
    JobContext exiting {engine, observer, checking, [] { return 5; }};
    runJob(state, rows, settings, exiting);
    EXPECT_EQ(checking.calls, (std::vector<std::string> {"exitProgram"}));
    EXPECT_NE(checking.logAtAction.find("[Input]: /in/a.jpg"), std::string::npos);

    struct Case {
        int mode;
        const char* target;
    } cases[] = {{kMergeMode, "open /out/MyPDF.pdf"}, {kPerImageMode, "open /out/img/"}, {kPerFolderMode, "open /out/dir/"}};
    for (const Case& c : cases) {
        actions.calls.clear();
        afterAction = 6;
        auto one = rowsFor({"/in/a.jpg"});
        run(one, c.mode);
        EXPECT_EQ(actions.calls, (std::vector<std::string> {c.target})) << c.mode;
    }
    for (int action : {7, -1}) {
        actions.calls.clear();
        afterAction = action;
        auto one = rowsFor({"/in/a.jpg"});
        run(one, kMergeMode);
        EXPECT_TRUE(actions.calls.empty()) << action;
    }
}

TEST_F(ConversionJobTest, NoRowsStartsNoJobAndUnknownModeConvertsNothing)
{
    std::vector<FileRow> none;
    EXPECT_FALSE(beginJob(state, none, kMergeMode, kCreateNewFile, observer));
    EXPECT_TRUE(observer.events.empty());
    EXPECT_EQ(state.converting.load(), 0);

    auto rows = rowsFor({"/in/a.jpg"});
    run(rows, 3);
    EXPECT_TRUE(engine.calls.empty());
    EXPECT_EQ(statuses(rows), (std::vector<std::string> {"-"}));
}

TEST(DocumentSettings, CallsFollowTheSettingsInTheirFixedOrder)
{
    FakeEngineClient engine;
    app::OutputSettings s;
    s.colorCompression = app::Compression::Jpeg;
    s.grayCompression = app::Compression::None;
    s.bwCompression = app::BwCompression::Group3;
    s.jpegQuality = 80;
    s.skewCorrection = 1;
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
    s.autoOrient = 1;
    s.lossless = 1;
    s.skewMethod = app::SkewMethod::Refined;
    applyDocumentSettings(engine, 7, s);
    EXPECT_EQ(engine.calls, (std::vector<std::string> {
                                "SetDocumentOption 7 123 3 0 jpeg (null)",
                                "SetDocumentOption 7 123 1 0 g3 (null)",
                                "SetDocumentOption 7 128 80 0 (null) (null)",
                                "SetDocumentOption 7 126 1 0 (null) (null)",
                                "SetDocumentOption 7 122 270 0 (null) (null)",
                                "SetDocumentInfo 7 T||A||",
                                std::string("SetDocumentOption 7 111 0 0 ") + kDefaultProducer + " (null)",
                                "SetDocumentOption 7 105 128 5 own usr",
                                "SetDocumentOption 7 121 " + std::to_string(0x4 + 0x40 + 0x10000 + 0x1000) +
                                    " 0 (null) (null)",
                                "SetDocumentOption 7 140 1 0 (null) (null)",
                                "SetDocumentOption 7 141 1 0 (null) (null)",
                                "SetDocumentOption 7 142 1 0 (null) (null)",
                            }));

    // Without security no option 105; an own producer replaces the default; level 0 is 40-bit.
    struct Case {
        int document, zoom, resize, fullscreen, hideMenu, hideControl, bits;
    } viewer[] = {{0, 0, 0, 0, 0, 0, 0x1 + 0x80},
                  {1, 0, 1, 1, 1, 1, 0x2 + 0x80 + 0x8000 + 0x8 + 0x2000 + 0x4000},
                  {5, 2, 2, 0, 0, 0, 0x1 + 0x40}};
    for (const Case& c : viewer) {
        app::OutputSettings v;
        v.openPanel = static_cast<folvane::app::OpenPanel>(c.document);
        v.openZoom = static_cast<folvane::app::OpenZoom>(c.zoom);
        v.fitWindow = c.resize;
        v.fullScreen = c.fullscreen;
        v.hideMenubar = c.hideMenu;
        v.hideWindowControls = c.hideControl;
        EXPECT_EQ(viewerPreferenceBits(v), c.bits) << c.document;
    }
    FakeEngineClient plain;
    app::OutputSettings p;
    p.producer = "Mine";
    p.colorCompression = app::Compression::Lzw;
    p.grayCompression = app::Compression::PackBits;
    p.bwCompression = app::BwCompression::Group4;
    applyDocumentSettings(plain, 1, p);
    EXPECT_EQ(plain.calls[0], "SetDocumentOption 1 123 3 0 lzw (null)");
    EXPECT_EQ(plain.calls[1], "SetDocumentOption 1 123 2 0 packbits (null)");
    EXPECT_EQ(plain.calls[2], "SetDocumentOption 1 123 1 0 g4 (null)");
    EXPECT_EQ(plain.calls[7], "SetDocumentOption 1 111 0 0 Mine (null)");
    EXPECT_EQ(plain.calls.size(), 12u);
}

} // namespace
} // namespace folvane::jobs
