#pragma once
// Parsers for the values people type on the command line: lengths with units, sizes, colours
// and comma lists. Each returns false for text it does not accept and leaves the result alone.

#include <string>
#include <string_view>
#include <vector>

namespace folvane::cli {

// A length such as "12", "12pt", "10mm", "1.5cm" or "0.5in", in whole points (rounded); a number
// without unit is in points. Negative lengths are refused.
bool parseLength(std::string_view text, int& points);

// "WIDTHxHEIGHT" with one unit after the height that applies to both ("210x297mm"), or a unit
// after each side ("8.5inx11in").
bool parseSize(std::string_view text, int& width, int& height);

// "#RRGGBB", "#RGB" or a CSS colour name (letter case ignored), as the 0x00BBGGRR word the
// settings store.
bool parseColour(std::string_view text, int& bgr);

// A whole number without sign or spaces.
bool parseCount(std::string_view text, int& number);

// The comma-separated parts of a text, each trimmed of spaces; empty parts are kept.
std::vector<std::string> splitList(std::string_view text);

// The index of `word` in `words` (letter case ignored), or -1.
int wordIndex(std::string_view word, const std::vector<std::string_view>& words);

} // namespace folvane::cli
