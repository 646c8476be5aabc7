// Placement of prepared files: the writer embeds them, and each picture is drawn into the
// placement box, on a page of its own size when no page is open.
#include "intake.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <unistd.h>

#include "codec/image_codec.h"
#include "text_layer.h"
#include "pdf/images.h"

namespace folvane::engine {

namespace {

thread_local Result t_imageFailure;

std::string temporaryFolder()
{
    const char* folder = std::getenv("TMPDIR");
    return folder && *folder ? folder : "/tmp";
}

} // namespace

void clearImageFailure()
{
    t_imageFailure = Result::success();
}

void noteTemporaryFailure(int error)
{
    t_imageFailure = Result::failure(FailureCode::Environment, "cannot write temporary files in " + temporaryFolder() +
                                                                   ": " + std::strerror(error));
}

void noteImageFailure(const std::string& reason, FailureCode code)
{
    t_imageFailure = reason.empty() ? Result::success() : Result::failure(code, reason);
}

Result imageFailure()
{
    return t_imageFailure;
}

bool TemporaryFolder::create()
{
    remove();
    std::string pattern = temporaryFolder() + "/folvane-XXXXXX";
    if (!::mkdtemp(pattern.data())) {
        noteTemporaryFailure(errno);
        return false;
    }
    m_path = pattern;
    return true;
}

void TemporaryFolder::remove()
{
    if (m_path.empty())
        return;
    // remove_all never follows a link found inside; it removes the link itself.
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
    m_path.clear();
}

bool TemporaryFile::create(TemporaryFolder& folder, const std::string& name)
{
    remove();
    if (!folder.ensure())
        return false;
    std::string path = folder.path() + "/" + name;
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        noteTemporaryFailure(errno);
        return false;
    }
    ::close(fd);
    m_path = path;
    return true;
}

void TemporaryFile::remove()
{
    if (!m_path.empty())
        ::unlink(m_path.c_str());
    m_path.clear();
}

namespace {

// The smallest page side PDF allows, in points.
constexpr double kMinPageSide = 3;

// The matrix that maps an image drawn at its natural size (w x h, at the origin) onto the upright
// picture of an orientation, in the box (0, 0) to the picture's shown size.
struct Matrix {
    double a, b, c, d, e, f;
};
Matrix orientationMatrix(int orientation, double w, double h)
{
    switch (orientation) {
    case 2: return {-1, 0, 0, 1, w, 0};
    case 3: return {-1, 0, 0, -1, w, h};
    case 4: return {1, 0, 0, -1, 0, h};
    case 5: return {0, -1, -1, 0, h, w};
    case 6: return {0, -1, 1, 0, 0, w};
    case 7: return {0, 1, 1, 0, 0, 0};
    case 8: return {0, 1, -1, 0, h, 0};
    default: return {1, 0, 0, 1, 0, 0};
    }
}

// Draws one imported image (from `path` of codec format `format`, TIFF page `page`), turned by
// `orientation`, and its text layer; ends the page at once when the image began it.
void drawImage(EngineDocument* doc, int slot, int orientation, const std::string& path, int format, int page)
{
    EngineSettings& s = doc->settings;
    const pdf::ImageSlot* image = pdf::imageSlot(doc->pdf, slot);
    // One pixel is one point at the image's natural size; the shown picture swaps its sides when
    // turned by a quarter.
    const bool quarter = orientation >= 5 && orientation <= 8;
    const double naturalWidth = image->width, naturalHeight = image->height;
    double w = quarter ? naturalHeight : naturalWidth;
    double h = quarter ? naturalWidth : naturalHeight;
    double fit = 0; // scale applied to an image too large for a page
    if (!s.pageOpen && s.pagePending) {
        s.pagePending = false;
        beginEnginePage(doc, s.pageWidth, s.pageHeight, 2);
        pdf::setTextPosition(doc->pdf, s.page.textLeftMargin, s.pageHeight - s.page.textTopMargin);
    }
    if (!s.pageOpen) {
        if (w >= 14400 || h >= 14400) {
            fit = std::min(14400 / h, 14400 / w);
            beginEnginePage(doc, w * fit, h * fit, 1);
            s.page.placeX = 0;
            s.page.placeY = 0;
            s.page.placeWidth = static_cast<int>(w * fit);
            s.page.placeHeight = static_cast<int>(h * fit);
        } else if (w < kMinPageSide || h < kMinPageSide) {
            // Readers reject pages below 3 units a side; the picture keeps its size at the top
            // left of a page just large enough.
            beginEnginePage(doc, std::max(w, kMinPageSide), std::max(h, kMinPageSide), 1);
            s.page.placeX = 0;
            s.page.placeY = 0;
            s.page.placeWidth = static_cast<int>(w);
            s.page.placeHeight = static_cast<int>(h);
        } else {
            beginEnginePage(doc, w, h, 1);
        }
    }
    double pageHeight = doc->pdf->pageHeight;
    double boxHeight = s.page.placeHeight ? s.page.placeHeight : pageHeight;
    double sx = s.page.placeWidth ? s.page.placeWidth / w : 1;
    double sy = s.page.placeHeight ? s.page.placeHeight / h : 1;
    if (fit > 0)
        sx = sy = fit;
    pdf::saveState(doc->pdf);
    pdf::scale(doc->pdf, sx, sy);
    if (orientation >= 2 && orientation <= 8) {
        // The picture and the words read from its stored pixels are turned together.
        pdf::translate(doc->pdf, s.page.placeX / sx, (pageHeight - s.page.placeY - boxHeight) / sy);
        Matrix m = orientationMatrix(orientation, naturalWidth, naturalHeight);
        pdf::concatMatrix(doc->pdf, m.a, m.b, m.c, m.d, m.e, m.f);
        pdf::placeImage(doc->pdf, slot, 0, 0, 1);
        addTextLayer(doc, path, format, page, *image, PictureGeometry {});
        pdf::restoreState(doc->pdf);
    } else {
        pdf::placeImage(doc->pdf, slot, s.page.placeX / sx, (pageHeight - s.page.placeY - boxHeight) / sy, 1);
        pdf::restoreState(doc->pdf);
        PictureGeometry geometry {static_cast<double>(s.page.placeX), pageHeight - s.page.placeY - boxHeight, sx, sy};
        addTextLayer(doc, path, format, page, *image, geometry);
    }
    pdf::closeImage(doc->pdf, slot);
    if (s.pageKind == 1) {
        endEnginePage(doc);
        s.page.placeX = s.page.placeY = s.page.placeWidth = s.page.placeHeight = 0;
    }
}

} // namespace

int placeImageFile(EngineDocument* doc, const std::string& path, int orientation)
{
    if (!doc || path.empty())
        return 0;
    unsigned char head[10] = {};
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file)
        return 0;
    size_t n = std::fread(head, 1, sizeof head, file);
    std::fclose(file);
    bool tiff = n >= 4 && (std::memcmp(head, "MM\0*", 4) == 0 || std::memcmp(head, "II*\0", 4) == 0);
    bool jpeg = n >= 3 && head[0] == 0xFF && head[1] == 0xD8 && head[2] == 0xFF;
    bool png = n >= 8 && std::memcmp(head, "\x89PNG\r\n\x1A\n", 8) == 0;
    if (!tiff && !jpeg && !png)
        return 0;

    if (jpeg || png) {
        int slot = pdf::openImageFile(doc->pdf, png ? pdf::kImagePng : pdf::kImageJpeg, path, "", 0);
        if (slot < 0)
            return 0;
        drawImage(doc, slot, orientation, path, png ? codec::kFormatPng : codec::kFormatJpeg, 1);
        return 1;
    }
    for (int page = 1;; ++page) {
        int slot = pdf::openImageFile(doc->pdf, pdf::kImageTiff, path, "page", page);
        if (slot < 0)
            return page == 1 ? 0 : 1;
        drawImage(doc, slot, orientation, path, codec::kFormatTiff, page);
    }
}

int placeTiffFrame(EngineDocument* doc, const std::string& path, int page, int orientation)
{
    if (!doc || path.empty() || page < 1)
        return 0;
    int slot = pdf::openImageFile(doc->pdf, pdf::kImageTiff, path, "page", page);
    if (slot < 0)
        return 0;
    drawImage(doc, slot, orientation, path, codec::kFormatTiff, page);
    return 1;
}

} // namespace folvane::engine
