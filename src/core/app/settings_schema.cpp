#include "app/settings_schema.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <strings.h>

#include "app/app_paths.h"
#include "app/output_settings.h"
#include "app/settings_store.h"

namespace folvane::app {

namespace {

constexpr int kLayouts[] = {1, 2, 4, 6, 9, 16};
constexpr int kNoChoices[] = {0};

// Texts read back with kTextCapacity keep 255 bytes; paths are read with a 4096-byte capacity.
constexpr size_t kShortText = kTextCapacity - 1;
constexpr size_t kPathText = 4095;
constexpr int kColour = 0xFFFFFF; // 0x00BBGGRR

constexpr SettingSpec integer(const char* key, int minimum, int maximum, const char* meaning)
{
    return SettingSpec {key, false, minimum, maximum, std::span<const int>(kNoChoices, 0), 0, false, meaning};
}

constexpr SettingSpec text(const char* key, size_t maxLength, const char* meaning, bool digitsOnly = false)
{
    return SettingSpec {key, true, 0, 0, std::span<const int>(kNoChoices, 0), maxLength, digitsOnly, meaning};
}

constexpr SettingSpec flag(const char* key, const char* meaning)
{
    return integer(key, 0, 1, meaning);
}

// The resolution keys accept 0 ("remain unchanged") besides their range; see dpiProblem.
constexpr int kDpiMinimum = 72;

const SettingSpec kSpecs[] = {
    integer("after", 0, 6, "after a job: 0 nothing, 1 shut down, 2 stand by, 3 restart, 4 log off, 5 exit, 6 open output"),
    integer("exists", 0, 3, "existing output: 0 ask, 1 overwrite, 2 new numbered file, 3 append"),
    integer("priority", 0, 4, "job priority: 0 idle, 1 below normal, 2 normal, 3 above normal, 4 high"),
    flag("log", "record a daily job log"),
    text("logpath", kPathText, "folder of the log files"),
    integer("outMode", 0, 2, "grouping: 0 one merged PDF, 1 one PDF per image, 2 one PDF per folder"),
    text("outPath0", kPathText, "the merged PDF file"),
    text("outPath1", kPathText, "folder of the per-image PDF files"),
    text("outPath2", kPathText, "folder of the per-folder PDF files"),
    text("OpenFile", kPathText, "last file added; where Add Files starts"),
    text("openDir", kPathText, "last folder added; where Add Folder starts"),
    flag("subdir", "include subfolders"),
    text("input", kPathText, "the watched folder"),
    text("doutput", kPathText, "the watch page's output folder"),
    flag("keepsub", "watch, per-image mode: keep the input's subfolders"),
    flag("del_success", "watch: delete a source once converted"),
    flag("autorun", "watch: start monitoring when the program starts"),
    flag("winstart", "start the program at log-in"),
    flag("runsec", "watch: repeat the scan until stopped"),
    text("second", 3, "watch: seconds between scans", true),

    integer("colorTif", 0, 4, "colour images: 0 none, 1 LZW, 2 Zip, 3 PackBits, 4 JPEG"),
    integer("grayTif", 0, 4, "grayscale images: 0 none, 1 LZW, 2 Zip, 3 PackBits, 4 JPEG"),
    integer("bwTif", 0, 4, "black/white images: 0 none, 1 LZW, 2 Zip, 3 CCITT G3, 4 CCITT G4"),
    flag("bSkew", "straighten skewed black/white scans"),
    integer("quality", 0, 100, "JPEG quality; 0 keeps JPEG data as it is"),
    integer("imgFit", 0, 1, "0 fit keeping proportions, 1 stretch"),
    integer("pageRotate", 0, 3, "rotation: 0, 1, 2, 3 for 0, 90, 180, 270 degrees"),
    integer("pageSize", 0, 7, "page: 0 image size, 1 A3, 2 A4, 3 A5, 4 B5, 5 Letter, 6 Legal, 7 custom"),
    integer("page_W", 0, 14400, "custom page width in points"),
    integer("page_H", 0, 14400, "custom page height in points"),
    integer("xdpi", kDpiMinimum, 1200, "horizontal resolution in dots per inch; 0 unchanged"),
    integer("ydpi", kDpiMinimum, 1200, "vertical resolution in dots per inch; 0 unchanged"),
    integer("mTop", 0, 999, "top margin in points"),
    integer("mLeft", 0, 999, "left margin in points"),
    integer("mRight", 0, 999, "right margin in points"),
    integer("mBottom", 0, 999, "bottom margin in points"),
    SettingSpec {"layout", false, 1, 16, kLayouts, 0, false, "images per page: 1, 2, 4, 6, 9 or 16"},
    integer("order", 0, 1, "cell order: 0 horizontal, 1 vertical"),
    flag("repeat", "fill every cell of a page with the same image"),
    flag("border", "draw cell borders"),
    flag("header", "page header on"),
    text("hWatermark", kShortText, "page header text (macros allowed)"),
    integer("hpos", 0, 2, "header alignment: 0 left, 1 center, 2 right"),
    integer("hcolor", 0, kColour, "header colour, 0x00BBGGRR as decimal"),
    flag("footer", "page footer on"),
    text("fWatermark", kShortText, "page footer text (macros allowed)"),
    integer("fpos", 0, 2, "footer alignment: 0 left, 1 center, 2 right"),
    integer("fcolor", 0, kColour, "footer colour, 0x00BBGGRR as decimal"),
    flag("text", "text watermark on"),
    text("tWatermark", kShortText, "watermark text"),
    integer("tpos", 0, 8, "watermark position: 0 top-left ... 4 center ... 8 bottom-right, row by row"),
    integer("tsize", 1, 100, "watermark text size in points"),
    integer("tcolor", 0, kColour, "watermark colour, 0x00BBGGRR as decimal"),
    flag("image", "image watermark on"),
    text("imgWatermark", kShortText, "watermark image file"),
    integer("imgpos", 0, 8, "watermark image position, as tpos"),
    integer("imgWidth", 0, 9999, "watermark image width in points"),
    integer("imgHeight", 0, 9999, "watermark image height in points"),
    flag("security", "password security on"),
    flag("copy", "allow copying text and images"),
    flag("print", "allow printing"),
    flag("modify", "allow changing the document"),
    integer("level", 0, 3, "encryption: 0 RC4 40-bit, 1 RC4 128-bit, 2 AES-128, 3 AES-256"),
    text("user", kShortText, "document open password"),
    text("owner", kShortText, "permissions password"),
    integer("document", 0, 2, "viewer opens with: 0 page only, 1 bookmark panel, 2 thumbnail panel"),
    integer("zoom", 0, 1, "viewer zoom: 0 fit width, 1 fit page"),
    flag("resize", "viewer fits the window to the first page"),
    flag("center", "viewer centres its window"),
    flag("fullscreen", "viewer opens in full screen"),
    flag("hideMenu", "viewer hides its menu bar"),
    flag("hideTool", "viewer hides its tool bars"),
    flag("hideControl", "viewer hides its window controls"),
    flag("bookmark", "add bookmarks"),
    integer("bookmarksel", 0, 3, "bookmark text: 0 page number, 1 name without extension, 2 file name, 3 full path"),
    flag("unitforfile", "one bookmark per source file"),
    text("title", kShortText, "document title"),
    text("subject", kShortText, "document subject"),
    text("author", kShortText, "document author"),
    text("keywords", kShortText, "document keywords"),
    text("creator", kShortText, "document creator application"),
    text("producer", kShortText, "document producer (empty: Folvane's own)"),
    // Image handling
    flag("autoOrient", "turn photos upright by their EXIF orientation"),
    flag("lossless", "keep pictures exactly (Deflate) instead of JPEG coding them"),
    integer("skewMethod", 0, 1, "skew estimate for straightening: 0 first estimate, 1 refined"),

    // Desktop file list.
    flag("naturalSort", "Add Folder and dropped folders: natural name order, page2 before page10"),
    flag("ocr", "searchable scans: add an invisible text layer by text recognition"),
    text("ocrLanguages", 63, "text recognition languages, Tesseract codes joined by + (eng, deu+eng)"),
};

// The defaults of the keys outside the output settings record.
struct PlainDefault {
    const char* key;
    int intDefault;
    const char* textDefault;
};

const PlainDefault kPlainDefaults[] = {
    {"after", 0, nullptr},  {"exists", 2, nullptr},  {"priority", 2, nullptr}, {"second", 0, "5"},
};

size_t editDistance(std::string_view a, std::string_view b)
{
    std::vector<size_t> row(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j)
        row[j] = j;
    for (size_t i = 1; i <= a.size(); ++i) {
        size_t diagonal = row[0];
        row[0] = i;
        for (size_t j = 1; j <= b.size(); ++j) {
            size_t above = row[j];
            bool same = std::tolower(static_cast<unsigned char>(a[i - 1])) ==
                        std::tolower(static_cast<unsigned char>(b[j - 1]));
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (same ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

bool parseWhole(std::string_view text, long& number)
{
    std::string copy(text);
    if (copy.empty() || std::isspace(static_cast<unsigned char>(copy[0])))
        return false;
    errno = 0;
    char* end = nullptr;
    number = std::strtol(copy.c_str(), &end, 10);
    return *end == '\0' && errno == 0;
}

bool isDpiKey(std::string_view key)
{
    return key == "xdpi" || key == "ydpi";
}

} // namespace

std::span<const SettingSpec> settingSpecs()
{
    return kSpecs;
}

const SettingSpec* findSetting(std::string_view key)
{
    std::string wanted(key);
    for (const SettingSpec& spec : kSpecs)
        if (strcasecmp(spec.key, wanted.c_str()) == 0)
            return &spec;
    return nullptr;
}

int settingIntDefault(std::string_view key)
{
    const SettingSpec* spec = findSetting(key);
    if (!spec)
        return 0;
    for (const OutputSettingKey& entry : outputSettingKeys())
        if (std::string_view(entry.key) == spec->key)
            return entry.intDefault;
    for (const PlainDefault& plain : kPlainDefaults)
        if (std::string_view(plain.key) == spec->key)
            return plain.intDefault;
    return 0;
}

std::string settingTextDefault(std::string_view key)
{
    const SettingSpec* spec = findSetting(key);
    if (!spec)
        return {};
    std::string_view name = spec->key;
    if (name == "OpenFile" || name == "openDir") {
        std::string home = homeFolder();
        return home.empty() ? std::string("/") : home + "/";
    }
    for (const PlainDefault& plain : kPlainDefaults)
        if (name == plain.key && plain.textDefault)
            return plain.textDefault;
    for (const OutputSettingKey& entry : outputSettingKeys())
        if (name == entry.key && entry.textField)
            return entry.textDefault;
    return {};
}

std::string settingValueProblem(const SettingSpec& spec, std::string_view value)
{
    if (spec.isText) {
        if (spec.digitsOnly && (value.empty() || value.size() > spec.maxLength ||
                                value.find_first_not_of("0123456789") != std::string_view::npos))
            return "a whole number of at most " + std::to_string(spec.maxLength) + " digits";
        if (spec.maxLength && value.size() > spec.maxLength)
            return "a text of at most " + std::to_string(spec.maxLength) + " bytes";
        return {};
    }
    long number = 0;
    bool whole = parseWhole(value, number);
    if (!spec.choices.empty()) {
        std::string list;
        for (int choice : spec.choices)
            list += (list.empty() ? "" : ", ") + std::to_string(choice);
        if (!whole || std::find(spec.choices.begin(), spec.choices.end(), number) == spec.choices.end())
            return "one of " + list;
        return {};
    }
    bool zeroAllowed = isDpiKey(spec.key);
    bool inRange = whole && ((number >= spec.minimum && number <= spec.maximum) || (zeroAllowed && number == 0));
    if (inRange)
        return {};
    std::string range = "a whole number from " + std::to_string(spec.minimum) + " to " + std::to_string(spec.maximum);
    if (spec.minimum == 0 && spec.maximum == 1)
        range = "0 or 1";
    return zeroAllowed ? "0 or " + range : range;
}

std::vector<std::string> nearestSettings(std::string_view key, size_t count)
{
    std::vector<std::pair<size_t, std::string>> scored;
    std::string lowered(key);
    for (char& c : lowered)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (const SettingSpec& spec : kSpecs) {
        std::string name = spec.key;
        std::string lowerName = name;
        for (char& c : lowerName)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        size_t distance = editDistance(lowered, lowerName);
        // A key that contains the typed text (or the other way round) counts as close too.
        bool contains = !lowered.empty() && (lowerName.find(lowered) != std::string::npos ||
                                             (lowerName.size() >= 3 && lowered.find(lowerName) != std::string::npos));
        size_t limit = std::max<size_t>(2, std::min(lowered.size(), lowerName.size()) / 3);
        if (distance <= limit || contains)
            scored.emplace_back(contains ? std::min(distance, limit) : distance, name);
    }
    std::stable_sort(scored.begin(), scored.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<std::string> names;
    for (size_t i = 0; i < scored.size() && names.size() < count; ++i)
        names.push_back(scored[i].second);
    return names;
}

} // namespace folvane::app
