#include "codec/image_codec.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <span>

#include "codec_internal.h"
#include "orientation.h"

namespace folvane::codec {

namespace {

// A read-only mapping of a whole file for the duration of one load.
class MappedFile {
public:
    explicit MappedFile(const std::string& path)
    {
        int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            return;
        struct stat st {};
        if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size >= 0) {
            m_size = static_cast<size_t>(st.st_size);
            if (m_size == 0) {
                m_ok = true;
            } else {
                void* p = ::mmap(nullptr, m_size, PROT_READ, MAP_PRIVATE, fd, 0);
                if (p != MAP_FAILED) {
                    m_data = static_cast<const uint8_t*>(p);
                    m_ok = true;
                }
            }
        }
        ::close(fd);
    }
    ~MappedFile()
    {
        if (m_data)
            ::munmap(const_cast<uint8_t*>(m_data), m_size);
    }
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;

    bool ok() const { return m_ok; }
    const uint8_t* data() const { return m_data; }
    size_t size() const { return m_size; }

private:
    const uint8_t* m_data = nullptr;
    size_t m_size = 0;
    bool m_ok = false;
};

using Reader = bool (*)(const LoadRequest&, LoadResult&);

Reader readerFor(int formatId)
{
    switch (formatId) {
    case kFormatBmp: return readBmp;
    case kFormatJpeg: return readJpeg;
    case kFormatPng: return readPng;
    case kFormatIco: return readIco;
    case kFormatTiff: return readTiff;
    case kFormatTga: return readTga;
    case kFormatPcx: return readPcx;
    case kFormatWbmp: return readWbmp;
    case kFormatMetafile: return readWmf;
    case kFormatJp2:
    case kFormatJ2k: return readJp2;
    case kFormatPgx: return readPgx;
    case kFormatPnm: return readPnm;
    case kFormatSunRaster: return readSun;
    case kFormatMng: return readMng;
    case kFormatSka: return readSka;
    case kFormatCameraRaw: return readRaw;
    default: return nullptr; // GIF, PSD and unknown numbers go to the external converter
    }
}

} // namespace

bool ImageCodec::load(const std::string& path, int formatId)
{
    MappedFile file(path);
    if (!file.ok()) {
        release();
        m_frameCount = 0;
        return false;
    }
    return loadFromMemory(file.data(), file.size(), formatId);
}

bool ImageCodec::loadFromMemory(const uint8_t* data, size_t size, int formatId)
{
    release();
    m_frameCount = 0;
    m_failureReason.clear();
    m_orientation = 1;
    Reader reader = readerFor(formatId);
    if (!reader || (!data && size > 0) || m_frame < 0)
        return false;
    LoadRequest request;
    request.data = std::span<const uint8_t>(data, size);
    request.frame = m_frame;
    request.headerOnly = m_headerOnly;
    request.keepAlpha = m_keepAlpha;
    LoadResult result;
    if (!reader(request, result)) {
        m_failureReason = result.reason;
        return false;
    }
    if (!m_headerOnly && result.bitmap.empty())
        return false;
    if (result.width <= 0 || result.height <= 0)
        return false;
    m_frameCount = result.frameCount;
    m_orientation = result.orientation;
    m_bitmap = std::move(result.bitmap);
    m_width = result.width;
    m_height = result.height;
    m_bpp = result.bitsPerPixel;
    if (!m_bitmap.empty())
        syncInfo();
    return true;
}

bool saveWidePnmAsPng(const std::string& source, const std::string& pngPath)
{
    MappedFile file(source);
    return file.ok() && writeWidePnmAsPng(std::span<const uint8_t>(file.data(), file.size()), pngPath);
}

void ImageCodec::syncInfo()
{
    m_width = m_bitmap.width();
    m_height = m_bitmap.height();
    m_bpp = m_bitmap.bitsPerPixel();
}

bool ImageCodec::convertToGrayscale()
{
    if (!codec::convertToGrayscale(m_bitmap))
        return false;
    syncInfo();
    return true;
}

bool ImageCodec::increaseDepthTo24()
{
    if (!convertTo24Bits(m_bitmap))
        return false;
    syncInfo();
    return true;
}

bool ImageCodec::turnUpright()
{
    if (m_bitmap.empty() || !applyOrientation(m_bitmap, m_orientation))
        return false;
    m_orientation = 1;
    syncInfo();
    return true;
}

bool ImageCodec::negate()
{
    if (m_bitmap.empty())
        return false;
    codec::negate(m_bitmap);
    return true;
}

void ImageCodec::setJpegQuality(int quality)
{
    if (quality >= 1 && quality <= 100)
        m_jpegQuality = quality;
}

bool ImageCodec::save(const std::string& path, int formatId) const
{
    if (m_bitmap.empty() || path.empty())
        return false;
    if (formatId == kFormatJpeg)
        return writeJpegFile(m_bitmap, path, m_jpegQuality);
    if (formatId == kFormatTiff)
        return writeTiffFile(m_bitmap, path, m_compression, m_jpegQuality);
    if (formatId == kFormatPng)
        return writePngFile(m_bitmap, path);
    return false;
}

void ImageCodec::release()
{
    m_bitmap.clear();
    m_width = m_height = m_bpp = 0;
}

uint8_t* ImageCodec::pixelRows()
{
    return m_bitmap.bitsPerPixel() == 1 ? m_bitmap.bits() : nullptr;
}

size_t ImageCodec::rowStride() const
{
    return m_bitmap.bitsPerPixel() == 1 ? m_bitmap.stride() : 0;
}

} // namespace folvane::codec
