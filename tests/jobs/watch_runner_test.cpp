// The watch-folder runner: scanning, moves, the settle check, the exact engine calls of its
// modes on a fake engine, and whole runs with the real engine on image files the test writes.

#include "jobs/watch_runner.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "../engine/intake_fixtures.h"
#include "../services/fake_system_actions.h"
#include "fake_engine_client.h"
#include "failure_reason.h"
#include "services/after_action.h"
#include "support/test_support.h"

namespace folvane::jobs {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

bool contains(const std::vector<std::string>& lines, const std::string& line)
{
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

// Records the state lines; can stop the run after a number of closed documents.
class RecordingObserver : public JobObserver {
public:
    void watchStateLine(const std::string& text) override { lines.push_back(text); }
    std::vector<std::string> lines;
};

class StoppingEngine : public test::FakeEngineClient {
public:
    int CloseDocument(engine::DocHandle h) override
    {
        int result = FakeEngineClient::CloseDocument(h);
        if (++closes >= stopAfterCloses && stopFlag)
            stopFlag->store(1);
        return result;
    }
    int closes = 0;
    int stopAfterCloses = 1 << 30;
    std::atomic<int>* stopFlag = nullptr;
};

class WatchRunnerTest : public test::PdfTest {
protected:
    void SetUp() override
    {
        dir = test::scratchDir();
        in = dir / "in";
        fs::create_directories(in);
        fs::create_directories(dir / "out");
        settings.paths = {(dir / "out/merged.pdf").string(), (dir / "out/").string(), (dir / "out/").string()};
        settings.inputFolder = in.string();
        settings.settleTime = 0ms;
        settings.output.jpegQuality = 75;
        engine.stopFlag = &state.stopRequested;
    }

    fs::path file(const std::string& name, const std::string& bytes = "image")
    {
        fs::path path = in / name;
        fs::create_directories(path.parent_path());
        test::writeFileBytes(path, bytes);
        return path;
    }

    fs::path bmp(const std::string& name, uint32_t colour = 0x3366cc)
    {
        fs::path path = in / name;
        fs::create_directories(path.parent_path());
        test::writeBmp24(path, 40, 30, [colour](int, int) { return colour; });
        return path;
    }

    WatchReport run(engine::CEngineClient& client, int policy = kCreateNewFile)
    {
        EXPECT_TRUE(beginWatch(state, settings, policy, observer));
        WatchContext context {client, observer, actions, [this] { return afterAction; },
                              [this](const std::string& path, std::string_view outcome, std::string_view reason) {
                                  outcomes.push_back(std::string(outcome) + " " + path);
                                  if (!reason.empty())
                                      reasons.push_back(std::string(reason));
                              },
                              [this](const std::string& path, std::string_view message) {
                                  notices.push_back(path + ": " + std::string(message));
                              },
                              {}};
        return runWatch(state, settings, context);
    }

    fs::path dir;
    fs::path in;
    WatchSettings settings;
    WatchState state;
    RecordingObserver observer;
    test::FakeSystemActions actions;
    StoppingEngine engine;
    int afterAction = services::kDoNothing;
    std::vector<std::string> outcomes;
    std::vector<std::string> reasons; // of the "Failed" outcomes that carry one
    std::vector<std::string> notices; // moves that failed, entries passed over
};

TEST_F(WatchRunnerTest, ScansInNameOrderByLowerCasedSubstringAndNeverEntersManagedFolders)
{
    file("b.png");
    file("A.png");
    file("photo.JPG");
    file("noext");
    file("x.jp");
    file("readme.txt");
    file("sub/z.png");
    file("sub/_Converted/old.png");
    file("_failed/bad.png");
    std::string base = in.string() + "/";
    EXPECT_EQ(scanFolder(in.string()), (std::vector<std::string> {base + "A.png", base + "b.png", base + "noext",
                                                                   base + "photo.JPG", base + "x.jp"}));
    std::vector<std::string> tree = scanTree(in.string(), true);
    ASSERT_EQ(tree.size(), 6u);
    EXPECT_EQ(tree.back(), base + "sub/z.png") << "a folder's images come before its subfolders'";
    EXPECT_TRUE(fs::is_directory(in / "_converted"));
    EXPECT_TRUE(fs::is_directory(in / "sub/_failed"));
    EXPECT_FALSE(fs::exists(in / "sub/_Converted/_converted")) << "managed folders are never scanned";
}

TEST_F(WatchRunnerTest, MoveNeverReplacesAndTakesTheFirstFreeNumberedName)
{
    fs::create_directories(in / "_converted");
    file("_converted/a.png", "older");
    file("_converted/a(1).png", "older too");
    fs::path source = file("a.png", "new");
    std::string moved = moveIntoFolder(source.string(), in.string() + "/_converted/");
    EXPECT_EQ(moved, in.string() + "/_converted/a(2).png");
    EXPECT_FALSE(fs::exists(source));
    EXPECT_EQ(test::readFileBytes(in / "_converted/a.png"), "older");
    EXPECT_EQ(test::readFileBytes(in / "_converted/a(2).png"), "new");
    // A missing folder makes the move fail and leaves the source in place.
    fs::path other = file("b.png");
    EXPECT_EQ(moveIntoFolder(other.string(), in.string() + "/missing/"), "");
    EXPECT_TRUE(fs::exists(other));
}

TEST_F(WatchRunnerTest, SettleCheckNeedsTwoEqualLooksFarEnoughApart)
{
    fs::path path = file("a.png", "12");
    StabilityTracker tracker;
    EXPECT_FALSE(tracker.stable(path.string(), 200ms)) << "one look is never enough";
    EXPECT_FALSE(tracker.stable(path.string(), 200ms)) << "two looks too close together";
    std::this_thread::sleep_for(250ms);
    { std::ofstream(path, std::ios::app) << "3"; }
    EXPECT_FALSE(tracker.stable(path.string(), 200ms)) << "the size changed: starts over";
    std::this_thread::sleep_for(250ms);
    EXPECT_TRUE(tracker.stable(path.string(), 200ms));
    fs::remove(path);
    EXPECT_FALSE(tracker.stable(path.string(), 0ms));
}

TEST_F(WatchRunnerTest, MergeSourcesStayWhenTheCloseFailsAndMoveAfterALaterGoodClose)
{
    fs::path a = file("a.png");
    fs::path b = file("b.png");
    settings.mode = kMergeMode;
    settings.repeat = true;
    engine.failingCloses = {1};
    engine.stopAfterCloses = 2;
    WatchReport report = run(engine);
    EXPECT_TRUE(report.stopped);
    // Pass 1 only looks; pass 2 writes document 1, whose close fails; pass 3 writes document 2.
    EXPECT_TRUE(contains(engine.calls, "CloseDocument 1"));
    EXPECT_TRUE(contains(engine.calls, "CloseDocument 2"));
    EXPECT_TRUE(contains(outcomes, "Failed " + a.string())) << "a failed write fails its sources";
    EXPECT_FALSE(fs::exists(a));
    EXPECT_TRUE(fs::exists(in / "_converted/a.png"));
    EXPECT_TRUE(fs::exists(in / "_converted/b.png"));
    EXPECT_TRUE(observer.lines.empty() || observer.lines.back().empty()) << "a stop clears the state line";
}

TEST_F(WatchRunnerTest, MergeOpenFailureRecordsFailedLeavesSourcesAndUsesWatchNames)
{
    file("a.png");
    settings.mode = kMergeMode;
    test::writeFileBytes(dir / "out/merged.pdf", "taken");
    engine.failingCreates = {(dir / "out/merged(NEW001).pdf").string()};
    run(engine);
    EXPECT_TRUE(contains(engine.calls, "CreateDocument " + (dir / "out/merged(NEW001).pdf").string()));
    EXPECT_TRUE(fs::exists(in / "a.png"));
    EXPECT_TRUE(outcomes.empty());
}

TEST_F(WatchRunnerTest, MergeLogSaysFailedNotCreateFailed)
{
    file("a.png");
    settings.mode = kMergeMode;
    engine.failingCreates = {settings.paths.merged};
    LogSettings log {true, (dir / "log/").string()};
    state.log.setSettings(log);
    run(engine);
    std::string text = test::readFileBytes(state.log.currentLogFilePath());
    EXPECT_NE(text.find("[State]: Failed\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("[State]: Failed\r\n[Reason]: " + std::string(kReasonNotOpened) + "\r\n"), std::string::npos)
        << text;
    EXPECT_EQ(text.find("Create Failed"), std::string::npos) << text;
}

TEST_F(WatchRunnerTest, ProducerIsAlwaysTheDefaultText)
{
    file("a.png");
    settings.mode = kPerImageMode;
    settings.output.producer = "My own producer";
    run(engine);
    EXPECT_TRUE(contains(engine.calls, "SetDocumentOption 1 111 0 0 " + std::string(kDefaultProducer) + " (null)"));
}

TEST_F(WatchRunnerTest, DeleteOnSuccessDeletesOnlyWrittenSuccessfulSources)
{
    fs::path good = file("good.png");
    fs::path bad = file("bad.png");
    fs::path lost = file("lost.png");
    settings.mode = kPerImageMode;
    settings.deleteOnSuccess = true;
    engine.failingImages = {bad.string()};
    engine.failingCloses = {3}; // lost.png's document
    run(engine);
    EXPECT_FALSE(fs::exists(good)) << "deleted without the interval too";
    EXPECT_TRUE(fs::exists(bad)) << "a failed source is never deleted";
    EXPECT_TRUE(fs::exists(lost)) << "its PDF was never written";
    EXPECT_FALSE(fs::exists(in / "_failed")) << "the managed folders come only with the interval";
    EXPECT_EQ(reasons, (std::vector<std::string> {"image data damaged or unreadable", kReasonNotWritten}));
}

TEST_F(WatchRunnerTest, PerImageOpenFailureMovesTheSourceToFailedWithTheInterval)
{
    fs::path a = file("a.png");
    settings.mode = kPerImageMode;
    settings.repeat = true;
    engine.failingCreates = {(dir / "out/a.pdf").string()};
    // No document ever closes; stop once the source has gone.
    std::thread stopper([&] {
        for (int i = 0; i < 100 && fs::exists(a); ++i)
            std::this_thread::sleep_for(20ms);
        state.stopRequested = 1;
    });
    run(engine);
    stopper.join();
    EXPECT_TRUE(fs::exists(in / "_failed/a.png"));
}

TEST_F(WatchRunnerTest, PerFolderOpenFailureMovesOnlyTheFolderFirstSourceEvenWithoutInterval)
{
    fs::path first = file("sub/a.png");
    fs::path second = file("sub/b.png");
    fs::path other = file("zz/c.png");
    fs::create_directories(in / "sub/_failed");
    settings.mode = kPerFolderMode;
    settings.includeSubfolders = true;
    engine.failingCreates = {(dir / "out/sub.pdf").string()};
    run(engine);
    EXPECT_FALSE(fs::exists(first));
    EXPECT_TRUE(fs::exists(in / "sub/_failed/a.png"));
    EXPECT_TRUE(fs::exists(second));
    EXPECT_TRUE(fs::exists(other)) << "interval off: converted sources stay";
    EXPECT_TRUE(contains(engine.calls, "AddImageFile 1 " + other.string()));
}

TEST_F(WatchRunnerTest, SinglePassRunsTheActionOnTheModeOutputButAStoppedWaitDoesNot)
{
    file("a.png");
    settings.mode = kPerFolderMode;
    afterAction = services::kOpenOutput;
    run(engine);
    EXPECT_EQ(actions.calls, (std::vector<std::string> {"open " + settings.paths.perFolderFolder}));

    settings.repeat = true;
    settings.intervalSeconds = 30;
    actions.calls.clear();
    std::thread stopper([&] {
        std::this_thread::sleep_for(300ms);
        state.stopRequested = 1;
    });
    auto start = std::chrono::steady_clock::now();
    run(engine);
    stopper.join();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1500ms) << "the wait ends within a second";
    EXPECT_TRUE(actions.calls.empty());
}

TEST_F(WatchRunnerTest, AFileStillGrowingIsLeftAloneUntilItSettles)
{
    fs::path steady = file("a.png");
    fs::path growing = file("b.png", "x");
    settings.mode = kPerImageMode;
    settings.settleTime = 300ms;
    settings.settleLimit = 900ms;
    std::atomic<bool> done {false};
    std::thread writer([&] {
        while (!done) {
            { std::ofstream(growing, std::ios::app) << "more"; }
            std::this_thread::sleep_for(50ms);
        }
    });
    WatchReport report = run(engine);
    done = true;
    writer.join();
    EXPECT_TRUE(contains(outcomes, "Skipped " + growing.string()));
    EXPECT_TRUE(contains(outcomes, "Succeed " + steady.string()));
    EXPECT_FALSE(contains(engine.calls, "AddImageFile 2 " + growing.string()));
    EXPECT_EQ(report.skipped, 1);

    outcomes.clear();
    run(engine);
    EXPECT_TRUE(contains(outcomes, "Succeed " + growing.string())) << "taken once it stopped changing";
}

// Whole runs with the real engine.

TEST_F(WatchRunnerTest, IntervalMovesSourcesAsideAndTheNextPassFindsNothing)
{
    bmp("photo.JPG");
    file("noext", "not an image");
    file("x.jp", "not an image");
    settings.mode = kPerImageMode;
    settings.repeat = true;
    engine::CEngineClient real;
    std::thread stopper([&] {
        for (int i = 0; i < 200; ++i) {
            if (!observer.lines.empty() && observer.lines.back() == "Current: " + std::string(kWatchNothingToDo))
                break;
            std::this_thread::sleep_for(20ms);
        }
        state.stopRequested = 1;
    });
    WatchReport report = run(real);
    stopper.join();
    EXPECT_GE(report.passes, 2);
    EXPECT_TRUE(fs::exists(in / "_converted/photo.JPG"));
    EXPECT_TRUE(fs::exists(in / "_failed/noext"));
    EXPECT_TRUE(fs::exists(in / "_failed/x.jp"));
    EXPECT_EQ(report.succeeded, 1);
    EXPECT_EQ(report.failed, 2);
    pdfPath("out/photo.pdf");
}

TEST_F(WatchRunnerTest, WithoutIntervalSourcesStayAndASecondRunMakesNewNames)
{
    bmp("a.bmp");
    settings.mode = kPerImageMode;
    engine::CEngineClient real;
    run(real);
    run(real);
    EXPECT_TRUE(fs::exists(in / "a.bmp"));
    EXPECT_FALSE(fs::exists(in / "_converted"));
    pdfPath("out/a.pdf");
    pdfPath("out/a(NEW001).pdf");
}

TEST_F(WatchRunnerTest, SubfoldersWithKeepSubfoldersMirrorTheTreeAndSkipConverted)
{
    bmp("a/b/x.png");
    bmp("a/_converted/old.png");
    settings.mode = kPerImageMode;
    settings.includeSubfolders = true;
    settings.keepSubfolders = true;
    engine::CEngineClient real;
    run(real);
    pdfPath("out/a/b/x.pdf");
    EXPECT_FALSE(fs::exists(dir / "out/a/_converted"));
    EXPECT_FALSE(fs::exists(dir / "out/old.pdf"));
}

TEST_F(WatchRunnerTest, ADamagedImageLeavesNoPagelessPdfAndGoesToFailed)
{
    bmp("good.png");
    file("bad.png", "\x89PNG\r\n\x1a\n damaged beyond repair");
    settings.mode = kPerImageMode;
    settings.repeat = true;
    settings.intervalSeconds = 0;
    engine::CEngineClient real;
    std::thread stopper([&] {
        for (int i = 0; i < 200 && (fs::exists(in / "bad.png") || fs::exists(in / "good.png")); ++i)
            std::this_thread::sleep_for(20ms);
        state.stopRequested = 1;
    });
    run(real);
    stopper.join();
    pdfPath("out/good.pdf");
    EXPECT_FALSE(fs::exists(dir / "out/bad.pdf"));
    EXPECT_TRUE(fs::exists(in / "_failed/bad.png"));
    EXPECT_TRUE(fs::exists(in / "_converted/good.png"));
}

TEST_F(WatchRunnerTest, IntervalZeroRunsPassesBackToBack)
{
    settings.mode = kMergeMode;
    settings.repeat = true;
    settings.intervalSeconds = 0;
    engine::CEngineClient real;
    std::thread stopper([&] {
        std::this_thread::sleep_for(300ms);
        state.stopRequested = 1;
    });
    WatchReport report = run(real);
    stopper.join();
    EXPECT_GT(report.passes, 10);
}

} // namespace
} // namespace folvane::jobs
