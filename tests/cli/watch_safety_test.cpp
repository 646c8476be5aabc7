// The watch folder's promise: a source is either where the user left it or inside a complete PDF
// on disk (and, with the interval, in "_converted" or "_failed"). Runs of the real runner and the
// real folvane-cli on real files.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sys/stat.h>

#include "../services/fake_system_actions.h"
#include "jobs/watch_runner.h"
#include "support/cli_runner.h"
#include "support/image_files.h"

namespace folvane::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

int countOf(const std::string& text, const std::string& part)
{
    int count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

class WatchSafetyTest : public PdfTest {
protected:
    void SetUp() override
    {
        dir = scratchDir();
        in = dir / "in";
        fs::create_directories(in);
        fs::create_directories(dir / "out");
    }

    fs::path bmp(const fs::path& path, uint32_t colour = 0x3366cc)
    {
        fs::create_directories(path.parent_path());
        writeBmp24(path, 40, 30, [colour](int, int) { return colour; });
        return path;
    }

    std::string watch(const std::string& options) { return "watch --settle 0 " + options + " " + q(in); }

    CliSession cli {FOLVANE_CLI, scratchDir() / "session"};
    fs::path dir;
    fs::path in;
};

// A scanner writes a new a.bmp while the old one is being converted: the new scan is neither
// deleted nor filed away, with delete on (single pass) and with the interval (moves).
TEST_F(WatchSafetyTest, ASourceReplacedAfterItWasReadStaysForTheNextPass)
{
    for (bool interval : {false, true}) {
        SCOPED_TRACE(interval ? "interval" : "delete");
        fs::remove_all(in);
        bmp(in / "a.bmp", 0x0000ff);
        bmp(in / "b.bmp", 0x00ff00);
        jobs::WatchSettings settings;
        settings.inputFolder = in.string();
        settings.mode = jobs::kMergeMode;
        settings.paths.merged = (dir / "out" / (interval ? "moved.pdf" : "deleted.pdf")).string();
        settings.settleTime = 0ms;
        settings.deleteOnSuccess = !interval;
        settings.repeat = interval;
        jobs::WatchState state;
        jobs::JobObserver observer;
        ASSERT_TRUE(jobs::beginWatch(state, settings, jobs::kCreateNewFile, observer));
        FakeSystemActions actions;
        jobs::WatchContext context {observer, actions, {},
                                    [&](const std::string& path, std::string_view, std::string_view) {
                                        if (path.ends_with("/a.bmp")) {
                                            // the next scan, written as scanners write: a new file
                                            fs::remove(path);
                                            bmp(path, 0xff0000);
                                        } else {
                                            state.stopRequested = 1; // one pass is enough
                                        }
                                    },
                                    {}, {}};
        jobs::runWatch(state, settings, context);
        ASSERT_TRUE(fs::exists(in / "a.bmp")) << "the new scan was lost";
        EXPECT_EQ(readFileBytes(in / "a.bmp"), readFileBytes(bmp(dir / "new-scan.bmp", 0xff0000)));
        EXPECT_FALSE(fs::exists(in / "_converted/a.bmp"));
        EXPECT_EQ(fs::exists(in / "_converted/b.bmp"), interval);
        EXPECT_FALSE(fs::exists(in / "b.bmp")) << "the source that was read is moved or deleted";
        pdfPath("out/" + fs::path(settings.paths.merged).filename().string());
    }
}

TEST_F(WatchSafetyTest, OverwriteWithDeleteIsRefusedWhereItWouldLosePages)
{
    bmp(in / "a.bmp");
    CommandResult merge =
        cli.run(watch("-m merge -e overwrite --delete-success --interval 1 -o " + q(dir / "out/all.pdf")));
    EXPECT_EQ(merge.exitCode, 2) << merge.output;
    EXPECT_NE(merge.output.find("\"Overwrite\""), std::string::npos) << merge.output;
    EXPECT_NE(merge.output.find("\"Delete source file when success\""), std::string::npos) << merge.output;

    fs::copy_file(in / "a.bmp", in / "a.jp"); // a second source that also gives a.pdf
    CommandResult twins = cli.run(watch("-m image -e overwrite --delete-success -o " + q(dir / "out")));
    EXPECT_EQ(twins.exitCode, 2) << twins.output;
    EXPECT_NE(twins.output.find("both give " + (dir / "out/a.pdf").string()), std::string::npos) << twins.output;
    EXPECT_TRUE(fs::exists(in / "a.bmp") && fs::exists(in / "a.jp")) << "nothing ran";
    EXPECT_TRUE(fs::is_empty(dir / "out"));

    fs::remove(in / "a.jp");
    CommandResult single = cli.run(watch("-m image -e overwrite --delete-success -o " + q(dir / "out")));
    EXPECT_EQ(single.exitCode, 0) << single.output;
    EXPECT_FALSE(fs::exists(in / "a.bmp"));
    pdfPath("out/a.pdf");
}

// Should two sources giving the same PDF name arrive during a run anyway, the second one is not
// converted over the PDF of the first, whose source is gone.
TEST_F(WatchSafetyTest, UnderOverwriteWithDeleteASecondSourceOfTheSameNameIsNotConverted)
{
    bmp(in / "a.bmp", 0x0000ff);
    bmp(in / "a.jp", 0x00ff00);
    jobs::WatchSettings settings;
    settings.inputFolder = in.string();
    settings.mode = jobs::kPerImageMode;
    settings.paths.perImageFolder = (dir / "out/").string();
    settings.settleTime = 0ms;
    settings.deleteOnSuccess = true;
    jobs::WatchState state;
    jobs::JobObserver observer;
    ASSERT_TRUE(jobs::beginWatch(state, settings, jobs::kOverwrite, observer));
    FakeSystemActions actions;
    std::vector<std::string> outcomes;
    jobs::WatchContext context {observer, actions, {},
                                [&](const std::string& path, std::string_view outcome, std::string_view reason) {
                                    outcomes.push_back(fs::path(path).filename().string() + " " +
                                                       std::string(outcome) + " " + std::string(reason));
                                },
                                {}, {}};
    jobs::runWatch(state, settings, context);
    ASSERT_EQ(outcomes.size(), 2u);
    EXPECT_EQ(outcomes[0], "a.bmp Succeed ");
    EXPECT_TRUE(outcomes[1].starts_with("a.jp Failed another source of this run already gave")) << outcomes[1];
    EXPECT_FALSE(fs::exists(in / "a.bmp"));
    EXPECT_TRUE(fs::exists(in / "a.jp"));
    pdfPath("out/a.pdf");
}

// A link among the sources is never converted, and a "_converted" that is a link sends nothing
// out of the folder: the move fails, is said once, and the source is not converted again on the
// following passes.
TEST_F(WatchSafetyTest, LinksStayOutsideAndAFailedMoveIsReportedOnceAndConvertedOnce)
{
    fs::path outside = dir / "outside";
    fs::create_directories(outside);
    bmp(dir / "private/p.bmp");
    fs::create_symlink(dir / "private/p.bmp", in / "x.bmp");
    fs::create_directory_symlink(outside, in / "_converted");
    bmp(in / "a.bmp");

    CommandResult result = runCommand(cli.command(watch("-m image --interval 1 -o " + q(dir / "out")), "timeout -s TERM 4"));
    EXPECT_EQ(countOf(result.output, (in / "a.bmp").string() + ": cannot move to _converted"), 1) << result.output;
    EXPECT_EQ(countOf(result.output, (in / "x.bmp").string() + ": skipped"), 1) << result.output;
    EXPECT_EQ(countOf(result.output, "Succeed "), 1) << result.output;
    EXPECT_TRUE(fs::exists(in / "a.bmp"));
    EXPECT_TRUE(fs::exists(dir / "private/p.bmp"));
    EXPECT_TRUE(fs::is_empty(outside));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir / "out"), fs::directory_iterator()), 1) << "converted once";
    pdfPath("out/a.pdf");
}

// The PDF and its folder entry are on disk before the source that went into it is deleted.
TEST_F(WatchSafetyTest, ThePdfIsSyncedBeforeItsSourceIsDeleted)
{
    if (!haveTool("strace"))
        GTEST_SKIP() << "strace is not installed";
    bmp(in / "a.bmp");
    fs::path trace = dir / "trace.txt";
    // The leak checker cannot run under ptrace; the sanitizer build turns it off for this run.
    CommandResult result = runCommand(cli.command(watch("-m merge --delete-success -o " + q(dir / "out/all.pdf")),
                                                  "env ASAN_OPTIONS=detect_leaks=0 strace -f -e trace=fsync,fdatasync,unlink,unlinkat,linkat,rename,renameat2 -o " + q(trace)));
    ASSERT_EQ(result.exitCode, 0) << result.output;
    std::ifstream lines(trace);
    std::vector<std::string> calls;
    for (std::string line; std::getline(lines, line);)
        calls.push_back(line);
    auto find = [&](auto predicate) {
        return std::find_if(calls.begin(), calls.end(), predicate) - calls.begin();
    };
    auto deleted = find([&](const std::string& l) { return l.find("unlink") != std::string::npos && l.find("a.bmp") != std::string::npos; });
    auto named = find([&](const std::string& l) { return l.find("linkat") != std::string::npos && l.find("all.pdf") != std::string::npos; });
    ASSERT_LT(deleted, static_cast<long>(calls.size())) << "the source was not deleted";
    ASSERT_LT(named, deleted) << "the PDF was named before the source went";
    long syncsBeforeName = std::count_if(calls.begin(), calls.begin() + named, [](const std::string& l) { return l.find("fsync(") != std::string::npos; });
    long syncsAfterName = std::count_if(calls.begin() + named, calls.begin() + deleted, [](const std::string& l) { return l.find("fsync(") != std::string::npos; });
    EXPECT_GE(syncsBeforeName, 1) << "the file's data is synced before it is named";
    EXPECT_GE(syncsAfterName, 1) << "the folder is synced after the name is given";
    pdfPath("out/all.pdf");
}

} // namespace
} // namespace folvane::test
