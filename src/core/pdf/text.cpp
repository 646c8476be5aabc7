// Text objects, the text state and the fill and stroke colours. The PDF text state is kept lazy:
// font, size, matrix, scaling, rendering mode and rise are written when they are set, while the
// leading and non-zero word and character spacing wait for the next shown text, so a stamp
// repeated on every page costs only a few bytes per page.
#include "pdf/fonts.h"

#include <cstring>

#include "pdf/document.h"
#include "writer_internal.h"

namespace folvane::pdf {

namespace {

// Colour components may exceed 1 by the rounding of a byte / 255 conversion.
constexpr double kMaxComponent = 1.000015;

TextState& textState(PdfDocument* doc)
{
    return doc->graphics[doc->graphicsDepth].text;
}

bool isFont(const PdfDocument* doc, int font)
{
    return font >= 0 && font < doc->fonts.count;
}

// Text operators draw on the page: anywhere else they are reported and change nothing.
bool inPage(PdfDocument* doc, const char* operation)
{
    if (!isValid(doc))
        return false;
    if (currentScope(doc) == kScopePage)
        return true;
    reportError(doc, kErrState, "%s called outside a page", operation);
    return false;
}

enum class SetterScope { None, Store, Write };

// Setters store their value in document scope and write it in page scope.
SetterScope setterScope(PdfDocument* doc, const char* operation)
{
    if (!isValid(doc))
        return SetterScope::None;
    int scope = currentScope(doc);
    if (scope == kScopePage)
        return SetterScope::Write;
    if (scope == kScopeDocument)
        return SetterScope::Store;
    reportError(doc, kErrState, "%s called outside a document or page", operation);
    return SetterScope::None;
}

size_t textLength(const char* bytes, size_t length)
{
    return length == 0 && bytes ? std::strlen(bytes) : length;
}

void writeTextParameters(PdfDocument* doc)
{
    if (doc->textParamsWritten)
        return;
    const TextState& ts = textState(doc);
    writeFormatted(doc, "%f TL\r", ts.leading);
    if (ts.wordSpacing != 0)
        writeFormatted(doc, "%f Tw\r", ts.wordSpacing);
    if (ts.charSpacing != 0)
        writeFormatted(doc, "%f Tc\r", ts.charSpacing);
    doc->textParamsWritten = true;
}

void show(PdfDocument* doc, const char* bytes, size_t length, bool nextLine)
{
    TextState& ts = textState(doc);
    bool apostrophe = nextLine && doc->textObjectOpen;
    if (!doc->textObjectOpen)
        beginTextObject(doc, true);
    writeTextParameters(doc);
    writeLiteralString(doc, bytes, length);
    writeString(doc, apostrophe ? " '\r" : " Tj\r");
    if (ts.renderingMode > 3)
        endTextObject(doc); // a clipping mode takes effect when the text object ends
    ts.textMatrix[4] += stringWidth(doc, bytes, ts.font, ts.fontSize, length);
}

// Character and word spacing share their rule: 0 is written at once, any other value waits for
// the next shown text.
void setSpacing(PdfDocument* doc, double value, double TextState::*field, const char* op, const char* operation)
{
    SetterScope scope = setterScope(doc, operation);
    if (scope == SetterScope::None)
        return;
    if (scope == SetterScope::Write && value == 0) {
        beginTextObject(doc, false);
        writeFormatted(doc, "%f %s\r", value, op);
    }
    textState(doc).*field = value;
    doc->textParamsWritten = false;
}

void applyColor(PdfDocument* doc, bool write, bool stroke, int space, const double* c)
{
    ColorState& color = doc->graphics[doc->graphicsDepth].color;
    int& current = stroke ? color.strokeSpace : color.fillSpace;
    double* values = stroke ? color.stroke : color.fill;
    const int count = space == kColorGray ? 1 : space == kColorRgb ? 3 : 4;
    bool same = current == space;
    for (int i = 0; same && i < count; ++i)
        same = values[i] == c[i];
    if (same)
        return;
    if (write) {
        switch (space) {
        case kColorGray: writeFormatted(doc, "%f %s\r", c[0], stroke ? "G" : "g"); break;
        case kColorRgb: writeFormatted(doc, "%f %f %f %s\r", c[0], c[1], c[2], stroke ? "RG" : "rg"); break;
        default: writeFormatted(doc, "%f %f %f %f %s\r", c[0], c[1], c[2], c[3], stroke ? "K" : "k"); break;
        }
    }
    current = space;
    for (int i = 0; i < 4; ++i)
        values[i] = i < count ? c[i] : 0;
}

} // namespace

void beginTextObject(PdfDocument* doc, bool withMatrix)
{
    if (!isValid(doc))
        return;
    if (!doc->textObjectOpen) {
        doc->procSets |= kProcText;
        doc->textObjectOpen = true;
        doc->textParamsWritten = false;
        writeString(doc, "BT\r");
    }
    if (withMatrix) {
        const double* m = textState(doc).textMatrix;
        writeFormatted(doc, "%f %f %f %f %f %f Tm\r", m[0], m[1], m[2], m[3], m[4], m[5]);
    }
}

void setFont(PdfDocument* doc, int font, double size)
{
    if (!inPage(doc, "setFont") || !isFont(doc, font))
        return;
    doc->fonts.records[static_cast<size_t>(font)].usedOnPage = 1;
    TextState& ts = textState(doc);
    ts.font = font;
    ts.fontSize = size;
    beginTextObject(doc, false);
    writeFormatted(doc, "/F%s%d %f Tf\r", doc->resourceNamePrefix, font, size);
    setLeading(doc, size);
}

void setTextPosition(PdfDocument* doc, double x, double y)
{
    if (!inPage(doc, "setTextPosition"))
        return;
    TextState& ts = textState(doc);
    ts.textMatrix[4] = ts.lineMatrix[4] = x;
    ts.textMatrix[5] = ts.lineMatrix[5] = y;
    beginTextObject(doc, true);
}

void showText(PdfDocument* doc, const char* bytes, size_t length)
{
    if (!inPage(doc, "showText") || !bytes || !isFont(doc, textState(doc).font))
        return;
    length = textLength(bytes, length);
    if (length == 0)
        return;
    show(doc, bytes, length, false);
}

void continueText(PdfDocument* doc, const char* bytes, size_t length)
{
    if (!inPage(doc, "continueText") || !isFont(doc, textState(doc).font))
        return;
    length = textLength(bytes, length);
    TextState& ts = textState(doc);
    ts.textMatrix[4] = ts.lineMatrix[4];
    ts.textMatrix[5] -= ts.leading;
    show(doc, bytes ? bytes : "", length, true);
}

double stringWidth(PdfDocument* doc, const char* bytes, int font, double size, size_t length)
{
    if (!isValid(doc) || !bytes || !isFont(doc, font))
        return 0;
    length = textLength(bytes, length);
    const FontRecord& record = doc->fonts.records[static_cast<size_t>(font)];
    const TextState& ts = textState(doc);
    double width = 0;
    for (size_t i = 0; i < length; ++i) {
        auto c = static_cast<uint8_t>(bytes[i]);
        width += record.widths[c] * size / 1000 + ts.charSpacing;
        if (c == 32)
            width += ts.wordSpacing;
    }
    return width * ts.horizontalScaling * ts.textMatrix[0];
}

void setCharSpacing(PdfDocument* doc, double value)
{
    setSpacing(doc, value, &TextState::charSpacing, "Tc", "setCharSpacing");
}

void setWordSpacing(PdfDocument* doc, double value)
{
    setSpacing(doc, value, &TextState::wordSpacing, "Tw", "setWordSpacing");
}

void setHorizontalScaling(PdfDocument* doc, double percent)
{
    SetterScope scope = setterScope(doc, "setHorizontalScaling");
    if (scope == SetterScope::None || percent == textState(doc).horizontalScaling * 100)
        return;
    if (scope == SetterScope::Write) {
        beginTextObject(doc, false);
        writeFormatted(doc, "%f Tz\r", percent);
    }
    textState(doc).horizontalScaling = percent * 0.01;
}

void setLeading(PdfDocument* doc, double value)
{
    if (setterScope(doc, "setLeading") == SetterScope::None || value == textState(doc).leading)
        return;
    textState(doc).leading = value;
    doc->textParamsWritten = false;
}

void setTextRendering(PdfDocument* doc, int mode)
{
    SetterScope scope = setterScope(doc, "setTextRendering");
    if (scope == SetterScope::None)
        return;
    if (mode < 0 || mode > 7) {
        reportError(doc, kErrArgument, "text rendering mode %d outside 0..7", mode);
        return;
    }
    if (mode == textState(doc).renderingMode)
        return;
    if (scope == SetterScope::Write) {
        beginTextObject(doc, false);
        writeFormatted(doc, "%d Tr\r", mode);
    }
    textState(doc).renderingMode = mode;
}

void setTextRise(PdfDocument* doc, double value)
{
    SetterScope scope = setterScope(doc, "setTextRise");
    if (scope == SetterScope::None || value == textState(doc).rise)
        return;
    if (scope == SetterScope::Write) {
        beginTextObject(doc, false);
        writeFormatted(doc, "%f Ts\r", value);
    }
    textState(doc).rise = value;
}

bool setTextParameter(PdfDocument* doc, const char* key, double value)
{
    if (std::strcmp(key, "charspacing") == 0) {
        setCharSpacing(doc, value);
    } else if (std::strcmp(key, "wordspacing") == 0) {
        setWordSpacing(doc, value);
    } else if (std::strcmp(key, "hscaling") == 0) {
        setHorizontalScaling(doc, value);
    } else if (std::strcmp(key, "leading") == 0) {
        setLeading(doc, value);
    } else if (std::strcmp(key, "textrendering") == 0) {
        // Only whole modes 0..7 are meaningful; anything else goes to the setter as out of range.
        bool whole = value >= 0 && value <= 7 && value == static_cast<double>(static_cast<int>(value));
        setTextRendering(doc, whole ? static_cast<int>(value) : -1);
    } else if (std::strcmp(key, "textrise") == 0) {
        setTextRise(doc, value);
    } else {
        return false;
    }
    return true;
}

void setColor(PdfDocument* doc, int side, int space, double c1, double c2, double c3, double c4)
{
    SetterScope scope = setterScope(doc, "setColor");
    if (scope == SetterScope::None)
        return;
    if ((side & kColorBoth) == 0 || (side & ~kColorBoth) != 0 || space < kColorGray || space > kColorCmyk) {
        reportError(doc, kErrArgument, "setColor with side %d and colour space %d", side, space);
        return;
    }
    double c[4] = {c1, c2, c3, c4};
    int count = space == kColorGray ? 1 : space == kColorRgb ? 3 : 4;
    for (int i = 0; i < count; ++i) {
        if (!(c[i] >= 0 && c[i] <= kMaxComponent)) {
            reportError(doc, kErrArgument, "colour component %g outside 0..1", c[i]);
            return;
        }
    }
    if (space == kColorRgb && c1 == c2 && c2 == c3)
        space = kColorGray; // an equal-RGB colour is a gray, written with the shorter operator
    bool write = scope == SetterScope::Write;
    if (side & kColorFill)
        applyColor(doc, write, false, space, c);
    if (side & kColorStroke)
        applyColor(doc, write, true, space, c);
}

} // namespace folvane::pdf
