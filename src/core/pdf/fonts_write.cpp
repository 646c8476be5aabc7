// Writing fonts: the font entries of a page's resources, and the font objects at close. Standard
// fonts are plain Type 1 font dictionaries; installed fonts are referenced by name with their
// widths and a font descriptor, never embedded.
#include "pdf/fonts.h"

#include "pdf/document.h"
#include "fonts_internal.h"
#include "writer_internal.h"

namespace folvane::pdf {

namespace {

const EncodingVector* vectorOf(const PdfDocument* doc, const FontRecord& font)
{
    if (font.encoding < 0 || font.encoding >= kEncodingSlots)
        return nullptr;
    return doc->encodings.slots[font.encoding];
}

// The Encoding entry: a predefined encoding by name, or a reference to an encoding object whose
// number is returned (0 when none is needed).
int writeEncodingEntry(PdfDocument* doc, const EncodingVector* vector)
{
    if (!vector)
        return 0;
    if (vector->pdfName) {
        writeFormatted(doc, "/Encoding /%s ", vector->pdfName);
        return 0;
    }
    int number = reserveObject(doc);
    writeReference(doc, "/Encoding", number);
    return number;
}

void writeEncodingObject(PdfDocument* doc, int number, const EncodingVector* vector)
{
    beginObject(doc, number);
    writeString(doc, " <</Type /Encoding /Differences [0 ");
    for (const char* glyph : vector->glyphNames) {
        writeName(doc, glyph ? glyph : ".notdef");
        writeChar(doc, ' ');
    }
    writeString(doc, "] >> endobj\r");
}

void writeStandardFont(PdfDocument* doc, const FontRecord& font)
{
    const EncodingVector* vector = vectorOf(doc, font);
    beginObject(doc, font.objectNumber);
    writeString(doc, " <</Type /Font /Subtype /Type1 ");
    int encodingObject = writeEncodingEntry(doc, vector);
    writeString(doc, "/BaseFont ");
    writeName(doc, font.name);
    writeString(doc, " >> endobj\r");
    if (encodingObject)
        writeEncodingObject(doc, encodingObject, vector);
}

void writeInstalledFont(PdfDocument* doc, int index, const FontRecord& font)
{
    const EncodingVector* vector = vectorOf(doc, font);
    beginObject(doc, font.objectNumber);
    writeString(doc, " <</Type /Font ");
    writeString(doc, font.kind == kFontInstalledCff ? "/Subtype /Type1 " : "/Subtype /TrueType ");
    writeFormatted(doc, "/Name /F%d ", index);
    writeString(doc, "/BaseFont ");
    writeName(doc, font.name);
    writeString(doc, " /FirstChar 0 /LastChar 255 /Widths [ ");
    for (int row = 0; row < 16; ++row) {
        for (int column = 0; column < 16; ++column)
            writeFormatted(doc, "%d ", font.widths[row * 16 + column]);
        writeChar(doc, '\r');
    }
    writeString(doc, "] ");
    int encodingObject = writeEncodingEntry(doc, vector);
    int descriptor = reserveObject(doc);
    writeReference(doc, "/FontDescriptor", descriptor);
    writeString(doc, ">> endobj\r");

    beginObject(doc, descriptor);
    writeFormatted(doc, " <</Type /FontDescriptor /Ascent %d /CapHeight %d /Descent %d /Flags %d ", font.ascender,
                   font.capHeight, font.descender, font.flags);
    writeFormatted(doc, "/FontBBox [%d %d %d %d] /FontName ", static_cast<int>(font.bbox[0]),
                   static_cast<int>(font.bbox[1]), static_cast<int>(font.bbox[2]), static_cast<int>(font.bbox[3]));
    writeName(doc, font.name);
    writeFormatted(doc, " /ItalicAngle %d /StemV %d ", static_cast<int>(font.italicAngle), font.stemV);
    if (font.stemH > 0)
        writeFormatted(doc, "/StemH %d ", font.stemH);
    if (font.xHeight > 0)
        writeFormatted(doc, "/XHeight %d ", font.xHeight);
    writeString(doc, ">> endobj\r");
    if (encodingObject)
        writeEncodingObject(doc, encodingObject, vector);
}

} // namespace

void writeFontResources(PdfDocument* doc)
{
    if (!isValid(doc))
        return;
    FontRegistry& fonts = doc->fonts;
    bool any = false;
    for (int i = 0; i < fonts.count; ++i) {
        FontRecord& font = fonts.records[static_cast<size_t>(i)];
        if (!font.usedOnPage)
            continue;
        if (!any)
            writeString(doc, "/Font <<");
        any = true;
        writeFormatted(doc, "/F%s%d %d 0 R ", doc->resourceNamePrefix, i, font.objectNumber + doc->numberBase);
        font.usedOnPage = 0;
    }
    if (any)
        writeString(doc, ">> ");
}

void writeFontObjects(PdfDocument* doc)
{
    if (!isValid(doc))
        return;
    for (int i = 0; i < doc->fonts.count; ++i) {
        const FontRecord& font = doc->fonts.records[static_cast<size_t>(i)];
        if (font.kind == kFontStandard)
            writeStandardFont(doc, font);
        else if (font.kind == kFontGlyphless)
            writeGlyphlessFont(doc, font);
        else
            writeInstalledFont(doc, i, font);
    }
}

} // namespace folvane::pdf
