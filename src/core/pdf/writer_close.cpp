// The closing sequence of a new file: remaining document-level objects, the cross-reference
// table with its 20-byte entries, the trailer with the file identifier, and "%%EOF".
#include "pdf/document.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <ctime>
#include <unistd.h>

#include "pdf/outline.h"
#include "reproducible.h"
#include "pdf/security.h"
#include "tiff_file.h"
#include "writeback.h"
#include "writer_internal.h"

namespace folvane::pdf {

namespace {

void writeCatalog(PdfDocument* doc, int pageTreeRoot)
{
    if (doc->catalogNumber == 0)
        doc->catalogNumber = reserveObject(doc);
    beginObject(doc, doc->catalogNumber);
    writeString(doc, " <</Type /Catalog ");
    if (doc->contentVersionCode > doc->headerVersionCode)
        writeFormatted(doc, "/Version /%d.%d ", doc->contentVersionCode / 10, doc->contentVersionCode % 10);
    writeCatalogViewerEntries(doc);
    writeSecurityExtensions(doc);
    writeReference(doc, "/Pages", pageTreeRoot);
    writeOutlineReference(doc);
    writeString(doc, ">> endobj\r");
}

} // namespace

// Every reserved number must be present, so an unwritten one becomes a null object.
void writePlaceholders(PdfDocument* doc)
{
    for (int n = 1; n <= doc->objectCount; ++n) {
        if (doc->offsets[static_cast<size_t>(n)] != -1)
            continue;
        reportError(doc, kErrLimit, "object %d was reserved but never written", n);
        beginObject(doc, n);
        writeString(doc, "null endobj\r");
    }
}

namespace {

void writeCrossReference(PdfDocument* doc)
{
    writeFormatted(doc, "xref\r0 %d\r", doc->objectCount + 1);
    writeString(doc, "0000000000 65535 f\r\r");
    for (int n = 1; n <= doc->objectCount; ++n)
        writeFormatted(doc, "%010ld 00000 n\r\r", static_cast<long>(doc->offsets[static_cast<size_t>(n)]));
}

} // namespace

std::array<uint8_t, 16> documentDigest(PdfDocument* doc, int64_t xrefOffset)
{
    Md5 md5 = doc->digest;
    uint8_t offset[4];
    for (int i = 0; i < 4; ++i)
        offset[i] = static_cast<uint8_t>(static_cast<uint64_t>(xrefOffset) >> (8 * i));
    md5.update(offset, sizeof offset);

    if (sourceDateEpoch() && !doc->security.encrypted) {
        // Reproducible: the identifier follows from the document's structure alone (its
        // information values, every object's place and the page count).
        for (int n = 1; n <= doc->objectCount; ++n) {
            int64_t at = doc->offsets[static_cast<size_t>(n)];
            md5.update(&at, sizeof at);
        }
        md5.update(&doc->pageCount, sizeof doc->pageCount);
        return md5.digestCopy();
    }

    // A snapshot of this writer's state, so that two runs never share an identifier.
    struct {
        int objectCount;
        int pageCount;
        pid_t pid;
        const void* record;
        timespec now;
    } snapshot{doc->objectCount, doc->pageCount, getpid(), doc, {}};
    clock_gettime(CLOCK_REALTIME, &snapshot.now);
    md5.update(&snapshot, sizeof snapshot);
    if (doc->outputPath != "-")
        md5.update(doc->outputPath.data(), doc->outputPath.size());
    return md5.digestCopy();
}

namespace {

void writeTrailer(PdfDocument* doc, int64_t xrefOffset)
{
    writeFormatted(doc, "trailer\r <</Size %d ", doc->objectCount + 1);
    writeReference(doc, "/Root", doc->catalogNumber);
    if (doc->infoNumber)
        writeReference(doc, "/Info", doc->infoNumber);
    std::array<uint8_t, 16> id;
    if (doc->security.encrypted) {
        // The identifier that entered the file key, so readers derive the same key.
        writeReference(doc, "/Encrypt", doc->security.dictionaryNumber);
        std::copy(std::begin(doc->fileId), std::end(doc->fileId), id.begin());
    } else {
        id = documentDigest(doc, xrefOffset);
    }
    writeString(doc, "/ID [");
    writeHexBytes(doc, id.data(), id.size());
    writeHexBytes(doc, id.data(), id.size());
    writeString(doc, "] >> ");
    writeFormatted(doc, "\rstartxref\r%ld\r%%%%EOF\r\n", static_cast<long>(xrefOffset));
}

void closeSink(PdfDocument* doc)
{
    flushOutput(doc);
    if (!doc->sink)
        return;
    bool failed = std::fflush(doc->sink) != 0;
    if (!doc->sinkIsStdout) {
        // A file reported complete is on disk: callers delete the sources of a written PDF. A pipe
        // or a device cannot be synced and needs no sync.
        if (doc->writeback)
            doc->writeback->finish();
        if (!failed && ::fsync(fileno(doc->sink)) != 0 && errno != EINVAL && errno != EROFS)
            failed = true;
        failed = std::fclose(doc->sink) != 0 || failed;
    }
    doc->sink = nullptr;
    if (failed && !doc->writeFailed) {
        doc->writeFailed = true;
        reportError(doc, kErrWrite, "could not finish writing %s", doc->outputPath.c_str());
    }
}

void releaseTables(PdfDocument* doc)
{
    doc->offsets.release(doc);
    doc->pages.release(doc);
    doc->leaves.release(doc);
    doc->contents.release(doc);
    releaseNavigation(doc);
    releaseFonts(doc);
    releaseImages(doc);
    // Documents without a sink keep their bytes in the buffer until freed or reopened.
    if (!doc->outputPath.empty())
        releaseOutputBuffer(doc);
}

} // namespace

int closePdfDocument(PdfDocument* doc)
{
    if (!isValid(doc))
        return 0;
    if (currentScope(doc) == kScopeObject) {
        reportError(doc, kErrState, "closePdfDocument without an open output");
        return 0;
    }
    endOpenPage(doc);
    doc->keptTiff.reset(); // no source stays open once the document is complete
    if (doc->pageCount == 0)
        reportError(doc, kErrState, "document has no pages");

    if (doc->writeMode == 1) {
        closeAppend(doc);
        closeSink(doc);
        releaseTables(doc);
        resetScopes(doc, false);
        return doc->writeFailed ? 0 : 1;
    }

    writeInfoDictionary(doc);
    writeFontObjects(doc);
    // Colour-space objects would follow the fonts; nothing in this writer creates one.
    int root = writePageTree(doc);
    writeCatalog(doc, root);
    writeOutlines(doc);
    writePlaceholders(doc);
    if (doc->security.encrypted)
        writeEncryptionDictionary(doc);

    writeChar(doc, '\r');
    int64_t xrefOffset = currentOffset(doc);
    writeCrossReference(doc);
    writeTrailer(doc, xrefOffset);

    closeSink(doc);
    releaseTables(doc);
    resetScopes(doc, false);
    return doc->writeFailed ? 0 : 1;
}

} // namespace folvane::pdf
