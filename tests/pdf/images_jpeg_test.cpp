// The JPEG importer: byte-for-byte passthrough from the start-of-image marker, the frame types
// and sample layouts it refuses, resolution from JFIF and Photoshop segments, Adobe CMYK.
#include "pdf/images_fixtures.h"

namespace folvane::test {
namespace {

using namespace folvane::pdf;

class JpegImportTest : public ImageTest {};

TEST_F(JpegImportTest, StreamIsTheFileFromItsStartOfImage)
{
    JpegSpec gray;
    gray.components = 1;
    JpegSpec progressive;
    progressive.progressive = true;
    JpegSpec large;
    large.width = 300;
    large.height = 200;
    for (int k = 0; k < 20; ++k) // over a mebibyte: the importer copies it in several reads
        large.markers.emplace_back(0xE5, std::string(60000, static_cast<char>('a' + k)));
    const std::pair<const char*, std::string> files[] = {
        {"baseline_rgb", makeJpeg(JpegSpec{})},
        {"gray", makeJpeg(gray)},
        {"progressive", makeJpeg(progressive)},
        {"large", makeJpeg(large)},
        // Bytes before the marker (as some cameras and mail gateways leave) are not copied.
        {"leading_junk", std::string(100, '\0').append("\xFF\xE0\xFF").append(makeJpeg(JpegSpec{}))},
    };
    for (const auto& [name, bytes] : files) {
        SCOPED_TRACE(name);
        Converted out = convert(name, kImageJpeg, writeImage(std::string(name) + ".jpg", bytes));
        ASSERT_EQ(out.slot, 0);
        std::string xobject = out.pdf.pageXObject(1, "I0");
        EXPECT_EQ(entry(xobject, "/Filter"), "/DCTDecode");
        EXPECT_EQ(entry(xobject, "/BitsPerComponent"), "8");
        EXPECT_EQ(entry(xobject, "/Decode"), "");
        EXPECT_EQ(rawStreamData(xobject), bytes.substr(bytes.find("\xFF\xD8")));
        bool isGray = std::string(name) == "gray";
        EXPECT_EQ(entry(xobject, "/ColorSpace"), isGray ? "/DeviceGray" : "/DeviceRGB");
        EXPECT_EQ(entry(xobject, "/Width"), std::string(name) == "large" ? "300" : "16");
    }
}

TEST_F(JpegImportTest, FramesAndHeadersItCannotPassThroughAreRefused)
{
    std::string good = makeJpeg(JpegSpec{});
    size_t sof = frameHeaderOffset(good);
    ASSERT_NE(sof, std::string::npos);
    auto withMarker = [&](uint8_t marker) {
        std::string v = good;
        v[sof + 1] = static_cast<char>(marker);
        return v;
    };
    // The same frame header under another marker, placed before the real one: the first frame
    // header decides.
    auto withFrameBefore = [&](uint8_t marker) {
        size_t length = (static_cast<uint8_t>(good[sof + 2]) << 8) | static_cast<uint8_t>(good[sof + 3]);
        std::string frame = good.substr(sof, 2 + length);
        frame[1] = static_cast<char>(marker);
        return good.substr(0, sof) + frame + good.substr(sof);
    };
    std::string twelveBit = good;
    twelveBit[sof + 4] = 12;
    std::string twoComponents = good;
    twoComponents[sof + 9] = 2;
    std::string zeroHeight = good;
    zeroHeight[sof + 5] = 0;
    zeroHeight[sof + 6] = 0;
    const std::pair<const char*, std::string> refused[] = {
        {"start_after_768", std::string(800, '\0') + good},
        {"twelve_bit", twelveBit},
        {"lossless", withMarker(0xC3)},
        {"hierarchical", withMarker(0xC5)},
        {"arithmetic_sequential", withMarker(0xC9)},
        {"hierarchical_arithmetic", withMarker(0xCF)},
        {"lossless_first", withFrameBefore(0xC3)},
        {"differential_first", withFrameBefore(0xC7)},
        {"arithmetic_first", withFrameBefore(0xC9)},
        {"start_at_768", std::string(768, '\0') + good},
        {"two_components", twoComponents},
        {"zero_height", zeroHeight},
        {"end_before_frame", std::string("\xFF\xD8\xFF\xD9", 4) + good.substr(2)},
        {"truncated_in_header", good.substr(0, sof + 4)},
        {"no_start_marker", good.substr(2)},
        {"empty", ""},
    };
    for (const auto& [name, bytes] : refused) {
        SCOPED_TRACE(name);
        Converted out = convert(name, kImageJpeg, writeImage(std::string(name) + ".jpg", bytes));
        EXPECT_EQ(out.slot, -1);
        EXPECT_TRUE(out.pdf.pageXObjectNames(1).empty());
    }
    // Extended sequential and progressive arithmetic frames pass; so does a start at byte 767.
    JpegSpec arithmetic;
    arithmetic.progressive = true;
    arithmetic.arithmetic = true;
    std::string progressiveArithmetic = makeJpeg(arithmetic);
    ASSERT_NE(progressiveArithmetic.find("\xFF\xCA"), std::string::npos);
    const std::pair<const char*, std::string> accepted[] = {
        {"extended", withMarker(0xC1)},
        {"progressive_arithmetic", progressiveArithmetic},
        {"start_at_767", std::string(767, '\0') + good},
    };
    for (const auto& [name, bytes] : accepted) {
        SCOPED_TRACE(name);
        Converted out = convert(name, kImageJpeg, writeImage(std::string(name) + ".jpg", bytes));
        EXPECT_EQ(out.slot, 0);
        EXPECT_EQ(rawStreamData(out.pdf.pageXObject(1, "I0")), bytes.substr(bytes.find("\xFF\xD8")));
    }
    // A real arithmetic sequential frame (0xC9) is refused like the patched one above.
    JpegSpec sequentialArithmetic;
    sequentialArithmetic.arithmetic = true;
    EXPECT_EQ(convert("real_c9", kImageJpeg, writeImage("c9.jpg", makeJpeg(sequentialArithmetic))).slot, -1);
}

TEST_F(JpegImportTest, OptionsAreRefusedWithCodeNine)
{
    auto path = writeImage("plain.jpg", makeJpeg(JpegSpec{}));
    for (const char* option : {"page", "quality"}) {
        SCOPED_TRACE(option);
        Converted out = convert(option, kImageJpeg, path, option, 1);
        EXPECT_EQ(out.slot, -1);
        EXPECT_TRUE(out.errors.has(kErrArgument));
    }
    Converted unknownKind = convert("kind9", 9, path); // no importer has this kind
    EXPECT_EQ(unknownKind.slot, -1);
    EXPECT_TRUE(unknownKind.errors.has(kErrArgument));
}

TEST_F(JpegImportTest, ResolutionFromJfifAndPhotoshopSegments)
{
    struct Case {
        const char* name;
        JpegSpec spec;
        double x;
        double y;
        int reportedX;
        int reportedY;
    };
    auto jfif = [](int unit, int x, int y) {
        JpegSpec s;
        s.densityUnit = unit;
        s.xDensity = x;
        s.yDensity = y;
        return s;
    };
    JpegSpec photoshop = jfif(1, 72, 72);
    // 300.5 and 150.25 dpi in 16.16 fixed point replace the JFIF values.
    photoshop.markers = {{0xED, photoshopResolution(300 * 65536 + 32768, 150 * 65536 + 16384)}};
    JpegSpec noJfif;
    noJfif.jfif = false;
    JpegSpec otherApp13 = jfif(1, 96, 96);
    otherApp13.markers = {{0xED, "Not a Photoshop segment at all"}};
    const Case cases[] = {
        {"aspect_only", jfif(0, 72, 72), -72, -72, -72, -72},
        {"per_centimetre", jfif(2, 100, 100), 254, 254, 254, 254},
        {"per_centimetre_fraction", jfif(2, 118, 59), 299.72, 149.86, 299, 149},
        {"per_inch", jfif(1, 300, 150), 300, 150, 300, 150},
        {"zero_density", jfif(1, 0, 200), 0, 0, 0, 0},
        {"photoshop", photoshop, 300.5, 150.25, 300, 150},
        {"no_jfif", noJfif, 0, 0, 0, 0},
        {"other_app13", otherApp13, 96, 96, 96, 96},
    };
    ErrorLog log;
    PdfDocument* doc = makeDocument(&log);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto path = writeImage(std::string(c.name) + ".jpg", makeJpeg(c.spec));
        Converted out = convert(c.name, kImageJpeg, path);
        ASSERT_EQ(out.slot, 0);
        EXPECT_NEAR(out.info.resolutionX, c.x, 1e-6);
        EXPECT_NEAR(out.info.resolutionY, c.y, 1e-6);
        int x = 1;
        int y = 1;
        EXPECT_EQ(getImageResolution(doc, path.string(), kImageJpeg, 0, &x, &y), 1);
        EXPECT_EQ(x, c.reportedX);
        EXPECT_EQ(y, c.reportedY);
        int w = 0;
        int h = 0;
        EXPECT_EQ(getImageSize(doc, path.string(), kImageJpeg, 0, &w, &h), 1);
        EXPECT_EQ(std::make_pair(w, h), std::make_pair(16, 12));
    }
    int w = 0;
    int h = 0;
    EXPECT_EQ(getImageSize(doc, (scratchDir() / "absent.jpg").string(), kImageJpeg, 0, &w, &h), -1);
    freePdfDocument(doc);
}

TEST_F(JpegImportTest, AdobeCmykIsInverted)
{
    JpegSpec adobe;
    adobe.components = 4;
    JpegSpec plain = adobe;
    plain.adobeMarker = false;
    Converted a = convert("adobe", kImageJpeg, writeImage("adobe.jpg", makeJpeg(adobe)));
    ASSERT_EQ(a.slot, 0);
    std::string xobject = a.pdf.pageXObject(1, "I0");
    EXPECT_EQ(entry(xobject, "/ColorSpace"), "/DeviceCMYK");
    EXPECT_EQ(entry(xobject, "/Decode"), "[1 0 1 0 1 0 1 0 ]");
    Converted p = convert("plain", kImageJpeg, writeImage("plain.jpg", makeJpeg(plain)));
    ASSERT_EQ(p.slot, 0);
    EXPECT_EQ(entry(p.pdf.pageXObject(1, "I0"), "/ColorSpace"), "/DeviceCMYK");
    EXPECT_EQ(entry(p.pdf.pageXObject(1, "I0"), "/Decode"), "");
    // An Adobe segment in an RGB file changes nothing.
    JpegSpec rgb;
    rgb.markers = {{0xEE, std::string("Adobe\0\x64\0\0\0\0\x01", 12)}};
    Converted r = convert("rgb_adobe", kImageJpeg, writeImage("rgb_adobe.jpg", makeJpeg(rgb)));
    ASSERT_EQ(r.slot, 0);
    EXPECT_EQ(entry(r.pdf.pageXObject(1, "I0"), "/Decode"), "");
}

} // namespace
} // namespace folvane::test
