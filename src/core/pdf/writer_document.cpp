// The document record: creation, hooks, scopes, error reports, opening and releasing, and the
// keyed numeric parameters of the writer core.
#include "pdf/document.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "pdf/outline.h"
#include "pdf/security.h"
#include "tiff_file.h"
#include "writeback.h"
#include "writer_internal.h"

namespace folvane::pdf {

namespace {

const uint8_t kHeaderTail[6] = {'\r', '%', 0xE2, 0xE3, 0xCF, '\r'};

void* heapAllocate(PdfDocument*, size_t size, const char*)
{
    return std::calloc(1, size ? size : 1);
}

void* heapReallocate(PdfDocument*, void* block, size_t size, const char*)
{
    return std::realloc(block, size ? size : 1);
}

void heapRelease(PdfDocument*, void* block)
{
    std::free(block);
}

void ignoreError(PdfDocument*, int, const char*) {}

PdfHooks completeHooks(const PdfHooks& given)
{
    PdfHooks hooks = given;
    if (!hooks.error)
        hooks.error = ignoreError;
    if (!hooks.allocate || !hooks.reallocate || !hooks.release) {
        // The three memory hooks only make sense together.
        hooks.allocate = heapAllocate;
        hooks.reallocate = heapReallocate;
        hooks.release = heapRelease;
    }
    return hooks;
}

} // namespace

void* allocateZeroed(PdfDocument* doc, size_t size, const char* tag)
{
    return doc->hooks.allocate(doc, size, tag);
}

void* reallocateBlock(PdfDocument* doc, void* block, size_t size, const char* tag)
{
    return doc->hooks.reallocate(doc, block, size, tag);
}

void releaseBlock(PdfDocument* doc, void* block)
{
    doc->hooks.release(doc, block);
}

void reportError(PdfDocument* doc, int code, const char* format, ...)
{
    char message[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(message, sizeof message, format, args);
    va_end(args);
    doc->hooks.error(doc, code, message);
}

bool checkScope(PdfDocument* doc, int allowed, const char* operation)
{
    if (currentScope(doc) & allowed)
        return true;
    reportError(doc, kErrState, "%s called in the wrong scope", operation);
    return false;
}

bool pushScope(PdfDocument* doc, int scope)
{
    if (doc->scopeDepth >= kMaxScopeDepth) {
        reportError(doc, kErrArgument, "scopes nested too deeply");
        return false;
    }
    doc->scopes[doc->scopeDepth++] = scope;
    return true;
}

void popScope(PdfDocument* doc)
{
    if (doc->scopeDepth > 1)
        --doc->scopeDepth;
}

void resetScopes(PdfDocument* doc, bool documentOpen)
{
    doc->scopes[0] = kScopeObject;
    doc->scopeDepth = 1;
    if (documentOpen)
        doc->scopes[doc->scopeDepth++] = kScopeDocument;
}

PdfDocument* newPdfDocument(const PdfHooks& hooks, intptr_t userValue)
{
    PdfHooks complete = completeHooks(hooks);
    void* memory = complete.allocate(nullptr, sizeof(PdfDocument), "PdfDocument");
    if (!memory) {
        PdfDocument scratch;
        scratch.hooks = complete;
        scratch.userValue = userValue;
        complete.error(&scratch, kErrAllocation, "the document record could not be allocated");
        return nullptr;
    }
    auto* doc = new (memory) PdfDocument;
    doc->hooks = complete;
    doc->userValue = userValue;
    doc->tag = kValidityTag;
    return doc;
}

void freePdfDocument(PdfDocument* doc)
{
    if (!isValid(doc))
        return;
    if (currentScope(doc) != kScopeObject)
        closePdfDocument(doc);
    // A record whose output never opened (a refused append, say) still holds the tables the
    // reset allocated; everything goes with the record.
    doc->offsets.release(doc);
    doc->pages.release(doc);
    doc->leaves.release(doc);
    doc->contents.release(doc);
    releaseNavigation(doc);
    releaseImages(doc);
    releaseFonts(doc);
    releaseOutputBuffer(doc);
    doc->tag = 0;
    auto release = doc->hooks.release;
    doc->~PdfDocument();
    release(nullptr, doc);
}

bool resetForOutput(PdfDocument* doc, int mode)
{
    doc->writeMode = mode;
    doc->offsets.release(doc);
    doc->pages.release(doc);
    doc->leaves.release(doc);
    doc->contents.release(doc);
    if (!doc->offsets.ensure(doc, 0, 2048, -1, "offsets") || !doc->pages.ensure(doc, 0, 512, -1, "pages") ||
        !doc->leaves.ensure(doc, 0, 64, 0, "leaves")) {
        reportError(doc, kErrAllocation, "writer tables could not be allocated");
        return false;
    }
    doc->objectCount = 0;
    doc->numberBase = 0;
    doc->pageCount = 0;
    doc->leafCount = 0;
    doc->leafFill = 0;
    doc->catalogNumber = 0;
    doc->infoNumber = 0;
    doc->contentVersionCode = 0;
    doc->contentCount = 0;
    doc->contentOpen = false;
    doc->textObjectOpen = false;
    doc->graphicsDepth = 0;
    doc->digest.reset();
    std::memset(doc->fileId, 0, sizeof doc->fileId);
    resetSecurity(doc);
    releaseFonts(doc); // font object numbers belong to the previous output
    releaseImages(doc);
    doc->writeFailed = false;
    doc->writeback.reset();
    doc->sink = nullptr;
    doc->sinkIsStdout = false;
    releaseOutputBuffer(doc);
    doc->out.flushed = 0;
    doc->existing = ExistingPdf{};
    doc->appendOriginalSize = 0;
    doc->appendInfoIsExisting = false;
    return true;
}

int openOutput(PdfDocument* doc, const std::string& path)
{
    if (!isValid(doc))
        return -1;
    checkScope(doc, kScopeObject, "openOutput");

    if (!resetForOutput(doc, 0))
        return -1;

    if (path == "-") {
        // stdio on Linux never translates bytes, so standard output is already binary.
        doc->sink = stdout;
        doc->sinkIsStdout = true;
    } else if (!path.empty()) {
        doc->sink = std::fopen(path.c_str(), "wb");
        if (!doc->sink) {
            resetScopes(doc, false);
            return -1;
        }
    }
    doc->outputPath = path;

    char header[10];
    doc->headerVersionCode = doc->versionCode == 15 ? 15 : doc->versionCode == 13 ? 13 : 14;
    std::snprintf(header, sizeof header, "%%PDF-1.%d ", doc->headerVersionCode % 10);
    writeBytes(doc, header, 9);
    writeBytes(doc, kHeaderTail, sizeof kHeaderTail);
    resetScopes(doc, true);
    return 1;
}

const uint8_t* bufferedBytes(const PdfDocument* doc, size_t* length)
{
    if (!isValid(doc) || !doc->out.start) {
        *length = 0;
        return nullptr;
    }
    *length = static_cast<size_t>(doc->out.cursor - doc->out.start);
    return doc->out.start;
}

// Keyed numeric parameters -----------------------------------------------------------------------

namespace {

const char* const kBoxNames[4] = {"cropbox", "bleedbox", "trimbox", "artbox"};
const char* const kCornerNames[4] = {"llx", "lly", "urx", "ury"};

bool setBoxCoordinate(PdfDocument* doc, const char* key, double value)
{
    for (int box = 0; box < 4; ++box) {
        size_t n = std::strlen(kBoxNames[box]);
        if (std::strncmp(key, kBoxNames[box], n) != 0 || key[n] != '.')
            continue;
        for (int corner = 0; corner < 4; ++corner) {
            if (std::strcmp(key + n + 1, kCornerNames[corner]) != 0)
                continue;
            checkScope(doc, kScopePage, key);
            if (!(value > 0)) {
                reportError(doc, kErrArgument, "%s must be positive", key);
                return true;
            }
            doc->boxes[box][corner] = value;
            return true;
        }
    }
    return false;
}

} // namespace

void setNumericParameter(PdfDocument* doc, const char* key, double value)
{
    if (!isValid(doc) || !key)
        return;
    int scope = currentScope(doc);
    auto inScopes = [&](int allowed) {
        if (scope & allowed)
            return true;
        reportError(doc, kErrState, "parameter %s used in the wrong scope", key);
        return false;
    };

    if (std::strcmp(key, "compression") == 0) {
        if (!inScopes(kScopeDocument | kScopePage))
            return;
        if (!(value >= 0 && value <= 9)) {
            reportError(doc, kErrArgument, "compression level %g out of range", value);
            return;
        }
        doc->compressionLevel = static_cast<int>(value);
        if (scope == kScopePage) {
            // The open stream keeps the level it was started with; a new stream takes the new one.
            endContent(doc);
            beginContent(doc);
        }
    } else if (std::strcmp(key, "precision") == 0) {
        if (!inScopes(kScopeObject | kScopeDocument | kScopePage))
            return;
        if (!(value >= 3 && value <= 6)) {
            reportError(doc, kErrArgument, "number precision %g out of range", value);
            return;
        }
        doc->numberPrecision = static_cast<int>(value);
    } else if (std::strcmp(key, "pagewidth") == 0 || std::strcmp(key, "pageheight") == 0) {
        if (!inScopes(kScopePage))
            return;
        if (!(value > 0)) {
            reportError(doc, kErrArgument, "page size must be positive");
            return;
        }
        if (value < 3 || value > 14400)
            reportError(doc, kErrLimit, "page size %g outside 3..14400", value);
        (key[4] == 'w' ? doc->pageWidth : doc->pageHeight) = value;
    } else if (std::strcmp(key, "duration") == 0) {
        if (!inScopes(kScopeDocument | kScopePage))
            return;
        doc->displayDuration = value > 0 ? value : 0;
    } else if (!setBoxCoordinate(doc, key, value) && !setViewerParameter(doc, key, value) &&
               !setTextParameter(doc, key, value)) {
        reportError(doc, kErrArgument, "unknown parameter %s", key);
    }
}

} // namespace folvane::pdf
