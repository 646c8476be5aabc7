// The engine's operations with C linkage, for programs and scripts that load
// libfolvane-engine.so. Each forwards to the integer protocol over engine::Document.
#include "folvane/engine.h"

#include "engine_protocol.h"

namespace engine = folvane::engine;

namespace {

// The public header spells the protocol's codes a second time, for C; they must stay equal.
static_assert(int{FOLVANE_FRAME_RANGE} == int{engine::kOptionFrameRange});
static_assert(int{FOLVANE_IMAGE_PLACEMENT} == int{engine::kOptionImagePlacement});
static_assert(int{FOLVANE_SECURITY} == int{engine::kOptionSecurity});
static_assert(int{FOLVANE_FONT} == int{engine::kOptionFont});
static_assert(int{FOLVANE_PAGE_SIZE} == int{engine::kOptionPageSize});
static_assert(int{FOLVANE_BOOKMARK_TEXT} == int{engine::kOptionBookmarkText});
static_assert(int{FOLVANE_PRODUCER} == int{engine::kOptionProducer});
static_assert(int{FOLVANE_VIEWER_PREFERENCES} == int{engine::kOptionViewerPreferences});
static_assert(int{FOLVANE_PAGE_ROTATION} == int{engine::kOptionPageRotation});
static_assert(int{FOLVANE_COMPRESSION} == int{engine::kOptionCompression});
static_assert(int{FOLVANE_SKEW_CORRECTION} == int{engine::kOptionSkewCorrection});
static_assert(int{FOLVANE_JPEG_QUALITY} == int{engine::kOptionJpegQuality});
static_assert(int{FOLVANE_TEXT_RECOGNITION} == int{engine::kOptionTextRecognition});
static_assert(int{FOLVANE_SECURITY_AES} == int{engine::kSecurityAes});
static_assert(int{FOLVANE_FRAME_COUNT} == int{engine::kQueryFrameCount});
static_assert(int{FOLVANE_PIXEL_SIZE} == int{engine::kQueryPixelSize});
static_assert(int{FOLVANE_TEXT_WIDTH} == int{engine::kQueryTextWidth});
static_assert(int{FOLVANE_TEXT_HEIGHT} == int{engine::kQueryTextHeight});

std::string text(const char* value)
{
    return value ? std::string(value) : std::string();
}

} // namespace

extern "C" {

int CreateDocument(const char* path)
{
    return engine::CreateDocument(text(path));
}

int OpenDocumentForAppend(const char* path)
{
    return engine::OpenDocumentForAppend(text(path));
}

int CloseDocument(int handle)
{
    return engine::CloseDocument(handle);
}

int SetDocumentOption(int handle, int code, int a, int b, const char* text1, const char* text2)
{
    return engine::SetDocumentOption(handle, code, a, b, text1, text2);
}

int QueryDocument(int handle, int code, intptr_t out1, intptr_t out2, const char* text1, const char* text2)
{
    return engine::QueryDocument(handle, code, out1, out2, text1, text2);
}

int SetDocumentInfo(int handle, const char* title, const char* subject, const char* author, const char* keywords,
                    const char* creator)
{
    return engine::SetDocumentInfo(handle, title, subject, author, keywords, creator);
}

int AddImageFile(int handle, const char* path)
{
    return engine::AddImageFile(handle, text(path));
}

int DrawText(int handle, int x, int y, const char* value, unsigned color)
{
    return engine::DrawText(handle, x, y, value, color);
}

int DrawLine(int handle, int x1, int y1, int x2, int y2, int width, unsigned color)
{
    return engine::DrawLine(handle, x1, y1, x2, y2, width, color);
}

} // extern "C"
