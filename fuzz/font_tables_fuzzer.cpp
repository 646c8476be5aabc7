// Feeds arbitrary bytes to the OpenType table reader, first directly and then as an installed
// font through registration, text drawing and the writing of its font objects.
// Input: one byte choosing the requested encoding, then the font file.
#include <cstdint>
#include <cstring>

#include "pdf/document.h"
#include "pdf/fonts.h"
#include "fonts_internal.h"

using namespace folvane::pdf;

namespace {

const uint8_t* g_font = nullptr;
size_t g_fontSize = 0;

uint8_t* serveFont(PdfDocument* doc, const char*, bool, bool, size_t* size)
{
    auto* copy = static_cast<uint8_t*>(allocateZeroed(doc, g_fontSize + 1, "fuzz font"));
    if (!copy)
        return nullptr;
    if (g_fontSize)
        std::memcpy(copy, g_font, g_fontSize);
    *size = g_fontSize;
    return copy;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    static const char* const kEncodings[] = {"builtin", "host", "macroman", "ebcdic"};
    const char* encodingName = kEncodings[data[0] % 4];
    g_font = data + 1;
    g_fontSize = size - 1;

    static const EncodingTable table;
    FontRecord record{};
    char name[] = "Fuzz Bold SC";
    record.name = name;
    const char* scheme = nullptr;
    int encoding = static_cast<int>(data[0] % 4) - 1;
    readFontTables(g_font, g_fontSize, table, &encoding, &record, &scheme);

    PdfDocument* doc = newPdfDocument();
    if (!doc)
        return 0;
    doc->fontLookup = serveFont;
    openOutput(doc, "");
    int font = findFont(doc, "Fuzz Font", encodingName);
    beginPage(doc, 200, 200);
    if (font >= 0) {
        setFont(doc, font, 11);
        setTextPosition(doc, 10, 100);
        char text[256];
        for (int c = 0; c < 255; ++c)
            text[c] = static_cast<char>(c + 1);
        text[255] = 0;
        showText(doc, text);
        continueText(doc, text, 255);
        stringWidth(doc, text, font, 9);
    }
    endPage(doc);
    closePdfDocument(doc);
    freePdfDocument(doc);
    return 0;
}
