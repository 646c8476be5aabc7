// Adding an image file: recognises the format and prepares each selected frame as a JPEG or TIFF file
// through the codec layer (or the external converter), then hands it to placement. Only one
// decoded frame is held at a time; every temporary file lives in a private folder of the call,
// removed with its contents before returning.
#include "engine/engine.h"

#include <cerrno>
#include <cstring>
#include <strings.h>
#include <utility>

#include "codec/image_codec.h"
#include "codec/jpeg_recode.h"
#include "codec/tiff_passthrough.h"
#include "deskew.h"
#include "engine/external_converter.h"
#include "intake.h"
#include "text_layer.h"
#include "pdf/images.h"

namespace folvane::engine {

namespace {

using codec::ImageCodec;

constexpr int kFixedQuality = 75;
constexpr int kLargeSide = 10000;

enum class PixelClass { BlackWhite, GrayPalette, PaletteColour, TrueColour, Other };

PixelClass classify(const ImageCodec& image)
{
    switch (image.bitsPerPixel()) {
    case 1:
        return PixelClass::BlackWhite;
    case 8:
        return image.isGrayscalePalette() ? PixelClass::GrayPalette : PixelClass::PaletteColour;
    case 24:
        return PixelClass::TrueColour;
    default:
        return PixelClass::Other;
    }
}

std::string prefixFor(int tag, const char* letters)
{
    return std::to_string(tag) + letters;
}

bool nameIs(const std::string& setting, const char* name)
{
    return !setting.empty() && strncasecmp(setting.c_str(), name, std::strlen(name)) == 0;
}

// Palette images: gray when a side is very long (to bound memory), 24 bits otherwise.
// Saves a prepared frame to its temporary file. A write the file system refuses (a full or
// read-only temporary folder) is noted as the reason, so that it is not taken for a bad image.
bool savePrepared(const ImageCodec& image, const std::string& path, int format)
{
    errno = 0;
    if (image.save(path, format))
        return true;
    int error = errno;
    if (error == ENOSPC || error == EDQUOT || error == EFBIG || error == EROFS || error == EIO)
        noteTemporaryFailure(error);
    return false;
}

bool reduceOrExpand(ImageCodec& image)
{
    if (image.width() > kLargeSide || image.height() > kLargeSide)
        return image.convertToGrayscale();
    return image.increaseDepthTo24();
}

// Straightens a black-and-white frame in place.
void straighten(ImageCodec& image, bool refined)
{
    uint8_t* rows = image.pixelRows();
    if (!rows)
        return;
    FrameView frame;
    frame.rows = rows;
    frame.width = image.width();
    frame.height = image.height();
    frame.stride = static_cast<std::ptrdiff_t>(image.rowStride());
    frame.bitsPerPixel = 1;
    straightenFrame(frame, refined);
}

int tiffRoute(EngineDocument* doc, int tag, const std::string& path, TemporaryFolder& folder,
              bool converted);

// A temporary file made only when a frame is first saved into it: files embedded as they are
// stored never touch the temporary folder.
class PreparedFile {
public:
    PreparedFile(TemporaryFolder& folder, std::string name) : m_folder(folder), m_name(std::move(name)) {}

    // The file's path, or empty when it cannot be made (the reason is noted).
    const std::string& path()
    {
        if (m_file.path().empty())
            m_file.create(m_folder, m_name);
        return m_file.path();
    }

private:
    TemporaryFolder& m_folder;
    std::string m_name;
    TemporaryFile m_file;
};

// Notes why the codec could not read a file, when it knew.
void noteDecodeFailure(const ImageCodec& image)
{
    if (!image.failureReason().empty())
        noteImageFailure(image.failureReason());
}

// The converter writes into a file made beforehand in the call's private folder, so neither the
// name nor the file can be taken over by anyone else. `decodeFailure` is why the codec could not
// read the file itself (empty when it never tried); it stays the reason when the converter
// cannot help either.
int externalRoute(EngineDocument* doc, int tag, const std::string& path, TemporaryFile& first,
                  TemporaryFolder& folder, const std::string& decodeFailure = {})
{
    first.remove();
    if (!externalConverterAvailable()) {
        if (!decodeFailure.empty())
            noteImageFailure(decodeFailure);
        return -1;
    }
    TemporaryFile converted;
    if (!converted.create(folder, prefixFor(tag, "acp.tif")))
        return 0;
    int result = runExternalConverter(path, converted.path());
    if (result < 0) {
        noteImageFailure(!decodeFailure.empty() ? decodeFailure : "not an image format the converter reads",
                         decodeFailure.empty() ? FailureCode::NotAnImage : FailureCode::Damaged);
        return result;
    }
    return tiffRoute(doc, tag, converted.path(), folder, true);
}

int jpegRoute(EngineDocument* doc, int tag, const std::string& path, TemporaryFolder& folder)
{
    int quality = doc->settings.jpegQuality;
    if (quality < 1 || quality > 100) {
        ImageCodec header; // the orientation, or why the data cannot be embedded
        header.setHeaderOnly(true);
        bool readable = header.load(path, codec::kFormatJpeg);
        // Embedded byte for byte; an upright photo is turned by the page's drawing instead.
        int placed = placeImageFile(doc, path, doc->settings.autoOrient && readable ? header.orientation() : 1);
        if (placed <= 0 && !readable)
            noteDecodeFailure(header);
        return placed;
    }
    PreparedFile prepared(folder, prefixFor(tag, "aap"));
    if (prepared.path().empty())
        return 0;
    // An upright colour photo sampled as the encoder samples is coded afresh from its planes.
    ImageCodec header;
    header.setHeaderOnly(true);
    if (header.load(path, codec::kFormatJpeg) && (!doc->settings.autoOrient || header.orientation() == 1) &&
        codec::recodeJpegPlanes(path, prepared.path(), quality))
        return placeImageFile(doc, prepared.path());
    ImageCodec image;
    if (!image.load(path, codec::kFormatJpeg)) {
        noteDecodeFailure(image);
        return 0;
    }
    if (doc->settings.autoOrient && !image.turnUpright())
        return 0;
    image.setJpegQuality(quality);
    if (!savePrepared(image, prepared.path(), codec::kFormatJpeg))
        return 0;
    image.release();
    return placeImageFile(doc, prepared.path());
}

int singleFrameRoute(EngineDocument* doc, int tag, const std::string& path, int format,
                     TemporaryFile& prepared, TemporaryFolder& folder)
{
    ImageCodec image;
    image.setHeaderOnly(true);
    const bool headerRead = image.load(path, format);
    if (!headerRead || image.frameCount() >= 1) {
        // The content named this format: when its reader fails and the converter cannot read it
        // either, the file is damaged, not of an unknown kind.
        std::string reason = image.failureReason();
        if (!headerRead && reason.empty())
            reason = "image data damaged or unreadable";
        return externalRoute(doc, tag, path, prepared, folder, reason);
    }
    const PageSettings& page = doc->settings.page;
    if (page.firstFrame > 0 && page.frameCount > 0 && page.firstFrame + page.frameCount - 1 > 1)
        return -1;
    // Kept exactly, a PNG file goes to the writer as it is: its compressed rows are copied, or
    // decoded there with their depth, palette and transparency kept. Its orientation turns the
    // page's drawing. A file the writer refuses is decoded here, which also says why a damaged
    // one fails.
    if (doc->settings.lossless && format == codec::kFormatPng &&
        placeImageFile(doc, path, doc->settings.autoOrient ? image.orientation() : 1) > 0)
        return 1;
    // Kept exactly, a gray or pix map with samples wider than 8 bits goes in as a 16-bit PNG.
    if (doc->settings.lossless && format == codec::kFormatPnm && codec::saveWidePnmAsPng(path, prepared.path()))
        return placeImageFile(doc, prepared.path());
    image.setHeaderOnly(false);
    image.selectFrame(0);
    if (!image.load(path, format)) {
        noteDecodeFailure(image);
        return 0;
    }
    if (doc->settings.autoOrient && !image.turnUpright())
        return 0;

    int saveAs = codec::kFormatJpeg;
    if (doc->settings.lossless) {
        // Kept exactly: black-and-white as Group 4, everything else as PNG, whose palette, depth
        // and alpha channel the writer keeps (alpha as a soft mask, not flattened onto white).
        bool bilevel = classify(image) == PixelClass::BlackWhite;
        image.setCompression(codec::kCompressionCcittG4);
        bool saved = savePrepared(image, prepared.path(), bilevel ? codec::kFormatTiff : codec::kFormatPng);
        image.release();
        return saved ? placeImageFile(doc, prepared.path()) : 0;
    }
    switch (classify(image)) {
    case PixelClass::TrueColour:
    case PixelClass::GrayPalette:
        image.setJpegQuality(kFixedQuality);
        break;
    case PixelClass::BlackWhite:
        image.setCompression(codec::kCompressionCcittG4);
        saveAs = codec::kFormatTiff;
        break;
    default:
        if (!reduceOrExpand(image))
            return 0;
        break;
    }
    bool saved = savePrepared(image, prepared.path(), saveAs);
    image.release();
    return saved ? placeImageFile(doc, prepared.path()) : 0;
}

// Sets the TIFF compression for one frame by its class and the document's names, converting
// the frame where its class requires. False when a conversion failed.
bool chooseCompression(EngineDocument* doc, ImageCodec& image, PixelClass cls, bool* negateAfter)
{
    const EngineSettings& s = doc->settings;
    *negateAfter = false;
    switch (cls) {
    case PixelClass::BlackWhite: {
        const std::string& name = s.compression[0];
        if (nameIs(name, "lzw"))
            image.setCompression(codec::kCompressionLzw);
        else if (nameIs(name, "zip")) {
            image.setCompression(codec::kCompressionDeflate);
            *negateAfter = true;
        } else if (nameIs(name, "g3"))
            image.setCompression(codec::kCompressionCcittG3);
        else if (nameIs(name, "g4"))
            image.setCompression(codec::kCompressionCcittG4);
        return true;
    }
    case PixelClass::GrayPalette:
    case PixelClass::TrueColour: {
        const std::string& name = s.compression[cls == PixelClass::GrayPalette ? 1 : 2];
        if (s.lossless && (nameIs(name, "jpeg") || nameIs(name, "jpg") || name.empty()))
            image.setCompression(codec::kCompressionDeflate); // JPEG would lose detail
        else if (nameIs(name, "zip"))
            image.setCompression(codec::kCompressionDeflate);
        else if (nameIs(name, "packbits"))
            image.setCompression(codec::kCompressionPackBits);
        else if (nameIs(name, "jpeg") || nameIs(name, "jpg"))
            image.setCompression(codec::kCompressionJpeg);
        else if (nameIs(name, "lzw"))
            image.setCompression(codec::kCompressionLzw);
        return true;
    }
    case PixelClass::PaletteColour:
        if (s.lossless) { // the palette stays
            image.setCompression(codec::kCompressionDeflate);
            return true;
        }
        image.setCompression(codec::kCompressionJpeg);
        return reduceOrExpand(image);
    case PixelClass::Other:
        image.setCompression(codec::kCompressionLzw);
        return true;
    }
    return true;
}

codec::StoredFrameChecks& storedChecks(EngineDocument* doc)
{
    if (!doc->storedChecks)
        doc->storedChecks = std::make_unique<codec::StoredFrameChecks>();
    return *doc->storedChecks;
}

} // namespace

bool storedGroup4Allowed(const EngineDocument* doc)
{
    const std::string& name = doc->settings.compression[0];
    return !doc->settings.skewCorrection && !nameIs(name, "lzw") && !nameIs(name, "zip") && !nameIs(name, "g3");
}

void expectImageFile(EngineDocument* doc, const std::string& path)
{
    if (doc && storedGroup4Allowed(doc) && codec::isTiffFile(path))
        storedChecks(doc).expect(path, 0);
}

namespace {

// A black-and-white frame stored as one Group 4 strip goes into the PDF as it is when nothing
// would change it: no straightening, no negation, and Group 4 is what it would be coded with
// again (the black-and-white name "g4", or one that leaves the encoder's own choice). Its
// orientation turns the page's drawing. The writer copies the coded strip straight from the
// source file. False when the frame must be decoded.
bool placeStoredGroup4(EngineDocument* doc, const std::string& path, int frame, int* result)
{
    if (!storedGroup4Allowed(doc))
        return false;
    // The next frames are checked on another core while this one is placed.
    const int frames = codec::tiffPageCount(path);
    for (int next = frame; next < frame + 2 && next < frames; ++next)
        storedChecks(doc).expect(path, next);
    codec::StoredBilevelFrame stored;
    if (!storedChecks(doc).storedGroup4Frame(path, frame - 1, stored))
        return false;
    *result = placeTiffFrame(doc, path, frame, stored.orientation);
    return true;
}

// One frame of the TIFF route: decode, choose, straighten, save, place. `undecodable` tells a
// frame the codec could not read from one that failed later.
int tiffFrame(EngineDocument* doc, const std::string& path, int frame, PreparedFile& prepared, bool* undecodable)
{
    *undecodable = false;
    if (int placed = 0; placeStoredGroup4(doc, path, frame, &placed))
        return placed;
    // Kept exactly when asked: 16-bit samples go to the writer, which keeps all their bits; the
    // frame's orientation turns the page's drawing. Anything the writer refuses is decoded below.
    if (int orientation = 1;
        doc->settings.lossless && !doc->settings.skewCorrection && codec::sixteenBitFrame(path, frame - 1, orientation))
        if (int placed = placeTiffFrame(doc, path, frame, orientation); placed > 0)
            return placed;
    ImageCodec image;
    image.selectFrame(frame - 1);
    image.setKeepAlpha(doc->settings.lossless);
    if (!image.load(path, codec::kFormatTiff)) {
        *undecodable = true;
        noteDecodeFailure(image);
        return 0;
    }
    bool negateAfter = false;
    if (!chooseCompression(doc, image, classify(image), &negateAfter))
        return 0;
    int quality = doc->settings.jpegQuality;
    image.setJpegQuality(quality >= 1 && quality <= 100 ? quality : kFixedQuality);
    // Straightened before any negation: the estimator needs ink as set bits.
    if (doc->settings.skewCorrection && image.bitsPerPixel() == 1)
        straighten(image, doc->settings.skewMethod == 1);
    if (negateAfter && !image.negate())
        return 0;

    int compression = image.compression();
    // The TIFF encoder's own choice for 24 and 32 bits is JPEG inside TIFF, which the writer does
    // not embed; such frames are saved as plain JPEG files like an explicit JPEG choice.
    bool encoderPicksJpeg = compression == codec::kCompressionDefault &&
                            (image.bitsPerPixel() == 24 || image.bitsPerPixel() == 32);
    bool asJpeg = compression == codec::kCompressionJpeg || compression == codec::kCompressionOldJpeg ||
                  encoderPicksJpeg;
    // Kept exactly, an alpha channel goes in as a soft mask through PNG.
    const bool keepAlpha = image.bitsPerPixel() == 32;
    if (prepared.path().empty())
        return 0;
    bool saved = savePrepared(image, prepared.path(),
                              keepAlpha ? codec::kFormatPng : asJpeg ? codec::kFormatJpeg : codec::kFormatTiff);
    image.release();
    return saved ? placeImageFile(doc, prepared.path()) : 0;
}

// The converter's copy of a TIFF file whose frames the codec cannot read (floating-point samples,
// variants libtiff's readers refuse); made once per call, on the first such frame.
class RescuedTiff {
public:
    // The converted file, or empty when there is no converter or it failed.
    const std::string& path(const std::string& original, int tag, TemporaryFolder& folder)
    {
        if (!m_tried) {
            m_tried = true;
            if (externalConverterAvailable() && m_file.create(folder, prefixFor(tag, "adp.tif")) &&
                runExternalConverter(original, m_file.path()) < 0)
                m_file.remove();
        }
        return m_file.path();
    }

private:
    bool m_tried = false;
    TemporaryFile m_file;
};

int tiffRoute(EngineDocument* doc, int tag, const std::string& path, TemporaryFolder& folder,
              bool converted)
{
    PreparedFile prepared(folder, prefixFor(tag, "abp"));
    int frames = codec::tiffPageCount(path);
    if (frames <= 0)
        return 0;
    const PageSettings& page = doc->settings.page;
    int first = 1, last = frames;
    if (page.firstFrame > 0 && page.frameCount > 0) {
        first = page.firstFrame;
        last = first + page.frameCount - 1;
        if (last > frames)
            return -1;
    }
    int result = 0;
    RescuedTiff rescued;
    for (int frame = first; frame <= last; ++frame) {
        bool undecodable = false;
        result = tiffFrame(doc, path, frame, prepared, &undecodable);
        if (!undecodable || converted)
            continue;
        Result reason = imageFailure();
        const std::string& copy = rescued.path(path, tag, folder);
        if (copy.empty() || codec::tiffPageCount(copy) < frame)
            continue;
        result = tiffFrame(doc, copy, frame, prepared, &undecodable);
        if (result <= 0 && undecodable)
            noteImageFailure(reason.detail, reason.code);
    }
    return result;
}

} // namespace

int addImageFile(EngineDocument* doc, const std::string& path)
{
    clearImageFailure();
    clearTextLayerReport();
    if (!doc || path.empty())
        return 0;
    if (!doc->refusal.empty()) {
        noteImageFailure(doc->refusal, FailureCode::Refused);
        return 0;
    }
    // Declared first so that it goes last, after the files inside it; made when a file needs it.
    TemporaryFolder folder;
    const int tag = doc->tag;
    int format = sniffImageFormat(path);
    doc->sourceDpi = 0;
    if (doc->settings.textRecognition && (format == codec::kFormatJpeg || format == codec::kFormatTiff)) {
        int horizontal = 0, vertical = 0;
        int kind = format == codec::kFormatJpeg ? pdf::kImageJpeg : pdf::kImageTiff;
        if (pdf::getImageResolution(doc->pdf, path, kind, 1, &horizontal, &vertical) == 1 && horizontal > 0)
            doc->sourceDpi = horizontal;
    }
    if (format == codec::kFormatJpeg)
        return jpegRoute(doc, tag, path, folder);
    if (format == codec::kFormatTiff)
        return tiffRoute(doc, tag, path, folder, false);
    TemporaryFile prepared;
    if (!prepared.create(folder, prefixFor(tag, "aap")))
        return 0;
    switch (format) {
    case codec::kFormatGif:
    case codec::kFormatPsd:
    case codec::kFormatUnknown:
        return externalRoute(doc, tag, path, prepared, folder);
    default:
        return singleFrameRoute(doc, tag, path, format, prepared, folder);
    }
}

} // namespace folvane::engine
