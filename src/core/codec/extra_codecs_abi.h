#pragma once
// The boundary between the codec layer and its module of less common decoders
// (libfolvane-codecs.so: camera raw through LibRaw, metafiles through libwmf, MNG through libmng,
// JPEG 2000 through OpenJPEG). The module is loaded with dlopen the first time one of these
// formats is read, so runs that never meet them do not map those libraries and what they pull in.
//
// Plain C types only; the version number below tells a module of another build apart.

#include <stddef.h>
#include <stdint.h>

extern "C" {

#define FOLVANE_CODECS_MODULE_VERSION 1
// The module's one exported symbol: a function returning its FolvaneCodecsModule.
#define FOLVANE_CODECS_MODULE_ENTRY "folvane_codecs_module"

enum FolvaneExtraFormat {
    FOLVANE_EXTRA_RAW = 1, // camera raw
    FOLVANE_EXTRA_WMF = 2, // Windows metafile
    FOLVANE_EXTRA_MNG = 3,
    FOLVANE_EXTRA_JP2 = 4, // JP2 files and J2K code streams
};

// What a reader gives back; the pointers stay valid until the reader returns.
struct FolvaneDecoded {
    int frameCount;
    int width;
    int height;
    int bitsPerPixel;              // 1, 4, 8, 24 or 32 (rows as the codec's Bitmap lays them out)
    const uint8_t* pixels;         // null in header-only mode
    size_t stride;                 // bytes per row
    const uint8_t* palette;        // R, G, B triples
    int paletteSize;               // entries
    int orientation;               // 1 to 8
    // Instead of pixels, a played metafile comes as the bytes of a PNG file.
    const uint8_t* png;
    size_t pngSize;
};

// Receives the result of one read: `done` on success, `failed` (with a reason, possibly empty)
// otherwise. `done` returns 0 when it could not take the pixels (memory short).
struct FolvaneDecodeSink {
    void* context;
    int (*done)(void* context, const FolvaneDecoded* decoded);
    void (*failed)(void* context, const char* reason);
};

struct FolvaneCodecsModule {
    int version; // FOLVANE_CODECS_MODULE_VERSION
    // Decodes frame `frame` (0-based) of the file `data`, only its size when `headerOnly`.
    // Any thread may call. 0 on success.
    int (*decode)(int format, const uint8_t* data, size_t size, int frame, int headerOnly,
                  const FolvaneDecodeSink* sink);
};

typedef const FolvaneCodecsModule* (*FolvaneCodecsModuleEntry)(void);

} // extern "C"
