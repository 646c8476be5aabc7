// The text recognition module (libfolvane-ocr.so): Tesseract reads a frame handed over by the
// engine. The frame becomes a Leptonica image (enlarged first when asked), Tesseract reads it
// with automatic page segmentation, and its result iterator gives the words with their boxes in
// reading order. Nothing here throws across the module's C boundary.
#include "text_module_abi.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <memory>
#include <mutex>
#include <string>

#ifdef FOLVANE_HAVE_OPENMP
#include <omp.h>
#endif

#include <leptonica/allheaders.h>
#include <tesseract/baseapi.h>
#include <tesseract/resultiterator.h>

namespace {

struct PixDeleter {
    void operator()(Pix* pix) const { pixDestroy(&pix); }
};
using PixPointer = std::unique_ptr<Pix, PixDeleter>;

// The recogniser of the calling thread, kept with the languages it has loaded (loading them
// takes a noticeable fraction of a second).
struct Recogniser {
    tesseract::TessBaseAPI api;
    std::string languages;
    std::string dataFolder;
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

Recogniser* recogniserFor(const char* dataFolder, const char* languages, std::string& failure)
{
    if (t_recogniser && t_recogniser->languages == languages && t_recogniser->dataFolder == dataFolder)
        return t_recogniser.get();
    t_recogniser.reset();
    prepareLibraries();

    auto recogniser = std::make_unique<Recogniser>();
    // Tesseract's remarks ("Estimating resolution as ...") would land on standard error.
    recogniser->api.SetVariable("debug_file", "/dev/null");
    if (recogniser->api.Init(dataFolder, languages, tesseract::OEM_DEFAULT) != 0) {
        failure = std::string("the text recognition languages \"") + languages + "\" could not be loaded from " +
                  dataFolder;
        return nullptr;
    }
    recogniser->api.SetPageSegMode(tesseract::PSM_AUTO);
    recogniser->languages = languages;
    recogniser->dataFolder = dataFolder;
    t_recogniser = std::move(recogniser);
    return t_recogniser.get();
}

// The image as a Leptonica image of the same depth.
PixPointer toPix(const FolvaneTextImage& image)
{
    const int depth = image.bitsPerPixel == 1 ? 1 : 8;
    PixPointer pix(pixCreate(image.width, image.height, depth));
    if (!pix)
        return nullptr;
    const size_t wordsPerLine = static_cast<size_t>(pixGetWpl(pix.get()));
    l_uint32* data = pixGetData(pix.get());
    if (depth == 1) {
        // Both store rows most significant bit first; Leptonica keeps each 32-bit word in the
        // machine's byte order, hence the swap.
        const size_t bytes = std::min(image.stride, wordsPerLine * 4);
        for (int y = 0; y < image.height; ++y)
            std::memcpy(reinterpret_cast<uint8_t*>(data + static_cast<size_t>(y) * wordsPerLine),
                        image.pixels + static_cast<size_t>(y) * image.stride, bytes);
        pixEndianByteSwap(pix.get());
        return pix;
    }
    for (int y = 0; y < image.height; ++y) {
        const unsigned char* row = image.pixels + static_cast<size_t>(y) * image.stride;
        l_uint32* line = data + static_cast<size_t>(y) * wordsPerLine;
        for (int x = 0; x < image.width; ++x)
            SET_DATA_BYTE(line, x, row[x]);
    }
    return pix;
}

int scaled(int value, double factor)
{
    return static_cast<int>(value / factor + 0.5);
}

struct Box {
    int left = 0, top = 0, right = 0, bottom = 0;
};

// The box of the element at `level`, in pixels of the image before enlargement.
Box scaledBox(tesseract::ResultIterator& it, tesseract::PageIteratorLevel level, double factor)
{
    Box box;
    it.BoundingBox(level, &box.left, &box.top, &box.right, &box.bottom);
    return {scaled(box.left, factor), scaled(box.top, factor), scaled(box.right, factor), scaled(box.bottom, factor)};
}

// Lines without a word are not reported: a line goes out with its first word.
void reportWords(tesseract::ResultIterator& it, double factor, const FolvaneTextSink& sink)
{
    using tesseract::RIL_BLOCK;
    using tesseract::RIL_TEXTLINE;
    using tesseract::RIL_WORD;
    bool lineReported = false;
    while (!it.Empty(RIL_BLOCK)) {
        if (it.Empty(RIL_WORD)) {
            it.Next(RIL_WORD);
            continue;
        }
        if (it.IsAtBeginningOf(RIL_TEXTLINE))
            lineReported = false;
        std::unique_ptr<char[]> text(it.GetUTF8Text(RIL_WORD));
        Box word = scaledBox(it, RIL_WORD, factor);
        if (text && text[0] && word.right > word.left && word.bottom > word.top) {
            if (!lineReported) {
                Box line = scaledBox(it, RIL_TEXTLINE, factor);
                double slope = 0;
                int x1 = 0, y1 = 0, x2 = 0, y2 = 0;
                if (it.Baseline(RIL_TEXTLINE, &x1, &y1, &x2, &y2) && x2 != x1)
                    slope = static_cast<double>(y2 - y1) / (x2 - x1);
                sink.line(sink.context, line.left, line.top, line.right, line.bottom, slope);
                lineReported = true;
            }
            sink.word(sink.context, text.get(), word.left, word.top, word.right, word.bottom);
        }
        it.Next(RIL_WORD);
    }
}

int fail(const FolvaneTextSink& sink, const std::string& reason)
{
    sink.failure(sink.context, reason.c_str());
    return 1;
}

int recognise(const FolvaneTextImage* image, double enlargement, int resolution, const char* dataFolder,
              const char* languages, const FolvaneTextSink* sink)
{
    try {
        std::string failure;
        Recogniser* recogniser = recogniserFor(dataFolder, languages, failure);
        if (!recogniser)
            return fail(*sink, failure);
        PixPointer pix = toPix(*image);
        if (!pix)
            return fail(*sink, "out of memory for text recognition");
        double factor = 1;
        if (enlargement > 1.01) {
            PixPointer gray(pixConvertTo8(pix.get(), 0));
            PixPointer larger(
                gray ? pixScale(gray.get(), static_cast<float>(enlargement), static_cast<float>(enlargement)) : nullptr);
            if (!larger)
                return fail(*sink, "out of memory for text recognition");
            pix = std::move(larger);
            factor = enlargement;
        }
        tesseract::TessBaseAPI& api = recogniser->api;
        api.SetImage(pix.get());
        api.SetSourceResolution(resolution);
        if (api.Recognize(nullptr) != 0) {
            api.Clear();
            return fail(*sink, "the text recognition failed");
        }
        std::unique_ptr<tesseract::ResultIterator> it(api.GetIterator());
        if (it)
            reportWords(*it, factor, *sink);
        it.reset();
        api.Clear();
        return 0;
    } catch (const std::exception& error) {
        t_recogniser.reset(); // its state is unknown after a failure inside it
        return fail(*sink, std::string("the text recognition failed: ") + error.what());
    } catch (...) {
        t_recogniser.reset();
        return fail(*sink, "the text recognition failed");
    }
}

constexpr FolvaneTextModule kModule = {FOLVANE_TEXT_MODULE_VERSION, recognise};

} // namespace

extern "C" __attribute__((visibility("default"))) const FolvaneTextModule* folvane_text_module()
{
    return &kModule;
}
