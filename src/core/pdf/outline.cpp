// The outline tree and the catalog's viewer entries: bookmarks are linked and counted as they
// are added and written after the catalog at close.
#include "pdf/outline.h"

#include <cmath>
#include <cstring>

#include "pdf/security.h"
#include "writer_internal.h"

namespace folvane::pdf {

namespace {

constexpr size_t kInitialOutlineCapacity = 256;
constexpr unsigned kKnownViewerFlags = kHideToolbar | kHideMenubar | kHideWindowControls | kFitWindow | kCenterWindow;

const char* const kPageModeNames[5] = {nullptr, "/UseNone", "/UseOutlines", "/UseThumbs", "/FullScreen"};

struct ViewerPreference {
    unsigned flag;
    const char* key;
};
const ViewerPreference kViewerPreferences[] = {
    {kHideToolbar, "/HideToolbar"},  {kHideMenubar, "/HideMenubar"},   {kHideWindowControls, "/HideWindowUI"},
    {kFitWindow, "/FitWindow"},      {kCenterWindow, "/CenterWindow"},
};

const char* destinationForm(int fit)
{
    switch (fit) {
    case kFitWidth: return "/FitH null";
    case kFitHeight: return "/FitV null";
    case kFitBoundingBox: return "/FitB";
    case kFitKeepZoom: return "/XYZ null null null";
    default: return "/Fit";
    }
}

// "[N 0 R /Fit]": page `page` (1-based) shown in the given form.
void writeDestination(PdfDocument* doc, int page, int fit)
{
    writeFormatted(doc, "[%d 0 R %s] ", doc->pages[static_cast<size_t>(page)] + doc->numberBase, destinationForm(fit));
}

// Creates the table with its root on the first bookmark.
bool createOutlineTable(PdfDocument* doc)
{
    if (!doc->outlines.ensure(doc, 0, kInitialOutlineCapacity, OutlineEntry{}, "outlines")) {
        reportError(doc, kErrAllocation, "outline table could not be allocated");
        return false;
    }
    OutlineEntry& root = doc->outlines[0];
    root = OutlineEntry{};
    root.objectNumber = reserveObject(doc);
    root.count = 0;
    root.open = 1;
    if (doc->viewer.pageMode == kPageModeNotSet)
        doc->viewer.pageMode = kPageModeOutlines;
    return true;
}

bool integerIn(double value, double low, double high)
{
    return value >= low && value <= high && value == std::floor(value);
}

} // namespace

int addBookmark(PdfDocument* doc, const char* title, int parent, bool open)
{
    if (!isValid(doc))
        return 0;
    checkScope(doc, kScopePage, "addBookmark");
    if (parent < 0 || parent > doc->bookmarkCount) {
        reportError(doc, kErrArgument, "bookmark parent %d does not exist", parent);
        return 0;
    }
    if (!title || !*title) {
        reportError(doc, kErrArgument, "bookmark with an empty title");
        title = "";
    }
    std::string value = textValueFromUtf8(title);
    char* copy = nullptr;
    if (!value.empty()) {
        copy = static_cast<char*>(allocateZeroed(doc, value.size(), "bookmark title"));
        if (!copy) {
            reportError(doc, kErrAllocation, "bookmark title could not be stored");
            return 0;
        }
        std::memcpy(copy, value.data(), value.size());
    }
    int index = doc->bookmarkCount + 1;
    if ((doc->bookmarkCount == 0 && !createOutlineTable(doc)) ||
        !doc->outlines.ensure(doc, static_cast<size_t>(index), kInitialOutlineCapacity, OutlineEntry{}, "outlines")) {
        if (doc->bookmarkCount > 0)
            reportError(doc, kErrAllocation, "outline table could not grow");
        if (copy)
            releaseBlock(doc, copy);
        return 0;
    }

    OutlineEntry& entry = doc->outlines[static_cast<size_t>(index)];
    entry = OutlineEntry{};
    entry.title = copy;
    entry.titleLength = static_cast<uint32_t>(value.size());
    entry.page = doc->pageCount;
    entry.fit = kFitPage;
    entry.objectNumber = reserveObject(doc);
    entry.open = open ? 1 : 0;
    entry.parent = parent;

    OutlineEntry& up = doc->outlines[static_cast<size_t>(parent)];
    if (up.lastChild) {
        OutlineEntry& previous = doc->outlines[static_cast<size_t>(up.lastChild)];
        entry.previous = previous.objectNumber;
        previous.next = entry.objectNumber;
    } else {
        up.firstChild = index;
    }
    up.lastChild = index;

    // Each ancestor counts the new entry while the way up stays expanded; the root counts only
    // its direct children.
    for (int at = parent;;) {
        OutlineEntry& ancestor = doc->outlines[static_cast<size_t>(at)];
        ++ancestor.count;
        if (!ancestor.open || at == 0)
            break;
        at = ancestor.parent;
        if (at == 0)
            break;
    }
    doc->bookmarkCount = index;
    return index;
}

bool setViewerParameter(PdfDocument* doc, const char* key, double value)
{
    ViewerSettings& viewer = doc->viewer;
    int* target = nullptr;
    double low = 0;
    double high = 0;
    if (std::strcmp(key, "pagemode") == 0) {
        target = &viewer.pageMode;
        high = kPageModeFullScreen;
    } else if (std::strcmp(key, "openaction") == 0) {
        target = &viewer.openFit;
        high = kOpenFitWidth;
    } else if (std::strcmp(key, "openpage") == 0) {
        target = &viewer.openPage;
        low = 1;
        high = 2147483647.0;
    } else if (std::strcmp(key, "viewerprefs") != 0) {
        return false;
    }
    if (!(currentScope(doc) & (kScopeDocument | kScopePage))) {
        reportError(doc, kErrState, "parameter %s used in the wrong scope", key);
        return true;
    }
    if (!target) {
        if (!integerIn(value, 0, 4294967295.0)) {
            reportError(doc, kErrArgument, "viewer flags %g out of range", value);
            return true;
        }
        viewer.flags = static_cast<unsigned>(value) & kKnownViewerFlags;
        return true;
    }
    if (!integerIn(value, low, high)) {
        reportError(doc, kErrArgument, "%s %g out of range", key, value);
        return true;
    }
    *target = static_cast<int>(value);
    return true;
}

void writeCatalogViewerEntries(PdfDocument* doc)
{
    const ViewerSettings& viewer = doc->viewer;
    if (doc->pageCount > 0) {
        int page = viewer.openPage < 1 ? 1 : viewer.openPage > doc->pageCount ? doc->pageCount : viewer.openPage;
        if (viewer.openFit == kOpenFitPage || viewer.openFit == kOpenFitWidth || page >= 2) {
            writeString(doc, "/OpenAction ");
            writeDestination(doc, page, viewer.openFit == kOpenFitWidth ? kFitWidth : kFitPage);
        }
    }
    if (viewer.pageMode >= kPageModeUseNone && viewer.pageMode <= kPageModeFullScreen)
        writeFormatted(doc, "/PageMode %s ", kPageModeNames[viewer.pageMode]);
    if (viewer.flags & kKnownViewerFlags) {
        writeString(doc, "/ViewerPreferences <<");
        for (const auto& preference : kViewerPreferences)
            if (viewer.flags & preference.flag)
                writeFormatted(doc, "%s true ", preference.key);
        writeString(doc, ">> ");
    }
}

void writeOutlineReference(PdfDocument* doc)
{
    if (doc->bookmarkCount > 0)
        writeReference(doc, "/Outlines", doc->outlines[0].objectNumber);
}

void writeOutlines(PdfDocument* doc)
{
    if (doc->bookmarkCount <= 0)
        return;
    auto numberOf = [&](int index) { return doc->outlines[static_cast<size_t>(index)].objectNumber; };

    const OutlineEntry& root = doc->outlines[0];
    beginObject(doc, root.objectNumber);
    writeString(doc, " <</Type /Outlines ");
    if (root.count != 0)
        writeFormatted(doc, "/Count %d ", root.count);
    writeReference(doc, "/First", numberOf(root.firstChild));
    writeReference(doc, "/Last", numberOf(root.lastChild));
    writeString(doc, ">> endobj\r");

    for (int i = 1; i <= doc->bookmarkCount; ++i) {
        const OutlineEntry& entry = doc->outlines[static_cast<size_t>(i)];
        beginObject(doc, entry.objectNumber);
        writeString(doc, " <<");
        writeReference(doc, "/Parent", numberOf(entry.parent));
        if (entry.page >= 1 && entry.page <= doc->pageCount) {
            writeString(doc, "/Dest ");
            writeDestination(doc, entry.page, entry.fit);
        }
        writeString(doc, "/Title ");
        std::string title = encryptedCopy(doc, entry.objectNumber + doc->numberBase, entry.title, entry.titleLength);
        writeLiteralString(doc, title.data(), title.size());
        writeChar(doc, ' ');
        if (entry.previous)
            writeReference(doc, "/Prev", entry.previous);
        if (entry.next)
            writeReference(doc, "/Next", entry.next);
        if (entry.firstChild) {
            writeReference(doc, "/First", numberOf(entry.firstChild));
            writeReference(doc, "/Last", numberOf(entry.lastChild));
        }
        if (entry.count != 0)
            writeFormatted(doc, "/Count %d ", entry.open ? entry.count : -entry.count);
        writeString(doc, ">> endobj\r");
    }
}

void releaseNavigation(PdfDocument* doc)
{
    for (int i = 1; i <= doc->bookmarkCount; ++i) {
        OutlineEntry& entry = doc->outlines[static_cast<size_t>(i)];
        if (entry.title)
            releaseBlock(doc, entry.title);
        entry.title = nullptr;
    }
    doc->outlines.release(doc);
    doc->bookmarkCount = 0;
    doc->viewer = ViewerSettings{};
    doc->info = DocumentInfo{};
}

} // namespace folvane::pdf
