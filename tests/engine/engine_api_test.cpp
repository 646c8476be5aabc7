// The engine's handles, options, queries, text and lines, checked on real files.
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <tiffio.h>

#include <string>

#include <gtest/gtest.h>

#include "engine_protocol.h"
#include "codec/image_codec.h"
#include "engine_document.h"
#include "engine/temporary_output.h"
#include "pdf/pdf_inspect.h"
#include "support/test_support.h"

using namespace folvane::engine;
using namespace folvane::test;

namespace {

EngineDocument* lookupDocument(DocHandle handle)
{
    Document* document = DocumentOf(handle);
    return document ? recordOf(*document) : nullptr;
}

class EngineApi : public PdfTest {
protected:
    // Content of every page stream of the file, uncompressed, in file order.
    static std::string allContent(const std::string& bytes)
    {
        WrittenPdf pdf = readWrittenPdf(bytes);
        std::string content;
        for (auto& [n, text] : pdf.objects)
            if (text.find("stream\r\n") != std::string::npos)
                content += streamData(text);
        return content;
    }
};

} // namespace

TEST_F(EngineApi, UnknownHandlesAreRefusedWithoutSideEffects)
{
    for (DocHandle h : {0, -1, 1, 1023, 1024}) {
        EXPECT_EQ(CloseDocument(h), 0);
        EXPECT_EQ(SetDocumentOption(h, kOptionPageSize, 612, 792, nullptr, nullptr), 0);
        EXPECT_EQ(QueryDocument(h, kQueryTextHeight, 0, 0, "x", nullptr), 0);
        EXPECT_EQ(SetDocumentInfo(h, "t", nullptr, nullptr, nullptr, nullptr), 0);
        EXPECT_EQ(DrawText(h, 1, 1, "x", 0), 0);
        EXPECT_EQ(DrawLine(h, 1, 1, 2, 2, 1, 0), 0);
    }
    EXPECT_EQ(CreateDocument(""), 0);
}

TEST_F(EngineApi, SamePathCannotBeOpenedTwiceInAnyLetterCase)
{
    auto path = pdfPath("Twice.pdf");
    DocHandle first = CreateDocument(path.string());
    ASSERT_GT(first, 0);
    std::string lower = path.parent_path().string() + "/twice.PDF";
    EXPECT_EQ(CreateDocument(path.string()), 0);
    EXPECT_EQ(CreateDocument(lower), 0);
    SetDocumentOption(first, kOptionPageSize, 300, 300, nullptr, nullptr);
    EXPECT_EQ(CloseDocument(first), 1);
    DocHandle again = CreateDocument(path.string());
    EXPECT_EQ(again, first) << "numbers are reused after close";
    DrawLine(again, 1, 1, 100, 100, 2, 0);
    EXPECT_EQ(CloseDocument(again), 1);
}

TEST_F(EngineApi, HandleTableHoldsTenTwentyThreeDocuments)
{
    rlimit limit{};
    getrlimit(RLIMIT_NOFILE, &limit);
    if (limit.rlim_max != RLIM_INFINITY && limit.rlim_max < 1100)
        GTEST_SKIP() << "too few file descriptors for 1024 open documents";
    rlimit raised = limit;
    raised.rlim_cur = limit.rlim_max == RLIM_INFINITY ? 4096 : std::min<rlim_t>(limit.rlim_max, 4096);
    setrlimit(RLIMIT_NOFILE, &raised);

    auto dir = scratchDir();
    std::vector<DocHandle> handles;
    for (int i = 0; i < kMaxDocuments; ++i) {
        DocHandle h = CreateDocument((dir / ("d" + std::to_string(i) + ".pdf")).string());
        ASSERT_EQ(h, i + 1);
        handles.push_back(h);
    }
    auto extra = dir / "extra.pdf";
    EXPECT_EQ(CreateDocument(extra.string()), 0);
    EXPECT_FALSE(std::filesystem::exists(extra)) << "the refused document leaves no file behind";
    EXPECT_EQ(CloseDocument(500), 1);
    EXPECT_EQ(CloseDocument(17), 1);
    EXPECT_EQ(CreateDocument(extra.string()), 17) << "lowest free number first";
    handles.push_back(0);
    for (DocHandle h = 1; h <= kMaxDocuments; ++h)
        CloseDocument(h);
    setrlimit(RLIMIT_NOFILE, &limit);
}

TEST_F(EngineApi, PageSizeLimitsAndPageKinds)
{
    auto path = pdfPath("sizes.pdf");
    DocHandle h = CreateDocument(path.string());
    EXPECT_EQ(SetDocumentOption(h, kOptionPageSize, 10, 10, nullptr, nullptr), 1);
    EngineDocument* doc = lookupDocument(h);
    EXPECT_TRUE(doc->settings.pageOpen);
    EXPECT_EQ(doc->settings.pageKind, 2);
    EXPECT_EQ(SetDocumentOption(h, kOptionPageSize, 9, 500, nullptr, nullptr), 0);
    EXPECT_EQ(SetDocumentOption(h, kOptionPageSize, 14400, 500, nullptr, nullptr), 0);
    EXPECT_EQ(SetDocumentOption(h, kOptionPageSize, 0, 5, nullptr, nullptr), 0);
    EXPECT_TRUE(doc->settings.pageOpen) << "a refused size leaves the page open";
    EXPECT_EQ(SetDocumentOption(h, kOptionPageSize, 14399, 14399, nullptr, nullptr), 1);
    EXPECT_EQ(SetDocumentOption(h, kOptionFont, 200, 30, nullptr, nullptr), 1);
    EXPECT_EQ(SetDocumentOption(h, kOptionPageSize, 0, 0, nullptr, nullptr), 1);
    EXPECT_FALSE(doc->settings.pageOpen);
    EXPECT_EQ(doc->settings.page.fontSize, 16) << "page settings return to their defaults";
    EXPECT_EQ(doc->settings.pageWidth, 14399) << "the stored size is kept";
    EXPECT_EQ(DrawLine(h, 0, 0, 11399, 11399, 1000, 0xFF), 1);
    EXPECT_EQ(doc->settings.pageKind, 3);
    EXPECT_EQ(DrawLine(h, 0, 0, 11400, 5, 1, 0), 0);
    EXPECT_EQ(DrawLine(h, 0, 0, 5, 5, 0, 0), 0);
    EXPECT_EQ(DrawLine(h, -1, 0, 5, 5, 1, 0), 0);
    EXPECT_EQ(CloseDocument(h), 1);
    CommandResult pages = runCommand("pdfinfo " + shellQuote(path.string()) + " | grep Pages");
    EXPECT_NE(pages.output.find("3"), std::string::npos) << pages.output;
}

TEST_F(EngineApi, OptionTables)
{
    auto path = pdfPath("options.pdf");
    DocHandle h = CreateDocument(path.string());
    EngineSettings& s = lookupDocument(h)->settings;

    struct Rotation {
        int angle, expected;
    } rotations[] = {{45, 0}, {46, 90}, {135, 90}, {136, 180}, {225, 180}, {226, 270}, {315, 270}, {316, 0}, {360, 0}, {-90, 0}};
    for (auto r : rotations) {
        EXPECT_EQ(SetDocumentOption(h, kOptionPageRotation, r.angle, 0, nullptr, nullptr), 1);
        EXPECT_EQ(s.rotation, r.expected) << r.angle;
    }

    EXPECT_EQ(SetDocumentOption(h, kOptionCompression, 1, 0, "packbits", nullptr), 0);
    EXPECT_EQ(SetDocumentOption(h, kOptionCompression, 1, 0, "jpeg", nullptr), 0);
    EXPECT_EQ(SetDocumentOption(h, kOptionCompression, 1, 0, "G4", nullptr), 1);
    EXPECT_EQ(s.compression[0], "g4");
    EXPECT_EQ(SetDocumentOption(h, kOptionCompression, 2, 0, "JPG", nullptr), 1);
    EXPECT_EQ(s.compression[1], "jpeg");
    EXPECT_EQ(SetDocumentOption(h, kOptionCompression, 3, 0, "g3", nullptr), 0);
    EXPECT_EQ(SetDocumentOption(h, kOptionCompression, 7, 0, "anything", nullptr), 1);

    EXPECT_EQ(SetDocumentOption(h, kOptionFrameRange, 2, 3, nullptr, nullptr), 1);
    EXPECT_EQ(s.page.firstFrame, 2);
    EXPECT_EQ(SetDocumentOption(h, kOptionFrameRange, 0, 3, nullptr, nullptr), 0);
    EXPECT_EQ(SetDocumentOption(h, kOptionFrameRange, 2, -1, nullptr, nullptr), 0);
    EXPECT_EQ(s.page.frameCount, 3);
    EXPECT_EQ(SetDocumentOption(h, kOptionFrameRange, 0, 0, nullptr, nullptr), 1);
    EXPECT_EQ(s.page.firstFrame, 1);
    EXPECT_EQ(s.page.frameCount, 0);

    EXPECT_EQ(SetDocumentOption(h, kOptionImagePlacement, 10, 20, "300", nullptr), 1);
    EXPECT_EQ(s.page.placeWidth, 300);
    EXPECT_EQ(s.page.placeHeight, 0);

    EXPECT_EQ(SetDocumentOption(h, kOptionViewerPreferences, 0x2 | 0x40 | 0x8000 | 0x1000, 0, nullptr, nullptr), 1);
    EXPECT_EQ(s.pageMode, 2);
    EXPECT_EQ(s.openZoom, 1);
    EXPECT_EQ(s.viewerFlags, 0x9000u);
    EXPECT_EQ(s.openPage, 1);

    EXPECT_EQ(SetDocumentOption(h, kOptionFont, 303, 0, nullptr, nullptr), 1);
    EXPECT_EQ(s.page.fontName, "Courier-BoldOblique");
    EXPECT_EQ(SetDocumentOption(h, kOptionFont, 999, 12, nullptr, nullptr), 1);
    EXPECT_EQ(s.page.fontName, "Helvetica");
    EXPECT_EQ(s.page.fontSize, 12);
    EXPECT_EQ(SetDocumentOption(h, kOptionSkewCorrection, 2, 0, nullptr, nullptr), 1);
    EXPECT_TRUE(s.skewCorrection);
    EXPECT_EQ(SetDocumentOption(h, kOptionJpegQuality, 30, 0, nullptr, nullptr), 1);
    EXPECT_EQ(s.jpegQuality, 30);
    EXPECT_EQ(SetDocumentOption(h, kOptionProducer, 0, 0, "Maker 1", nullptr), 0);
    EXPECT_EQ(SetDocumentOption(h, 999, 0, 0, nullptr, nullptr), 0);
    DrawText(h, 10, 10, "x", 0);
    CloseDocument(h);
    CommandResult info = runCommand("pdfinfo " + shellQuote(path.string()));
    EXPECT_NE(info.output.find("Maker 1"), std::string::npos) << info.output;
}

TEST_F(EngineApi, TextMetrics)
{
    auto path = pdfPath("metrics.pdf");
    DocHandle h = CreateDocument(path.string());
    intptr_t font = 0, size = 12;
    EXPECT_EQ(QueryDocument(h, kQueryTextHeight, font, size, "one\ntwo", nullptr), 32);
    EXPECT_EQ(QueryDocument(h, kQueryTextHeight, font, size, "one", nullptr), 12);
    EXPECT_EQ(QueryDocument(h, kQueryTextHeight, font, size, "one\n", nullptr), 12) << "a final line feed adds no line";
    EXPECT_EQ(QueryDocument(h, kQueryTextHeight, font, size, "", nullptr), 0);
    intptr_t negative = -3;
    EXPECT_EQ(QueryDocument(h, kQueryTextHeight, font, negative, "x", nullptr), 0);
    // Helvetica at 10: "A" is 6.67 points wide, cut to 6; the widest line counts.
    intptr_t helvetica = 100, ten = 10;
    EXPECT_EQ(QueryDocument(h, kQueryTextWidth, helvetica, ten, "A", nullptr), 6);
    EXPECT_EQ(QueryDocument(h, kQueryTextWidth, helvetica, ten, "A\nAAA\nAA", nullptr), 20);
    EXPECT_EQ(QueryDocument(h, kQueryTextWidth, helvetica, ten, "AAA\n", nullptr), 20);
    intptr_t courier = 300;
    EXPECT_EQ(QueryDocument(h, kQueryTextWidth, courier, ten, "abcd", nullptr), 24);
    intptr_t unknown = 777;
    EXPECT_EQ(QueryDocument(h, kQueryTextWidth, unknown, ten, "abcd", nullptr), 0);
    // Without inputs: the current font (Helvetica) at the current size (16).
    EXPECT_EQ(QueryDocument(h, kQueryTextWidth, 0, 0, "A", nullptr), 10);
    DrawText(h, 0, 0, "x", 0);
    CloseDocument(h);
}

TEST_F(EngineApi, TextPositionsAndLines)
{
    auto path = pdfPath("text.pdf");
    DocHandle h = CreateDocument(path.string());
    SetDocumentOption(h, kOptionPageSize, 600, 800, nullptr, nullptr);
    EXPECT_EQ(DrawText(h, 100, 50, "Hello\nWorld", 0x0000FF), 1);
    EXPECT_EQ(DrawText(h, 0, 50, "Next", 0x0000FF), 1);
    EXPECT_EQ(DrawText(h, -1, -1, "After", 0x0000FF), 1);
    EXPECT_EQ(DrawText(h, -1, 5, "refused", 0), 0);
    EXPECT_EQ(DrawText(h, 5, -2, "refused", 0), 0);
    EXPECT_EQ(DrawText(h, 5, 5, nullptr, 0), 0);
    EXPECT_EQ(CloseDocument(h), 1);

    std::string content = allContent(readFileBytes(path));
    // One position for the first text: x = 100, y = 800 - 16 - 50; the later texts continue.
    const std::string move = "1 0 0 1 100 734 Tm";
    size_t first = content.find(move);
    ASSERT_NE(first, std::string::npos) << content;
    EXPECT_EQ(content.find("Td", first + move.size()), std::string::npos) << "no further move: " << content;
    EXPECT_EQ(content.find("Tm", first + move.size()), std::string::npos) << content;
    EXPECT_NE(content.find("1 0 0 rg"), std::string::npos) << "red fill from 0x0000FF";
    CommandResult text = runCommand("pdftotext -layout " + shellQuote(path.string()) + " -");
    EXPECT_NE(text.output.find("Hello"), std::string::npos);
    EXPECT_NE(text.output.find("World"), std::string::npos);
    EXPECT_NE(text.output.find("After"), std::string::npos);
}

TEST_F(EngineApi, NonAsciiTextIsShownInWindowsAnsi)
{
    auto path = pdfPath("umlaut.pdf");
    DocHandle h = CreateDocument(path.string());
    EXPECT_EQ(DrawText(h, 50, 50, "Grüße € 5", 0), 1);
    CloseDocument(h);
    CommandResult text = runCommand("pdftotext " + shellQuote(path.string()) + " -");
    EXPECT_NE(text.output.find("Grüße € 5"), std::string::npos) << text.output;
}

TEST_F(EngineApi, PendingBookmarkBecomesAnOutlineEntryOfTheLastPage)
{
    auto path = pdfPath("bookmarks.pdf");
    DocHandle h = CreateDocument(path.string());
    SetDocumentOption(h, kOptionPageSize, 300, 300, nullptr, nullptr);
    SetDocumentOption(h, kOptionBookmarkText, 0, 0, "First page", nullptr);
    SetDocumentOption(h, kOptionPageSize, 300, 300, nullptr, nullptr);
    SetDocumentOption(h, kOptionPageSize, 300, 300, nullptr, nullptr);
    std::string longTitle(300, 'x');
    EXPECT_EQ(SetDocumentOption(h, kOptionBookmarkText, 0, 0, longTitle.c_str(), nullptr), 1);
    EXPECT_EQ(lookupDocument(h)->settings.pendingBookmark.size(), 255u);
    EXPECT_EQ(SetDocumentOption(h, kOptionBookmarkText, 0, 0, "", nullptr), 0);
    EXPECT_EQ(CloseDocument(h), 1);

    CommandResult outlines = runCommand("qpdf --json --json-key=outlines " + shellQuote(path.string()));
    EXPECT_NE(outlines.output.find("\"title\": \"First page\""), std::string::npos) << outlines.output;
    EXPECT_NE(outlines.output.find(std::string(255, 'x')), std::string::npos);
    EXPECT_EQ(outlines.output.find(std::string(256, 'x')), std::string::npos);
    // The second bookmark points at the third page, the one open at close.
    EXPECT_NE(outlines.output.find("\"destpageposfrom1\": 3"), std::string::npos) << outlines.output;
    EXPECT_NE(outlines.output.find("\"destpageposfrom1\": 1"), std::string::npos);
}

TEST_F(EngineApi, DocumentInformationAndSecurity)
{
    auto path = pdfPath("secure.pdf", "user");
    DocHandle h = CreateDocument(path.string());
    EXPECT_EQ(SetDocumentInfo(h, "Quarterly report", "", "Ana", nullptr, "Scanner"), 1);
    EXPECT_EQ(SetDocumentOption(h, kOptionSecurity, 128, 1, "owner", "user"), 1);
    DrawText(h, 20, 20, "secret", 0);
    EXPECT_EQ(CloseDocument(h), 1);
    CommandResult enc = runCommand("qpdf --password=user --show-encryption " + shellQuote(path.string()));
    EXPECT_NE(enc.output.find("R = 3"), std::string::npos) << enc.output;
    EXPECT_NE(enc.output.find("print low resolution: allowed"), std::string::npos) << enc.output;
    EXPECT_NE(enc.output.find("extract for any purpose: not allowed"), std::string::npos) << enc.output;
    CommandResult info = runCommand("pdfinfo -upw user " + shellQuote(path.string()));
    EXPECT_NE(info.output.find("Quarterly report"), std::string::npos) << info.output;
    EXPECT_NE(info.output.find("Ana"), std::string::npos);
    EXPECT_EQ(info.output.find("Subject:"), std::string::npos) << "empty texts leave entries unset";
}

TEST_F(EngineApi, FailedFinalWriteIsReported)
{
    DocHandle h = CreateDocument("/dev/full");
    ASSERT_GT(h, 0);
    for (int i = 0; i < 20; ++i)
        DrawText(h, 10, 10, "page", 0);
    SetDocumentOption(h, kOptionPageSize, 300, 300, nullptr, nullptr);
    EXPECT_EQ(CloseDocument(h), 0);
    EXPECT_EQ(lookupDocument(h), nullptr) << "the handle is freed anyway";
    struct stat info {};
    ASSERT_EQ(stat("/dev/full", &info), 0);
    EXPECT_TRUE(S_ISCHR(info.st_mode)) << "a device is written to, never replaced by a file";
}

TEST_F(EngineApi, SymbolicLinkIsWrittenThrough)
{
    auto dir = scratchDir();
    auto real = pdfPath("real.pdf");
    writeFileBytes(real, "old");
    std::filesystem::create_symlink(real, dir / "link.pdf");
    DocHandle h = CreateDocument((dir / "link.pdf").string());
    DrawText(h, 10, 10, "through the link", 0);
    EXPECT_EQ(CloseDocument(h), 1);
    EXPECT_TRUE(std::filesystem::is_symlink(dir / "link.pdf"));
    EXPECT_EQ(readFileBytes(real).substr(0, 5), "%PDF-");
}

TEST_F(EngineApi, InterruptedDocumentLeavesNoFileUnderItsName)
{
    auto dir = scratchDir();
    auto path = dir / "killed.pdf";
    std::fflush(nullptr);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        DocHandle h = CreateDocument(path.string());
        for (int i = 0; i < 50; ++i)
            DrawText(h, 10, 10 + i, "a page that never gets finished", 0);
        SetDocumentOption(h, kOptionPageSize, 300, 300, nullptr, nullptr);
        _exit(h > 0 ? 0 : 1); // dies before CloseDocument
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_FALSE(std::filesystem::exists(path));
    // The unfinished file was unnamed, so the folder holds nothing at all afterwards.
    EXPECT_TRUE(std::filesystem::is_empty(dir)) << "a temporary file outlived the process";

    // A finished document replaces an existing file of that name only when it is complete.
    writeFileBytes(path, "old contents");
    DocHandle h = CreateDocument(path.string());
    EXPECT_EQ(readFileBytes(path), "old contents") << "the old file stays until the new one is complete";
    DrawText(h, 10, 10, "new", 0);
    EXPECT_EQ(CloseDocument(h), 1);
    EXPECT_EQ(readFileBytes(path).substr(0, 5), "%PDF-");
    struct stat info {};
    stat(path.c_str(), &info);
    mode_t mask = umask(022);
    umask(mask);
    EXPECT_EQ(info.st_mode & 0777, 0666 & ~mask) << "usual permissions, not those of a temporary file";
    for (auto& entry : std::filesystem::directory_iterator(dir)) {
        std::string name = entry.path().filename().string();
        EXPECT_EQ(name, "killed.pdf") << "unexpected file";
    }
}

TEST_F(EngineApi, TemporaryOutputIsNamedOnlyWhenPublished)
{
    auto dir = scratchDir();
    auto target = dir / "out.pdf";
    auto entries = [&] {
        std::vector<std::string> names;
        for (auto& entry : std::filesystem::directory_iterator(dir))
            names.push_back(entry.path().filename().string());
        return names;
    };
    {
        TemporaryOutput output;
        ASSERT_TRUE(output.create(target.string()));
        writeFileBytes(output.writePath(), "first");
        EXPECT_TRUE(entries().empty()) << "nothing is named while the file is written";
        output.discard();
        EXPECT_TRUE(entries().empty());
    }
    {
        TemporaryOutput output;
        ASSERT_TRUE(output.create(target.string()));
        writeFileBytes(output.writePath(), "second");
        // Going out of scope unpublished drops it as well.
    }
    EXPECT_TRUE(entries().empty());
    writeFileBytes(target, "old");
    TemporaryOutput output;
    ASSERT_TRUE(output.create(target.string()));
    writeFileBytes(output.writePath(), "third");
    EXPECT_EQ(readFileBytes(target), "old");
    EXPECT_TRUE(output.publish());
    EXPECT_EQ(readFileBytes(target), "third");
    EXPECT_EQ(entries(), std::vector<std::string>{"out.pdf"});
    EXPECT_FALSE(output.publish()) << "published once only";

    TemporaryOutput nowhere;
    EXPECT_FALSE(nowhere.create((dir / "missing/out.pdf").string()));
    EXPECT_FALSE(nowhere.publish());

    // A name near the 255-byte limit is given both when it is free and when it replaces a file.
    std::filesystem::remove(target);
    auto longName = dir / (std::string(251, 'n') + ".pdf");
    for (const char* text : {"free", "replacing"}) {
        TemporaryOutput named;
        ASSERT_TRUE(named.create(longName.string()));
        writeFileBytes(named.writePath(), text);
        EXPECT_TRUE(named.publish()) << text;
        EXPECT_EQ(readFileBytes(longName), text);
        EXPECT_EQ(entries(), std::vector<std::string>{longName.filename().string()});
    }
}

TEST_F(EngineApi, ImageQueriesAnswerWithoutADocument)
{
    auto dir = scratchDir();
    EXPECT_EQ(QueryDocument(0, kQueryFrameCount, 0, 0, (dir / "missing.jpg").c_str(), nullptr), 0);
    EXPECT_EQ(QueryDocument(0, kQueryFrameCount, 0, 0, nullptr, nullptr), 0);
    writeFileBytes(dir / "text.txt", "not an image");
    EXPECT_EQ(QueryDocument(0, kQueryFrameCount, 0, 0, (dir / "text.txt").c_str(), nullptr), 0);

    folvane::codec::ImageCodec image;
    ASSERT_TRUE(image.bitmap().create(40, 30, 24));
    ASSERT_TRUE(image.save((dir / "photo.jpg").string(), folvane::codec::kFormatJpeg));
    EXPECT_EQ(QueryDocument(0, kQueryFrameCount, 0, 0, (dir / "photo.jpg").c_str(), nullptr), 1);
    int width = 0, height = 0;
    EXPECT_EQ(QueryDocument(0, kQueryPixelSize, reinterpret_cast<intptr_t>(&width), reinterpret_cast<intptr_t>(&height),
                            (dir / "photo.jpg").c_str(), nullptr),
              40);
    EXPECT_EQ(height, 30);

    // Two pages of different sizes.
    auto tiffPath = dir / "two.tif";
    TIFF* tiff = TIFFOpen(tiffPath.c_str(), "w");
    ASSERT_NE(tiff, nullptr);
    for (int page = 0; page < 2; ++page) {
        uint32_t w = page ? 64 : 16, h = page ? 8 : 12;
        TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, w);
        TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, h);
        TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 8);
        TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 1);
        TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
        TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, h);
        std::vector<uint8_t> row(w, 128);
        for (uint32_t y = 0; y < h; ++y)
            TIFFWriteScanline(tiff, row.data(), y, 0);
        TIFFWriteDirectory(tiff);
    }
    TIFFClose(tiff);
    EXPECT_EQ(QueryDocument(0, kQueryFrameCount, 0, 0, tiffPath.c_str(), nullptr), 2);
    width = height = 0;
    EXPECT_EQ(QueryDocument(0, kQueryPixelSize, reinterpret_cast<intptr_t>(&width), reinterpret_cast<intptr_t>(&height),
                            tiffPath.c_str(), "2"),
              64);
    EXPECT_EQ(height, 8);
    EXPECT_EQ(QueryDocument(0, kQueryPixelSize, 0, 0, tiffPath.c_str(), nullptr), 16) << "frame 1 by default";
    EXPECT_EQ(QueryDocument(0, kQueryPixelSize, 0, 0, tiffPath.c_str(), "3"), 0);
}
