// Installed fonts: the acceptance test, the choice of cmap subtable and encoding, the scaled
// metrics, widths and flags read from the OpenType tables, damaged files, and real fonts found
// through fontconfig.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "pdf/document.h"
#include "pdf/fonts.h"
#include "fonts_internal.h"
#include "pdf/font_test_util.h"

using namespace folvane::pdf;
using folvane::test::buildFont;
using folvane::test::FontPlan;
using folvane::test::latinPlan;

namespace {

// Reads a synthetic font with the given requested encoding. Returns the encoding it settled on,
// or -2 when the font was refused.
int read(const std::string& file, int requested, FontRecord* record, const char* name = "Test")
{
    static const EncodingTable table;
    *record = FontRecord{};
    std::string copy = name;
    record->name = copy.data();
    const char* scheme = nullptr;
    int encoding = requested;
    bool ok = readFontTables(reinterpret_cast<const uint8_t*>(file.data()), file.size(), table, &encoding, record,
                             &scheme);
    record->name = nullptr;
    return ok ? encoding : -2;
}

int advanceOfGlyph(int glyph)
{
    return 100 + 10 * glyph;
}

using InstalledFontTest = folvane::test::DocumentTest;

} // namespace

TEST(FontTables, ChoosesTheEncodingByTheCmapSubtables)
{
    FontRecord r;
    FontPlan unicode = latinPlan();
    EXPECT_EQ(read(buildFont(unicode), -1, &r), 0);
    EXPECT_EQ(read(buildFont(unicode), 0, &r), 0);
    EXPECT_EQ(read(buildFont(unicode), 2, &r), 2);
    EXPECT_EQ(read(buildFont(unicode), 1, &r), -2); // Mac subtable required
    EXPECT_EQ(read(buildFont(unicode), 5, &r), -2); // an empty slot

    FontPlan symbol = latinPlan();
    symbol.windowsEncoding = 0;
    EXPECT_EQ(read(buildFont(symbol), -1, &r), -1);
    EXPECT_TRUE(r.flags & kFontSymbolic);
    EXPECT_EQ(read(buildFont(symbol), 0, &r), -1);
    EXPECT_TRUE(r.flags & kFontSymbolic);
    EXPECT_FALSE(r.flags & kFontNonsymbolic);

    FontPlan other = latinPlan();
    other.windowsEncoding = 2;
    EXPECT_EQ(read(buildFont(other), -1, &r), -1);

    FontPlan macOnly = latinPlan();
    macOnly.windows = false;
    macOnly.mac = true;
    EXPECT_EQ(read(buildFont(macOnly), -1, &r), 1);
    EXPECT_EQ(read(buildFont(macOnly), 1, &r), 1);
    EXPECT_EQ(read(buildFont(macOnly), 0, &r), -2); // Windows subtable required

    FontPlan neither = latinPlan();
    neither.windows = false;
    EXPECT_EQ(read(buildFont(neither), -1, &r), -2);
}

TEST(FontTables, WidthsFollowTheEncodingOrder)
{
    FontRecord r;
    ASSERT_EQ(read(buildFont(latinPlan()), 0, &r), 0);
    EXPECT_EQ(r.widths['A'], advanceOfGlyph('A' - 0x20 + 1));
    EXPECT_EQ(r.widths[' '], advanceOfGlyph(1));
    EXPECT_EQ(r.widths[128], advanceOfGlyph(96)); // Euro, through the glyph array
    EXPECT_EQ(r.widths[149], advanceOfGlyph(97)); // bullet
    EXPECT_EQ(r.widths[129], advanceOfGlyph(97)); // unassigned codes show the bullet
    EXPECT_EQ(r.widths[200], advanceOfGlyph(0));  // not in the font: the missing glyph
    EXPECT_EQ(r.widths[5], advanceOfGlyph(0));

    // EBCDIC: "A" is code 0xC1 there, space 0x40.
    ASSERT_EQ(read(buildFont(latinPlan()), 2, &r), 2);
    EXPECT_EQ(r.widths[0xC1], advanceOfGlyph('A' - 0x20 + 1));
    EXPECT_EQ(r.widths[0x40], advanceOfGlyph(1));

    // A symbol font maps code c to the page its OS/2 table starts at.
    FontPlan symbol;
    symbol.windowsEncoding = 0;
    symbol.firstCharIndex = 0xF020;
    symbol.runs = {{0xF020, 0xF0FF, 1}};
    ASSERT_EQ(read(buildFont(symbol), -1, &r), -1);
    EXPECT_EQ(r.widths['A'], advanceOfGlyph('A' - 0x20 + 1));
    EXPECT_EQ(r.widths[0x10], advanceOfGlyph(0));

    // Mac subtable: one glyph byte per code.
    FontPlan mac;
    mac.windows = false;
    mac.mac = true;
    mac.macGlyphs['A'] = 7;
    mac.macGlyphs[0xDB] = 9;
    ASSERT_EQ(read(buildFont(mac), 1, &r), 1);
    EXPECT_EQ(r.widths['A'], advanceOfGlyph(7));
    EXPECT_EQ(r.widths[0xDB], advanceOfGlyph(9));
    EXPECT_EQ(r.widths['B'], advanceOfGlyph(0));
}

TEST(FontTables, ScalesMetricsAndRoundsHalfAwayFromZero)
{
    FontPlan plan = latinPlan();
    plan.unitsPerEm = 2000;
    plan.bbox[0] = -1401; // -700.5
    plan.bbox[1] = -3;    // -1.5
    plan.bbox[2] = 1401;  // 700.5
    plan.bbox[3] = 2;     // 1
    plan.ascender = 1599;
    plan.descender = -401;
    plan.capHeight = 1001;
    plan.xHeight = 999;
    plan.glyphCount = 40;
    plan.advances = {1000, 1401}; // glyphs beyond the metrics take the last advance
    FontRecord r;
    ASSERT_EQ(read(buildFont(plan), 0, &r), 0);
    EXPECT_EQ(r.bbox[0], -701);
    EXPECT_EQ(r.bbox[1], -2);
    EXPECT_EQ(r.bbox[2], 701);
    EXPECT_EQ(r.bbox[3], 1);
    EXPECT_EQ(r.ascender, 800);
    EXPECT_EQ(r.descender, -201);
    EXPECT_EQ(r.capHeight, 501);
    EXPECT_EQ(r.xHeight, 500);
    EXPECT_EQ(r.widths[' '], 700); // 1401 * 1000 / 2000, integer division
    EXPECT_EQ(r.widths[200], 500); // glyph 0
    EXPECT_EQ(r.widths['A'], 700); // glyph 34: beyond the two metrics, the last advance
    EXPECT_EQ(r.widths['z'], 500); // glyph 91 lies beyond the 40 glyphs: the missing glyph
}

TEST(FontTables, DerivesStemAndFlags)
{
    FontRecord r;
    FontPlan plan = latinPlan();
    plan.weightClass = 400;
    ASSERT_EQ(read(buildFont(plan), 0, &r, "Plain"), 0);
    EXPECT_EQ(r.stemV, 87); // (400 / 65)^2 + 50 = 87.87
    EXPECT_EQ(r.stemH, 0);
    EXPECT_EQ(r.flags, kFontNonsymbolic);
    EXPECT_EQ(r.kind, kFontInstalledTrueType);

    plan.weightClass = 700; // 165.97: heavy enough to force bold
    plan.italicAngle = -12 * 65536 - 32768;
    plan.fixedPitch = 1;
    ASSERT_EQ(read(buildFont(plan), 0, &r, "Plain"), 0);
    EXPECT_EQ(r.stemV, 165);
    EXPECT_DOUBLE_EQ(r.italicAngle, -12.5);
    EXPECT_EQ(r.flags, kFontFixedPitch | kFontNonsymbolic | kFontItalic | kFontForceBold);

    plan = latinPlan();
    ASSERT_EQ(read(buildFont(plan), 0, &r, "Garamond Bold SC"), 0);
    EXPECT_EQ(r.flags, kFontNonsymbolic | kFontSmallCap | kFontForceBold);
    ASSERT_EQ(read(buildFont(plan), 0, &r, "Palatino SmallCaps"), 0);
    EXPECT_EQ(r.flags, kFontNonsymbolic | kFontSmallCap);

    // Without OS/2 heights (version 1) the cap height defaults to 666 and there is no x height.
    plan.os2Version = 1;
    ASSERT_EQ(read(buildFont(plan), 0, &r), 0);
    EXPECT_EQ(r.capHeight, 666);
    EXPECT_EQ(r.xHeight, 0);

    plan = latinPlan();
    plan.cff = true;
    ASSERT_EQ(read(buildFont(plan), 0, &r), 0);
    EXPECT_EQ(r.kind, kFontInstalledCff);
    EXPECT_EQ(r.cffLength, 16u);
}

TEST(FontTables, RefusesUnacceptableAndDamagedFiles)
{
    FontRecord r;
    const std::string good = buildFont(latinPlan());
    ASSERT_EQ(read(good, 0, &r), 0);

    EXPECT_EQ(read(good.substr(0, 9), 0, &r), -2);
    EXPECT_EQ(read("ttcf" + good.substr(4), 0, &r), -2);
    EXPECT_EQ(read(std::string("\0\1\0\0\0\0\0\0\0\0", 10), 0, &r), -2);
    for (const char* table : {"head", "hhea", "hmtx", "maxp", "post", "OS/2", "name", "cmap", "glyf", "loca"}) {
        FontPlan plan = latinPlan();
        plan.omit = {table};
        EXPECT_EQ(read(buildFont(plan), 0, &r), -2) << "without " << table;
    }
    FontPlan zeroEm = latinPlan();
    zeroEm.unitsPerEm = 0;
    EXPECT_EQ(read(buildFont(zeroEm), 0, &r), -2);
    FontPlan noMetrics = latinPlan();
    noMetrics.advances = {};
    noMetrics.glyphCount = 0;
    EXPECT_EQ(read(buildFont(noMetrics), 0, &r), -2);

    // Every truncation of a good file is refused or read without reading outside it.
    for (size_t n = 0; n < good.size(); n += 7)
        read(good.substr(0, n), 0, &r);
    // Every single corrupted byte likewise.
    for (size_t at = 0; at < good.size(); ++at) {
        std::string bad = good;
        bad[at] = static_cast<char>(bad[at] ^ 0xA5);
        read(bad, -1, &r);
        read(bad, 0, &r);
    }
}

TEST(FontTables, BadRangeOffsetsGiveTheMissingGlyph)
{
    std::string file = buildFont(latinPlan());
    size_t cmap = folvane::test::tableOffset(file, "cmap");
    size_t subtable = cmap + folvane::test::get32(file, cmap + 8);
    const size_t segments = 4; // ASCII, bullet, Euro, the final one
    const size_t rangeOffsets = subtable + 14 + segments * 6 + 2;
    folvane::test::put16(file, rangeOffsets + 2 * 2, 0xFFF0); // the Euro's, far beyond the table
    FontRecord r;
    ASSERT_EQ(read(file, 0, &r), 0);
    EXPECT_EQ(r.widths[128], advanceOfGlyph(0));
    EXPECT_EQ(r.widths[149], advanceOfGlyph(97));
    EXPECT_EQ(r.widths['A'], advanceOfGlyph('A' - 0x20 + 1));

    // A segment count larger than the subtable can hold makes the subtable unusable.
    folvane::test::put16(file, subtable + 6, 0xFFFE);
    EXPECT_EQ(read(file, 0, &r), -2);
}

TEST_F(InstalledFontTest, ReadsDejaVuSansFromTheSystem)
{
    int font = findFont(doc, "DejaVu Sans", "host");
    ASSERT_GE(font, 0) << "fonts-dejavu-core must be installed";
    const FontRecord& r = doc->fonts.records[static_cast<size_t>(font)];
    EXPECT_EQ(r.kind, kFontInstalledTrueType);
    EXPECT_EQ(r.encoding, 0);
    EXPECT_EQ(r.flags, kFontNonsymbolic);
    EXPECT_EQ(r.widths['A'], 684);  // 1401 of 2048 units
    EXPECT_EQ(r.widths[' '], 317);  // 651 of 2048 units
    EXPECT_EQ(r.ascender, 760);     // 1556 / 2.048 = 759.8
    EXPECT_EQ(r.descender, -240);   // -492 / 2.048 = -240.2
    EXPECT_EQ(r.capHeight, 666);    // no cap height in its OS/2 table
    EXPECT_EQ(r.stemV, 87);
    EXPECT_EQ(r.bbox[0], -1021);    // -2090 / 2.048 = -1020.5
    EXPECT_GT(r.fontDataSize, 100000u);

    doc->fontBold = true;
    int bold = findFont(doc, "DejaVu Sans", "winansi");
    EXPECT_EQ(bold, font); // same name and encoding: the registered font is reused
}

TEST_F(InstalledFontTest, ReadsABoldCffFontFromTheSystem)
{
    doc->fontBold = true;
    int font = findFont(doc, "Nimbus Sans", "host");
    ASSERT_GE(font, 0) << "fonts-urw-base35 must be installed";
    const FontRecord& r = doc->fonts.records[static_cast<size_t>(font)];
    EXPECT_EQ(r.kind, kFontInstalledCff);
    EXPECT_EQ(r.widths['A'], 722); // the bold face's A
    EXPECT_EQ(r.stemV, 165);
    EXPECT_TRUE(r.flags & kFontForceBold);
    EXPECT_GT(r.cffLength, 0u);
    EXPECT_LE(r.cffOffset + r.cffLength, r.fontDataSize);
}

TEST_F(InstalledFontTest, RefusesAliasesAndUnknownFamilies)
{
    // fontconfig would substitute a similar font for these; only a real family counts.
    EXPECT_EQ(findFont(doc, "Symbol", "host"), -1);
    EXPECT_EQ(findFont(doc, "No Such Family 12345", "host"), -1);
    EXPECT_EQ(findFont(doc, "sans-serif", "host"), -1);
    EXPECT_EQ(doc->fonts.count, 0);
}
