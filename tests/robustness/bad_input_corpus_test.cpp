// Hundreds of damaged files, made with a fixed seed from valid files of every kind the tests can
// write, run through the real folvane-cli: once as images converted one PDF each, once as
// existing PDFs that pages are appended to. Whatever the damage, the process never crashes,
// hangs or reports a sanitizer error; a failed input reads "Failed" with its reason on standard
// error and "[State]: Failed" in the job log, and leaves no PDF and no temporary file; a failed
// append leaves the existing file byte for byte as it was.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "robustness/damage.h"
#include "support/cli_runner.h"
#include "support/image_files.h"
#include "support/test_support.h"

namespace folvane::test {
namespace {

namespace fs = std::filesystem;

constexpr size_t kBatch = 32;           // inputs per folvane-cli run
constexpr double kSecondsPerInput = 5;  // the time any input may take at most

// A JPEG of libjpeg's default quality and header with a smooth colour ramp.
std::string jpegBytes(bool progressive, int width, int height)
{
    JpegSpec spec;
    spec.width = width;
    spec.height = height;
    spec.progressive = progressive;
    spec.quality = 75;
    spec.densityUnit = 0;
    spec.xDensity = spec.yDensity = 1;
    spec.sample = [](int x, int y, int c) { return static_cast<uint8_t>((x * 3 + c) * 7 + y * 13); };
    return makeJpeg(spec);
}

class BadInputCorpus : public PdfTest {
protected:
    void SetUp() override
    {
        dir = scratchDir();
        options.program = FOLVANE_CLI;
        options.home = dir / "home";
        options.tmp = dir / "tmp";
    }

    Seed seedFromFile(const std::string& kind, const fs::path& written)
    {
        return Seed {kind, written.extension().string(), readFileBytes(written)};
    }

    // Valid files of every kind the tests can make, small enough that hundreds convert quickly.
    std::vector<Seed> imageSeeds()
    {
        fs::path s = dir / "seeds";
        fs::create_directories(s);
        auto colour = [](int x, int y) { return static_cast<uint32_t>((x * 37) << 16 | (y * 53) << 8 | (x ^ y) * 11); };
        std::vector<Seed> seeds;
        writeBmp24(s / "a.bmp", 24, 17, colour);
        seeds.push_back(seedFromFile("bmp24", s / "a.bmp"));
        writeBmp8(s / "b.bmp", 19, 11, {0x000000, 0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF},
                  [](int x, int y) { return static_cast<uint8_t>((x + y) % 5); });
        seeds.push_back(seedFromFile("bmp8", s / "b.bmp"));
        auto gray = [](int x, int y, int) { return static_cast<uint8_t>(x * 9 + y * 5); };
        auto ink = [](int x, int y, int) { return static_cast<uint8_t>((x / 3 + y / 2) % 2); };
        auto rgb = [](int x, int y, int c) { return static_cast<uint8_t>(x * (c + 3) + y * 7); };
        writeTiff(s / "g.tif", {TiffPage {20, 14, 8, 1, 1, 1, gray}});
        seeds.push_back(seedFromFile("tiff-gray", s / "g.tif"));
        writeTiff(s / "l.tif", {TiffPage {21, 13, 8, 3, 2, 5, rgb}});
        seeds.push_back(seedFromFile("tiff-lzw", s / "l.tif"));
        writeTiff(s / "f.tif", {TiffPage {64, 40, 1, 1, 0, 4, ink}});
        seeds.push_back(seedFromFile("tiff-g4", s / "f.tif"));
        writeTiff(s / "m.tif", {TiffPage {16, 16, 8, 1, 1, 32773, gray}, TiffPage {12, 18, 8, 3, 2, 8, rgb}});
        seeds.push_back(seedFromFile("tiff-pages", s / "m.tif"));
        writePngGray(s / "p.png", 23, 15, [](int x, int y) { return static_cast<uint8_t>(x * y); });
        seeds.push_back(seedFromFile("png", s / "p.png"));
        seeds.push_back(Seed {"jpeg", ".jpg", jpegBytes(false, 24, 16)});
        seeds.push_back(Seed {"jpeg-progressive", ".jpg", jpegBytes(true, 24, 16)});
        std::string ppm = "P6\n7 5\n255\n";
        for (int i = 0; i < 7 * 5 * 3; ++i)
            ppm.push_back(static_cast<char>(i * 5));
        seeds.push_back(Seed {"ppm", ".ppm", ppm});
        std::string pgm = "P5\n9 4\n255\n";
        for (int i = 0; i < 9 * 4; ++i)
            pgm.push_back(static_cast<char>(i * 7));
        seeds.push_back(Seed {"pgm", ".pgm", pgm});
        const fs::path fixtures = FOLVANE_CODEC_FIXTURES;
        for (const auto& [kind, file] : std::vector<std::pair<std::string, std::string>> {
                 {"pcx", "colour.pcx"}, {"pcx-bw", "bw.pcx"}, {"ras", "colour.ras"}, {"ras-bw", "bw.ras"},
                 {"wbmp", "bw.wbmp"}, {"tga", "colour.tga"}, {"tga-gray", "gray.tga"}, {"pbm", "bw.pbm"},
                 {"mng", "single.mng"}}) {
            seeds.push_back(seedFromFile(kind, fixtures / file));
        }
        return seeds;
    }

    // A PDF written by folvane-cli, and the same file after one incremental update.
    std::vector<Seed> pdfSeeds()
    {
        fs::path s = dir / "pdfseeds";
        fs::create_directories(s);
        writeBmp24(s / "one.bmp", 30, 20, [](int x, int y) { return static_cast<uint32_t>(x * 8 + y * 2048); });
        writeBmp24(s / "two.bmp", 20, 30, [](int x, int y) { return static_cast<uint32_t>(x * 65536 + y * 3); });
        CliRun made = runCli({"convert", "-m", "merge", "-e", "overwrite", "-o", (s / "base.pdf").string(),
                              (s / "one.bmp").string()},
                             options);
        EXPECT_EQ(made.exitCode, 0) << made.out << made.err;
        std::vector<Seed> seeds {seedFromFile("pdf", s / "base.pdf")};
        fs::copy_file(s / "base.pdf", s / "updated.pdf");
        made = runCli({"convert", "-m", "merge", "-e", "append", "-o", (s / "updated.pdf").string(),
                       (s / "two.bmp").string()},
                      options);
        EXPECT_EQ(made.exitCode, 0) << made.out << made.err;
        seeds.push_back(seedFromFile("pdf-updated", s / "updated.pdf"));
        EXPECT_TRUE(qpdfCheck(s / "base.pdf"));
        EXPECT_TRUE(qpdfCheck(s / "updated.pdf"));
        return seeds;
    }

    static bool hasLine(const std::string& text, const std::string& line)
    {
        return ("\n" + text).find("\n" + line + "\n") != std::string::npos;
    }

    // The "[State]" record that follows the "[Input]" record of `path` in the job log.
    static std::string loggedState(const std::string& log, const std::string& path)
    {
        size_t input = log.find("[Input]: " + path + "\r");
        if (input == std::string::npos)
            input = log.find("[Input]: " + path + "\n");
        if (input == std::string::npos)
            return "no [Input] record";
        size_t state = log.find("[State]: ", input);
        if (state == std::string::npos)
            return "no [State] record";
        size_t end = log.find_first_of("\r\n", state);
        return log.substr(state + 9, end - state - 9);
    }

    // Checks the invariants every run must keep, whatever it was fed.
    void expectCleanRun(const CliRun& run, size_t inputs, const std::string& what)
    {
        EXPECT_FALSE(run.timedOut) << what;
        EXPECT_EQ(run.signal, 0) << what << "\n" << run.err;
        EXPECT_TRUE(run.exitCode == 0 || run.exitCode == 1) << what << " exit " << run.exitCode << "\n" << run.err;
        EXPECT_FALSE(sanitizerReported(run)) << what << "\n" << run.err;
        EXPECT_LE(run.seconds, kSecondsPerInput * static_cast<double>(inputs)) << what;
        EXPECT_TRUE(entriesOf(options.tmp).empty()) << what << ": temporary files left in TMPDIR";
    }

    fs::path dir;
    CliOptions options;
};

TEST_F(BadInputCorpus, DamagedImagesFailCleanlyOneByOne)
{
    if (!haveTool("qpdf"))
        GTEST_SKIP() << "qpdf missing";
    std::mt19937 random(20240607);
    std::vector<Damaged> corpus;
    std::map<std::string, std::string> extensionOf;
    for (const Seed& seed : imageSeeds()) {
        size_t before = corpus.size();
        damageImage(seed, random, corpus);
        for (size_t i = before; i < corpus.size(); ++i)
            extensionOf[corpus[i].name] = seed.extension;
    }
    ASSERT_GE(corpus.size(), 300u);

    size_t failed = 0;
    size_t succeeded = 0;
    for (size_t first = 0; first < corpus.size(); first += kBatch) {
        const size_t end = std::min(corpus.size(), first + kBatch);
        const fs::path in = dir / ("in" + std::to_string(first));
        const fs::path out = dir / ("out" + std::to_string(first));
        const fs::path log = dir / ("log" + std::to_string(first));
        fs::create_directories(in);
        fs::create_directories(log);
        std::vector<std::string> arguments {"convert", "-m", "image", "-o", out.string(), "--log", log.string()};
        for (size_t i = first; i < end; ++i) {
            fs::path file = in / (corpus[i].name + extensionOf[corpus[i].name]);
            writeFileBytes(file, corpus[i].bytes);
            arguments.push_back(file.string());
        }
        options.timeLimitSeconds = kSecondsPerInput * static_cast<double>(end - first);
        CliRun run = runCli(arguments, options);
        const std::string what = "batch from " + corpus[first].name;
        expectCleanRun(run, end - first, what);
        const std::string logText = folderText(log);
        std::set<std::string> expectedOutputs;
        for (size_t i = first; i < end; ++i) {
            const Damaged& input = corpus[i];
            const std::string path = (in / (input.name + extensionOf[input.name])).string();
            const std::string pdf = input.name + ".pdf";
            if (hasLine(run.out, "Succeed " + path)) {
                ++succeeded;
                EXPECT_FALSE(input.mustFail) << input.name << " was converted";
                EXPECT_EQ(loggedState(logText, path), "Succeed") << input.name;
                ASSERT_TRUE(fs::exists(out / pdf)) << input.name;
                expectedOutputs.insert(pdf);
                pdfPath(fs::relative(out / pdf, scratchDir()).string());
                continue;
            }
            ++failed;
            EXPECT_TRUE(hasLine(run.out, "Failed " + path)) << input.name << "\n" << run.out;
            EXPECT_NE(run.err.find("folvane-cli: " + path + ": Failed: "), std::string::npos)
                << input.name << ": no reason on standard error\n" << run.err;
            EXPECT_EQ(loggedState(logText, path), "Failed") << input.name;
            // A file's outcome is its last page's: a multi-page file whose last page is damaged
            // fails, while the PDF keeps the pages that were read. It must be valid.
            if (input.name.ends_with("-tiff-pages") && fs::exists(out / pdf)) {
                expectedOutputs.insert(pdf);
                pdfPath(fs::relative(out / pdf, scratchDir()).string());
            }
        }
        // Nothing but the PDFs of converted inputs: no PDF of a failed one, no temporary file.
        std::vector<std::string> left = entriesOf(out);
        EXPECT_EQ(std::set<std::string>(left.begin(), left.end()), expectedOutputs) << what;
    }
    std::printf("[ corpus   ] %zu damaged images: %zu failed, %zu converted to valid PDFs\n", corpus.size(), failed,
                succeeded);
    EXPECT_GT(failed, corpus.size() / 2);
}

TEST_F(BadInputCorpus, AppendingToDamagedPdfsFailsAndLeavesThemUntouched)
{
    if (!haveTool("qpdf"))
        GTEST_SKIP() << "qpdf missing";
    std::vector<Damaged> corpus;
    for (const Seed& seed : pdfSeeds())
        damagePdf(seed, corpus);
    ASSERT_GE(corpus.size(), 24u);
    const fs::path in = dir / "pages";
    const fs::path out = dir / "existing";
    const fs::path log = dir / "log";
    fs::create_directories(in);
    fs::create_directories(out);
    fs::create_directories(log);
    std::vector<std::string> arguments {"convert", "-m", "image", "-e", "append", "-o", out.string(),
                                        "--log", log.string()};
    for (const Damaged& damaged : corpus) {
        writeFileBytes(out / (damaged.name + ".pdf"), damaged.bytes);
        writeBmp24(in / (damaged.name + ".bmp"), 8, 8, [](int x, int y) { return static_cast<uint32_t>(x * y * 999); });
        arguments.push_back((in / (damaged.name + ".bmp")).string());
    }
    options.timeLimitSeconds = kSecondsPerInput * static_cast<double>(corpus.size());
    CliRun run = runCli(arguments, options);
    expectCleanRun(run, corpus.size(), "append");
    EXPECT_EQ(run.exitCode, 1);
    const std::string logText = folderText(log);
    size_t refused = 0;
    for (const Damaged& damaged : corpus) {
        const std::string path = (in / (damaged.name + ".bmp")).string();
        const fs::path existing = out / (damaged.name + ".pdf");
        if (!damaged.mustFail && hasLine(run.out, "Succeed " + path)) {
            // The existing bytes stay as they were; the update after them makes a valid file.
            EXPECT_EQ(readFileBytes(existing).substr(0, damaged.bytes.size()), damaged.bytes) << damaged.name;
            pdfPath(fs::relative(existing, scratchDir()).string());
            continue;
        }
        ++refused;
        EXPECT_TRUE(hasLine(run.out, "Failed " + path)) << damaged.name << "\n" << run.out;
        EXPECT_NE(run.err.find("folvane-cli: " + path + ": Failed: "), std::string::npos) << damaged.name;
        EXPECT_EQ(loggedState(logText, path), "Failed") << damaged.name;
        EXPECT_EQ(readFileBytes(existing), damaged.bytes) << damaged.name << " was changed";
    }
    EXPECT_EQ(entriesOf(out).size(), corpus.size()) << "no other file appears beside the existing ones";
    std::printf("[ corpus   ] %zu damaged PDFs: %zu refused for appending and left unchanged\n", corpus.size(),
                refused);
}

} // namespace
} // namespace folvane::test
