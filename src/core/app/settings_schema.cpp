#include "app/settings_schema.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <strings.h>
#include <type_traits>

#include "app/app_paths.h"
#include "app/output_settings.h"
#include "app/setting_keys.h"
#include "app/settings_store.h"

namespace folvane::app {

namespace {

constexpr int kLayouts[] = {1, 2, 4, 6, 9, 16};
constexpr int kNoChoices[] = {0};

// Texts read back with kTextCapacity keep 255 bytes; paths are read with a 4096-byte capacity.
constexpr size_t kShortText = kTextCapacity - 1;
constexpr size_t kPathText = 4095;
constexpr int kColour = 0xFFFFFF; // 0x00BBGGRR

constexpr SettingSpec integer(const char* key, int minimum, int maximum, const char* meaning, const char* label = "",
                              int byDefault = 0)
{
    return SettingSpec {key, false, minimum, maximum, std::span<const int>(kNoChoices, 0), 0, false, meaning, label,
                        byDefault};
}

constexpr SettingSpec text(const char* key, size_t maxLength, const char* meaning, const char* label = "",
                           const char* byDefault = "", bool digitsOnly = false)
{
    return SettingSpec {key, true, 0, 0, std::span<const int>(kNoChoices, 0), maxLength, digitsOnly, meaning, label,
                        0, byDefault};
}

constexpr SettingSpec flag(const char* key, const char* meaning, const char* label = "", int byDefault = 0)
{
    return integer(key, 0, 1, meaning, label, byDefault);
}

template <auto Field>
int readField(const OutputSettings& settings)
{
    return static_cast<int>(settings.*Field);
}

template <auto Field>
void writeField(OutputSettings& settings, int value)
{
    using Type = std::remove_cvref_t<decltype(settings.*Field)>;
    settings.*Field = static_cast<Type>(value);
}

// An integer key of the output settings: `spec` tied to the record's field.
template <auto Field>
SettingSpec bound(SettingSpec spec)
{
    spec.field = SettingField {&readField<Field>, &writeField<Field>, nullptr};
    return spec;
}

// A text key of the output settings.
SettingSpec bound(SettingSpec spec, std::string OutputSettings::*field)
{
    spec.field = SettingField {nullptr, nullptr, field};
    return spec;
}

// The resolution keys accept 0 ("remain unchanged") besides their range; see dpiProblem.
constexpr int kDpiMinimum = 72;

using S = OutputSettings;

const SettingSpec kSpecs[] = {
    integer(key::afterConversion.data(), 0, 6,
        "after a job: 0 nothing, 1 shut down, 2 stand by, 3 restart, 4 log off, 5 exit, 6 open output",
        "After Conversion:"),
    integer(key::existingOutput.data(), 0, 3, "existing output: 0 ask, 1 overwrite, 2 new numbered file, 3 append",
        "If output file exists:", 2),
    integer(key::processPriority.data(), 0, 4, "job priority: 0 idle, 1 below normal, 2 normal, 3 above normal, 4 high",
        "Process Priority:", 2),
    flag(key::recordLog.data(), "record a daily job log", "Record Log"),
    text(key::logFolder.data(), kPathText, "folder of the log files"),
    integer(key::outputMode.data(), 0, 2, "grouping: 0 one merged PDF, 1 one PDF per image, 2 one PDF per folder"),
    text(key::mergedOutputPath.data(), kPathText, "the merged PDF file", "Output Folder"),
    text(key::perImageOutputFolder.data(), kPathText, "folder of the per-image PDF files", "Output Folder"),
    text(key::perFolderOutputFolder.data(), kPathText, "folder of the per-folder PDF files", "Output Folder"),
    text(key::lastOpenedFile.data(), kPathText, "last file added; where Add Files starts"),
    text(key::lastOpenedFolder.data(), kPathText, "last folder added; where Add Folder starts"),
    flag(key::includeSubfolders.data(), "include subfolders", "Include subfolder"),
    text(key::watchInputFolder.data(), kPathText, "the watched folder", "Input Folder:"),
    text(key::watchOutputFolder.data(), kPathText, "the watch page's output folder", "Out Folder:"),
    flag(key::keepSubfolders.data(), "watch, per-image mode: keep the input's subfolders", "Keep original subfolder"),
    flag(key::deleteSourceOnSuccess.data(), "watch: delete a source once converted", "Delete source file when success"),
    flag(key::autoRunWatch.data(), "watch: start monitoring when the program starts", "Auto run at next"),
    flag(key::startAtLogin.data(), "start the program at log-in", "Start at login"),
    flag(key::repeatScan.data(), "watch: repeat the scan until stopped", "Monitoring interval"),
    text(key::scanIntervalSeconds.data(), 3, "watch: seconds between scans", "seconds", "5", true),

    bound<&S::colorCompression>(integer(key::colorCompression.data(), 0, 4,
        "colour images: 0 none, 1 LZW, 2 Zip, 3 PackBits, 4 JPEG", "Color Image", 4)),
    bound<&S::grayCompression>(integer(key::grayCompression.data(), 0, 4,
        "grayscale images: 0 none, 1 LZW, 2 Zip, 3 PackBits, 4 JPEG", "Grayscale Image", 4)),
    bound<&S::bwCompression>(integer(key::bwCompression.data(), 0, 4,
        "black/white images: 0 none, 1 LZW, 2 Zip, 3 CCITT G3, 4 CCITT G4", "Black/White Image", 4)),
    bound<&S::skewCorrection>(flag(key::skewCorrection.data(), "straighten skewed black/white scans", "Skew correct")),
    bound<&S::jpegQuality>(
        integer(key::jpegQuality.data(), 0, 100, "JPEG quality; 0 keeps JPEG data as it is", "JPEG Quality", 75)),
    bound<&S::imageFit>(integer(key::imageFit.data(), 0, 1, "0 fit keeping proportions, 1 stretch", "Image")),
    bound<&S::rotation>(
        integer(key::rotation.data(), 0, 3, "rotation: 0, 1, 2, 3 for 0, 90, 180, 270 degrees", "Angle")),
    bound<&S::pageSize>(integer(key::pageSize.data(), 0, 7,
        "page: 0 image size, 1 A3, 2 A4, 3 A5, 4 B5, 5 Letter, 6 Legal, 7 custom", "Page Size")),
    bound<&S::pageWidthPt>(integer(key::pageWidth.data(), 0, 14400, "custom page width in points", "Width")),
    bound<&S::pageHeightPt>(integer(key::pageHeight.data(), 0, 14400, "custom page height in points", "Height")),
    bound<&S::dpiX>(integer(
        key::dpiX.data(), kDpiMinimum, 1200, "horizontal resolution in dots per inch; 0 unchanged", "X-DPI", 72)),
    bound<&S::dpiY>(
        integer(key::dpiY.data(), kDpiMinimum, 1200, "vertical resolution in dots per inch; 0 unchanged", "Y-DPI", 72)),
    bound<&S::marginTopPt>(integer(key::marginTop.data(), 0, 999, "top margin in points", "Top")),
    bound<&S::marginLeftPt>(integer(key::marginLeft.data(), 0, 999, "left margin in points", "Left")),
    bound<&S::marginRightPt>(integer(key::marginRight.data(), 0, 999, "right margin in points", "Right")),
    bound<&S::marginBottomPt>(integer(key::marginBottom.data(), 0, 999, "bottom margin in points", "Bottom")),
    bound<&S::imagesPerPage>(SettingSpec {key::imagesPerPage.data(), false, 1, 16, kLayouts, 0, false,
        "images per page: 1, 2, 4, 6, 9 or 16", "Images per page", 1}),
    bound<&S::cellOrder>(integer(key::cellOrder.data(), 0, 1, "cell order: 0 horizontal, 1 vertical", "Layout")),
    bound<&S::repeatImage>(flag(key::repeatImage.data(), "fill every cell of a page with the same image", "Repeat")),
    bound<&S::cellBorders>(flag(key::cellBorders.data(), "draw cell borders", "Border")),
    bound<&S::headerOn>(flag(key::headerOn.data(), "page header on", "Page header")),
    bound(text(key::headerText.data(), kShortText, "page header text (macros allowed)", "Page header"), &S::headerText),
    bound<&S::headerPosition>(
        integer(key::headerPosition.data(), 0, 2, "header alignment: 0 left, 1 center, 2 right", "Page header")),
    bound<&S::headerColor>(
        integer(key::headerColor.data(), 0, kColour, "header colour, 0x00BBGGRR as decimal", "Page header")),
    bound<&S::footerOn>(flag(key::footerOn.data(), "page footer on", "Page footer")),
    bound(text(key::footerText.data(), kShortText, "page footer text (macros allowed)", "Page footer"), &S::footerText),
    bound<&S::footerPosition>(
        integer(key::footerPosition.data(), 0, 2, "footer alignment: 0 left, 1 center, 2 right", "Page footer")),
    bound<&S::footerColor>(
        integer(key::footerColor.data(), 0, kColour, "footer colour, 0x00BBGGRR as decimal", "Page footer")),
    bound<&S::textWatermarkOn>(flag(key::textWatermarkOn.data(), "text watermark on", "Text")),
    bound(text(key::watermarkText.data(), kShortText, "watermark text", "Text"), &S::watermarkText),
    bound<&S::watermarkPosition>(integer(key::watermarkPosition.data(), 0, 8,
        "watermark position: 0 top-left ... 4 center ... 8 bottom-right, row by row", "Text", 4)),
    bound<&S::watermarkTextSizePt>(
        integer(key::watermarkTextSize.data(), 1, 100, "watermark text size in points", "Text", 12)),
    bound<&S::watermarkColor>(
        integer(key::watermarkColor.data(), 0, kColour, "watermark colour, 0x00BBGGRR as decimal", "Text")),
    bound<&S::imageWatermarkOn>(flag(key::imageWatermarkOn.data(), "image watermark on", "Image")),
    bound(text(key::watermarkImage.data(), kShortText, "watermark image file", "Image"), &S::watermarkImagePath),
    bound<&S::watermarkImagePosition>(
        integer(key::watermarkImagePosition.data(), 0, 8, "watermark image position, as tpos", "Image", 4)),
    bound<&S::watermarkImageWidthPt>(
        integer(key::watermarkImageWidth.data(), 0, 9999, "watermark image width in points", "Image", 100)),
    bound<&S::watermarkImageHeightPt>(
        integer(key::watermarkImageHeight.data(), 0, 9999, "watermark image height in points", "Image", 100)),
    bound<&S::securityOn>(flag(key::securityOn.data(), "password security on", "Password Security")),
    bound<&S::allowCopy>(
        flag(key::allowCopy.data(), "allow copying text and images", "Enable Content Copying or Extraction")),
    bound<&S::allowPrint>(flag(key::allowPrint.data(), "allow printing", "Print Allowed")),
    bound<&S::allowModify>(
        flag(key::allowModify.data(), "allow changing the document", "Enable Changing the Document")),
    // 256-bit AES unless the file says otherwise.
    bound<&S::securityLevel>(integer(key::securityLevel.data(), 0, 3,
        "encryption: 0 RC4 40-bit, 1 RC4 128-bit, 2 AES-128, 3 AES-256", "Encryption Level", 3)),
    bound(text(key::userPassword.data(), kShortText, "document open password", "Document Open Password"),
        &S::userPassword),
    bound(
        text(key::ownerPassword.data(), kShortText, "permissions password", "Permissions Password"), &S::ownerPassword),
    bound<&S::openPanel>(integer(key::openPanel.data(), 0, 2,
        "viewer opens with: 0 page only, 1 bookmark panel, 2 thumbnail panel", "Page only")),
    bound<&S::openZoom>(integer(key::openZoom.data(), 0, 1, "viewer zoom: 0 fit width, 1 fit page", "Fit Width")),
    bound<&S::fitWindow>(flag(key::fitWindow.data(), "viewer fits the window to the first page", "Window Options")),
    bound<&S::centerWindow>(flag(key::centerWindow.data(), "viewer centres its window", "Window Options")),
    bound<&S::fullScreen>(flag(key::fullScreen.data(), "viewer opens in full screen", "Window Options")),
    bound<&S::hideMenubar>(flag(key::hideMenubar.data(), "viewer hides its menu bar", "Window Options")),
    bound<&S::hideToolbar>(flag(key::hideToolbar.data(), "viewer hides its tool bars", "Window Options")),
    bound<&S::hideWindowControls>(
        flag(key::hideWindowControls.data(), "viewer hides its window controls", "Window Options")),
    bound<&S::bookmarksOn>(flag(key::bookmarksOn.data(), "add bookmarks", "Add Bookmark")),
    bound<&S::bookmarkLabel>(integer(key::bookmarkLabel.data(), 0, 3,
        "bookmark text: 0 page number, 1 name without extension, 2 file name, 3 full path", "Add Bookmark")),
    bound<&S::bookmarkPerFile>(flag(key::bookmarkPerFile.data(), "one bookmark per source file", "Unit for file")),
    bound(text(key::title.data(), kShortText, "document title", "Title"), &S::title),
    bound(text(key::subject.data(), kShortText, "document subject", "Subject"), &S::subject),
    bound(text(key::author.data(), kShortText, "document author", "Author"), &S::author),
    bound(text(key::keywords.data(), kShortText, "document keywords", "Keywords"), &S::keywords),
    bound(text(key::creator.data(), kShortText, "document creator application", "Application"), &S::creator),
    bound(text(key::producer.data(), kShortText, "document producer (empty: Folvane's own)", "Producer"), &S::producer),
    // Image handling
    bound<&S::autoOrient>(flag(key::autoOrient.data(), "turn photos upright by their EXIF orientation",
        "Turn photos upright (EXIF orientation)", 1)),
    bound<&S::lossless>(flag(key::lossless.data(), "keep pictures exactly (Deflate) instead of JPEG coding them",
        "Lossless (no JPEG for images that are not JPEG)")),
    bound<&S::skewMethod>(integer(key::skewMethod.data(), 0, 1,
        "skew estimate for straightening: 0 first estimate, 1 refined", "Refined skew estimate", 1)),

    // Desktop file list.
    flag(key::naturalSort.data(), "Add Folder and dropped folders: natural name order, page2 before page10"),
    bound<&S::recognizeText>(flag(key::recognizeText.data(),
        "searchable scans: add an invisible text layer by text recognition", "Recognize text (OCR)")),
    bound(text(key::recognitionLanguages.data(), 63,
              "text recognition languages, Tesseract codes joined by + (eng, deu+eng)", "Languages", "eng"),
        &S::recognitionLanguages),
};

// The order of each tab's keys is the order its keys have always been written in, so that a new
// settings file reads the same; the viewer tab has always spelt its "hide" keys in lower case.
const SettingsTabKey kCompressKeys[] = {{key::colorCompression.data(), false}, {key::grayCompression.data(), false},
    {key::bwCompression.data(), false}, {key::skewCorrection.data(), false}, {key::jpegQuality.data(), false},
    {key::autoOrient.data(), false}, {key::lossless.data(), false}, {key::skewMethod.data(), false},
    {key::recognizeText.data(), false}, {key::recognitionLanguages.data(), false}};
const SettingsTabKey kPageKeys[]
    = {{key::imageFit.data(), false}, {key::rotation.data(), false}, {key::dpiX.data(), false},
        {key::dpiY.data(), false}, {key::imagesPerPage.data(), false}, {key::cellBorders.data(), false},
        {key::repeatImage.data(), false}, {key::cellOrder.data(), false}, {key::pageSize.data(), false},
        {key::pageWidth.data(), true}, {key::pageHeight.data(), true}, {key::marginTop.data(), false},
        {key::marginLeft.data(), false}, {key::marginRight.data(), false}, {key::marginBottom.data(), false}};
const SettingsTabKey kBookmarkKeys[]
    = {{key::bookmarksOn.data(), false}, {key::bookmarkLabel.data(), false}, {key::bookmarkPerFile.data(), false}};
const SettingsTabKey kWatermarkKeys[] = {{key::headerOn.data(), false}, {key::headerPosition.data(), false},
    {key::headerColor.data(), false}, {key::headerText.data(), false}, {key::footerOn.data(), false},
    {key::footerPosition.data(), false}, {key::footerColor.data(), false}, {key::footerText.data(), false},
    {key::textWatermarkOn.data(), false}, {key::watermarkPosition.data(), false}, {key::watermarkColor.data(), false},
    {key::watermarkText.data(), false}, {key::watermarkTextSize.data(), false}, {key::imageWatermarkOn.data(), false},
    {key::watermarkImagePosition.data(), false}, {key::watermarkImage.data(), false},
    {key::watermarkImageWidth.data(), false}, {key::watermarkImageHeight.data(), false}};
const SettingsTabKey kViewerKeys[]
    = {{key::centerWindow.data(), false}, {key::openPanel.data(), false}, {key::fullScreen.data(), false},
        {key::hideWindowControlsAsWritten.data(), false}, {key::hideMenubarAsWritten.data(), false},
        {key::hideToolbarAsWritten.data(), false}, {key::fitWindow.data(), false}, {key::openZoom.data(), false}};
const SettingsTabKey kInfoKeys[]
    = {{key::title.data(), false}, {key::author.data(), false}, {key::subject.data(), false},
        {key::keywords.data(), false}, {key::creator.data(), false}, {key::producer.data(), false}};
const SettingsTabKey kSecurityKeys[] = {{key::securityOn.data(), false}, {key::allowPrint.data(), false},
    {key::allowModify.data(), false}, {key::securityLevel.data(), false}, {key::allowCopy.data(), false},
    {key::userPassword.data(), false}, {key::ownerPassword.data(), false}};

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
    return key == key::dpiX || key == key::dpiY;
}

} // namespace

std::span<const SettingsTabKey> settingsTabKeys(SettingsTab tab)
{
    switch (tab) {
    case SettingsTab::Compress: return kCompressKeys;
    case SettingsTab::Page: return kPageKeys;
    case SettingsTab::Bookmark: return kBookmarkKeys;
    case SettingsTab::Watermark: return kWatermarkKeys;
    case SettingsTab::Viewer: return kViewerKeys;
    case SettingsTab::Info: return kInfoKeys;
    case SettingsTab::Security: return kSecurityKeys;
    }
    return {};
}

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
    return spec && !spec->isText ? spec->intDefault : 0;
}

std::string settingTextDefault(std::string_view key)
{
    const SettingSpec* spec = findSetting(key);
    if (!spec || !spec->isText)
        return {};
    std::string_view name = spec->key;
    if (name == key::lastOpenedFile || name == key::lastOpenedFolder) {
        std::string home = homeFolder();
        return home.empty() ? std::string("/") : home + "/";
    }
    return spec->textDefault;
}

int storedInt(const SettingsStore& store, std::string_view key)
{
    return store.getInt(key, settingIntDefault(key));
}

std::string storedText(const SettingsStore& store, std::string_view key, size_t capacity)
{
    return store.getString(key, settingTextDefault(key), capacity);
}

std::string SettingSpec::valueIn(const OutputSettings& settings) const
{
    if (field.text)
        return settings.*field.text;
    return field.readInt ? std::to_string(field.readInt(settings)) : std::string();
}

void SettingSpec::assign(OutputSettings& settings, std::string_view value) const
{
    if (field.text)
        settings.*field.text = std::string(value);
    else if (field.writeInt)
        field.writeInt(settings, std::atoi(std::string(value).c_str()));
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
