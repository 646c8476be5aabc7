#pragma once
// How the codec layer's libjpeg readers handle libjpeg's errors: an error jumps back to the
// reader's setjmp point instead of ending the process, warnings are silent, and running out of
// data is remembered because libjpeg would otherwise pad the picture with gray and call it a
// success.

#include <csetjmp>
#include <cstdint>
#include <cstdio>

#include <jpeglib.h>
#include <jerror.h>

namespace folvane::codec {

struct JpegErrors {
    jpeg_error_mgr base;
    jmp_buf jump;
    bool truncated;
};

// Well above what real files reach (a blank 600-dpi page compresses to some 400 pixels a byte):
// a file claiming more pixels for its bytes is refused before anything is allocated.
inline constexpr uint64_t kJpegPixelsPerByte = 8192;

inline void jumpOnJpegError(j_common_ptr cinfo)
{
    longjmp(reinterpret_cast<JpegErrors*>(cinfo->err)->jump, 1);
}

// Installs the handlers above on `errors` and returns the manager libjpeg takes.
inline jpeg_error_mgr* useJpegErrors(JpegErrors& errors)
{
    errors.truncated = false;
    jpeg_std_error(&errors.base);
    errors.base.error_exit = jumpOnJpegError;
    errors.base.emit_message = [](j_common_ptr cinfo, int level) {
        auto* err = reinterpret_cast<JpegErrors*>(cinfo->err);
        if (level < 0 && err->base.msg_code == JWRN_JPEG_EOF)
            err->truncated = true;
    };
    errors.base.output_message = [](j_common_ptr) {};
    return &errors.base;
}

} // namespace folvane::codec
