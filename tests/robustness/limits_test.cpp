// Every cap of resource_limits.h, at the limit and one past it: at the limit the file still
// reads, one past it the read fails cleanly. Nothing here allocates near the caps: the size
// checks are asked directly, headers are read without pixels, and the PDF and JPEG inputs are
// small files whose structure reaches the cap.
#include <gtest/gtest.h>

#include <cstdio>

#include "codec/bitmap.h"
#include "codec/image_codec.h"
#include "pdf/document.h"
#include "image_import.h"
#include "pdf/reader_fixtures.h"
#include "base/resource_limits.h"
#include "support/image_files.h"
#include "support/test_support.h"

namespace folvane::test {
namespace {

using limits::kMaxAllocationBytes;
using limits::kMaxFramePixels;

// A 24-bit BMP header of any size, without its pixels: enough for a header-only load.
std::string bmpHeader(uint32_t width, uint32_t height)
{
    std::string bytes = "BM";
    auto u32 = [&](uint32_t v) {
        for (int i = 0; i < 4; ++i)
            bytes.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
    };
    auto u16 = [&](uint16_t v) {
        bytes.push_back(static_cast<char>(v & 0xFF));
        bytes.push_back(static_cast<char>(v >> 8));
    };
    u32(0), u32(0), u32(54);
    u32(40), u32(width), u32(height), u16(1), u16(24), u32(0), u32(0), u32(2835), u32(2835), u32(0), u32(0);
    bytes += std::string(64, '\0');
    return bytes;
}

bool headerLoads(const std::string& bytes)
{
    codec::ImageCodec image;
    image.setHeaderOnly(true);
    return image.loadFromMemory(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), codec::kFormatBmp);
}

TEST(ResourceLimits, FrameSizeAndAllocationCapsHoldAtTheLimitAndRefuseOnePast)
{
    // 16384 × 16384 is exactly kMaxFramePixels.
    EXPECT_TRUE(codec::frameSizeAllowed(16384, 16384, 32));
    EXPECT_FALSE(codec::frameSizeAllowed(16385, 16384, 8));
    EXPECT_FALSE(codec::frameSizeAllowed(16384, 16385, 1));
    EXPECT_TRUE(codec::frameSizeAllowed(kMaxFramePixels, 1, 1));
    EXPECT_FALSE(codec::frameSizeAllowed(kMaxFramePixels + 1, 1, 1));
    // Products that overflow 32 bits, and sides whose product would wrap 64 bits.
    EXPECT_FALSE(codec::frameSizeAllowed(uint64_t{1} << 32, uint64_t{1} << 32, 1));
    EXPECT_FALSE(codec::frameSizeAllowed(0, 10, 24));
    // 32-bit frames at the pixel cap take exactly the allocation cap.
    EXPECT_EQ(codec::strideFor(16384, 32) * 16384, kMaxAllocationBytes);
    EXPECT_TRUE(limits::allocationAllowed(kMaxAllocationBytes));
    EXPECT_FALSE(limits::allocationAllowed(kMaxAllocationBytes + 1));
    // The layers use the shared values.
    EXPECT_EQ(codec::kMaxPixels, kMaxFramePixels);
    EXPECT_EQ(codec::kMaxFrameBytes, kMaxAllocationBytes);
    EXPECT_EQ(pdf::kMaxDecodedPixels, kMaxFramePixels);
    EXPECT_EQ(pdf::kMaxObjectNumber, limits::kMaxPdfObjectNumber);

    // A header naming a frame at the cap reads; one past is refused before any pixel is read.
    EXPECT_TRUE(headerLoads(bmpHeader(16384, 16384)));
    EXPECT_FALSE(headerLoads(bmpHeader(16385, 16384)));
    EXPECT_FALSE(headerLoads(bmpHeader(0xFFFFFFu, 0xFFFFFFu)));
}

TEST(ResourceLimits, StripBufferRefusesSizesAboveTheAllocationCap)
{
    pdf::PdfDocument* doc = pdf::newPdfDocument();
    ASSERT_NE(doc, nullptr);
    EXPECT_NE(pdf::growStripBuffer(doc, 4096), nullptr);
    // One past the cap is refused by the check, before the buffer tries to grow.
    EXPECT_EQ(pdf::growStripBuffer(doc, static_cast<size_t>(kMaxAllocationBytes) + 1), nullptr);
    EXPECT_EQ(pdf::growStripBuffer(doc, SIZE_MAX), nullptr);
    pdf::freePdfDocument(doc);
}

// A small progressive JPEG made by libjpeg; its last scan is then repeated until the file has
// `scans` start-of-scan markers. libjpeg treats the repeats as a bogus progression (a warning),
// so only the scan cap can refuse the file.
std::string progressiveJpegWithScans(int scans)
{
    JpegSpec spec;
    spec.width = spec.height = 16;
    spec.progressive = true;
    spec.quality = 75;
    spec.densityUnit = 0;
    spec.xDensity = spec.yDensity = 1;
    spec.sample = [](int x, int y, int c) { return static_cast<uint8_t>((x * 3 + c) * 5 + y * 9); };
    std::string bytes = makeJpeg(spec);

    // Start-of-scan markers cannot occur inside entropy-coded data (0xFF is stuffed there).
    int present = 0;
    size_t lastScan = 0;
    for (size_t i = 0; i + 1 < bytes.size(); ++i)
        if (static_cast<uint8_t>(bytes[i]) == 0xFF && static_cast<uint8_t>(bytes[i + 1]) == 0xDA)
            ++present, lastScan = i;
    EXPECT_GT(present, 2);
    EXPECT_LE(present, scans);
    const size_t end = bytes.size() - 2; // the end-of-image marker
    const std::string scan = bytes.substr(lastScan, end - lastScan);
    std::string out = bytes.substr(0, end);
    for (int i = present; i < scans; ++i)
        out += scan;
    return out + bytes.substr(end);
}

bool jpegDecodes(const std::string& bytes)
{
    codec::ImageCodec image;
    return image.loadFromMemory(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), codec::kFormatJpeg);
}

TEST(ResourceLimits, JpegScansUpToTheCapDecodeAndOnePastIsRefused)
{
    EXPECT_TRUE(jpegDecodes(progressiveJpegWithScans(12)));
    EXPECT_TRUE(jpegDecodes(progressiveJpegWithScans(limits::kMaxJpegScans)));
    EXPECT_FALSE(jpegDecodes(progressiveJpegWithScans(limits::kMaxJpegScans + 1)));
    // The header alone is read from the first scan on, so a header-only load still works.
    std::string many = progressiveJpegWithScans(limits::kMaxJpegScans + 1);
    codec::ImageCodec header;
    header.setHeaderOnly(true);
    EXPECT_TRUE(header.loadFromMemory(reinterpret_cast<const uint8_t*>(many.data()), many.size(), codec::kFormatJpeg));
    EXPECT_EQ(header.width(), 16);
}

// A one-page file followed by `updates` incremental updates, each a section that lists the
// catalog again: 1 + updates cross-reference sections chained by /Prev.
std::string pdfWithSections(int sections)
{
    HandPdf pdf;
    addFlatPages(pdf, 1);
    int64_t prev = pdf.finishSection("/Size 4 /Root 1 0 R");
    for (int i = 1; i < sections; ++i) {
        pdf.add(1, "<< /Type /Catalog /Pages 2 0 R >>");
        prev = pdf.finishSection("/Size 4 /Root 1 0 R /Prev " + std::to_string(prev));
    }
    return pdf.bytes();
}

TEST(ResourceLimits, CrossReferenceSectionsAreFollowedUpToTheCap)
{
    EXPECT_EQ(readPdfBytes(pdfWithSections(2)).result, 1);
    EXPECT_EQ(readPdfBytes(pdfWithSections(limits::kMaxXrefSections)).result, 1);
    EXPECT_EQ(readPdfBytes(pdfWithSections(limits::kMaxXrefSections + 1)).result, 0);
}

// A trailer entry whose value nests `depth` arrays or dictionaries. The trailer dictionary itself
// is the first level, so a value of depth kMaxPdfNestingDepth - 1 reaches the cap.
std::string pdfWithNesting(int depth, bool dictionaries)
{
    std::string open = dictionaries ? "<< /A " : "[";
    std::string close = dictionaries ? " >>" : "]";
    std::string value;
    for (int i = 0; i < depth; ++i)
        value += open;
    value += "0";
    for (int i = 0; i < depth; ++i)
        value += close;
    HandPdf pdf;
    addFlatPages(pdf, 1);
    pdf.finishSection("/Size 4 /Root 1 0 R /Extra " + value);
    return pdf.bytes();
}

TEST(ResourceLimits, NestingDepthIsReadUpToTheCap)
{
    for (bool dictionaries : {false, true}) {
        SCOPED_TRACE(dictionaries ? "dictionaries" : "arrays");
        EXPECT_EQ(readPdfBytes(pdfWithNesting(limits::kMaxPdfNestingDepth - 1, dictionaries)).result, 1);
        EXPECT_EQ(readPdfBytes(pdfWithNesting(limits::kMaxPdfNestingDepth, dictionaries)).result, 0);
        EXPECT_EQ(readPdfBytes(pdfWithNesting(100000, dictionaries)).result, 0);
    }
}

// A page tree of `levels` inner nodes in a chain (the root is the first), the last holding the
// only page.
std::string pdfWithTreeDepth(int levels)
{
    HandPdf pdf;
    pdf.add(1, "<< /Type /Catalog /Pages 2 0 R >>");
    const int first = 2;
    const int page = first + levels;
    for (int n = first; n < page; ++n) {
        std::string parent = n == first ? "" : " /Parent " + std::to_string(n - 1) + " 0 R";
        pdf.add(n, "<< /Type /Pages /Kids [" + std::to_string(n + 1) + " 0 R] /Count 1" + parent + " >>");
    }
    pdf.add(page, "<< /Type /Page /Parent " + std::to_string(page - 1) + " 0 R /MediaBox [0 0 10 10] >>");
    pdf.finishSection("/Size " + std::to_string(page + 1) + " /Root 1 0 R");
    return pdf.bytes();
}

TEST(ResourceLimits, PageTreeDepthIsWalkedUpToTheCap)
{
    ReadOutcome atLimit = readPdfBytes(pdfWithTreeDepth(limits::kMaxPageTreeDepth));
    ASSERT_EQ(atLimit.result, 1);
    ASSERT_EQ(atLimit.existing.pages.size(), 1u);
    EXPECT_EQ(atLimit.existing.pages[0], 2 + limits::kMaxPageTreeDepth);
    EXPECT_EQ(readPdfBytes(pdfWithTreeDepth(limits::kMaxPageTreeDepth + 1)).result, 0);
}

// A one-page file whose /Size names `size`; `padding` bytes of comment make it larger.
std::string pdfWithSize(int64_t size, size_t padding = 0)
{
    HandPdf pdf;
    addFlatPages(pdf, 1);
    std::string line = "%" + std::string(63, 'p') + "\n";
    for (size_t written = 0; written < padding; written += line.size())
        pdf.raw(line);
    pdf.finishSection("/Size " + std::to_string(size) + " /Root 1 0 R");
    return pdf.bytes();
}

TEST(ResourceLimits, ObjectNumbersAboveTheCapAreRefused)
{
    // /Size names the highest number + 1. Numbers above the file's size plus 4096 are refused,
    // so reaching the cap takes a file of about the cap's size in bytes.
    const std::string padded = pdfWithSize(int64_t{limits::kMaxPdfObjectNumber} + 1, limits::kMaxPdfObjectNumber);
    ReadOutcome atLimit = readPdfBytes(padded);
    ASSERT_EQ(atLimit.result, 1);
    EXPECT_EQ(atLimit.existing.highestNumber, limits::kMaxPdfObjectNumber);
    EXPECT_EQ(readPdfBytes(pdfWithSize(int64_t{limits::kMaxPdfObjectNumber} + 2, limits::kMaxPdfObjectNumber)).result,
              0);
    // A reference to a number past the cap is no reference at all.
    HandPdf pdf;
    addFlatPages(pdf, 1);
    pdf.finishSection("/Size 4 /Root " + std::to_string(limits::kMaxPdfObjectNumber + 1) + " 0 R");
    EXPECT_EQ(readPdfBytes(pdf.bytes()).result, 0);
}

// In a small file /Size may name at most the file's size plus 4096; the tables stay proportional
// to the file. A file at that limit takes an update, and the updated file still reads.
TEST(ResourceLimits, ObjectNumbersFollowTheFileSize)
{
    // The file's size depends on the digits of /Size: two rounds settle it.
    int64_t size = 4097;
    for (int round = 0; round < 2; ++round)
        size = static_cast<int64_t>(pdfWithSize(size).size()) + 4097;
    const std::string atLimit = pdfWithSize(size);
    ASSERT_EQ(static_cast<int64_t>(atLimit.size()) + 4097, size);
    ReadOutcome read = readPdfBytes(atLimit);
    ASSERT_EQ(read.result, 1);
    EXPECT_EQ(read.existing.highestNumber, size - 1);
    EXPECT_EQ(readPdfBytes(pdfWithSize(size + 1)).result, 0);
    EXPECT_EQ(readPdfBytes(pdfWithSize(803479)).result, 0) << "a small file cannot claim 803478 objects";

    const auto path = scratchDir() / "at-limit.pdf";
    writeFileBytes(path, atLimit);
    pdf::PdfDocument* doc = pdf::newPdfDocument();
    ASSERT_EQ(pdf::openForAppend(doc, path.string()), 1);
    pdf::beginPage(doc, 200, 100);
    pdf::endPage(doc);
    EXPECT_EQ(pdf::closePdfDocument(doc), 1);
    pdf::freePdfDocument(doc);
    ReadOutcome updated = readPdfFile(path);
    ASSERT_EQ(updated.result, 1);
    EXPECT_EQ(updated.existing.pages.size(), 2u);
    EXPECT_TRUE(qpdfCheck(path));
}

} // namespace
} // namespace folvane::test
