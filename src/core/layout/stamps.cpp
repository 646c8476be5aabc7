// Header, footer and watermarks of a finished page; macros; bookmark texts.
#include "layout/stamps.h"

#include <algorithm>
#include <cstdio>
#include <utility>

namespace folvane::layout {

namespace {

constexpr size_t kExpandedCapacity = 1024; // the expanded text keeps at most 1023 bytes

// The longest prefix of at most `limit` bytes that does not split a UTF-8 sequence.
std::string cutUtf8(std::string text, size_t limit)
{
    if (text.size() <= limit)
        return text;
    size_t end = limit;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
        --end;
    text.resize(end);
    return text;
}

void replaceAll(std::string& text, const std::string& macro, const std::string& value)
{
    size_t at = 0;
    while ((at = text.find(macro, at)) != std::string::npos) {
        text.replace(at, macro.size(), value);
        at += value.size(); // the inserted value is not scanned for this macro again
    }
}

std::string formatted(const char* format, int a, int b, int c)
{
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, format, a, b, c);
    return buffer;
}

// x of a text or picture w points wide: left, centred or right on a pw-point page.
int alignedX(int column, int pw, int w)
{
    switch (column) {
    case 1: return pw / 2 - w / 2;
    case 2: return pw - w;
    default: return 3;
    }
}

// y of a text or picture h points high: top, middle or bottom of a ph-point page.
int alignedY(int row, int ph, int h)
{
    switch (row) {
    case 1: return ph / 2 - h / 2;
    case 2: return ph - h;
    default: return 3;
    }
}

// The engine reads 0 as "continue where the last text ended" and refuses negative positions, so
// a text reaching beyond the left or top edge is drawn from 1 and runs over the right edge
// instead of landing elsewhere or vanishing.
int drawnCoordinate(int value) { return std::max(1, value); }

// The stamps' font at `size`; 0 for an empty text or a negative size.
int textWidth(const engine::Document& document, const std::string& text, int size)
{
    return text.empty() || size < 0 ? 0 : document.textWidth(text, kStampFont, size);
}

int textHeight(const engine::Document& document, const std::string& text, int size)
{
    return text.empty() || size < 0 ? 0 : document.textHeight(text, size);
}

// Header (bottom = false) or footer (bottom = true).
void stampLine(engine::Document& document, int pw, int ph, const std::string& text, const TextStamp& stamp,
               bool bottom)
{
    int size = headerFontSize(pw);
    document.setFont(kStampFont, size);
    int w = textWidth(document, text, size);
    int y = 3;
    if (bottom)
        y = ph - textHeight(document, text, size);
    document.drawText(drawnCoordinate(alignedX(stamp.column, pw, w)), drawnCoordinate(y), text, stamp.color);
}

void stampTextWatermark(engine::Document& document, int pw, int ph, const TextWatermark& mark)
{
    document.setFont(kStampFont, mark.size);
    // A size the font does not take leaves the current size in force; measure in that one.
    int size = std::max(mark.size, 0);
    int w = textWidth(document, mark.text, size);
    int h = textHeight(document, mark.text, size);
    int x = alignedX(mark.place.column, pw, w);
    int y = alignedY(mark.place.row, ph, h);
    document.drawText(drawnCoordinate(x), drawnCoordinate(y), mark.text, mark.color);
}

void stampImageWatermark(engine::Document& document, int pw, int ph, const ImageWatermark& mark)
{
    int iw = mark.width;
    int ih = mark.height;
    int x = alignedX(mark.place.column, pw, iw);
    int y = alignedY(mark.place.row, ph, ih);
    document.setPlacementBox(engine::Box {x, y, iw, ih});
    // The page's pictures leave their own frame selected; a watermark taken with frame 5
    // selected would be refused as beyond a single-image file. It always shows its first frame.
    document.setFrameRange(1, 1);
    document.addImage(mark.path);
}

// The file name of a path: what follows its last "/".
std::string fileNameOf(const std::string& path)
{
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A file name without its extension. A name whose only dot leads it (".scan") has none.
std::string withoutExtension(const std::string& name)
{
    size_t dot = name.rfind('.');
    return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

} // namespace

std::tm currentUtcTime()
{
    std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    return utc;
}

int headerFontSize(int pw) { return 6 * std::max(1, pw / 100); }

std::string expandMacros(const std::string& text, const MacroTexts& texts, const std::tm& utc)
{
    const int year = utc.tm_year + 1900;
    const int month = utc.tm_mon + 1;
    const std::pair<const char*, std::string> macros[] = {
        {"%Title%", texts.title},
        {"%Subject%", texts.subject},
        {"%Author%", texts.author},
        {"%Keywordes%", texts.keywords},
        {"%LocalDate(YY-MM-DD)%", formatted("%d-%02d-%02d", year, month, utc.tm_mday)},
        {"%LocalDate(DD-MM-YY)%", formatted("%02d-%02d-%d", utc.tm_mday, month, year)},
        {"%LocalTime%", formatted("%02d:%02d:%02d", utc.tm_hour, utc.tm_min, utc.tm_sec)},
    };
    std::string result = text;
    for (const auto& [macro, value] : macros)
        replaceAll(result, macro, value);
    return cutUtf8(std::move(result), kExpandedCapacity - 1);
}

std::string expandMacros(const std::string& text, const app::OutputSettings& settings, const std::tm& utc)
{
    return expandMacros(text, pageLayoutFor(settings).macros, utc);
}

std::string expandMacros(const std::string& text, const app::OutputSettings& settings)
{
    return expandMacros(text, settings, currentUtcTime());
}

void stampPage(engine::Document& document, int pw, int ph, const PageLayout& layout, const UtcClock& clock)
{
    if (layout.header)
        stampLine(document, pw, ph, expandMacros(layout.header->text, layout.macros, clock()), *layout.header, false);
    if (layout.footer)
        stampLine(document, pw, ph, expandMacros(layout.footer->text, layout.macros, clock()), *layout.footer, true);
    if (layout.textWatermark)
        stampTextWatermark(document, pw, ph, *layout.textWatermark);
    if (layout.imageWatermark)
        stampImageWatermark(document, pw, ph, *layout.imageWatermark);
}

std::optional<std::string> makeBookmarkText(int frame, int frames, const std::string& path, int number,
                                            const app::OutputSettings& settings)
{
    return makeBookmarkText(frame, frames, path, number, pageLayoutFor(settings).bookmarks);
}

std::optional<std::string> makeBookmarkText(int frame, int frames, const std::string& path, int number,
                                            const std::optional<BookmarkRule>& rule)
{
    if (!rule)
        return std::nullopt;
    if (rule->label == app::BookmarkLabel::PageNumber)
        return std::to_string(number + 1);
    std::string base;
    switch (rule->label) {
    case app::BookmarkLabel::NameWithoutExtension: base = withoutExtension(fileNameOf(path)); break;
    case app::BookmarkLabel::FileName: base = fileNameOf(path); break;
    default: base = path; break;
    }
    if (rule->perFile)
        return frame == 0 ? std::optional<std::string>(base) : std::nullopt;
    if (frames > 1)
        return base + " " + std::to_string(frame + 1) + "/" + std::to_string(frames);
    return base;
}

} // namespace folvane::layout
