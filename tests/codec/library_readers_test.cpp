// The readers over OpenJPEG, libmng, LibRaw and libwmf, with files made by the tests (through
// the libraries' encoders or byte by byte) or committed fixtures made by GraphicsMagick.
#include <gtest/gtest.h>

#include "codec/image_codec.h"
#include "codec_test_util.h"
#include "support/test_support.h"

namespace folvane::codec {
namespace {

using namespace test;

int colourValue(int c, int x, int y)
{
    return (c * 80 + x * 20 + y * 7) % 256;
}

TEST(Jpeg2000Reader, LosslessFilesAndCodeStreamsDecodeExactly)
{
    for (bool jp2 : {true, false}) {
        Bytes data = encodeJpeg2000(jp2, 3, 8, false, 9, 6, colourValue);
        ASSERT_FALSE(data.empty());
        ImageCodec codec;
        ASSERT_TRUE(loadBytes(codec, data, jp2 ? kFormatJp2 : kFormatJ2k)) << jp2;
        EXPECT_EQ(codec.width(), 9);
        EXPECT_EQ(codec.height(), 6);
        EXPECT_EQ(codec.bitsPerPixel(), 24);
        EXPECT_LE(codec.frameCount(), 0);
        for (int y = 0; y < 6; ++y)
            for (int x = 0; x < 9; ++x)
                ASSERT_EQ(pixel(codec.bitmap(), x, y),
                          (Rgb{uint8_t(colourValue(0, x, y)), uint8_t(colourValue(1, x, y)), uint8_t(colourValue(2, x, y))}));
    }
}

TEST(Jpeg2000Reader, GrayPrecisionAndSignAreScaledToEightBits)
{
    // 12-bit signed gray: −2048 → 0, 0 → 128, 2047 → 255.
    Bytes data = encodeJpeg2000(false, 1, 12, true, 3, 1, [](int, int x, int) { return x == 0 ? -2048 : x == 1 ? 0 : 2047; });
    ImageCodec codec;
    ASSERT_TRUE(loadBytes(codec, data, kFormatJ2k));
    EXPECT_TRUE(codec.isGrayscalePalette());
    EXPECT_EQ(codec.bitmap().row(0)[0], 0);
    EXPECT_EQ(codec.bitmap().row(0)[1], 128);
    EXPECT_EQ(codec.bitmap().row(0)[2], 255);

    codec.setHeaderOnly(true);
    ASSERT_TRUE(codec.loadFromMemory(data.data(), data.size(), kFormatJ2k));
    EXPECT_EQ(codec.width(), 3);
    EXPECT_FALSE(codec.hasFrame());
    // A code stream handed over as a JP2 file is read by its own layout.
    EXPECT_TRUE(codec.loadFromMemory(data.data(), data.size(), kFormatJp2));
}

TEST(MngReader, AnimationsReportFramesAndDecodeTheSelectedOne)
{
    ImageCodec reference;
    ASSERT_TRUE(loadFile(reference, fixture("colour.ppm"), kFormatPnm));

    ImageCodec codec;
    ASSERT_TRUE(loadFile(codec, fixture("single.mng"), kFormatMng));
    EXPECT_LE(codec.frameCount(), 0); // one frame is a single image
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x)
            ASSERT_EQ(pixel(codec.bitmap(), x, y), pixel(reference.bitmap(), x, y)) << x << "," << y;

    codec.setHeaderOnly(true);
    ASSERT_TRUE(codec.load(fixture("two_frames.mng").string(), kFormatMng));
    EXPECT_EQ(codec.frameCount(), 2);
    EXPECT_EQ(codec.width(), 5);

    codec.setHeaderOnly(false);
    codec.selectFrame(1);
    ASSERT_TRUE(codec.load(fixture("two_frames.mng").string(), kFormatMng));
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) {
            Rgb p = pixel(reference.bitmap(), x, y);
            ASSERT_EQ(pixel(codec.bitmap(), x, y), (Rgb{uint8_t(255 - p.r), uint8_t(255 - p.g), uint8_t(255 - p.b)}))
                << x << "," << y;
        }
    codec.selectFrame(2);
    EXPECT_FALSE(codec.load(fixture("two_frames.mng").string(), kFormatMng));
}

TEST(RawReader, DemosaicedDngKeepsItsPictureAndHeaderOnlyGivesTheSize)
{
    auto path = makeDng();
    ImageCodec codec;
    codec.setHeaderOnly(true);
    ASSERT_TRUE(codec.load(path.string(), kFormatCameraRaw));
    EXPECT_EQ(codec.width(), 64);
    EXPECT_EQ(codec.height(), 32);
    EXPECT_LE(codec.frameCount(), 0);
    codec.setHeaderOnly(false);
    ASSERT_TRUE(codec.load(path.string(), kFormatCameraRaw));
    EXPECT_EQ(codec.bitsPerPixel(), 24);
    const Rgb left = pixel(codec.bitmap(), 10, 16), right = pixel(codec.bitmap(), 54, 16);
    EXPECT_GT(left.g, right.g + 60); // processed colours are the library's, but bright stays bright
    EXPECT_EQ(pixel(codec.bitmap(), 5, 5), left);
}

TEST(WmfReader, PlaceableMetafileIsPlayedOntoWhiteAtDisplayResolution)
{
    // 1440 × 720 units at 1440 units per inch: (1440 · 96 + 720) / 1440 = 96 by 48 pixels.
    Bytes wmf = makeWmf(1440, 720, 1440);
    ImageCodec codec;
    codec.setHeaderOnly(true);
    ASSERT_TRUE(codec.loadFromMemory(wmf.data(), wmf.size(), kFormatMetafile));
    EXPECT_EQ(codec.width(), 96);
    EXPECT_EQ(codec.height(), 48);
    codec.setHeaderOnly(false);
    ASSERT_TRUE(codec.loadFromMemory(wmf.data(), wmf.size(), kFormatMetafile));
    EXPECT_EQ(codec.bitsPerPixel(), 24);
    EXPECT_EQ(pixel(codec.bitmap(), 10, 24), (Rgb{255, 0, 0}));
    EXPECT_EQ(pixel(codec.bitmap(), 80, 24), (Rgb{255, 255, 255}));
}

TEST(WmfReader, SidesAreLimitedToTenThousandPixelsInProportion)
{
    // 30000 × 1500 units at 96 units per inch: 30000 × 1500 pixels, limited to 10000 × 500.
    Bytes wide = makeWmf(30000, 1500, 96);
    ImageCodec codec;
    codec.setHeaderOnly(true);
    ASSERT_TRUE(codec.loadFromMemory(wide.data(), wide.size(), kFormatMetafile));
    EXPECT_EQ(codec.width(), 10000);
    EXPECT_EQ(codec.height(), 500);
    Bytes empty = makeWmf(0, 700, 96); // zero width fails
    EXPECT_FALSE(codec.loadFromMemory(empty.data(), empty.size(), kFormatMetafile));
    // An enhanced metafile is not read here (it takes the external route).
    ByteWriter emf;
    emf.u32le(1).u32le(108);
    emf.bytes.resize(40, 0);
    emf.text(" EMF").u32le(0x00010000);
    emf.bytes.resize(108, 0);
    EXPECT_FALSE(codec.loadFromMemory(emf.bytes.data(), emf.bytes.size(), kFormatMetafile));
}

TEST(WmfReader, LargestRecordFieldBeyondTheFileIsRefusedBeforePlaying)
{
    // The largest-record field sits 12 bytes into the standard header, after the 22-byte
    // placeable header. libwmf would allocate from it before reading any record.
    Bytes wmf = makeWmf(1440, 720, 1440);
    auto setLargest = [&](uint32_t words) {
        for (int i = 0; i < 4; ++i)
            wmf[22 + 12 + i] = static_cast<uint8_t>(words >> (8 * i));
    };
    ImageCodec codec;
    setLargest(static_cast<uint32_t>(wmf.size() / 2)); // as large as the file: still a picture
    EXPECT_TRUE(codec.loadFromMemory(wmf.data(), wmf.size(), kFormatMetafile));
    setLargest(static_cast<uint32_t>(wmf.size() / 2 + 1));
    EXPECT_FALSE(codec.loadFromMemory(wmf.data(), wmf.size(), kFormatMetafile));
    setLargest(0x70000000u);
    EXPECT_FALSE(codec.loadFromMemory(wmf.data(), wmf.size(), kFormatMetafile));
}

} // namespace
} // namespace folvane::codec
