#include "support/pixel_compare.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "support/test_support.h"

namespace folvane::test {

namespace {

// Skips blanks and comments of a PNM header.
size_t skipSpace(const std::string& bytes, size_t at)
{
    while (at < bytes.size()) {
        if (bytes[at] == '#') {
            while (at < bytes.size() && bytes[at] != '\n')
                ++at;
        } else if (std::isspace(static_cast<unsigned char>(bytes[at]))) {
            ++at;
        } else {
            break;
        }
    }
    return at;
}

bool readNumber(const std::string& bytes, size_t& at, long& value)
{
    at = skipSpace(bytes, at);
    size_t start = at;
    while (at < bytes.size() && std::isdigit(static_cast<unsigned char>(bytes[at])))
        ++at;
    if (at == start)
        return false;
    value = std::strtol(bytes.substr(start, at - start).c_str(), nullptr, 10);
    return true;
}

} // namespace

RgbImage RgbImage::crop(int cropWidth, int cropHeight) const
{
    RgbImage part;
    if (cropWidth > width || cropHeight > height || cropWidth <= 0 || cropHeight <= 0)
        return part;
    part.width = cropWidth;
    part.height = cropHeight;
    for (int y = 0; y < cropHeight; ++y)
        part.rgb.insert(part.rgb.end(), at(0, y), at(0, y) + static_cast<size_t>(cropWidth) * 3);
    return part;
}

RgbImage parsePnm(const std::string& bytes)
{
    RgbImage image;
    if (bytes.size() < 2 || bytes[0] != 'P' || (bytes[1] != '5' && bytes[1] != '6'))
        return image;
    int channels = bytes[1] == '6' ? 3 : 1;
    size_t at = 2;
    long width = 0, height = 0, maxValue = 0;
    if (!readNumber(bytes, at, width) || !readNumber(bytes, at, height) || !readNumber(bytes, at, maxValue))
        return image;
    if (width <= 0 || height <= 0 || maxValue <= 0 || maxValue > 65535 || width * height > (1L << 28))
        return image;
    ++at; // the single blank after maxval
    size_t sampleBytes = maxValue > 255 ? 2 : 1;
    size_t samples = static_cast<size_t>(width * height) * static_cast<size_t>(channels);
    if (bytes.size() < at + samples * sampleBytes)
        return image;
    image.width = static_cast<int>(width);
    image.height = static_cast<int>(height);
    image.rgb.resize(static_cast<size_t>(width * height) * 3);
    for (size_t pixel = 0; pixel < static_cast<size_t>(width * height); ++pixel)
        for (int c = 0; c < 3; ++c) {
            size_t sample = pixel * static_cast<size_t>(channels) + static_cast<size_t>(channels == 3 ? c : 0);
            const auto* p = reinterpret_cast<const uint8_t*>(bytes.data() + at + sample * sampleBytes);
            long value = sampleBytes == 2 ? (p[0] << 8 | p[1]) : p[0];
            image.rgb[pixel * 3 + static_cast<size_t>(c)] =
                static_cast<uint8_t>((value * 255 + maxValue / 2) / maxValue);
        }
    return image;
}

RgbImage renderPage(const std::filesystem::path& pdf, int page, const std::filesystem::path& scratch, int dpi)
{
    auto out = scratch / ("page-" + std::to_string(page) + ".ppm");
    CommandResult c = runCommand("mutool draw -q -r " + std::to_string(dpi) + " -c rgb -o " +
                                 shellQuote(out.string()) + " " + shellQuote(pdf.string()) + " " + std::to_string(page));
    if (c.exitCode != 0)
        return {};
    return parsePnm(readFileBytes(out));
}

RgbImage referenceDecode(const std::filesystem::path& image, int frame, const std::filesystem::path& scratch)
{
    auto out = scratch / ("reference-" + std::to_string(frame) + ".ppm");
    std::string source = image.string() + "[" + std::to_string(frame) + "]";
    CommandResult c = runCommand("gm convert " + shellQuote(source) + " -background white -flatten -depth 8 " +
                                 shellQuote("ppm:" + out.string()));
    if (c.exitCode != 0)
        return {};
    return parsePnm(readFileBytes(out));
}

RgbImage jpegRoundTrip(const RgbImage& image, int quality, const std::filesystem::path& scratch)
{
    auto in = scratch / "round-trip.ppm";
    auto out = scratch / "round-trip-back.ppm";
    std::string bytes = "P6\n" + std::to_string(image.width) + " " + std::to_string(image.height) + "\n255\n";
    bytes.append(image.rgb.begin(), image.rgb.end());
    writeFileBytes(in, bytes);
    CommandResult c = runCommand("gm convert " + shellQuote(in.string()) + " -quality " + std::to_string(quality) +
                                 " jpg:- | gm convert jpg:- " + shellQuote("ppm:" + out.string()));
    if (c.exitCode != 0)
        return {};
    return parsePnm(readFileBytes(out));
}

bool referenceIsPlain8Bit(const std::filesystem::path& image)
{
    CommandResult c = runCommand("gm identify -format '%q %A\\n' " + shellQuote(image.string() + "[0]") + " 2>/dev/null");
    return c.exitCode == 0 && c.output.rfind("8 false", 0) == 0;
}

int referenceFrameCount(const std::filesystem::path& image)
{
    CommandResult c = runCommand("gm identify -format '%s\\n' " + shellQuote(image.string()) + " 2>/dev/null");
    if (c.exitCode != 0)
        return 0;
    int frames = 0;
    std::istringstream lines(c.output);
    for (std::string line; std::getline(lines, line);)
        frames += line.empty() ? 0 : 1;
    return frames;
}

double psnr(const RgbImage& a, const RgbImage& b)
{
    if (a.width != b.width || a.height != b.height || a.empty())
        return -1;
    double squares = 0;
    for (size_t i = 0; i < a.rgb.size(); ++i) {
        double d = static_cast<double>(a.rgb[i]) - static_cast<double>(b.rgb[i]);
        squares += d * d;
    }
    if (squares == 0)
        return 99;
    double mse = squares / static_cast<double>(a.rgb.size());
    return 10 * std::log10(255.0 * 255.0 / mse);
}

int worstDifference(const RgbImage& a, const RgbImage& b)
{
    if (a.width != b.width || a.height != b.height)
        return 256;
    int worst = 0;
    for (size_t i = 0; i < a.rgb.size(); ++i)
        worst = std::max(worst, std::abs(static_cast<int>(a.rgb[i]) - static_cast<int>(b.rgb[i])));
    return worst;
}

Rendered renderGray(const std::filesystem::path& pdf, int page, const std::filesystem::path& scratch)
{
    Rendered r;
    auto out = scratch / ("render-" + std::to_string(page) + ".pgm");
    CommandResult c = runCommand("mutool draw -q -r 72 -c gray -o " + shellQuote(out.string()) + " " +
                                 shellQuote(pdf.string()) + " " + std::to_string(page));
    if (c.exitCode != 0)
        return r;
    std::string bytes = readFileBytes(out);
    int maxValue = 0;
    int consumed = 0;
    if (std::sscanf(bytes.c_str(), "P5 %d %d %d%n", &r.width, &r.height, &maxValue, &consumed) != 3)
        return r;
    size_t start = static_cast<size_t>(consumed) + 1;
    size_t count = static_cast<size_t>(r.width) * static_cast<size_t>(r.height);
    if (bytes.size() < start + count)
        return r;
    r.gray.assign(bytes.begin() + static_cast<long>(start), bytes.begin() + static_cast<long>(start + count));
    return r;
}

} // namespace folvane::test
