#pragma once
// The output settings of a conversion in memory: one field per settings key (the schema in
// settings_schema.cpp ties each key to its field). Each conversion page owns one record and the settings sheet pages edit copies; the
// record is a plain value, copied whole.
//
// A default-constructed record is all zeros and empty texts; the defaults of the settings
// come from loadOutputSettings on a file that lacks the keys.

#include <span>
#include <string>

#include "app/settings_schema.h"
#include "app/settings_store.h"

namespace folvane::app {

struct OutputSettings {
    // Compression per image class, skew correction and JPEG quality.
    int colorTif = 0; // 0 none, 1 LZW, 2 Zip, 3 PackBits, 4 JPEG
    int grayTif = 0;  // as colorTif
    int bwTif = 0;    // 0 none, 1 LZW, 2 Zip, 3 CCITT G3, 4 CCITT G4
    int bSkew = 0;
    int quality = 0; // 0 to 100
    // Page geometry.
    int imgFit = 0;     // 0 fit keeping proportions, 1 stretch
    int pageRotate = 0; // 0..3 for 0, 90, 180, 270 degrees
    int pageSize = 0;   // 0 image size, 1 A3, 2 A4, 3 A5, 4 B5, 5 Letter, 6 Legal, 7 custom
    int page_W = 0;     // custom size in points
    int page_H = 0;
    int xdpi = 0; // 0 unchanged, otherwise dots per inch
    int ydpi = 0;
    int mTop = 0; // margins in points
    int mLeft = 0;
    int mRight = 0;
    int mBottom = 0;
    int layout = 0; // images per page: 1, 2, 4, 6, 9 or 16
    int order = 0;  // 0 horizontal, 1 vertical
    int repeat = 0;
    int border = 0;
    // Header, footer and watermarks; colours are 0x00BBGGRR words.
    int header = 0;
    std::string hWatermark;
    int hpos = 0; // 0 left, 1 center, 2 right
    int hcolor = 0;
    int footer = 0;
    std::string fWatermark;
    int fpos = 0;
    int fcolor = 0;
    int text = 0;
    std::string tWatermark;
    int tpos = 0; // 0..8: top-left to bottom-right, row by row
    int tsize = 0;
    int tcolor = 0;
    int image = 0;
    std::string imgWatermark; // path of the watermark image
    int imgpos = 0;           // as tpos
    int imgWidth = 0;         // points
    int imgHeight = 0;
    // Password security.
    int security = 0;
    int copy = 0;
    int print = 0;
    int modify = 0;
    int level = 0; // 0 40-bit RC4, 1 128-bit RC4, 2 128-bit AES, 3 256-bit AES
    std::string user;
    std::string owner;
    // Viewer preferences.
    int document = 0; // 0 page only, 1 bookmark panel, 2 thumbnail panel
    int zoom = 0;     // 0 fit width, 1 fit page
    int resize = 0;
    int center = 0;
    int fullscreen = 0;
    int hideMenu = 0;
    int hideTool = 0;
    int hideControl = 0;
    // Bookmarks.
    int bookmark = 0;
    int bookmarksel = 0; // 0 page number, 1 name without extension, 2 file name, 3 full path
    int unitforfile = 0;
    // Document information.
    std::string title;
    std::string subject;
    std::string author;
    std::string keywords;
    std::string creator;
    std::string producer;
    // Image handling beyond the classic settings.
    int autoOrient = 0; // 1 photos upright by their EXIF orientation
    int lossless = 0;   // 1 pictures kept exactly (Deflate) instead of JPEG coded
    int skewMethod = 0; // 0 first skew estimate, 1 refined
    // Searchable scans: an invisible text layer read by text recognition.
    int ocr = 0;
    std::string ocrLanguages; // Tesseract language codes joined by "+", "eng" by default
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
