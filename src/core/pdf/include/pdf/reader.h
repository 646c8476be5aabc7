#pragma once
// The reader of existing PDF files, for appending pages by an incremental update.
//
// It is a tolerant text scanner, not an object parser: it follows the cross-reference sections
// (classic tables, cross-reference streams, and hybrid files whose tables name a stream by
// /XRefStm) from the last "startxref" through every /Prev, picks the catalog, the page tree, the
// document information and the encryption dictionary out of the trailers, and looks keys up in
// the raw text of those few objects. Objects kept in object streams are handed out as the same
// "N 0 obj ... endobj" text as any other object, cut from the decoded stream.
//
// Everything read from the file is untrusted: every offset, count and length is checked against
// the file and the buffers, /Prev loops and page-tree cycles are refused, the total number of
// bytes read is bounded by a multiple of the file size, and any malformed input makes the read
// return 0 (the caller abandons the file) instead of crashing, hanging or allocating without
// bound; decoded stream data counts against the same budget as bytes read. Nothing is ever
// printed. Limits that real files stay far below: object numbers above
// the file's size in bytes (or kMaxObjectNumber), more than limits::kMaxXrefSections
// cross-reference sections, dictionaries and arrays nested deeper than
// limits::kMaxPdfNestingDepth, page trees deeper than limits::kMaxPageTreeDepth, identifier
// elements above 256 bytes and trailers above 1 MB are refused as damage.
//
// Keys are matched without regard to letter case and as prefixes (/Count also matches /CountX),
// and only at the top level of the dictionary they are looked up in; keywords (xref, trailer,
// startxref, obj, endobj, R) are matched exactly.
//
// The functions are used by one thread at a time per document, like the writer.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "base/resource_limits.h"

namespace folvane::pdf {

struct PdfDocument;

// Working block: min(file size, 10 MB). Reading past its filled part refills it from the file
// with the next 0x50000 bytes, carrying the bytes not yet consumed to the block's start.
constexpr size_t kReaderBlockSize = 10485760;
constexpr size_t kReaderRefillSize = 0x50000;
// Caps on the object texts that are read: the document information object and the encryption
// dictionary have small blocks of their own; every other object text fits the working block.
constexpr size_t kInfoTextLimit = 102400;
constexpr size_t kEncryptionTextLimit = 10240;
// The highest object number a file may use (the limit of common PDF implementations).
constexpr int kMaxObjectNumber = limits::kMaxPdfObjectNumber;

// The six bytes the writer puts after its nine-byte header (a line end, a comment with three
// bytes above 127, a line end).
constexpr uint8_t kWriterHeaderTail[6] = {'\r', '%', 0xE2, 0xE3, 0xCF, '\r'};

// Offset-table values besides real offsets.
constexpr int64_t kOffsetUnlisted = -1; // no cross-reference section lists the number
constexpr int64_t kOffsetFree = -2;     // the newest section that lists it marks it free
constexpr int64_t kOffsetCompressed = -3; // kept in an object stream (see ExistingPdf::compressed)

// One element of the trailer's /ID array.
struct ExistingIdElement {
    bool present = false;
    bool literal = false; // written as a literal string "(...)" rather than a hex string "<...>"
    std::string raw;      // the text between the delimiters exactly as in the file
    std::string bytes;    // the decoded value (escapes resolved, hex digits paired)
};

// How strings and streams of an encrypted file are encrypted.
enum class ExistingCipher { kRc4, kAes128, kAes256 };

// The standard security handler's values of an encrypted file that opened with an empty
// password, for encrypting the objects an incremental update adds.
struct ExistingEncryption {
    bool encrypted = false;
    int revision = 0;        // 2, 3, 4 (RC4 or AES-128 through the crypt filter /StdCF) or 6
    ExistingCipher cipher = ExistingCipher::kRc4;
    int keyLength = 0;       // bytes: 5..16 for RC4, 16 for AES-128, 32 for AES-256
    int32_t permissions = 0; // /P
    bool encryptMetadata = true;
    uint8_t ownerEntry[48] = {}; // 32 bytes up to revision 4, 48 in revision 6
    uint8_t userEntry[48] = {};
    uint8_t fileKey[32] = {};  // the first keyLength bytes are used
    std::string firstId;       // decoded first identifier element, as used in the file key
    bool openedAsOwner = false;// the empty owner password authenticated, the empty user one did not
};

// Why a read failed, for the message of a refused append. The texts are shown to users.
inline constexpr const char* kRefusalNotPdf = "not a PDF";
inline constexpr const char* kRefusalDamaged = "damaged cross-reference (repair it first, e.g. with qpdf)";
inline constexpr const char* kRefusalUserPassword = "encrypted with a user password";
inline constexpr const char* kRefusalHandlerPrefix = "unsupported security handler /";
inline constexpr const char* kRefusalForbidsChanges = "the document forbids changes";

// The document information keys the reader reads, in this order.
enum ExistingInfoKey : int {
    kExistingTitle = 0,
    kExistingAuthor,
    kExistingSubject,
    kExistingKeywords,
    kExistingCreator,
    kExistingProducer,
    kExistingCreationDate,
    kExistingModDate,
    kExistingTrapped,
    kExistingInfoKeyCount
};
extern const char* const kExistingInfoKeyNames[kExistingInfoKeyCount]; // "Title", ...

// One information value as read. Strings are PDF string bytes (PDFDocEncoding or FE FF UTF-16BE),
// not UTF-8, decrypted when the file is encrypted; they are meant to be written back unchanged.
struct ExistingInfoValue {
    bool present = false;
    bool isName = false; // a name such as /True for /Trapped: `bytes` holds the name's raw text
    std::string bytes;
};

// What the reader learned about an existing file. Offsets in `offsets` are positions in the
// file; all other offsets (previousXref) are as written in the file, i.e. relative to
// `offsetBase` (see below), and new offsets of an update must be written the same way.
struct ExistingPdf {
    int64_t fileSize = 0;
    // Where the file's offsets count from: 0, or the position of "%PDF-" when the file has
    // bytes before its header and its offsets count from the header (as Acrobat and qpdf read
    // such files). Position in the file = written offset + offsetBase.
    int64_t offsetBase = 0;
    int64_t previousXref = -1; // the offset after the last startxref: the newest section

    std::vector<int64_t> offsets;      // by object number: position, kOffsetUnlisted or kOffsetFree
    std::vector<uint16_t> generations; // by object number; 0 unless listed with a higher one
    int highestNumber = 0;             // new objects are numbered from highestNumber + 1

    // Objects kept in object streams: number -> (object stream's number, index in it).
    std::map<int, std::pair<int, int>> compressed;
    bool newestIsStream = false; // the newest section is a cross-reference stream
    int headerVersion = 0;       // 10 for "%PDF-1.0" ... 20 for "%PDF-2.0"; 0 when unreadable
    int catalogVersion = 0;      // the catalog's /Version the same way; 0 when absent
    // Top-level entries of the newest trailer (or cross-reference stream dictionary) as written:
    // key without its slash, "/Key value" text. An update repeats the ones it does not replace.
    std::vector<std::pair<std::string, std::string>> newestTrailer;

    int catalogNumber = 0;
    int infoNumber = 0;    // 0 = the file has no document information object
    // An information dictionary written inline in the trailer ("<< ... >>"); empty otherwise.
    std::string infoDirect;
    // Information entries besides the nine standard ones, as written: key without its slash and
    // value text. String values are decoded and decrypted into `bytes` with isString set.
    struct InfoExtra {
        std::string key;
        bool isString = false;
        std::string bytes; // the string's bytes, or the value text as written
    };
    std::vector<InfoExtra> infoExtras;
    int encryptNumber = 0; // the encryption dictionary's object; 0 = none, or a direct one
    // A direct encryption dictionary of the trailer ("<< ... >>" as written), which an update's
    // trailer must repeat since there is no object to refer to; empty otherwise.
    std::string encryptDirect;
    ExistingIdElement id[2];

    std::string catalogText; // "N G obj" up to and including "endobj"
    int pageTreeRoot = 0;
    std::string pageTreeRootText;
    int rootCount = -1;      // the root's /Count as written
    int pageCount = 0;       // /Count, lowered to the number of pages the walk found
    std::vector<int> pages;  // page object numbers in document order (pages[0] = first page)
    std::vector<std::string> pageTexts;

    ExistingInfoValue info[kExistingInfoKeyCount];
    ExistingEncryption encryption;
};

// The generation the cross-reference lists for object `number` (0 for a number it does not list).
inline int generationOf(const ExistingPdf& existing, int number)
{
    if (number < 1 || static_cast<size_t>(number) >= existing.generations.size())
        return 0;
    return existing.generations[static_cast<size_t>(number)];
}

// Reads the structure of the file into doc->existing: the newest startxref, the chain of
// cross-reference sections and trailers, the encryption dictionary (refused unless the standard
// handler, RC4 revision 2 to 4 or AES revision 4 or 6, opens with the empty user or owner
// password), the document information, the catalog, the page-tree root and the page-tree walk.
// `file` must be open for reading (binary); its position is changed. Returns 1 when everything
// was read, 0 otherwise (doc->existing is then cleared, and *refusal, when given, receives one
// of the kRefusal texts).
int readPdfStructure(PdfDocument* doc, FILE* file, std::string* refusal = nullptr);
// The same into a record of the caller's.
int readExistingPdf(FILE* file, ExistingPdf& existing, std::string* refusal = nullptr);

// The page-tree walk from doc->existing.pageTreeRootText: page numbers and texts in document
// order; the page count is lowered to the pages found. Needs the cross-reference data of
// readPdfStructure. Returns 1, or 0 on a malformed tree (a missing or damaged node, a cycle, a
// node reached twice, a root without /Kids).
int readPageTree(PdfDocument* doc, FILE* file);

// Reads the values of /Title, /Author, /Subject, /Keywords, /Creator, /Producer, /CreationDate,
// /ModDate and /Trapped from the information object into doc->existing.info (decrypted when the
// file is encrypted). Returns 1 (also when the file has no information object), 0 when the
// object cannot be read.
int readInfoDictionary(PdfDocument* doc, FILE* file);

// The header rule for appending, applied to the first bytes of a file: the header offset is the
// position of the first "%" within the first 16 bytes; there the file must start (any letter
// case) with "%PDF-1.0" to "%PDF-1.7" or "%PDF-2.0". Returns the header offset, or -1 when the
// file is refused.
int appendHeaderOffset(const uint8_t* bytes, size_t length);
// The same for a file on disk: 1 with *headerOffset set, or -1 when the file cannot be read or
// is refused.
int checkAppendHeader(const std::string& path, int* headerOffset);

// Decrypts (in place) a string read from object `number` with generation `generation` of an
// encrypted existing file: RC4, or AES-CBC with its IV and padding removed (a string that is not
// whole AES blocks becomes empty). Does nothing when the file is not encrypted.
void decryptExistingString(const ExistingEncryption& encryption, int number, int generation, std::string& bytes);

} // namespace folvane::pdf
