#include "support/page_trace.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <sstream>

#include "support/test_support.h"

namespace folvane::test {

namespace {

// The value of attribute `name` in the element starting at `at`, or "".
std::string attribute(const std::string& xml, size_t at, const std::string& name)
{
    size_t end = xml.find('>', at);
    size_t found = xml.find(" " + name + "=\"", at);
    if (found == std::string::npos || found > end)
        return {};
    size_t start = found + name.size() + 3;
    return xml.substr(start, xml.find('"', start) - start);
}

std::vector<double> numbers(const std::string& text)
{
    std::vector<double> values;
    std::istringstream in(text);
    for (double v; in >> v;)
        values.push_back(v);
    return values;
}

struct Matrix {
    double a = 1, b = 0, c = 0, d = 1, e = 0, f = 0;
    explicit Matrix(const std::string& text)
    {
        std::vector<double> v = numbers(text);
        if (v.size() == 6)
            a = v[0], b = v[1], c = v[2], d = v[3], e = v[4], f = v[5];
    }
    double x(double px, double py) const { return a * px + c * py + e; }
    double y(double px, double py) const { return b * px + d * py + f; }
};

// XML character references mutool uses for glyphs.
std::string unescape(const std::string& text)
{
    static const std::pair<const char*, char> entities[] = {
        {"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&apos;", '\''}};
    for (const auto& [entity, c] : entities)
        if (text == entity)
            return std::string(1, c);
    if (text.rfind("&#x", 0) == 0) {
        long code = std::strtol(text.c_str() + 3, nullptr, 16);
        return code < 128 ? std::string(1, static_cast<char>(code)) : "?";
    }
    return text;
}

void readImage(const std::string& xml, size_t at, TracedPage& page)
{
    Matrix m(attribute(xml, at, "transform"));
    double xs[] = {m.x(0, 0), m.x(1, 0), m.x(0, 1), m.x(1, 1)};
    double ys[] = {m.y(0, 0), m.y(1, 0), m.y(0, 1), m.y(1, 1)};
    double x0 = xs[0], x1 = xs[0], y0 = ys[0], y1 = ys[0];
    for (int i = 1; i < 4; ++i)
        x0 = std::min(x0, xs[i]), x1 = std::max(x1, xs[i]), y0 = std::min(y0, ys[i]), y1 = std::max(y1, ys[i]);
    page.images.push_back({x0, y0, x1 - x0, y1 - y0});
}

void readText(const std::string& xml, size_t at, size_t end, TracedPage& page)
{
    Matrix m(attribute(xml, at, "transform"));
    std::string color = attribute(xml, at, "color");
    for (size_t span = xml.find("<span", at); span < end; span = xml.find("<span", span + 1)) {
        size_t spanEnd = xml.find("</span>", span);
        std::vector<double> trm = numbers(attribute(xml, span, "trm"));
        double scale = trm.empty() ? 0 : trm[0];
        TracedText run;
        double lastY = 0, lastEnd = 0;
        // mutool joins the texts of one font and size into one span: a glyph that does not
        // continue where the previous one ended starts a run of its own.
        for (size_t g = xml.find("<g ", span); g < spanEnd; g = xml.find("<g ", g + 1)) {
            double gx = std::atof(attribute(xml, g, "x").c_str());
            double gy = std::atof(attribute(xml, g, "y").c_str());
            if (!run.text.empty() && (gy != lastY || std::abs(gx - lastEnd) > 0.1 * std::abs(scale))) {
                page.texts.push_back(run);
                run = TracedText{};
            }
            if (run.text.empty()) {
                run.color = color;
                run.size = std::hypot(scale, trm.empty() ? 0 : trm[1]) * std::hypot(m.a, m.b);
                run.x = m.x(gx, gy), run.baseline = m.y(gx, gy);
            }
            run.text += unescape(attribute(xml, g, "unicode"));
            lastY = gy;
            lastEnd = gx + std::atof(attribute(xml, g, "adv").c_str()) * scale;
            run.right = m.x(lastEnd, gy);
        }
        if (!run.text.empty())
            page.texts.push_back(run);
    }
}

void readStroke(const std::string& xml, size_t at, size_t end, TracedPage& page)
{
    Matrix m(attribute(xml, at, "transform"));
    double width = std::atof(attribute(xml, at, "linewidth").c_str()) * std::hypot(m.a, m.b);
    double lastX = 0, lastY = 0;
    for (size_t p = xml.find('<', at + 1); p < end; p = xml.find('<', p + 1)) {
        bool move = xml.compare(p, 7, "<moveto") == 0;
        if (!move && xml.compare(p, 7, "<lineto") != 0)
            continue;
        double px = std::atof(attribute(xml, p, "x").c_str()), py = std::atof(attribute(xml, p, "y").c_str());
        double x = m.x(px, py), y = m.y(px, py);
        if (!move)
            page.lines.push_back({lastX, lastY, x, y, width});
        lastX = x, lastY = y;
    }
}

} // namespace

const TracedText* TracedPage::text(const std::string& part) const
{
    for (const TracedText& t : texts)
        if (t.text.find(part) != std::string::npos)
            return &t;
    return nullptr;
}

std::vector<TracedPage> tracePdf(const std::filesystem::path& pdf)
{
    std::string xml = runCommand("mutool draw -F trace -o - " + shellQuote(pdf.string()) + " 2>/dev/null").output;
    std::vector<TracedPage> pages;
    for (size_t at = xml.find("<page "); at != std::string::npos; at = xml.find("<page ", at + 1)) {
        size_t pageEnd = xml.find("</page>", at);
        TracedPage page;
        std::vector<double> box = numbers(attribute(xml, at, "mediabox"));
        if (box.size() == 4)
            page.width = box[2] - box[0], page.height = box[3] - box[1];
        for (size_t e = xml.find('<', at + 1); e < pageEnd; e = xml.find('<', e + 1)) {
            if (xml.compare(e, 11, "<fill_image") == 0)
                readImage(xml, e, page);
            else if (xml.compare(e, 10, "<fill_text") == 0)
                readText(xml, e, xml.find("</fill_text>", e), page);
            else if (xml.compare(e, 12, "<stroke_path") == 0)
                readStroke(xml, e, xml.find("</stroke_path>", e), page);
        }
        pages.push_back(std::move(page));
    }
    return pages;
}

} // namespace folvane::test
