// Text recognition through Tesseract: the frame becomes a Leptonica image (1-bit frames as they
// are, others as 8-bit gray, small ones enlarged), Tesseract reads it with automatic page
// segmentation, and its result iterator gives the words with their boxes in reading order.
#include "text_recognition.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>
#include <mutex>

#ifdef FOLVANE_HAVE_OPENMP
#include <omp.h>
#endif

#include <leptonica/allheaders.h>
#include <tesseract/baseapi.h>
#include <tesseract/resultiterator.h>

namespace folvane::engine {

namespace {

// Enlarged frames stay below this many pixels.
constexpr double kMaxRecognitionPixels = 80e6;

struct PixDeleter {
    void operator()(Pix* pix) const { pixDestroy(&pix); }
};
using PixPointer = std::unique_ptr<Pix, PixDeleter>;

// The recogniser of the calling thread, kept with the languages it has loaded.
struct Recogniser {
    tesseract::TessBaseAPI api;
    std::string languages;
};

thread_local std::unique_ptr<Recogniser> t_recogniser;

// Leptonica's messages off, once per process; Tesseract's OpenMP teams down to one thread, for
// the calling thread (the setting belongs to each thread). Tesseract asks for teams of four
// threads for parts of each text line; on cores that are busy (other programs, or this job's
// other workers) those threads spin waiting for each other and a page takes several times as long
// (33 s instead of 4 s on a loaded 2-core machine). The job's own workers (-j) are the way to use
// more cores.
void prepareLibraries()
{
    static std::once_flag once;
    std::call_once(once, [] { setMsgSeverity(L_SEVERITY_NONE); });
#ifdef FOLVANE_HAVE_OPENMP
    omp_set_max_active_levels(0); // every parallel region runs on the thread that meets it
#endif
}

Recogniser* recogniserFor(const std::string& languages, std::string& failure)
{
    if (t_recogniser && t_recogniser->languages == languages)
        return t_recogniser.get();
    t_recogniser.reset();
    prepareLibraries();

    auto recogniser = std::make_unique<Recogniser>();
    // Tesseract's remarks ("Estimating resolution as ...") would land on standard error.
    recogniser->api.SetVariable("debug_file", "/dev/null");
    std::string folder = textDataFolder();
    if (recogniser->api.Init(folder.c_str(), languages.c_str(), tesseract::OEM_DEFAULT) != 0) {
        failure = "the text recognition languages \"" + languages + "\" could not be loaded from " + folder;
        return nullptr;
    }
    recogniser->api.SetPageSegMode(tesseract::PSM_AUTO);
    recogniser->languages = languages;
    t_recogniser = std::move(recogniser);
    return t_recogniser.get();
}

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

// The frame as a Leptonica image: 1 bit with 1 = ink, or 8-bit gray.
PixPointer toPix(const codec::Bitmap& bitmap)
{
    const int w = bitmap.width();
    const int h = bitmap.height();
    if (bitmap.bitsPerPixel() == 1) {
        PixPointer pix(pixCreate(w, h, 1));
        if (!pix)
            return nullptr;
        // Both store rows padded to 32 bits, most significant bit first; Leptonica keeps each
        // 32-bit word in the machine's byte order, hence the swap.
        const size_t bytes = std::min(bitmap.stride(), static_cast<size_t>(pixGetWpl(pix.get())) * 4);
        auto* data = reinterpret_cast<uint8_t*>(pixGetData(pix.get()));
        for (int y = 0; y < h; ++y)
            std::memcpy(data + static_cast<size_t>(y) * static_cast<size_t>(pixGetWpl(pix.get())) * 4, bitmap.row(y), bytes);
        pixEndianByteSwap(pix.get());
        codec::Rgb zero = bitmap.colour(0), one = bitmap.colour(1);
        if (codec::grayOf(one.r, one.g, one.b) > codec::grayOf(zero.r, zero.g, zero.b))
            pixInvert(pix.get(), pix.get()); // a palette that makes bit 1 the light one
        return pix;
    }
    PixPointer pix(pixCreate(w, h, 8));
    if (!pix)
        return nullptr;
    const l_int32 wpl = pixGetWpl(pix.get());
    l_uint32* data = pixGetData(pix.get());
    for (int y = 0; y < h; ++y) {
        const uint8_t* row = bitmap.row(y);
        l_uint32* line = data + static_cast<size_t>(y) * static_cast<size_t>(wpl);
        for (int x = 0; x < w; ++x)
            SET_DATA_BYTE(line, x, grayOfPixel(bitmap, row, x));
    }
    return pix;
}

int scaled(int value, double factor)
{
    return static_cast<int>(value / factor + 0.5);
}

// The box of the element at `level`, in the frame's pixels.
void scaledBox(tesseract::ResultIterator& it, tesseract::PageIteratorLevel level, double factor, int& left, int& top,
               int& right, int& bottom)
{
    it.BoundingBox(level, &left, &top, &right, &bottom);
    left = scaled(left, factor);
    top = scaled(top, factor);
    right = scaled(right, factor);
    bottom = scaled(bottom, factor);
}

void collectWords(tesseract::ResultIterator& it, double factor, std::vector<RecognisedLine>& lines)
{
    using tesseract::RIL_BLOCK;
    using tesseract::RIL_TEXTLINE;
    using tesseract::RIL_WORD;
    while (!it.Empty(RIL_BLOCK)) {
        if (it.Empty(RIL_WORD)) {
            it.Next(RIL_WORD);
            continue;
        }
        if (it.IsAtBeginningOf(RIL_TEXTLINE) || lines.empty()) {
            RecognisedLine line;
            scaledBox(it, RIL_TEXTLINE, factor, line.left, line.top, line.right, line.bottom);
            int x1 = 0, y1 = 0, x2 = 0, y2 = 0;
            if (it.Baseline(RIL_TEXTLINE, &x1, &y1, &x2, &y2) && x2 != x1)
                line.slope = static_cast<double>(y2 - y1) / (x2 - x1);
            lines.push_back(std::move(line));
        }
        std::unique_ptr<char[]> text(it.GetUTF8Text(RIL_WORD));
        RecognisedWord word;
        scaledBox(it, RIL_WORD, factor, word.left, word.top, word.right, word.bottom);
        if (text && text[0] && word.right > word.left && word.bottom > word.top) {
            word.text = text.get();
            lines.back().words.push_back(std::move(word));
        }
        it.Next(RIL_WORD);
    }
    std::erase_if(lines, [](const RecognisedLine& line) { return line.words.empty(); });
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
    try {
        Recogniser* recogniser = recogniserFor(languages, failure);
        if (!recogniser)
            return false;
        PixPointer pix = toPix(bitmap);
        if (!pix) {
            failure = "out of memory for text recognition";
            return false;
        }
        double factor = 1;
        if (dpi > 0 && dpi < kMinRecognitionDpi) {
            double pixels = static_cast<double>(bitmap.width()) * bitmap.height();
            factor = std::min({kMinRecognitionDpi / dpi, kMaxEnlargement, std::sqrt(kMaxRecognitionPixels / pixels)});
        }
        if (factor > 1.01) {
            PixPointer gray(pixConvertTo8(pix.get(), 0));
            PixPointer larger(gray ? pixScale(gray.get(), static_cast<float>(factor), static_cast<float>(factor)) : nullptr);
            if (!larger) {
                failure = "out of memory for text recognition";
                return false;
            }
            pix = std::move(larger);
        } else {
            factor = 1;
        }
        tesseract::TessBaseAPI& api = recogniser->api;
        api.SetImage(pix.get());
        api.SetSourceResolution(std::clamp(static_cast<int>(dpi * factor + 0.5), 70, 2400));
        if (api.Recognize(nullptr) != 0) {
            api.Clear();
            failure = "the text recognition failed";
            return false;
        }
        std::unique_ptr<tesseract::ResultIterator> it(api.GetIterator());
        if (it)
            collectWords(*it, factor, lines);
        it.reset();
        api.Clear();
        return true;
    } catch (const std::exception& error) {
        t_recogniser.reset(); // its state is unknown after a failure inside it
        failure = std::string("the text recognition failed: ") + error.what();
        return false;
    }
}

} // namespace folvane::engine
