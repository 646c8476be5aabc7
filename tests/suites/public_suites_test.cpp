// Every image of the public test suites goes through folvane-cli alone. A file either becomes
// one page per frame that looks like GraphicsMagick's decoding of that frame, or, when the table
// below says it is damaged or unsupported on purpose, fails with a reason that names the cause.
#include <algorithm>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/cli_fixture.h"
#include "support/pixel_compare.h"

using namespace folvane::test;
namespace fs = std::filesystem;

namespace {

// Files that must not become pages, each with the words its failure reason must contain.
const std::map<std::string, std::string>& expectedFailures()
{
    static const std::map<std::string, std::string> failures = {
        {"monkey12.jpg", "12-bit JPEG is not supported"},
        {"miniswhite-1c-1b.g3", "not a readable image"}, // raw fax data, no header to recognise
        {"testfax3_bug54_1dnoEOL.tif", "image data damaged or unreadable"},
        {"testfax3_bug_513.tiff", "image data damaged or unreadable"},
    };
    return failures;
}

// Sources whose data is JPEG coded: no conversion can show them more exactly than a decoder.
bool jpegCoded(const fs::path& source)
{
    static const std::vector<std::string> names = {
        "32bpp-None-jpeg.tiff", "quad-tile.jpg.tiff", "ojpeg_chewey_subsamp21_multi_strip.tiff",
        "ojpeg_single_strip_no_rowsperstrip.tiff", "ojpeg_zackthecat_subsamp22_single_strip.tiff"};
    std::string ext = source.extension().string();
    return ext == ".jpg" || ext == ".jpeg" ||
           std::find(names.begin(), names.end(), source.filename().string()) != names.end();
}

// Files GraphicsMagick cannot read, compared with a sibling that holds the same picture.
fs::path referenceFor(const fs::path& source)
{
    if (source.filename() == "ojpeg_single_strip_no_rowsperstrip.tiff")
        return source.parent_path() / "ojpeg_zackthecat_subsamp22_single_strip.tiff";
    return source;
}

bool isImage(const fs::path& path)
{
    static const std::vector<std::string> notImages = {".md", ".txt", ""};
    return std::find(notImages.begin(), notImages.end(), path.extension().string()) == notImages.end();
}

std::vector<std::string> suiteFiles()
{
    std::vector<std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(FOLVANE_PUBLIC_SUITES))
        if (entry.is_regular_file() && isImage(entry.path()))
            files.push_back(fs::relative(entry.path(), FOLVANE_PUBLIC_SUITES).string());
    std::sort(files.begin(), files.end());
    return files;
}

std::string testName(const ::testing::TestParamInfo<std::string>& info)
{
    std::string name = info.param;
    std::replace_if(name.begin(), name.end(), [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); }, '_');
    return name;
}

class PublicSuites : public CliFixture, public ::testing::WithParamInterface<std::string> {};

TEST_P(PublicSuites, ConvertsToReferencePagesOrFailsWithReason)
{
    fs::path source = fs::path(FOLVANE_PUBLIC_SUITES) / GetParam();
    auto failure = expectedFailures().find(source.filename().string());
    if (failure != expectedFailures().end()) {
        CommandResult result = cli("convert --dpi 72 -o " + q(dir / "refused.pdf") + " " + q(source));
        EXPECT_NE(result.exitCode, 0) << result.output;
        EXPECT_NE(result.output.find("Failed: "), std::string::npos) << result.output;
        EXPECT_NE(result.output.find(failure->second), std::string::npos) << result.output;
        return;
    }
    auto pdf = pdfPath("converted.pdf");
    CommandResult result = cli("convert --dpi 72 -o " + q(pdf) + " " + q(source));
    ASSERT_EQ(result.exitCode, 0) << result.output;
    fs::path reference = referenceFor(source);
    int frames = referenceFrameCount(reference);
    ASSERT_GT(frames, 0);
    EXPECT_EQ(pdfinfo(pdf, "Pages"), std::to_string(frames));
    for (int frame = 0; frame < frames; ++frame) {
        SCOPED_TRACE("frame " + std::to_string(frame));
        RgbImage want = referenceDecode(reference, frame, dir);
        RgbImage page = renderPage(pdf, frame + 1, dir);
        ASSERT_FALSE(want.empty());
        ASSERT_GE(page.width, want.width);
        ASSERT_GE(page.height, want.height);
        // A page is never smaller than 3 points a side; a tinier picture sits at its top left.
        EXPECT_TRUE(page.width == want.width || page.width == 3);
        EXPECT_TRUE(page.height == want.height || page.height == 3);
        // Lossy routes encode JPEG at quality 75: the page must be as close as such a JPEG can be
        // (30 dB, or a little below a standard encoder's result on hard synthetic pictures).
        double reachable = psnr(jpegRoundTrip(want, 75, dir), want);
        EXPECT_GE(psnr(page.crop(want.width, want.height), want), std::min(30.0, reachable - 1.5));
    }
    // Associated (premultiplied) alpha, which GraphicsMagick composites onto white as if it were
    // not premultiplied.
    if (jpegCoded(source) || source.filename() == "minisblack-2c-8b-alpha.tiff")
        return;
    // Kept exactly when asked: every page shows the reference decoding itself; 16-bit samples
    // (reduced to 8) and alpha (composited onto white) may round one or two levels apart.
    const int tolerance = referenceIsPlain8Bit(reference) ? 0 : 2;
    auto exact = pdfPath("lossless.pdf");
    result = cli("convert --dpi 72 --lossless -o " + q(exact) + " " + q(source));
    ASSERT_EQ(result.exitCode, 0) << result.output;
    for (int frame = 0; frame < frames; ++frame) {
        RgbImage want = referenceDecode(reference, frame, dir);
        RgbImage page = renderPage(exact, frame + 1, dir);
        EXPECT_LE(worstDifference(page.crop(want.width, want.height), want), tolerance) << "frame " << frame;
    }
}

INSTANTIATE_TEST_SUITE_P(Files, PublicSuites, ::testing::ValuesIn(suiteFiles()), testName);

} // namespace
