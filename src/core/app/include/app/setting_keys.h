#pragma once
// The settings file's spelling of every key, written once. The schema table, the command line and
// the desktop pages name keys through these constants, never by a literal of their own.

#include <string_view>

namespace folvane::app::key {

// Program options and the pages' own keys.
inline constexpr std::string_view afterConversion = "after";
inline constexpr std::string_view existingOutput = "exists";
inline constexpr std::string_view processPriority = "priority";
inline constexpr std::string_view recordLog = "log";
inline constexpr std::string_view logFolder = "logpath";
inline constexpr std::string_view outputMode = "outMode";
inline constexpr std::string_view mergedOutputPath = "outPath0";
inline constexpr std::string_view perImageOutputFolder = "outPath1";
inline constexpr std::string_view perFolderOutputFolder = "outPath2";
inline constexpr std::string_view lastOpenedFile = "OpenFile";
inline constexpr std::string_view lastOpenedFolder = "openDir";
inline constexpr std::string_view includeSubfolders = "subdir";
inline constexpr std::string_view watchInputFolder = "input";
inline constexpr std::string_view watchOutputFolder = "doutput";
inline constexpr std::string_view keepSubfolders = "keepsub";
inline constexpr std::string_view deleteSourceOnSuccess = "del_success";
inline constexpr std::string_view autoRunWatch = "autorun";
inline constexpr std::string_view startAtLogin = "winstart";
inline constexpr std::string_view repeatScan = "runsec";
inline constexpr std::string_view scanIntervalSeconds = "second";

// Compression and image handling.
inline constexpr std::string_view colorCompression = "colorTif";
inline constexpr std::string_view grayCompression = "grayTif";
inline constexpr std::string_view bwCompression = "bwTif";
inline constexpr std::string_view skewCorrection = "bSkew";
inline constexpr std::string_view jpegQuality = "quality";
inline constexpr std::string_view autoOrient = "autoOrient";
inline constexpr std::string_view lossless = "lossless";
inline constexpr std::string_view skewMethod = "skewMethod";

// Page.
inline constexpr std::string_view imageFit = "imgFit";
inline constexpr std::string_view rotation = "pageRotate";
inline constexpr std::string_view pageSize = "pageSize";
inline constexpr std::string_view pageWidth = "page_W";
inline constexpr std::string_view pageHeight = "page_H";
inline constexpr std::string_view dpiX = "xdpi";
inline constexpr std::string_view dpiY = "ydpi";
inline constexpr std::string_view marginTop = "mTop";
inline constexpr std::string_view marginLeft = "mLeft";
inline constexpr std::string_view marginRight = "mRight";
inline constexpr std::string_view marginBottom = "mBottom";
inline constexpr std::string_view imagesPerPage = "layout";
inline constexpr std::string_view cellOrder = "order";
inline constexpr std::string_view repeatImage = "repeat";
inline constexpr std::string_view cellBorders = "border";

// Header, footer and watermarks.
inline constexpr std::string_view headerOn = "header";
inline constexpr std::string_view headerText = "hWatermark";
inline constexpr std::string_view headerPosition = "hpos";
inline constexpr std::string_view headerColor = "hcolor";
inline constexpr std::string_view footerOn = "footer";
inline constexpr std::string_view footerText = "fWatermark";
inline constexpr std::string_view footerPosition = "fpos";
inline constexpr std::string_view footerColor = "fcolor";
inline constexpr std::string_view textWatermarkOn = "text";
inline constexpr std::string_view watermarkText = "tWatermark";
inline constexpr std::string_view watermarkPosition = "tpos";
inline constexpr std::string_view watermarkTextSize = "tsize";
inline constexpr std::string_view watermarkColor = "tcolor";
inline constexpr std::string_view imageWatermarkOn = "image";
inline constexpr std::string_view watermarkImage = "imgWatermark";
inline constexpr std::string_view watermarkImagePosition = "imgpos";
inline constexpr std::string_view watermarkImageWidth = "imgWidth";
inline constexpr std::string_view watermarkImageHeight = "imgHeight";

// Security.
inline constexpr std::string_view securityOn = "security";
inline constexpr std::string_view allowCopy = "copy";
inline constexpr std::string_view allowPrint = "print";
inline constexpr std::string_view allowModify = "modify";
inline constexpr std::string_view securityLevel = "level";
inline constexpr std::string_view userPassword = "user";
inline constexpr std::string_view ownerPassword = "owner";

// Viewer. The viewer tab has always written its "hide" keys in lower case.
inline constexpr std::string_view openPanel = "document";
inline constexpr std::string_view openZoom = "zoom";
inline constexpr std::string_view fitWindow = "resize";
inline constexpr std::string_view centerWindow = "center";
inline constexpr std::string_view fullScreen = "fullscreen";
inline constexpr std::string_view hideMenubar = "hideMenu";
inline constexpr std::string_view hideToolbar = "hideTool";
inline constexpr std::string_view hideWindowControls = "hideControl";
inline constexpr std::string_view hideMenubarAsWritten = "hidemenu";
inline constexpr std::string_view hideToolbarAsWritten = "hidetool";
inline constexpr std::string_view hideWindowControlsAsWritten = "hidecontrol";

// Bookmarks.
inline constexpr std::string_view bookmarksOn = "bookmark";
inline constexpr std::string_view bookmarkLabel = "bookmarksel";
inline constexpr std::string_view bookmarkPerFile = "unitforfile";

// Document information.
inline constexpr std::string_view title = "title";
inline constexpr std::string_view subject = "subject";
inline constexpr std::string_view author = "author";
inline constexpr std::string_view keywords = "keywords";
inline constexpr std::string_view creator = "creator";
inline constexpr std::string_view producer = "producer";

// Desktop file list and text recognition.
inline constexpr std::string_view naturalSort = "naturalSort";
inline constexpr std::string_view recognizeText = "ocr";
inline constexpr std::string_view recognitionLanguages = "ocrLanguages";

} // namespace folvane::app::key
