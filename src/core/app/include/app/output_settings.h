#pragma once
// The output settings of a conversion in memory: one field per settings key (the schema in
// settings_schema.cpp ties each key to its field). Each conversion page owns one record and
// the settings sheet pages edit copies; the record is a plain value, copied whole.
//
// A default-constructed record is all zeros and empty texts; the defaults of the settings
// come from loadOutputSettings on a file that lacks the keys.

#include <span>
#include <string>

#include "app/settings_schema.h"
#include "app/settings_store.h"

namespace folvane::app {

// The choices among the settings; each enumerator's value is the number the settings file holds.
enum class Compression : int { None, Lzw, Zip, PackBits, Jpeg };
enum class BwCompression : int { None, Lzw, Zip, Group3, Group4 };
enum class ImageFit : int { KeepProportions, Stretch };
enum class Rotation : int { None, By90, By180, By270 };
enum class PageSize : int { Image, A3, A4, A5, B5, Letter, Legal, Custom };
enum class CellOrder : int { Horizontal, Vertical };
enum class Alignment : int { Left, Center, Right };
// Nine places, row by row from the top left.
enum class Position : int {
    TopLeft, TopCenter, TopRight,
    CenterLeft, Center, CenterRight,
    BottomLeft, BottomCenter, BottomRight,
};
enum class SecurityLevel : int { Rc4Bits40, Rc4Bits128, Aes128, Aes256 };
enum class OpenPanel : int { PageOnly, Bookmarks, Thumbnails };
enum class OpenZoom : int { FitWidth, FitPage };
enum class BookmarkLabel : int { PageNumber, NameWithoutExtension, FileName, FullPath };
enum class SkewMethod : int { FirstEstimate, Refined };

struct OutputSettings {
    // Compression per image class, skew correction and JPEG quality.
    Compression colorCompression = Compression::None;
    Compression grayCompression = Compression::None;
    BwCompression bwCompression = BwCompression::None;
    int skewCorrection = 0;
    int jpegQuality = 0; // 0 to 100
    // Page geometry.
    ImageFit imageFit = ImageFit::KeepProportions;
    Rotation rotation = Rotation::None;
    PageSize pageSize = PageSize::Image;
    int pageWidthPt = 0; // custom size in points
    int pageHeightPt = 0;
    int dpiX = 0; // 0 unchanged, otherwise dots per inch
    int dpiY = 0;
    int marginTopPt = 0; // margins in points
    int marginLeftPt = 0;
    int marginRightPt = 0;
    int marginBottomPt = 0;
    int imagesPerPage = 0; // images per page: 1, 2, 4, 6, 9 or 16
    CellOrder cellOrder = CellOrder::Horizontal;
    int repeatImage = 0;
    int cellBorders = 0;
    // Header, footer and watermarks; colours are 0x00BBGGRR words.
    int headerOn = 0;
    std::string headerText;
    Alignment headerPosition = Alignment::Left;
    int headerColor = 0;
    int footerOn = 0;
    std::string footerText;
    Alignment footerPosition = Alignment::Left;
    int footerColor = 0;
    int textWatermarkOn = 0;
    std::string watermarkText;
    Position watermarkPosition = Position::TopLeft;
    int watermarkTextSizePt = 0;
    int watermarkColor = 0;
    int imageWatermarkOn = 0;
    std::string watermarkImagePath; // path of the watermark image
    Position watermarkImagePosition = Position::TopLeft;
    int watermarkImageWidthPt = 0; // points
    int watermarkImageHeightPt = 0;
    // Password security.
    int securityOn = 0;
    int allowCopy = 0;
    int allowPrint = 0;
    int allowModify = 0;
    SecurityLevel securityLevel = SecurityLevel::Rc4Bits40;
    std::string userPassword;
    std::string ownerPassword;
    // Viewer preferences.
    OpenPanel openPanel = OpenPanel::PageOnly;
    OpenZoom openZoom = OpenZoom::FitWidth;
    int fitWindow = 0;
    int centerWindow = 0;
    int fullScreen = 0;
    int hideMenubar = 0;
    int hideToolbar = 0;
    int hideWindowControls = 0;
    // Bookmarks.
    int bookmarksOn = 0;
    BookmarkLabel bookmarkLabel = BookmarkLabel::PageNumber;
    int bookmarkPerFile = 0;
    // Document information.
    std::string title;
    std::string subject;
    std::string author;
    std::string keywords;
    std::string creator;
    std::string producer;
    // Image handling beyond the classic settings.
    int autoOrient = 0; // 1 photos upright by their EXIF orientation
    int lossless = 0; // 1 pictures kept exactly (Deflate) instead of JPEG coded
    SkewMethod skewMethod = SkewMethod::FirstEstimate;
    // Searchable scans: an invisible text layer read by text recognition.
    int recognizeText = 0;
    std::string recognitionLanguages; // Tesseract language codes joined by "+", "eng" by default
};

// The schema's keys of the record, in the order of the record's fields.
std::span<const SettingSpec* const> outputSettingKeys();

// Which page loads the record. The file-list page reads every key; the watch-folder page
// does not read "producer", so its record always carries an empty producer.
enum class OutputSettingsReader { FileList, WatchFolder };

// The record a settings file without any of its keys gives.
const OutputSettings& outputSettingDefaults();

// Replaces `settings` with the values of the settings file, each key's default where the file
// lacks it. Texts are read with capacity kTextCapacity.
void loadOutputSettings(const SettingsStore& store, OutputSettings& settings,
                        OutputSettingsReader reader = OutputSettingsReader::FileList);

// Writes the keys named in `keys` (any letter case; written as given) with their values in
// `settings`, in the order given, with one replacement of the file. False with `reason` set
// when the file could not be written.
bool saveOutputSettings(const SettingsStore& store, const OutputSettings& settings,
                        std::span<const std::string_view> keys, std::string* reason = nullptr);

// Writes the keys of one tab of the settings sheet with their values in `settings`, in the tab's
// order; the custom page size only while the page size is the custom one.
bool saveSettingsTab(const SettingsStore& store, const OutputSettings& settings, SettingsTab tab,
                     std::string* reason = nullptr);

// Writes every key of the record, in record order.
bool saveOutputSettings(const SettingsStore& store, const OutputSettings& settings, std::string* reason = nullptr);

} // namespace folvane::app
