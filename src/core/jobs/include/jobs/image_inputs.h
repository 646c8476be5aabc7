#pragma once
// Which files the conversion job takes, and how a file or folder becomes rows of the file list:
// the supported extensions, the format filter of folder inputs, the texts of a new row, and the
// images of a folder (optionally with its subfolders) in the order the list adds them.
//
// Nothing here keeps state; any thread may call these functions.

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "jobs/conversion_job.h"

namespace folvane::jobs {

// One image type the program takes: its name as the lists show it ("JPEG") and its extensions,
// each with its dot, lower case, the usual one first (".jpg.jpeg").
struct SupportedType {
    std::string_view name;
    std::string_view extensions;
};

// The 63 supported types, in the order the settings sheet and the folder picker list them.
std::span<const SupportedType> supportedTypes();

// Every supported extension with its dot, lower case, one after another (".bmp.gif.jpg.jpeg...").
std::string_view supportedExtensions();

// The filter that takes every supported extension.
inline constexpr std::string_view kAllSupportFilter = "allsupport";

// The extension of a path's file name with its dot, lower-cased ("" when it has none).
std::string lowerExtension(std::string_view path);

// Whether a path's extension counts as supported: the lower-cased extension with its dot occurs
// anywhere in supportedExtensions() (a plain text search, so a name without extension passes too).
bool isSupportedExtension(std::string_view path);

// The order in which folder entries are taken: ASCII letters folded, then plain bytes to break
// ties (Linux lists entries in hash order, which would scramble page order).
bool nameBefore(const std::string& a, const std::string& b);

// The order people count in: letter case ignored and runs of digits compared as numbers, so
// "page2" comes before "page10"; names equal that way fall back to nameBefore.
bool naturalNameBefore(const std::string& a, const std::string& b);

// How folderImages orders the entries of each folder.
enum class FolderOrder { Name, Natural };

// A filter as the user names it ("jpg", ".JPEG", "allsupport") in the form the folder scan
// compares: "allsupport", or one lower-case extension with its dot where ".jpeg" is ".jpg" and
// ".tiff" is ".tif". Empty for an empty text.
std::string normalizedFilter(std::string_view filter);

// Whether a file passes a normalized filter.
bool passesFilter(std::string_view path, std::string_view filter);

// The images of `folder` that pass the filter, in name order (letters compared without regard to
// case, ties in plain byte order) or in natural order; with `recursive` followed by those of every subfolder, depth
// first, in the same order. Folders that cannot be read add nothing; entries that are not
// regular files (after following links) are passed over, and so are linked folders, so a link
// loop cannot make the scan endless.
std::vector<std::string> folderImages(const std::string& folder, bool recursive, std::string_view filter,
                                      FolderOrder order = FolderOrder::Name);

// The row for a file: its size text ("%d KB", a non-empty file under 1 KB counting as 1), its
// type text (extension without the dot, upper case) and status "-". False, and no row, when the
// file cannot be opened for reading.
bool makeFileRow(const std::string& path, FileRow& row);

} // namespace folvane::jobs
