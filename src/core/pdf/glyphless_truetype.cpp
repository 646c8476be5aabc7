// The embedded file of the glyphless font, built once in memory: a TrueType font of two empty
// glyphs with the tables a PDF renderer reads from an embedded CIDFontType2 (cmap, glyf, head,
// hhea, hmtx, loca, maxp, name, post). Nothing is ever drawn with it; it only gives every code a
// width and keeps renderers from substituting a real font.
#include <cstdint>
#include <string>
#include <vector>

#include "fonts_internal.h"
#include "pdf/unicode_text.h"

namespace folvane::pdf {

namespace {

class Table {
public:
    explicit Table(const char* tag) : m_tag(tag) {}
    Table& u16(unsigned value)
    {
        m_bytes.push_back(static_cast<uint8_t>(value >> 8));
        m_bytes.push_back(static_cast<uint8_t>(value));
        return *this;
    }
    Table& s16(int value) { return u16(static_cast<unsigned>(value) & 0xFFFF); }
    Table& u32(uint32_t value) { return u16(value >> 16).u16(value & 0xFFFF); }
    Table& zeros(size_t count)
    {
        m_bytes.insert(m_bytes.end(), count, 0);
        return *this;
    }
    const char* tag() const { return m_tag; }
    std::vector<uint8_t>& bytes() { return m_bytes; }

private:
    const char* m_tag;
    std::vector<uint8_t> m_bytes;
};

uint32_t checksum(const std::vector<uint8_t>& bytes, size_t offset, size_t length)
{
    uint32_t sum = 0;
    for (size_t i = 0; i < length; i += 4) {
        uint32_t word = 0;
        for (size_t j = 0; j < 4; ++j)
            word = (word << 8) | (i + j < length ? bytes[offset + i + j] : 0);
        sum += word;
    }
    return sum;
}

void putU32(std::vector<uint8_t>& bytes, size_t at, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes[at + static_cast<size_t>(i)] = static_cast<uint8_t>(value >> (24 - 8 * i));
}

Table nameTable()
{
    // Family, subfamily, full name and PostScript name, in the Windows Unicode platform.
    const std::string family = "GlyphLessFont";
    const std::string values[] = {family, "Regular", family, family};
    const unsigned ids[] = {1, 2, 4, 6};
    Table t("name");
    t.u16(0).u16(4).u16(6 + 4 * 12);
    unsigned offset = 0;
    for (int i = 0; i < 4; ++i) {
        auto length = static_cast<unsigned>(values[i].size() * 2);
        t.u16(3).u16(1).u16(0x409).u16(ids[i]).u16(length).u16(offset);
        offset += length;
    }
    for (const std::string& value : values)
        for (char c : value)
            t.u16(static_cast<unsigned char>(c));
    return t;
}

std::vector<uint8_t> build()
{
    const int advance = kGlyphlessAdvance;
    std::vector<Table> tables;
    // A format 4 subtable with only the closing segment: no character maps to a glyph, which is
    // right for a font addressed by glyph numbers through the CIDToGIDMap.
    tables.push_back(Table("cmap"));
    tables.back().u16(0).u16(1).u16(3).u16(1).u32(12);
    tables.back().u16(4).u16(24).u16(0).u16(2).u16(2).u16(0).u16(0).u16(0xFFFF).u16(0).u16(0xFFFF).u16(1).u16(0);
    tables.push_back(Table("glyf")); // both glyphs have no outline
    tables.push_back(Table("head"));
    tables.back()
        .u32(0x00010000).u32(0x00010000).u32(0) // version, revision, checksum adjustment (set below)
        .u32(0x5F0F3CF5).u16(0x000B).u16(1000)  // magic, flags, units per em
        .zeros(16)                              // created, modified
        .s16(0).s16(kGlyphlessDescent).s16(advance).s16(kGlyphlessAscent)
        .u16(0).u16(3).s16(2).s16(0).s16(0);    // style, smallest size, direction, short loca, format
    tables.push_back(Table("hhea"));
    tables.back()
        .u32(0x00010000).s16(kGlyphlessAscent).s16(kGlyphlessDescent).s16(0)
        .u16(static_cast<unsigned>(advance)).s16(0).s16(0).s16(0)
        .s16(1).s16(0).s16(0).zeros(8).s16(0).u16(2);
    tables.push_back(Table("hmtx"));
    tables.back().u16(static_cast<unsigned>(advance)).s16(0).u16(static_cast<unsigned>(advance)).s16(0);
    tables.push_back(Table("loca"));
    tables.back().u16(0).u16(0).u16(0);
    tables.push_back(Table("maxp"));
    tables.back().u32(0x00010000).u16(2).zeros(8).u16(2).zeros(16);
    tables.push_back(nameTable());
    tables.push_back(Table("post"));
    tables.back().u32(0x00030000).u32(0).s16(-100).s16(50).u32(0).zeros(16);

    const auto count = static_cast<unsigned>(tables.size());
    unsigned power = 1, log = 0;
    while (power * 2 <= count) {
        power *= 2;
        ++log;
    }
    std::vector<uint8_t> font;
    Table header("");
    header.u32(0x00010000).u16(count).u16(power * 16).u16(log).u16(count * 16 - power * 16);
    font = header.bytes();
    size_t offset = 12 + 16 * tables.size();
    size_t headOffset = 0;
    std::vector<uint8_t> data;
    for (Table& table : tables) {
        std::vector<uint8_t>& bytes = table.bytes();
        size_t length = bytes.size();
        if (std::string(table.tag()) == "head")
            headOffset = offset;
        Table entry("");
        entry.u32(static_cast<uint32_t>(table.tag()[0]) << 24 | static_cast<uint32_t>(table.tag()[1]) << 16 |
                  static_cast<uint32_t>(table.tag()[2]) << 8 | static_cast<uint32_t>(table.tag()[3]))
            .u32(checksum(bytes, 0, length))
            .u32(static_cast<uint32_t>(offset))
            .u32(static_cast<uint32_t>(length));
        font.insert(font.end(), entry.bytes().begin(), entry.bytes().end());
        bytes.resize((length + 3) & ~size_t {3}, 0); // tables start on four-byte boundaries
        data.insert(data.end(), bytes.begin(), bytes.end());
        offset += bytes.size();
    }
    font.insert(font.end(), data.begin(), data.end());
    putU32(font, headOffset + 8, 0xB1B0AFBA - checksum(font, 0, font.size()));
    return font;
}

} // namespace

const std::vector<uint8_t>& glyphlessTrueType()
{
    static const std::vector<uint8_t> font = build();
    return font;
}

} // namespace folvane::pdf
