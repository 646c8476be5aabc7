// The glyphless font: registering it, showing Unicode text in it as two-byte codes given out in
// order of first use, and writing it at close as a Type0 font over an embedded CIDFontType2 with
// a ToUnicode map of exactly the codes the document used.
#include "pdf/unicode_text.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "fonts_internal.h"
#include "pdf/security.h"
#include "writer_internal.h"

namespace folvane::pdf {

namespace {

constexpr char kFontName[] = "GlyphLessFont";
constexpr uint32_t kReplacement = 0xFFFD;

// Decodes one UTF-8 character at `at` and moves past it; malformed or overlong sequences,
// surrogates and NUL give U+FFFD for one byte.
uint32_t nextCharacter(std::string_view text, size_t& at)
{
    auto byte = [&](size_t i) { return static_cast<uint8_t>(text[i]); };
    uint8_t lead = byte(at);
    size_t length = lead < 0x80 ? 1 : (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xE ? 3 : (lead >> 3) == 0x1E ? 4 : 0;
    if (length == 0 || at + length > text.size()) {
        ++at;
        return kReplacement;
    }
    uint32_t value = length == 1 ? lead : lead & (0x7F >> length);
    for (size_t i = 1; i < length; ++i) {
        if ((byte(at + i) >> 6) != 0x2) {
            ++at;
            return kReplacement;
        }
        value = (value << 6) | (byte(at + i) & 0x3F);
    }
    static constexpr uint32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (value == 0 || value < kSmallest[length] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
        ++at;
        return kReplacement;
    }
    at += length;
    return value;
}

// The code of a character, given out now when the character is new; U+FFFD's once the codes
// are used up.
uint16_t codeFor(PdfDocument* doc, uint32_t character)
{
    UnicodeCodes& codes = doc->unicodeCodes;
    auto found = codes.codes.find(character);
    if (found != codes.codes.end())
        return found->second;
    if (codes.codePoints.size() >= kMaxUnicodeCodes)
        return character == kReplacement ? 1 : codeFor(doc, kReplacement);
    codes.codePoints.push_back(character);
    auto code = static_cast<uint16_t>(codes.codePoints.size());
    codes.codes.emplace(character, code);
    return code;
}

bool isGlyphless(const PdfDocument* doc, int font)
{
    return font >= 0 && font < doc->fonts.count &&
           doc->fonts.records[static_cast<size_t>(font)].kind == kFontGlyphless;
}

// A string value inside object `number`: encrypted (as hex) when the document is.
void writeObjectString(PdfDocument* doc, int number, const char* text)
{
    if (doc->security.encrypted) {
        std::string secret = encryptedCopy(doc, number + doc->numberBase, text, std::strlen(text));
        writeHexBytes(doc, secret.data(), secret.size());
    } else {
        writeLiteralString(doc, text, std::strlen(text));
    }
}

// A stream object holding `data`, compressed when the document compresses.
void writeStreamObject(PdfDocument* doc, int number, const std::string& extraKeys, const void* data, size_t size)
{
    beginObject(doc, number);
    writeString(doc, " <<");
    int length = writeLengthReference(doc);
    bool compress = doc->compressionLevel != 0;
    if (compress)
        writeString(doc, "/Filter /FlateDecode ");
    writeString(doc, extraKeys.c_str());
    beginStreamData(doc, number, compress);
    writeBytes(doc, data, size);
    endStreamData(doc, length);
}

void appendHex4(std::string& out, uint32_t value)
{
    static constexpr char kDigits[] = "0123456789ABCDEF";
    for (int shift = 12; shift >= 0; shift -= 4)
        out += kDigits[(value >> shift) & 15];
}

// The ToUnicode CMap: every code given out, with its character as UTF-16BE.
std::string toUnicodeMap(const UnicodeCodes& codes)
{
    std::string map = "/CIDInit /ProcSet findresource begin\n12 dict begin\nbegincmap\n"
                      "/CIDSystemInfo << /Registry (Adobe) /Ordering (UCS) /Supplement 0 >> def\n"
                      "/CMapName /Adobe-Identity-UCS def\n/CMapType 2 def\n"
                      "1 begincodespacerange\n<0000> <FFFF>\nendcodespacerange\n";
    const size_t count = codes.codePoints.size();
    for (size_t first = 0; first < count; first += 100) {
        size_t end = std::min(count, first + 100); // a bfchar block holds at most 100 entries
        map += std::to_string(end - first) + " beginbfchar\n";
        for (size_t i = first; i < end; ++i) {
            map += '<';
            appendHex4(map, static_cast<uint32_t>(i + 1));
            map += "> <";
            uint32_t c = codes.codePoints[i];
            if (c >= 0x10000) {
                c -= 0x10000;
                appendHex4(map, 0xD800 + (c >> 10));
                appendHex4(map, 0xDC00 + (c & 0x3FF));
            } else {
                appendHex4(map, c);
            }
            map += ">\n";
        }
        map += "endbfchar\n";
    }
    map += "endcmap\nCMapName currentdict /CMap defineresource pop\nend\nend\n";
    return map;
}

} // namespace

int glyphlessFont(PdfDocument* doc)
{
    if (!isValid(doc))
        return -1;
    if (currentScope(doc) == kScopeObject) {
        reportError(doc, kErrState, "glyphlessFont called before the output was opened");
        return -1;
    }
    FontRegistry& fonts = doc->fonts;
    for (int i = 0; i < fonts.count; ++i)
        if (fonts.records[static_cast<size_t>(i)].kind == kFontGlyphless)
            return i;
    if (!fonts.records.ensure(doc, static_cast<size_t>(fonts.count), 16, FontRecord{}, "fonts")) {
        reportError(doc, kErrAllocation, "font registry could not grow");
        return -1;
    }
    FontRecord& record = fonts.records[static_cast<size_t>(fonts.count)];
    record = FontRecord{};
    auto* name = static_cast<char*>(allocateZeroed(doc, sizeof kFontName, "font string"));
    if (!name)
        return -1;
    std::memcpy(name, kFontName, sizeof kFontName);
    record.name = name;
    record.encoding = -1;
    record.kind = kFontGlyphless;
    record.flags = kFontSymbolic;
    record.bbox[1] = kGlyphlessDescent;
    record.bbox[2] = kGlyphlessAdvance;
    record.bbox[3] = kGlyphlessAscent;
    record.ascender = kGlyphlessAscent;
    record.descender = kGlyphlessDescent;
    record.capHeight = kGlyphlessAscent;
    for (int& width : record.widths)
        width = kGlyphlessAdvance;
    record.objectNumber = reserveObject(doc);
    return fonts.count++;
}

size_t unicodeCharacterCount(std::string_view utf8)
{
    size_t count = 0;
    for (size_t at = 0; at < utf8.size(); ++count)
        nextCharacter(utf8, at);
    return count;
}

void showUnicodeText(PdfDocument* doc, std::string_view utf8)
{
    if (!isValid(doc) || currentScope(doc) != kScopePage || utf8.empty())
        return;
    TextState& ts = doc->graphics[doc->graphicsDepth].text;
    if (!isGlyphless(doc, ts.font))
        return;
    std::string hex = "<";
    size_t count = 0;
    for (size_t at = 0; at < utf8.size(); ++count)
        appendHex4(hex, codeFor(doc, nextCharacter(utf8, at)));
    hex += "> Tj\r";
    if (!doc->textObjectOpen)
        beginTextObject(doc, true);
    writeBytes(doc, hex.data(), hex.size());
    if (ts.renderingMode > 3)
        endTextObject(doc); // a clipping mode takes effect when the text object ends
    ts.textMatrix[4] += static_cast<double>(count) * kGlyphlessAdvance / 1000.0 * ts.fontSize *
                        ts.horizontalScaling * ts.textMatrix[0];
}

void writeGlyphlessFont(PdfDocument* doc, const FontRecord& font)
{
    int cidFont = reserveObject(doc);
    int descriptor = reserveObject(doc);
    int fontFile = reserveObject(doc);
    int glyphMap = reserveObject(doc);
    int toUnicode = reserveObject(doc);

    beginObject(doc, font.objectNumber);
    writeString(doc, " <</Type /Font /Subtype /Type0 /BaseFont ");
    writeName(doc, font.name);
    writeFormatted(doc, " /Encoding /Identity-H /DescendantFonts [%d 0 R] ", cidFont + doc->numberBase);
    writeReference(doc, "/ToUnicode", toUnicode);
    writeString(doc, ">> endobj ");

    beginObject(doc, cidFont);
    writeString(doc, " <</Type /Font /Subtype /CIDFontType2 /BaseFont ");
    writeName(doc, font.name);
    writeString(doc, " /CIDSystemInfo <</Registry ");
    writeObjectString(doc, cidFont, "Adobe");
    writeString(doc, " /Ordering ");
    writeObjectString(doc, cidFont, "Identity");
    writeFormatted(doc, " /Supplement 0>> /DW %d ", kGlyphlessAdvance);
    writeReference(doc, "/FontDescriptor", descriptor);
    writeReference(doc, "/CIDToGIDMap", glyphMap);
    writeString(doc, ">> endobj ");

    beginObject(doc, descriptor);
    writeString(doc, " <</Type /FontDescriptor /FontName ");
    writeName(doc, font.name);
    writeFormatted(doc, " /Flags %d /FontBBox [0 %d %d %d] /ItalicAngle 0 /Ascent %d /Descent %d /CapHeight %d ",
                   font.flags, kGlyphlessDescent, kGlyphlessAdvance, kGlyphlessAscent, kGlyphlessAscent,
                   kGlyphlessDescent, kGlyphlessAscent);
    writeString(doc, "/StemV 80 ");
    writeReference(doc, "/FontFile2", fontFile);
    writeString(doc, ">> endobj ");

    const std::vector<uint8_t>& file = glyphlessTrueType();
    writeStreamObject(doc, fontFile, "/Length1 " + std::to_string(file.size()) + " ", file.data(), file.size());

    // Code 0 stays on .notdef; every code given out shows glyph 1.
    const size_t codes = doc->unicodeCodes.codePoints.size();
    std::string glyphs(2 * (codes + 1), '\0');
    for (size_t code = 1; code <= codes; ++code)
        glyphs[2 * code + 1] = 1;
    writeStreamObject(doc, glyphMap, "", glyphs.data(), glyphs.size());

    std::string map = toUnicodeMap(doc->unicodeCodes);
    writeStreamObject(doc, toUnicode, "", map.data(), map.size());
}

} // namespace folvane::pdf
