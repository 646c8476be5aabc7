// What folvane-cli says and refuses: the messages for bad option values, the dry run, the JSON
// records, the progress line, the settings commands and the shell completions.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>

#include "support/cli_fixture.h"
#include "support/image_files.h"

namespace folvane::test {
namespace {

namespace fs = std::filesystem;

class CliReportTest : public CliFixture {
protected:
    void SetUp() override
    {
        CliFixture::SetUp();
        fs::create_directories(dir / "in");
        writeBmp24(dir / "in/a.bmp", 30, 20, [](int x, int) { return x < 10 ? 0xff0000u : 0x00ff00u; });
        writeBmp24(dir / "in/b.bmp", 20, 30, [](int, int) { return 0x0000ffu; });
    }

    // Every file below the scratch folder, to prove that a run wrote nothing.
    std::vector<std::string> tree()
    {
        std::vector<std::string> paths;
        for (const auto& entry : fs::recursive_directory_iterator(dir))
            paths.push_back(entry.path().string());
        std::sort(paths.begin(), paths.end());
        return paths;
    }
};

TEST_F(CliReportTest, BadValuesExitTwoWithOneLineNamingOptionValueAndWhatIsAccepted)
{
    struct Case {
        std::string arguments;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"--page-size A9", "--page-size: 'A9' is not a page size (image, A3, A4, A5, B5, Letter, Legal, or WIDTHxHEIGHT "
                           "with pt, mm, cm or in)"},
        {"--page-size 2x2", "--page-size: '2x2' is not a page size (each side from 3 to 14400 points)"},
        {"--page-size 210x297yd", "--page-size: '210x297yd' is not a page size"},
        {"--rotate 45", "--rotate: '45' is not an angle (0, 90, 180 or 270)"},
        {"--dpi 50", "--dpi: '50' is not a resolution"},
        {"--margin 1,2", "--margin: '1,2' is not a margin"},
        {"--margin 15in", "--margin: '15in' is not a margin"},
        {"--layout 3", "--layout: '3' is not a layout (1, 2, 4, 6, 9 or 16)"},
        {"--quality 101", "--quality: '101' is not a JPEG quality (0 to 100; 0 keeps JPEG data as it is)"},
        {"--bw-compression jpeg", "--bw-compression: 'jpeg' is not a compression (none, lzw, zip, g3 or g4)"},
        {"--bookmarks title", "--bookmarks: 'title' is not a bookmark text (page, name, filename or path)"},
        {"--header-color '#12345'", "--header-color: '#12345' is not a colour"},
        {"--watermark-color nosuchcolour", "--watermark-color: 'nosuchcolour' is not a colour"},
        {"--watermark-position middle", "--watermark-position: 'middle' is not a position (top-left, top-center"},
        {"--watermark-image missing.png", "--watermark-image: 'missing.png' is not a readable image file"},
        {"--open-zoom 200%", "--open-zoom: '200%' is not a zoom (fit-width or fit-page)"},
        {"--encrypt des", "--encrypt: 'des' is not an encryption (rc4-40, rc4-128, aes-128 or aes-256)"},
        {"--allow print,share", "--allow: 'print,share' is not a list of permissions"},
        {"--user-password-file missing.txt", "--user-password-file: 'missing.txt' cannot be read"},
        {"--title " + std::string(300, 't'), "--title: '" + std::string(300, 't') + "' is not accepted (a text of at most 255 bytes)"},
        {"--set layout=5", "--set: '5' is not a value of layout (one of 1, 2, 4, 6, 9, 16)"},
        {"--set xdpi=50", "--set: '50' is not a value of xdpi (0 or a whole number from 72 to 1200)"},
        {"--set pagesiz=2", "--set: 'pagesiz' is not a setting (did you mean pageSize?)"},
        {"--set outMode=1", "--set: 'outMode' is not an output setting"},
        {"--set quality", "--set: 'quality' is not KEY=VALUE"},
        // A good value before a bad one changes nothing: every value is checked first.
        {"--page-size A4 --layout 5", "--layout: '5' is not a layout"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments);
        CommandResult result = cli("convert -m merge -o " + q(dir / "out/x.pdf") + " " + c.arguments + " " + q(dir / "in"));
        EXPECT_EQ(result.exitCode, 2);
        EXPECT_EQ(result.output.rfind("folvane-cli: " + c.message, 0), 0u) << result.output;
        EXPECT_EQ(std::count(result.output.begin(), result.output.end(), '\n'), 1) << result.output;
    }
    EXPECT_FALSE(fs::exists(dir / "out")) << "nothing was converted";
}

TEST_F(CliReportTest, DryRunPrintsThePlanAndWritesNothing)
{
    std::vector<std::string> before = tree();
    CommandResult merge = cli("convert --dry-run -m merge -o " + q(dir / "out/book.pdf") + " " + q(dir / "in"));
    EXPECT_EQ(merge.exitCode, 0) << merge.output;
    EXPECT_TRUE(printed(merge, (dir / "in/a.bmp").string() + " -> " + (dir / "out/book.pdf").string())) << merge.output;
    EXPECT_TRUE(printed(merge, (dir / "in/b.bmp").string() + " -> " + (dir / "out/book.pdf").string()));
    CommandResult perImage = cli("convert --dry-run --json -m image -o " + q(dir / "out/pdf") + " --log " +
                                 q(dir / "logs") + " " + q(dir / "in"));
    EXPECT_EQ(perImage.exitCode, 0) << perImage.output;
    EXPECT_NE(perImage.output.find(nlohmann::json((dir / "out/pdf/b.pdf").string()).dump()), std::string::npos)
        << perImage.output;
    // A watch's dry run neither converts nor makes the folders it moves sources into.
    CommandResult watch = cli("watch --dry-run --interval 5 -m image -o " + q(dir / "out/w") + " " + q(dir / "in"));
    EXPECT_EQ(watch.exitCode, 0) << watch.output;
    EXPECT_TRUE(printed(watch, (dir / "in/a.bmp").string() + " -> " + (dir / "out/w/a.pdf").string())) << watch.output;
    EXPECT_EQ(tree(), before);
}

TEST_F(CliReportTest, JsonRecordsParseAndNameInputOutputStatusAndReason)
{
    writeFileBytes(dir / "in/c.png", "\x89PNG\r\n\x1a\n not really");
    // The same records from a file-list run and from a watch pass.
    for (std::string command : {"convert --json -m image -o ", "watch --settle 0 --json -m image -o "}) {
        SCOPED_TRACE(command);
        std::string out = command[0] == 'c' ? "out" : "watch-out";
        CommandResult result = cli(command + q(dir / out) + " " + q(dir / "in"));
        EXPECT_EQ(result.exitCode, 1);
        pdfPath(out + "/a.pdf");
        pdfPath(out + "/b.pdf");
        std::istringstream lines(result.output);
        std::map<std::string, nlohmann::json> byInput;
        std::vector<std::string> written;
        std::string line;
        while (std::getline(lines, line)) {
            if (line.rfind("folvane-cli: ", 0) == 0)
                continue; // the failure's message on standard error
            nlohmann::json record = nlohmann::json::parse(line);
            ASSERT_TRUE(record.contains("input") && record.contains("output") && record.contains("status") &&
                        record.contains("reason"))
                << line;
            if (record["status"] == "Written")
                written.push_back(record["output"]);
            else
                byInput[record["input"]] = record;
        }
        ASSERT_EQ(byInput.size(), 3u) << result.output;
        EXPECT_EQ(byInput[(dir / "in/a.bmp").string()]["status"], "Succeed");
        EXPECT_EQ(byInput[(dir / "in/a.bmp").string()]["output"], (dir / out / "a.pdf").string());
        const nlohmann::json& failed = byInput[(dir / "in/c.png").string()];
        EXPECT_EQ(failed["status"], "Failed");
        EXPECT_FALSE(failed["reason"].get<std::string>().empty());
        std::sort(written.begin(), written.end());
        EXPECT_EQ(written, (std::vector<std::string> {(dir / out / "a.pdf").string(), (dir / out / "b.pdf").string()}));
    }

    // A file name that is not UTF-8 (Latin-1 here) still gives a record a JSON parser accepts.
    fs::create_directories(dir / "latin");
    writeBmp24(dir / "latin/caf\xe9.bmp", 8, 8, [](int, int) { return 0u; });
    pdfPath("latin-out/caf\xe9.pdf");
    CommandResult latin = cli("convert --json -m image -o " + q(dir / "latin-out") + " " + q(dir / "latin"));
    EXPECT_EQ(latin.exitCode, 0) << latin.output;
    nlohmann::json record = nlohmann::json::parse(latin.output.substr(0, latin.output.find('\n')));
    EXPECT_EQ(record["input"], (dir / "latin/caf\xEF\xBF\xBD.bmp").string());
}

TEST_F(CliReportTest, ProgressOnlyWhenAskedForOrOnATerminal)
{
    fs::path out = pdfPath("out/p.pdf");
    CommandResult piped = cli("convert -m merge -o " + q(out) + " " + q(dir / "in"));
    EXPECT_EQ(piped.output.find("files,"), std::string::npos) << piped.output;
    EXPECT_EQ(piped.output.find('\r'), std::string::npos);
    CommandResult forced = cli("convert -e overwrite --progress -m merge -o " + q(out) + " " + q(dir / "in"));
    EXPECT_NE(forced.output.find("of 2 files, "), std::string::npos) << forced.output;
    if (haveTool("script")) {
        // A pseudo-terminal, as a person's shell has; --no-progress silences it there.
        std::string command = "env HOME=" + q(dir / "home") + " " + shellQuote(FOLVANE_CLI) +
                              " convert -e overwrite -m merge -o " + q(out) + " --settings " + q(dir / "Settings.ini") +
                              " " + q(dir / "in");
        CommandResult tty = runCommand("script -qec " + shellQuote(command) + " /dev/null");
        EXPECT_NE(tty.output.find("2 of 2 files, "), std::string::npos) << tty.output;
        CommandResult quiet = runCommand("script -qec " + shellQuote(command + " --no-progress") + " /dev/null");
        EXPECT_EQ(quiet.output.find("files, "), std::string::npos) << quiet.output;
    }
}

TEST_F(CliReportTest, SettingsExplainKeysCheckValuesAndStartInTheHomeFolder)
{
    CommandResult list = cli("settings list");
    EXPECT_NE(list.output.find("(--page-size)\npageSize=0\n"), std::string::npos) << list.output;
    EXPECT_NE(list.output.find("(--encrypt)\nlevel=3\n"), std::string::npos) << list.output;
    EXPECT_TRUE(printed(cli("settings get OpenFile"), (dir / "home").string() + "/"));
    EXPECT_TRUE(printed(cli("settings get openDir"), (dir / "home").string() + "/"));

    CommandResult bad = cli("settings set layout 5");
    EXPECT_EQ(bad.exitCode, 2);
    EXPECT_EQ(bad.output, "folvane-cli: settings set: '5' is not a value of layout (one of 1, 2, 4, 6, 9, 16)\n");
    EXPECT_NE(cli("settings set hidemenus 1").output.find("did you mean hideMenu?"), std::string::npos);
    EXPECT_EQ(cli("settings set Layout 4").exitCode, 0);
    EXPECT_EQ(cli("settings get layout").output, "4\n");
    EXPECT_EQ(cli("settings set second 12a").exitCode, 2);
}

TEST_F(CliReportTest, HelpGroupsTheOptionsAndTheCompletionsKnowThemAll)
{
    std::string help = cli("convert --help").output;
    size_t last = 0;
    for (const char* group : {"Page:", "Images:", "Bookmarks:", "Stamps:", "Viewer:", "Information:", "Security:",
                              "Inputs:", "Output:"}) {
        size_t at = help.find(std::string("\n") + group + "\n");
        ASSERT_NE(at, std::string::npos) << group << "\n" << help;
        EXPECT_GT(at, last) << group;
        last = at;
    }
    std::string bash = readFileBytes(fs::path(FOLVANE_COMPLETIONS) / "folvane-cli.bash");
    std::string zsh = readFileBytes(fs::path(FOLVANE_COMPLETIONS) / "_folvane-cli");
    std::string fish = readFileBytes(fs::path(FOLVANE_COMPLETIONS) / "folvane-cli.fish");
    std::istringstream words(help + cli("watch --help").output);
    std::string word;
    while (words >> word) {
        if (word.rfind("--", 0) != 0 || word == "--help")
            continue;
        word = word.substr(0, word.find_first_of(",="));
        EXPECT_NE(bash.find(word), std::string::npos) << word;
        EXPECT_NE(zsh.find(word), std::string::npos) << word;
        EXPECT_NE(fish.find("-l " + word.substr(2)), std::string::npos) << word;
    }

    std::string source = "source " + shellQuote((fs::path(FOLVANE_COMPLETIONS) / "folvane-cli.bash").string());
    CommandResult loaded = runCommand("bash -c " + shellQuote(source + "; complete -p folvane-cli"));
    EXPECT_EQ(loaded.exitCode, 0) << loaded.output;
    EXPECT_NE(loaded.output.find("-F _folvane_cli folvane-cli"), std::string::npos) << loaded.output;
    CommandResult values = runCommand(
        "bash -c " + shellQuote(source + "; COMP_WORDS=(folvane-cli convert --encrypt aes); COMP_CWORD=3; "
                                         "_folvane_cli; echo \"${COMPREPLY[*]}\""));
    EXPECT_EQ(values.output, "aes-128 aes-256\n");
}

} // namespace
} // namespace folvane::test
