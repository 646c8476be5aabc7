// Graphics-state and path operators. Operators that would not change the current state are
// suppressed, and identity or no-op matrices are never written, to keep content streams short.
#include "pdf/document.h"

#include <cmath>

#include "writer_internal.h"

namespace folvane::pdf {

namespace {

GraphicsLevel& level(PdfDocument* doc)
{
    return doc->graphics[doc->graphicsDepth];
}

// Every graphics operator is a page operator: it ends an open text object first.
bool prepareOperator(PdfDocument* doc, int allowed, const char* operation)
{
    if (!isValid(doc))
        return false;
    checkScope(doc, allowed, operation);
    endTextObject(doc);
    return true;
}

} // namespace

void endTextObject(PdfDocument* doc)
{
    if (!isValid(doc) || !doc->textObjectOpen)
        return;
    doc->textObjectOpen = false;
    writeString(doc, "ET\r");
}

void saveState(PdfDocument* doc)
{
    if (!prepareOperator(doc, kScopePage, "saveState"))
        return;
    if (doc->graphicsDepth >= kMaxGraphicsDepth) {
        reportError(doc, kErrState, "more than %d nested saves", kMaxGraphicsDepth);
        return;
    }
    writeString(doc, "q\r");
    doc->graphics[doc->graphicsDepth + 1] = doc->graphics[doc->graphicsDepth];
    ++doc->graphicsDepth;
}

void restoreState(PdfDocument* doc)
{
    if (!prepareOperator(doc, kScopePage, "restoreState"))
        return;
    if (doc->graphicsDepth <= 0) {
        reportError(doc, kErrState, "restore without save");
        return;
    }
    writeString(doc, "Q\r");
    --doc->graphicsDepth;
}

void concatMatrix(PdfDocument* doc, double a, double b, double c, double d, double e, double f)
{
    if (!prepareOperator(doc, kScopePage, "concatMatrix"))
        return;
    if (a == 1 && b == 0 && c == 0 && d == 1 && e == 0 && f == 0)
        return;
    writeFormatted(doc, "%f %f %f %f %f %f cm\r", a, b, c, d, e, f);
    double* m = level(doc).ctm;
    const double n[6] = {
        a * m[0] + b * m[2],     a * m[1] + b * m[3],
        c * m[0] + d * m[2],     c * m[1] + d * m[3],
        e * m[0] + f * m[2] + m[4], e * m[1] + f * m[3] + m[5],
    };
    for (int i = 0; i < 6; ++i)
        m[i] = n[i];
}

void translate(PdfDocument* doc, double tx, double ty)
{
    if (isValid(doc) && !(tx == 0 && ty == 0))
        concatMatrix(doc, 1, 0, 0, 1, tx, ty);
}

void scale(PdfDocument* doc, double sx, double sy)
{
    if (!isValid(doc))
        return;
    if (sx == 0 || sy == 0) {
        reportError(doc, kErrArgument, "scale by zero");
        return;
    }
    concatMatrix(doc, sx, 0, 0, sy, 0, 0);
}

void rotate(PdfDocument* doc, double degrees)
{
    if (!isValid(doc) || degrees == 0)
        return;
    double r = degrees * 0.017453292519943295;
    double c = std::cos(r);
    double s = std::sin(r);
    concatMatrix(doc, c, s, -s, c, 0, 0);
}

void setLineWidth(PdfDocument* doc, double width)
{
    if (!prepareOperator(doc, kScopePage, "setLineWidth") || !(width > 0) || width == level(doc).lineWidth)
        return;
    writeFormatted(doc, "%f w\r", width);
    level(doc).lineWidth = width;
}

void setLineCap(PdfDocument* doc, int cap)
{
    if (!prepareOperator(doc, kScopePage, "setLineCap") || cap < 0 || cap > 2 || cap == level(doc).lineCap)
        return;
    writeFormatted(doc, "%d J\r", cap);
    level(doc).lineCap = cap;
}

void setLineJoin(PdfDocument* doc, int join)
{
    if (!prepareOperator(doc, kScopePage, "setLineJoin") || join < 0 || join > 2 || join == level(doc).lineJoin)
        return;
    writeFormatted(doc, "%d j\r", join);
    level(doc).lineJoin = join;
}

void setMiterLimit(PdfDocument* doc, double limit)
{
    if (!prepareOperator(doc, kScopePage, "setMiterLimit") || !(limit >= 1) || limit == level(doc).miterLimit)
        return;
    writeFormatted(doc, "%f M\r", limit);
    level(doc).miterLimit = limit;
}

void setFlatness(PdfDocument* doc, double flatness)
{
    if (!prepareOperator(doc, kScopePage, "setFlatness") || !(flatness >= 0 && flatness <= 100) ||
        flatness == level(doc).flatness)
        return;
    writeFormatted(doc, "%f i\r", flatness);
    level(doc).flatness = flatness;
}

void setDash(PdfDocument* doc, double on, double off)
{
    if (!prepareOperator(doc, kScopePage, "setDash") || !(on >= 0 && off >= 0))
        return;
    if (on != 0 || off != 0) {
        writeFormatted(doc, "[%f %f] 0 d\r", on, off);
        level(doc).dashed = true;
    } else if (level(doc).dashed) {
        writeString(doc, "[] 0 d\r");
        level(doc).dashed = false;
    }
}

void resetGraphicsState(PdfDocument* doc)
{
    if (!prepareOperator(doc, kScopePage, "resetGraphicsState"))
        return;
    setColor(doc, kColorBoth, kColorGray, 0);
    setLineWidth(doc, 1);
    setLineCap(doc, 0);
    setLineJoin(doc, 0);
    setMiterLimit(doc, 10);
    setDash(doc, 0, 0);
    if (level(doc).flatness >= 0)
        setFlatness(doc, 1);
}

void moveTo(PdfDocument* doc, double x, double y)
{
    if (!isValid(doc))
        return;
    checkScope(doc, kScopePage | kScopePath, "moveTo");
    if (currentScope(doc) != kScopePath) {
        endTextObject(doc);
        pushScope(doc, kScopePath);
    }
    doc->pathX = x;
    doc->pathY = y;
    writeFormatted(doc, "%f %f m\r", x, y);
}

void lineTo(PdfDocument* doc, double x, double y)
{
    if (!isValid(doc))
        return;
    checkScope(doc, kScopePath, "lineTo");
    doc->pathX = x;
    doc->pathY = y;
    writeFormatted(doc, "%f %f l\r", x, y);
}

void strokePath(PdfDocument* doc)
{
    if (!isValid(doc))
        return;
    checkScope(doc, kScopePath, "strokePath");
    writeString(doc, "S\r");
    if (currentScope(doc) == kScopePath)
        popScope(doc);
}

} // namespace folvane::pdf
