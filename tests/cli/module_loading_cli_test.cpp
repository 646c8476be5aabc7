// Libraries that most runs never need are opened on first use: Tesseract (with the dozens of
// libraries it brings) through the text recognition module, LibRaw, libwmf, libmng and OpenJPEG
// through the module of less common decoders, libcurl by the update check. Their loading once
// dominated the start of every small job.
#include <gtest/gtest.h>

#include <string>

#include "support/cli_fixture.h"

namespace fs = std::filesystem;
using namespace folvane::test;

namespace {

class ModuleLoading : public CliFixture {
protected:
    void SetUp() override
    {
        CliFixture::SetUp();
        ASSERT_TRUE(haveTool("gm")) << "gm is needed (scripts/install-deps.sh)";
        ASSERT_EQ(runCommand("gm convert -size 50x50 xc:white " + q(dir / "a.tif")).exitCode, 0);
        ASSERT_EQ(runCommand("gm convert -size 40x30 xc:red " + q(dir / "b.mng")).exitCode, 0);
    }
};

TEST_F(ModuleLoading, ARunMapsOnlyTheLibrariesItsFilesAndOptionsNeed)
{
    fs::path out = pdfPath("out.pdf");
    // The files the dynamic loader opened during a run.
    auto opened = [this, &out](const std::string& arguments) {
        fs::remove_all(dir / "ld");
        fs::create_directories(dir / "ld");
        auto run = cli("convert " + arguments + " -e overwrite -o " + q(out),
                       "LD_DEBUG=files LD_DEBUG_OUTPUT=" + q(dir / "ld" / "trace"));
        EXPECT_EQ(run.exitCode, 0) << run.output;
        return folderText(dir / "ld");
    };
    std::string plain = opened(q(dir / "a.tif"));
    for (const char* library : {"libfolvane-ocr.so", "libtesseract", "liblept", "libcurl", "libfolvane-codecs.so",
                                "libraw", "libwmf", "libmng", "libopenjp2"})
        EXPECT_EQ(plain.find(library), std::string::npos) << library << " is loaded by a plain conversion";

    std::string reading = opened("--ocr " + q(dir / "a.tif"));
    EXPECT_NE(reading.find("libfolvane-ocr.so"), std::string::npos);
    EXPECT_NE(reading.find("libtesseract"), std::string::npos);
    EXPECT_EQ(reading.find("libfolvane-codecs.so"), std::string::npos);

    std::string animation = opened(q(dir / "b.mng"));
    EXPECT_NE(animation.find("libfolvane-codecs.so"), std::string::npos);
    EXPECT_NE(animation.find("libmng"), std::string::npos);
    EXPECT_EQ(animation.find("libtesseract"), std::string::npos);
    EXPECT_EQ(pdfinfo(out, "Pages"), "1");
}

// A program without its modules refuses --ocr before the job and fails an MNG file, each time
// naming the missing module; other files still convert.
TEST_F(ModuleLoading, AMissingModuleIsNamedWhereItIsNeeded)
{
    fs::create_directories(dir / "alone");
    fs::copy_file(FOLVANE_CLI, dir / "alone" / "folvane-cli");
    CliSession alone((dir / "alone" / "folvane-cli").string(), dir);
    const std::string looked = " was not found (looked in " + (dir / "alone").string() + "/";
    fs::path out = pdfPath("out.pdf");

    auto ocr = alone.run("convert --ocr -o " + q(out) + " " + q(dir / "a.tif"));
    EXPECT_EQ(ocr.exitCode, 2);
    EXPECT_NE(ocr.output.find("text recognition is not available: libfolvane-ocr.so" + looked), std::string::npos)
        << ocr.output;
    EXPECT_FALSE(fs::exists(out));

    auto mixed = alone.run("convert --json -o " + q(out) + " " + q(dir / "b.mng") + " " + q(dir / "a.tif"));
    EXPECT_NE(mixed.output.find("\"status\":\"Failed\",\"reason\":\"the image decoders are not available: "
                                "libfolvane-codecs.so" + looked),
              std::string::npos)
        << mixed.output;
    EXPECT_EQ(pdfinfo(out, "Pages"), "1") << "the TIFF file is converted all the same";
}

} // namespace
