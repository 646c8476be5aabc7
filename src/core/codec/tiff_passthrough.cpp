#include "codec/tiff_passthrough.h"

#include <vector>

#include "codec_internal.h"
#include "group4_check.h"
#include "tiff_frame_index.h"
#include "stored_frame_reader.h"
#include "tiff_handles.h"

namespace folvane::codec {

namespace {

using namespace tiffhandles;

struct Tags {
    uint32_t width = 0, height = 0, rowsPerStrip = 0;
    uint16_t bps = 0, spp = 1, photometric = PHOTOMETRIC_MINISWHITE, compression = COMPRESSION_NONE;
    uint16_t fillOrder = FILLORDER_MSB2LSB, orientation = ORIENTATION_TOPLEFT;
    uint32_t t6Options = 0;
};

bool readTags(TIFF* tif, Tags& tags)
{
    if (TIFFIsTiled(tif))
        return false;
    if (!TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &tags.width) || !TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &tags.height))
        return false;
    TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &tags.bps);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &tags.spp);
    TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &tags.compression);
    TIFFGetFieldDefaulted(tif, TIFFTAG_FILLORDER, &tags.fillOrder);
    TIFFGetFieldDefaulted(tif, TIFFTAG_ORIENTATION, &tags.orientation);
    TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &tags.rowsPerStrip);
    if (!TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &tags.photometric))
        return false;
    if (tags.compression == COMPRESSION_CCITTFAX4)
        TIFFGetField(tif, TIFFTAG_GROUP4OPTIONS, &tags.t6Options);
    return true;
}

// One Group 4 strip of plain bilevel data that the PDF's CCITT filter decodes as it is.
bool passable(TIFF* tif, const Tags& tags)
{
    return tags.bps == 1 && tags.spp == 1 && tags.width > 0 && tags.height > 0 &&
           (tags.photometric == PHOTOMETRIC_MINISWHITE || tags.photometric == PHOTOMETRIC_MINISBLACK) &&
           tags.compression == COMPRESSION_CCITTFAX4 && (tags.t6Options & GROUP4OPT_UNCOMPRESSED) == 0 &&
           tags.orientation >= 1 && tags.orientation <= 8 && TIFFNumberOfStrips(tif) == 1 &&
           frameSizeAllowed(tags.width, tags.height, 1);
}

} // namespace

bool StoredFrameReader::position(const std::string& path, int index)
{
    const FileStamp stamp = fileStamp(path);
    if (index < 0 || !stamp.valid())
        return false;
    const bool same = m_file.get() && path == m_path && index >= m_current && stamp == m_stamp;
    if (same) {
        while (m_current < index && TIFFReadDirectory(m_file.get()))
            ++m_current;
        if (m_current == index)
            return true;
    }
    m_file = tiffhandles::TiffFile(openTiffFrame(path, index, m_options));
    if (!m_file.get()) {
        m_path.clear();
        return false;
    }
    m_path = path;
    m_current = index;
    m_stamp = stamp;
    return true;
}

bool StoredFrameReader::read(const std::string& path, int index, StoredBilevelFrame& frame)
{
    if (!position(path, index))
        return false;
    TIFF* tif = m_file.get();
    Tags tags;
    if (!readTags(tif, tags) || !passable(tif, tags))
        return false;
    const uint64_t size = TIFFGetStrileByteCount(tif, 0);
    if (size == 0 || size > limits::kMaxAllocationBytes)
        return false;
    std::vector<uint8_t> strip(static_cast<size_t>(size));
    if (TIFFReadRawStrip(tif, 0, strip.data(), static_cast<tmsize_t>(size)) != static_cast<tmsize_t>(size))
        return false;
    // libtiff reads damaged coding leniently, PDF readers do not: such data is coded afresh.
    if (!group4DataValid(strip.data(), strip.size(), tags.width, tags.height, tags.fillOrder == FILLORDER_LSB2MSB))
        return false;
    frame.compression = tags.compression;
    frame.orientation = tags.orientation;
    frame.width = static_cast<int>(tags.width);
    frame.height = static_cast<int>(tags.height);
    return true;
}

bool sixteenBitFrame(const std::string& path, int index, int& orientation)
{
    Options options;
    TiffFile file(openTiffFrame(path, index, options));
    TIFF* tif = file.get();
    if (!tif || TIFFIsTiled(tif))
        return false;
    uint16_t bits = 0, samples = 1, photometric = 0, planar = PLANARCONFIG_CONTIG, format = SAMPLEFORMAT_UINT;
    uint16_t compression = COMPRESSION_NONE, turn = ORIENTATION_TOPLEFT, extra = 0;
    uint16_t* extraTypes = nullptr;
    TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &samples);
    TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &planar);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLEFORMAT, &format);
    TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &compression);
    TIFFGetFieldDefaulted(tif, TIFFTAG_ORIENTATION, &turn);
    TIFFGetFieldDefaulted(tif, TIFFTAG_EXTRASAMPLES, &extra, &extraTypes);
    if (!TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric))
        return false;
    const bool gray = samples == 1 && (photometric == PHOTOMETRIC_MINISBLACK || photometric == PHOTOMETRIC_MINISWHITE);
    const bool rgb = samples == 3 && photometric == PHOTOMETRIC_RGB;
    if (bits != 16 || format != SAMPLEFORMAT_UINT || planar != PLANARCONFIG_CONTIG || extra != 0 || !(gray || rgb) ||
        compression == COMPRESSION_JPEG || compression == COMPRESSION_OJPEG || turn < 1 || turn > 8)
        return false;
    orientation = turn;
    return true;
}

bool storedGroup4Frame(const std::string& path, int index, StoredBilevelFrame& frame)
{
    StoredFrameReader reader;
    return reader.read(path, index, frame);
}

} // namespace folvane::codec
