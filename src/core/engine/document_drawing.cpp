// Text, lines, document information and the text metrics of a document.
#include "engine/engine.h"

#include <algorithm>
#include <cmath>
#include <utility>
#include <string>
#include <vector>

#include "engine_document.h"
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

int selectEngineFont(EngineDocument* doc, const std::string& name, double size, bool select)
{
    const std::string& encoding = doc->settings.page.fontEncoding;
    int font = pdf::findFont(doc->pdf, name.c_str(), encoding.empty() ? pdf::kEncodingAnsiAlias : encoding.c_str());
    if (font >= 0 && select)
        pdf::setFont(doc->pdf, font, size);
    return font;
}

bool Document::drawText(int x, int y, const std::string& text, unsigned color)
{
    EngineDocument* doc = m_doc.get();
    if (!doc)
        return false;
    bool continueHere = x == -1 && y == -1;
    if (!continueHere && (x < 0 || y < 0))
        return false;
    EngineSettings& s = doc->settings;
    const double size = s.page.fontSize;
    if (!s.pageOpen) {
        beginPageIfNeeded(doc, 2);
        pdf::setTextPosition(doc->pdf, s.page.textLeftMargin, s.pageHeight - s.page.textTopMargin - size);
    }
    if (x > 0 && y > 0)
        pdf::setTextPosition(doc->pdf, x, s.pageHeight - size - y);

    if (selectEngineFont(doc, s.page.fontName, size, true) < 0)
        return false;
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
    return true;
}

bool Document::drawLine(int x1, int y1, int x2, int y2, int width, unsigned color)
{
    EngineDocument* doc = m_doc.get();
    if (!doc)
        return false;
    for (int c : {x1, y1, x2, y2})
        if (c < 0 || c > 11399)
            return false;
    if (width < 1 || width > 1000)
        return false;
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
    return true;
}

void Document::setInfo(const DocumentInfo& info)
{
    if (!m_doc)
        return;
    const std::pair<const char*, const std::string*> fields[] = {
        {"Title", &info.title}, {"Subject", &info.subject}, {"Author", &info.author},
        {"Keywords", &info.keywords}, {"Creator", &info.creator}};
    for (const auto& [key, value] : fields)
        if (!value->empty())
            pdf::setInfoField(m_doc->pdf, key, value->c_str());
}

int Document::textHeight(const std::string& text, int size) const
{
    if (!m_doc || text.empty() || size < 0)
        return 0;
    double points = size > 0 ? static_cast<double>(size) : m_doc->settings.page.fontSize;
    std::vector<std::string> lines = splitLines(pdf::utf8ToWinAnsi(text.c_str()));
    if (lines.empty())
        return 0;
    return lines.size() == 1 ? static_cast<int>(points) : static_cast<int>(lines.size() * (points + 4));
}

int Document::textWidth(const std::string& text, const std::string& font, int size) const
{
    if (!m_doc || text.empty() || size < 0)
        return 0;
    EngineDocument* doc = m_doc.get();
    const PageSettings& page = doc->settings.page;
    std::string name = font.empty() ? page.fontName : font;
    double points = size > 0 ? static_cast<double>(size) : page.fontSize;
    std::vector<std::string> lines = splitLines(pdf::utf8ToWinAnsi(text.c_str()));
    int index = lines.empty() ? -1 : selectEngineFont(doc, name, points, false);
    if (index < 0)
        return 0;
    int widest = 0;
    for (const auto& line : lines) {
        if (line.empty())
            continue;
        int width = static_cast<int>(pdf::stringWidth(doc->pdf, line.c_str(), index, points, line.size()));
        widest = std::max(widest, width);
    }
    return widest;
}

} // namespace folvane::engine
