// Group 4 frames checked ahead on a background thread answer exactly as a check made on the spot,
// for the file as it is when the answer is taken.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include <sys/stat.h>

#include "codec/stored_frame_checks.h"
#include "support/image_files.h"
#include "support/test_support.h"

namespace folvane::codec {
namespace {

namespace fs = std::filesystem;
using test::TiffPage;

TiffPage scanPage(int width, int height, int compression)
{
    return {width, height, 1, 1, 0, compression, [](int x, int y, int) { return static_cast<uint8_t>((x / 7 + y / 5) % 2); }};
}

TEST(StoredFrameChecks, FramesCheckedAheadMatchTheirOwnFrames)
{
    fs::path book = test::scratchDir() / "book.tif";
    test::writeTiff(book, {scanPage(64, 40, 4), scanPage(80, 50, 4), scanPage(96, 60, 5)});
    StoredFrameChecks checks;
    checks.expect(book.string(), 1);
    checks.expect(book.string(), 2);
    StoredBilevelFrame frame;
    ASSERT_TRUE(checks.storedGroup4Frame(book.string(), 0, frame));
    EXPECT_EQ(frame.width, 64);
    ASSERT_TRUE(checks.storedGroup4Frame(book.string(), 1, frame));
    EXPECT_EQ(frame.width, 80);
    EXPECT_EQ(frame.height, 50);
    EXPECT_FALSE(checks.storedGroup4Frame(book.string(), 2, frame)) << "LZW is not stored Group 4";
    EXPECT_FALSE(checks.storedGroup4Frame(book.string(), 3, frame));
}

TEST(StoredFrameChecks, AFileReplacedAfterItsCheckIsCheckedAgain)
{
    fs::path scan = test::scratchDir() / "scan.tif";
    test::writeTiff(scan, {scanPage(64, 40, 4)});
    StoredFrameChecks checks;
    checks.expect(scan.string(), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(100)); // lets the background check finish
    fs::path other = test::scratchDir() / "other.tif";
    test::writeTiff(other, {scanPage(64, 40, 5)});
    fs::rename(other, scan);
    StoredBilevelFrame frame;
    EXPECT_FALSE(checks.storedGroup4Frame(scan.string(), 0, frame));
}

TEST(StoredFrameChecks, AFifoIsNeverWaitedOn)
{
    fs::path fifo = test::scratchDir() / "pipe.tif";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    StoredFrameChecks checks;
    checks.expect(fifo.string(), 0);
    StoredBilevelFrame frame;
    EXPECT_FALSE(checks.storedGroup4Frame(fifo.string(), 0, frame));
    EXPECT_FALSE(isTiffFile(fifo.string()));
} // returning at all shows the background thread did not block on the FIFO

} // namespace
} // namespace folvane::codec
