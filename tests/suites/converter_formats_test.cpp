// Formats only the external converter reads: animations become one page per displayed frame,
// black-and-white frames keep their colours, and files are accepted by their content only.
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "support/cli_fixture.h"
#include "support/pixel_compare.h"

using namespace folvane::test;
namespace fs = std::filesystem;

namespace {

class ConverterFormats : public CliFixture {
protected:
    void SetUp() override
    {
        CliFixture::SetUp();
        writeFileBytes(dir / "gradient.ppm", gradient());
    }
    static std::string gradient()
    {
        std::string bytes = "P6\n40 24\n255\n";
        for (int y = 0; y < 24; ++y)
            for (int x = 0; x < 40; ++x)
                bytes += {static_cast<char>(60 + 4 * x), static_cast<char>(60 + 6 * y), static_cast<char>(140)};
        return bytes;
    }
    fs::path gm(const std::string& arguments, const std::string& name)
    {
        auto out = dir / name;
        EXPECT_EQ(runCommand("gm convert " + arguments + " " + q(out)).exitCode, 0) << name;
        return out;
    }
    static std::string pixel(const RgbImage& page, int x, int y)
    {
        const uint8_t* p = page.at(x, y);
        auto near = [](int v) { return v > 200 ? "hi" : v < 100 ? "lo" : "mid"; };
        return std::string(near(p[0])) + "-" + near(p[1]) + "-" + near(p[2]);
    }
};

TEST_F(ConverterFormats, AnimatedGifBecomesOnePagePerFrameAsDisplayed)
{
    // A 40 x 30 red screen; a blue square drawn at (5, 5) and then cleared to the background; a
    // green patch at (20, 10) whose left four columns are transparent.
    fs::path red = gm("-size 40x30 xc:#c04040", "red.gif");
    fs::path blue = gm("-size 10x10 xc:#4040c0", "blue.gif");
    fs::path green = gm("-size 12x8 xc:#40c040 -fill white -draw 'rectangle 0,0 3,7' -transparent white", "green.gif");
    fs::path anim = gm("-dispose None -page 40x30+0+0 " + q(red) + " -dispose Background -page 40x30+5+5 " + q(blue) +
                           " -dispose None -page 40x30+20+10 " + q(green),
                       "anim.gif");
    fs::path pdf = pdfPath("anim.pdf");
    ASSERT_EQ(cli("convert --dpi 72 -o " + q(pdf) + " " + q(anim)).exitCode, 0);
    ASSERT_EQ(pdfinfo(pdf, "Pages"), "3");
    RgbImage first = renderPage(pdf, 1, dir), second = renderPage(pdf, 2, dir), last = renderPage(pdf, 3, dir);
    ASSERT_EQ(last.width, 40) << "every page has the screen's size";
    ASSERT_EQ(last.height, 30);
    EXPECT_EQ(pixel(first, 7, 7), "mid-lo-lo");
    EXPECT_EQ(pixel(second, 7, 7), "lo-lo-mid") << "the blue square";
    EXPECT_EQ(pixel(last, 7, 7), "hi-hi-hi") << "cleared to the background: white";
    EXPECT_EQ(pixel(last, 21, 11), "mid-lo-lo") << "transparent pixels show what lies below";
    EXPECT_EQ(pixel(last, 27, 11), "lo-mid-lo");
    EXPECT_NE(cli("info " + q(anim)).output.find("anim.gif: GIF, 3 frames, 40 x 30 pixels"), std::string::npos);
}

// A Photoshop file is named as such when the installed converter cannot read it.
TEST_F(ConverterFormats, PhotoshopFilesFailWithTheirCause)
{
    // 8BPS, version 1, 3 channels of 2 x 1 pixels, 8 bits, RGB; no mode data, resources or
    // layers; raw planes.
    std::string psd("8BPS\0\x01\0\0\0\0\0\0\0\x03\0\0\0\x01\0\0\0\x02\0\x08\0\x03", 26);
    psd += std::string(12, '\0') + std::string("\0\0", 2) + "\xff\x10\x10\xff\x10\x10";
    writeFileBytes(dir / "layers.psd", psd);
    if (runCommand("gm identify " + q(dir / "layers.psd")).exitCode == 0)
        GTEST_SKIP() << "this GraphicsMagick reads Photoshop files";
    CommandResult result = cli("convert -o " + q(dir / "layers.pdf") + " " + q(dir / "layers.psd"));
    EXPECT_NE(result.exitCode, 0);
    EXPECT_NE(result.output.find("layers.psd: Failed: Photoshop (PSD) images are not supported"), std::string::npos)
        << result.output;
    EXPECT_NE(cli("info " + q(dir / "layers.psd")).output.find("Photoshop (PSD) images are not supported"),
              std::string::npos);
}

TEST_F(ConverterFormats, BlackAndWhiteGifKeepsItsColours)
{
    for (std::string order : {"", "-negate"}) {
        SCOPED_TRACE(order);
        fs::path gif = gm(q(dir / "gradient.ppm") + " -threshold 50% " + order + " -type bilevel " + order, "bw.gif");
        fs::path pdf = pdfPath("bw" + order + ".pdf");
        ASSERT_EQ(cli("convert --dpi 72 -o " + q(pdf) + " " + q(gif)).exitCode, 0);
        EXPECT_EQ(psnr(renderPage(pdf, 1, dir), referenceDecode(gif, 0, dir)), 99);
    }
}

TEST_F(ConverterFormats, FilesAreReadByTheirContentOnly)
{
    // AVS, OTA bitmaps and JBIG have no signature: their headers must agree with the file's size.
    for (std::string name : {"picture.sgi", "picture.xbm", "picture.sun", "picture.fits", "picture.avs",
                             "picture.otb", "picture.jbg"}) {
        SCOPED_TRACE(name);
        fs::path source = gm(q(dir / "gradient.ppm"), name);
        fs::path pdf = pdfPath(name + ".pdf");
        ASSERT_EQ(cli("convert --dpi 72 -o " + q(pdf) + " " + q(source)).exitCode, 0);
        EXPECT_GE(psnr(renderPage(pdf, 1, dir), referenceDecode(source, 0, dir)), 30);
    }
    // Drawing scripts and vector files are never handed to their coders, whatever their names.
    writeFileBytes(dir / "script.gif", "push graphic-context\nviewbox 0 0 10 10\nfill red\nrectangle 0,0 9,9\n");
    writeFileBytes(dir / "drawing.psd",
                   "<?xml version=\"1.0\"?><svg xmlns=\"http://www.w3.org/2000/svg\" width=\"10\" height=\"10\"/>");
    for (std::string name : {"script.gif", "drawing.psd"}) {
        CommandResult result = cli("convert -o " + q(dir / "refused.pdf") + " " + q(dir / name));
        EXPECT_NE(result.exitCode, 0) << name;
        EXPECT_NE(result.output.find(name + ": Failed: not a readable image"), std::string::npos) << result.output;
    }
    // Kinds nothing in them identifies are refused with that cause.
    gm(q(dir / "gradient.ppm"), "picture.mono");
    CommandResult result = cli("convert -o " + q(dir / "mono.pdf") + " " + q(dir / "picture.mono"));
    EXPECT_NE(result.exitCode, 0);
    EXPECT_NE(result.output.find("MONO files carry no signature"), std::string::npos) << result.output;
}

} // namespace
