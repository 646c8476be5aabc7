#include "named_options.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <strings.h>
#include <sys/stat.h>

#include "app/settings_schema.h"
#include "engine/engine.h"
#include "option_values.h"
#include "setting_values.h"

namespace folvane::cli {

namespace {

constexpr const char* kPageSizeAccepted =
    "image, A3, A4, A5, B5, Letter, Legal, or WIDTHxHEIGHT with pt, mm, cm or in";
constexpr const char* kLengthUnits = "pt, mm, cm or in";

const std::vector<std::string_view> kPositions = {"top-left",    "top-center", "top-right",
                                                  "center-left", "center",     "center-right",
                                                  "bottom-left", "bottom-center", "bottom-right"};
const std::vector<std::string_view> kCompressions = {"none", "lzw", "zip", "packbits", "jpeg"};

// "a, b or c"
std::string wordList(const std::vector<std::string_view>& words)
{
    std::string list;
    for (size_t i = 0; i < words.size(); ++i) {
        if (i > 0)
            list += i + 1 == words.size() ? " or " : ", ";
        list += words[i];
    }
    return list;
}

bool pageSize(const NamedOption&, const std::string& value, std::vector<Assignment>& out, std::string& problem)
{
    static const std::vector<std::string_view> named = {"image", "A3", "A4", "A5", "B5", "Letter", "Legal"};
    int index = wordIndex(value, named);
    if (index >= 0) {
        out.emplace_back("pageSize", std::to_string(index));
        return true;
    }
    int width = 0;
    int height = 0;
    if (!parseSize(value, width, height)) {
        problem = std::string("is not a page size (") + kPageSizeAccepted + ")";
        return false;
    }
    if (width < 3 || height < 3 || width > 14400 || height > 14400) {
        problem = "is not a page size (each side from 3 to 14400 points)";
        return false;
    }
    out.emplace_back("pageSize", "7");
    out.emplace_back("page_W", std::to_string(width));
    out.emplace_back("page_H", std::to_string(height));
    return true;
}

bool dpi(const NamedOption&, const std::string& value, std::vector<Assignment>& out, std::string& problem)
{
    problem = "is not a resolution (keep, a number of dots per inch from 72 to 1200, or XDPIxYDPI)";
    if (strcasecmp(value.c_str(), "keep") == 0) {
        out = {{"xdpi", "0"}, {"ydpi", "0"}};
        return true;
    }
    size_t cross = value.find_first_of("xX");
    int x = 0;
    int y = 0;
    if (cross == std::string::npos) {
        if (!parseCount(value, x))
            return false;
        y = x;
    } else if (!parseCount(value.substr(0, cross), x) || !parseCount(value.substr(cross + 1), y)) {
        return false;
    }
    if (x < 72 || x > 1200 || y < 72 || y > 1200)
        return false;
    out = {{"xdpi", std::to_string(x)}, {"ydpi", std::to_string(y)}};
    return true;
}

bool margin(const NamedOption&, const std::string& value, std::vector<Assignment>& out, std::string& problem)
{
    problem = std::string("is not a margin (one length or TOP,RIGHT,BOTTOM,LEFT, each from 0 to 999 points; "
                          "units ") + kLengthUnits + ")";
    std::vector<std::string> parts = splitList(value);
    if (parts.size() != 1 && parts.size() != 4)
        return false;
    int points[4] = {0, 0, 0, 0};
    for (size_t i = 0; i < parts.size(); ++i)
        if (!parseLength(parts[i], points[i]) || points[i] > 999)
            return false;
    if (parts.size() == 1)
        points[1] = points[2] = points[3] = points[0];
    out = {{"mTop", std::to_string(points[0])},
           {"mRight", std::to_string(points[1])},
           {"mBottom", std::to_string(points[2])},
           {"mLeft", std::to_string(points[3])}};
    return true;
}

bool wholeInRange(const std::string& value, int low, int high, const char* key, std::vector<Assignment>& out)
{
    int number = 0;
    if (!parseCount(value, number) || number < low || number > high)
        return false;
    out.emplace_back(key, std::to_string(number));
    return true;
}

bool quality(const NamedOption&, const std::string& value, std::vector<Assignment>& out, std::string& problem)
{
    problem = "is not a JPEG quality (0 to 100; 0 keeps JPEG data as it is)";
    return wholeInRange(value, 0, 100, "quality", out);
}

bool textSize(const NamedOption&, const std::string& value, std::vector<Assignment>& out, std::string& problem)
{
    problem = "is not a text size (1 to 100 points)";
    return wholeInRange(value, 1, 100, "tsize", out);
}

bool colour(const NamedOption& option, const std::string& value, std::vector<Assignment>& out, std::string& problem)
{
    int bgr = 0;
    if (!parseColour(value, bgr)) {
        problem = "is not a colour (#RRGGBB or a CSS colour name such as red or navy)";
        return false;
    }
    out.emplace_back(option.key, std::to_string(bgr));
    return true;
}

bool imageFile(const NamedOption& option, const std::string& value, std::vector<Assignment>& out,
               std::string& problem)
{
    struct stat info;
    if (value.empty() || ::stat(value.c_str(), &info) != 0 || !S_ISREG(info.st_mode) ||
        !std::ifstream(value, std::ios::binary)) {
        problem = "is not a readable image file";
        return false;
    }
    out.emplace_back(option.alsoKey, "1");
    out.emplace_back(option.key, absolutePath(value));
    return true;
}

bool imageSize(const NamedOption&, const std::string& value, std::vector<Assignment>& out, std::string& problem)
{
    int width = 0;
    int height = 0;
    if (!parseSize(value, width, height) || width < 1 || height < 1 || width > 9999 || height > 9999) {
        problem = std::string("is not an image size (WIDTHxHEIGHT, each from 1 to 9999 points; units ") +
                  kLengthUnits + ")";
        return false;
    }
    out = {{"imgWidth", std::to_string(width)}, {"imgHeight", std::to_string(height)}};
    return true;
}

bool permissions(const NamedOption&, const std::string& value, std::vector<Assignment>& out, std::string& problem)
{
    static const std::vector<std::string_view> rights = {"print", "copy", "modify"};
    bool allowed[3] = {false, false, false};
    for (const std::string& part : splitList(value)) {
        int index = wordIndex(part, rights);
        if (index >= 0) {
            allowed[index] = true;
        } else if (strcasecmp(part.c_str(), "none") != 0 || splitList(value).size() != 1) {
            problem = "is not a list of permissions (print, copy and modify, separated by commas, or none)";
            return false;
        }
    }
    for (size_t i = 0; i < rights.size(); ++i)
        out.emplace_back(std::string(rights[i]), allowed[i] ? "1" : "0");
    return true;
}

// A password file's text without its final line end.
bool password(const NamedOption& option, const std::string& value, std::vector<Assignment>& out,
              std::string& problem)
{
    errno = 0;
    std::ifstream file(value, std::ios::binary);
    struct stat info;
    if (!file || ::stat(value.c_str(), &info) != 0 || S_ISDIR(info.st_mode)) {
        problem = std::string("cannot be read (") + (errno ? std::strerror(errno) : "not a file") + ")";
        return false;
    }
    std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (!text.empty() && text.back() == '\n')
        text.pop_back();
    if (!text.empty() && text.back() == '\r')
        text.pop_back();
    if (text.find('\n') != std::string::npos || text.find('\0') != std::string::npos) {
        problem = "holds more than one line; a password file holds the password alone";
        return false;
    }
    out.emplace_back(option.key, text);
    return true;
}

const std::vector<NamedOption> kOptions = {
    // Page
    {"--page-size", "Page", "SIZE", "image, A3, A4, A5, B5, Letter, Legal or WxH[pt|mm|cm|in], e.g. 210x297mm",
     "pageSize", nullptr, "a page size", {}, {}, pageSize, "page_W page_H"},
    {"--rotate", "Page", "ANGLE", "turn pages by 0, 90, 180 or 270 degrees", "pageRotate", nullptr, "an angle",
     {"0", "90", "180", "270"}, {}, nullptr},
    {"--fit", "Page", "HOW", "fit (keep proportions) or stretch images into their place", "imgFit", nullptr,
     "a fit", {"fit", "stretch"}, {}, nullptr},
    {"--dpi", "Page", "DPI", "resolution of image-size pages: N, XxY (72 to 1200) or keep", "xdpi", nullptr,
     "a resolution", {}, {}, dpi, "ydpi"},
    {"--margin", "Page", "V|T,R,B,L", "margins with units, e.g. 10mm or 36,18,36,18", "mTop", nullptr, "a margin",
     {}, {}, margin, "mRight mBottom mLeft"},
    {"--layout", "Page", "N", "images per page: 1, 2, 4, 6, 9 or 16", "layout", nullptr, "a layout",
     {"1", "2", "4", "6", "9", "16"}, {1, 2, 4, 6, 9, 16}, nullptr},
    {"--order", "Page", "ORDER", "cell order: horizontal or vertical", "order", nullptr, "an order",
     {"horizontal", "vertical"}, {}, nullptr},
    {"--repeat", "Page", nullptr, "fill every cell of a page with the same image", "repeat", nullptr, nullptr, {}, {},
     nullptr},
    {"--border", "Page", nullptr, "draw cell borders", "border", nullptr, nullptr, {}, {}, nullptr},
    // Images
    {"--quality", "Images", "Q", "JPEG quality 0..100 (0 keeps JPEG data as it is)", "quality", nullptr,
     "a quality", {}, {}, quality},
    {"--color-compression", "Images", "C", "colour images: none, lzw, zip, packbits or jpeg", "colorTif", nullptr,
     "a compression", kCompressions, {}, nullptr},
    {"--gray-compression", "Images", "C", "grayscale images: none, lzw, zip, packbits or jpeg", "grayTif", nullptr,
     "a compression", kCompressions, {}, nullptr},
    {"--bw-compression", "Images", "C", "black/white images: none, lzw, zip, g3 or g4", "bwTif", nullptr,
     "a compression", {"none", "lzw", "zip", "g3", "g4"}, {}, nullptr},
    {"--deskew", "Images", nullptr, "straighten skewed black/white scans", "bSkew", nullptr, nullptr, {}, {}, nullptr},
    // Bookmarks
    {"--bookmarks", "Bookmarks", "TEXT", "add bookmarks named by page, name, filename or path", "bookmarksel",
     "bookmark", "a bookmark text", {"page", "name", "filename", "path"}, {}, nullptr},
    {"--bookmark-per-file", "Bookmarks", nullptr, "one bookmark per source file instead of per page", "unitforfile",
     nullptr, nullptr, {}, {}, nullptr},
    // Stamps
    {"--header", "Stamps", "TEXT", "page header text (macros such as %LocalDate(YY-MM-DD)% allowed)", "hWatermark",
     "header", "a header", {}, {}, nullptr},
    {"--header-align", "Stamps", "ALIGN", "header: left, center or right", "hpos", nullptr, "an alignment",
     {"left", "center", "right"}, {}, nullptr},
    {"--header-color", "Stamps", "COLOR", "header colour: #RRGGBB or a CSS name", "hcolor", nullptr, nullptr, {}, {},
     colour},
    {"--footer", "Stamps", "TEXT", "page footer text (macros allowed)", "fWatermark", "footer", "a footer", {}, {},
     nullptr},
    {"--footer-align", "Stamps", "ALIGN", "footer: left, center or right", "fpos", nullptr, "an alignment",
     {"left", "center", "right"}, {}, nullptr},
    {"--footer-color", "Stamps", "COLOR", "footer colour: #RRGGBB or a CSS name", "fcolor", nullptr, nullptr, {}, {},
     colour},
    {"--watermark", "Stamps", "TEXT", "text watermark", "tWatermark", "text", "a watermark", {}, {}, nullptr},
    {"--watermark-position", "Stamps", "POS", "top-left ... center ... bottom-right", "tpos", nullptr, "a position",
     kPositions, {}, nullptr},
    {"--watermark-size", "Stamps", "PT", "watermark text size, 1..100 points", "tsize", nullptr, nullptr, {}, {},
     textSize},
    {"--watermark-color", "Stamps", "COLOR", "watermark colour: #RRGGBB or a CSS name", "tcolor", nullptr, nullptr,
     {}, {}, colour},
    {"--watermark-image", "Stamps", "FILE", "image watermark (JPEG, TIFF or BMP file)", "imgWatermark", "image",
     nullptr, {}, {}, imageFile},
    {"--watermark-image-position", "Stamps", "POS", "top-left ... center ... bottom-right", "imgpos", nullptr,
     "a position", kPositions, {}, nullptr},
    {"--watermark-image-size", "Stamps", "WxH", "watermark image size with units, e.g. 100x50 or 4x2cm", "imgWidth",
     nullptr, nullptr, {}, {}, imageSize, "imgHeight"},
    // Viewer
    {"--open-panel", "Viewer", "PANEL", "viewer opens with none, bookmarks or thumbnails shown", "document", nullptr,
     "a panel", {"none", "bookmarks", "thumbnails"}, {}, nullptr},
    {"--open-zoom", "Viewer", "ZOOM", "viewer zoom: fit-width or fit-page", "zoom", nullptr, "a zoom",
     {"fit-width", "fit-page"}, {}, nullptr},
    {"--fit-window", "Viewer", nullptr, "viewer fits its window to the first page", "resize", nullptr, nullptr, {}, {},
     nullptr},
    {"--center-window", "Viewer", nullptr, "viewer centres its window", "center", nullptr, nullptr, {}, {}, nullptr},
    {"--full-screen", "Viewer", nullptr, "viewer opens in full screen", "fullscreen", nullptr, nullptr, {}, {},
     nullptr},
    {"--hide-menubar", "Viewer", nullptr, "viewer hides its menu bar", "hideMenu", nullptr, nullptr, {}, {}, nullptr},
    {"--hide-toolbar", "Viewer", nullptr, "viewer hides its tool bars", "hideTool", nullptr, nullptr, {}, {}, nullptr},
    {"--hide-window-ui", "Viewer", nullptr, "viewer hides its window controls", "hideControl", nullptr, nullptr, {},
     {}, nullptr},
    // Information
    {"--title", "Information", "TEXT", "document title", "title", nullptr, "a title", {}, {}, nullptr},
    {"--subject", "Information", "TEXT", "document subject", "subject", nullptr, "a subject", {}, {}, nullptr},
    {"--author", "Information", "TEXT", "document author", "author", nullptr, "an author", {}, {}, nullptr},
    {"--keywords", "Information", "TEXT", "document keywords", "keywords", nullptr, "keywords", {}, {}, nullptr},
    {"--creator", "Information", "TEXT", "the application named as creator", "creator", nullptr, "a creator", {}, {},
     nullptr},
    // Security
    {"--encrypt", "Security", "METHOD", "encrypt with rc4-40, rc4-128, aes-128 or aes-256", "level", "security",
     "an encryption", {"rc4-40", "rc4-128", "aes-128", "aes-256"}, {}, nullptr},
    {"--allow", "Security", "LIST", "what readers may do: print,copy,modify (default none)", "print", nullptr,
     nullptr, {}, {}, permissions, "copy modify"},
    {"--user-password-file", "Security", "FILE", "open password from FILE (or env FOLVANE_USER_PASSWORD)", "user",
     nullptr, nullptr, {}, {}, password},
    {"--owner-password-file", "Security", "FILE", "permissions password from FILE (or env FOLVANE_OWNER_PASSWORD)",
     "owner", nullptr, nullptr, {}, {}, password},
    // Image handling
    {"--auto-orient", "Image handling", "ON|OFF", "turn photos upright by their EXIF orientation (default on)",
     "autoOrient", nullptr, "on or off", {"off", "on"}, {}, nullptr},
    {"--lossless", "Image handling", nullptr, "keep pictures exactly (Deflate) instead of JPEG coding them",
     "lossless", nullptr, nullptr, {}, {}, nullptr},
    {"--skew-method", "Image handling", "METHOD", "how straightening measures the tilt: basic or refined (default)",
     "skewMethod", nullptr, "a skew method", {"basic", "refined"}, {}, nullptr},
    // Text recognition
    {"--ocr", "Text recognition", nullptr, "searchable PDF: an invisible text layer read by Tesseract", "ocr",
     nullptr, nullptr, {}, {}, nullptr},
    {"--ocr-lang", "Text recognition", "LANGS", "recognition languages joined by +, e.g. deu+eng (default eng)",
     "ocrLanguages", nullptr, "languages", {}, {}, nullptr},
};

const NamedOption* findOption(const std::string& name)
{
    for (const NamedOption& option : kOptions)
        if (name == option.name)
            return &option;
    return nullptr;
}

bool translate(const NamedOption& option, const std::string& value, std::vector<Assignment>& out,
               std::string& problem)
{
    if (option.translate)
        return option.translate(option, value, out, problem);
    if (!option.valueName) {
        out.emplace_back(option.key, "1");
        return true;
    }
    if (option.alsoKey)
        out.emplace_back(option.alsoKey, "1");
    if (option.words.empty()) {
        out.emplace_back(option.key, value);
        return true;
    }
    int index = wordIndex(value, option.words);
    if (index < 0) {
        problem = std::string("is not ") + option.noun + " (" + wordList(option.words) + ")";
        return false;
    }
    out.emplace_back(option.key, std::to_string(option.codes.empty() ? index : option.codes[index]));
    return true;
}

void printProblem(const std::string& option, const std::string& value, const std::string& problem)
{
    std::fprintf(stderr, "folvane-cli: %s: '%s' %s\n", option.c_str(), value.c_str(), problem.c_str());
}

// A password for encryption that would be dropped silently is refused instead.
bool passwordWithoutEncryption(const std::vector<SettingArg>& args, const app::OutputSettings& settings)
{
    if (settings.securityOn != 0)
        return false;
    for (const SettingArg& arg : args) {
        if (arg.option == "--user-password-file" || arg.option == "--owner-password-file") {
            std::fprintf(stderr, "folvane-cli: %s: a password needs encryption; add --encrypt METHOD\n",
                         arg.option.c_str());
            return true;
        }
    }
    return false;
}

} // namespace

std::span<const NamedOption> namedOptions()
{
    return kOptions;
}

std::string optionsOfKey(const std::string& key)
{
    std::string names;
    for (const NamedOption& option : kOptions) {
        std::string keys = std::string(option.key) + " " + (option.alsoKey ? option.alsoKey : "") + " " +
                           (option.moreKeys ? option.moreKeys : "");
        std::istringstream words(keys);
        std::string word;
        while (words >> word) {
            if (strcasecmp(word.c_str(), key.c_str()) == 0) {
                names += (names.empty() ? "" : ", ") + std::string(option.name);
                break;
            }
        }
    }
    return names;
}

bool applySetting(const std::string& key, const std::string& value, app::OutputSettings& settings,
                  std::string& problem)
{
    const app::SettingSpec* spec = app::findSetting(key);
    if (!spec || !spec->isOutputSetting()) {
        if (spec) {
            problem = "'" + key + "' is not an output setting; store it with: folvane-cli settings set " + spec->key +
                      " VALUE";
            return false;
        }
        std::vector<std::string> near = app::nearestSettings(key);
        std::string list;
        for (size_t i = 0; i < near.size(); ++i)
            list += (i == 0 ? "" : i + 1 == near.size() ? " or " : ", ") + near[i];
        problem = "'" + key + "' is not a setting" +
                  (list.empty() ? std::string(" (folvane-cli settings list shows them)") : " (did you mean " + list + "?)");
        return false;
    }
    std::string accepted = app::settingValueProblem(*spec, value);
    if (!accepted.empty()) {
        problem = "'" + value + "' is not a value of " + spec->key + " (" + accepted + ")";
        return false;
    }
    spec->assign(settings, value);
    return true;
}

bool resolveRunSettings(const app::SettingsStore& store, const std::vector<SettingArg>& args,
                        app::OutputSettings& settings)
{
    app::loadOutputSettings(store, settings);
    std::string problem;
    for (auto [variable, key] : {std::pair {"FOLVANE_USER_PASSWORD", "user"}, {"FOLVANE_OWNER_PASSWORD", "owner"}}) {
        const char* secret = std::getenv(variable);
        if (secret && !applySetting(key, secret, settings, problem)) {
            std::fprintf(stderr, "folvane-cli: %s: the password is too long (at most 255 bytes)\n", variable);
            return false;
        }
    }
    for (const SettingArg& arg : args) {
        if (arg.option == "--set") {
            size_t equals = arg.value.find('=');
            if (equals == std::string::npos || equals == 0) {
                printProblem("--set", arg.value, "is not KEY=VALUE");
                return false;
            }
            if (!applySetting(arg.value.substr(0, equals), arg.value.substr(equals + 1), settings, problem)) {
                std::fprintf(stderr, "folvane-cli: --set: %s\n", problem.c_str());
                return false;
            }
            continue;
        }
        const NamedOption* option = findOption(arg.option);
        std::vector<Assignment> assignments;
        if (!option || !translate(*option, arg.value, assignments, problem)) {
            printProblem(arg.option, arg.value, problem);
            return false;
        }
        for (const Assignment& assignment : assignments) {
            if (!applySetting(assignment.first, assignment.second, settings, problem)) {
                // Only text limits can refuse a translated value; the message names the option.
                const app::SettingSpec* spec = app::findSetting(assignment.first);
                printProblem(arg.option, arg.value,
                             "is not accepted (" + (spec ? app::settingValueProblem(*spec, assignment.second) : problem) + ")");
                return false;
            }
        }
    }
    if (passwordWithoutEncryption(args, settings))
        return false;
    // A missing language would otherwise show only as pages without text, file after file.
    if (settings.recognizeText == 1) {
        std::string missing = engine::TextRecognitionProblem(settings.recognitionLanguages);
        if (!missing.empty()) {
            std::fprintf(stderr, "folvane-cli: %s\n", missing.c_str());
            return false;
        }
    }
    return true;
}

} // namespace folvane::cli
