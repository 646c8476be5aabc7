// A stand-in for the external converter library, driven by FOLVANE_FAKE_CONVERTER:
// "empty" leaves an empty output file and reports success, "fail" reports -5, anything else
// writes a one-page 8 x 6 gray TIFF.
// With FOLVANE_FAKE_CONVERTER_LOG it appends one line to that file: the arguments it received,
// then the modes of the output's folder and of the output file as it found them.
// With FOLVANE_FAKE_CONVERTER_VICTIM it first acts as another local user would: where the output
// name lies in the shared temporary folder itself and nothing is there yet, it plants a link at
// that name pointing at the victim file.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include <tiffio.h>

namespace {

std::string folderOf(const std::string& path)
{
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : path.substr(0, slash);
}

std::string modeOf(const std::string& path)
{
    struct stat info;
    if (::lstat(path.c_str(), &info) != 0)
        return "none";
    char text[16];
    std::snprintf(text, sizeof text, "%o", static_cast<unsigned>(info.st_mode & 07777));
    return text;
}

} // namespace

extern "C" int quillmar5(int argc, char** argv)
{
    if (argc != 4 || std::strcmp(argv[1], "convert") != 0)
        return -2;
    const std::string output = argv[3];
    const char* shared = std::getenv("TMPDIR");
    const char* victim = std::getenv("FOLVANE_FAKE_CONVERTER_VICTIM");
    struct stat info;
    if (victim && shared && folderOf(output) == shared && ::lstat(output.c_str(), &info) != 0)
        if (::symlink(victim, output.c_str()) != 0)
            return -6;
    if (const char* log = std::getenv("FOLVANE_FAKE_CONVERTER_LOG")) {
        if (FILE* f = std::fopen(log, "a")) {
            std::fprintf(f, "%d|%s|%s|%s|%s|folder %s|file %s\n", argc, argv[0], argv[1], argv[2], argv[3],
                         modeOf(folderOf(output)).c_str(), modeOf(output).c_str());
            std::fclose(f);
        }
    }
    const char* mode = std::getenv("FOLVANE_FAKE_CONVERTER");
    std::string m = mode ? mode : "";
    if (m == "fail")
        return -5;
    if (m == "empty") {
        if (FILE* f = std::fopen(argv[3], "wb"))
            std::fclose(f);
        return 0;
    }
    TIFF* tiff = TIFFOpen(argv[3], "w");
    if (!tiff)
        return -3;
    TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, 8u);
    TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, 6u);
    TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
    TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, 6u);
    unsigned char row[8] = {0, 40, 80, 120, 160, 200, 240, 255};
    for (unsigned y = 0; y < 6; ++y)
        TIFFWriteScanline(tiff, row, y, 0);
    TIFFClose(tiff);
    return 0;
}
