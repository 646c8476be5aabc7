// Installed fonts: finding a font file through fontconfig, and reading the metrics of an
// OpenType font (TrueType or CFF outlines) from its tables. Font files are untrusted input: every
// table offset, length and count is checked against the data before it is used.
#include "fonts_internal.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <strings.h>
#include <sys/stat.h>

#include <fontconfig/fontconfig.h>

#include "pdf/document.h"

namespace folvane::pdf {

namespace {

// Font files larger than this are refused rather than read into memory.
constexpr int64_t kMaxFontFileSize = 128 * 1024 * 1024;

// Big-endian reads inside a bounded byte range. Out-of-range reads fail instead of reading.
struct Bytes {
    const uint8_t* data = nullptr;
    size_t size = 0;

    bool has(size_t offset, size_t count) const { return offset <= size && count <= size - offset; }
    uint16_t u16(size_t offset) const
    {
        return static_cast<uint16_t>((data[offset] << 8) | data[offset + 1]);
    }
    int16_t s16(size_t offset) const { return static_cast<int16_t>(u16(offset)); }
    uint32_t u32(size_t offset) const
    {
        return (static_cast<uint32_t>(u16(offset)) << 16) | u16(offset + 2);
    }
    Bytes sub(size_t offset, size_t count) const { return Bytes{data + offset, count}; }
};

struct TableDirectory {
    Bytes file;
    size_t count = 0;

    // The table with tag `tag`, or an empty range when it is absent or lies outside the file.
    bool find(const char* tag, Bytes* table, size_t* offset = nullptr) const
    {
        for (size_t i = 0; i < count; ++i) {
            size_t record = 12 + 16 * i;
            if (std::memcmp(file.data + record, tag, 4) != 0)
                continue;
            uint32_t start = file.u32(record + 8);
            uint32_t length = file.u32(record + 12);
            if (!file.has(start, length))
                return false;
            *table = file.sub(start, length);
            if (offset)
                *offset = start;
            return true;
        }
        return false;
    }
};

// A format 4 (segment mapping) cmap subtable, with its segment arrays checked to lie inside it.
struct SegmentMap {
    Bytes table;
    size_t segments = 0;

    bool init(Bytes subtable)
    {
        if (!subtable.has(0, 14))
            return false;
        size_t length = subtable.u16(2);
        // Some fonts carry a wrong length; never read past the cmap table in any case.
        if (length < 14 || length > subtable.size)
            length = subtable.size;
        table = subtable.sub(0, length);
        segments = table.u16(6) / 2;
        return segments > 0 && table.has(14, segments * 8 + 2);
    }

    uint16_t glyph(uint32_t value) const
    {
        const size_t ends = 14;
        const size_t starts = ends + segments * 2 + 2;
        const size_t deltas = starts + segments * 2;
        const size_t rangeOffsets = deltas + segments * 2;
        for (size_t s = 0; s < segments; ++s) {
            if (table.u16(ends + 2 * s) < value)
                continue;
            uint16_t start = table.u16(starts + 2 * s);
            if (value < start)
                return 0;
            uint16_t delta = table.u16(deltas + 2 * s);
            size_t rangeAt = rangeOffsets + 2 * s;
            uint16_t rangeOffset = table.u16(rangeAt);
            if (rangeOffset == 0)
                return static_cast<uint16_t>((value + delta) & 0xFFFF);
            size_t at = rangeAt + rangeOffset + 2 * (value - start);
            if (!table.has(at, 2))
                return 0;
            uint16_t g = table.u16(at);
            return g == 0 ? 0 : static_cast<uint16_t>((g + delta) & 0xFFFF);
        }
        return 0; // beyond the last segment
    }
};

struct CmapChoice {
    bool hasWindows = false;
    uint16_t windowsEncoding = 0;
    SegmentMap windows;
    bool hasMac = false;
    Bytes macGlyphs; // format 0: one glyph id byte per code
};

bool readCmap(Bytes cmap, CmapChoice* choice)
{
    if (!cmap.has(0, 4))
        return false;
    size_t count = cmap.u16(2);
    if (!cmap.has(4, count * 8))
        return false;
    for (size_t i = 0; i < count; ++i) {
        size_t record = 4 + 8 * i;
        uint16_t platform = cmap.u16(record);
        uint16_t encoding = cmap.u16(record + 2);
        uint32_t offset = cmap.u32(record + 4);
        if (!cmap.has(offset, 2))
            continue;
        uint16_t format = cmap.u16(offset);
        Bytes subtable = cmap.sub(offset, cmap.size - offset);
        if (platform == 3 && format == 4 && !choice->hasWindows) {
            if (choice->windows.init(subtable)) {
                choice->hasWindows = true;
                choice->windowsEncoding = encoding;
            }
        } else if (platform == 1 && format == 0 && !choice->hasMac && subtable.has(0, 6 + 256)) {
            choice->hasMac = true;
            choice->macGlyphs = subtable.sub(6, 256);
        }
    }
    return choice->hasWindows || choice->hasMac;
}

int scaled(double value, int unitsPerEm)
{
    // Half away from zero.
    return static_cast<int>(std::lround(value * 1000.0 / unitsPerEm));
}

bool containsWord(const char* name, const char* word)
{
    return std::strstr(name, word) != nullptr;
}

} // namespace

bool readFontTables(const uint8_t* data, size_t size, const EncodingTable& table, int* encoding,
                    FontRecord* record, const char** scheme)
{
    Bytes file{data, size};
    if (!data || size < 10)
        return false;
    bool trueTypeTag = data[0] == 0 && data[1] == 1 && data[2] == 0 && data[3] == 0;
    bool openTypeTag = std::memcmp(data, "OTTO", 4) == 0;
    if (!trueTypeTag && !openTypeTag)
        return false;
    if (!file.has(0, 12))
        return false;
    TableDirectory directory{file, file.u16(4)};
    if (!file.has(12, directory.count * 16))
        return false;

    Bytes head, hhea, hmtx, maxp, post, os2, name, cmap, cff, glyf, loca;
    if (!directory.find("head", &head) || !directory.find("hhea", &hhea) || !directory.find("hmtx", &hmtx) ||
        !directory.find("maxp", &maxp) || !directory.find("post", &post) || !directory.find("OS/2", &os2) ||
        !directory.find("name", &name) || !directory.find("cmap", &cmap))
        return false;
    if (!head.has(0, 54) || !hhea.has(0, 36) || !maxp.has(0, 6) || !post.has(0, 16) || !os2.has(0, 78))
        return false;

    size_t cffOffset = 0;
    if (directory.find("CFF ", &cff, &cffOffset)) {
        record->kind = kFontInstalledCff;
        record->cffOffset = cffOffset;
        record->cffLength = cff.size;
    } else if (directory.find("glyf", &glyf) && directory.find("loca", &loca)) {
        record->kind = kFontInstalledTrueType;
    } else {
        return false;
    }

    int unitsPerEm = head.u16(18);
    if (unitsPerEm == 0)
        return false;
    size_t glyphCount = maxp.u16(4);
    size_t metricCount = hhea.u16(34);
    if (metricCount == 0 || !hmtx.has(0, metricCount * 4))
        return false;

    CmapChoice cmaps;
    if (!readCmap(cmap, &cmaps))
        return false;

    // Settle the encoding the font is used with.
    int requested = *encoding;
    int flags = 0;
    bool symbolCmap = cmaps.hasWindows && cmaps.windowsEncoding == 0;
    int used = requested;
    if (requested == -1) {
        if (!cmaps.hasWindows)
            used = 1;
        else if (cmaps.windowsEncoding == 1)
            used = 0;
    } else if (requested == 1) {
        if (!cmaps.hasMac)
            return false;
    } else {
        if (!cmaps.hasWindows)
            return false;
        if (requested == 0 && symbolCmap)
            used = -1;
    }
    if (used == -1 && symbolCmap)
        flags |= kFontSymbolic;
    if (used >= 0 && (used >= kEncodingSlots || !table.slots[used]))
        return false;

    const bool unicodeCmap = cmaps.hasWindows && cmaps.windowsEncoding == 1;
    *scheme = unicodeCmap ? kSchemeStandard : kSchemeFontSpecific;
    uint16_t weightClass = os2.u16(4);
    double stem = std::pow(weightClass / 65.0, 2) + 50;
    record->stemV = static_cast<int>(stem);
    record->stemH = 0;
    record->italicAngle = static_cast<int32_t>(post.u32(4)) / 65536.0;
    record->fixedPitch = post.u32(12) != 0 ? 1 : 0;
    for (int i = 0; i < 4; ++i)
        record->bbox[i] = scaled(head.s16(36 + 2 * static_cast<size_t>(i)), unitsPerEm);
    bool hasHeights = os2.u16(0) >= 2 && os2.has(0, 96);
    int capHeight = hasHeights ? os2.s16(88) : 0;
    record->capHeight = capHeight == 0 ? 666 : scaled(capHeight, unitsPerEm);
    record->xHeight = hasHeights ? scaled(os2.s16(86), unitsPerEm) : 0;
    record->ascender = scaled(os2.s16(68), unitsPerEm);
    record->descender = scaled(os2.s16(70), unitsPerEm);

    // Widths of the 256 codes in the order of the encoding the font is used with. A symbolic
    // font, and any font used with its built-in encoding (which has no vector to look codes up
    // in), maps code c to the character c of the 256-character page its OS/2 table starts at.
    const bool symbolic = (flags & kFontSymbolic) != 0;
    const uint32_t firstPage = os2.u16(64) & 0xFF00u;
    for (uint32_t c = 0; c < 256; ++c) {
        uint16_t glyph;
        if (used == 1) {
            glyph = cmaps.hasMac ? cmaps.macGlyphs.data[c] : 0;
        } else {
            uint32_t value = symbolic || used == -1 ? firstPage + c : table.slots[used]->unicode[c];
            glyph = cmaps.hasWindows ? cmaps.windows.glyph(value) : 0;
        }
        if (glyph >= glyphCount)
            glyph = 0;
        size_t metric = glyph < metricCount ? glyph : metricCount - 1;
        record->widths[c] = hmtx.u16(metric * 4) * 1000 / unitsPerEm;
    }

    // Descriptor flags.
    if (record->fixedPitch)
        flags |= kFontFixedPitch;
    flags |= unicodeCmap ? kFontNonsymbolic : kFontSymbolic;
    if (record->italicAngle < 0)
        flags |= kFontItalic;
    const char* fontName = record->name ? record->name : "";
    size_t nameLength = std::strlen(fontName);
    if (containsWord(fontName, "Caps") || (nameLength >= 2 && std::strcmp(fontName + nameLength - 2, "SC") == 0))
        flags |= kFontSmallCap;
    if (containsWord(fontName, "Bold") || record->stemV > 135)
        flags |= kFontForceBold;
    record->flags = flags;
    *encoding = used;
    return true;
}

uint8_t* lookupSystemFont(PdfDocument* doc, const char* face, bool bold, bool italic, size_t* size)
{
    *size = 0;
    // A configuration of our own for each lookup: no state shared between threads, and nothing
    // left behind (the library's global configuration is never released).
    FcConfig* config = FcInitLoadConfigAndFonts();
    if (!config)
        return nullptr;
    FcPattern* pattern = FcPatternCreate();
    if (!pattern) {
        FcConfigDestroy(config);
        return nullptr;
    }
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(face));
    if (bold)
        FcPatternAddInteger(pattern, FC_WEIGHT, FC_WEIGHT_BOLD);
    if (italic)
        FcPatternAddInteger(pattern, FC_SLANT, FC_SLANT_ITALIC);
    FcConfigSubstitute(config, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);

    // Candidates come best first. Aliases and fallbacks are skipped: only a font whose family
    // really is the requested name counts, and only in the formats that carry OpenType tables.
    std::string path;
    FcResult result = FcResultNoMatch;
    FcFontSet* candidates = FcFontSort(config, pattern, FcFalse, nullptr, &result);
    for (int i = 0; candidates && i < candidates->nfont && path.empty(); ++i) {
        FcPattern* font = candidates->fonts[i];
        FcChar8* format = nullptr;
        if (FcPatternGetString(font, FC_FONTFORMAT, 0, &format) != FcResultMatch ||
            (std::strcmp(reinterpret_cast<const char*>(format), "TrueType") != 0 &&
             std::strcmp(reinterpret_cast<const char*>(format), "CFF") != 0))
            continue;
        bool familyMatches = false;
        FcChar8* family = nullptr;
        for (int k = 0; FcPatternGetString(font, FC_FAMILY, k, &family) == FcResultMatch; ++k) {
            if (strcasecmp(reinterpret_cast<const char*>(family), face) == 0) {
                familyMatches = true;
                break;
            }
        }
        FcChar8* file = nullptr;
        if (familyMatches && FcPatternGetString(font, FC_FILE, 0, &file) == FcResultMatch)
            path = reinterpret_cast<const char*>(file);
    }
    if (candidates)
        FcFontSetDestroy(candidates);
    FcPatternDestroy(pattern);
    FcConfigDestroy(config);
    if (path.empty())
        return nullptr;

    FILE* in = std::fopen(path.c_str(), "rb");
    if (!in)
        return nullptr;
    struct stat info {};
    uint8_t* bytes = nullptr;
    if (fstat(fileno(in), &info) == 0 && info.st_size > 0 && info.st_size <= kMaxFontFileSize) {
        auto length = static_cast<size_t>(info.st_size);
        bytes = static_cast<uint8_t*>(allocateZeroed(doc, length, "font file"));
        if (bytes && std::fread(bytes, 1, length, in) == length) {
            *size = length;
        } else if (bytes) {
            releaseBlock(doc, bytes);
            bytes = nullptr;
        }
    }
    std::fclose(in);
    return bytes;
}

} // namespace folvane::pdf
