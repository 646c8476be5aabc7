// Output writes that fail part-way: folvane-cli runs with a file-size limit (RLIMIT_FSIZE, with
// SIGXFSZ ignored), so every write past the limit fails with EFBIG, as on a full disk. A limit
// rather than a read-only folder, because root (who runs CI) writes into read-only folders.
// The limit sits above the size of each temporary image file and below the size of the PDF, so
// the conversion itself works and only the PDF cannot be completed.
#include <gtest/gtest.h>

#include <filesystem>

#include "support/cli_runner.h"
#include "support/image_files.h"
#include "support/test_support.h"

namespace folvane::test {
namespace {

namespace fs = std::filesystem;

// Pixels that compress badly, so that the files are as large as their pixel count.
uint32_t noise(int x, int y)
{
    uint32_t h = static_cast<uint32_t>(x) * 2654435761u ^ static_cast<uint32_t>(y) * 40503u;
    h ^= h >> 13;
    h *= 0x5bd1e995u;
    return (h ^ (h >> 15)) & 0xFFFFFFu;
}

constexpr long long kLimit = 40000; // bytes any file of the process may reach

class FaultInjection : public PdfTest {
protected:
    void SetUp() override
    {
        dir = scratchDir();
        options.program = FOLVANE_CLI;
        options.home = dir / "home";
        options.tmp = dir / "tmp";
        fs::create_directories(dir / "in");
        fs::create_directories(dir / "out");
    }

    // A gray TIFF of five noise pages: each page's temporary file stays below the limit, the
    // PDF holding all five does not.
    fs::path bigTiff(const std::string& name)
    {
        fs::path path = dir / "in" / name;
        std::vector<TiffPage> pages;
        for (int page = 0; page < 5; ++page)
            pages.push_back(TiffPage {120, 120, 8, 1, 1, 1, [page](int x, int y, int) {
                                          return static_cast<uint8_t>(noise(x + 1000 * page, y));
                                      }});
        writeTiff(path, pages);
        return path;
    }

    fs::path smallBmp(const std::string& name)
    {
        fs::path path = dir / "in" / name;
        writeBmp24(path, 16, 12, [](int x, int y) { return static_cast<uint32_t>(x * 4000 + y * 90); });
        return path;
    }

    CliRun limited(std::vector<std::string> arguments, long long limit = kLimit)
    {
        options.fileSizeLimit = limit;
        CliRun run = runCli(arguments, options);
        EXPECT_EQ(run.signal, 0) << run.err;
        EXPECT_FALSE(run.timedOut);
        EXPECT_FALSE(sanitizerReported(run)) << run.err;
        EXPECT_TRUE(entriesOf(options.tmp).empty()) << "temporary files left in TMPDIR";
        return run;
    }

    static bool hasLine(const std::string& text, const std::string& line)
    {
        return ("\n" + text).find("\n" + line + "\n") != std::string::npos;
    }

    fs::path dir;
    CliOptions options;
};

TEST_F(FaultInjection, MergedOutputFailingMidWriteLeavesNoFileAndFailsEveryRow)
{
    std::vector<std::string> arguments {"convert", "-m", "merge", "-o", (dir / "out/all.pdf").string()};
    for (int i = 0; i < 6; ++i) {
        fs::path path = dir / "in" / ("n" + std::to_string(i) + ".bmp");
        writeBmp24(path, 110, 110, [i](int x, int y) { return noise(x + 500 * i, y); });
        arguments.push_back(path.string());
    }
    CliRun run = limited(arguments);
    EXPECT_EQ(run.exitCode, 1) << run.out << run.err;
    for (size_t i = 5; i < arguments.size(); ++i) {
        EXPECT_TRUE(hasLine(run.out, "Failed " + arguments[i])) << run.out;
        EXPECT_NE(run.err.find("folvane-cli: " + arguments[i] + ": Failed: the PDF file could not be written"),
                  std::string::npos)
            << run.err;
    }
    EXPECT_TRUE(entriesOf(dir / "out").empty()) << "neither the PDF nor its temporary file may stay";

    // Without the limit the same job works, so the limit was what failed it.
    options.fileSizeLimit = -1;
    CliRun free = runCli(arguments, options);
    EXPECT_EQ(free.exitCode, 0) << free.out << free.err;
    EXPECT_GT(fs::file_size(pdfPath("out/all.pdf")), static_cast<uintmax_t>(kLimit));
}

TEST_F(FaultInjection, PerImageOutputsFailOnlyWhereTheWriteFailed)
{
    fs::path small = smallBmp("small.bmp");
    fs::path big = bigTiff("big.tif");
    fs::path other = smallBmp("other.bmp");
    CliRun run = limited({"convert", "-m", "image", "--log", (dir / "log").string(), "-o", (dir / "out").string(),
                          small.string(), big.string(), other.string()});
    EXPECT_EQ(run.exitCode, 1) << run.out << run.err;
    EXPECT_TRUE(hasLine(run.out, "Succeed " + small.string())) << run.out;
    EXPECT_TRUE(hasLine(run.out, "Failed " + big.string())) << run.out;
    EXPECT_TRUE(hasLine(run.out, "Succeed " + other.string())) << run.out;
    EXPECT_NE(run.err.find("folvane-cli: " + big.string() + ": Failed: the PDF file could not be written"),
              std::string::npos)
        << run.err;
    EXPECT_EQ(entriesOf(dir / "out"), (std::vector<std::string> {"other.pdf", "small.pdf"}));
    pdfPath("out/small.pdf");
    pdfPath("out/other.pdf");
    EXPECT_NE(folderText(dir / "log").find("[State]: Failed"), std::string::npos);
}

// A prepared image too large for the limit fails its own row with the temporary folder named as
// the cause (not as a damaged image), and the job goes on.
TEST_F(FaultInjection, TemporaryFileThatCannotBeWrittenIsNamedAsTheCause)
{
    fs::path small = smallBmp("small.bmp");
    fs::path large = dir / "in/large.tif";
    writeTiff(large, {TiffPage {250, 250, 8, 1, 1, 1, [](int x, int y, int) { return uint8_t(noise(x, y)); }}});
    CliRun run = limited({"convert", "-m", "merge", "--set", "grayTif=0", "-o", (dir / "out/all.pdf").string(),
                          large.string(), small.string()});
    EXPECT_EQ(run.exitCode, 1) << run.out << run.err;
    EXPECT_TRUE(hasLine(run.out, "Failed " + large.string())) << run.out;
    EXPECT_TRUE(hasLine(run.out, "Succeed " + small.string())) << run.out;
    EXPECT_NE(run.err.find("folvane-cli: " + large.string() + ": Failed: cannot write temporary files in " +
                           options.tmp.string() + ": File too large"),
              std::string::npos)
        << run.err;
    pdfPath("out/all.pdf");
}

TEST_F(FaultInjection, FailedAppendTruncatesTheFileBackToItsOriginalBytes)
{
    fs::path small = smallBmp("small.bmp");
    fs::path big = bigTiff("big.tif");
    const fs::path existing = dir / "out/book.pdf";
    CliRun made = runCli({"convert", "-m", "merge", "-o", existing.string(), small.string()}, options);
    ASSERT_EQ(made.exitCode, 0) << made.err;
    const std::string original = readFileBytes(existing);

    CliRun run = limited({"convert", "-m", "merge", "-e", "append", "-o", existing.string(), big.string()},
                         static_cast<long long>(original.size()) + 30000);
    EXPECT_EQ(run.exitCode, 1) << run.out << run.err;
    EXPECT_TRUE(hasLine(run.out, "Failed " + big.string())) << run.out;
    EXPECT_EQ(readFileBytes(existing), original) << "the existing PDF must be restored byte for byte";
    EXPECT_EQ(entriesOf(dir / "out"), std::vector<std::string> {"book.pdf"});
    pdfPath("out/book.pdf");

    // A limit below the existing file: not one byte can be appended.
    run = limited({"convert", "-m", "merge", "-e", "append", "-o", existing.string(), small.string()},
                  static_cast<long long>(original.size()));
    EXPECT_EQ(run.exitCode, 1) << run.out << run.err;
    EXPECT_EQ(readFileBytes(existing), original);
}

TEST_F(FaultInjection, WatchKeepsTheSourceWhoseOutputFailed)
{
    fs::path small = smallBmp("small.bmp");
    fs::path big = bigTiff("big.tif");
    CliRun run = limited({"watch", "--delete-success", "-m", "image", "-o", (dir / "out").string(),
                          (dir / "in").string()});
    EXPECT_EQ(run.exitCode, 1) << run.out << run.err;
    EXPECT_FALSE(fs::exists(small)) << "converted and deleted";
    EXPECT_TRUE(fs::exists(big)) << "a source whose PDF could not be written is never deleted";
    EXPECT_FALSE(fs::exists(dir / "in/_converted") || fs::exists(dir / "in/_failed"));
    EXPECT_EQ(entriesOf(dir / "out"), std::vector<std::string> {"small.pdf"});
    pdfPath("out/small.pdf");

    // Repeated passes (ended by SIGKILL): the converted source goes to "_converted", the one
    // whose PDF cannot be written stays in place for the next pass, neither moved nor deleted.
    fs::path again = smallBmp("again.bmp");
    options.fileSizeLimit = kLimit;
    options.timeLimitSeconds = 4;
    run = runCli({"watch", "--interval", "1", "-m", "image", "-o", (dir / "out2").string(), (dir / "in").string()},
                 options);
    EXPECT_TRUE(run.timedOut);
    EXPECT_FALSE(sanitizerReported(run)) << run.err;
    EXPECT_TRUE(fs::exists(dir / "in/_converted/again.bmp"));
    EXPECT_TRUE(fs::exists(big));
    EXPECT_FALSE(fs::exists(dir / "in/_failed/big.tif"));
    EXPECT_FALSE(fs::exists(dir / "in/_converted/big.tif"));
    EXPECT_EQ(entriesOf(dir / "out2"), std::vector<std::string> {"again.pdf"});
    pdfPath("out2/again.pdf");
}

} // namespace
} // namespace folvane::test
