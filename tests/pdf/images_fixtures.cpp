#include "pdf/images_fixtures.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "pdf/pdf_inspect.h"
#include "support/test_support.h"

namespace folvane::test {

namespace {

unsigned sampleAt(const TiffDirectory& p, uint32_t x, uint32_t y, unsigned s)
{
    const uint8_t* row = p.data.data() + y * p.rowBytes();
    size_t bit = (size_t{x} * p.samplesPerPixel + s) * p.bits;
    unsigned byte = row[bit / 8];
    unsigned shift = 8 - p.bits - bit % 8;
    return (byte >> shift) & ((1u << p.bits) - 1);
}

} // namespace

std::vector<uint8_t> expectedPixels(const TiffDirectory& p)
{
    std::vector<uint8_t> out;
    unsigned max = (1u << p.bits) - 1;
    bool wideMap = false;
    for (uint16_t v : p.colormap)
        wideMap = wideMap || v > 255;
    for (uint32_t y = 0; y < p.height; ++y) {
        for (uint32_t x = 0; x < p.width; ++x) {
            switch (p.photometric) {
            case PHOTOMETRIC_MINISWHITE:
                out.push_back(static_cast<uint8_t>(255 - sampleAt(p, x, y, 0) * 255 / max));
                break;
            case PHOTOMETRIC_MINISBLACK:
                out.push_back(static_cast<uint8_t>(sampleAt(p, x, y, 0) * 255 / max));
                break;
            case PHOTOMETRIC_PALETTE: {
                unsigned index = sampleAt(p, x, y, 0);
                size_t n = p.colormap.size() / 3;
                for (int c = 0; c < 3; ++c) {
                    unsigned v = p.colormap[c * n + index];
                    out.push_back(static_cast<uint8_t>(wideMap ? v * 255 / 65535 : v));
                }
                break;
            }
            default:
                for (unsigned c = 0; c < 3; ++c)
                    out.push_back(static_cast<uint8_t>(sampleAt(p, x, y, c) * 255 / max));
                break;
            }
        }
    }
    return out;
}

std::string photoshopResolution(uint32_t horizontal, uint32_t vertical)
{
    auto be16 = [](std::string& s, unsigned v) {
        s += static_cast<char>(v >> 8);
        s += static_cast<char>(v & 0xFF);
    };
    auto be32 = [&](std::string& s, uint32_t v) {
        be16(s, v >> 16);
        be16(s, v & 0xFFFF);
    };
    std::string s("Photoshop 3.0", 13);
    s += '\0';
    // A block with an odd name and odd data length first, so the walk must handle the padding.
    s += "8BIM";
    be16(s, 0x0404);
    s += '\x02';
    s += "ab";
    s += '\0';
    be32(s, 5);
    s += "xyzzy";
    s += '\0';
    s += "8BIM";
    be16(s, 0x03ED);
    s += std::string(2, '\0');
    be32(s, 16);
    be32(s, horizontal);
    be16(s, 1);
    be16(s, 1);
    be32(s, vertical);
    be16(s, 1);
    be16(s, 1);
    return s;
}

size_t frameHeaderOffset(const std::string& jpeg)
{
    size_t pos = 2;
    while (pos + 4 <= jpeg.size() && static_cast<uint8_t>(jpeg[pos]) == 0xFF) {
        auto marker = static_cast<uint8_t>(jpeg[pos + 1]);
        if (marker >= 0xC0 && marker <= 0xC2)
            return pos;
        size_t length = (static_cast<uint8_t>(jpeg[pos + 2]) << 8) | static_cast<uint8_t>(jpeg[pos + 3]);
        pos += 2 + length;
    }
    return std::string::npos;
}

ImagePdf readImagePdf(const std::string& bytes)
{
    ImagePdf pdf;
    pdf.bytes = bytes;
    WrittenPdf written = readWrittenPdf(bytes);
    pdf.error = written.error;
    pdf.objects = written.objects;
    return pdf;
}

int ImagePdf::pageObject(int page) const
{
    int seen = 0;
    for (const auto& [number, text] : objects) {
        if (text.find("/Type /Page ") != std::string::npos && ++seen == page)
            return number;
    }
    return 0;
}

namespace {

std::string objectText(const ImagePdf& pdf, int number)
{
    auto it = pdf.objects.find(number);
    return it == pdf.objects.end() ? std::string() : it->second;
}

// "/I0 5 0 R /I1 7 0 R " pairs of a page's image resources.
std::vector<std::pair<std::string, int>> xobjectEntries(const ImagePdf& pdf, int page)
{
    std::vector<std::pair<std::string, int>> entries;
    std::string pageText = objectText(pdf, pdf.pageObject(page));
    long resources = integerAfter(pageText, "/Resources");
    std::string dict = entry(objectText(pdf, static_cast<int>(resources)), "/XObject");
    size_t pos = 0;
    while ((pos = dict.find("/I", pos)) != std::string::npos) {
        size_t space = dict.find(' ', pos);
        std::string name = dict.substr(pos + 1, space - pos - 1);
        int number = std::atoi(dict.c_str() + space + 1);
        entries.emplace_back(name, number);
        pos = space;
    }
    return entries;
}

} // namespace

std::vector<std::string> ImagePdf::pageXObjectNames(int page) const
{
    std::vector<std::string> names;
    for (const auto& [name, number] : xobjectEntries(*this, page))
        names.push_back(name);
    return names;
}

std::string ImagePdf::pageXObject(int page, const std::string& name) const
{
    for (const auto& [n, number] : xobjectEntries(*this, page))
        if (n == name)
            return objectText(*this, number);
    return {};
}

std::string ImagePdf::pageContent(int page) const
{
    std::string content;
    for (int number : referencesIn(objectText(*this, pageObject(page)), "/Contents"))
        content += streamData(objectText(*this, number));
    return content;
}

std::string entry(const std::string& objectText, const std::string& key)
{
    size_t pos = objectText.find(key + " ");
    if (pos == std::string::npos)
        return {};
    pos += key.size() + 1;
    size_t end = pos;
    if (objectText.compare(pos, 2, "<<") == 0) {
        int depth = 0;
        for (; end + 1 < objectText.size(); ++end) {
            if (objectText.compare(end, 2, "<<") == 0) {
                ++depth;
                ++end;
            } else if (objectText.compare(end, 2, ">>") == 0) {
                ++end;
                if (--depth == 0)
                    break;
            }
        }
        return objectText.substr(pos, end + 1 - pos);
    }
    if (objectText[pos] == '[')
        return objectText.substr(pos, objectText.find(']', pos) + 1 - pos);
    if (objectText[pos] == '/')
        end = objectText.find_first_of(" /<>[]", pos + 1);
    else
        end = objectText.find_first_of("/>", pos);
    size_t stop = end == std::string::npos ? objectText.size() : end;
    while (stop > pos && objectText[stop - 1] == ' ')
        --stop;
    return objectText.substr(pos, stop - pos);
}

Raster renderPage(const std::filesystem::path& pdf, int dpi, bool color)
{
    Raster raster;
    auto out = pdf;
    out.replace_extension(color ? ".ppm" : ".pgm");
    CommandResult r = runCommand("mutool draw -q -N -A 0 -r " + std::to_string(dpi) + " -c " +
                                 (color ? "rgb" : "gray") + " -F pnm -o " + shellQuote(out.string()) + " " +
                                 shellQuote(pdf.string()) + " 1");
    if (r.exitCode != 0 || !r.output.empty()) {
        raster.error = "mutool draw: " + r.output;
        return raster;
    }
    std::string bytes = readFileBytes(out);
    int maxValue = 0;
    int consumed = 0;
    char magic[3] = {};
    if (std::sscanf(bytes.c_str(), "%2s %d %d %d%n", magic, &raster.width, &raster.height, &maxValue, &consumed) != 4 ||
        maxValue != 255) {
        raster.error = "unexpected PNM header";
        return raster;
    }
    raster.channels = magic[1] == '6' ? 3 : 1;
    size_t start = static_cast<size_t>(consumed) + 1;
    raster.pixels.assign(bytes.begin() + static_cast<long>(start), bytes.end());
    if (raster.pixels.size() != static_cast<size_t>(raster.width * raster.height * raster.channels))
        raster.error = "PNM data size mismatch";
    return raster;
}

bool patchTiffTag(std::string& tiff, uint16_t tag, uint32_t value)
{
    auto u16 = [&](size_t at) { return static_cast<unsigned>(static_cast<uint8_t>(tiff[at]) | static_cast<uint8_t>(tiff[at + 1]) << 8); };
    auto u32 = [&](size_t at) { return u16(at) | u16(at + 2) << 16; };
    if (tiff.size() < 8 || tiff.compare(0, 2, "II") != 0)
        return false;
    size_t ifd = u32(4);
    unsigned count = u16(ifd);
    for (unsigned i = 0; i < count; ++i) {
        size_t e = ifd + 2 + 12 * i;
        if (u16(e) != tag)
            continue;
        unsigned type = u16(e + 2);
        for (int b = 0; b < (type == TIFF_SHORT ? 2 : 4); ++b)
            tiff[e + 8 + static_cast<size_t>(b)] = static_cast<char>((value >> (8 * b)) & 0xFF);
        return true;
    }
    return false;
}

std::filesystem::path ImageTest::writeImage(const std::string& name, const std::string& bytes)
{
    auto path = scratchDir() / name;
    writeFileBytes(path, bytes);
    return path;
}

std::filesystem::path ImageTest::writeTiffFile(const std::string& name, const std::vector<TiffDirectory>& pages)
{
    auto path = scratchDir() / name;
    EXPECT_TRUE(writeTiff(path, pages)) << name;
    return path;
}

Converted ImageTest::convert(const std::string& name, int kind, const std::filesystem::path& image,
                             const std::string& option, int number, int compressionLevel)
{
    Converted result;
    pdf::PdfDocument* doc = makeDocument(&result.errors);
    pdf::openOutput(doc, "");
    pdf::setNumericParameter(doc, "compression", compressionLevel);
    result.slot = pdf::openImageFile(doc, kind, image.string(), option, number);
    if (const pdf::ImageSlot* slot = pdf::imageSlot(doc, result.slot)) {
        result.info = {slot->width, slot->height, slot->bitsPerComponent, slot->components,
                       slot->filter, slot->colorSpace, slot->passthrough, slot->invert,
                       slot->stripCount, slot->resolutionX, slot->resolutionY, slot->xobjectIndex};
        pdf::beginPage(doc, slot->width, slot->height);
        pdf::placeImage(doc, result.slot, 0, 0, 1);
        pdf::endPage(doc);
        pdf::closeImage(doc, result.slot);
    } else {
        pdf::beginPage(doc, 10, 10);
        pdf::endPage(doc);
    }
    pdf::closePdfDocument(doc);
    std::string bytes = memoryBytes(doc);
    pdf::freePdfDocument(doc);
    keepPdfBytes(name + ".pdf", bytes);
    result.pdf = readImagePdf(bytes);
    return result;
}

Raster ImageTest::convertAndRender(const std::string& name, const std::filesystem::path& image, bool color,
                                   Converted* converted)
{
    int kind = image.extension() == ".jpg" ? pdf::kImageJpeg : image.extension() == ".png" ? pdf::kImagePng
                                                                                       : pdf::kImageTiff;
    Converted local = convert(name, kind, image);
    if (converted)
        *converted = local;
    if (local.slot < 0) {
        Raster failed;
        failed.error = "import failed";
        return failed;
    }
    return renderPage(scratchDir() / (name + ".pdf"), 72, color);
}

} // namespace folvane::test
