// A tilted Group 4 scan converted with skew correction on and off: the rendered pages differ,
// and only the corrected one has level text rows.
#include <cmath>

#include <gtest/gtest.h>
#include <tiffio.h>

#include "engine/engine.h"
#include "engine/intake_fixtures.h"
#include "support/test_support.h"
#include "synthetic_page.h"

using namespace folvane;
using namespace folvane::test;

namespace {

void writeGroup4(const std::filesystem::path& path, const BilevelPage& page)
{
    TIFF* tiff = TIFFOpen(path.c_str(), "w");
    ASSERT_NE(tiff, nullptr);
    TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, static_cast<uint32_t>(page.width));
    TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, static_cast<uint32_t>(page.height));
    TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 1);
    TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE); // bit 1 = ink
    TIFFSetField(tiff, TIFFTAG_COMPRESSION, COMPRESSION_CCITTFAX4);
    TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, static_cast<uint32_t>(page.height));
    for (int y = 0; y < page.height; ++y)
        TIFFWriteScanline(tiff, const_cast<uint8_t*>(page.bits.data()) + static_cast<size_t>(y) * static_cast<size_t>(page.stride),
                          static_cast<uint32_t>(y), 0);
    TIFFClose(tiff);
}

BilevelPage fromRendering(const Rendered& rendered)
{
    BilevelPage page(rendered.width, rendered.height);
    for (int y = 0; y < rendered.height; ++y)
        for (int x = 0; x < rendered.width; ++x)
            if (rendered.at(x, y) < 128)
                page.set(x, y);
    return page;
}

class DeskewEndToEnd : public PdfTest {};

} // namespace

TEST_F(DeskewEndToEnd, CorrectedPageHasLevelRows)
{
    const double tilt = 0.02;
    auto boxes = textLines(80, 100, 1040, 14, 50, 7, 22, false);
    BilevelPage scan = drawTilted(1200, 900, boxes, tilt);
    auto tiff = scratchDir() / "skewed.tif";
    writeGroup4(tiff, scan);

    Rendered pages[2];
    for (int corrected = 0; corrected < 2; ++corrected) {
        auto pdf = pdfPath(corrected ? "corrected.pdf" : "as-scanned.pdf");
        engine::Opened opened = engine::Document::create(pdf.string());
        ASSERT_TRUE(opened.status.ok);
        engine::Document& doc = opened.document;
        doc.setCompression(engine::BilevelCompression::Group4);
        doc.setSkewCorrection(corrected != 0);
        ASSERT_TRUE(doc.addImage(tiff.string()).status.ok);
        ASSERT_TRUE(doc.close().ok);
        pages[corrected] = renderGray(pdf, 1, scratchDir());
        ASSERT_EQ(pages[corrected].width, 1200);
    }
    EXPECT_NE(pages[0].gray, pages[1].gray) << "the correction changed the page";
    double before = profileAngle(fromRendering(pages[0]), 0.03);
    double after = profileAngle(fromRendering(pages[1]), 0.03);
    EXPECT_NEAR(before, tilt, 0.003) << "without correction the rows keep their tilt";
    EXPECT_NEAR(after, 0.0, 0.002) << "with correction the rows are level";
}
