// A stand-in for the external converter library, driven by FOLVANE_FAKE_CONVERTER:
// "empty" leaves an empty output file and reports success, "fail" reports -5, anything else
// writes a one-page 8 x 6 gray TIFF. The arguments it received are recorded next to the output.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <tiffio.h>

extern "C" int quillmar5(int argc, char** argv)
{
    if (argc != 4 || std::strcmp(argv[1], "convert") != 0)
        return -2;
    std::string log = std::string(argv[3]) + ".args";
    if (FILE* f = std::fopen(log.c_str(), "w")) {
        std::fprintf(f, "%d|%s|%s|%s|%s", argc, argv[0], argv[1], argv[2], argv[3]);
        std::fclose(f);
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
