// Damaged files of every format: cut short at many points, or with bytes overwritten. Each load
// must fail cleanly (truncation) or at least come back without crashing, hanging or printing;
// the sanitizer build runs the same cases.
#include <gtest/gtest.h>
#include <png.h>

#include <random>

#include "codec/image_codec.h"
#include "codec_test_util.h"
#include "support/test_support.h"

namespace folvane::codec {
namespace {

using namespace test;

struct Sample {
    std::string name;
    int format;
    Bytes bytes;
    size_t essential; // bytes that every successful decode needs (a shorter file must fail)
};

Bytes savedAs(const Bitmap& bitmap, int format, int compression)
{
    ImageCodec codec;
    codec.bitmap() = bitmap;
    codec.setCompression(compression);
    auto path = folvane::test::scratchDir() / "sample.bin";
    EXPECT_TRUE(codec.save(path.string(), format));
    return readBytes(path);
}

Bytes bmp24()
{
    ByteWriter w;
    w.text("BM").u32le(14 + 40 + 24).u32le(0).u32le(54);
    w.u32le(40).u32le(3).u32le(2).u16le(1).u16le(24).u32le(0).u32le(24).u32le(0).u32le(0).u32le(0).u32le(0);
    for (int i = 0; i < 24; ++i)
        w.u8(i * 10);
    return w.bytes;
}

Bytes bmpRle8()
{
    ByteWriter w;
    w.text("BM").u32le(0).u32le(0).u32le(14 + 40 + 8);
    w.u32le(40).u32le(4).u32le(2).u16le(1).u16le(8).u32le(1).u32le(0).u32le(0).u32le(0).u32le(2).u32le(0);
    w.u32le(0x00FF0000).u32le(0x0000FF00);
    w.u8(4).u8(1).u8(0).u8(0).u8(4).u8(0).u8(0).u8(1);
    return w.bytes;
}

Bytes ico()
{
    ByteWriter dib;
    dib.u32le(40).u32le(2).u32le(4).u16le(1).u16le(24).u32le(0).u32le(0).u32le(0).u32le(0).u32le(0).u32le(0);
    for (int i = 0; i < 16; ++i)
        dib.u8(i * 9); // two rows of 2 × 3 bytes + 2 padding
    for (int i = 0; i < 8; ++i)
        dib.u8(0); // AND mask
    ByteWriter w;
    w.u16le(0).u16le(1).u16le(1).u8(2).u8(2).u8(0).u8(0).u16le(1).u16le(24);
    w.u32le(static_cast<uint32_t>(dib.bytes.size())).u32le(22);
    return w.raw(dib.bytes).bytes;
}

Bytes ska()
{
    ByteWriter w;
    w.u16be(4).u16be(3).u8(3).u32be(0x01000000);
    for (int i = 0; i < 768 + 12; ++i)
        w.u8(i);
    return w.bytes;
}

std::vector<Sample> samples()
{
    std::vector<Sample> out;
    auto add = [&](std::string name, int format, Bytes bytes, size_t essential = 0) {
        const size_t size = bytes.size();
        out.push_back({std::move(name), format, std::move(bytes), essential ? essential : size});
    };
    add("jpeg", kFormatJpeg, savedAs(colourPicture(24, 16), kFormatJpeg, 0));
    add("jpeg gray", kFormatJpeg, savedAs(grayPicture(24, 16), kFormatJpeg, 0));
    add("png", kFormatPng, makePng(4, 2, PNG_COLOR_TYPE_RGB, 8, {Bytes(12, 50), Bytes(12, 90)}));
    add("png palette", kFormatPng,
        makePng(3, 1, PNG_COLOR_TYPE_PALETTE, 8, {{0, 1, 0}}, {Rgb{1, 2, 3}, Rgb{4, 5, 6}}, {0}));
    add("tiff lzw gray", kFormatTiff, savedAs(grayPicture(20, 9), kFormatTiff, kCompressionLzw));
    add("tiff g4", kFormatTiff, savedAs(bilevelPicture(40, 12), kFormatTiff, kCompressionCcittG4));
    add("tiff jpeg", kFormatTiff, savedAs(colourPicture(16, 16), kFormatTiff, kCompressionJpeg));
    add("tiff packbits palette", kFormatTiff, savedAs(bilevelPicture(9, 4), kFormatTiff, kCompressionPackBits));
    add("bmp", kFormatBmp, bmp24());
    add("bmp rle8", kFormatBmp, bmpRle8());
    add("ico", kFormatIco, ico());
    add("tga", kFormatTga, readBytes(fixture("colour.tga")), 18 + 15 * 3 / 2);
    add("pcx", kFormatPcx, readBytes(fixture("colour.pcx")), 183); // pixel runs end at 183
    add("pcx mono", kFormatPcx, readBytes(fixture("bw.pcx")), 128 + 6);
    add("wbmp", kFormatWbmp, readBytes(fixture("bw.wbmp")));
    add("pnm", kFormatPnm, readBytes(fixture("colour.ppm")), 200);
    ByteWriter p6;
    p6.text("P6 2 2 255\n").raw(Bytes(12, 7));
    add("pnm binary", kFormatPnm, p6.bytes);
    add("sun", kFormatSunRaster, readBytes(fixture("colour.ras")));
    add("sun mono", kFormatSunRaster, readBytes(fixture("bw.ras")));
    ByteWriter pgx;
    pgx.text("PG ML + 12 3 2\n").raw(Bytes(12, 1));
    add("pgx", kFormatPgx, pgx.bytes);
    add("ska", kFormatSka, ska());
    add("jp2", kFormatJp2, encodeJpeg2000(true, 3, 8, false, 16, 8, [](int c, int x, int y) { return (c + x * y) % 256; }));
    add("j2k", kFormatJ2k, encodeJpeg2000(false, 1, 8, false, 16, 8, [](int, int x, int y) { return x * y % 256; }));
    add("mng", kFormatMng, readBytes(fixture("two_frames.mng")));
    add("raw", kFormatCameraRaw, readBytes(makeDng()), 12288); // trailing tag values are optional
    add("wmf", kFormatMetafile, makeWmf(1440, 720, 1440));
    return out;
}

// Loads every frame the file reports, decoded and header-only, and runs the conversions, so
// that damaged data reaches every stage. Returns whether the first full load worked.
bool exercise(const Bytes& bytes, int format)
{
    ImageCodec codec;
    codec.setHeaderOnly(true);
    codec.loadFromMemory(bytes.data(), bytes.size(), format);
    const int frames = std::min(codec.frameCount(), 3);
    codec.setHeaderOnly(false);
    bool first = false;
    for (int frame = 0; frame < std::max(frames, 1); ++frame) {
        codec.selectFrame(frame);
        bool ok = codec.loadFromMemory(bytes.data(), bytes.size(), format);
        if (frame == 0)
            first = ok;
        if (ok) {
            EXPECT_GT(codec.width(), 0);
            EXPECT_TRUE(codec.negate());
            EXPECT_TRUE(codec.convertToGrayscale());
            EXPECT_TRUE(codec.increaseDepthTo24());
        }
    }
    return first;
}

TEST(BadInput, IntactSamplesDecode)
{
    for (const Sample& s : samples())
        EXPECT_TRUE(exercise(s.bytes, s.format)) << s.name;
}

TEST(BadInput, TruncatedFilesOfEveryFormatFail)
{
    for (const Sample& s : samples()) {
        const size_t n = s.essential;
        for (size_t cut : {size_t(0), size_t(1), size_t(4), size_t(9), size_t(18), n / 4, n / 2, 3 * n / 4, n - 1}) {
            if (cut >= n)
                continue;
            Bytes part(s.bytes.begin(), s.bytes.begin() + static_cast<std::ptrdiff_t>(cut));
            EXPECT_FALSE(exercise(part, s.format)) << s.name << " cut to " << cut << " of " << s.bytes.size();
        }
    }
}

TEST(BadInput, CorruptedFilesOfEveryFormatComeBackCleanly)
{
    std::mt19937 random(20240607);
    for (const Sample& s : samples()) {
        for (int round = 0; round < 60; ++round) {
            Bytes damaged = s.bytes;
            const int changes = 1 + round % 6;
            for (int k = 0; k < changes; ++k) {
                const size_t at = random() % damaged.size();
                switch (random() % 4) {
                case 0: damaged[at] = static_cast<uint8_t>(random()); break;
                case 1: damaged[at] = 0xFF; break;
                case 2: damaged[at] = 0x00; break;
                default: damaged[at] ^= 0x80; break;
                }
            }
            exercise(damaged, s.format); // success or failure, but clean
        }
    }
}

TEST(BadInput, HugeDeclaredSizesAreRefusedBeforeAllocating)
{
    ImageCodec codec;
    ByteWriter bmp; // 100000 × 100000 × 24 bits with 4 bytes of pixels
    bmp.text("BM").u32le(0).u32le(0).u32le(54);
    bmp.u32le(40).u32le(100000).u32le(100000).u16le(1).u16le(24).u32le(0).u32le(0).u32le(0).u32le(0).u32le(0).u32le(0);
    bmp.u32le(0);
    EXPECT_FALSE(loadBytes(codec, bmp.bytes, kFormatBmp));
    ByteWriter rle; // 16000 × 16000 RLE8 claims from 20 bytes
    rle.text("BM").u32le(0).u32le(0).u32le(54 + 8);
    rle.u32le(40).u32le(16000).u32le(16000).u16le(1).u16le(8).u32le(1).u32le(0).u32le(0).u32le(0).u32le(2).u32le(0);
    rle.u32le(0).u32le(0).u8(255).u8(1).u8(0).u8(1);
    EXPECT_FALSE(loadBytes(codec, rle.bytes, kFormatBmp));
    ByteWriter pnm;
    pnm.text("P5 4000000000 4000000000 255\n").u8(0);
    EXPECT_FALSE(loadBytes(codec, pnm.bytes, kFormatPnm));
    ByteWriter pnmHeader;
    pnmHeader.text("P6 30000 30000 255\n").u8(0); // within nothing: 2.7 G bytes promised
    codec.setHeaderOnly(true);
    EXPECT_FALSE(codec.loadFromMemory(pnmHeader.bytes.data(), pnmHeader.bytes.size(), kFormatPnm));
    ByteWriter wbmp;
    wbmp.u8(0).u8(0).u8(0xFF).u8(0xFF).u8(0x7F).u8(0xFF).u8(0xFF).u8(0x7F);
    EXPECT_FALSE(codec.loadFromMemory(wbmp.bytes.data(), wbmp.bytes.size(), kFormatWbmp));
    Bytes png = makePng(1, 1, PNG_COLOR_TYPE_RGB, 8, {{1, 2, 3}});
    png[16] = 0x7F; // width 0x7F000001
    codec.setHeaderOnly(false);
    EXPECT_FALSE(codec.loadFromMemory(png.data(), png.size(), kFormatPng));
}

} // namespace
} // namespace folvane::codec
