#pragma once
// Composes pages the way a user does: images written by the test are converted by folvane-cli
// with the given options into one PDF, which is checked with qpdf and read back page by page.
// Every page-layout and stamp test goes through compose(), so the route lives in one place.

#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "support/cli_fixture.h"
#include "support/image_files.h"
#include "support/page_trace.h"

namespace folvane::test {

// The present moment in universal time, as strftime spells it with `format`.
inline std::string utcNow(const char* format)
{
    std::time_t now = std::time(nullptr);
    std::tm t{};
    gmtime_r(&now, &t);
    char text[64];
    std::strftime(text, sizeof text, format, &t);
    return text;
}

class ComposeFixture : public CliFixture {
protected:
    // Converts `images` in order into `name` with `options` (quoted for the shell) and returns
    // the traced pages; the run must end with `exitCode` (1 when an image fails).
    std::vector<TracedPage> compose(const std::vector<std::filesystem::path>& images, const std::string& options,
                                    const std::string& name = "composed.pdf", int exitCode = 0)
    {
        last = pdfPath(name);
        std::string inputs;
        for (const auto& image : images)
            inputs += " " + q(image);
        CommandResult run = cli("convert -q " + options + " -o " + q(last) + inputs);
        EXPECT_EQ(run.exitCode, exitCode) << run.output;
        return tracePdf(last);
    }

    // A BMP of one gray shade.
    std::filesystem::path grayImage(const std::string& name, int width, int height, int shade = 128)
    {
        std::filesystem::path path = dir / name;
        uint32_t rgb = static_cast<uint32_t>(shade << 16 | shade << 8 | shade);
        writeBmp24(path, width, height, [rgb](int, int) { return rgb; });
        return path;
    }

    // A gray TIFF of `frames` pages, frame i of shade 60 + 10 i.
    std::filesystem::path framesTiff(const std::string& name, int frames, int width = 40, int height = 40)
    {
        std::filesystem::path path = dir / name;
        std::vector<TiffPage> pages;
        for (int i = 0; i < frames; ++i)
            pages.push_back(
                {width, height, 8, 1, 1, 1, [i](int, int, int) { return static_cast<uint8_t>(60 + 10 * i); }});
        writeTiff(path, pages);
        return path;
    }

    // The bookmark titles of the last composed file, one per line as mutool prints them.
    std::string outline() { return runCommand("mutool show " + q(last) + " outline").output; }

    std::filesystem::path last; // the file compose() wrote last
};

} // namespace folvane::test
