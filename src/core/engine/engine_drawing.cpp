// Text, lines, document information and the text metrics of the engine.
#include "engine/engine.h"

#include <cmath>
#include <string>
#include <vector>

#include "engine/engine_document.h"
#include "pdf/fonts.h"
#include "pdf/outline.h"

namespace folvane::engine {

namespace {

void rgbOf(unsigned color, double* r, double* g, double* b)
{
    *r = (color & 0xFF) / 255.0;
    *g = ((color >> 8) & 0xFF) / 255.0;
    *b = ((color >> 16) & 0xFF) / 255.0;
}

// Text split at "\n"; a final line feed adds no line. At most 1024 lines.
std::vector<std::string> splitLines(const std::string& text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    while (start <= text.size() && lines.size() < 1024) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            if (start < text.size())
                lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

void beginPageIfNeeded(EngineDocument* doc, int kind)
{
    if (doc->settings.pageOpen)
        return;
    beginEnginePage(doc, doc->settings.pageWidth, doc->settings.pageHeight, kind);
}

} // namespace

const char* standardFontForCode(int code)
{
    switch (code) {
    case 2: return "Times-Roman";
    case 3: return "Courier";
    case 100: return "Helvetica";
    case 101: return "Helvetica-Bold";
    case 102: return "Helvetica-Oblique";
    case 103: return "Helvetica-BoldOblique";
    case 200: return "Times-Roman";
    case 201: return "Times-Bold";
    case 202: return "Times-Italic";
    case 203: return "Times-BoldItalic";
    case 300: return "Courier";
    case 301: return "Courier-Bold";
    case 302: return "Courier-Oblique";
    case 303: return "Courier-BoldOblique";
    case 400: return "Symbol";
    case 500: return "ZapfDingbats";
    default: return nullptr;
    }
}

int selectEngineFont(EngineDocument* doc, const std::string& name, double size, bool select)
{
    const std::string& encoding = doc->settings.page.fontEncoding;
    int font = pdf::findFont(doc->pdf, name.c_str(), encoding.empty() ? pdf::kEncodingAnsiAlias : encoding.c_str());
    if (font >= 0 && select)
        pdf::setFont(doc->pdf, font, size);
    return font;
}

int DrawText(DocHandle handle, int x, int y, const char* text, unsigned color)
{
    EngineDocument* doc = lookupDocument(handle);
    if (!doc || !text)
        return 0;
    bool continueHere = x == -1 && y == -1;
    if (!continueHere && (x < 0 || y < 0))
        return 0;
    EngineSettings& s = doc->settings;
    const double size = s.page.fontSize;
    if (!s.pageOpen) {
        beginPageIfNeeded(doc, 2);
        pdf::setTextPosition(doc->pdf, s.page.textLeftMargin, s.pageHeight - s.page.textTopMargin - size);
    }
    if (x > 0 && y > 0)
        pdf::setTextPosition(doc->pdf, x, s.pageHeight - size - y);

    if (selectEngineFont(doc, s.page.fontName, size, true) < 0)
        return 0;
    double r, g, b;
    rgbOf(color, &r, &g, &b);
    pdf::setColor(doc->pdf, pdf::kColorFill, pdf::kColorRgb, r, g, b);

    // Standard fonts take Windows ANSI codes; the engine's texts are UTF-8.
    std::string bytes = pdf::utf8ToWinAnsi(text);
    size_t start = 0;
    bool first = true;
    for (;;) {
        size_t end = bytes.find('\n', start);
        std::string line = bytes.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (first) {
            if (!line.empty())
                pdf::showText(doc->pdf, line.c_str(), line.size());
            first = false;
        } else if (end != std::string::npos || !line.empty()) {
            pdf::continueText(doc->pdf, line.c_str(), line.size());
        }
        if (end == std::string::npos)
            break;
        start = end + 1;
        if (start == bytes.size()) {
            pdf::continueText(doc->pdf, "", 0); // the final line feed moves to the next line
            break;
        }
    }
    return 1;
}

int DrawLine(DocHandle handle, int x1, int y1, int x2, int y2, int width, unsigned color)
{
    EngineDocument* doc = lookupDocument(handle);
    if (!doc)
        return 0;
    for (int c : {x1, y1, x2, y2})
        if (c < 0 || c > 11399)
            return 0;
    if (width < 1 || width > 1000)
        return 0;
    beginPageIfNeeded(doc, 3);
    double ph = doc->settings.pageHeight;
    double r, g, b;
    rgbOf(color, &r, &g, &b);
    pdf::saveState(doc->pdf);
    pdf::setColor(doc->pdf, pdf::kColorStroke, pdf::kColorRgb, r, g, b);
    pdf::setLineWidth(doc->pdf, width);
    pdf::moveTo(doc->pdf, x1, ph - y1);
    pdf::lineTo(doc->pdf, x2, ph - y2);
    pdf::strokePath(doc->pdf);
    pdf::restoreState(doc->pdf);
    return 1;
}

int SetDocumentInfo(DocHandle handle, const char* title, const char* subject, const char* author,
                    const char* keywords, const char* creator)
{
    EngineDocument* doc = lookupDocument(handle);
    if (!doc)
        return 0;
    const char* keys[] = {"Title", "Subject", "Author", "Keywords", "Creator"};
    const char* values[] = {title, subject, author, keywords, creator};
    for (int i = 0; i < 5; ++i)
        if (values[i] && *values[i])
            pdf::setInfoField(doc->pdf, keys[i], values[i]);
    return 1;
}

namespace {

// Queries 250 and 251: the widest line of the text, or the height of its lines.
int textMetric(EngineDocument* doc, int code, long fontCode, long size, const char* text)
{
    if (!text || !*text || size < 0)
        return 0;
    const PageSettings& page = doc->settings.page;
    std::string name = page.fontName;
    if (fontCode != 0) {
        const char* standard = standardFontForCode(static_cast<int>(fontCode));
        if (!standard)
            return 0;
        name = standard;
    }
    double points = size > 0 ? static_cast<double>(size) : page.fontSize;
    std::vector<std::string> lines = splitLines(pdf::utf8ToWinAnsi(text));
    if (lines.empty())
        return 0;
    if (code == kQueryTextHeight)
        return lines.size() == 1 ? static_cast<int>(points) : static_cast<int>(lines.size() * (points + 4));
    int font = selectEngineFont(doc, name, points, false);
    if (font < 0)
        return 0;
    int widest = 0;
    for (const auto& line : lines) {
        if (line.empty())
            continue;
        int width = static_cast<int>(pdf::stringWidth(doc->pdf, line.c_str(), font, points, line.size()));
        widest = std::max(widest, width);
    }
    return widest;
}

} // namespace

int QueryDocument(DocHandle handle, int code, intptr_t out1, intptr_t out2, const char* text1, const char* text2)
{
    EngineDocument* doc = lookupDocument(handle);
    if (code == kQueryFrameCount || code == kQueryPixelSize)
        return queryImage(code, out1, out2, text1, text2, doc ? doc->settings.autoOrient : true);
    if (!doc)
        return 0;
    if (code == kQueryTextWidth || code == kQueryTextHeight)
        return textMetric(doc, code, static_cast<long>(out1), static_cast<long>(out2), text1);
    return 0;
}

} // namespace folvane::engine
