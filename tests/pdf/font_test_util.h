#pragma once
// Helpers for the font and text tests: a builder of small synthetic OpenType fonts (so that every
// branch of the table reader can be reached with known numbers), a replaceable installed-font
// lookup, and an uncompressed in-memory document whose content can be read back as text.

#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "pdf/document.h"
#include "support/test_support.h"

namespace folvane::test {

// One run of consecutive characters mapped to consecutive glyphs.
struct CmapRun {
    uint16_t first;
    uint16_t last;
    uint16_t firstGlyph;
    bool viaGlyphArray = false; // use the range-offset form instead of the delta form
};

struct FontPlan {
    bool cff = false;             // "OTTO" with a CFF table, else TrueType with glyf and loca
    uint16_t unitsPerEm = 1000;
    int16_t bbox[4] = {-50, -200, 1000, 900};
    uint16_t glyphCount = 100;
    std::vector<uint16_t> advances; // hmtx advances; numberOfHMetrics = their count
    uint16_t weightClass = 400;
    uint16_t os2Version = 4;
    int16_t ascender = 800, descender = -200, xHeight = 500, capHeight = 700;
    uint16_t firstCharIndex = 0x20;
    int32_t italicAngle = 0;      // 16.16 fixed
    uint32_t fixedPitch = 0;
    bool windows = true;
    uint16_t windowsEncoding = 1; // 0 symbol, 1 Unicode
    std::vector<CmapRun> runs;
    bool mac = false;
    uint8_t macGlyphs[256] = {};
    std::vector<std::string> omit; // tags of tables to leave out
};

inline void put16(std::string& s, size_t at, uint32_t v)
{
    s[at] = static_cast<char>((v >> 8) & 0xFF);
    s[at + 1] = static_cast<char>(v & 0xFF);
}

inline void put32(std::string& s, size_t at, uint32_t v)
{
    put16(s, at, v >> 16);
    put16(s, at + 2, v & 0xFFFF);
}

inline std::string zeros(size_t n)
{
    return std::string(n, '\0');
}

inline std::string formatFour(const std::vector<CmapRun>& runs)
{
    std::vector<CmapRun> segments = runs;
    segments.push_back({0xFFFF, 0xFFFF, 0, false});
    const size_t count = segments.size();
    std::vector<uint16_t> glyphArray;
    std::string t = zeros(14 + count * 8 + 2);
    put16(t, 0, 4);
    put16(t, 6, static_cast<uint32_t>(count * 2));
    const size_t ends = 14, starts = ends + count * 2 + 2, deltas = starts + count * 2, offsets = deltas + count * 2;
    for (size_t i = 0; i < count; ++i) {
        const CmapRun& r = segments[i];
        put16(t, ends + 2 * i, r.last);
        put16(t, starts + 2 * i, r.first);
        if (r.first == 0xFFFF) {
            put16(t, deltas + 2 * i, 1);
        } else if (r.viaGlyphArray) {
            size_t arrayStart = offsets + count * 2 + glyphArray.size() * 2;
            put16(t, offsets + 2 * i, static_cast<uint32_t>(arrayStart - (offsets + 2 * i)));
            for (uint32_t c = r.first; c <= r.last; ++c)
                glyphArray.push_back(static_cast<uint16_t>(r.firstGlyph + (c - r.first)));
        } else {
            put16(t, deltas + 2 * i, static_cast<uint32_t>((r.firstGlyph - r.first) & 0xFFFF));
        }
    }
    for (uint16_t g : glyphArray) {
        t += zeros(2);
        put16(t, t.size() - 2, g);
    }
    put16(t, 2, static_cast<uint32_t>(t.size()));
    return t;
}

inline std::string buildFont(const FontPlan& plan)
{
    std::map<std::string, std::string> tables;
    std::string head = zeros(54);
    put32(head, 12, 0x5F0F3CF5);
    put16(head, 18, plan.unitsPerEm);
    for (int i = 0; i < 4; ++i)
        put16(head, 36 + 2 * static_cast<size_t>(i), static_cast<uint16_t>(plan.bbox[i]));
    tables["head"] = head;

    std::vector<uint16_t> advances = plan.advances;
    if (advances.empty())
        for (uint16_t g = 0; g < plan.glyphCount; ++g)
            advances.push_back(static_cast<uint16_t>(100 + 10 * g));
    std::string hhea = zeros(36);
    put16(hhea, 34, static_cast<uint32_t>(advances.size()));
    tables["hhea"] = hhea;
    std::string hmtx = zeros(advances.size() * 4);
    for (size_t g = 0; g < advances.size(); ++g)
        put16(hmtx, g * 4, advances[g]);
    tables["hmtx"] = hmtx;

    std::string maxp = zeros(6);
    put32(maxp, 0, 0x00005000);
    put16(maxp, 4, plan.glyphCount);
    tables["maxp"] = maxp;

    std::string post = zeros(32);
    put32(post, 0, 0x00030000);
    put32(post, 4, static_cast<uint32_t>(plan.italicAngle));
    put32(post, 12, plan.fixedPitch);
    tables["post"] = post;

    std::string os2 = zeros(plan.os2Version >= 2 ? 96 : 78);
    put16(os2, 0, plan.os2Version);
    put16(os2, 4, plan.weightClass);
    put16(os2, 64, plan.firstCharIndex);
    put16(os2, 68, static_cast<uint16_t>(plan.ascender));
    put16(os2, 70, static_cast<uint16_t>(plan.descender));
    if (plan.os2Version >= 2) {
        put16(os2, 86, static_cast<uint16_t>(plan.xHeight));
        put16(os2, 88, static_cast<uint16_t>(plan.capHeight));
    }
    tables["OS/2"] = os2;
    tables["name"] = zeros(6);

    std::vector<std::string> subtables;
    std::vector<std::pair<uint16_t, uint16_t>> ids;
    if (plan.mac) {
        std::string f0 = zeros(6);
        put16(f0, 2, 262);
        f0.append(reinterpret_cast<const char*>(plan.macGlyphs), 256);
        subtables.push_back(f0);
        ids.push_back({1, 0});
    }
    if (plan.windows) {
        subtables.push_back(formatFour(plan.runs));
        ids.push_back({3, plan.windowsEncoding});
    }
    std::string cmap = zeros(4 + 8 * subtables.size());
    put16(cmap, 2, static_cast<uint32_t>(subtables.size()));
    for (size_t i = 0; i < subtables.size(); ++i) {
        put16(cmap, 4 + 8 * i, ids[i].first);
        put16(cmap, 6 + 8 * i, ids[i].second);
        put32(cmap, 8 + 8 * i, static_cast<uint32_t>(cmap.size()));
        cmap += subtables[i];
    }
    tables["cmap"] = cmap;
    if (plan.cff) {
        tables["CFF "] = std::string("\x01\x00\x04\x01", 4) + zeros(12);
    } else {
        tables["glyf"] = zeros(4);
        tables["loca"] = zeros(4);
    }
    for (const auto& tag : plan.omit)
        tables.erase(tag);

    std::string file = zeros(12 + 16 * tables.size());
    if (plan.cff)
        file.replace(0, 4, "OTTO");
    else
        put32(file, 0, 0x00010000);
    put16(file, 4, static_cast<uint32_t>(tables.size()));
    size_t i = 0;
    for (const auto& [tag, body] : tables) {
        while (file.size() % 4)
            file += '\0';
        size_t record = 12 + 16 * i++;
        file.replace(record, 4, tag);
        put32(file, record + 8, static_cast<uint32_t>(file.size()));
        put32(file, record + 12, static_cast<uint32_t>(body.size()));
        file += body;
    }
    return file;
}

inline uint32_t get32(const std::string& s, size_t at)
{
    uint32_t v = 0;
    for (size_t i = 0; i < 4; ++i)
        v = (v << 8) | static_cast<uint8_t>(s[at + i]);
    return v;
}

// Offset of table `tag` in a font built by buildFont, or 0.
inline size_t tableOffset(const std::string& file, const std::string& tag)
{
    size_t count = (static_cast<uint8_t>(file[4]) << 8) | static_cast<uint8_t>(file[5]);
    for (size_t i = 0; i < count; ++i)
        if (file.compare(12 + 16 * i, 4, tag) == 0)
            return get32(file, 12 + 16 * i + 8);
    return 0;
}

// The common test font: printable ASCII on glyphs 1..95 (delta form), the Euro sign on glyph 96
// and the bullet on glyph 97 (glyph-array form); glyph g advances 100 + 10 * g units.
inline FontPlan latinPlan()
{
    FontPlan plan;
    plan.runs = {{0x20, 0x7E, 1}, {0x2022, 0x2022, 97, true}, {0x20AC, 0x20AC, 96, true}};
    return plan;
}

// Installed fonts served from memory instead of the system. Lookups are recorded.
struct FakeFonts {
    static std::map<std::string, std::string>& files()
    {
        static std::map<std::string, std::string> f;
        return f;
    }
    static std::vector<std::string>& lookups()
    {
        static std::vector<std::string> l;
        return l;
    }
    static uint8_t* lookup(pdf::PdfDocument* doc, const char* face, bool, bool, size_t* size)
    {
        lookups().push_back(face);
        auto it = files().find(face);
        if (it == files().end())
            return nullptr;
        auto* bytes = static_cast<uint8_t*>(pdf::allocateZeroed(doc, it->second.size() + 1, "test font"));
        std::memcpy(bytes, it->second.data(), it->second.size());
        *size = it->second.size();
        return bytes;
    }
    static void reset()
    {
        files().clear();
        lookups().clear();
    }
};

// An open in-memory document with uncompressed content, so that operators can be read back.
inline pdf::PdfDocument* openUncompressed()
{
    pdf::PdfDocument* doc = pdf::newPdfDocument();
    pdf::openOutput(doc, "");
    pdf::setNumericParameter(doc, "compression", 0);
    return doc;
}

inline std::string bytesOf(const pdf::PdfDocument* doc)
{
    size_t length = 0;
    const uint8_t* bytes = pdf::bufferedBytes(doc, &length);
    return std::string(reinterpret_cast<const char*>(bytes), length);
}

inline size_t countOf(const std::string& text, const std::string& needle)
{
    size_t n = 0;
    for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1))
        ++n;
    return n;
}

// A test with one open, uncompressed in-memory document. At the end the document is closed
// and its bytes are kept as a PDF file, which the base fixture checks with qpdf.
class DocumentTest : public PdfTest {
protected:
    void SetUp() override
    {
        FakeFonts::reset();
        doc = openUncompressed();
    }
    void TearDown() override
    {
        if (doc && doc->scopeDepth > 1) {
            pdf::closePdfDocument(doc);
            const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
            keepPdfBytes(std::string(info->name()) + ".pdf", bytesOf(doc));
        }
        pdf::freePdfDocument(doc);
        FakeFonts::reset();
        PdfTest::TearDown();
    }
    // Closes the document and returns the whole file.
    std::string finish()
    {
        pdf::closePdfDocument(doc);
        std::string file = bytesOf(doc);
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        keepPdfBytes(std::string(info->name()) + ".pdf", file);
        return file;
    }
    pdf::PdfDocument* doc = nullptr;
};

} // namespace folvane::test
