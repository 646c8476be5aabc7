#include "jobs/image_inputs.h"

#include <algorithm>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

namespace folvane::jobs {

namespace {

constexpr SupportedType kSupportedTypes[] = {
    {"BMP", ".bmp"}, {"GIF", ".gif"}, {"JPEG", ".jpg.jpeg"}, {"PNG", ".png"},
    {"ICO", ".ico"}, {"TIFF", ".tif.tiff"}, {"TGA", ".tga"}, {"PCX", ".pcx"},
    {"WBMP", ".wbmp"}, {"WMF", ".wmf"}, {"EMF", ".emf"}, {"JP2", ".jp2"},
    {"JPC", ".jpc"}, {"PGX", ".pgx"}, {"PNM", ".pnm"}, {"RAS", ".ras"},
    {"JBG", ".jbg"}, {"MNG", ".mng"}, {"SKA", ".ska"}, {"RAW", ".raw"},
    {"PSD", ".psd"}, {"ART", ".art"}, {"AVS", ".avs"}, {"CALS", ".cals"},
    {"CUR", ".cur"}, {"CUT", ".cut"}, {"DCM", ".dcm"}, {"DCX", ".dcx"},
    {"DIB", ".dib"}, {"DPX", ".dpx"}, {"FAX", ".fax"}, {"FITS", ".fits"},
    {"JNG", ".jng"}, {"MAT", ".mat"}, {"MONO", ".mono"}, {"OTB", ".otb"},
    {"P7", ".p7"}, {"PALM", ".palm"}, {"PDB", ".pdb"}, {"PAM", ".pam"},
    {"PBM", ".pbm"}, {"PGM", ".pgm"}, {"PPM", ".ppm"}, {"PCD", ".pcd"},
    {"PICON", ".picon"}, {"PICT", ".pict"}, {"PIX", ".pix"}, {"PTIF", ".ptif"},
    {"PWP", ".pwp"}, {"RLA", ".rla"}, {"RLE", ".rle"}, {"SCT", ".sct"},
    {"SFW", ".sfw"}, {"SGI", ".sgi"}, {"SUN", ".sun"}, {"TIM", ".tim"},
    {"VICAR", ".vicar"}, {"VIFF", ".viff"}, {"WPG", ".wpg"}, {"XBM", ".xbm"},
    {"XCF", ".xcf"}, {"XPM", ".xpm"}, {"XWD", ".xwd"},
};

char lowerAscii(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

} // namespace

std::span<const SupportedType> supportedTypes()
{
    return kSupportedTypes;
}

std::string_view supportedExtensions()
{
    static const std::string text = [] {
        std::string all;
        for (const SupportedType& type : kSupportedTypes)
            all += type.extensions;
        return all;
    }();
    return text;
}

bool nameBefore(const std::string& a, const std::string& b)
{
    size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        unsigned char x = static_cast<unsigned char>(lowerAscii(a[i]));
        unsigned char y = static_cast<unsigned char>(lowerAscii(b[i]));
        if (x != y)
            return x < y;
    }
    if (a.size() != b.size())
        return a.size() < b.size();
    return a < b;
}

bool naturalNameBefore(const std::string& a, const std::string& b)
{
    auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
    size_t i = 0;
    size_t j = 0;
    while (i < a.size() && j < b.size()) {
        if (isDigit(a[i]) && isDigit(b[j])) {
            // Compare the runs of digits as numbers: leading zeros skipped, then the longer run is
            // the larger number, then the digits themselves.
            size_t runA = i;
            size_t runB = j;
            while (runA < a.size() && a[runA] == '0')
                ++runA;
            while (runB < b.size() && b[runB] == '0')
                ++runB;
            size_t endA = runA;
            size_t endB = runB;
            while (endA < a.size() && isDigit(a[endA]))
                ++endA;
            while (endB < b.size() && isDigit(b[endB]))
                ++endB;
            if (endA - runA != endB - runB)
                return endA - runA < endB - runB;
            int digits = a.compare(runA, endA - runA, b, runB, endB - runB);
            if (digits != 0)
                return digits < 0;
            i = endA;
            j = endB;
            continue;
        }
        unsigned char x = static_cast<unsigned char>(lowerAscii(a[i]));
        unsigned char y = static_cast<unsigned char>(lowerAscii(b[j]));
        if (x != y)
            return x < y;
        ++i;
        ++j;
    }
    if (a.size() - i != b.size() - j)
        return a.size() - i < b.size() - j;
    // Equal as people read them ("p01" and "p1", "A" and "a"): the name order decides.
    return nameBefore(a, b);
}

namespace {

std::string foldedExtension(std::string extension)
{
    if (extension == ".jpeg")
        return ".jpg";
    if (extension == ".tiff")
        return ".tif";
    return extension;
}

void scanFolder(std::string folder, bool recursive, std::string_view filter, std::vector<std::string>& out,
                int depth, FolderOrder order)
{
    // Far deeper than any real tree; it only guards against pathological nesting.
    if (depth > 256)
        return;
    if (folder.empty() || folder.back() != '/')
        folder.push_back('/');
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return;
    std::vector<std::string> files;
    std::vector<std::string> folders;
    while (dirent* entry = ::readdir(dir)) {
        std::string name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        std::string full = folder + name;
        struct stat link;
        struct stat target;
        if (::lstat(full.c_str(), &link) != 0 || ::stat(full.c_str(), &target) != 0)
            continue;
        if (S_ISDIR(target.st_mode)) {
            if (!S_ISLNK(link.st_mode))
                folders.push_back(name);
        } else if (S_ISREG(target.st_mode)) {
            files.push_back(name);
        }
    }
    ::closedir(dir);
    auto before = order == FolderOrder::Natural ? naturalNameBefore : nameBefore;
    std::sort(files.begin(), files.end(), before);
    std::sort(folders.begin(), folders.end(), before);
    for (const std::string& name : files) {
        if (passesFilter(name, filter))
            out.push_back(folder + name);
    }
    if (recursive) {
        for (const std::string& name : folders)
            scanFolder(folder + name, true, filter, out, depth + 1, order);
    }
}

} // namespace

std::string lowerExtension(std::string_view path)
{
    std::string extension = splitPath(path).extension;
    std::transform(extension.begin(), extension.end(), extension.begin(), lowerAscii);
    return extension;
}

bool isSupportedExtension(std::string_view path)
{
    return supportedExtensions().find(lowerExtension(path)) != std::string_view::npos;
}

std::string normalizedFilter(std::string_view filter)
{
    std::string text(filter);
    std::transform(text.begin(), text.end(), text.begin(), lowerAscii);
    if (text.empty() || text == kAllSupportFilter)
        return text;
    if (text.front() != '.')
        text.insert(text.begin(), '.');
    return foldedExtension(text);
}

bool passesFilter(std::string_view path, std::string_view filter)
{
    if (filter == kAllSupportFilter)
        return isSupportedExtension(path);
    if (filter.empty())
        return false;
    return foldedExtension(lowerExtension(path)) == filter;
}

std::vector<std::string> folderImages(const std::string& folder, bool recursive, std::string_view filter,
                                      FolderOrder order)
{
    std::vector<std::string> images;
    scanFolder(folder, recursive, filter, images, 0, order);
    return images;
}

bool makeFileRow(const std::string& path, FileRow& row)
{
    // Without O_NONBLOCK a FIFO would keep the open waiting for a writer; the job refuses
    // anything but a regular file when it comes to the row.
    int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return false;
    struct stat info;
    bool ok = ::fstat(fd, &info) == 0;
    ::close(fd);
    if (!ok)
        return false;
    long long size = static_cast<long long>(info.st_size);
    long long kilobytes = size > 0 && size < 1024 ? 1 : size / 1024;
    row = FileRow {};
    row.path = path;
    row.sizeText = std::to_string(kilobytes) + " KB";
    std::string type = splitPath(path).extension;
    if (!type.empty())
        type.erase(0, 1);
    std::transform(type.begin(), type.end(), type.begin(),
                   [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; });
    row.typeText = type;
    return true;
}

} // namespace folvane::jobs
