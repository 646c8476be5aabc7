// The catalog's viewer entries: open action (fit and open page), page mode, viewer preferences,
// their order in the catalog and the validation of the viewer parameters.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "pdf/document.h"
#include "pdf/outline.h"
#include "pdf/pdf_inspect.h"
#include "support/test_support.h"

using namespace folvane::pdf;
using namespace folvane::test;

namespace {

class OutlineCatalog : public PdfTest {};

struct Catalog {
    std::string text;
    std::vector<int> pages;
};

// Writes `pageCount` pages after applying the viewer parameters and returns the catalog.
Catalog writeWithViewer(const std::filesystem::path& path, int pageCount, int pageMode, int fit, int openPage,
                        unsigned flags)
{
    PdfDocument* doc = newPdfDocument();
    openOutput(doc, path.string());
    setNumericParameter(doc, "pagemode", pageMode);
    setNumericParameter(doc, "openaction", fit);
    setNumericParameter(doc, "openpage", openPage);
    setNumericParameter(doc, "viewerprefs", flags);
    for (int i = 0; i < pageCount; ++i) {
        beginPage(doc, 200, 200);
        endPage(doc);
    }
    closePdfDocument(doc);
    freePdfDocument(doc);
    WrittenPdf pdf = readWrittenPdf(readFileBytes(path));
    EXPECT_EQ(pdf.error, "");
    Catalog catalog;
    catalog.text = pdf.objects[static_cast<int>(integerAfter(pdf.trailer, "/Root"))];
    int tree = static_cast<int>(integerAfter(catalog.text, "/Pages"));
    catalog.pages = referencesIn(pdf.objects[tree], "/Kids");
    return catalog;
}

} // namespace

TEST_F(OutlineCatalog, OpenActionFollowsFitAndOpenPage)
{
    struct Case {
        const char* name;
        int pages;
        int fit;
        int openPage;
        int expectedPage; // 0 = no open action
        const char* form;
    } cases[] = {
        {"fit_page_page_1", 3, kOpenFitPage, 1, 1, "/Fit"},
        {"no_fit_page_1", 3, kOpenFitNone, 1, 0, nullptr},
        {"no_fit_page_2", 3, kOpenFitNone, 2, 2, "/Fit"},
        {"fit_width_page_3", 3, kOpenFitWidth, 3, 3, "/FitH null"},
        {"page_beyond_count", 3, kOpenFitPage, 9, 3, "/Fit"},
        {"no_fit_beyond_count", 3, kOpenFitNone, 7, 3, "/Fit"},
        {"single_page_beyond", 1, kOpenFitNone, 5, 0, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Catalog catalog = writeWithViewer(pdfPath(std::string(c.name) + ".pdf"), c.pages, 0, c.fit, c.openPage, 0);
        if (c.expectedPage == 0) {
            EXPECT_EQ(catalog.text.find("/OpenAction"), std::string::npos) << catalog.text;
            continue;
        }
        std::string expected = "/OpenAction [" + std::to_string(catalog.pages[static_cast<size_t>(c.expectedPage - 1)]) +
                               " 0 R " + c.form + "] ";
        EXPECT_NE(catalog.text.find(expected), std::string::npos) << catalog.text;
    }
}

TEST_F(OutlineCatalog, PageModesAndViewerPreferences)
{
    const char* modes[] = {nullptr, "/UseNone", "/UseOutlines", "/UseThumbs", "/FullScreen"};
    for (int mode = 0; mode <= 4; ++mode) {
        Catalog catalog = writeWithViewer(pdfPath("mode" + std::to_string(mode) + ".pdf"), 1, mode, 0, 1, 0);
        if (mode == 0)
            EXPECT_EQ(catalog.text.find("/PageMode"), std::string::npos);
        else
            EXPECT_NE(catalog.text.find(std::string("/PageMode ") + modes[mode] + " "), std::string::npos) << mode;
        EXPECT_EQ(catalog.text.find("/ViewerPreferences"), std::string::npos);
    }

    Catalog all = writeWithViewer(pdfPath("all.pdf"), 2, kPageModeFullScreen, kOpenFitPage, 2, 0x3F000);
    EXPECT_NE(all.text.find("/ViewerPreferences <</HideToolbar true /HideMenubar true /HideWindowUI true "
                            "/FitWindow true /CenterWindow true >> "),
              std::string::npos)
        << all.text;
    // Entries in the catalog's order: open action, page mode, viewer preferences, page tree.
    size_t action = all.text.find("/OpenAction");
    size_t mode = all.text.find("/PageMode");
    size_t preferences = all.text.find("/ViewerPreferences");
    size_t pages = all.text.find("/Pages");
    EXPECT_LT(action, mode);
    EXPECT_LT(mode, preferences);
    EXPECT_LT(preferences, pages);

    Catalog centre = writeWithViewer(pdfPath("centre.pdf"), 1, 0, 0, 1, kCenterWindow | kHideMenubar);
    EXPECT_NE(centre.text.find("/ViewerPreferences <</HideMenubar true /CenterWindow true >> "), std::string::npos);
    Catalog unknown = writeWithViewer(pdfPath("unknown.pdf"), 1, 0, 0, 1, 0x20000 | 0x40);
    EXPECT_EQ(unknown.text.find("/ViewerPreferences"), std::string::npos) << "only the five known flags count";
}

TEST_F(OutlineCatalog, ViewerParametersAreValidated)
{
    auto path = pdfPath("validated.pdf");
    ErrorLog log;
    PdfDocument* doc = makeDocument(&log);
    setNumericParameter(doc, "pagemode", 3); // object scope: reported and ignored
    EXPECT_TRUE(log.has(kErrState));
    openOutput(doc, path.string());
    EXPECT_EQ(doc->viewer.pageMode, 0);
    log.codes.clear();

    setNumericParameter(doc, "pagemode", 5);
    setNumericParameter(doc, "pagemode", -1);
    setNumericParameter(doc, "pagemode", 1.5);
    setNumericParameter(doc, "openaction", 3);
    setNumericParameter(doc, "openpage", 0);
    setNumericParameter(doc, "viewerprefs", -1);
    EXPECT_EQ(std::count(log.codes.begin(), log.codes.end(), kErrArgument), 6);
    EXPECT_EQ(doc->viewer.pageMode, 0);
    EXPECT_EQ(doc->viewer.openFit, 0);
    EXPECT_EQ(doc->viewer.openPage, 1);
    EXPECT_EQ(doc->viewer.flags, 0u);

    log.codes.clear();
    beginPage(doc, 200, 200);
    setNumericParameter(doc, "pagemode", kPageModeThumbs); // page scope is allowed
    setNumericParameter(doc, "openpage", 1);
    addBookmark(doc, "first", 0, true);
    endPage(doc);
    EXPECT_TRUE(log.codes.empty());
    closePdfDocument(doc);
    // Closing clears the settings, so a reopened record starts without them.
    EXPECT_EQ(doc->viewer.pageMode, 0);
    EXPECT_EQ(doc->bookmarkCount, 0);
    freePdfDocument(doc);

    std::string bytes = readFileBytes(path);
    EXPECT_NE(bytes.find("/PageMode /UseThumbs "), std::string::npos) << "a page mode set first is kept";
}
