// folvane-cli run as a process on image files the test writes. Every run gets its own settings
// file and its own HOME and XDG folders below the scratch folder, so no test reads or changes the
// real home folder.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <sys/stat.h>

#include "support/image_files.h"
#include "support/test_support.h"

namespace folvane::test {
namespace {

namespace fs = std::filesystem;

class CliTest : public PdfTest {
protected:
    void SetUp() override
    {
        dir = scratchDir();
        fs::create_directories(dir / "home");
        fs::create_directories(dir / "in/one");
        fs::create_directories(dir / "in/two");
        fs::create_directories(dir / "out");
        writeBmp24(dir / "in/one/a.bmp", 40, 30, [](int x, int) { return x < 20 ? 0xff0000u : 0x0000ffu; });
        writeBmp24(dir / "in/one/b.bmp", 30, 40, [](int, int y) { return y < 20 ? 0x00ff00u : 0xffffffu; });
        TiffPage page;
        page.width = 24;
        page.height = 16;
        page.value = [](int x, int y, int) { return static_cast<uint8_t>((x + y) * 8); };
        writeTiff(dir / "in/two/pages.tif", {page, page, page});
    }

    // Runs folvane-cli with the arguments (already quoted where needed), standard input from
    // /dev/null, in a scratch home.
    CommandResult cli(const std::string& arguments)
    {
        std::string home = shellQuote((dir / "home").string());
        std::string command = "env HOME=" + home + " XDG_CONFIG_HOME=" + home + "/config XDG_DATA_HOME=" + home +
                              "/data FOLVANE_SETTINGS= " + shellQuote(FOLVANE_CLI) + " " + arguments +
                              " --settings " + shellQuote((dir / "Settings.ini").string()) + " </dev/null";
        return runCommand(command);
    }

    std::string q(const fs::path& path) { return shellQuote(path.string()); }

    int pages(const fs::path& pdf)
    {
        CommandResult info = runCommand("pdfinfo " + q(pdf));
        size_t at = info.output.find("Pages:");
        return info.exitCode == 0 && at != std::string::npos ? std::atoi(info.output.c_str() + at + 6) : -1;
    }

    bool printed(const CommandResult& result, const std::string& line)
    {
        return ("\n" + result.output).find("\n" + line + "\n") != std::string::npos;
    }

    fs::path dir;
};

TEST_F(CliTest, MergeModeConvertsFilesAndFoldersAndReportsEachInput)
{
    fs::path out = pdfPath("out/all.pdf");
    CommandResult result = cli("convert -m merge -o " + q(out) + " " + q(dir / "in/one") + " " + q(dir / "in/two/pages.tif"));
    EXPECT_EQ(result.exitCode, 0) << result.output;
    EXPECT_TRUE(printed(result, "Succeed " + (dir / "in/one/a.bmp").string())) << result.output;
    EXPECT_TRUE(printed(result, "Succeed " + (dir / "in/two/pages.tif").string())) << result.output;
    EXPECT_TRUE(printed(result, "Written " + out.string())) << result.output;
    EXPECT_EQ(pages(out), 5);
    // The folder's images come in name order: a.bmp (landscape) before b.bmp (portrait).
    CommandResult sizes = runCommand("pdfinfo -f 1 -l 2 " + q(out));
    size_t first = sizes.output.find("Page    1 size:  40 x 30");
    size_t second = sizes.output.find("Page    2 size:  30 x 40");
    EXPECT_NE(first, std::string::npos) << sizes.output;
    EXPECT_NE(second, std::string::npos) << sizes.output;
}

TEST_F(CliTest, BadInputFailsItsRowAndTheExitStatusButNotTheOthers)
{
    writeFileBytes(dir / "in/broken.png", "\x89PNG\r\n\x1a\n broken");
    fs::path out = pdfPath("out/mixed.pdf");
    CommandResult result = cli("convert -m merge -q -o " + q(out) + " " + q(dir / "in/one/a.bmp") + " " +
                               q(dir / "in/broken.png") + " " + q(dir / "in/one/b.bmp"));
    EXPECT_EQ(result.exitCode, 1) << result.output;
    EXPECT_TRUE(printed(result, "Failed " + (dir / "in/broken.png").string())) << result.output;
    EXPECT_EQ(result.output.find("Succeed"), std::string::npos) << "quiet prints only failures";
    EXPECT_EQ(pages(out), 2);
}

TEST_F(CliTest, ImageAndFolderModesWriteOnePdfPerImageOrFolder)
{
    CommandResult images = cli("convert -m image -o " + q(dir / "out/img") + " -r " + q(dir / "in"));
    EXPECT_EQ(images.exitCode, 0) << images.output;
    EXPECT_EQ(pages(pdfPath("out/img/a.pdf")), 1);
    EXPECT_EQ(pages(pdfPath("out/img/b.pdf")), 1);
    EXPECT_EQ(pages(pdfPath("out/img/pages.pdf")), 3);

    CommandResult folders = cli("convert --mode folder --output " + q(dir / "out/dir") + " --recursive " + q(dir / "in"));
    EXPECT_EQ(folders.exitCode, 0) << folders.output;
    EXPECT_EQ(pages(pdfPath("out/dir/one.pdf")), 2);
    EXPECT_EQ(pages(pdfPath("out/dir/two.pdf")), 3);

    // The filter keeps only TIFF files of the folder inputs.
    CommandResult filtered = cli("convert -m image -o " + q(dir / "out/tif") + " -r --filter TIFF " + q(dir / "in"));
    EXPECT_EQ(filtered.exitCode, 0) << filtered.output;
    EXPECT_EQ(pages(pdfPath("out/tif/pages.pdf")), 3);
    EXPECT_FALSE(fs::exists(dir / "out/tif/a.pdf"));
}

TEST_F(CliTest, EachExistingFilePolicy)
{
    fs::path out = pdfPath("out/book.pdf");
    std::string inputs = " " + q(dir / "in/one");
    ASSERT_EQ(cli("convert -m merge -o " + q(out) + inputs).exitCode, 0);
    EXPECT_EQ(pages(out), 2);

    CommandResult created = cli("convert -m merge -e new -o " + q(out) + inputs);
    EXPECT_EQ(created.exitCode, 0) << created.output;
    EXPECT_TRUE(printed(created, "Written " + pdfPath("out/book001.pdf").string())) << created.output;

    // Without a terminal "ask" behaves like Cancel: a new numbered name.
    CommandResult asked = cli("convert -m merge -e ask -o " + q(out) + inputs);
    EXPECT_EQ(asked.exitCode, 0) << asked.output;
    EXPECT_EQ(pages(pdfPath("out/book002.pdf")), 2);

    CommandResult appended = cli("convert -m merge -e append -o " + q(out) + " " + q(dir / "in/two"));
    EXPECT_EQ(appended.exitCode, 0) << appended.output;
    EXPECT_EQ(pages(out), 5);

    CommandResult overwritten = cli("convert -m merge -e overwrite -o " + q(out) + " " + q(dir / "in/one/a.bmp"));
    EXPECT_EQ(overwritten.exitCode, 0) << overwritten.output;
    EXPECT_EQ(pages(out), 1);

    // Appending to a file that is not a PDF cannot create the output.
    writeFileBytes(dir / "out/text.pdf", "just text");
    CommandResult notPdf = cli("convert -m merge -e append -o " + q(dir / "out/text.pdf") + inputs);
    EXPECT_EQ(notPdf.exitCode, 1);
    EXPECT_TRUE(printed(notPdf, "Create Failed " + (dir / "out/text.pdf").string())) << notPdf.output;
    EXPECT_EQ(readFileBytes(dir / "out/text.pdf"), "just text");
}

TEST_F(CliTest, OutputThatCannotBeCreatedLeavesInputsUntouched)
{
    writeFileBytes(dir / "out/file", "a file, not a folder");
    fs::path impossible = dir / "out/file/x.pdf";
    CommandResult result = cli("convert -m merge -o " + q(impossible) + " " + q(dir / "in/one"));
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_TRUE(printed(result, "Create Failed " + impossible.string())) << result.output;
    EXPECT_TRUE(printed(result, "- " + (dir / "in/one/a.bmp").string())) << result.output;
    EXPECT_EQ(result.output.find("Written"), std::string::npos);
}

TEST_F(CliTest, UsageErrorsExitWithTwo)
{
    EXPECT_EQ(cli("convert -m sideways " + q(dir / "in/one")).exitCode, 2);
    EXPECT_EQ(cli("convert").exitCode, 2);
    EXPECT_EQ(cli("convert -e sometimes " + q(dir / "in/one")).exitCode, 2);
    EXPECT_EQ(cli("convert --set nosuchkey=1 " + q(dir / "in/one")).exitCode, 2);
    EXPECT_EQ(cli("convert --set layout=four " + q(dir / "in/one")).exitCode, 2);
    EXPECT_EQ(cli("convert --after reboot-now " + q(dir / "in/one")).exitCode, 2);
    EXPECT_EQ(cli("convert --filter txt " + q(dir / "in/one")).exitCode, 2);
    EXPECT_EQ(cli("frobnicate").exitCode, 2);
    EXPECT_EQ(cli("settings get nosuchkey").exitCode, 2);
    CommandResult version = cli("--version");
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_NE(version.output.find("folvane-cli "), std::string::npos);
    EXPECT_EQ(cli("convert --help").exitCode, 0);
    EXPECT_FALSE(fs::exists(dir / "home/Quillmar")) << "nothing was converted into the default folder";
}

TEST_F(CliTest, StoredSettingsAreUsedAndOverridesLastOneRun)
{
    ASSERT_EQ(cli("settings set outMode 1").exitCode, 0);
    ASSERT_EQ(cli("settings set outPath1 " + q(dir / "out/stored/")).exitCode, 0);
    ASSERT_EQ(cli("settings set LAYOUT 2").exitCode, 0);
    ASSERT_EQ(cli("settings set pageSize 2").exitCode, 0);
    CommandResult get = cli("settings get layout");
    EXPECT_EQ(get.output, "2\n");
    CommandResult list = cli("settings list");
    EXPECT_NE(list.output.find("\nexists=2\n"), std::string::npos) << list.output;
    EXPECT_NE(list.output.find("\nquality=75\n"), std::string::npos) << list.output;

    // Two images per page from the file; the override makes it one image per page, this run only.
    CommandResult stored = cli("convert " + q(dir / "in/two/pages.tif"));
    EXPECT_EQ(stored.exitCode, 0) << stored.output;
    EXPECT_EQ(pages(pdfPath("out/stored/pages.pdf")), 2);
    CommandResult overridden = cli("convert -e overwrite --set layout=1 " + q(dir / "in/two/pages.tif"));
    EXPECT_EQ(overridden.exitCode, 0) << overridden.output;
    EXPECT_EQ(pages(dir / "out/stored/pages.pdf"), 3);
    EXPECT_EQ(cli("settings get layout").output, "2\n");
}

// A settings file that exists but cannot be read must not be taken as defaults: with
// "security=1" in it, a run on defaults would write an unencrypted PDF and report success.
TEST_F(CliTest, ASettingsFileThatCannotBeReadStopsEveryCommandThatNeedsIt)
{
    const fs::path settings = dir / "Settings.ini";
    const fs::path out = dir / "out/plain.pdf";
    std::string huge = "[Settings]\nsecurity=1\nuser=secret\n" + std::string(2 << 20, ';');
    struct Case {
        const char* what;
        std::function<void()> make;
        std::string reason;
    } cases[] = {
        {"folder", [&] { fs::create_directory(settings); }, "Is a directory"},
        {"fifo", [&] { ASSERT_EQ(::mkfifo(settings.c_str(), 0600), 0); }, "not a regular file"},
        {"too large", [&] { writeFileBytes(settings, huge); }, "larger than 1 MiB"},
    };
    for (const Case& c : cases) {
        fs::remove_all(settings);
        c.make();
        for (const std::string& command : {"convert -m merge -o " + q(out) + " " + q(dir / "in/one"),
                                           std::string("settings list"), std::string("settings set title x")}) {
            CommandResult run = cli(command);
            EXPECT_EQ(run.exitCode, 2) << c.what << ": " << command << "\n" << run.output;
            EXPECT_NE(run.output.find("folvane-cli: cannot read the settings file " + settings.string() + ": " + c.reason),
                      std::string::npos)
                << c.what << ": " << run.output;
        }
        EXPECT_FALSE(fs::exists(out)) << c.what;
    }
    EXPECT_EQ(readFileBytes(settings), huge) << "the unreadable file is left as it was";
    fs::remove(settings);
    EXPECT_EQ(cli("settings get security").output, "0\n") << "a missing file still means defaults";
}

TEST_F(CliTest, SettingsWritesReportFailuresAndListingHidesPasswords)
{
    // A write the file system refuses: the file grows past the size limit of the process.
    ASSERT_EQ(cli("settings set title " + std::string(240, 't')).exitCode, 0);
    ASSERT_EQ(cli("settings set author " + std::string(240, 'a')).exitCode, 0);
    ASSERT_EQ(cli("settings set subject " + std::string(240, 's')).exitCode, 0);
    ASSERT_EQ(cli("settings set keywords " + std::string(240, 'k')).exitCode, 0);
    ASSERT_EQ(cli("settings set producer " + std::string(240, 'p')).exitCode, 0);
    std::string before = readFileBytes(dir / "Settings.ini");
    ASSERT_GT(before.size(), 1024u);
    CommandResult limited = runCommand("trap '' XFSZ; ulimit -f 1; env HOME=" + q(dir / "home") + " FOLVANE_SETTINGS= " +
                         shellQuote(FOLVANE_CLI) + " settings set creator c --settings " + q(dir / "Settings.ini"));
    EXPECT_EQ(limited.exitCode, 1) << limited.output;
    EXPECT_NE(limited.output.find("folvane-cli: cannot write the settings file " + (dir / "Settings.ini").string() +
                                  ": File too large"),
              std::string::npos)
        << limited.output;
    EXPECT_EQ(readFileBytes(dir / "Settings.ini"), before);

    ASSERT_EQ(cli("settings set user 'open sesame'").exitCode, 0);
    CommandResult hidden = cli("settings list");
    EXPECT_TRUE(printed(hidden, "user=********")) << hidden.output;
    EXPECT_TRUE(printed(hidden, "owner=")) << "an empty password shows as empty";
    EXPECT_EQ(hidden.output.find("open sesame"), std::string::npos);
    CommandResult shown = cli("settings list --show-passwords");
    EXPECT_TRUE(printed(shown, "user=open sesame")) << shown.output;
}

TEST_F(CliTest, LogFolderReceivesTheJobRecords)
{
    fs::path out = pdfPath("out/logged.pdf");
    CommandResult result = cli("convert -m merge -o " + q(out) + " --log " + q(dir / "logs") + " " + q(dir / "in/one"));
    EXPECT_EQ(result.exitCode, 0) << result.output;
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(dir / "logs"))
        files.push_back(entry.path());
    ASSERT_EQ(files.size(), 1u);
    std::string log = readFileBytes(files[0]);
    EXPECT_NE(log.find("[Output]: " + out.string() + "\r\n"), std::string::npos) << log;
    EXPECT_NE(log.find("[Input]: " + (dir / "in/one/b.bmp").string() + "\r\n[State]: Succeed\r\n"), std::string::npos);
}

TEST_F(CliTest, InfoPrintsFormatFramesAndSize)
{
    CommandResult result = cli("info " + q(dir / "in/two/pages.tif") + " " + q(dir / "in/one/a.bmp"));
    EXPECT_EQ(result.exitCode, 0) << result.output;
    EXPECT_NE(result.output.find("pages.tif: TIFF, 3 frames, 24 x 16 pixels"), std::string::npos) << result.output;
    EXPECT_NE(result.output.find("a.bmp: BMP, 1 frame, 40 x 30 pixels"), std::string::npos) << result.output;
    writeFileBytes(dir / "in/junk.jpg", "junk");
    EXPECT_EQ(cli("info " + q(dir / "in/junk.jpg")).exitCode, 1);
}

} // namespace
} // namespace folvane::test
