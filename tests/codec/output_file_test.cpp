// Saving over files that already exist: the encoders write into an empty file as it is and
// truncate one with content, so the result is the same as a save to a new name.
#include <gtest/gtest.h>

#include <filesystem>

#include "codec/image_codec.h"
#include "codec_test_util.h"
#include "support/test_support.h"

namespace folvane::codec {
namespace {

namespace fs = std::filesystem;

TEST(SaveTarget, ExistingFilesEndUpHoldingExactlyWhatAFreshSaveWrites)
{
    struct Case {
        const char* name;
        Bitmap picture;
        int format;
        int compression;
    };
    const Case cases[] = {
        {"colour.jpg", test::colourPicture(40, 30), kFormatJpeg, kCompressionDefault},
        {"bilevel-g4.tif", test::bilevelPicture(70, 50), kFormatTiff, kCompressionCcittG4},
        {"gray-lzw.tif", test::grayPicture(33, 17), kFormatTiff, kCompressionLzw},
    };
    const fs::path dir = folvane::test::scratchDir();
    for (const Case& c : cases) {
        ImageCodec codec;
        codec.bitmap() = c.picture;
        codec.setCompression(c.compression);
        const fs::path fresh = dir / (std::string("fresh-") + c.name);
        fs::remove(fresh);
        ASSERT_TRUE(codec.save(fresh.string(), c.format)) << c.name;
        const std::string expected = folvane::test::readFileBytes(fresh);

        const fs::path empty = dir / (std::string("empty-") + c.name);
        folvane::test::writeFileBytes(empty, "");
        ASSERT_TRUE(codec.save(empty.string(), c.format)) << c.name;
        EXPECT_EQ(folvane::test::readFileBytes(empty), expected) << c.name;

        // Longer than the image, so that leftovers would show as a size difference.
        const fs::path longer = dir / (std::string("longer-") + c.name);
        folvane::test::writeFileBytes(longer, std::string(expected.size() + 100000, 'x'));
        ASSERT_TRUE(codec.save(longer.string(), c.format)) << c.name;
        EXPECT_EQ(folvane::test::readFileBytes(longer), expected) << c.name;
    }
}

TEST(SaveTarget, AFolderThatDoesNotExistFailsAndLeavesNothing)
{
    const fs::path missing = folvane::test::scratchDir() / "no-such-folder" / "out.tif";
    ImageCodec codec;
    codec.bitmap() = test::bilevelPicture(16, 16);
    EXPECT_FALSE(codec.save(missing.string(), kFormatTiff));
    EXPECT_FALSE(codec.save(missing.string(), kFormatJpeg));
    EXPECT_FALSE(fs::exists(missing));
}

} // namespace
} // namespace folvane::codec
