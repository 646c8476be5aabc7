// folvane-cli convert -j: usage errors, and the same printed lines, files and log with several
// workers as with one.

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

#include "support/image_files.h"
#include "support/test_support.h"

namespace folvane::test {
namespace {

namespace fs = std::filesystem;

class ParallelCliTest : public PdfTest {
protected:
    void SetUp() override
    {
        dir = scratchDir();
        fs::create_directories(dir / "home");
        for (int i = 0; i < 6; ++i) {
            fs::path folder = dir / "in" / (i < 3 ? "one" : "two");
            fs::create_directories(folder);
            uint32_t colour = 0x102030u * static_cast<uint32_t>(i + 1);
            writeBmp24(folder / ("img" + std::to_string(i) + ".bmp"), 40, 30, [colour](int, int) { return colour; });
        }
        writeFileBytes(dir / "in/one/broken.jpg", "\xff\xd8\xff\xe0 not really a jpeg");
        writeFileBytes(dir / "in/two/img1.bmp", "BM"); // the same name as in/one, damaged
    }

    CommandResult cli(const std::string& arguments)
    {
        std::string home = shellQuote((dir / "home").string());
        std::string command = "env HOME=" + home + " XDG_CONFIG_HOME=" + home + "/config XDG_DATA_HOME=" + home +
                              "/data FOLVANE_SETTINGS= " + shellQuote(FOLVANE_CLI) + " " + arguments +
                              " --settings " + shellQuote((dir / "Settings.ini").string()) + " </dev/null";
        return runCommand(command);
    }

    // Converts the inputs into the folder `name` and returns what was printed and logged, with
    // the folder written as "<out>" and the log's times left out.
    std::string convert(const std::string& mode, const std::string& jobs, const std::string& name)
    {
        fs::path out = dir / name;
        fs::path log = dir / ("log-" + name);
        CommandResult result = cli("convert -m " + mode + " -j " + jobs + " -o " + shellQuote(out.string()) +
                                   " --log " + shellQuote(log.string()) + " " + shellQuote((dir / "in").string()) +
                                   " -r");
        EXPECT_EQ(result.exitCode, 1) << result.output; // the damaged inputs fail
        std::string text = result.output + "--- log\n";
        for (const auto& entry : fs::directory_iterator(log))
            text += readFileBytes(entry.path());
        text = std::regex_replace(text, std::regex("\\[Time\\]: [^\r\n]*"), "[Time]");
        for (size_t at = text.find(out.string()); at != std::string::npos; at = text.find(out.string(), at))
            text.replace(at, out.string().size(), "<out>");
        if (mode == "merge")
            pdfPath(name);
        else
            for (const auto& entry : fs::directory_iterator(out))
                pdfPath(name + "/" + entry.path().filename().string());
        return text;
    }

    fs::path dir;
};

TEST_F(ParallelCliTest, JobsMustBeAWholeNumberOfAtLeastOne)
{
    for (const char* value : {"0", "-1", "abc", "2x", "", "65"}) {
        CommandResult result = cli("convert -m image -j '" + std::string(value) + "' -o " +
                                   shellQuote((dir / "out").string()) + " " + shellQuote((dir / "in/one").string()));
        EXPECT_EQ(result.exitCode, 2) << value << ": " << result.output;
        EXPECT_NE(result.output.find("--jobs"), std::string::npos) << value << ": " << result.output;
        EXPECT_NE(result.output.find("whole number from 1 to 64"), std::string::npos) << value << ": " << result.output;
        EXPECT_FALSE(fs::exists(dir / "out")) << value;
    }
}

TEST_F(ParallelCliTest, SeveralJobsPrintAndWriteWhatOneJobDoes)
{
    for (const char* mode : {"image", "folder", "merge"}) {
        SCOPED_TRACE(mode);
        std::string suffix = std::string(mode) + (std::string(mode) == "merge" ? ".pdf" : "");
        std::string one = convert(mode, "1", "j1-" + suffix);
        EXPECT_NE(one.find("Failed " + (dir / "in/one/broken.jpg").string() + "\n"), std::string::npos) << one;
        EXPECT_NE(one.find("Written <out>"), std::string::npos) << one;
        EXPECT_EQ(convert(mode, "3", "j3-" + suffix), one);
    }
    // In image mode the two img1 inputs share a name; the damaged second gives its numbered
    // name back, so nothing but img1.pdf exists for them.
    EXPECT_TRUE(fs::exists(dir / "j3-image/img1.pdf"));
    EXPECT_FALSE(fs::exists(dir / "j3-image/img1001.pdf"));
}

} // namespace
} // namespace folvane::test
