// Object numbering, object headers and stream framing. Objects are written strictly one after
// another, so every offset is known when its object starts; a stream's length is written as an
// indirect object right after the stream.
#include "pdf/document.h"

#include "pdf/security.h"
#include "writer_internal.h"

namespace folvane::pdf {

int reserveObject(PdfDocument* doc)
{
    if (!isValid(doc))
        return 0;
    int number = doc->objectCount + 1;
    if (!doc->offsets.ensure(doc, static_cast<size_t>(number), 2048, -1, "offsets")) {
        reportError(doc, kErrAllocation, "object table could not grow");
        return 0;
    }
    doc->objectCount = number;
    doc->offsets[static_cast<size_t>(number)] = -1;
    return number;
}

int beginObject(PdfDocument* doc, int number)
{
    if (!isValid(doc))
        return 0;
    if (number == 0)
        number = reserveObject(doc);
    if (number <= 0 || number > doc->objectCount) {
        reportError(doc, kErrArgument, "object %d was never reserved", number);
        return 0;
    }
    doc->offsets[static_cast<size_t>(number)] = currentOffset(doc);
    writeFormatted(doc, "%d 0 obj\r", number + doc->numberBase);
    return number;
}

void writeReference(PdfDocument* doc, const char* key, int number)
{
    writeFormatted(doc, "%s %d 0 R ", key, number + doc->numberBase);
}

int writeLengthReference(PdfDocument* doc)
{
    if (!isValid(doc))
        return 0;
    int length = reserveObject(doc);
    writeReference(doc, "/Length", length);
    return length;
}

void beginStreamData(PdfDocument* doc, int number, bool compress)
{
    if (!isValid(doc))
        return;
    // CR LF after the keyword: a carriage return alone there is not valid PDF.
    writeString(doc, ">>  stream\r\n");
    doc->out.streamObject = number + doc->numberBase;
    doc->out.streamGeneration = 0;
    // From here to endStreamData every byte is stream data (an AES IV included): encrypted ones
    // pass the stream cipher.
    doc->streamStart = currentOffset(doc);
    beginStreamEncryption(doc);
    if (compress)
        startCompression(doc);
}

void endStreamData(PdfDocument* doc, int lengthNumber)
{
    if (!isValid(doc))
        return;
    finishCompression(doc);
    endStreamEncryption(doc);
    int64_t length = currentOffset(doc) - doc->streamStart;
    writeString(doc, "\rendstream endobj\r");
    beginObject(doc, lengthNumber);
    writeFormatted(doc, "%ld endobj\r", static_cast<long>(length));
}

void beginContent(PdfDocument* doc)
{
    if (!isValid(doc) || doc->contentOpen)
        return;
    int number = reserveObject(doc);
    if (!doc->contents.ensure(doc, static_cast<size_t>(doc->contentCount), 8, 0, "contents")) {
        reportError(doc, kErrAllocation, "content list could not grow");
        return;
    }
    doc->contents[static_cast<size_t>(doc->contentCount++)] = number;
    doc->contentOpen = true;
    beginObject(doc, number);
    writeString(doc, " <<");
    doc->contentLengthNumber = writeLengthReference(doc);
    if (doc->compressionLevel != 0)
        writeString(doc, "/Filter /FlateDecode ");
    beginStreamData(doc, number, true);
}

void endContent(PdfDocument* doc)
{
    if (!isValid(doc) || !doc->contentOpen)
        return;
    endTextObject(doc);
    doc->contentOpen = false;
    endStreamData(doc, doc->contentLengthNumber);
}

} // namespace folvane::pdf
