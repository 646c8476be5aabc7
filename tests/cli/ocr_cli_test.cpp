// Searchable scans from the command line: a page of known text drawn with a real font is
// converted with --ocr, and the PDF's text layer gives the words back in order, each where it
// is drawn, while the page looks (and its image data is) exactly as without the text layer.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "support/cli_fixture.h"
#include "support/text_page.h"

namespace fs = std::filesystem;
using namespace folvane::test;

namespace {

class OcrCli : public CliFixture {
protected:
    void SetUp() override
    {
        CliFixture::SetUp();
        for (const char* tool : {"gm", "pdftotext", "mutool", "pdftoppm"})
            ASSERT_TRUE(haveTool(tool)) << tool << " is needed (scripts/install-deps.sh)";
    }

    // At least 95 % of the drawn words come back in their order.
    void expectWordsInOrder(const std::vector<PlacedWord>& drawn, const std::vector<PlacedWord>& found)
    {
        auto pairs = wordsInOrder(drawn, found);
        EXPECT_GE(pairs.size() * 100, drawn.size() * 95)
            << pairs.size() << " of " << drawn.size() << " words in order; found " << found.size();
    }

    // Every matched word's box in points lies within `tolerance` horizontally (and a little more
    // vertically, where the text layer spans the whole line) of its ink, the ink box being mapped
    // by `scale` points per pixel from the picture's corner (`left`, `top`).
    void expectWordsWhereDrawn(const std::vector<PlacedWord>& drawn, const std::vector<PlacedWord>& found,
                               double left, double top, double scale, double tolerance)
    {
        for (auto [d, f] : wordsInOrder(drawn, found)) {
            const Box& ink = drawn[d].box;
            const Box& box = found[f].box;
            SCOPED_TRACE(drawn[d].text);
            EXPECT_NEAR(box.left, left + ink.left * scale, tolerance);
            EXPECT_NEAR(box.right, left + ink.right * scale, tolerance);
            EXPECT_NEAR(box.top, top + ink.top * scale, tolerance + 1.5);
            EXPECT_NEAR(box.bottom, top + ink.bottom * scale, tolerance + 1.5);
        }
    }

    // The first page rendered by MuPDF and by poppler, as bytes.
    std::string rendered(const fs::path& pdf, const std::string& password = "")
    {
        fs::path mu = dir / (pdf.stem().string() + "-mu.pgm");
        fs::path pop = dir / (pdf.stem().string() + "-pop");
        std::string mupass = password.empty() ? "" : "-p " + shellQuote(password) + " ";
        std::string poppass = password.empty() ? "" : "-upw " + shellQuote(password) + " ";
        EXPECT_EQ(runCommand("mutool draw -q " + mupass + "-c gray -r 50 -o " + q(mu) + " " + q(pdf) + " 1").exitCode, 0);
        EXPECT_EQ(runCommand("pdftoppm -gray -r 50 -f 1 -l 1 -singlefile " + poppass + q(pdf) + " " + q(pop)).exitCode, 0);
        return readFileBytes(mu) + readFileBytes(pop.string() + ".pgm");
    }
};

TEST_F(OcrCli, ReadsTheWordsInOrderWhereTheyAreDrawnAndLeavesThePageAsItIs)
{
    auto drawn = drawTextPage(dir / "scan.tif");
    fs::path searchable = pdfPath("searchable.pdf");
    fs::path plain = pdfPath("plain.pdf");
    std::string layout = " --page-size Letter --margin 0 -m merge ";
    auto run = cli("convert --ocr" + layout + "-o " + q(searchable) + " " + q(dir / "scan.tif"), "SOURCE_DATE_EPOCH=1");
    ASSERT_EQ(run.exitCode, 0) << run.output;
    ASSERT_EQ(cli("convert" + layout + "-o " + q(plain) + " " + q(dir / "scan.tif")).exitCode, 0);

    auto found = extractedWords(searchable);
    expectWordsInOrder(drawn, found);
    // A 2550 x 3300 page on a Letter page: 0.24 points per pixel.
    expectWordsWhereDrawn(drawn, found, 0, 0, 0.24, 3);
    EXPECT_TRUE(extractedWords(plain).empty());
    EXPECT_EQ(rendered(searchable), rendered(plain));
}

TEST_F(OcrCli, PassthroughJpegStaysByteForByteAndCopiedTextReadsAsLines)
{
    drawTextPage(dir / "scan.jpg");
    fs::path out = pdfPath("jpeg.pdf");
    auto run = cli("convert --ocr --progress --quality 0 --page-size Letter -m merge -o " + q(out) + " " +
                   q(dir / "scan.jpg"));
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_NE(run.output.find("1 page, text read on 1 ("), std::string::npos) << "the progress line counts it";
    EXPECT_NE(readFileBytes(out).find(readFileBytes(dir / "scan.jpg")), std::string::npos)
        << "the JPEG file is embedded as it is";
    std::string text = runCommand("pdftotext -raw " + q(out) + " -").output;
    EXPECT_NE(text.find("The quick brown fox jumps over the lazy dog\n"), std::string::npos) << text;
}

TEST_F(OcrCli, ATiltedPageIsReadAfterStraightening)
{
    auto drawn = drawTextPage(dir / "tilted.tif", 1.5);
    fs::path out = pdfPath("tilted.pdf");
    auto run = cli("convert --ocr --deskew --page-size Letter -m merge -o " + q(out) + " " + q(dir / "tilted.tif"));
    ASSERT_EQ(run.exitCode, 0) << run.output;
    expectWordsInOrder(drawn, extractedWords(out));
}

TEST_F(OcrCli, TextFollowsItsCellOnAnEncryptedNUpPage)
{
    // A blank page takes the first cell, so the text lands in the top-right one.
    ASSERT_EQ(runCommand("gm convert -size 2550x3300 xc:white -monochrome " + q(dir / "blank.tif")).exitCode, 0);
    auto drawn = drawTextPage(dir / "scan.tif");
    writeFileBytes(dir / "pw", "open sesame");
    fs::path out = pdfPath("cells.pdf", "open sesame");
    auto run = cli("convert --ocr --layout 4 --page-size Letter --margin 0 --encrypt aes-256 --user-password-file " +
                   q(dir / "pw") + " -m merge -o " + q(out) + " " + q(dir / "blank.tif") + " " + q(dir / "scan.tif"));
    ASSERT_EQ(run.exitCode, 0) << run.output;
    auto found = extractedWords(out, "-upw 'open sesame'");
    expectWordsInOrder(drawn, found);
    // Cells of 306 x 396 points; the picture fills its cell at 0.12 points per pixel.
    expectWordsWhereDrawn(drawn, found, 306, 0, 0.12, 2);
    EXPECT_EQ(readFileBytes(out).find("quick"), std::string::npos) << "no text readable without the password";
}

TEST_F(OcrCli, APageWhoseRecognitionFailsKeepsItsPictureAndTheInputSaysSo)
{
    // Language data that cannot be loaded: the check before the job sees the file, Tesseract
    // refuses it.
    fs::create_directories(dir / "tessdata");
    writeFileBytes(dir / "tessdata" / "eng.traineddata", "not language data");
    drawTextPage(dir / "scan.tif");
    fs::path out = pdfPath("unread.pdf");
    auto run = cli("convert --ocr --json -m merge -o " + q(out) + " " + q(dir / "scan.tif"),
                   "TESSDATA_PREFIX=" + q(dir / "tessdata"));
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_NE(run.output.find("\"status\":\"Succeed\",\"reason\":\"no text layer on 1 page: the text recognition "
                              "languages \\\"eng\\\" could not be loaded"),
              std::string::npos)
        << run.output;
    EXPECT_EQ(pdfinfo(out, "Pages"), "1");
    EXPECT_TRUE(extractedWords(out).empty());
}

TEST_F(OcrCli, AMissingLanguageStopsBeforeTheJob)
{
    ASSERT_EQ(runCommand("gm convert -size 50x50 xc:white " + q(dir / "a.tif")).exitCode, 0);
    auto run = cli("convert --ocr --ocr-lang eng+zzz -m merge -o " + q(dir / "out.pdf") + " " + q(dir / "a.tif"));
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.output.find("the text recognition language \"zzz\" is not installed (install the package "
                              "tesseract-ocr-zzz)"),
              std::string::npos)
        << run.output;
    EXPECT_FALSE(fs::exists(dir / "out.pdf"));

    auto languages = cli("info --ocr-languages");
    EXPECT_EQ(languages.exitCode, 0);
    EXPECT_TRUE(printed(languages, "eng")) << languages.output;
    EXPECT_FALSE(printed(languages, "osd")) << "orientation data is no language";
}

} // namespace
