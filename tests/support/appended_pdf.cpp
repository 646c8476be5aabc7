#include "support/appended_pdf.h"

#include <cstdio>
#include <cstdlib>
#include <regex>

#include "support/test_support.h"

namespace folvane::test {

int qpdfPageCount(const std::filesystem::path& pdf)
{
    // Warnings (of a repaired file) may come first, on lines of their own.
    CommandResult r = runCommand("(qpdf --show-npages " + shellQuote(pdf.string()) + " 2>/dev/null)");
    std::smatch count;
    if ((r.exitCode != 0 && r.exitCode != 3) || !std::regex_search(r.output, count, std::regex("(^|\n)([0-9]+)\n")))
        return -1;
    return std::atoi(count[2].str().c_str());
}

std::string qpdfObject(const std::filesystem::path& pdf, const std::string& which)
{
    return runCommand("(qpdf --show-object=" + which + " " + shellQuote(pdf.string()) + " 2>/dev/null)").output;
}

std::string qpdfCatalog(const std::filesystem::path& pdf)
{
    std::smatch root;
    std::string trailer = qpdfObject(pdf, "trailer");
    if (!std::regex_search(trailer, root, std::regex("/Root ([0-9]+) ")))
        return {};
    return qpdfObject(pdf, root[1]);
}

DrawnPage drawPage(const std::filesystem::path& pdf, int page)
{
    DrawnPage drawn;
    auto image = std::filesystem::path(pdf).replace_extension(".page" + std::to_string(page) + ".ppm");
    CommandResult r = runCommand("mutool draw -q -r 18 -o " + shellQuote(image.string()) + " " +
                                 shellQuote(pdf.string()) + " " + std::to_string(page) + " 2>/dev/null");
    std::string bytes = r.exitCode == 0 ? readFileBytes(image) : std::string();
    std::filesystem::remove(image);
    int maxValue = 0;
    int used = 0;
    if (bytes.empty() ||
        std::sscanf(bytes.c_str(), "P6 %d %d %d%n", &drawn.width, &drawn.height, &maxValue, &used) != 3 ||
        maxValue != 255)
        return DrawnPage{};
    size_t pixels = static_cast<size_t>(used) + 1;
    size_t centre = pixels + 3 * (static_cast<size_t>(drawn.height / 2) * static_cast<size_t>(drawn.width) +
                                  static_cast<size_t>(drawn.width / 2));
    if (centre + 3 > bytes.size())
        return DrawnPage{};
    drawn.red = static_cast<uint8_t>(bytes[centre]);
    drawn.green = static_cast<uint8_t>(bytes[centre + 1]);
    drawn.blue = static_cast<uint8_t>(bytes[centre + 2]);
    return drawn;
}

::testing::AssertionResult appendedWell(const std::filesystem::path& pdf, const std::string& original, int pages,
                                        int r, int g, int b)
{
    std::string now = readFileBytes(pdf);
    if (now.size() <= original.size() || now.compare(0, original.size(), original) != 0)
        return ::testing::AssertionFailure() << pdf << ": the original bytes are no longer a prefix";
    int counted = qpdfPageCount(pdf);
    if (counted != pages)
        return ::testing::AssertionFailure() << pdf << ": qpdf counts " << counted << " pages, not " << pages;
    DrawnPage last = drawPage(pdf, pages);
    if (last.width <= last.height)
        return ::testing::AssertionFailure() << pdf << ": the new page is drawn " << last.width << "x" << last.height
                                             << ", not upright";
    if (std::abs(last.red - r) > 40 || std::abs(last.green - g) > 40 || std::abs(last.blue - b) > 40)
        return ::testing::AssertionFailure() << pdf << ": the new page's centre is " << last.red << "," << last.green
                                             << "," << last.blue;
    return ::testing::AssertionSuccess();
}

} // namespace folvane::test
