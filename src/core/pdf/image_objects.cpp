// Image slots, the document's XObject table, writing image XObjects and drawing them. The
// importers describe an image in its slot; this file is the one place that turns a description
// into PDF objects, so filters, decode parameters and colour spaces are chosen here only.
#include "pdf/images.h"

#include <climits>
#include <cmath>
#include <cstring>
#include <sys/stat.h>

#include "image_import.h"
#include "writer_internal.h"

namespace folvane::pdf {

namespace {

constexpr size_t kInitialSlots = 128;
constexpr size_t kInitialXObjects = 128;
constexpr int kCcittDefaultColumns = 1728;

const char* const kFilterNames[] = {
    nullptr, "/LZWDecode", "/RunLengthDecode", "/CCITTFaxDecode", "/DCTDecode", "/FlateDecode",
};

bool validSlot(const PdfDocument* doc, int slot)
{
    return slot >= 0 && static_cast<size_t>(slot) < doc->imageSlots.capacity &&
           doc->imageSlots[static_cast<size_t>(slot)].inUse;
}

void resetSlot(PdfDocument* doc, ImageSlot& slot)
{
    if (slot.path)
        releaseBlock(doc, slot.path);
    slot = ImageSlot{};
}

// The lowest free slot; the table doubles when every slot is in use. -1 when it cannot grow.
int takeSlot(PdfDocument* doc)
{
    size_t count = doc->imageSlots.capacity;
    for (size_t i = 0; i < count; ++i)
        if (!doc->imageSlots[i].inUse)
            return static_cast<int>(i);
    if (!doc->imageSlots.ensure(doc, count, kInitialSlots, ImageSlot{}, "image slots")) {
        reportError(doc, kErrAllocation, "image slot table could not grow");
        return -1;
    }
    return static_cast<int>(count);
}

// A new live image entry with a freshly reserved object number; its index, or -1.
int addXObject(PdfDocument* doc)
{
    auto index = static_cast<size_t>(doc->xobjectCount);
    if (!doc->xobjects.ensure(doc, index, kInitialXObjects, XObjectEntry{}, "xobjects")) {
        reportError(doc, kErrAllocation, "XObject table could not grow");
        return -1;
    }
    XObjectEntry& entry = doc->xobjects[index];
    entry.number = reserveObject(doc);
    entry.flags = kXObjectLive;
    entry.kind = 1;
    ++doc->xobjectCount;
    return static_cast<int>(index);
}

void writeColorSpace(PdfDocument* doc, ImageSlot* slot, bool first)
{
    switch (slot->colorSpace) {
    case kImageIndexed:
        if (first)
            slot->paletteObject = reserveObject(doc);
        writeFormatted(doc, "/ColorSpace [/Indexed /DeviceRGB %d %d 0 R] ", slot->paletteCount - 1,
                       slot->paletteObject + doc->numberBase);
        break;
    case kImageRgb:
        writeString(doc, "/ColorSpace /DeviceRGB ");
        break;
    case kImageCmyk:
        writeString(doc, "/ColorSpace /DeviceCMYK ");
        break;
    default:
        writeString(doc, "/ColorSpace /DeviceGray ");
        break;
    }
}

// Decode parameters exist only for data copied as stored: the importer's own parameters, the
// predictor of LZW and Flate data, and the geometry of CCITT data.
void writeDecodeParams(PdfDocument* doc, const ImageSlot* slot, int rows)
{
    if (!slot->passthrough)
        return;
    bool predicted = (slot->filter == kFilterLzw || slot->filter == kFilterFlate) && slot->predictor != 1;
    bool ccitt = slot->filter == kFilterCcitt;
    if (!slot->decodeParams[0] && !predicted && !ccitt)
        return;
    writeString(doc, "/DecodeParms <<");
    writeString(doc, slot->decodeParams);
    if (predicted) {
        writeFormatted(doc, "/Predictor %d /Columns %d ", slot->predictor, static_cast<int>(slot->width));
        if (slot->bitsPerComponent != 8)
            writeFormatted(doc, "/BitsPerComponent %d ", slot->bitsPerComponent);
        if (slot->colorSpace == kImageRgb)
            writeString(doc, "/Colors 3 ");
        else if (slot->colorSpace == kImageCmyk)
            writeString(doc, "/Colors 4 ");
    }
    if (ccitt) {
        if (static_cast<int>(slot->width) != kCcittDefaultColumns)
            writeFormatted(doc, "/Columns %d ", static_cast<int>(slot->width));
        writeFormatted(doc, "/Rows %d ", rows);
    }
    writeString(doc, ">> ");
}

void writePalette(PdfDocument* doc, const ImageSlot* slot)
{
    beginObject(doc, slot->paletteObject);
    writeString(doc, " <<");
    bool compress = doc->compressionLevel != 0;
    if (compress)
        writeString(doc, "/Filter /FlateDecode ");
    int length = writeLengthReference(doc);
    beginStreamData(doc, slot->paletteObject, compress);
    writeBytes(doc, slot->palette, static_cast<size_t>(slot->paletteCount) * 3);
    endStreamData(doc, length);
}

// The soft mask: a gray image of the same size whose samples are the picture's opacity.
bool writeSoftMask(PdfDocument* doc, ImageSlot* slot)
{
    if (!slot->source->openMask())
        return false;
    beginObject(doc, slot->maskObject);
    writeFormatted(doc, " <</Type /XObject /Subtype /Image /Width %d /Height %d /BitsPerComponent %d ",
                   static_cast<int>(slot->width), static_cast<int>(slot->height), slot->maskBits);
    writeString(doc, "/ColorSpace /DeviceGray ");
    bool compress = doc->compressionLevel != 0;
    if (compress)
        writeString(doc, "/Filter /FlateDecode ");
    int length = writeLengthReference(doc);
    beginStreamData(doc, slot->maskObject, compress);
    const uint8_t* bytes = nullptr;
    while (size_t count = slot->source->nextChunk(&bytes))
        writeBytes(doc, bytes, count);
    endStreamData(doc, length);
    return true;
}

// Soft masks need PDF 1.4 and samples of 16 bits PDF 1.5.
void noteContentVersion(PdfDocument* doc, const ImageSlot* slot)
{
    int needed = slot->bitsPerComponent == 16 || slot->maskBits == 16 ? 15 : slot->maskBits ? 14 : 0;
    if (needed > doc->contentVersionCode)
        doc->contentVersionCode = needed;
}

void writeXObject(PdfDocument* doc, ImageSlot* slot, int number, int rows, bool first)
{
    beginObject(doc, number);
    writeFormatted(doc, " <</Type /XObject /Subtype /Image /Width %d /Height %d /BitsPerComponent %d ",
                   static_cast<int>(slot->width), rows, slot->bitsPerComponent);
    writeColorSpace(doc, slot, first);
    if (slot->maskBits) {
        if (first)
            slot->maskObject = reserveObject(doc);
        writeFormatted(doc, "/SMask %d 0 R ", slot->maskObject + doc->numberBase);
    }
    noteContentVersion(doc, slot);
    int length = writeLengthReference(doc);

    int filter = slot->filter;
    if (!slot->passthrough)
        filter = doc->compressionLevel != 0 ? kFilterFlate : kFilterNone;
    if (filter > kFilterNone && filter <= kFilterFlate)
        writeFormatted(doc, "/Filter %s ", kFilterNames[filter]);
    writeDecodeParams(doc, slot, rows);
    if (slot->invert) {
        writeString(doc, "/Decode [");
        for (int i = 0; i < slot->components; ++i)
            writeString(doc, "1 0 ");
        writeString(doc, "] ");
    }

    // Passthrough bytes go in as they are; decoded samples are deflated by the output buffer.
    beginStreamData(doc, number, !slot->passthrough && doc->compressionLevel != 0);
    const uint8_t* bytes = nullptr;
    while (size_t count = slot->source->nextChunk(&bytes))
        writeBytes(doc, bytes, count);
    endStreamData(doc, length);
}

} // namespace

int stripRows(const ImageSlot& slot, int part)
{
    auto height = static_cast<int>(slot.height);
    if (slot.stripCount <= 1 || slot.rowsPerStrip <= 0)
        return height;
    int above = part * slot.rowsPerStrip;
    int rows = height - above;
    return rows < slot.rowsPerStrip ? rows : slot.rowsPerStrip;
}

int64_t regularFileSize(const std::string& path)
{
    struct stat info;
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
        return -1;
    return static_cast<int64_t>(info.st_size);
}

uint8_t* growStripBuffer(PdfDocument* doc, size_t size)
{
    if (size == 0)
        size = 1;
    if (!limits::allocationAllowed(size)) {
        reportError(doc, kErrAllocation, "strip of %zu bytes refused", size);
        return nullptr;
    }
    if (!doc->stripBuffer.ensure(doc, size - 1, 65536, 0, "strip buffer")) {
        reportError(doc, kErrAllocation, "strip buffer could not grow to %zu bytes", size);
        return nullptr;
    }
    return doc->stripBuffer.data;
}

bool writeImageObjects(PdfDocument* doc, ImageSlot* slot)
{
    // Objects cannot be written inside a content stream: end it and begin a fresh one afterwards.
    bool inPage = (currentScope(doc) & (kScopePage | kScopePath)) != 0;
    endContent(doc);

    bool complete = true;
    for (int part = 0; part < slot->stripCount; ++part) {
        if (!slot->source->openPart(part)) {
            complete = false;
            break;
        }
        int index = addXObject(doc);
        if (index < 0) {
            complete = false;
            break;
        }
        if (part == 0)
            slot->xobjectIndex = index;
        writeXObject(doc, slot, doc->xobjects[static_cast<size_t>(index)].number, stripRows(*slot, part),
                     part == 0);
        if (part == 0 && slot->colorSpace == kImageIndexed)
            writePalette(doc, slot);
        if (part == 0 && slot->maskBits && !writeSoftMask(doc, slot)) {
            complete = false;
            break;
        }
        if (doc->outputFlags & kFlushAfterImage)
            flushOutput(doc);
    }

    if (inPage)
        beginContent(doc);
    return complete;
}

namespace {

// Takes a free slot and fills it through `import` (which returns 1 or -1); the slot index, or -1.
template <typename Import>
int importIntoSlot(PdfDocument* doc, const std::string& path, Import import)
{
    int index = takeSlot(doc);
    if (index < 0)
        return -1;
    ImageSlot& slot = doc->imageSlots[static_cast<size_t>(index)];
    slot = ImageSlot{};

    int result = import(&slot);
    slot.source = nullptr;
    if (result < 0) {
        resetSlot(doc, slot);
        return -1;
    }
    slot.inUse = true;
    slot.path = static_cast<char*>(allocateZeroed(doc, path.size() + 1, "image path"));
    if (slot.path)
        std::memcpy(slot.path, path.c_str(), path.size() + 1);
    else
        reportError(doc, kErrAllocation, "image path could not be copied");
    return index;
}

// Whether images may be imported now; the calling function's name goes into the scope report.
bool importAllowed(PdfDocument* doc, const char* caller)
{
    if (!isValid(doc))
        return false;
    checkScope(doc, kScopeDocument | kScopePage, caller);
    return currentScope(doc) != kScopeObject; // no output is open to take the image objects
}

} // namespace

int openImageFile(PdfDocument* doc, int kind, const std::string& path, const std::string& option,
                  int optionNumber)
{
    if (!importAllowed(doc, "openImageFile"))
        return -1;
    if (kind != kImageTiff && kind != kImageJpeg && kind != kImagePng) {
        reportError(doc, kErrArgument, "unknown image file kind %d", kind);
        return -1;
    }
    return importIntoSlot(doc, path, [&](ImageSlot* slot) {
        return kind == kImageTiff  ? importTiff(doc, slot, path, option, optionNumber)
               : kind == kImagePng ? importPng(doc, slot, path, option)
                                   : importJpeg(doc, slot, path, option);
    });
}

void placeImage(PdfDocument* doc, int slotIndex, double x, double y, double scale)
{
    if (!isValid(doc))
        return;
    if (!validSlot(doc, slotIndex)) {
        reportError(doc, kErrArgument, "placeImage: slot %d is not in use", slotIndex);
        return;
    }
    if (std::fabs(scale) < 0.000015) {
        reportError(doc, kErrArgument, "placeImage: scale %g is too small", scale);
        return;
    }
    if (currentScope(doc) != kScopePage) {
        // Outside a page there is no content to draw into, and inside a path a save is invalid.
        reportError(doc, kErrState, "placeImage called outside a page");
        return;
    }
    const ImageSlot& slot = doc->imageSlots[static_cast<size_t>(slotIndex)];

    switch (slot.colorSpace) {
    case kImageGray:
        doc->procSets |= kProcImageB;
        break;
    case kImageIndexed:
        doc->procSets |= kProcImageC | kProcImageI;
        break;
    default:
        doc->procSets |= kProcImageC;
        break;
    }
    endTextObject(doc);
    beginContent(doc);

    // One XObject per strip, strip 1 at the top; together they cover the image's rectangle.
    double width = slot.width;
    double height = slot.height;
    int above = 0;
    for (int part = 0; part < slot.stripCount; ++part) {
        int rows = stripRows(slot, part);
        int depth = doc->graphicsDepth;
        saveState(doc);
        if (doc->graphicsDepth == depth)
            return; // too deeply nested: drawing without a save would leak the matrix
        if (slot.stripCount == 1)
            concatMatrix(doc, scale * width, 0, 0, scale * height, x, y);
        else
            concatMatrix(doc, scale * width, 0, 0, scale * rows, x, y + scale * (height - above - rows));
        int index = slot.xobjectIndex + part;
        writeFormatted(doc, "/I%s%d Do ", doc->resourceNamePrefix, index);
        doc->xobjects[static_cast<size_t>(index)].flags |= kXObjectUsedOnPage;
        restoreState(doc);
        above += rows;
    }
}

void closeImage(PdfDocument* doc, int slotIndex)
{
    if (!isValid(doc))
        return;
    if (!validSlot(doc, slotIndex)) {
        reportError(doc, kErrArgument, "closeImage: slot %d is not in use", slotIndex);
        return;
    }
    resetSlot(doc, doc->imageSlots[static_cast<size_t>(slotIndex)]);
}

const ImageSlot* imageSlot(const PdfDocument* doc, int slotIndex)
{
    if (!isValid(doc) || !validSlot(doc, slotIndex))
        return nullptr;
    return &doc->imageSlots[static_cast<size_t>(slotIndex)];
}

namespace {

bool readHeader(PdfDocument* doc, const std::string& path, int kind, int page, ImageHeader* header)
{
    if (kind == kImageTiff)
        return readTiffHeader(doc, path, page >= 2 ? page - 1 : 0, header);
    if (kind == kImageJpeg)
        return readJpegHeader(doc, path, header);
    if (kind == kImagePng)
        return readPngHeader(doc, path, header);
    reportError(doc, kErrArgument, "unknown image file kind %d", kind);
    return false;
}

} // namespace

int getImageSize(PdfDocument* doc, const std::string& path, int kind, int page, int* width, int* height)
{
    ImageHeader header;
    if (!isValid(doc) || !width || !height || !readHeader(doc, path, kind, page, &header))
        return -1;
    *width = header.width;
    *height = header.height;
    return 1;
}

int getImageResolution(PdfDocument* doc, const std::string& path, int kind, int page, int* horizontal,
                       int* vertical)
{
    ImageHeader header;
    if (!isValid(doc) || !horizontal || !vertical || !readHeader(doc, path, kind, page, &header))
        return -1;
    auto truncate = [](double v) {
        return v >= INT_MAX ? INT_MAX : v <= INT_MIN ? INT_MIN : static_cast<int>(v);
    };
    *horizontal = truncate(header.resolutionX);
    *vertical = truncate(header.resolutionY);
    return 1;
}

void writeImageResources(PdfDocument* doc)
{
    bool any = false;
    for (int i = 0; i < doc->xobjectCount; ++i) {
        XObjectEntry& entry = doc->xobjects[static_cast<size_t>(i)];
        if (!(entry.flags & kXObjectUsedOnPage))
            continue;
        if (!any)
            writeString(doc, "/XObject <<");
        any = true;
        writeFormatted(doc, "/I%s%d %ld 0 R ", doc->resourceNamePrefix, i,
                       static_cast<long>(entry.number) + doc->numberBase);
        entry.flags &= ~static_cast<uint32_t>(kXObjectUsedOnPage);
    }
    if (any)
        writeString(doc, ">> ");
}

void releaseImages(PdfDocument* doc)
{
    for (size_t i = 0; i < doc->imageSlots.capacity; ++i)
        resetSlot(doc, doc->imageSlots[i]);
    doc->imageSlots.release(doc);
    doc->xobjects.release(doc);
    doc->xobjectCount = 0;
    doc->stripBuffer.release(doc);
}

} // namespace folvane::pdf
