// The external converter library, libquillmar5.so, built on GraphicsMagick: "convert" reads
// every frame of an image in any format GraphicsMagick knows and writes them as one multi-page
// TIFF (CCITT Group 4 for bilevel frames, LZW otherwise). Returns 0 on success and a negative
// value on failure; prints nothing (but one line before the process ends on a fatal library error).
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

#include <magick/api.h>

namespace {

std::once_flag g_initialised;

void silent(const ExceptionType, const char*, const char*) {}

// The image library calls this only when it cannot go on at all (its state is broken), and it
// must not return. Say why in one line and end the process.
// The GNU spelling makes the attribute part of the function type, which the setter requires.
__attribute__((noreturn)) void fatal(const ExceptionType, const char* reason, const char* description)
{
    std::fprintf(stderr, "quillmar5: fatal image library error: %s %s\n", reason ? reason : "",
                 description ? description : "");
    std::_Exit(70);
}

void initialise()
{
    // The host program owns the process's signal handling; the library must not take it over.
    ExceptionInfo exception;
    GetExceptionInfo(&exception);
    InitializeMagickEx(nullptr, MAGICK_OPT_NO_SIGNAL_HANDER, &exception);
    DestroyExceptionInfo(&exception);
    SetErrorHandler(silent);
    SetWarningHandler(silent);
    SetFatalErrorHandler(fatal);
}

void copyName(char* target, const std::string& name)
{
    std::strncpy(target, name.c_str(), MaxTextExtent - 1);
    target[MaxTextExtent - 1] = '\0';
}

int convert(const char* input, const char* output)
{
    if (std::strlen(input) >= MaxTextExtent - 8 || std::strlen(output) >= MaxTextExtent - 8)
        return -2;
    ExceptionInfo exception;
    GetExceptionInfo(&exception);
    ImageInfo* readInfo = CloneImageInfo(nullptr);
    copyName(readInfo->filename, input);
    Image* frames = ReadImage(readInfo, &exception);
    DestroyImageInfo(readInfo);
    if (!frames) {
        DestroyExceptionInfo(&exception);
        return -3;
    }
    // Animations store partial frames; each page shows the full picture.
    if (frames->next) {
        Image* full = CoalesceImages(frames, &exception);
        if (full) {
            DestroyImageList(frames);
            frames = full;
        }
    }
    for (Image* frame = frames; frame; frame = frame->next) {
        if (IsMonochromeImage(frame, &exception) && !frame->matte) {
            SetImageType(frame, BilevelType);
            frame->compression = Group4Compression;
        } else {
            frame->compression = LZWCompression;
        }
    }
    ImageInfo* writeInfo = CloneImageInfo(nullptr);
    writeInfo->adjoin = MagickTrue;
    std::string target = std::string("TIFF:") + output;
    copyName(writeInfo->filename, target);
    copyName(frames->filename, target);
    bool written = WriteImages(writeInfo, frames, target.c_str(), &exception) != MagickFail;
    DestroyImageInfo(writeInfo);
    DestroyImageList(frames);
    DestroyExceptionInfo(&exception);
    return written ? 0 : -4;
}

} // namespace

extern "C" __attribute__((visibility("default"))) int quillmar5(int argc, char** argv)
{
    if (argc != 4 || !argv || !argv[1] || !argv[2] || !argv[3] || std::strcmp(argv[1], "convert") != 0)
        return -1;
    std::call_once(g_initialised, initialise);
    return convert(argv[2], argv[3]);
}
