#pragma once
// Page stamps and bookmark texts: the header, footer, text watermark and image watermark that
// the page composer draws on every page it finishes, the macros of header and footer texts,
// and the outline text of a page's first picture.
//
// Everything is drawn into the engine::Document, so the stamps are ordinary page content of the
// open page. Positions are points from the page's top-left corner, y downwards; all halvings are
// integer divisions truncating toward zero. Texts are UTF-8.

#include <ctime>
#include <functional>
#include <optional>
#include <string>

#include "app/output_settings.h"
#include "engine/engine.h"
#include "layout/page_layout.h"

namespace folvane::layout {

// The calendar time that date and time macros show. Tests substitute a fixed one.
using UtcClock = std::function<std::tm()>;

// The system clock as universal time (UTC), not local time.
std::tm currentUtcTime();

// The standard PDF font of the stamps' texts.
inline constexpr const char* kStampFont = "Helvetica";

// Font size of header and footer on a page pw points wide: 6 · max(1, pw / 100).
int headerFontSize(int pw);

// Replaces, in this order and at every occurrence, "%Title%", "%Subject%", "%Author%",
// "%Keywordes%" (exactly so spelt), "%LocalDate(YY-MM-DD)%", "%LocalDate(DD-MM-YY)%" and
// "%LocalTime%" with the document information of `texts` and the date and time of `utc`.
// A replacement is scanned for the macros after its own, never for its own or earlier ones.
// The result is cut to 1023 bytes (at a character boundary).
std::string expandMacros(const std::string& text, const MacroTexts& texts, const std::tm& utc);
// The same with the document information of `settings`.
std::string expandMacros(const std::string& text, const app::OutputSettings& settings, const std::tm& utc);
// The same with the clock read once, now.
std::string expandMacros(const std::string& text, const app::OutputSettings& settings);

// Draws, in this order, the header, footer, text watermark and image watermark `layout` has on
// the open page of a pw × ph page. The clock is read once per macro expansion.
void stampPage(engine::Document& document, int pw, int ph, const PageLayout& layout,
               const UtcClock& clock = currentUtcTime);

// The outline text for frame `frame` (0-based) of `frames` of the image at `path`, the
// `number`-th frame composed into the document (from 0); none when bookmarks are off, or when
// one bookmark per file is asked for and this is not the file's first frame.
std::optional<std::string> makeBookmarkText(int frame, int frames, const std::string& path, int number,
                                            const std::optional<BookmarkRule>& rule);
// The same with the bookmark settings of `settings`.
std::optional<std::string> makeBookmarkText(int frame, int frames, const std::string& path, int number,
                                            const app::OutputSettings& settings);

} // namespace folvane::layout
