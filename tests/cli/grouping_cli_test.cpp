// The file-list job (convert) and the watch-folder runner (watch) share their grouping: given
// the same images they write the same PDF files with the same pages, in every output mode.

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <set>
#include <string>

#include "../engine/intake_fixtures.h"
#include "support/cli_fixture.h"

namespace folvane::test {
namespace {

namespace fs = std::filesystem;

class GroupingCliTest : public CliFixture {
protected:
    // Two folders whose names differ only in letter case (one per-folder PDF), a two-page TIFF
    // and an image that cannot be read. Returns the images in plain byte order.
    std::string writeImages(const fs::path& in)
    {
        auto pixel = [](int x, int y) { return static_cast<uint32_t>(x * 7 + y * 13) & 0xffffffu; };
        fs::create_directories(in / "Scans");
        fs::create_directories(in / "scans");
        fs::create_directories(in / "z");
        writeBmp24(in / "Scans/a.bmp", 30, 20, pixel);
        TiffPage page {24, 16, 8, 1, 1, 1, [](int x, int y, int) { return static_cast<uint8_t>(x * 9 + y); }};
        writeTiff(in / "Scans/b.tif", {page, page});
        writeBmp24(in / "scans/c.bmp", 20, 30, pixel);
        writeBmp24(in / "z/d.bmp", 16, 16, pixel);
        writeFileBytes(in / "z/e.bmp", "BM not really an image");
        std::string list;
        for (const char* name : {"Scans/a.bmp", "Scans/b.tif", "scans/c.bmp", "z/d.bmp", "z/e.bmp"})
            list += " " + q(in / name);
        return list;
    }

    // Every PDF below `out` (a folder, or the merged file itself) with its page count.
    std::map<std::string, int> pdfs(const fs::path& out)
    {
        std::map<std::string, int> found;
        auto take = [&](const fs::path& pdf) {
            pdfPath(fs::relative(pdf, dir).string());
            found[fs::relative(pdf, out.parent_path()).string()] = std::stoi("0" + pdfinfo(pdf, "Pages"));
        };
        if (fs::is_regular_file(out)) {
            take(out);
            return found;
        }
        for (const auto& entry : fs::recursive_directory_iterator(out))
            if (entry.path().extension() == ".pdf")
                take(entry.path());
        return found;
    }
};

TEST_F(GroupingCliTest, ConvertAndWatchWriteTheSamePdfsInEveryMode)
{
    const std::map<std::string, std::map<std::string, int>> expected {
        {"merge", {{"out.pdf", 5}}},
        {"image", {{"out/a.pdf", 1}, {"out/b.pdf", 2}, {"out/c.pdf", 1}, {"out/d.pdf", 1}}},
        {"folder", {{"out/Scans.pdf", 4}, {"out/z.pdf", 1}}},
    };
    for (const auto& [mode, files] : expected) {
        SCOPED_TRACE(mode);
        fs::path list = dir / ("list-" + mode);
        fs::path watch = dir / ("watch-" + mode);
        std::string output = mode == "merge" ? "out.pdf" : "out";
        CommandResult converted = cli("convert -q -m " + mode + " -o " + q(list / output) + writeImages(list / "in"));
        writeImages(watch / "in");
        CommandResult watched =
            cli("watch -q --subdir --settle 0 -m " + mode + " -o " + q(watch / output) + " " + q(watch / "in"));
        // The unreadable image fails both runs alike.
        EXPECT_EQ(converted.exitCode, 1) << converted.output;
        EXPECT_EQ(watched.exitCode, 1) << watched.output;
        EXPECT_EQ(pdfs(list / output), files);
        EXPECT_EQ(pdfs(watch / output), files);
    }
}

// The dry run of a watch names the PDF each image goes to, also in mirrored subfolders and in
// per-folder mode: every file it names is the one the run then writes.
TEST_F(GroupingCliTest, WatchDryRunNamesThePdfsTheRunWrites)
{
    for (const std::string options : {"-m image --keep-subfolders", "-m folder"}) {
        SCOPED_TRACE(options);
        fs::path base = dir / (options.size() > 9 ? "mirror" : "folders");
        writeImages(base / "in");
        std::string watch = "watch --subdir --settle 0 " + options + " -o " + q(base / "out") + " " + q(base / "in");
        CommandResult planned = cli(watch + " --dry-run");
        ASSERT_EQ(planned.exitCode, 0) << planned.output;
        cli(watch);
        std::map<std::string, int> written = pdfs(base / "out");
        std::set<std::string> named;
        for (size_t at = planned.output.find(" -> "); at != std::string::npos; at = planned.output.find(" -> ", at + 1)) {
            size_t end = planned.output.find('\n', at);
            named.insert(fs::relative(planned.output.substr(at + 4, end - at - 4), base).string());
        }
        std::set<std::string> writtenNames;
        for (const auto& [name, pages] : written)
            writtenNames.insert(name);
        // The unreadable image gets no PDF of its own; every other planned PDF is written.
        std::erase_if(named, [](const std::string& name) { return fs::path(name).filename() == "e.pdf"; });
        EXPECT_EQ(named, writtenNames) << planned.output;
    }
}

} // namespace
} // namespace folvane::test
