// The named options of folvane-cli, one family at a time, on real conversions checked by what
// the PDF holds.

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <sstream>

#include "support/cli_fixture.h"
#include "support/image_files.h"

namespace folvane::test {
namespace {

namespace fs = std::filesystem;

class CliOptionsTest : public CliFixture {
protected:
    void SetUp() override
    {
        CliFixture::SetUp();
        fs::create_directories(dir / "in");
        // Three sizes, so the page order shows which file went where.
        writeBmp24(dir / "in/Page1.bmp", 30, 30, [](int, int) { return 0x808080u; });
        writeBmp24(dir / "in/page2.bmp", 40, 20, [](int, int) { return 0x808080u; });
        writeBmp24(dir / "in/page10.bmp", 20, 40, [](int, int) { return 0x808080u; });
    }

    // "W x H" of each page, in page order.
    std::vector<std::string> pageSizes(const fs::path& pdf)
    {
        std::istringstream lines(runCommand("pdfinfo -f 1 -l 99 " + q(pdf)).output);
        std::vector<std::string> sizes;
        std::string line;
        while (std::getline(lines, line)) {
            size_t at = line.find(" size: ");
            if (line.rfind("Page ", 0) == 0 && at != std::string::npos) {
                size_t start = line.find_first_not_of(' ', at + 7);
                sizes.push_back(line.substr(start, line.find(" pts", start) - start));
            }
        }
        return sizes;
    }

    // The catalog's text as mutool shows it.
    std::string catalog(const fs::path& pdf) { return runCommand("mutool show " + q(pdf) + " trailer/Root").output; }
};

TEST_F(CliOptionsTest, PageOptionsSetSizeMarginsAndLayoutAndTheLaterValueWins)
{
    fs::path out = pdfPath("out/page.pdf");
    CommandResult run = cli("convert -m merge -o " + q(out) + " --page-size 210x297mm --margin 10mm --layout 2 " +
                            q(dir / "in"));
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_EQ(pageSizes(out), (std::vector<std::string> {"595 x 842", "595 x 842"}));

    // Left to right: --set after --page-size wins, and a named option after --set wins over it.
    fs::path setLast = pdfPath("out/set-last.pdf");
    ASSERT_EQ(cli("convert -m merge -o " + q(setLast) + " --page-size A4 --set pageSize=5 " + q(dir / "in/Page1.bmp"))
                  .exitCode,
              0);
    EXPECT_EQ(pdfinfo(setLast, "Page size"), "612 x 792 pts (letter)");
    fs::path namedLast = pdfPath("out/named-last.pdf");
    ASSERT_EQ(cli("convert -m merge -o " + q(namedLast) + " --set pageSize=5 --page-size 8.5x5.5in --rotate 90 " +
                  q(dir / "in/Page1.bmp"))
                  .exitCode,
              0);
    EXPECT_EQ(pageSizes(namedLast).at(0), "612 x 396");
    EXPECT_EQ(pdfinfo(namedLast, "Page rot"), "90");
}

TEST_F(CliOptionsTest, NaturalSortCountsDigitsAsNumbersAndTheDefaultOrderStays)
{
    fs::path natural = pdfPath("out/natural.pdf");
    ASSERT_EQ(cli("convert -m merge --natural-sort -o " + q(natural) + " " + q(dir / "in")).exitCode, 0);
    EXPECT_EQ(pageSizes(natural), (std::vector<std::string> {"30 x 30", "40 x 20", "20 x 40"}));
    fs::path byName = pdfPath("out/by-name.pdf");
    ASSERT_EQ(cli("convert -m merge -o " + q(byName) + " " + q(dir / "in")).exitCode, 0);
    EXPECT_EQ(pageSizes(byName), (std::vector<std::string> {"30 x 30", "20 x 40", "40 x 20"}));
    // The watch runner takes the watched folder's images in the same order.
    fs::path watched = pdfPath("out/watched.pdf");
    ASSERT_EQ(cli("watch --settle 0 -m merge --natural-sort -o " + q(watched) + " " + q(dir / "in")).exitCode, 0);
    EXPECT_EQ(pageSizes(watched), pageSizes(natural));
}

TEST_F(CliOptionsTest, ImageOptionsChooseJpegQualityAndBilevelCompression)
{
    TiffPage bilevel;
    bilevel.width = 64;
    bilevel.height = 48;
    bilevel.bitsPerSample = 1;
    bilevel.photometric = 0;
    bilevel.value = [](int x, int y, int) { return static_cast<uint8_t>(((x / 8) + (y / 8)) % 2); };
    writeTiff(dir / "in/bw.tif", {bilevel});
    for (auto [method, encoding] : {std::pair {"zip", " image "}, {"g4", " ccitt "}}) {
        fs::path out = pdfPath(std::string("out/bw-") + method + ".pdf");
        ASSERT_EQ(cli("convert -m merge -o " + q(out) + " --bw-compression " + method + " " + q(dir / "in/bw.tif")).exitCode,
                  0);
        EXPECT_NE(runCommand("pdfimages -list " + q(out)).output.find(encoding), std::string::npos) << method;
    }

    if (!haveTool("gm"))
        GTEST_SKIP() << "gm makes the JPEG input";
    ASSERT_EQ(runCommand("gm convert -size 160x120 plasma:fractal -quality 90 " + q(dir / "in/photo.jpg")).exitCode, 0);
    auto imageBytes = [&](const std::string& quality) {
        fs::path out = pdfPath("out/q" + quality + ".pdf");
        EXPECT_EQ(cli("convert -m merge -o " + q(out) + " --quality " + quality + " " + q(dir / "in/photo.jpg")).exitCode,
                  0);
        return runCommand("pdfimages -j " + q(out) + " " + q(dir / ("q" + quality))).exitCode == 0
                   ? fs::file_size(dir / ("q" + quality + "-000.jpg"))
                   : 0;
    };
    EXPECT_EQ(imageBytes("0"), fs::file_size(dir / "in/photo.jpg")) << "quality 0 keeps the JPEG data";
    EXPECT_LT(imageBytes("10"), imageBytes("95"));
}

TEST_F(CliOptionsTest, BookmarkViewerAndInformationOptionsReachTheCatalogAndInfo)
{
    fs::path out = pdfPath("out/viewer.pdf");
    CommandResult run = cli("convert -m merge -o " + q(out) + " --bookmarks name --open-panel bookmarks " +
                            "--hide-toolbar --title 'Field notes' --author Ana --keywords 'a b' " + q(dir / "in"));
    ASSERT_EQ(run.exitCode, 0) << run.output;
    std::string outline = runCommand("mutool show " + q(out) + " outline").output;
    EXPECT_NE(outline.find("Page1"), std::string::npos) << outline;
    EXPECT_NE(outline.find("page10"), std::string::npos) << outline;
    std::string root = catalog(out);
    EXPECT_NE(root.find("/UseOutlines"), std::string::npos) << root;
    EXPECT_NE(root.find("/HideToolbar true"), std::string::npos) << root;
    EXPECT_EQ(pdfinfo(out, "Title"), "Field notes");
    EXPECT_EQ(pdfinfo(out, "Author"), "Ana");
    EXPECT_EQ(pdfinfo(out, "Keywords"), "a b");
}

TEST_F(CliOptionsTest, StampColoursAreStoredTheWayTheSettingsHoldThem)
{
    // A CSS name and a hex colour, each on its own large watermark: red must render red and blue
    // blue (a swapped byte order would show the other one).
    writeBmp24(dir / "in/white.bmp", 200, 200, [](int, int) { return 0xffffffu; });
    for (auto [colour, wantRed] : {std::pair {"red", true}, {"#0000FF", false}}) {
        SCOPED_TRACE(colour);
        fs::path out = pdfPath(std::string("out/") + (wantRed ? "red" : "blue") + ".pdf");
        CommandResult run = cli("convert -m merge -o " + q(out) + " --watermark MMMM --watermark-size 60 " +
                                "--watermark-color '" + colour + "' " + q(dir / "in/white.bmp"));
        ASSERT_EQ(run.exitCode, 0) << run.output;
        fs::path ppm = dir / "page.ppm";
        ASSERT_EQ(runCommand("mutool draw -q -r 72 -c rgb -o " + q(ppm) + " " + q(out) + " 1").exitCode, 0);
        std::string bytes = readFileBytes(ppm);
        int width = 0, height = 0, maxValue = 0, consumed = 0;
        ASSERT_EQ(std::sscanf(bytes.c_str(), "P6 %d %d %d%n", &width, &height, &maxValue, &consumed), 3);
        int red = 0;
        int blue = 0;
        for (size_t i = static_cast<size_t>(consumed) + 1; i + 2 < bytes.size(); i += 3) {
            auto r = static_cast<unsigned char>(bytes[i]);
            auto b = static_cast<unsigned char>(bytes[i + 2]);
            red += r > 200 && b < 60;
            blue += b > 200 && r < 60;
        }
        EXPECT_GT(wantRed ? red : blue, 100);
        EXPECT_EQ(wantRed ? blue : red, 0);
    }
}

TEST_F(CliOptionsTest, EncryptionAndPermissionsWithPasswordsFromAFileOrTheEnvironment)
{
    writeFileBytes(dir / "user.txt", "open sesame\n");
    fs::path filed = pdfPath("out/filed.pdf", "open sesame");
    CommandResult run = cli("convert -m merge -o " + q(filed) + " --encrypt rc4-128 --allow print,copy " +
                            "--user-password-file " + q(dir / "user.txt") + " " + q(dir / "in/Page1.bmp"));
    ASSERT_EQ(run.exitCode, 0) << run.output;
    std::string shown = runCommand("qpdf --password='open sesame' --show-encryption " + q(filed)).output;
    EXPECT_NE(shown.find("R = 3"), std::string::npos) << shown;
    EXPECT_NE(shown.find("print high resolution: allowed"), std::string::npos) << shown;
    EXPECT_NE(shown.find("extract for any purpose: allowed"), std::string::npos) << shown;
    EXPECT_NE(shown.find("modify other: not allowed"), std::string::npos) << shown;
    EXPECT_NE(runCommand("qpdf --show-encryption " + q(filed)).output.find("Incorrect password"), std::string::npos)
        << "the password is needed";

    // The environment gives both passwords; the owner password opens the file too.
    fs::path env = pdfPath("out/env.pdf", "reader");
    ASSERT_EQ(cli("convert -m merge -o " + q(env) + " --encrypt rc4-40 " + q(dir / "in/Page1.bmp"),
                  "FOLVANE_USER_PASSWORD=reader FOLVANE_OWNER_PASSWORD=boss")
                  .exitCode,
              0);
    EXPECT_NE(runCommand("qpdf --password=boss --show-encryption " + q(env)).output.find("R = 2"), std::string::npos);
    EXPECT_NE(runCommand("qpdf --password=boss --show-encryption " + q(env)).output.find("owner password"),
              std::string::npos);

    // There is no option that takes a password itself, and a password without encryption would be
    // dropped silently, so it is refused.
    EXPECT_EQ(cli("convert --user-password secret " + q(dir / "in")).exitCode, 2);
    CommandResult plain = cli("convert --user-password-file " + q(dir / "user.txt") + " " + q(dir / "in"));
    EXPECT_EQ(plain.exitCode, 2);
    EXPECT_NE(plain.output.find("add --encrypt"), std::string::npos) << plain.output;
    EXPECT_EQ(plain.output.find("open sesame"), std::string::npos) << "a password is never printed";

    // AES levels are stored as levels 2 and 3 (the dry run shows what the run would change; AES-256
    // is already the default level).
    CommandResult aes = cli("convert --dry-run --encrypt aes-256 --user-password-file " + q(dir / "user.txt") + " " +
                            q(dir / "in"));
    EXPECT_EQ(aes.exitCode, 0) << aes.output;
    EXPECT_TRUE(printed(aes, "Setting security=1")) << aes.output;
    EXPECT_EQ(aes.output.find("Setting level="), std::string::npos) << aes.output;
    EXPECT_TRUE(printed(aes, "Setting user=(hidden)")) << aes.output;
    EXPECT_TRUE(printed(cli("convert --dry-run --encrypt aes-128 " + q(dir / "in")), "Setting level=2"));
    EXPECT_TRUE(printed(cli("convert --dry-run --encrypt rc4-40 " + q(dir / "in")), "Setting level=0"));
}

TEST_F(CliOptionsTest, WatchTakesTheSameOptions)
{
    fs::create_directories(dir / "watched");
    fs::copy_file(dir / "in/Page1.bmp", dir / "watched/Page1.bmp");
    fs::path out = pdfPath("out/watched/Page1.pdf");
    CommandResult run = cli("watch --settle 0 -m image -o " + q(dir / "out/watched") + " --page-size A5 --title W " +
                            q(dir / "watched"));
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_EQ(pdfinfo(out, "Page size"), "420 x 595 pts (A5)");
    EXPECT_EQ(pdfinfo(out, "Title"), "W");
    EXPECT_EQ(cli("watch --page-size A9 -o " + q(dir / "out/w2") + " " + q(dir / "watched")).exitCode, 2);
}

} // namespace
} // namespace folvane::test
