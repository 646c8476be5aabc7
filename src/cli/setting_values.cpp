#include "setting_values.h"

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <strings.h>

namespace folvane::cli {

namespace {

struct NamedColour {
    const char* name;
    int rgb; // 0xRRGGBB
};

// The CSS colour keywords.
const NamedColour kCssColours[] = {
    {"aliceblue", 0xf0f8ff}, {"antiquewhite", 0xfaebd7}, {"aqua", 0x00ffff}, {"aquamarine", 0x7fffd4},
    {"azure", 0xf0ffff}, {"beige", 0xf5f5dc}, {"bisque", 0xffe4c4}, {"black", 0x000000},
    {"blanchedalmond", 0xffebcd}, {"blue", 0x0000ff}, {"blueviolet", 0x8a2be2}, {"brown", 0xa52a2a},
    {"burlywood", 0xdeb887}, {"cadetblue", 0x5f9ea0}, {"chartreuse", 0x7fff00}, {"chocolate", 0xd2691e},
    {"coral", 0xff7f50}, {"cornflowerblue", 0x6495ed}, {"cornsilk", 0xfff8dc}, {"crimson", 0xdc143c},
    {"cyan", 0x00ffff}, {"darkblue", 0x00008b}, {"darkcyan", 0x008b8b}, {"darkgoldenrod", 0xb8860b},
    {"darkgray", 0xa9a9a9}, {"darkgreen", 0x006400}, {"darkgrey", 0xa9a9a9}, {"darkkhaki", 0xbdb76b},
    {"darkmagenta", 0x8b008b}, {"darkolivegreen", 0x556b2f}, {"darkorange", 0xff8c00}, {"darkorchid", 0x9932cc},
    {"darkred", 0x8b0000}, {"darksalmon", 0xe9967a}, {"darkseagreen", 0x8fbc8f}, {"darkslateblue", 0x483d8b},
    {"darkslategray", 0x2f4f4f}, {"darkslategrey", 0x2f4f4f}, {"darkturquoise", 0x00ced1},
    {"darkviolet", 0x9400d3}, {"deeppink", 0xff1493}, {"deepskyblue", 0x00bfff}, {"dimgray", 0x696969},
    {"dimgrey", 0x696969}, {"dodgerblue", 0x1e90ff}, {"firebrick", 0xb22222}, {"floralwhite", 0xfffaf0},
    {"forestgreen", 0x228b22}, {"fuchsia", 0xff00ff}, {"gainsboro", 0xdcdcdc}, {"ghostwhite", 0xf8f8ff},
    {"gold", 0xffd700}, {"goldenrod", 0xdaa520}, {"gray", 0x808080}, {"green", 0x008000},
    {"greenyellow", 0xadff2f}, {"grey", 0x808080}, {"honeydew", 0xf0fff0}, {"hotpink", 0xff69b4},
    {"indianred", 0xcd5c5c}, {"indigo", 0x4b0082}, {"ivory", 0xfffff0}, {"khaki", 0xf0e68c},
    {"lavender", 0xe6e6fa}, {"lavenderblush", 0xfff0f5}, {"lawngreen", 0x7cfc00}, {"lemonchiffon", 0xfffacd},
    {"lightblue", 0xadd8e6}, {"lightcoral", 0xf08080}, {"lightcyan", 0xe0ffff}, {"lightgoldenrodyellow", 0xfafad2},
    {"lightgray", 0xd3d3d3}, {"lightgreen", 0x90ee90}, {"lightgrey", 0xd3d3d3}, {"lightpink", 0xffb6c1},
    {"lightsalmon", 0xffa07a}, {"lightseagreen", 0x20b2aa}, {"lightskyblue", 0x87cefa},
    {"lightslategray", 0x778899}, {"lightslategrey", 0x778899}, {"lightsteelblue", 0xb0c4de},
    {"lightyellow", 0xffffe0}, {"lime", 0x00ff00}, {"limegreen", 0x32cd32}, {"linen", 0xfaf0e6},
    {"magenta", 0xff00ff}, {"maroon", 0x800000}, {"mediumaquamarine", 0x66cdaa}, {"mediumblue", 0x0000cd},
    {"mediumorchid", 0xba55d3}, {"mediumpurple", 0x9370db}, {"mediumseagreen", 0x3cb371},
    {"mediumslateblue", 0x7b68ee}, {"mediumspringgreen", 0x00fa9a}, {"mediumturquoise", 0x48d1cc},
    {"mediumvioletred", 0xc71585}, {"midnightblue", 0x191970}, {"mintcream", 0xf5fffa}, {"mistyrose", 0xffe4e1},
    {"moccasin", 0xffe4b5}, {"navajowhite", 0xffdead}, {"navy", 0x000080}, {"oldlace", 0xfdf5e6},
    {"olive", 0x808000}, {"olivedrab", 0x6b8e23}, {"orange", 0xffa500}, {"orangered", 0xff4500},
    {"orchid", 0xda70d6}, {"palegoldenrod", 0xeee8aa}, {"palegreen", 0x98fb98}, {"paleturquoise", 0xafeeee},
    {"palevioletred", 0xdb7093}, {"papayawhip", 0xffefd5}, {"peachpuff", 0xffdab9}, {"peru", 0xcd853f},
    {"pink", 0xffc0cb}, {"plum", 0xdda0dd}, {"powderblue", 0xb0e0e6}, {"purple", 0x800080},
    {"rebeccapurple", 0x663399}, {"red", 0xff0000}, {"rosybrown", 0xbc8f8f}, {"royalblue", 0x4169e1},
    {"saddlebrown", 0x8b4513}, {"salmon", 0xfa8072}, {"sandybrown", 0xf4a460}, {"seagreen", 0x2e8b57},
    {"seashell", 0xfff5ee}, {"sienna", 0xa0522d}, {"silver", 0xc0c0c0}, {"skyblue", 0x87ceeb},
    {"slateblue", 0x6a5acd}, {"slategray", 0x708090}, {"slategrey", 0x708090}, {"snow", 0xfffafa},
    {"springgreen", 0x00ff7f}, {"steelblue", 0x4682b4}, {"tan", 0xd2b48c}, {"teal", 0x008080},
    {"thistle", 0xd8bfd8}, {"tomato", 0xff6347}, {"turquoise", 0x40e0d0}, {"violet", 0xee82ee},
    {"wheat", 0xf5deb3}, {"white", 0xffffff}, {"whitesmoke", 0xf5f5f5}, {"yellow", 0xffff00},
    {"yellowgreen", 0x9acd32},
};

std::string lower(std::string_view text)
{
    std::string out(text);
    for (char& c : out)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

// A plain decimal number (digits with at most one point); no sign, exponent or spaces.
bool parseDecimal(std::string_view text, double& value)
{
    if (text.empty() || text.size() > 12 || text.find_first_not_of("0123456789.") != std::string_view::npos)
        return false;
    size_t point = text.find('.');
    if (point != std::string_view::npos && text.find('.', point + 1) != std::string_view::npos)
        return false;
    if (text == ".")
        return false;
    value = std::strtod(std::string(text).c_str(), nullptr);
    return std::isfinite(value);
}

// Points per unit; 0 for an unknown unit. An empty unit is points.
double pointsPer(std::string_view unit)
{
    std::string u = lower(unit);
    if (u.empty() || u == "pt")
        return 1.0;
    if (u == "mm")
        return 72.0 / 25.4;
    if (u == "cm")
        return 72.0 / 2.54;
    if (u == "in")
        return 72.0;
    return 0.0;
}

// Splits "12.5mm" into number and unit.
bool splitUnit(std::string_view text, double& value, std::string_view& unit)
{
    size_t end = text.find_first_not_of("0123456789.");
    std::string_view number = text.substr(0, end);
    unit = end == std::string_view::npos ? std::string_view() : text.substr(end);
    return parseDecimal(number, value) && pointsPer(unit) > 0;
}

bool toPoints(double value, std::string_view unit, int& points)
{
    double result = std::round(value * pointsPer(unit));
    if (result > 1e6)
        return false;
    points = static_cast<int>(result);
    return true;
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

int bgrOf(int rgb)
{
    return ((rgb & 0xFF) << 16) | (rgb & 0xFF00) | ((rgb >> 16) & 0xFF);
}

} // namespace

bool parseLength(std::string_view text, int& points)
{
    double value = 0;
    std::string_view unit;
    return splitUnit(text, value, unit) && toPoints(value, unit, points);
}

bool parseSize(std::string_view text, int& width, int& height)
{
    size_t cross = lower(text).find('x');
    if (cross == std::string_view::npos)
        return false;
    double w = 0;
    double h = 0;
    std::string_view widthUnit;
    std::string_view heightUnit;
    if (!splitUnit(text.substr(0, cross), w, widthUnit) || !splitUnit(text.substr(cross + 1), h, heightUnit))
        return false;
    // "210x297mm": the height's unit is the width's too.
    if (widthUnit.empty())
        widthUnit = heightUnit;
    return toPoints(w, widthUnit, width) && toPoints(h, heightUnit, height);
}

bool parseColour(std::string_view text, int& bgr)
{
    if (!text.empty() && text[0] == '#') {
        std::string_view hex = text.substr(1);
        if (hex.size() != 6 && hex.size() != 3)
            return false;
        int rgb = 0;
        for (char c : hex) {
            int digit = hexDigit(c);
            if (digit < 0)
                return false;
            rgb = hex.size() == 6 ? rgb * 16 + digit : rgb * 256 + digit * 17;
        }
        bgr = bgrOf(rgb);
        return true;
    }
    std::string name = lower(text);
    for (const NamedColour& colour : kCssColours) {
        if (name == colour.name) {
            bgr = bgrOf(colour.rgb);
            return true;
        }
    }
    return false;
}

bool parseCount(std::string_view text, int& number)
{
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string_view::npos)
        return false;
    number = std::atoi(std::string(text).c_str());
    return true;
}

std::vector<std::string> splitList(std::string_view text)
{
    std::vector<std::string> parts;
    size_t start = 0;
    while (true) {
        size_t comma = text.find(',', start);
        std::string_view part = text.substr(start, comma == std::string_view::npos ? std::string_view::npos : comma - start);
        size_t first = part.find_first_not_of(' ');
        size_t last = part.find_last_not_of(' ');
        parts.emplace_back(first == std::string_view::npos ? std::string_view() : part.substr(first, last - first + 1));
        if (comma == std::string_view::npos)
            break;
        start = comma + 1;
    }
    return parts;
}

int wordIndex(std::string_view word, const std::vector<std::string_view>& words)
{
    std::string wanted(word);
    for (size_t i = 0; i < words.size(); ++i)
        if (strcasecmp(std::string(words[i]).c_str(), wanted.c_str()) == 0)
            return static_cast<int>(i);
    return -1;
}

} // namespace folvane::cli
