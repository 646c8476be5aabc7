#pragma once
// Outside views of a PDF after pages were appended to it: what qpdf counts and shows, and what
// MuPDF draws of a page, for checking an incremental update with tools other than our reader.

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

namespace folvane::test {

// "qpdf --show-npages": the pages of the tree qpdf walks; -1 when qpdf fails.
int qpdfPageCount(const std::filesystem::path& pdf);

// "qpdf --show-object=WHICH" ("trailer", or an object number): the object as qpdf reads it.
std::string qpdfObject(const std::filesystem::path& pdf, const std::string& which);

// The catalog as qpdf reads it (the object the trailer's /Root names).
std::string qpdfCatalog(const std::filesystem::path& pdf);

// A page drawn by MuPDF at 18 dpi: its size in pixels and the colour at its centre.
struct DrawnPage {
    int width = 0;
    int height = 0;
    int red = -1, green = -1, blue = -1;
};
DrawnPage drawPage(const std::filesystem::path& pdf, int page);

// An append that went well: the file starts with `original` byte for byte, qpdf counts `pages`,
// and MuPDF draws the last page upright (wider than tall, as the landscape test image is) with
// the image's colour at its centre (r, g, b within 40).
::testing::AssertionResult appendedWell(const std::filesystem::path& pdf, const std::string& original, int pages,
                                        int r, int g, int b);

} // namespace folvane::test
