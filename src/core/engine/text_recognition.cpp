// Text recognition of a decoded frame: the frame is handed to the text recognition module
// (text_module.h) as it is when it has 1 bit per pixel, as 8-bit gray otherwise, enlarged there
// when its resolution is low; the module's words come back line by line.
#include "text_recognition.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <new>

#include "text_module.h"

namespace folvane::engine {

namespace {

// Enlarged frames stay below this many pixels.
constexpr double kMaxRecognitionPixels = 80e6;

uint8_t grayOfPixel(const codec::Bitmap& bitmap, const uint8_t* row, int x)
{
    switch (bitmap.bitsPerPixel()) {
    case 24:
        return codec::grayOf(row[3 * x], row[3 * x + 1], row[3 * x + 2]);
    case 32: {
        // Transparent parts count as the white paper behind them.
        const uint8_t* p = row + 4 * x;
        unsigned alpha = p[3];
        auto over = [alpha](uint8_t c) { return static_cast<uint8_t>((c * alpha + 255 * (255 - alpha)) / 255); };
        return codec::grayOf(over(p[0]), over(p[1]), over(p[2]));
    }
    default: {
        int bpp = bitmap.bitsPerPixel();
        int perByte = 8 / bpp;
        unsigned index = (row[x / perByte] >> (8 - bpp * (x % perByte + 1))) & ((1u << bpp) - 1);
        codec::Rgb c = bitmap.colour(index);
        return codec::grayOf(c.r, c.g, c.b);
    }
    }
}

// The frame as the module reads it: 1 bit with 1 = ink (the bitmap's own rows unless its palette
// makes bit 1 the light one), or 8-bit gray in `copy`.
FolvaneTextImage textImageOf(const codec::Bitmap& bitmap, std::vector<uint8_t>& copy)
{
    const int w = bitmap.width();
    const int h = bitmap.height();
    FolvaneTextImage image{bitmap.row(0), w, h, 1, bitmap.stride()};
    if (bitmap.bitsPerPixel() == 1) {
        codec::Rgb zero = bitmap.colour(0), one = bitmap.colour(1);
        if (codec::grayOf(one.r, one.g, one.b) <= codec::grayOf(zero.r, zero.g, zero.b))
            return image;
        copy.resize(bitmap.stride() * static_cast<size_t>(h));
        for (int y = 0; y < h; ++y) {
            const uint8_t* row = bitmap.row(y);
            uint8_t* out = copy.data() + static_cast<size_t>(y) * bitmap.stride();
            for (size_t i = 0; i < bitmap.stride(); ++i)
                out[i] = static_cast<uint8_t>(~row[i]);
        }
        image.pixels = copy.data();
        return image;
    }
    copy.resize(static_cast<size_t>(w) * static_cast<size_t>(h));
    for (int y = 0; y < h; ++y) {
        const uint8_t* row = bitmap.row(y);
        uint8_t* out = copy.data() + static_cast<size_t>(y) * static_cast<size_t>(w);
        for (int x = 0; x < w; ++x)
            out[x] = grayOfPixel(bitmap, row, x);
    }
    image.pixels = copy.data();
    image.bitsPerPixel = 8;
    image.stride = static_cast<size_t>(w);
    return image;
}

// Collects the module's answer.
struct Collected {
    std::vector<RecognisedLine>* lines;
    std::string failure;
};

void addLine(void* context, int left, int top, int right, int bottom, double slope)
{
    auto* collected = static_cast<Collected*>(context);
    RecognisedLine line;
    line.left = left;
    line.top = top;
    line.right = right;
    line.bottom = bottom;
    line.slope = slope;
    collected->lines->push_back(std::move(line));
}

void addWord(void* context, const char* text, int left, int top, int right, int bottom)
{
    auto* collected = static_cast<Collected*>(context);
    if (collected->lines->empty())
        return;
    collected->lines->back().words.push_back(RecognisedWord{text, left, top, right, bottom});
}

void noteFailure(void* context, const char* reason)
{
    static_cast<Collected*>(context)->failure = reason;
}

} // namespace

std::string textDataFolder()
{
    const char* prefix = std::getenv("TESSDATA_PREFIX");
    if (prefix && *prefix)
        return prefix;
    return "/usr/share/tesseract-ocr/5/tessdata";
}

bool recogniseFrame(codec::ImageCodec& frame, double dpi, const std::string& languages,
                    std::vector<RecognisedLine>& lines, std::string& failure)
{
    lines.clear();
    const codec::Bitmap& bitmap = frame.bitmap();
    if (bitmap.empty()) {
        failure = "the picture could not be decoded for text recognition";
        return false;
    }
    const FolvaneTextModule* module = textModule(failure);
    if (!module)
        return false;
    std::vector<uint8_t> copy;
    FolvaneTextImage image;
    try {
        image = textImageOf(bitmap, copy);
    } catch (const std::bad_alloc&) {
        failure = "out of memory for text recognition";
        return false;
    }
    double factor = 1;
    if (dpi > 0 && dpi < kMinRecognitionDpi) {
        double pixels = static_cast<double>(bitmap.width()) * bitmap.height();
        factor = std::min({kMinRecognitionDpi / dpi, kMaxEnlargement, std::sqrt(kMaxRecognitionPixels / pixels)});
    }
    if (factor <= 1.01)
        factor = 1;
    const int resolution = std::clamp(static_cast<int>(dpi * factor + 0.5), 70, 2400);
    Collected collected{&lines, {}};
    FolvaneTextSink sink{&collected, addLine, addWord, noteFailure};
    if (module->recognise(&image, factor, resolution, textDataFolder().c_str(), languages.c_str(), &sink) != 0) {
        lines.clear();
        failure = collected.failure.empty() ? "the text recognition failed" : collected.failure;
        return false;
    }
    return true;
}

} // namespace folvane::engine
