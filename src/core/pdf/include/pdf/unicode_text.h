#pragma once
// Text in any Unicode characters, through an embedded "glyphless" font: a Type0 font with the
// Identity-H encoding over a CIDFontType2 whose glyphs are all empty and kGlyphlessAdvance units
// (of 1000 per em) wide, with ascent 800 and descent -200. Each distinct character shown in a
// document gets its own two-byte code in order of first use, and the font's ToUnicode map turns
// the codes back into the characters, so text extraction, search and copy see the real text.
//
// Meant for text that is drawn invisibly (rendering mode 3) over a picture of the same text: the
// writer knows nothing of where such text comes from. Like the other text operators these work in
// page scope on the current text state (font, size, horizontal scaling, text matrix) and ignore
// misuse without writing anything.

#include <cstddef>
#include <string_view>

#include "pdf/document.h"

namespace folvane::pdf {

inline constexpr int kGlyphlessAdvance = 500;
inline constexpr int kGlyphlessAscent = 800;
inline constexpr int kGlyphlessDescent = -200;
// Codes available to one document; characters beyond them are shown as U+FFFD.
inline constexpr size_t kMaxUnicodeCodes = 65534;

// Registers the glyphless font once per document and returns its font index (for setFont), or
// -1 when the registry cannot grow. Allowed in document and page scope.
int glyphlessFont(PdfDocument* doc);

// Shows UTF-8 text in the glyphless font, which must be the current font: every character
// (malformed bytes count as U+FFFD) as one code. The text position advances by
// characters × kGlyphlessAdvance / 1000 × size × horizontal scaling.
void showUnicodeText(PdfDocument* doc, std::string_view utf8);

// The characters showUnicodeText counts in a UTF-8 text.
size_t unicodeCharacterCount(std::string_view utf8);

} // namespace folvane::pdf
