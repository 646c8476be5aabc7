// Encryption of everything a real page holds: text in a standard font, a JPEG passed through,
// a palette TIFF with its palette stream and a compressed TIFF passed through.
// The encrypted file must read back, stream by stream and pixel by pixel, as the same document
// written without encryption.
#include <gtest/gtest.h>

#include <string>

#include "images_fixtures.h"
#include "pdf/document.h"
#include "pdf/fonts.h"
#include "pdf/images.h"
#include "pdf/outline.h"
#include "pdf/pdf_inspect.h"
#include "pdf/security.h"
#include "support/test_support.h"

using namespace folvane::pdf;
using namespace folvane::test;

namespace {

class SecurityContent : public PdfTest {};

struct Inputs {
    std::filesystem::path jpeg;
    std::filesystem::path palette;
    std::filesystem::path packbits;
};

Inputs makeInputs()
{
    Inputs in;
    auto dir = scratchDir();
    JpegSpec spec;
    spec.width = 48;
    spec.height = 32;
    in.jpeg = dir / "photo.jpg";
    writeFileBytes(in.jpeg, makeJpeg(spec));

    TiffDirectory palette = patternPage(40, 20, 4, 1, PHOTOMETRIC_PALETTE, COMPRESSION_LZW);
    for (int c = 0; c < 3; ++c)
        for (int i = 0; i < 16; ++i)
            palette.colormap.push_back(static_cast<uint16_t>((i * 4000 + c * 9000) % 65536));
    in.palette = dir / "palette.tif";
    EXPECT_TRUE(writeTiff(in.palette, {palette}));

    in.packbits = dir / "gray.tif";
    EXPECT_TRUE(writeTiff(in.packbits, {patternPage(64, 40, 8, 1, PHOTOMETRIC_MINISBLACK, COMPRESSION_PACKBITS, 3)}));
    return in;
}

// Writes the same two pages every time; encryption when keyLength is not 0.
void writeDocument(const std::filesystem::path& path, const Inputs& in, int keyLength)
{
    ErrorLog log;
    PdfDocument* doc = makeDocument(&log);
    openOutput(doc, path.string());
    setInfoField(doc, "Title", "Quarterly figures");
    if (keyLength)
        enableEncryption(doc, true, kPermitPrint, keyLength, "boss", "staff");
    int helvetica = findFont(doc, "Helvetica", kEncodingAnsiAlias);

    beginPage(doc, 300, 200);
    int photo = openImageFile(doc, kImageJpeg, in.jpeg.string(), "", 0);
    int palette = openImageFile(doc, kImageTiff, in.palette.string(), "", 0);
    EXPECT_GE(photo, 0);
    EXPECT_GE(palette, 0);
    placeImage(doc, photo, 10, 100, 1);
    placeImage(doc, palette, 100, 100, 2);
    setFont(doc, helvetica, 14);
    setTextPosition(doc, 10, 40);
    showText(doc, "Confidential revenue table");
    endPage(doc);

    beginPage(doc, 300, 200);
    int gray = openImageFile(doc, kImageTiff, in.packbits.string(), "", 0);
    EXPECT_GE(gray, 0);
    placeImage(doc, gray, 20, 20, 1.5);
    setFont(doc, helvetica, 12);
    setTextPosition(doc, 120, 150);
    showText(doc, "Second page line");
    endPage(doc);
    closePdfDocument(doc);
    freePdfDocument(doc);
    EXPECT_TRUE(log.codes.empty());
}

std::string rawStream(const std::filesystem::path& path, int number, const std::string& password)
{
    std::string option = password.empty() ? "" : "--password=" + password + " ";
    return runCommand("qpdf " + option + "--raw-stream-data --show-object=" + std::to_string(number) + " " +
                      shellQuote(path.string()))
        .output;
}

} // namespace

TEST_F(SecurityContent, EncryptedPagesReadBackAsTheUnencryptedOnes)
{
    ASSERT_TRUE(haveTool("mutool") && haveTool("pdftotext"));
    Inputs in = makeInputs();
    auto plainPath = pdfPath("plain.pdf");
    writeDocument(plainPath, in, 0);
    WrittenPdf plain = readWrittenPdf(readFileBytes(plainPath));
    ASSERT_EQ(plain.error, "");
    std::string plainText = runCommand("pdftotext " + shellQuote(plainPath.string()) + " -").output;
    EXPECT_NE(plainText.find("Confidential revenue table"), std::string::npos) << plainText;
    EXPECT_NE(plainText.find("Second page line"), std::string::npos);

    for (int keyLength : {5, 16}) {
        SCOPED_TRACE(keyLength);
        auto path = pdfPath("encrypted" + std::to_string(keyLength) + ".pdf", "staff");
        writeDocument(path, in, keyLength);
        WrittenPdf encrypted = readWrittenPdf(readFileBytes(path));
        ASSERT_EQ(encrypted.error, "");

        // Every stream of the plain file (content, images, palette, font file) decrypts to the
        // same bytes, and none of them is stored in clear.
        int streams = 0;
        for (const auto& [number, text] : plain.objects) {
            if (text.find(" stream\r\n") == std::string::npos)
                continue;
            ++streams;
            std::string clear = rawStream(plainPath, number, "");
            EXPECT_EQ(rawStream(path, number, "staff"), clear) << "object " << number;
            if (clear.size() >= 16) {
                EXPECT_EQ(rawStreamData(encrypted.objects[number]).find(clear.substr(0, 16)), std::string::npos)
                    << "object " << number << " in clear";
            }
        }
        EXPECT_GE(streams, 6) << "two contents, three images, one palette";

        std::string text = runCommand("pdftotext -upw staff " + shellQuote(path.string()) + " -").output;
        EXPECT_EQ(text, plainText);
        for (int page = 1; page <= 2; ++page) {
            auto scratch = scratchDir();
            std::string p = std::to_string(page);
            runCommand("mutool draw -q -r 72 -c rgb -o " + shellQuote((scratch / ("a" + p + ".ppm")).string()) + " " +
                       shellQuote(plainPath.string()) + " " + p);
            runCommand("mutool draw -q -r 72 -c rgb -p staff -o " + shellQuote((scratch / ("b" + p + ".ppm")).string()) +
                       " " + shellQuote(path.string()) + " " + p);
            std::string a = readFileBytes(scratch / ("a" + p + ".ppm"));
            ASSERT_GT(a.size(), 300u * 200u * 3u) << "page " << page << " did not render";
            EXPECT_TRUE(a == readFileBytes(scratch / ("b" + p + ".ppm"))) << "page " << page << " differs";
        }
    }
}
