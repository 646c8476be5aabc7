// The watch-folder runner: scanning, moves, the settle check, and whole runs with the real engine
// on image files the test writes: the PDFs written, where the sources go, the outcomes reported
// and the log, also when the output cannot be created or written.

#include "jobs/watch_runner.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "../engine/intake_fixtures.h"
#include "job_fixture.h"
#include "failure_reason.h"
#include "services/after_action.h"

namespace folvane::jobs {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

bool contains(const std::vector<std::string>& lines, const std::string& line)
{
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

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
        return test::bmpFile(in / name, 40, 30, colour);
    }

    // The output folder goes away once the document for `pdfName` is open, the first time only:
    // that document cannot be given its name when closed.
    void loseOutputWhileWriting(const std::string& pdfName)
    {
        observer.onOutput = [this, pdfName](const std::string& path) {
            if (path.ends_with("/" + pdfName) && !lostOnce) {
                lostOnce = true;
                fs::rename(dir / "out", dir / "gone");
            }
        };
    }

    WatchReport run(int policy = kCreateNewFile)
    {
        EXPECT_TRUE(beginWatch(state, settings, policy, observer));
        WatchContext context = test::watchContext(
            observer, actions, [this] { return afterAction; },
            [this](const std::string& path, std::string_view outcome, std::string_view reason) {
                outcomes.push_back(std::string(outcome) + " " + path);
                if (!reason.empty())
                    reasons.push_back(std::string(reason));
                if (onFileDone)
                    onFileDone(path, outcome);
            },
            [this](const std::string& path, std::string_view message) {
                notices.push_back(path + ": " + std::string(message));
            });
        return runWatch(state, settings, context);
    }

    fs::path dir;
    fs::path in;
    WatchSettings settings;
    WatchState state;
    test::RecordingObserver observer;
    test::FakeSystemActions actions;
    int afterAction = services::kDoNothing;
    bool lostOnce = false;
    std::function<void(const std::string&, std::string_view)> onFileDone;
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

TEST_F(WatchRunnerTest, SettleCheckNeedsTwoEqualLooksFarEnoughApartUnlessNoTimeIsAsked)
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
    EXPECT_TRUE(tracker.stable(file("b.png", "1").string(), 0ms)) << "no settle time: no second look";
}

TEST_F(WatchRunnerTest, MergeSourcesStayWhenTheWriteFailsAndMoveAfterALaterGoodWrite)
{
    fs::path a = bmp("a.png");
    fs::path b = bmp("b.png", 0xcc3300);
    settings.mode = kMergeMode;
    settings.repeat = true;
    loseOutputWhileWriting("merged.pdf");
    // Once a write failed the folder comes back; the run stops after the last image of the next
    // document (a stop is read between images, so that document is still written).
    onFileDone = [&](const std::string& path, std::string_view outcome) {
        if (outcome == "Failed" && fs::exists(dir / "gone"))
            fs::rename(dir / "gone", dir / "out");
        if (outcome == "Succeed" && path == b.string() && lostOnce && fs::exists(dir / "out"))
            state.stopRequested = 1;
    };
    WatchReport report = run();
    EXPECT_TRUE(report.stopped);
    EXPECT_TRUE(contains(outcomes, "Failed " + a.string())) << "a failed write fails its sources";
    EXPECT_TRUE(contains(outcomes, "Succeed " + a.string())) << "and the next pass takes them again";
    EXPECT_FALSE(fs::exists(a));
    EXPECT_TRUE(fs::exists(in / "_converted/a.png"));
    EXPECT_TRUE(fs::exists(in / "_converted/b.png"));
    EXPECT_EQ(test::qpdfPageCount(pdfPath("out/merged.pdf")), 2);
    EXPECT_TRUE(observer.stateLines.empty() || observer.stateLines.back().empty()) << "a stop clears the state line";
}

TEST_F(WatchRunnerTest, MergeOpenFailureLogsFailedLeavesSourcesAndWatchNamesAreUsed)
{
    fs::path a = bmp("a.png");
    settings.mode = kMergeMode;
    test::writeFileBytes(dir / "out/plain-file", "x");
    settings.paths.merged = (dir / "out/plain-file/merged.pdf").string(); // a folder that is a file
    state.log.setSettings(LogSettings {true, (dir / "log/").string()});
    run();
    EXPECT_TRUE(fs::exists(a));
    EXPECT_TRUE(outcomes.empty());
    std::string text = test::readFileBytes(state.log.currentLogFilePath());
    EXPECT_NE(text.find("[State]: Failed\r\n[Reason]: " + std::string(kReasonNotOpened) + "\r\n"), std::string::npos)
        << text;
    EXPECT_EQ(text.find("Create Failed"), std::string::npos) << text;

    // A taken name gives way to the watch style's new name.
    settings.paths.merged = (dir / "out/merged.pdf").string();
    test::writeFileBytes(dir / "out/merged.pdf", "taken");
    run();
    EXPECT_EQ(test::qpdfPageCount(pdfPath("out/merged(NEW001).pdf")), 1);
    EXPECT_EQ(test::readFileBytes(dir / "out/merged.pdf"), "taken");
}

TEST_F(WatchRunnerTest, ProducerIsAlwaysTheDefaultText)
{
    bmp("a.png");
    settings.mode = kPerImageMode;
    settings.output.producer = "My own producer";
    run();
    test::CommandResult info = test::runCommand("pdfinfo " + test::shellQuote(pdfPath("out/a.pdf").string()));
    EXPECT_NE(info.output.find(kDefaultProducer), std::string::npos) << info.output;
    EXPECT_EQ(info.output.find("My own"), std::string::npos) << info.output;
}

TEST_F(WatchRunnerTest, DeleteOnSuccessDeletesOnlyWrittenSuccessfulSources)
{
    fs::path bad = file("bad.png", "\x89PNG\r\n\x1a\n damaged beyond repair");
    fs::path good = bmp("good.png");
    fs::path lost = bmp("lost.png");
    settings.mode = kPerImageMode;
    settings.deleteOnSuccess = true;
    loseOutputWhileWriting("lost.pdf");
    run();
    EXPECT_FALSE(fs::exists(good)) << "deleted without the interval too";
    EXPECT_TRUE(fs::exists(bad)) << "a failed source is never deleted";
    EXPECT_TRUE(fs::exists(lost)) << "its PDF was never written";
    EXPECT_FALSE(fs::exists(in / "_failed")) << "the managed folders come only with the interval";
    ASSERT_EQ(reasons.size(), 2u);
    EXPECT_EQ(reasons[1], kReasonNotWritten);
    EXPECT_EQ(test::qpdfPageCount(dir / "gone/good.pdf"), 1);
    EXPECT_FALSE(fs::exists(dir / "gone/lost.pdf"));
    fs::rename(dir / "gone", dir / "out");
    pdfPath("out/good.pdf");
}

TEST_F(WatchRunnerTest, PerImageOpenFailureMovesTheSourceToFailedWithTheInterval)
{
    fs::path a = bmp("a.png");
    settings.mode = kPerImageMode;
    settings.repeat = true;
    test::writeFileBytes(dir / "plain-file", "x");
    settings.paths.perImageFolder = (dir / "plain-file/").string();
    // No document is ever written; stop once the source has gone.
    std::thread stopper([&] {
        for (int i = 0; i < 100 && fs::exists(a); ++i)
            std::this_thread::sleep_for(20ms);
        state.stopRequested = 1;
    });
    run();
    stopper.join();
    EXPECT_TRUE(fs::exists(in / "_failed/a.png"));
}

TEST_F(WatchRunnerTest, PerFolderOpenFailureMovesOnlyTheFolderFirstSourceEvenWithoutInterval)
{
    fs::path first = bmp("sub/a.png");
    fs::path second = bmp("sub/b.png");
    fs::path other = bmp("zz/c.png");
    fs::create_directories(in / "sub/_failed");
    fs::create_directories(dir / "out/sub.pdf"); // a folder is never overwritten
    settings.mode = kPerFolderMode;
    settings.includeSubfolders = true;
    run(kOverwrite);
    EXPECT_FALSE(fs::exists(first));
    EXPECT_TRUE(fs::exists(in / "sub/_failed/a.png"));
    EXPECT_TRUE(fs::exists(second));
    EXPECT_TRUE(fs::exists(other)) << "interval off: converted sources stay";
    EXPECT_EQ(test::qpdfPageCount(pdfPath("out/zz.pdf")), 1);
}

TEST_F(WatchRunnerTest, SinglePassRunsTheActionOnTheModeOutputButAStoppedWaitDoesNot)
{
    bmp("a.png");
    settings.mode = kPerFolderMode;
    afterAction = services::kOpenOutput;
    run();
    EXPECT_EQ(actions.calls, (std::vector<std::string> {"open " + settings.paths.perFolderFolder}));
    pdfPath("out/in.pdf");

    settings.repeat = true;
    settings.intervalSeconds = 30;
    actions.calls.clear();
    std::thread stopper([&] {
        std::this_thread::sleep_for(300ms);
        state.stopRequested = 1;
    });
    auto start = std::chrono::steady_clock::now();
    run();
    stopper.join();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1500ms) << "the wait ends within a second";
    EXPECT_TRUE(actions.calls.empty());
}

TEST_F(WatchRunnerTest, AFileStillGrowingIsLeftAloneUntilItSettles)
{
    fs::path steady = bmp("a.png");
    fs::path growing = bmp("b.png");
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
    WatchReport report = run();
    done = true;
    writer.join();
    EXPECT_TRUE(contains(outcomes, "Skipped " + growing.string()));
    EXPECT_TRUE(contains(outcomes, "Succeed " + steady.string()));
    EXPECT_FALSE(fs::exists(dir / "out/b.pdf"));
    EXPECT_EQ(report.skipped, 1);
    pdfPath("out/a.pdf");

    outcomes.clear();
    run();
    EXPECT_TRUE(contains(outcomes, "Succeed " + growing.string())) << "taken once it stopped changing";
    pdfPath("out/b.pdf");
}

TEST_F(WatchRunnerTest, IntervalMovesSourcesAsideAndTheNextPassFindsNothing)
{
    bmp("photo.JPG");
    file("noext", "not an image");
    file("x.jp", "not an image");
    settings.mode = kPerImageMode;
    settings.repeat = true;
    std::thread stopper([&] {
        for (int i = 0; i < 200; ++i) {
            if (!observer.stateLines.empty() && observer.stateLines.back() == "Current: " + std::string(kWatchNothingToDo))
                break;
            std::this_thread::sleep_for(20ms);
        }
        state.stopRequested = 1;
    });
    WatchReport report = run();
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
    run();
    run();
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
    run();
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
    std::thread stopper([&] {
        for (int i = 0; i < 200 && (fs::exists(in / "bad.png") || fs::exists(in / "good.png")); ++i)
            std::this_thread::sleep_for(20ms);
        state.stopRequested = 1;
    });
    run();
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
    std::thread stopper([&] {
        std::this_thread::sleep_for(300ms);
        state.stopRequested = 1;
    });
    WatchReport report = run();
    stopper.join();
    EXPECT_GT(report.passes, 10);
}

} // namespace
} // namespace folvane::jobs
