#pragma once
// Shared by the writer's font files; not part of the writer's public contract.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "pdf/fonts.h"

namespace folvane::pdf {

// One of the 14 standard fonts with its published metrics (fonts_standard.cpp is generated).
struct StandardFont {
    const char* name;
    int encoding; // 0 = Windows ANSI slot, -1 = built-in
    int flags;
    double italicAngle;
    int fixedPitch;
    double bbox[4];
    int capHeight, xHeight, ascender, descender;
    int stemV, stemH;
    int widths[256];
};

constexpr int kStandardFontCount = 14;
extern const StandardFont kStandardFonts[kStandardFontCount];

// Fills the metrics of `record` from an OpenType font file: kind, CFF position, italic angle,
// fixed pitch, bbox, heights, stems, widths and flags; `record->name` must already be set (the
// flags look at it). *scheme receives kSchemeStandard or kSchemeFontSpecific. `encoding` is the
// requested encoding (-1 = built-in) and becomes the encoding the font is used with.
// Returns false when the file is not an acceptable font or a needed table is missing or damaged;
// every offset and count is checked against the data, so any bytes are safe to pass.
bool readFontTables(const uint8_t* data, size_t size, const EncodingTable& table, int* encoding,
                    FontRecord* record, const char** scheme);

// The default FontFileLookup: fontconfig, matching the family name with the bold and italic
// request, accepting a match only when its family really is the requested name.
uint8_t* lookupSystemFont(PdfDocument* doc, const char* face, bool bold, bool italic, size_t* size);

// The glyphless font at close: the Type0 font under the record's object number, its CIDFont,
// descriptor, embedded font file, code-to-glyph map and ToUnicode map (fonts_glyphless.cpp).
void writeGlyphlessFont(PdfDocument* doc, const FontRecord& font);

// The embedded font file of the glyphless font: a TrueType font with two empty glyphs (.notdef
// and the one every code shows), each kGlyphlessAdvance units of 1000 wide, ascent 800 and
// descent -200 (glyphless_truetype.cpp).
const std::vector<uint8_t>& glyphlessTrueType();

} // namespace folvane::pdf
