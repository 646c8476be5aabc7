#pragma once
// The PDF writer's document record and its core operations: output sink and buffer, object
// numbering, value writers, streams, pages, graphics state and the closing sequence.
//
// Contract for every operation taking a PdfDocument*: a null pointer or a record whose validity
// tag is not kValidityTag is ignored and the operation returns its failure value (0, -1 or
// nothing). Problems are never thrown: they go to the document's error hook with one of the
// ErrorCode values and the writer carries on as documented at each operation.
// A document is used by one thread at a time; distinct documents share only constant tables.

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <cstdio>
#include <string>

#include <zlib.h>

#include "pdf/fonts.h"
#include "pdf/hook_array.h"
#include "pdf/md5.h"
#include "pdf/navigation_state.h"
#include "pdf/reader.h"
#include "pdf/security_state.h"
#include "pdf/text_state.h"

namespace folvane::pdf {

constexpr uint32_t kValidityTag = 0x126960A1;

enum ErrorCode : int {
    kErrAllocation = 1,  // the record or one of its tables could not be allocated
    kErrWrite = 2,       // the sink accepted fewer bytes than handed to it
    kErrState = 3,       // no pages at close, unbalanced save/restore, call outside its scope
    kErrArgument = 9,    // invalid argument or value out of range
    kErrCompression = 10,// zlib reported an error
    kErrLimit = 11,      // page size outside 3..14400, reserved object never written
};

// Scopes are bits so that an operation can name the set it is allowed in.
enum Scope : int {
    kScopeObject = 1,
    kScopeDocument = 2,
    kScopePage = 4,
    kScopePath = 8,
};

// Bits of PdfDocument::outputFlags.
enum OutputFlag : unsigned {
    kFlushAfterPage = 1u << 0,
    kFlushAfterImage = 1u << 1,
    kFlushWhenFull = 1u << 4,
    kFlushBeyond5MB = 1u << 5,
};

// Procedure-set flags collected while a page is drawn.
enum ProcSet : unsigned {
    kProcImageB = 1,
    kProcImageC = 2,
    kProcImageI = 4,
    kProcText = 8,
};

struct PdfDocument;
class Writeback;     // writeback.h
class TiffFile;      // tiff_file.h
struct ImageSlot;    // images.h
struct XObjectEntry; // images.h

// Allocation and error hooks. Any of them may be left null, which selects the default:
// the C heap (allocations zero-filled) and an error hook that ignores every report.
struct PdfHooks {
    void (*error)(PdfDocument* doc, int code, const char* message) = nullptr;
    void* (*allocate)(PdfDocument* doc, size_t size, const char* tag) = nullptr; // must zero-fill
    void* (*reallocate)(PdfDocument* doc, void* block, size_t size, const char* tag) = nullptr;
    void (*release)(PdfDocument* doc, void* block) = nullptr;
};

struct OutputBuffer {
    uint8_t* start = nullptr;
    uint8_t* cursor = nullptr;
    uint8_t* end = nullptr;
    int64_t flushed = 0;      // bytes already handed to the sink (append: starts at the file size)
    bool compressing = false; // a deflate stream is writing into the block
    z_stream zs{};
    int streamObject = 0;     // object number (with numberBase) of the stream being written
    int streamGeneration = 0;
};

struct GraphicsLevel {
    double ctm[6] = {1, 0, 0, 1, 0, 0};
    double lineWidth = 1;
    int lineCap = 0;
    int lineJoin = 0;
    double miterLimit = 10;
    double flatness = -1; // -1: not written on this page yet
    bool dashed = false;
    ColorState color;
    TextState text;
};

constexpr int kMaxGraphicsDepth = 9;
constexpr int kMaxScopeDepth = 4;

struct PdfDocument {
    uint32_t tag = 0;
    PdfHooks hooks;
    intptr_t userValue = 0;
    int scopes[kMaxScopeDepth] = {kScopeObject, 0, 0, 0};
    int scopeDepth = 1;

    int versionCode = 14;      // 13, 14 or 15
    // The version the header of a new file states, and the one its content needs (images of
    // 16 bits or with a soft mask); when the content needs more, the catalog says so in /Version.
    int headerVersionCode = 0;
    int contentVersionCode = 0;
    int compressionLevel = 6;  // 0..9, 0 = none
    int numberPrecision = 4;   // 3..6
    unsigned outputFlags = kFlushAfterPage;
    int writeMode = 0;         // 0 new file, 1 incremental update

    HookArray<int64_t> offsets; // by object number; -1 = reserved, not yet written
    int objectCount = 0;
    int numberBase = 0;
    HookArray<int32_t> pages;   // page object numbers, index 1 = first page
    int pageCount = 0;
    HookArray<int32_t> leaves;  // page-tree leaf of each group of ten pages
    int leafCount = 0;
    int leafFill = 0;
    int catalogNumber = 0;
    int infoNumber = 0;

    Md5 digest;                 // fed with information values, finished into the file identifier
    uint8_t fileId[16] = {};

    std::string outputPath;
    FILE* sink = nullptr;
    bool sinkIsStdout = false;
    std::unique_ptr<Writeback> writeback; // starts the disk on a large file while it is written
    std::unique_ptr<TiffFile> keptTiff;   // the TIFF file last imported from, for its next frame
    bool writeFailed = false;   // a short write happened; nothing more is written
    OutputBuffer out;

    // The page being written.
    double pageWidth = 0;
    double pageHeight = 0;
    double boxes[4][4] = {};    // crop, bleed, trim, art: llx lly urx ury; all zero = absent
    int rotation = 0;           // 0, 90, 180, 270; applies to every page written after it is set
    double displayDuration = 0;
    HookArray<int32_t> contents;
    int contentCount = 0;
    bool contentOpen = false;
    int contentLengthNumber = 0;
    int64_t streamStart = 0;
    unsigned procSets = 0;
    GraphicsLevel graphics[kMaxGraphicsDepth + 1];
    int graphicsDepth = 0;
    double pathX = 0;
    double pathY = 0;

    // Text object flags (see the text operators).
    bool textObjectOpen = false;
    bool textParamsWritten = false;

    // Producer text written into the information dictionary; empty = the built-in one.
    std::string producer;

    // ---- Outlines, viewer settings, document information, encryption (outline.h, security.h)
    HookArray<OutlineEntry> outlines; // entry 0 is the root; allocated with the first bookmark
    int bookmarkCount = 0;            // entries after the root
    ViewerSettings viewer;
    DocumentInfo info;
    SecurityState security;
    // ---- end of outlines, viewer settings, document information, encryption

    // ---- Fonts and text (fonts.h)
    FontRegistry fonts;          // font index = position; released at close
    EncodingTable encodings;     // slots 0..2 built in, the other slots empty
    const char* resourceNamePrefix = ""; // put between a resource's letter and its index
    bool fontBold = false;       // style requested from installed fonts
    bool fontItalic = false;
    FontFileLookup fontLookup = nullptr; // null = the system's fonts (fontconfig)
    UnicodeCodes unicodeCodes;   // codes of the glyphless font, released with the fonts
    // ---- end of fonts and text

    // ---- Images (images.h): slots by handle, the XObject table, the raw-strip buffer
    HookArray<ImageSlot> imageSlots;     // capacity = slots; 128 at first, doubled when all in use
    HookArray<XObjectEntry> xobjects;    // entry i is resource "/I<prefix>i"
    int xobjectCount = 0;
    HookArray<uint8_t> stripBuffer;      // grows to the largest strip copied so far
    // ---- end of images

    // ---- Existing file being appended to (reader.h): filled by readPdfStructure
    ExistingPdf existing;
    int64_t appendOriginalSize = 0; // the file's size when it was opened for appending
    bool appendInfoIsExisting = false; // the update rewrites the file's own information object
    // ---- end of existing file
};

// Lifecycle -------------------------------------------------------------------------------------

// A new record in object scope, or null when the record cannot be allocated (the error hook is
// then called with kErrAllocation on a scratch record).
PdfDocument* newPdfDocument(const PdfHooks& hooks = {}, intptr_t userValue = 0);

// Opens a new output: "-" = standard output (binary), "" = memory only, otherwise a file.
// Writes the header. Returns 1, or -1 when the file cannot be created (the record stays in
// object scope).
int openOutput(PdfDocument* doc, const std::string& path);

// Writes the closing sequence, flushes, closes the file (never standard output) and releases the
// tables; the record returns to object scope and may be opened again. Returns 1 when every byte
// reached the sink, 0 when a write failed (the file is then incomplete).
int closePdfDocument(PdfDocument* doc);

// Opens an existing PDF for appending pages by an incremental update: checks the header, reads
// the file's structure, and continues the file after its last byte (the existing bytes are never
// changed). Returns 1, or -1 when the file cannot be opened, is refused or cannot be read (the
// record stays in object scope; *refusal, when given, then says why in a few words).
int openForAppend(PdfDocument* doc, const std::string& path, std::string* refusal = nullptr);

// Whether the file opened by openForAppend lets pages be added: always for a file without
// encryption or opened with the empty owner password; for one opened with the empty user
// password, when its permissions allow modifying (bit 4) and, from revision 3 on, assembling
// (bit 11).
bool appendPermitted(const PdfDocument* doc);

// Drops an update opened by openForAppend without writing any of it: the file keeps its bytes
// and the record returns to object scope.
void abandonAppend(PdfDocument* doc);

// Releases the record itself; call closePdfDocument first when it is open.
void freePdfDocument(PdfDocument* doc);

// For in-memory documents (empty path): the bytes written so far, valid until the next write.
const uint8_t* bufferedBytes(const PdfDocument* doc, size_t* length);

// Output ----------------------------------------------------------------------------------------

size_t writeBytes(PdfDocument* doc, const void* bytes, size_t length);
size_t writeString(PdfDocument* doc, const char* text);
size_t writeChar(PdfDocument* doc, char byte);
// printf-like with the writer's own locale-independent formatter. Directives: %% %c %s %d %ld
// %X %lX %f, with optional "0" fill and width (ignored by %f). The result must fit 1024 bytes.
size_t writeFormatted(PdfDocument* doc, const char* format, ...) __attribute__((format(printf, 2, 3)));
int64_t currentOffset(const PdfDocument* doc);
void flushOutput(PdfDocument* doc);

// Formats a real with `precision` decimals (3..6) by the writer's rules into out (at least 32
// bytes). Returns the length; *outOfRange is set when the value exceeded 2147483647.
size_t formatReal(double value, int precision, char* out, bool* outOfRange = nullptr);

// Objects and streams ---------------------------------------------------------------------------

int reserveObject(PdfDocument* doc);
// Records the offset of object `number` (0 = reserve a new one) and writes its header.
int beginObject(PdfDocument* doc, int number);
void beginContent(PdfDocument* doc);
void endContent(PdfDocument* doc);

// For streams other than page content: reserves the length object and writes its reference.
int writeLengthReference(PdfDocument* doc);
// Closes the dictionary and starts the stream data of object `number`; compress = Flate through
// the output buffer at compressionLevel (the caller wrote the filter entry).
void beginStreamData(PdfDocument* doc, int number, bool compress);
// Ends the stream data and writes the length object reserved by writeLengthReference.
void endStreamData(PdfDocument* doc, int lengthNumber);

void writeLiteralString(PdfDocument* doc, const void* bytes, size_t length);
// A C string, or UTF-16BE text beginning with FE FF and ending with two zero bytes.
void writeTextString(PdfDocument* doc, const char* text);
// Length of a text value in bytes, terminator excluded.
size_t textValueLength(const char* text);
void writeName(PdfDocument* doc, const char* name);
void writeHexBytes(PdfDocument* doc, const void* bytes, size_t length);

// Keyed numeric parameters. Keys: "compression", "precision", "pagewidth", "pageheight",
// "cropbox.llx" .. "artbox.ury" (crop, bleed, trim, art; llx, lly, urx, ury), "duration".
// Viewer settings (outline.h): "pagemode", "openaction", "openpage", "viewerprefs".
// Unknown keys and keys used outside their scopes are reported and ignored.
void setNumericParameter(PdfDocument* doc, const char* key, double value);

// Pages and graphics ----------------------------------------------------------------------------

void beginPage(PdfDocument* doc, double width, double height);
void endPage(PdfDocument* doc);
// 90, 180 or 270; any other value means none. Applies to pages ended after the call.
void setRotation(PdfDocument* doc, int degrees);

void saveState(PdfDocument* doc);
void restoreState(PdfDocument* doc);
void concatMatrix(PdfDocument* doc, double a, double b, double c, double d, double e, double f);
void translate(PdfDocument* doc, double tx, double ty);
void scale(PdfDocument* doc, double sx, double sy);
void rotate(PdfDocument* doc, double degrees);
void setLineWidth(PdfDocument* doc, double width);
void setLineCap(PdfDocument* doc, int cap);
void setLineJoin(PdfDocument* doc, int join);
void setMiterLimit(PdfDocument* doc, double limit);
void setDash(PdfDocument* doc, double on, double off);
void setFlatness(PdfDocument* doc, double flatness);
void resetGraphicsState(PdfDocument* doc);
void moveTo(PdfDocument* doc, double x, double y);
void lineTo(PdfDocument* doc, double x, double y);
void strokePath(PdfDocument* doc);
// Ends an open text object (every non-text drawing operation and the end of a page call it).
void endTextObject(PdfDocument* doc);

} // namespace folvane::pdf
