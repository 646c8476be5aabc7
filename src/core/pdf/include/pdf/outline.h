#pragma once
// Navigation and description of a document: the outline (bookmark) tree, the catalog's page
// mode, open action and viewer preferences, and the document information dictionary.
//
// Everything here is collected while the document is written and goes into the file at close;
// closePdfDocument releases the stored texts. Texts arrive as UTF-8: ASCII is written as a
// literal string, anything else as UTF-16BE with the FE FF mark so that every viewer shows it.
// Invalid arguments go to the error hook (kErrArgument) and never fail the document.

#include <ctime>
#include <string>

#include "pdf/document.h"

namespace folvane::pdf {

// Page mode of the catalog (viewer "pagemode" parameter).
enum PageMode : int {
    kPageModeNotSet = 0,
    kPageModeUseNone = 1,    // page only
    kPageModeOutlines = 2,   // outline panel
    kPageModeThumbs = 3,     // thumbnail panel
    kPageModeFullScreen = 4,
};

// How the open page is shown (viewer "openaction" parameter).
enum OpenFit : int {
    kOpenFitNone = 0,
    kOpenFitPage = 1,  // whole page in the window
    kOpenFitWidth = 2, // page width in the window
};

// Destination forms of outline entries; the conversion engine always uses kFitPage.
enum DestinationFit : int {
    kFitPage = 0,
    kFitWidth = 1,
    kFitHeight = 2,
    kFitBoundingBox = 3,
    kFitKeepZoom = 4,
};

// Viewer-preference flags (viewer "viewerprefs" parameter); other bits are ignored.
enum ViewerFlag : unsigned {
    kHideToolbar = 0x1000,
    kHideMenubar = 0x2000,
    kHideWindowControls = 0x4000,
    kFitWindow = 0x8000,
    kCenterWindow = 0x10000,
};

// Adds an outline entry pointing at the current page (the last one begun) under `parent`
// (0 = top level, otherwise an index returned earlier). Allowed in page scope (elsewhere it is
// reported and still done). A parent outside 0..bookmarkCount is reported and nothing is added
// (result 0); an empty title is reported and the entry is added with the empty title. The first
// bookmark selects the outline panel when no page mode is set. Returns the new entry's index
// (1, 2, ...), or 0.
int addBookmark(PdfDocument* doc, const char* title, int parent, bool open);

// Sets an entry of the information dictionary. Keys are given without the slash: "Title",
// "Author", "Subject", "Keywords" and "Creator" replace the standard fields; "Producer",
// "CreationDate" and "ModDate" are ignored (the writer owns them); "Trapped" takes "True",
// "False" or "Unknown"; any other key becomes a further entry (written newest first; setting
// the same key again replaces the earlier value). Empty keys or values, keys with delimiters
// or white space, and other trapping values are reported and ignored. Document or page scope.
void setInfoField(PdfDocument* doc, const char* key, const char* value);

// The bytes of the text value for the UTF-8 `text`: ASCII as it is; otherwise FE FF followed by
// UTF-16BE. Invalid UTF-8 sequences become U+FFFD and a leading UTF-8 byte-order mark is
// dropped. The result has no terminator.
std::string textValueFromUtf8(const char* text);

// "D:YYYYMMDDHHmmSS" with the local time of `when`, followed by the local offset from UTC as
// "+HH'mm'" or "-HH'mm'".
std::string pdfDateText(std::time_t when);

// Used by the closing sequence and the writer core -----------------------------------------------

// The viewer parameters of setNumericParameter: "pagemode" (0..4), "openaction" (0..2),
// "openpage" (1 or more) and "viewerprefs" (ViewerFlag bits). Returns false for other keys.
bool setViewerParameter(PdfDocument* doc, const char* key, double value);

// Open action, page mode and viewer preferences entries of the catalog.
void writeCatalogViewerEntries(PdfDocument* doc);
// The catalog's reference to the outline root, when bookmarks exist.
void writeOutlineReference(PdfDocument* doc);
// The outline root and its entries, in creation order (only when bookmarks exist).
void writeOutlines(PdfDocument* doc);
// Releases the outline table and clears the viewer settings and the document information.
void releaseNavigation(PdfDocument* doc);

} // namespace folvane::pdf
