#include "jobs/output_naming.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

#include "app/app_test_env.h"
#include "job_fixture.h"
#include "support/appended_pdf.h"
#include "support/test_support.h"

namespace folvane::jobs {
namespace {

namespace fs = std::filesystem;
using test::readFileBytes;
using test::scratchDir;
using test::writeFileBytes;

std::string touch(const fs::path& path, const std::string& bytes = "old")
{
    writeFileBytes(path, bytes);
    return path.string();
}

TEST(PathParts, SplitKeepsEveryByteAndFindsTheLastDot)
{
    struct Case {
        const char* path;
        const char* folder;
        const char* name;
        const char* extension;
    } cases[] = {
        {"/out/MyPDF.pdf", "/out/", "MyPDF", ".pdf"},
        {"/out/archive.tar.gz", "/out/", "archive.tar", ".gz"},
        {"/out.d/noext", "/out.d/", "noext", ""},
        {"/out/.hidden", "/out/", ".hidden", ""},
        {"/out/.hidden.pdf", "/out/", ".hidden", ".pdf"},
        {"plain.jpg", "", "plain", ".jpg"},
        {"/", "/", "", ""},
        {"", "", "", ""},
    };
    for (const Case& c : cases) {
        PathParts parts = splitPath(c.path);
        EXPECT_EQ(parts.drive, "") << c.path;
        EXPECT_EQ(parts.folder, c.folder) << c.path;
        EXPECT_EQ(parts.name, c.name) << c.path;
        EXPECT_EQ(parts.extension, c.extension) << c.path;
        EXPECT_EQ(parts.drive + parts.folder + parts.name + parts.extension, c.path);
    }
}

TEST(GeneratedNames, ListStyleTakesTheFirstNumberNotInUse)
{
    fs::path dir = scratchDir();
    std::string wanted = (dir / "MyPDF.pdf").string();
    EXPECT_EQ(numberedName(wanted), (dir / "MyPDF001.pdf").string()) << "the wanted name itself is never checked";
    touch(wanted);
    touch(dir / "MyPDF001.pdf");
    EXPECT_EQ(numberedName(wanted), (dir / "MyPDF002.pdf").string());
    touch(dir / "MyPDF003.pdf");
    EXPECT_EQ(numberedName(wanted), (dir / "MyPDF002.pdf").string()) << "a gap is filled first";
    touch(dir / "MyPDF(NEW001).pdf");
    EXPECT_EQ(newName(wanted), (dir / "MyPDF(NEW002).pdf").string());
    EXPECT_EQ(generatedNewName(wanted, NamingStyle::List), numberedName(wanted));
}

TEST(GeneratedNames, WatchStyleAndNamesWithoutExtension)
{
    fs::path dir = scratchDir();
    touch(dir / "out.pdf");
    EXPECT_EQ(newName((dir / "out.pdf").string()), (dir / "out(NEW001).pdf").string());
    touch(dir / "out(NEW001).pdf");
    EXPECT_EQ(newName((dir / "out.pdf").string()), (dir / "out(NEW002).pdf").string());
    EXPECT_EQ(generatedNewName((dir / "out.pdf").string(), NamingStyle::Watch), (dir / "out(NEW002).pdf").string());
    EXPECT_EQ(numberedName((dir / "report").string()), (dir / "report001").string());
    EXPECT_EQ(newName((dir / ".hidden").string()), (dir / ".hidden(NEW001)").string());
}

TEST(GeneratedNames, AnythingExistingUnderANameMakesItTaken)
{
    fs::path dir = scratchDir();
    fs::create_directory(dir / "MyPDF001.pdf");
    ASSERT_EQ(::symlink((dir / "nowhere.pdf").c_str(), (dir / "MyPDF002.pdf").c_str()), 0);
    touch(dir / "MyPDF003.pdf");
    ASSERT_EQ(::chmod((dir / "MyPDF003.pdf").c_str(), 0), 0);
    EXPECT_EQ(numberedName((dir / "MyPDF.pdf").string()), (dir / "MyPDF004.pdf").string())
        << "a folder, a dangling link and an unreadable file are all kept";
    EXPECT_FALSE(fs::exists(dir / "nowhere.pdf"));
}

TEST(GeneratedNames, NumbersGrowBeyondThreeDigits)
{
    fs::path dir = scratchDir();
    char name[32];
    for (int n = 1; n <= 999; ++n) {
        std::snprintf(name, sizeof name, "MyPDF%03d.pdf", n);
        touch(dir / name, "");
    }
    EXPECT_EQ(numberedName((dir / "MyPDF.pdf").string()), (dir / "MyPDF1000.pdf").string());
}

TEST(OutputNames, PerImagePerFolderAndPlannedNames)
{
    OutputPaths paths {"/merged/All.pdf", "/images/", "/folders/"};
    struct Case {
        const char* image;
        const char* perImage;
        const char* perFolder;
    } cases[] = {
        {"/home/u/a/x.jpg", "/images/x.pdf", "/folders/a.pdf"},
        {"/home/u/b/photo.tar.tif", "/images/photo.tar.pdf", "/folders/b.pdf"},
        {"/home/u/a b/scan", "/images/scan.pdf", "/folders/a b.pdf"},
        {"/data/x.jpg", "/images/x.pdf", "/folders/data.pdf"},
        {"/x.jpg", "/images/x.pdf", "/folders/root.pdf"},
        {"rel/x.jpg", "/images/x.pdf", "/folders/rel.pdf"},
        {"x.jpg", "/images/x.pdf", "/folders/root.pdf"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(plannedPdfName(c.image, kMergeMode, paths), "/merged/All.pdf") << c.image;
        EXPECT_EQ(plannedPdfName(c.image, kPerImageMode, paths), c.perImage) << c.image;
        EXPECT_EQ(plannedPdfName(c.image, kPerFolderMode, paths), c.perFolder) << c.image;
        EXPECT_EQ(perImageOutputName(paths.perImageFolder, c.image), c.perImage);
        EXPECT_EQ(perFolderOutputName(paths.perFolderFolder, c.image), c.perFolder);
    }
    EXPECT_EQ(plannedPdfName("/a/x.jpg", 3, paths), "");
    EXPECT_EQ(plannedPdfName("/a/x.jpg", -1, paths), "");
}

class StoredOutputPaths : public test::ScratchHomeTest {};

TEST_F(StoredOutputPaths, DefaultsDependOnThePageAndLongPathsReadWhole)
{
    app::SettingsStore store((dir() / "Settings.ini").string());
    std::string data = (dir() / "home" / "Quillmar" / "Folvane").string() + "/";
    OutputPaths list = loadOutputPaths(store, OutputPathsReader::FileList);
    EXPECT_EQ(list.merged, data + "MyPDF.pdf");
    EXPECT_EQ(list.perImageFolder, data);
    EXPECT_EQ(list.perFolderFolder, data);
    OutputPaths watch = loadOutputPaths(store, OutputPathsReader::WatchFolder);
    EXPECT_EQ(watch.merged + watch.perImageFolder + watch.perFolderFolder, "");

    std::string deep = "/srv/" + std::string(300, 'd') + "/";
    store.putString("outPath1", deep);
    store.putString("outPath0", "/docs/All.pdf");
    OutputPaths stored = loadOutputPaths(store, OutputPathsReader::WatchFolder);
    EXPECT_EQ(outputPathOf(stored, kMergeMode), "/docs/All.pdf");
    EXPECT_EQ(outputPathOf(stored, kPerImageMode), deep) << "a path is never cut short";
    EXPECT_EQ(outputPathOf(stored, kPerFolderMode), "");
    EXPECT_EQ(outputPathOf(stored, 3), "");
}

TEST(OutputNames, ChosenPathsGetTheirExtensionOrSlash)
{
    EXPECT_EQ(chosenMergedPath("/docs/report"), "/docs/report.pdf");
    EXPECT_EQ(chosenMergedPath("/docs/report.pdf"), "/docs/report.pdf");
    EXPECT_EQ(chosenMergedPath("/docs/Report.PDF"), "/docs/Report.PDF");
    EXPECT_EQ(chosenMergedPath("/docs/report.pd"), "/docs/report.pd.pdf");
    EXPECT_EQ(chosenMergedPath("pdf"), "pdf.pdf");
    EXPECT_EQ(chosenOutputFolder("/Out"), "/Out/");
    EXPECT_EQ(chosenOutputFolder("/Out/"), "/Out/");
    EXPECT_EQ(chosenOutputFolder("/"), "/");
}

TEST(DeleteFileLikeWindows, ReadOnlyFilesAndFoldersStayEvenForRoot)
{
    fs::path dir = scratchDir();
    std::string readOnly = touch(dir / "readonly.pdf", "keep me");
    ASSERT_EQ(::chmod(readOnly.c_str(), 0444), 0);
    EXPECT_FALSE(deleteUnlessReadOnly(readOnly)) << "uid " << ::getuid();
    EXPECT_EQ(readFileBytes(readOnly), "keep me");

    std::string groupWritable = touch(dir / "group.pdf");
    ASSERT_EQ(::chmod(groupWritable.c_str(), 0464), 0);
    EXPECT_TRUE(deleteUnlessReadOnly(groupWritable)) << "any write bit makes the file deletable";
    EXPECT_FALSE(fs::exists(groupWritable));

    std::string plain = touch(dir / "plain.pdf");
    EXPECT_TRUE(deleteUnlessReadOnly(plain));
    EXPECT_FALSE(fs::exists(plain));
    EXPECT_FALSE(deleteUnlessReadOnly(plain)) << "already gone";
    EXPECT_FALSE(deleteUnlessReadOnly(""));

    fs::create_directory(dir / "folder.pdf");
    EXPECT_FALSE(deleteUnlessReadOnly((dir / "folder.pdf").string()));
    EXPECT_TRUE(fs::is_directory(dir / "folder.pdf"));

    fs::path link = dir / "link.pdf";
    ASSERT_EQ(::symlink(readOnly.c_str(), link.c_str()), 0);
    EXPECT_TRUE(deleteUnlessReadOnly(link.string())) << "the link goes, not its read-only target";
    EXPECT_FALSE(fs::is_symlink(link));
    EXPECT_EQ(readFileBytes(readOnly), "keep me");
}

class AskingObserver : public JobObserver {
public:
    std::string answer;
    std::vector<std::string> asked;
    std::string askOutputName(const std::string& existingPath) override
    {
        asked.push_back(existingPath);
        return answer;
    }
};

// Opens output documents through the real engine; finish() gives one a page and writes it.
class OpenOutput : public test::PdfTest {
protected:
    fs::path dir = scratchDir();
    AskingObserver observer;

    OutputDocument open(const std::string& wanted, int policy, NamingStyle style = NamingStyle::List)
    {
        return openOutputDocument(wanted, test::outputPolicy(policy, style, &observer));
    }
    // True when the document was written; its file is then checked like every PDF of a test.
    bool finish(OutputDocument& doc)
    {
        doc.document.drawText(50, 50, "page", 0);
        bool written = doc.document.close().ok;
        if (written)
            pdfPath(fs::relative(doc.writtenPath(), dir).string());
        return written;
    }
    bool drop(OutputDocument& doc) { return doc.document.discard(); }
};

TEST_F(OpenOutput, MissingFileIsCreatedUnderEveryPolicy)
{
    for (int policy : {int(kAskAlways), int(kOverwrite), int(kCreateNewFile), int(kAppend), 9}) {
        std::string wanted = (dir / ("MyPDF" + std::to_string(policy + 10) + ".pdf")).string();
        OutputDocument out = open(wanted, policy);
        ASSERT_TRUE(out.isOpen()) << "policy " << policy;
        EXPECT_EQ(out.path, wanted);
        EXPECT_FALSE(out.appending);
        EXPECT_TRUE(finish(out));
        EXPECT_EQ(test::qpdfPageCount(wanted), 1) << "policy " << policy;
    }
    EXPECT_TRUE(observer.asked.empty());

    touch(dir / "plain-file");
    std::string unreachable = (dir / "plain-file/MyPDF.pdf").string();
    OutputDocument failed = open(unreachable, kCreateNewFile);
    EXPECT_FALSE(failed.isOpen());
    EXPECT_EQ(failed.path, unreachable);
    EXPECT_FALSE(fs::exists(dir / "x.pdf"));
}

TEST_F(OpenOutput, CreateNewFileUsesTheGeneratedNameOfTheStyle)
{
    std::string wanted = touch(dir / "MyPDF.pdf");
    touch(dir / "MyPDF001.pdf");
    OutputDocument out = open(wanted, kCreateNewFile);
    ASSERT_TRUE(out.isOpen());
    EXPECT_EQ(out.path, (dir / "MyPDF002.pdf").string());
    EXPECT_TRUE(finish(out));

    std::string watched = touch(dir / "out.pdf");
    OutputDocument watchNamed = open(watched, kCreateNewFile, NamingStyle::Watch);
    EXPECT_EQ(watchNamed.path, (dir / "out(NEW001).pdf").string());
    EXPECT_TRUE(finish(watchNamed));
    EXPECT_EQ(readFileBytes(wanted), "old") << "the existing file is not touched";
    EXPECT_EQ(readFileBytes(watched), "old");
}

TEST_F(OpenOutput, AskAlwaysTakesTheChosenNameExactlyOrFallsBackOnCancel)
{
    std::string wanted = touch(dir / "MyPDF.pdf");
    observer.answer = (dir / "chosen").string();
    OutputDocument chosen = open(wanted, kAskAlways);
    EXPECT_EQ(observer.asked, std::vector<std::string> {wanted});
    EXPECT_EQ(chosen.path, (dir / "chosen").string()) << "no extension is added";
    EXPECT_TRUE(finish(chosen));

    observer.answer.clear();
    OutputDocument cancelled = open(wanted, kAskAlways);
    EXPECT_EQ(cancelled.path, (dir / "MyPDF001.pdf").string()) << "as under Create new file";
    EXPECT_TRUE(drop(cancelled));
    OutputDocument watchNamed = open(wanted, kAskAlways, NamingStyle::Watch);
    EXPECT_EQ(watchNamed.path, (dir / "MyPDF(NEW001).pdf").string());
    EXPECT_TRUE(drop(watchNamed));
    EXPECT_EQ(observer.asked.size(), 3u);

    OutputDocument unattended =
        openOutputDocument(wanted, test::outputPolicy(kAskAlways, NamingStyle::List, nullptr));
    EXPECT_EQ(unattended.path, (dir / "MyPDF001.pdf").string()) << "without a front end the question is cancelled";
    EXPECT_TRUE(drop(unattended));
    EXPECT_EQ(readFileBytes(wanted), "old");
    EXPECT_FALSE(fs::exists(dir / "MyPDF001.pdf")) << "a dropped document leaves no file";
}

TEST_F(OpenOutput, OverwriteKeepsTheOldFileUntilReplacedAndFailsOnAReadOnlyFile)
{
    fs::path wanted = dir / "replaced.pdf";
    touch(wanted, "not a pdf at all");
    OutputDocument out = open(wanted.string(), kOverwrite);
    ASSERT_TRUE(out.isOpen());
    EXPECT_EQ(out.path, wanted.string());
    EXPECT_EQ(readFileBytes(wanted), "not a pdf at all") << "the new document replaces it only when complete";
    EXPECT_TRUE(finish(out));
    EXPECT_EQ(readFileBytes(wanted).substr(0, 5), "%PDF-");

    // A replacement that is dropped (a job drops one without pages) leaves the old file.
    std::string kept = readFileBytes(wanted);
    OutputDocument dropped = open(wanted.string(), kOverwrite);
    ASSERT_TRUE(dropped.isOpen());
    EXPECT_TRUE(drop(dropped));
    EXPECT_EQ(readFileBytes(wanted), kept);
    EXPECT_FALSE(dropped.isOpen()) << "a dropped document is closed";

    // A link is removed at once, so the new file takes its place and the target stays.
    std::string target = touch(dir / "target.pdf", "target");
    fs::create_symlink(target, dir / "link.pdf");
    OutputDocument linked = open((dir / "link.pdf").string(), kOverwrite);
    ASSERT_TRUE(linked.isOpen());
    EXPECT_FALSE(fs::is_symlink(dir / "link.pdf"));
    EXPECT_TRUE(finish(linked));
    EXPECT_EQ(readFileBytes(target), "target");

    std::string readOnly = touch(dir / "readonly.pdf", "precious");
    ASSERT_EQ(::chmod(readOnly.c_str(), 0444), 0);
    OutputDocument refused = open(readOnly, kOverwrite);
    EXPECT_FALSE(refused.isOpen());
    EXPECT_EQ(refused.path, readOnly);
    EXPECT_EQ(readFileBytes(readOnly), "precious");

    fs::create_directory(dir / "folder.pdf");
    EXPECT_FALSE(open((dir / "folder.pdf").string(), kOverwrite).isOpen());
    EXPECT_TRUE(fs::is_directory(dir / "folder.pdf"));
}

TEST_F(OpenOutput, AppendAndUnknownPoliciesAddPagesToTheExistingPdf)
{
    fs::path book = dir / "book.pdf";
    OutputDocument first = open(book.string(), kAppend);
    ASSERT_TRUE(first.isOpen());
    EXPECT_FALSE(first.appending) << "a missing file is created";
    ASSERT_TRUE(finish(first));

    int pages = 1;
    for (int policy : {int(kAppend), 4, -1}) {
        OutputDocument more = open(book.string(), policy);
        ASSERT_TRUE(more.isOpen()) << policy;
        EXPECT_TRUE(more.appending);
        EXPECT_EQ(more.path, book.string());
        ASSERT_TRUE(finish(more));
        EXPECT_EQ(test::qpdfPageCount(book), ++pages) << policy;
    }

    std::string notPdf = touch(dir / "notes.pdf");
    EXPECT_FALSE(open(notPdf, kAppend).isOpen()) << "not a PDF the reader accepts";
    EXPECT_EQ(readFileBytes(notPdf), "old");
}

} // namespace
} // namespace folvane::jobs
