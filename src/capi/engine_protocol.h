#pragma once
// The integer protocol of the engine's C library, over engine::Document: documents are integer
// handles (1..1023, lowest free first, reused after close); every operation looks its handle up
// again and returns 0 for an unknown one without side effects. Settings travel as option codes
// with (a, b, text1, text2), queries as codes with pointer-sized slots, and the reasons of the
// last failures as texts kept per thread.
//
// Coordinates are PDF points from the page's top-left corner, y growing downwards. Colours are
// 24-bit values 0x00BBGGRR (red in the low byte). Texts are UTF-8.
//
// Threads: each document is used by one thread at a time; distinct documents may be used on
// different threads (the handle table itself is guarded).

#include <cstdint>
#include <string>
#include <vector>

#include "engine/engine.h"

namespace folvane::engine {

using DocHandle = int;
constexpr int kMaxDocuments = 1023;

enum OptionCode : int {
    kOptionFrameRange = 101,
    kOptionImagePlacement = 104,
    kOptionSecurity = 105,
    kOptionFont = 106,
    kOptionPageSize = 109,
    kOptionBookmarkText = 110,
    kOptionProducer = 111,
    kOptionViewerPreferences = 121,
    kOptionPageRotation = 122,
    kOptionCompression = 123,
    kOptionSkewCorrection = 126,
    kOptionJpegQuality = 128,
    // a = 1: turn photos upright by the orientation their EXIF data records; 0: as stored.
    kOptionAutoOrient = 140,
    // a = 1: keep pictures exactly: Deflate in place of JPEG for everything not JPEG already.
    kOptionLossless = 141,
    // a = 0: straighten by the first skew estimate; 1: refine it first (finer, slower).
    kOptionSkewMethod = 142,
    // a 1: draw the recognised text of every placed picture as an invisible text layer, 0: none;
    // text1 the languages (Tesseract codes joined by "+", empty = "eng"). Refused (0) when a
    // language is not installed or a code is malformed: check with textRecognitionProblem first.
    kOptionTextRecognition = 143,
};

// Added to the key bits of kOptionSecurity (128 or 256): AES instead of RC4.
constexpr int kSecurityAes = 0x10000;

enum QueryCode : int {
    kQueryFrameCount = 201,
    kQueryPixelSize = 202,
    kQueryTextWidth = 250,
    kQueryTextHeight = 251,
};

// The document behind a handle, or null.
Document* DocumentOf(DocHandle handle);

// Creates a new PDF at path ("-" = standard output). 0 when the path is empty, already open
// under another handle (letter case ignored), cannot be created, or every handle is in use.
// The finished file replaces whatever lies under the path then.
DocHandle CreateDocument(const std::string& path);

// As CreateDocument, with the naming rule the finished file follows when it is given its name;
// CloseDocument then fails when the rule finds no name. The rule's callback runs on the thread
// that closes the document.
DocHandle CreateDocument(const std::string& path, const NamingRule& naming);

// Opens an existing PDF for appending pages by an incremental update. Same refusals as
// CreateDocument, and 0 when the file is not one the reader accepts. An encrypted file whose
// permissions forbid adding pages opens refused (kReasonAppendNotPermitted), as does one without
// encryption once security is asked for (kReasonCannotAddSecurity).
DocHandle OpenDocumentForAppend(const std::string& path);

// Why the last OpenDocumentForAppend on the calling thread refused to append: "not a PDF",
// "damaged cross-reference (repair it first, e.g. with qpdf)", "encrypted with a user password",
// "unsupported security handler /NAME", "the document forbids changes", a permission refusal
// (the handle is then valid, see above), or the system's reason when the file cannot be opened.
// Empty after an append that may go ahead, and for other refusals (a path already open, no free
// handle).
std::string LastAppendRefusal();

// Ends an open page (its pending bookmark first), writes the file and frees the handle.
// 1 when the file was written completely, 0 for an unknown handle or a failed final write.
int CloseDocument(DocHandle handle);

// Drops an open new document without giving it its name: nothing of it is written, and whatever
// lies under its name stays as it was. 1 when dropped; 0 for an unknown handle or a document that
// cannot be dropped (opened for appending, or written directly to standard output or a device),
// which stays open for CloseDocument.
int DiscardDocument(DocHandle handle);

// Sends one setting; 1 accepted, 0 refused (the producer option always answers 0).
int SetDocumentOption(DocHandle handle, int code, int a, int b, const char* text1, const char* text2);

// Answers a query. out1 and out2 are pointer-sized slots: for kQueryPixelSize each carries the
// address of an int that receives the width and height (written only when the slot is above
// 1000, so 0 means "no output"); for kQueryTextWidth and kQueryTextHeight they carry the inputs,
// font code and size (0 = the current one). kQueryFrameCount and kQueryPixelSize describe the
// image file named by text1 (text2: 1-based frame for the pixel size) and answer for any handle,
// 0 included.
int QueryDocument(DocHandle handle, int code, intptr_t out1, intptr_t out2, const char* text1, const char* text2);

// Stores the non-empty texts as Title, Subject, Author, Keywords and Creator.
int SetDocumentInfo(DocHandle handle, const char* title, const char* subject, const char* author,
                    const char* keywords, const char* creator);

// Adds every selected frame of an image file as a picture, with the cause of a failure.
ImageAdded AddImage(DocHandle handle, const std::string& path);

// The same as a number: 1 success, 0 failure, -1 a frame range beyond the image or no converter
// for a format the codec layer cannot read (the converter's own number when it failed).
int AddImageFile(DocHandle handle, const std::string& path);

// Why the last AddImageFile on the calling thread failed: the cause the engine reports
// ("cannot write temporary files in /tmp: No space left on device", a refused append, what the
// decoder said). Empty after a success.
std::string LastImageFailure();

// What the text recognition of the last AddImageFile on the calling thread did.
TextLayerReport LastTextLayer();

// Draws text (lines separated by "\n") at (x, y) — the top-left of the first line — or, for
// (-1, -1) or a zero coordinate, where the last text ended.
int DrawText(DocHandle handle, int x, int y, const char* text, unsigned color);

// Draws a line; coordinates 0..11399, width 1..1000.
int DrawLine(DocHandle handle, int x1, int y1, int x2, int y2, int width, unsigned color);

} // namespace folvane::engine
