// Pages: opening and ending pages, the page object and its resources object, and the page tree
// built at close from leaves of ten pages.
#include "pdf/document.h"

#include "writer_internal.h"

namespace folvane::pdf {

namespace {

const char* const kBoxKeys[4] = {"/CropBox", "/BleedBox", "/TrimBox", "/ArtBox"};

void resetPageGraphics(PdfDocument* doc)
{
    doc->graphicsDepth = 0;
    doc->graphics[0] = GraphicsLevel{};
    doc->textObjectOpen = false;
    doc->textParamsWritten = false;
}

// Assigns the page that just ended to a leaf: ten pages per leaf, in order.
int assignLeaf(PdfDocument* doc)
{
    if (doc->leafCount == 0 || doc->leafFill == 10) {
        if (!doc->leaves.ensure(doc, static_cast<size_t>(doc->leafCount), 64, 0, "leaves")) {
            reportError(doc, kErrAllocation, "leaf list could not grow");
            return 0;
        }
        doc->leaves[static_cast<size_t>(doc->leafCount++)] = reserveObject(doc);
        doc->leafFill = 0;
    }
    ++doc->leafFill;
    return doc->leaves[static_cast<size_t>(doc->leafCount - 1)];
}

void writeResources(PdfDocument* doc, int number)
{
    beginObject(doc, number);
    writeString(doc, " <<");
    writeImageResources(doc);
    writeString(doc, "/ProcSet [/PDF ");
    if (doc->procSets & kProcImageB)
        writeString(doc, "/ImageB ");
    if (doc->procSets & kProcImageC)
        writeString(doc, "/ImageC ");
    if (doc->procSets & kProcImageI)
        writeString(doc, "/ImageI ");
    if (doc->procSets & kProcText)
        writeString(doc, "/Text ");
    writeString(doc, "] ");
    // Colour spaces and patterns would be listed here; nothing in this writer creates one.
    writeFontResources(doc);
    writeString(doc, ">> endobj\r");
}

// `parent` is the parent's number as written (numberBase included), 0 for none.
void writeNode(PdfDocument* doc, int number, int parent, int count, const int32_t* kids, int kidCount)
{
    beginObject(doc, number);
    writeFormatted(doc, " <</Type /Pages /Count %d ", count);
    if (parent)
        writeFormatted(doc, "/Parent %d 0 R ", parent);
    writeString(doc, "/Kids [");
    for (int i = 0; i < kidCount; ++i)
        writeFormatted(doc, "%d 0 R ", kids[i] + doc->numberBase);
    writeString(doc, "] >> endobj\r");
}

int buildTree(PdfDocument* doc, int parent, const int32_t* leaves, const int32_t* pages, int n)
{
    if (n <= 10) {
        writeNode(doc, leaves[0], parent, n, pages, n);
        return leaves[0];
    }
    int node = reserveObject(doc);
    int chunk = 10;
    while (chunk * 10 < n)
        chunk *= 10;
    int32_t kids[11];
    int kidCount = 0;
    int full = n / chunk;
    for (int k = 0; k < full; ++k)
        kids[kidCount++] = buildTree(doc, node + doc->numberBase, leaves + k * chunk / 10, pages + k * chunk, chunk);
    if (n % chunk)
        kids[kidCount++] =
            buildTree(doc, node + doc->numberBase, leaves + full * chunk / 10, pages + full * chunk, n % chunk);
    writeNode(doc, node, parent, n, kids, kidCount);
    return node;
}

} // namespace

void beginPage(PdfDocument* doc, double width, double height)
{
    if (!isValid(doc))
        return;
    // A page begun inside another would never be ended and so never reach the page tree.
    if (!checkScope(doc, kScopeDocument, "beginPage"))
        return;
    if (!(width > 0) || !(height > 0))
        reportError(doc, kErrArgument, "page size %gx%g is not positive", width, height);
    else if (width < 3 || width > 14400 || height < 3 || height > 14400)
        reportError(doc, kErrLimit, "page size %gx%g outside 3..14400", width, height);

    int index = doc->pageCount + 1;
    if (!doc->pages.ensure(doc, static_cast<size_t>(index), 512, -1, "pages")) {
        reportError(doc, kErrAllocation, "page list could not grow");
        return;
    }
    doc->pageCount = index;
    doc->pages[static_cast<size_t>(index)] = reserveObject(doc);

    doc->pageWidth = width;
    doc->pageHeight = height;
    doc->contentCount = 0;
    doc->procSets = 0;
    for (auto& box : doc->boxes)
        for (double& v : box)
            v = 0;
    resetPageGraphics(doc);
    pushScope(doc, kScopePage);
    beginContent(doc);
}

void endPage(PdfDocument* doc)
{
    if (!isValid(doc))
        return;
    checkScope(doc, kScopePage | kScopePath, "endPage");
    if (currentScope(doc) == kScopePath)
        popScope(doc); // an unfinished path is dropped with the page
    if (doc->graphicsDepth > 0)
        reportError(doc, kErrState, "page ended with %d unrestored saves", doc->graphicsDepth);
    endTextObject(doc); // before the reset below forgets that a text object is open
    resetPageGraphics(doc);
    endContent(doc);

    int leaf = assignLeaf(doc);
    int page = doc->pages[static_cast<size_t>(doc->pageCount)];
    beginObject(doc, page);
    writeString(doc, " <<");
    writeReference(doc, "/Parent", leaf);
    writeFormatted(doc, "/MediaBox [0 0 %f %f] ", doc->pageWidth, doc->pageHeight);
    for (int i = 0; i < 4; ++i) {
        const double* b = doc->boxes[i];
        if (b[0] == 0 && b[1] == 0 && b[2] == 0 && b[3] == 0)
            continue;
        if (!(b[2] > b[0] && b[3] > b[1]))
            reportError(doc, kErrArgument, "%s corners are not ordered", kBoxKeys[i] + 1);
        writeFormatted(doc, "%s [%f %f %f %f] ", kBoxKeys[i], b[0], b[1], b[2], b[3]);
    }
    // A page added to an existing file hangs under that file's page-tree root, which may carry
    // /Rotate or /CropBox for its children to inherit: the new page states its own.
    const bool appended = doc->writeMode == 1;
    const double* crop = doc->boxes[0];
    if (appended && crop[0] == 0 && crop[1] == 0 && crop[2] == 0 && crop[3] == 0)
        writeFormatted(doc, "/CropBox [0 0 %f %f] ", doc->pageWidth, doc->pageHeight);
    writeString(doc, "/Type /Page ");
    if (doc->rotation == 90 || doc->rotation == 180 || doc->rotation == 270)
        writeFormatted(doc, "/Rotate %d ", doc->rotation);
    else if (appended)
        writeString(doc, "/Rotate 0 ");
    if (doc->displayDuration > 0)
        writeFormatted(doc, "/Dur %f ", doc->displayDuration);
    writeString(doc, "/Contents [");
    for (int i = 0; i < doc->contentCount; ++i)
        writeFormatted(doc, "%d 0 R ", doc->contents[static_cast<size_t>(i)] + doc->numberBase);
    writeString(doc, "] ");
    int resources = reserveObject(doc);
    writeReference(doc, "/Resources", resources);
    writeString(doc, ">> endobj\r");
    writeResources(doc, resources);

    resetScopes(doc, true);
    if (doc->outputFlags & kFlushAfterPage)
        flushOutput(doc);
}

void setRotation(PdfDocument* doc, int degrees)
{
    if (isValid(doc))
        doc->rotation = degrees == 90 || degrees == 180 || degrees == 270 ? degrees : 0;
}

void endOpenPage(PdfDocument* doc)
{
    int scope = currentScope(doc);
    if (scope == kScopePage || scope == kScopePath) {
        reportError(doc, kErrState, "document closed with a page open");
        endPage(doc);
    }
}

int writePageTree(PdfDocument* doc, int writtenParent)
{
    if (doc->leafCount == 0) {
        // No pages: the root is an empty leaf.
        if (!doc->leaves.ensure(doc, 0, 64, 0, "leaves"))
            return 0;
        doc->leaves[0] = reserveObject(doc);
        doc->leafCount = 1;
        doc->leafFill = 0;
    }
    return buildTree(doc, writtenParent, &doc->leaves[0], &doc->pages[1], doc->pageCount);
}

} // namespace folvane::pdf
