/* Folvane conversion engine: C interface of libfolvane-engine.so.
 *
 * Documents are integer handles 1..1023 (0 = failure). Coordinates are PDF points from the
 * page's top-left corner, y downwards; colours are 0x00BBGGRR; texts are UTF-8.
 * Each document is used by one thread at a time. */
#ifndef FOLVANE_ENGINE_H
#define FOLVANE_ENGINE_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Option codes of SetDocumentOption. */
enum {
    FOLVANE_FRAME_RANGE = 101,       /* a first frame, b count (0, 0 = all) */
    FOLVANE_IMAGE_PLACEMENT = 104,   /* a x, b y, text1 width, text2 height */
    FOLVANE_SECURITY = 105,          /* a key bits: 40 or 128 RC4, FOLVANE_SECURITY_AES + 128 or 256 AES;
                                        b 1 print | 2 copy | 4 change, text1 owner, text2 user */
    FOLVANE_FONT = 106,              /* a font code, b size, text1 font name when a = 1 */
    FOLVANE_PAGE_SIZE = 109,         /* a width, b height (0, 0 = size of the next image); text2 "NoTextPos" */
    FOLVANE_BOOKMARK_TEXT = 110,     /* text1 */
    FOLVANE_PRODUCER = 111,          /* text1; always answers 0 */
    FOLVANE_VIEWER_PREFERENCES = 121,/* a bit set, b page to open at */
    FOLVANE_PAGE_ROTATION = 122,     /* a degrees */
    FOLVANE_COMPRESSION = 123,       /* a class (1 b/w, 2 gray, 3 colour), text1 name */
    FOLVANE_SKEW_CORRECTION = 126,   /* a flag */
    FOLVANE_JPEG_QUALITY = 128,      /* a 1..100 */
    FOLVANE_TEXT_RECOGNITION = 143   /* a 1 on, 0 off; text1 languages ("eng", "deu+eng"); 0 when one
                                        is not installed. Adds an invisible text layer (OCR) */
};

/* Added to the key bits of FOLVANE_SECURITY for AES. */
#define FOLVANE_SECURITY_AES 0x10000

/* Query codes of QueryDocument. */
enum {
    FOLVANE_FRAME_COUNT = 201,  /* text1 image path */
    FOLVANE_PIXEL_SIZE = 202,   /* text1 image path, text2 1-based frame; out1/out2 -> int width/height */
    FOLVANE_TEXT_WIDTH = 250,   /* text1 text; out1 font code, out2 size as input values */
    FOLVANE_TEXT_HEIGHT = 251
};

int CreateDocument(const char* path);
int OpenDocumentForAppend(const char* path);
int CloseDocument(int handle);
int SetDocumentOption(int handle, int code, int a, int b, const char* text1, const char* text2);
/* out1 and out2 carry an output address (of an int; written only when the value is above 1000)
 * or, for 250 and 251, an input value. Queries 201 and 202 also answer with handle 0. */
int QueryDocument(int handle, int code, intptr_t out1, intptr_t out2, const char* text1, const char* text2);
int SetDocumentInfo(int handle, const char* title, const char* subject, const char* author,
                    const char* keywords, const char* creator);
int AddImageFile(int handle, const char* path);
int DrawText(int handle, int x, int y, const char* text, unsigned color);
int DrawLine(int handle, int x1, int y1, int x2, int y2, int width, unsigned color);

#ifdef __cplusplus
}
#endif

#endif
