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

#include "app/setting_keys.h"
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
        out.emplace_back(app::key::pageSize, std::to_string(index));
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
    out.emplace_back(app::key::pageSize, "7");
    out.emplace_back(app::key::pageWidth, std::to_string(width));
    out.emplace_back(app::key::pageHeight, std::to_string(height));
    return true;
}

bool dpi(const NamedOption&, const std::string& value, std::vector<Assignment>& out, std::string& problem)
{
    problem = "is not a resolution (keep, a number of dots per inch from 72 to 1200, or XDPIxYDPI)";
    if (strcasecmp(value.c_str(), "keep") == 0) {
        out = {{std::string(app::key::dpiX), "0"}, {std::string(app::key::dpiY), "0"}};
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
    out = {{std::string(app::key::dpiX), std::to_string(x)}, {std::string(app::key::dpiY), std::to_string(y)}};
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
    out = {{std::string(app::key::marginTop), std::to_string(points[0])},
           {std::string(app::key::marginRight), std::to_string(points[1])},
           {std::string(app::key::marginBottom), std::to_string(points[2])},
           {std::string(app::key::marginLeft), std::to_string(points[3])}};
    return true;
}

bool wholeInRange(const std::string& value, int low, int high, std::string_view key, std::vector<Assignment>& out)
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
    return wholeInRange(value, 0, 100, app::key::jpegQuality, out);
}

bool textSize(const NamedOption&, const std::string& value, std::vector<Assignment>& out, std::string& problem)
{
    problem = "is not a text size (1 to 100 points)";
    return wholeInRange(value, 1, 100, app::key::watermarkTextSize, out);
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
    out = {{std::string(app::key::watermarkImageWidth), std::to_string(width)},
           {std::string(app::key::watermarkImageHeight), std::to_string(height)}};
    return true;
}

bool permissions(const NamedOption&, const std::string& value, std::vector<Assignment>& out, std::string& problem)
{
    static const std::vector<std::string_view> rights = {"print", "copy", "modify"};
    static const std::string_view rightKeys[] = {app::key::allowPrint, app::key::allowCopy, app::key::allowModify};
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
        out.emplace_back(rightKeys[i], allowed[i] ? "1" : "0");
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
        app::key::pageSize.data(), nullptr, "a page size", {}, {}, pageSize,
        {app::key::pageWidth, app::key::pageHeight}},
    {"--rotate", "Page", "ANGLE", "turn pages by 0, 90, 180 or 270 degrees", app::key::rotation.data(), nullptr,
        "an angle", {"0", "90", "180", "270"}, {}, nullptr},
    {"--fit", "Page", "HOW", "fit (keep proportions) or stretch images into their place", app::key::imageFit.data(),
        nullptr, "a fit", {"fit", "stretch"}, {}, nullptr},
    {"--dpi", "Page", "DPI", "resolution of image-size pages: N, XxY (72 to 1200) or keep", app::key::dpiX.data(),
        nullptr, "a resolution", {}, {}, dpi, {app::key::dpiY}},
    {"--margin", "Page", "V|T,R,B,L", "margins with units, e.g. 10mm or 36,18,36,18", app::key::marginTop.data(),
        nullptr, "a margin", {}, {}, margin, {app::key::marginRight, app::key::marginBottom, app::key::marginLeft}},
    {"--layout", "Page", "N", "images per page: 1, 2, 4, 6, 9 or 16", app::key::imagesPerPage.data(), nullptr,
        "a layout", {"1", "2", "4", "6", "9", "16"}, {1, 2, 4, 6, 9, 16}, nullptr},
    {"--order", "Page", "ORDER", "cell order: horizontal or vertical", app::key::cellOrder.data(), nullptr, "an order",
        {"horizontal", "vertical"}, {}, nullptr},
    {"--repeat", "Page", nullptr, "fill every cell of a page with the same image", app::key::repeatImage.data(),
        nullptr, nullptr, {}, {}, nullptr},
    {"--border", "Page", nullptr, "draw cell borders", app::key::cellBorders.data(), nullptr, nullptr, {}, {}, nullptr},
    // Images
    {"--quality", "Images", "Q", "JPEG quality 0..100 (0 keeps JPEG data as it is)", app::key::jpegQuality.data(),
        nullptr, "a quality", {}, {}, quality},
    {"--color-compression", "Images", "C", "colour images: none, lzw, zip, packbits or jpeg",
        app::key::colorCompression.data(), nullptr, "a compression", kCompressions, {}, nullptr},
    {"--gray-compression", "Images", "C", "grayscale images: none, lzw, zip, packbits or jpeg",
        app::key::grayCompression.data(), nullptr, "a compression", kCompressions, {}, nullptr},
    {"--bw-compression", "Images", "C", "black/white images: none, lzw, zip, g3 or g4", app::key::bwCompression.data(),
        nullptr, "a compression", {"none", "lzw", "zip", "g3", "g4"}, {}, nullptr},
    {"--deskew", "Images", nullptr, "straighten skewed black/white scans", app::key::skewCorrection.data(), nullptr,
        nullptr, {}, {}, nullptr},
    // Bookmarks
    {"--bookmarks", "Bookmarks", "TEXT", "add bookmarks named by page, name, filename or path",
        app::key::bookmarkLabel.data(), app::key::bookmarksOn.data(), "a bookmark text",
        {"page", "name", "filename", "path"}, {}, nullptr},
    {"--bookmark-per-file", "Bookmarks", nullptr, "one bookmark per source file instead of per page",
        app::key::bookmarkPerFile.data(), nullptr, nullptr, {}, {}, nullptr},
    // Stamps
    {"--header", "Stamps", "TEXT", "page header text (macros such as %LocalDate(YY-MM-DD)% allowed)",
        app::key::headerText.data(), app::key::headerOn.data(), "a header", {}, {}, nullptr},
    {"--header-align", "Stamps", "ALIGN", "header: left, center or right", app::key::headerPosition.data(), nullptr,
        "an alignment", {"left", "center", "right"}, {}, nullptr},
    {"--header-color", "Stamps", "COLOR", "header colour: #RRGGBB or a CSS name", app::key::headerColor.data(), nullptr,
        nullptr, {}, {}, colour},
    {"--footer", "Stamps", "TEXT", "page footer text (macros allowed)", app::key::footerText.data(),
        app::key::footerOn.data(), "a footer", {}, {}, nullptr},
    {"--footer-align", "Stamps", "ALIGN", "footer: left, center or right", app::key::footerPosition.data(), nullptr,
        "an alignment", {"left", "center", "right"}, {}, nullptr},
    {"--footer-color", "Stamps", "COLOR", "footer colour: #RRGGBB or a CSS name", app::key::footerColor.data(), nullptr,
        nullptr, {}, {}, colour},
    {"--watermark", "Stamps", "TEXT", "text watermark", app::key::watermarkText.data(),
        app::key::textWatermarkOn.data(), "a watermark", {}, {}, nullptr},
    {"--watermark-position", "Stamps", "POS", "top-left ... center ... bottom-right",
        app::key::watermarkPosition.data(), nullptr, "a position", kPositions, {}, nullptr},
    {"--watermark-size", "Stamps", "PT", "watermark text size, 1..100 points", app::key::watermarkTextSize.data(),
        nullptr, nullptr, {}, {}, textSize},
    {"--watermark-color", "Stamps", "COLOR", "watermark colour: #RRGGBB or a CSS name", app::key::watermarkColor.data(),
        nullptr, nullptr, {}, {}, colour},
    {"--watermark-image", "Stamps", "FILE", "image watermark (JPEG, TIFF or BMP file)", app::key::watermarkImage.data(),
        app::key::imageWatermarkOn.data(), nullptr, {}, {}, imageFile},
    {"--watermark-image-position", "Stamps", "POS", "top-left ... center ... bottom-right",
        app::key::watermarkImagePosition.data(), nullptr, "a position", kPositions, {}, nullptr},
    {"--watermark-image-size", "Stamps", "WxH", "watermark image size with units, e.g. 100x50 or 4x2cm",
        app::key::watermarkImageWidth.data(), nullptr, nullptr, {}, {}, imageSize, {app::key::watermarkImageHeight}},
    // Viewer
    {"--open-panel", "Viewer", "PANEL", "viewer opens with none, bookmarks or thumbnails shown",
        app::key::openPanel.data(), nullptr, "a panel", {"none", "bookmarks", "thumbnails"}, {}, nullptr},
    {"--open-zoom", "Viewer", "ZOOM", "viewer zoom: fit-width or fit-page", app::key::openZoom.data(), nullptr,
        "a zoom", {"fit-width", "fit-page"}, {}, nullptr},
    {"--fit-window", "Viewer", nullptr, "viewer fits its window to the first page", app::key::fitWindow.data(), nullptr,
        nullptr, {}, {}, nullptr},
    {"--center-window", "Viewer", nullptr, "viewer centres its window", app::key::centerWindow.data(), nullptr, nullptr,
        {}, {}, nullptr},
    {"--full-screen", "Viewer", nullptr, "viewer opens in full screen", app::key::fullScreen.data(), nullptr, nullptr,
        {}, {}, nullptr},
    {"--hide-menubar", "Viewer", nullptr, "viewer hides its menu bar", app::key::hideMenubar.data(), nullptr, nullptr,
        {}, {}, nullptr},
    {"--hide-toolbar", "Viewer", nullptr, "viewer hides its tool bars", app::key::hideToolbar.data(), nullptr, nullptr,
        {}, {}, nullptr},
    {"--hide-window-ui", "Viewer", nullptr, "viewer hides its window controls", app::key::hideWindowControls.data(),
        nullptr, nullptr, {}, {}, nullptr},
    // Information
    {"--title", "Information", "TEXT", "document title", app::key::title.data(), nullptr, "a title", {}, {}, nullptr},
    {"--subject", "Information", "TEXT", "document subject", app::key::subject.data(), nullptr, "a subject", {}, {},
        nullptr},
    {"--author", "Information", "TEXT", "document author", app::key::author.data(), nullptr, "an author", {}, {},
        nullptr},
    {"--keywords", "Information", "TEXT", "document keywords", app::key::keywords.data(), nullptr, "keywords", {}, {},
        nullptr},
    {"--creator", "Information", "TEXT", "the application named as creator", app::key::creator.data(), nullptr,
        "a creator", {}, {}, nullptr},
    // Security
    {"--encrypt", "Security", "METHOD", "encrypt with rc4-40, rc4-128, aes-128 or aes-256",
        app::key::securityLevel.data(), app::key::securityOn.data(), "an encryption",
        {"rc4-40", "rc4-128", "aes-128", "aes-256"}, {}, nullptr},
    {"--allow", "Security", "LIST", "what readers may do: print,copy,modify (default none)",
        app::key::allowPrint.data(), nullptr, nullptr, {}, {}, permissions,
        {app::key::allowCopy, app::key::allowModify}},
    {"--user-password-file", "Security", "FILE", "open password from FILE (or env FOLVANE_USER_PASSWORD)",
        app::key::userPassword.data(), nullptr, nullptr, {}, {}, password},
    {"--owner-password-file", "Security", "FILE", "permissions password from FILE (or env FOLVANE_OWNER_PASSWORD)",
        app::key::ownerPassword.data(), nullptr, nullptr, {}, {}, password},
    // Image handling
    {"--auto-orient", "Image handling", "ON|OFF", "turn photos upright by their EXIF orientation (default on)",
        app::key::autoOrient.data(), nullptr, "on or off", {"off", "on"}, {}, nullptr},
    {"--lossless", "Image handling", nullptr, "keep pictures exactly (Deflate) instead of JPEG coding them",
        app::key::lossless.data(), nullptr, nullptr, {}, {}, nullptr},
    {"--skew-method", "Image handling", "METHOD", "how straightening measures the tilt: basic or refined (default)",
        app::key::skewMethod.data(), nullptr, "a skew method", {"basic", "refined"}, {}, nullptr},
    // Text recognition
    {"--ocr", "Text recognition", nullptr, "searchable PDF: an invisible text layer read by Tesseract",
        app::key::recognizeText.data(), nullptr, nullptr, {}, {}, nullptr},
    {"--ocr-lang", "Text recognition", "LANGS", "recognition languages joined by +, e.g. deu+eng (default eng)",
        app::key::recognitionLanguages.data(), nullptr, "languages", {}, {}, nullptr},
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
        std::vector<std::string_view> keys = {option.key};
        if (option.alsoKey)
            keys.push_back(option.alsoKey);
        keys.insert(keys.end(), option.moreKeys.begin(), option.moreKeys.end());
        for (std::string_view word : keys) {
            if (strcasecmp(std::string(word).c_str(), key.c_str()) == 0) {
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
    for (auto [variable, key] : {std::pair {"FOLVANE_USER_PASSWORD", app::key::userPassword},
             std::pair {"FOLVANE_OWNER_PASSWORD", app::key::ownerPassword}}) {
        const char* secret = std::getenv(variable);
        if (secret && !applySetting(std::string(key), secret, settings, problem)) {
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
        std::string missing = engine::textRecognitionProblem(settings.recognitionLanguages);
        if (!missing.empty()) {
            std::fprintf(stderr, "folvane-cli: %s\n", missing.c_str());
            return false;
        }
    }
    return true;
}

} // namespace folvane::cli
