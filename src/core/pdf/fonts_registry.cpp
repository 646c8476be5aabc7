// The document's font registry: registering fonts by name and encoding (standard fonts from the
// compiled-in table, others from the system), and releasing the registry with the document.
#include "pdf/fonts.h"

#include <cstring>

#include "pdf/document.h"
#include "fonts_internal.h"
#include "writer_internal.h"

namespace folvane::pdf {

namespace {

constexpr size_t kFirstRegistrySize = 16;
// Windows face names hold at most 31 bytes; longer names never name an installed font.
constexpr size_t kMaxFaceName = 31;

char* duplicate(PdfDocument* doc, const char* text)
{
    size_t length = std::strlen(text);
    auto* copy = static_cast<char*>(allocateZeroed(doc, length + 1, "font string"));
    if (copy)
        std::memcpy(copy, text, length);
    return copy;
}

void releaseRecord(PdfDocument* doc, FontRecord& record)
{
    if (record.name)
        releaseBlock(doc, record.name);
    if (record.scheme)
        releaseBlock(doc, record.scheme);
    if (record.fontData)
        releaseBlock(doc, record.fontData);
    record = FontRecord{};
}

// -1 = built-in, a slot index, or -2 when the name is not known.
int resolveEncoding(const PdfDocument* doc, const char* encoding)
{
    if (std::strcmp(encoding, kEncodingBuiltIn) == 0)
        return -1;
    const char* wanted = encoding;
    if (std::strcmp(encoding, kEncodingAnsiAlias) == 0)
        wanted = doc->encodings.slots[0]->name;
    for (int slot = 0; slot < kEncodingSlots; ++slot) {
        const EncodingVector* vector = doc->encodings.slots[slot];
        if (vector && std::strcmp(vector->name, wanted) == 0)
            return slot;
    }
    return -2;
}

bool loadStandard(PdfDocument* doc, const char* lookupName, int encoding, FontRecord* record)
{
    for (const StandardFont& font : kStandardFonts) {
        if (std::strcmp(font.name, lookupName) != 0 || font.encoding != encoding)
            continue;
        record->name = duplicate(doc, font.name);
        record->scheme = duplicate(doc, font.encoding == -1 ? kSchemeFontSpecific : kSchemeStandard);
        if (!record->name || !record->scheme)
            return false;
        record->encoding = font.encoding;
        record->flags = font.flags;
        record->kind = kFontStandard;
        record->italicAngle = font.italicAngle;
        record->fixedPitch = font.fixedPitch;
        std::memcpy(record->bbox, font.bbox, sizeof record->bbox);
        record->capHeight = font.capHeight;
        record->xHeight = font.xHeight;
        record->ascender = font.ascender;
        record->descender = font.descender;
        record->stemV = font.stemV;
        record->stemH = font.stemH;
        std::memcpy(record->widths, font.widths, sizeof record->widths);
        return true;
    }
    return false;
}

bool loadInstalled(PdfDocument* doc, const char* lookupName, int encoding, FontRecord* record)
{
    if (std::strlen(lookupName) > kMaxFaceName)
        return false;
    FontFileLookup lookup = doc->fontLookup ? doc->fontLookup : lookupSystemFont;
    size_t size = 0;
    uint8_t* data = lookup(doc, lookupName, doc->fontBold, doc->fontItalic, &size);
    if (!data)
        return false;
    // Owned from here on, so releaseRecord frees it on every failure below.
    record->fontData = data;
    record->fontDataSize = size;
    record->name = duplicate(doc, lookupName);
    const char* scheme = nullptr;
    if (!record->name || !readFontTables(data, size, doc->encodings, &encoding, record, &scheme))
        return false;
    record->scheme = duplicate(doc, scheme);
    record->encoding = encoding;
    return record->scheme != nullptr;
}

} // namespace

int findFont(PdfDocument* doc, const char* name, const char* encoding)
{
    if (!isValid(doc))
        return -1;
    if (currentScope(doc) == kScopeObject) {
        // Object numbers do not exist before the output is opened.
        reportError(doc, kErrState, "findFont called before the output was opened");
        return -1;
    }
    checkScope(doc, kScopeDocument | kScopePage, "findFont");
    if (!name || !*name || !encoding || !*encoding)
        return -1;
    int slot = resolveEncoding(doc, encoding);
    if (slot == -2)
        return -1;

    FontRegistry& fonts = doc->fonts;
    for (int i = 0; i < fonts.count; ++i) {
        const FontRecord& existing = fonts.records[static_cast<size_t>(i)];
        if (existing.encoding == slot && std::strcmp(existing.name, name) == 0)
            return i;
    }
    if (!fonts.records.ensure(doc, static_cast<size_t>(fonts.count), kFirstRegistrySize, FontRecord{}, "fonts")) {
        reportError(doc, kErrAllocation, "font registry could not grow");
        return -1;
    }

    // A multiple-master instance is looked up by its base name ("...MM_400_600" -> "...MM").
    std::string lookupName = name;
    if (const char* cut = std::strstr(name, "MM_"))
        lookupName.assign(name, static_cast<size_t>(cut - name) + 2);

    FontRecord& record = fonts.records[static_cast<size_t>(fonts.count)];
    record = FontRecord{};
    bool found = loadStandard(doc, lookupName.c_str(), slot, &record);
    if (!found) {
        releaseRecord(doc, record);
        found = loadInstalled(doc, lookupName.c_str(), slot, &record);
    }
    if (found && lookupName != name) {
        releaseBlock(doc, record.name);
        record.name = duplicate(doc, name);
        found = record.name != nullptr;
    }
    if (!found) {
        releaseRecord(doc, record);
        return -1;
    }
    record.objectNumber = reserveObject(doc);
    return fonts.count++;
}

void releaseFonts(PdfDocument* doc)
{
    if (!isValid(doc))
        return;
    FontRegistry& fonts = doc->fonts;
    for (int i = 0; i < fonts.count; ++i)
        releaseRecord(doc, fonts.records[static_cast<size_t>(i)]);
    fonts.records.release(doc);
    fonts.count = 0;
    doc->unicodeCodes = UnicodeCodes {};
}

} // namespace folvane::pdf
