// What convert does to the files around its outputs: a name chosen as free never replaces a file
// another process wrote meanwhile, a replaced file keeps its mode and owner, a link at the output
// name is never written through, long names still get numbers, and inputs that are not files are
// refused at once. Run with the real folvane-cli on real files.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <set>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "support/cli_runner.h"
#include "support/image_files.h"

namespace folvane::test {
namespace {

namespace fs = std::filesystem;

class OutputSafetyTest : public PdfTest {
protected:
    void SetUp() override
    {
        dir = scratchDir();
        fs::create_directories(dir / "in");
        fs::create_directories(dir / "out");
    }

    fs::path bmp(const std::string& name, int width = 40, int height = 30, uint32_t salt = 0)
    {
        fs::path path = dir / "in" / name;
        writeBmp24(path, width, height, [salt](int x, int y) {
            return (static_cast<uint32_t>(x * 2654435761u) ^ static_cast<uint32_t>(y * 40503u) ^ salt) & 0xffffffu;
        });
        return path;
    }

    CliSession cli {FOLVANE_CLI, scratchDir() / "session"};
    fs::path dir;
};

// Two runs that both find "x001.pdf" free must not publish over each other: each keeps its file.
TEST_F(OutputSafetyTest, RunsRacingForTheSameNewNameKeepEveryFile)
{
    bmp("a.bmp", 1600, 1200, 1);
    bmp("b.bmp", 1600, 1200, 2);
    ASSERT_EQ(cli.run("convert -o " + q(dir / "out/x.pdf") + " " + q(dir / "in/a.bmp")).exitCode, 0);
    CliSession other {FOLVANE_CLI, dir / "other"};
    const int rounds = 12;
    for (int round = 0; round < rounds; ++round) {
        pid_t first = cli.start("convert -e new -q -o " + q(dir / "out/x.pdf") + " " + q(dir / "in/a.bmp"));
        pid_t second = other.start("convert -e new -q -o " + q(dir / "out/x.pdf") + " " + q(dir / "in/b.bmp"));
        int status = 0;
        ::waitpid(first, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        ::waitpid(second, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    std::set<std::string> files;
    for (const auto& entry : fs::directory_iterator(dir / "out"))
        files.insert(entry.path().filename().string());
    EXPECT_EQ(files.size(), 1u + 2u * rounds) << "a run replaced the file of the other";
    for (const std::string& name : files) {
        EXPECT_EQ(name.front(), 'x') << "no hidden temporary file is left: " << name;
        pdfPath("out/" + name);
    }
}

TEST_F(OutputSafetyTest, OverwriteKeepsTheModeOwnerAndGroupOfTheReplacedFile)
{
    bmp("a.bmp");
    fs::path out = dir / "out/a.pdf";
    ASSERT_EQ(cli.run("convert -o " + q(out) + " " + q(dir / "in/a.bmp")).exitCode, 0);
    ASSERT_EQ(::chmod(out.c_str(), 0640), 0);
    bool root = ::geteuid() == 0;
    if (root) {
        ASSERT_EQ(::chown(out.c_str(), 4321, 4322), 0);
    }
    struct stat before;
    ASSERT_EQ(::stat(out.c_str(), &before), 0);

    CommandResult result = cli.run("convert -e overwrite -o " + q(out) + " " + q(dir / "in/a.bmp"));
    ASSERT_EQ(result.exitCode, 0) << result.output;
    struct stat after;
    ASSERT_EQ(::stat(out.c_str(), &after), 0);
    EXPECT_NE(after.st_ino, before.st_ino) << "the file was replaced, not rewritten in place";
    EXPECT_EQ(after.st_mode & 07777, 0640u);
    if (root) {
        EXPECT_EQ(after.st_uid, 4321u);
        EXPECT_EQ(after.st_gid, 4322u);
    }
    pdfPath("out/a.pdf");
}

TEST_F(OutputSafetyTest, ALinkThatLeadsNowhereIsReplacedOrAvoidedButNeverWrittenThrough)
{
    bmp("a.bmp");
    fs::path target = dir / "elsewhere/target.pdf";
    fs::create_directories(target.parent_path());
    fs::remove(target);
    fs::path out = dir / "out/a.pdf";
    fs::create_symlink(target, out);

    CommandResult fresh = cli.run("convert -e new -o " + q(out) + " " + q(dir / "in/a.bmp"));
    ASSERT_EQ(fresh.exitCode, 0) << fresh.output;
    EXPECT_TRUE(fs::is_symlink(out)) << "a new name leaves the link alone";
    EXPECT_FALSE(fs::exists(target));
    pdfPath("out/a001.pdf");

    CommandResult replaced = cli.run("convert -e overwrite -o " + q(out) + " " + q(dir / "in/a.bmp"));
    ASSERT_EQ(replaced.exitCode, 0) << replaced.output;
    EXPECT_FALSE(fs::is_symlink(out)) << "overwrite replaces the link itself";
    EXPECT_FALSE(fs::exists(target)) << "the link's target is never created";
    pdfPath("out/a.pdf");
}

TEST_F(OutputSafetyTest, ANameAtTheLengthLimitIsShortenedOnACharacterBoundaryToTakeItsNumber)
{
    bmp("a.bmp");
    // 125 two-byte characters and ".pdf": 254 bytes, so a number cannot simply be added.
    std::string stem;
    for (int i = 0; i < 125; ++i)
        stem += "\xc3\xa9";
    fs::path out = dir / "out" / (stem + ".pdf");
    writeFileBytes(out, "taken");
    CommandResult result = cli.run("convert -e new -o " + q(out) + " " + q(dir / "in/a.bmp"));
    ASSERT_EQ(result.exitCode, 0) << result.output;
    std::string numbered = stem.substr(0, 248) + "001.pdf"; // 248 bytes end between two characters
    ASSERT_TRUE(fs::exists(dir / "out" / numbered)) << result.output;
    EXPECT_EQ(readFileBytes(out), "taken");
    pdfPath("out/" + numbered);
}

TEST_F(OutputSafetyTest, AFifoInputFailsAtOnceWithItsReason)
{
    bmp("a.bmp");
    fs::path fifo = dir / "in/pipe.jpg";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    auto started = std::chrono::steady_clock::now();
    CommandResult result = cli.run("convert -o " + q(dir / "out/all.pdf") + " " + q(fifo) + " " + q(dir / "in/a.bmp"));
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    EXPECT_LT(seconds, 5.0) << "the FIFO was waited on";
    EXPECT_EQ(result.exitCode, 1) << result.output;
    EXPECT_TRUE(printedLine(result.output, "folvane-cli: " + fifo.string() + ": Failed: not a regular file (a FIFO)"))
        << result.output;
    pdfPath("out/all.pdf");
}

} // namespace
} // namespace folvane::test
