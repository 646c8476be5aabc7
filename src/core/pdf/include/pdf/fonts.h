#pragma once
// Fonts, text and colour of the PDF writer.
//
// Fonts are referenced, never embedded: a font is one of the 14 standard PDF fonts, whose metrics
// are compiled in, or a font installed on the system, whose metrics are read from its OpenType
// tables when it is registered. Text is written as the 8-bit codes it is given, in the encoding
// the font was registered with; nothing is re-encoded (see utf8ToWinAnsi for callers that hold
// UTF-8 text).
//
// Every operation takes the document first and does nothing (or returns its failure value) for a
// null or released document. Misuse is ignored without writing anything: text operations outside
// page scope, setFont with an unregistered index, showText without a current font, a rendering
// mode outside 0..7, a colour component outside 0..1. In document scope the text-state setters and
// setColor only store their value (which the next page start resets). Coordinates and sizes are
// in user space units; font widths are in 1/1000 em.

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "pdf/hook_array.h"

namespace folvane::pdf {

struct PdfDocument;

// Font descriptor flags.
enum FontFlag : int {
    kFontFixedPitch = 1,
    kFontSymbolic = 4,
    kFontNonsymbolic = 32,
    kFontItalic = 64,
    kFontSmallCap = 0x20000,
    kFontForceBold = 0x40000,
};

enum FontKind : int {
    kFontStandard = 0,     // one of the 14 standard Type 1 fonts
    kFontInstalledCff = 1, // installed OpenType font with CFF outlines
    kFontInstalledTrueType = 2,
    kFontGlyphless = 3,    // the embedded font of Unicode text without visible glyphs (unicode_text.h)
};

// One registered font. Strings and the font file are owned by the record and come from the
// document's allocation hooks; the registry releases them with the document.
struct FontRecord {
    char* name;          // as requested (full name also for multiple-master instances)
    int encoding;        // -1 = the font's built-in encoding, else a slot of the encoding table
    int usedOnPage;      // set by setFont, cleared when the page's font resources are written
    int objectNumber;    // reserved when the font is registered
    int flags;           // FontFlag bits
    int kind;            // FontKind
    char* scheme;        // native encoding scheme: kSchemeStandard or kSchemeFontSpecific
    double italicAngle;  // degrees, negative for right-leaning faces
    int fixedPitch;
    double bbox[4];      // llx lly urx ury
    int capHeight, xHeight, ascender, descender;
    int stemV, stemH;
    int widths[256];     // advance of every code in the order of the font's encoding
    uint8_t* fontData;   // installed fonts: the whole font file
    size_t fontDataSize;
    size_t cffOffset, cffLength; // installed CFF fonts: where the CFF table lies in fontData
};

constexpr char kSchemeStandard[] = "AdobeStandardEncoding";
constexpr char kSchemeFontSpecific[] = "FontSpecific";

// The two-byte codes of the glyphless font: each distinct character gets the next code (from 1)
// when it is first shown, and the font's ToUnicode map gives it back at close.
struct UnicodeCodes {
    std::vector<uint32_t> codePoints;                // code - 1 -> character
    std::unordered_map<uint32_t, uint16_t> codes;    // character -> code
};

// The document's fonts. A font's index is its public handle and is never reused within a
// document; the first allocation holds 16 records and the capacity doubles when full.
struct FontRegistry {
    HookArray<FontRecord> records;
    int count = 0;
};

// A character encoding: name used by findFont, the predefined PDF encoding name it corresponds
// to (or null), and for every code its Unicode value (0 = unassigned) and glyph name (null =
// unassigned).
struct EncodingVector {
    const char* name;
    const char* pdfName;
    uint32_t unicode[256];
    const char* glyphNames[256];
};

// The three built-in vectors: Windows ANSI (code page 1252, the unassigned codes 127, 129, 141,
// 143, 144 and 157 showing the bullet), Mac OS Roman and EBCDIC code page 037.
extern const EncodingVector kWinAnsiEncoding;
extern const EncodingVector kMacRomanEncoding;
extern const EncodingVector kEbcdicEncoding;

constexpr int kEncodingSlots = 128;

// The document's encoding table: slots 0..2 hold the built-in vectors, the rest start empty.
struct EncodingTable {
    const EncodingVector* slots[kEncodingSlots] = {&kWinAnsiEncoding, &kMacRomanEncoding, &kEbcdicEncoding};
};

// Encoding names understood by findFont besides the names of the table's vectors ("winansi",
// "macroman", "ebcdic"): the font's own built-in encoding, and the alias of the system's 8-bit
// ANSI encoding, which resolves to slot 0 (the engine always registers fonts with it).
constexpr char kEncodingBuiltIn[] = "builtin";
constexpr char kEncodingAnsiAlias[] = "host";

// Supplies the whole font file of an installed font: the face name with the bold and italic
// request. Returns a block from the document's allocation hooks (the caller owns it) and its size,
// or null when there is no such font. The default (a null hook) asks fontconfig.
using FontFileLookup = uint8_t* (*)(PdfDocument* doc, const char* face, bool bold, bool italic, size_t* size);

// Registers a font by name and encoding name, or finds the one already registered with the same
// name and encoding. Returns the font index, or -1 (empty arguments, unknown encoding, name of
// 32 bytes or more for an installed font, no such font, unusable font file); the registry is then
// unchanged. Allowed in document and page scope.
int findFont(PdfDocument* doc, const char* name, const char* encoding);

// Page scope. Selects font `font` at `size` and makes the leading follow the size.
void setFont(PdfDocument* doc, int font, double size);
// Page scope. Positions the next text at (x, y); always writes a full text matrix.
void setTextPosition(PdfDocument* doc, double x, double y);
// Page scope. Shows `length` bytes (0 = up to the terminating zero); an empty text does nothing.
// The text position advances by the text's width.
void showText(PdfDocument* doc, const char* bytes, size_t length = 0);
// Page scope. Moves to the start of the next line (down by the leading) and shows the bytes
// there; an empty text still moves.
void continueText(PdfDocument* doc, const char* bytes, size_t length = 0);
// Width of `length` bytes (0 = up to the terminating zero) in font `font` at `size`, with the
// current character and word spacing, horizontal scaling and text matrix. 0 for an unregistered
// font or an empty text.
double stringWidth(PdfDocument* doc, const char* bytes, int font, double size, size_t length = 0);

// Text-state setters. Character and word spacing set to 0 are written at once; other values, and
// the leading, reach the content stream with the next shown text.
void setCharSpacing(PdfDocument* doc, double value);
void setWordSpacing(PdfDocument* doc, double value);
void setHorizontalScaling(PdfDocument* doc, double percent);
void setLeading(PdfDocument* doc, double value);
void setTextRendering(PdfDocument* doc, int mode); // 0..7
void setTextRise(PdfDocument* doc, double value);

// Routes the text-state keys of setNumericParameter ("charspacing", "wordspacing", "hscaling",
// "leading", "textrendering", "textrise"). Returns false for any other key.
bool setTextParameter(PdfDocument* doc, const char* key, double value);

enum ColorSide : int {
    kColorFill = 1,
    kColorStroke = 2,
    kColorBoth = 3,
};

enum ColorSpaceKind : int {
    kColorGray = 0, // one component
    kColorRgb = 1,  // three components; three equal ones are written as gray
    kColorCmyk = 2, // four components
};

// Sets the fill and/or stroke colour; components lie in 0..1 (unused ones are ignored). Writes an
// operator only when the colour differs from the current one of that side.
void setColor(PdfDocument* doc, int side, int space, double c1, double c2 = 0, double c3 = 0, double c4 = 0);

// Writer-internal: opens a text object when none is open (the page then lists the text procedure
// set), then writes the text matrix when asked to. endTextObject is declared in document.h.
void beginTextObject(PdfDocument* doc, bool withMatrix);
// Writes the font entries of the page's resource dictionary and clears the used-on-page marks.
void writeFontResources(PdfDocument* doc);
// Writes every registered font object at close, in index order.
void writeFontObjects(PdfDocument* doc);
// Releases the registry, its strings and font files.
void releaseFonts(PdfDocument* doc);

// Converts UTF-8 text to Windows ANSI (code page 1252) bytes, as the standard fonts expect.
// Characters outside that code page, and malformed sequences, become "?".
std::string utf8ToWinAnsi(const std::string& utf8);

} // namespace folvane::pdf
