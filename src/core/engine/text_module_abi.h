#pragma once
// The boundary between the engine and its text recognition module (libfolvane-ocr.so), which
// holds everything that touches Tesseract and Leptonica. The module is loaded with dlopen on the
// first recognition, so a run without text recognition never maps Tesseract, Leptonica and the
// dozens of libraries they bring; that loading dominated the start-up of every small job.
//
// Plain C types only: the module is found at run time and may come from another build of the
// same version; the version number below tells a mismatch apart.

#include <stddef.h>

extern "C" {

#define FOLVANE_TEXT_MODULE_VERSION 1
// The module's one exported symbol: a function returning its FolvaneTextModule.
#define FOLVANE_TEXT_MODULE_ENTRY "folvane_text_module"

// A frame to read. 1 bit per pixel: 1 = ink, eight pixels per byte, most significant bit first.
// 8 bits per pixel: gray, 0 = black.
struct FolvaneTextImage {
    const unsigned char* pixels;
    int width;
    int height;
    int bitsPerPixel;  // 1 or 8
    size_t stride;     // bytes from the start of one row to the next
};

// Receives the result. Boxes are in pixels of the image as given (before any enlargement), from
// its top-left corner, right and bottom exclusive; every word belongs to the line reported last.
struct FolvaneTextSink {
    void* context;
    void (*line)(void* context, int left, int top, int right, int bottom, double slope);
    void (*word)(void* context, const char* utf8, int left, int top, int right, int bottom);
    void (*failure)(void* context, const char* reason);
};

struct FolvaneTextModule {
    int version; // FOLVANE_TEXT_MODULE_VERSION
    // Reads `image` with the languages `languages` ("eng", "deu+eng") from the language data in
    // `dataFolder`, enlarged `enlargement` times first (1 for none), `resolution` being the
    // resolution of what is read. 0 on success (also when no text is found); otherwise nonzero
    // after sink->failure. Each calling thread keeps a recogniser of its own, so threads may read
    // at once.
    int (*recognise)(const FolvaneTextImage* image, double enlargement, int resolution, const char* dataFolder,
                     const char* languages, const FolvaneTextSink* sink);
};

typedef const FolvaneTextModule* (*FolvaneTextModuleEntry)(void);

} // extern "C"
