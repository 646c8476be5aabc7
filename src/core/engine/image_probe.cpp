// Probing an image file: its format, frames and a frame's pixel size, without a document (for a
// watermark image chosen before any conversion, the CLI's info, a job counting frames).
#include "engine/engine.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string>
#include <utility>

#include "base/file_stamp.h"
#include "codec/image_codec.h"
#include "engine_document.h"
#include "engine/external_converter.h"
#include "intake.h"

namespace folvane::engine {

namespace {

// What the external converter makes of a file the codec does not read: its frames and the size
// of the first. Kept for the last file asked about on this thread (by path, size and time), since
// a job asks for the count once and for the size once per frame.
struct ConvertedInfo {
    std::string path;
    FileStamp stamp;
    int frames = 0;
    int width = 0;
    int height = 0;
};

const ConvertedInfo& convertedInfo(const std::string& path)
{
    thread_local ConvertedInfo info;
    const FileStamp stamp = fileStamp(path);
    if (!stamp.valid()) {
        info = ConvertedInfo{};
        return info;
    }
    if (info.path == path && info.stamp == stamp)
        return info;
    info = ConvertedInfo{path, stamp};
    TemporaryFolder folder;
    TemporaryFile converted;
    if (folder.create() && converted.create(folder, "query.tif") &&
        runExternalConverter(path, converted.path()) >= 0) {
        info.frames = codec::tiffPageCount(converted.path());
        if (info.frames > 0 && !codec::tiffPageSize(converted.path(), 0, info.width, info.height))
            info.width = info.height = 0;
    }
    return info;
}

// Files the codec leaves to the external converter: GIF, Photoshop and unrecognised content.
bool needsConverter(int kind)
{
    return kind == codec::kFormatGif || kind == codec::kFormatPsd || kind == codec::kFormatUnknown;
}

// The name the CLI shows for a recognised format.
const char* formatNameOf(int format)
{
    static const char* const names[] = {nullptr, "BMP", "GIF", "JPEG", "PNG", "ICO", "TIFF", "TGA", "PCX",
                                        "WBMP", "WMF/EMF", "JP2", "J2K", "PGX", "PNM", "RAS", nullptr, "MNG",
                                        "SKA", "RAW", "PSD"};
    if (format > 0 && format < static_cast<int>(std::size(names)))
        return names[format];
    return nullptr;
}

// Why a file nothing recognised is not read, where its name's kind says more than "not a readable
// image": Debian's GraphicsMagick is built without its Photoshop reader, some kinds carry no
// signature to be recognised by, and WordPerfect graphics can hold PostScript.
std::string unreadableReason(const std::string& path, int kind)
{
    if (kind == codec::kFormatPsd && externalConverterAvailable())
        return "Photoshop (PSD) images are not supported: the installed GraphicsMagick cannot read them";
    const size_t dot = path.rfind('.');
    std::string ext = dot == std::string::npos || path.find('/', dot) != std::string::npos ? "" : path.substr(dot + 1);
    for (char& c : ext)
        c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    static const char* const kWithoutSignature[] = {"ART", "CUT", "FAX", "MONO", "PALM", "PIX", "RLA"};
    for (const char* name : kWithoutSignature)
        if (ext == name)
            return "not a readable image: " + ext +
                   " files carry no signature to recognise them by, and files are read by their content only";
    if (ext == "WPG")
        return "WordPerfect graphics (WPG) are not read: they can hold PostScript, which is never run";
    return "not a readable image";
}

} // namespace

ImageProbe probeImage(const std::string& path, int frame, bool autoOrient)
{
    ImageProbe probe;
    if (path.empty())
        return probe;
    int kind = sniffImageFormat(path);
    probe.format = kind;
    if (const char* name = formatNameOf(kind))
        probe.formatName = name;
    if (needsConverter(kind) && externalConverterAvailable()) {
        const ConvertedInfo& info = convertedInfo(path);
        probe.frames = info.frames;
        probe.width = info.width > 0 ? info.width : 0;
        probe.height = info.width > 0 ? info.height : 0;
    } else if (kind >= 1 && kind <= 19) {
        if (kind == codec::kFormatTiff) {
            probe.frames = codec::tiffPageCount(path);
            if (frame < 1 || !codec::tiffPageSize(path, frame - 1, probe.width, probe.height))
                probe.width = probe.height = 0;
        } else {
            codec::ImageCodec image;
            image.setHeaderOnly(true);
            bool loaded = image.load(path, kind);
            // A recognised file that reports no frames counts as one image.
            probe.frames = image.frameCount() > 0 ? image.frameCount() : 1;
            if (loaded) {
                probe.width = image.width();
                probe.height = image.height();
                if (autoOrient && image.orientation() >= 5)
                    std::swap(probe.width, probe.height); // shown turned by a quarter
            }
        }
    }
    if (probe.frames <= 0) {
        probe.frames = 0;
        probe.status = Result::failure(FailureCode::NotAnImage, unreadableReason(path, kind));
    }
    return probe;
}

} // namespace folvane::engine
