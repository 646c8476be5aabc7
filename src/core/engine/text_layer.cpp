// The invisible text layer over a placed picture: the picture's prepared file is decoded again
// (so the text matches exactly the pixels that were embedded, straightened or not), read by the
// text recogniser, and every word is drawn in text rendering mode 3 in the glyphless font,
// horizontally scaled so that its box covers the word in the picture. A space is drawn across
// each gap between the words of a line, so text copied from the page reads naturally.
#include "text_layer.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <fstream>
#include <functional>
#include <iterator>

#include "text_recognition.h"
#include "pdf/unicode_text.h"

namespace folvane::engine {

namespace {

thread_local TextLayerReport t_report;

// The words of the last frame read on this thread, by the prepared file's content and the
// languages: a page that repeats one picture in every cell reads it once.
struct RecognitionMemory {
    size_t contentHash = 0;
    size_t contentSize = 0;
    int page = 0;
    std::string languages;
    std::vector<RecognisedLine> lines;
};
thread_local RecognitionMemory t_memory;

bool fileIdentity(const std::string& path, size_t& hash, size_t& size)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    hash = std::hash<std::string> {}(bytes);
    size = bytes.size();
    return true;
}

// Boxes are in pixels of a frame `frameHeight` high; scaleX and scaleY give points per pixel.
void drawWords(pdf::PdfDocument* pdf, const std::vector<RecognisedLine>& lines, const PictureGeometry& g,
               double frameHeight, double scaleX, double scaleY)
{
    int font = pdf::glyphlessFont(pdf);
    if (font < 0)
        return;
    const double advance = pdf::kGlyphlessAdvance / 1000.0;
    const double descent = -pdf::kGlyphlessDescent / 1000.0;
    pdf::saveState(pdf); // the rendering mode and scaling must not reach later text
    pdf::setTextRendering(pdf, 3);
    for (const RecognisedLine& line : lines) {
        // The line's box is taller than its text when the line slopes.
        double slope = line.slope;
        double boxHeight = line.bottom - line.top;
        double height = boxHeight - std::fabs(slope) * (line.right - line.left);
        if (height < 0.5 * boxHeight) {
            height = boxHeight;
            slope = 0;
        }
        double size = height * scaleY;
        if (size < 0.5)
            continue;
        pdf::setFont(pdf, font, size);
        for (size_t i = 0; i < line.words.size(); ++i) {
            const RecognisedWord& word = line.words[i];
            double middle = (word.left + word.right) / 2.0;
            double top = line.top + slope * (middle - (slope > 0 ? line.left : line.right));
            double x = g.left + word.left * scaleX;
            double y = g.bottom + (frameHeight - (top + height)) * scaleY + descent * size;
            double width = (word.right - word.left) * scaleX;
            size_t characters = std::max<size_t>(1, pdf::unicodeCharacterCount(word.text));
            pdf::setTextPosition(pdf, x, y);
            pdf::setHorizontalScaling(pdf, 100 * width / (static_cast<double>(characters) * advance * size));
            pdf::showUnicodeText(pdf, word.text);
            if (i + 1 < line.words.size()) {
                double gap = std::max((line.words[i + 1].left - word.right) * scaleX, 0.05 * size);
                pdf::setHorizontalScaling(pdf, 100 * gap / (advance * size));
                pdf::showUnicodeText(pdf, " ");
            }
        }
    }
    pdf::restoreState(pdf);
}

// The frame's resolution: as recorded in its file (or in the source it was prepared from), else
// as placed on the page.
double resolutionOf(const EngineDocument* doc, const pdf::ImageSlot& image, const PictureGeometry& g)
{
    if (image.resolutionX > 0)
        return image.resolutionX;
    if (doc->sourceDpi > 0)
        return doc->sourceDpi;
    double inches = image.width * g.scaleX / 72;
    return inches > 0 ? image.width / inches : 0;
}

} // namespace

void clearTextLayerReport()
{
    t_report = TextLayerReport {};
}

TextLayerReport textLayerReport()
{
    return t_report;
}

void addTextLayer(EngineDocument* doc, const std::string& path, int format, int page, const pdf::ImageSlot& image,
                  const PictureGeometry& g)
{
    if (!doc->settings.textRecognition)
        return;
    auto start = std::chrono::steady_clock::now();
    std::string failure;
    size_t hash = 0, size = 0;
    bool known = fileIdentity(path, hash, size);
    const std::string& languages = doc->settings.textLanguages;
    bool remembered = known && t_memory.contentSize == size && t_memory.contentHash == hash &&
                      t_memory.page == page && t_memory.languages == languages;
    bool read = remembered;
    double frameWidth = image.width, frameHeight = image.height;
    if (!remembered) {
        t_memory = RecognitionMemory {};
        codec::ImageCodec frame;
        frame.selectFrame(page - 1);
        if (frame.load(path, format)) {
            frameWidth = frame.width();
            frameHeight = frame.height();
            read = recogniseFrame(frame, resolutionOf(doc, image, g), languages, t_memory.lines, failure);
        } else {
            failure = "the picture could not be decoded for text recognition";
        }
        if (read && known) {
            t_memory.contentHash = hash;
            t_memory.contentSize = size;
            t_memory.page = page;
            t_memory.languages = languages;
        }
    }
    if (read && frameWidth > 0 && frameHeight > 0) {
        // Boxes are in the decoded frame's pixels, the geometry in the embedded image's.
        drawWords(doc->pdf, t_memory.lines, g, frameHeight, g.scaleX * image.width / frameWidth,
                  g.scaleY * image.height / frameHeight);
    }
    t_report.frames += 1;
    if (!read) {
        t_report.failed += 1;
        if (t_report.failure.empty())
            t_report.failure = failure;
    }
    t_report.seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

} // namespace folvane::engine
