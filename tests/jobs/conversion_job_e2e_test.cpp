// The conversion job with the real engine on image files the test writes.

#include "jobs/conversion_job.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>

#include "../engine/intake_fixtures.h"
#include "job_fixture.h"

namespace folvane::jobs {
namespace {

namespace fs = std::filesystem;

int pageCount(const fs::path& pdf)
{
    test::CommandResult result = test::runCommand("qpdf --show-npages " + test::shellQuote(pdf.string()));
    return result.exitCode == 0 ? std::atoi(result.output.c_str()) : -1;
}

class ConversionJobFiles : public test::PdfTest {
protected:
    void SetUp() override
    {
        dir = test::scratchDir();
        fs::create_directories(dir / "in");
        fs::create_directories(dir / "out");
        settings.output.imagesPerPage = 1;
        settings.output.jpegQuality = 75;
        settings.paths = {(dir / "out/merged.pdf").string(), (dir / "out/").string(), (dir / "out/").string()};
    }

    std::string bmp(const std::string& name, uint32_t colour = 0x3366cc)
    {
        fs::path path = dir / "in" / name;
        test::writeBmp24(path, 40, 30, [colour](int, int) { return colour; });
        return path.string();
    }

    std::string threePageTiff(const std::string& name)
    {
        fs::path path = dir / "in" / name;
        test::TiffPage page;
        page.width = 32;
        page.height = 24;
        page.value = [](int x, int y, int) { return static_cast<uint8_t>((x * 7 + y * 3) & 0xff); };
        test::writeTiff(path, {page, page, page});
        return path.string();
    }

    std::vector<FileRow> rows(const std::vector<std::string>& paths)
    {
        std::vector<FileRow> out;
        for (const std::string& path : paths) {
            FileRow row;
            EXPECT_TRUE(makeFileRow(path, row)) << path;
            out.push_back(row);
        }
        return out;
    }

    JobReport run(std::vector<FileRow>& list, int mode, int policy = kCreateNewFile)
    {
        settings.mode = mode;
        JobObserver observer;
        EXPECT_TRUE(beginJob(state, list, mode, policy, observer));
        JobContext context = test::jobContext(observer, actions);
        return runJob(state, list, settings, context);
    }

    fs::path dir;
    JobSettings settings;
    JobState state;
    test::FakeSystemActions actions;
};

TEST_F(ConversionJobFiles, ADocumentWithoutASinglePageIsNotLeftBehind)
{
    std::string bad = (dir / "in/broken.jpg").string();
    test::writeFileBytes(bad, "\xff\xd8\xff\xe0 not really a jpeg");
    auto list = rows({bmp("a.bmp"), bad});
    JobReport report = run(list, kPerImageMode);
    pdfPath("out/a.pdf");
    EXPECT_EQ(list[1].status, "Failed");
    EXPECT_FALSE(fs::exists(dir / "out/broken.pdf"));
    ASSERT_EQ(report.outputs.size(), 2u);
    EXPECT_FALSE(report.outputs[1].written);

    // Merging only damaged files makes no PDF either.
    auto only = rows({bad});
    settings.paths.merged = (dir / "out/merged.pdf").string();
    run(only, kMergeMode);
    EXPECT_EQ(only[0].status, "Failed");
    EXPECT_FALSE(fs::exists(dir / "out/merged.pdf"));

    // Overwriting an earlier PDF with a document that fails keeps the earlier PDF.
    std::string earlier = test::readFileBytes(dir / "out/a.pdf");
    auto replacement = rows({bad});
    settings.paths.merged = (dir / "out/a.pdf").string();
    run(replacement, kMergeMode, kOverwrite);
    EXPECT_EQ(replacement[0].status, "Failed");
    EXPECT_EQ(test::readFileBytes(dir / "out/a.pdf"), earlier);
}

TEST_F(ConversionJobFiles, PageNumberBookmarksOfAThreeFrameTiffRead1To3)
{
    settings.output.bookmarksOn = 1;
    settings.output.bookmarkLabel = folvane::app::BookmarkLabel::PageNumber;
    auto list = rows({threePageTiff("scan.tif")});
    run(list, kPerImageMode);
    fs::path out = pdfPath("out/scan.pdf");
    ASSERT_TRUE(fs::exists(out));
    EXPECT_EQ(pageCount(out), 3);
    test::CommandResult outline = test::runCommand("mutool show " + test::shellQuote(out.string()) + " outline");
    ASSERT_EQ(outline.exitCode, 0) << outline.output;
    size_t one = outline.output.find("\"1\"");
    size_t two = outline.output.find("\"2\"");
    size_t three = outline.output.find("\"3\"");
    ASSERT_NE(one, std::string::npos) << outline.output;
    ASSERT_NE(two, std::string::npos) << outline.output;
    ASSERT_NE(three, std::string::npos) << outline.output;
    EXPECT_LT(one, two);
    EXPECT_LT(two, three);
}

TEST_F(ConversionJobFiles, FourUpWithThreeRowsGivesThreeOnePagePdfs)
{
    settings.output.imagesPerPage = 4;
    settings.output.pageSize = folvane::app::PageSize::A4;
    settings.output.footerOn = 1;
    settings.output.footerText = "footer";
    auto list = rows({bmp("one.bmp"), bmp("two.bmp"), bmp("three.bmp")});
    run(list, kPerImageMode);
    for (const char* name : {"one.pdf", "two.pdf", "three.pdf"}) {
        fs::path out = pdfPath(std::string("out/") + name);
        EXPECT_EQ(pageCount(out), 1) << name;
        test::CommandResult text = test::runCommand("pdftotext " + test::shellQuote(out.string()) + " -");
        EXPECT_NE(text.output.find("footer"), std::string::npos) << name;
    }
    for (const FileRow& row : list)
        EXPECT_EQ(row.status, "Succeed");
}

TEST_F(ConversionJobFiles, ExistingFilePoliciesOnRealFiles)
{
    // Create new file: MyPDF.pdf and MyPDF001.pdf exist, so MyPDF002.pdf is written.
    settings.paths.merged = (dir / "out/MyPDF.pdf").string();
    test::writeFileBytes(dir / "out/MyPDF.pdf", "first");
    test::writeFileBytes(dir / "out/MyPDF001.pdf", "second");
    auto list = rows({bmp("a.bmp")});
    JobReport report = run(list, kMergeMode, kCreateNewFile);
    EXPECT_EQ(state.lastOutput, (dir / "out/MyPDF002.pdf").string());
    ASSERT_EQ(report.outputs.size(), 1u);
    EXPECT_TRUE(report.outputs[0].written);
    EXPECT_EQ(pageCount(pdfPath("out/MyPDF002.pdf")), 1);
    EXPECT_EQ(test::readFileBytes(dir / "out/MyPDF.pdf"), "first");

    // Overwrite of a file without write permission bits fails and leaves it, even for root.
    fs::path locked = dir / "out/locked.pdf";
    test::writeFileBytes(locked, "keep me");
    ::chmod(locked.c_str(), 0444);
    settings.paths.merged = locked.string();
    auto again = rows({bmp("b.bmp")});
    report = run(again, kMergeMode, kOverwrite);
    ASSERT_EQ(report.outputs.size(), 1u);
    EXPECT_FALSE(report.outputs[0].created);
    EXPECT_EQ(again[0].status, "-");
    EXPECT_EQ(test::readFileBytes(locked), "keep me");
    ::chmod(locked.c_str(), 0644);

    // Append adds the pages after the existing ones.
    settings.paths.merged = (dir / "out/MyPDF002.pdf").string();
    auto appended = rows({bmp("c.bmp"), threePageTiff("d.tif")});
    report = run(appended, kMergeMode, kAppend);
    ASSERT_EQ(report.outputs.size(), 1u);
    EXPECT_TRUE(report.outputs[0].appended);
    EXPECT_EQ(pageCount(dir / "out/MyPDF002.pdf"), 5);
}

TEST(ImageInputs, FolderScanFollowsNameOrderFilterAndSubfolders)
{
    fs::path dir = test::scratchDir();
    fs::create_directories(dir / "sub/deeper");
    for (const char* name : {"b.JPEG", "A.jpg", "c.png", "notes.txt", "a.tif", "sub/z.jpg", "sub/deeper/y.jpg"})
        test::writeFileBytes(dir / name, "x");
    fs::create_directory_symlink(dir, dir / "sub/loop");

    std::vector<std::string> all = folderImages(dir.string(), false, kAllSupportFilter);
    std::vector<std::string> names;
    for (const std::string& path : all)
        names.push_back(fs::path(path).filename().string());
    EXPECT_EQ(names, (std::vector<std::string> {"A.jpg", "a.tif", "b.JPEG", "c.png"}));

    std::vector<std::string> jpegs = folderImages(dir.string(), true, normalizedFilter("JPEG"));
    names.clear();
    for (const std::string& path : jpegs)
        names.push_back(fs::relative(path, dir).string());
    EXPECT_EQ(names, (std::vector<std::string> {"A.jpg", "b.JPEG", "sub/z.jpg", "sub/deeper/y.jpg"}));

    EXPECT_EQ(normalizedFilter(".TIFF"), ".tif");
    EXPECT_EQ(normalizedFilter("AllSupport"), "allsupport");
    EXPECT_TRUE(isSupportedExtension("/x/name"));
    EXPECT_TRUE(isSupportedExtension("/x/name.jp"));
    EXPECT_FALSE(isSupportedExtension("/x/name.txt"));

    FileRow row;
    test::writeFileBytes(dir / "small.bmp", std::string(500, 'x'));
    test::writeFileBytes(dir / "empty.bmp", "");
    test::writeFileBytes(dir / "mid.png", std::string(1536, 'x'));
    ASSERT_TRUE(makeFileRow((dir / "small.bmp").string(), row));
    EXPECT_EQ(row.sizeText, "1 KB");
    EXPECT_EQ(row.typeText, "BMP");
    ASSERT_TRUE(makeFileRow((dir / "empty.bmp").string(), row));
    EXPECT_EQ(row.sizeText, "0 KB");
    ASSERT_TRUE(makeFileRow((dir / "mid.png").string(), row));
    EXPECT_EQ(row.sizeText, "1 KB");
    EXPECT_EQ(row.status, "-");
    EXPECT_FALSE(makeFileRow((dir / "missing.png").string(), row));
}

} // namespace
} // namespace folvane::jobs
