// CCITT Group 4 encoding with word-at-a-time change detection. See group4_encoder.h.
#include "group4_encoder.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>

namespace folvane::codec {

namespace {

struct Code {
    uint16_t bits;
    uint8_t length;
};

// Modified Huffman run-length codes of the T.4 standard: terminating codes for runs 0..63 and
// make-up codes for multiples of 64 up to 1728 per colour, then the make-up codes from 1792 to
// 2560 that both colours share.
constexpr Code kWhiteTerminating[64] = {
    {0x35, 8}, {0x07, 6}, {0x07, 4}, {0x08, 4}, {0x0B, 4}, {0x0C, 4}, {0x0E, 4}, {0x0F, 4},
    {0x13, 5}, {0x14, 5}, {0x07, 5}, {0x08, 5}, {0x08, 6}, {0x03, 6}, {0x34, 6}, {0x35, 6},
    {0x2A, 6}, {0x2B, 6}, {0x27, 7}, {0x0C, 7}, {0x08, 7}, {0x17, 7}, {0x03, 7}, {0x04, 7},
    {0x28, 7}, {0x2B, 7}, {0x13, 7}, {0x24, 7}, {0x18, 7}, {0x02, 8}, {0x03, 8}, {0x1A, 8},
    {0x1B, 8}, {0x12, 8}, {0x13, 8}, {0x14, 8}, {0x15, 8}, {0x16, 8}, {0x17, 8}, {0x28, 8},
    {0x29, 8}, {0x2A, 8}, {0x2B, 8}, {0x2C, 8}, {0x2D, 8}, {0x04, 8}, {0x05, 8}, {0x0A, 8},
    {0x0B, 8}, {0x52, 8}, {0x53, 8}, {0x54, 8}, {0x55, 8}, {0x24, 8}, {0x25, 8}, {0x58, 8},
    {0x59, 8}, {0x5A, 8}, {0x5B, 8}, {0x4A, 8}, {0x4B, 8}, {0x32, 8}, {0x33, 8}, {0x34, 8},
};
constexpr Code kBlackTerminating[64] = {
    {0x37, 10}, {0x02, 3},  {0x03, 2},  {0x02, 2},  {0x03, 3},  {0x03, 4},  {0x02, 4},  {0x03, 5},
    {0x05, 6},  {0x04, 6},  {0x04, 7},  {0x05, 7},  {0x07, 7},  {0x04, 8},  {0x07, 8},  {0x18, 9},
    {0x17, 10}, {0x18, 10}, {0x08, 10}, {0x67, 11}, {0x68, 11}, {0x6C, 11}, {0x37, 11}, {0x28, 11},
    {0x17, 11}, {0x18, 11}, {0xCA, 12}, {0xCB, 12}, {0xCC, 12}, {0xCD, 12}, {0x68, 12}, {0x69, 12},
    {0x6A, 12}, {0x6B, 12}, {0xD2, 12}, {0xD3, 12}, {0xD4, 12}, {0xD5, 12}, {0xD6, 12}, {0xD7, 12},
    {0x6C, 12}, {0x6D, 12}, {0xDA, 12}, {0xDB, 12}, {0x54, 12}, {0x55, 12}, {0x56, 12}, {0x57, 12},
    {0x64, 12}, {0x65, 12}, {0x52, 12}, {0x53, 12}, {0x24, 12}, {0x37, 12}, {0x38, 12}, {0x27, 12},
    {0x28, 12}, {0x58, 12}, {0x59, 12}, {0x2B, 12}, {0x2C, 12}, {0x5A, 12}, {0x66, 12}, {0x67, 12},
};
// Index k - 1 holds the code for a run of 64 * k, k = 1..27 (64 to 1728).
constexpr Code kWhiteMakeUp[27] = {
    {0x1B, 5}, {0x12, 5}, {0x17, 6}, {0x37, 7}, {0x36, 8}, {0x37, 8}, {0x64, 8}, {0x65, 8}, {0x68, 8},
    {0x67, 8}, {0xCC, 9}, {0xCD, 9}, {0xD2, 9}, {0xD3, 9}, {0xD4, 9}, {0xD5, 9}, {0xD6, 9}, {0xD7, 9},
    {0xD8, 9}, {0xD9, 9}, {0xDA, 9}, {0xDB, 9}, {0x98, 9}, {0x99, 9}, {0x9A, 9}, {0x18, 6}, {0x9B, 9},
};
constexpr Code kBlackMakeUp[27] = {
    {0x0F, 10}, {0xC8, 12}, {0xC9, 12}, {0x5B, 12}, {0x33, 12}, {0x34, 12}, {0x35, 12}, {0x6C, 13}, {0x6D, 13},
    {0x4A, 13}, {0x4B, 13}, {0x4C, 13}, {0x4D, 13}, {0x72, 13}, {0x73, 13}, {0x74, 13}, {0x75, 13}, {0x76, 13},
    {0x77, 13}, {0x52, 13}, {0x53, 13}, {0x54, 13}, {0x55, 13}, {0x5A, 13}, {0x5B, 13}, {0x64, 13}, {0x65, 13},
};
// Index k - 28 holds the code for a run of 64 * k, k = 28..40 (1792 to 2560).
constexpr Code kSharedMakeUp[13] = {
    {0x08, 11}, {0x0C, 11}, {0x0D, 11}, {0x12, 12}, {0x13, 12}, {0x14, 12}, {0x15, 12},
    {0x16, 12}, {0x17, 12}, {0x1C, 12}, {0x1D, 12}, {0x1E, 12}, {0x1F, 12},
};

constexpr Code kHorizontal {0x1, 3};
constexpr Code kPass {0x1, 4};
// Vertical mode by b1 - a1 + 3: VR3, VR2, VR1, V0, VL1, VL2, VL3.
constexpr Code kVertical[7] = {{0x3, 7}, {0x3, 6}, {0x3, 3}, {0x1, 1}, {0x2, 3}, {0x2, 6}, {0x2, 7}};
constexpr Code kEndOfLine {0x001, 12};

class BitWriter {
public:
    explicit BitWriter(std::vector<uint8_t>& out) : m_out(out) {}

    void put(Code code)
    {
        m_acc = (m_acc << code.length) | code.bits;
        m_count += code.length;
        while (m_count >= 8) {
            m_count -= 8;
            m_out.push_back(static_cast<uint8_t>(m_acc >> m_count));
        }
    }

    void putRun(uint32_t run, const Code* terminating, const Code* makeUp)
    {
        while (run >= 2624) {
            put(kSharedMakeUp[12]);
            run -= 2560;
        }
        if (run >= 64) {
            uint32_t k = run >> 6;
            put(k <= 27 ? makeUp[k - 1] : kSharedMakeUp[k - 28]);
            run -= k << 6;
        }
        put(terminating[run]);
    }

    // Pads the last byte with zero bits.
    void finish()
    {
        if (m_count > 0)
            m_out.push_back(static_cast<uint8_t>(m_acc << (8 - m_count)));
        m_count = 0;
    }

private:
    std::vector<uint8_t>& m_out;
    uint64_t m_acc = 0;
    int m_count = 0;
};

// Rows are held with 8 zero bytes after the last pixel byte, so a whole word can always be loaded.
constexpr size_t kRowSlack = 8;

inline uint64_t loadBigEndian(const uint8_t* p)
{
    uint64_t word;
    std::memcpy(&word, p, sizeof word);
    return __builtin_bswap64(word);
}

// The changing elements of a row: the positions whose pixel differs from the one before, the
// pixel before the row counting as white. Change i turns the row black when i is even and white
// when i is odd. The list ends with the width repeated, so that looking past the last change
// gives the width as the standard wants.
void findChanges(const uint8_t* row, uint32_t width, std::vector<uint32_t>& changes)
{
    changes.clear();
    const size_t words = (static_cast<size_t>(width) + 63) / 64;
    uint64_t before = 0; // the pixel left of the current word, in the top bit
    for (size_t k = 0; k < words; ++k) {
        uint64_t word = loadBigEndian(row + k * 8);
        uint64_t flips = word ^ ((word >> 1) | before);
        before = word << 63;
        while (flips) {
            int bit = __builtin_clzll(flips);
            uint32_t pos = static_cast<uint32_t>(k * 64) + static_cast<uint32_t>(bit);
            if (pos >= width)
                break;
            changes.push_back(pos);
            flips &= ~(uint64_t(1) << (63 - bit));
        }
    }
    changes.insert(changes.end(), 3, width);
}

// One row coded against the reference row above it, by the standard's procedure: pass mode when
// b2 lies left of a1, vertical mode when a1 is within three pixels of b1, horizontal mode else.
// a0 starts as the imaginary white pixel before the row; `colour` is the colour at a0.
void encodeRow(BitWriter& out, const uint32_t* cur, const uint32_t* ref, uint32_t width)
{
    uint32_t a0 = 0;
    int colour = 0;
    size_t ia = 0; // cur[ia] is a1: the first change right of a0 (at or right of 0 at the start)
    size_t ib = 0; // ref[ib] is the first change of the reference right of a0
    for (;;) {
        // b1: the first reference change right of a0 that turns to the opposite of a0's colour.
        size_t jb = ib + (((ib & 1) == 0) == (colour != 0) ? 1 : 0);
        uint32_t a1 = cur[ia], b1 = ref[jb], b2 = ref[jb + 1];
        if (b1 >= width)
            b2 = width;
        if (b2 < a1) {
            out.put(kPass);
            a0 = b2;
        } else {
            int64_t d = static_cast<int64_t>(b1) - static_cast<int64_t>(a1);
            if (d < -3 || d > 3) {
                uint32_t a2 = a1 < width ? cur[ia + 1] : width;
                out.put(kHorizontal);
                if (colour == 0) {
                    out.putRun(a1 - a0, kWhiteTerminating, kWhiteMakeUp);
                    out.putRun(a2 - a1, kBlackTerminating, kBlackMakeUp);
                } else {
                    out.putRun(a1 - a0, kBlackTerminating, kBlackMakeUp);
                    out.putRun(a2 - a1, kWhiteTerminating, kWhiteMakeUp);
                }
                a0 = a2;
                ia += 2;
            } else {
                out.put(kVertical[d + 3]);
                a0 = a1;
                colour ^= 1;
                ia += 1;
            }
        }
        if (a0 >= width)
            break;
        while (ref[ib] <= a0)
            ++ib;
    }
}

} // namespace

bool encodeGroup4(const Bitmap& bitmap, bool invert, std::vector<uint8_t>& out)
{
    out.clear();
    if (bitmap.empty() || bitmap.bitsPerPixel() != 1)
        return false;
    const auto width = static_cast<uint32_t>(bitmap.width());
    const size_t bytes = (static_cast<size_t>(width) + 7) / 8;
    const uint8_t lastMask = width % 8 ? static_cast<uint8_t>(0xFF << (8 - width % 8)) : 0xFF;
    std::vector<uint8_t> row;
    std::vector<uint32_t> cur, ref;
    try {
        row.assign((bytes + 7) / 8 * 8 + kRowSlack, 0);
        // Text rows have a few hundred changes; the lists grow beyond this only for busy rows.
        const size_t expected = std::min<size_t>(static_cast<size_t>(width) + 4, 16384);
        cur.reserve(expected);
        ref.reserve(expected);
        ref.assign(3, width); // the row above the first is white: no changes
        out.reserve(bytes * static_cast<size_t>(bitmap.height()) / 16 + 64);
    } catch (const std::bad_alloc&) {
        return false;
    }
    BitWriter writer(out);
    try {
        for (int y = 0; y < bitmap.height(); ++y) {
            const uint8_t* in = bitmap.row(y);
            if (invert)
                for (size_t i = 0; i < bytes; ++i)
                    row[i] = static_cast<uint8_t>(~in[i]);
            else
                std::memcpy(row.data(), in, bytes);
            row[bytes - 1] &= lastMask;
            findChanges(row.data(), width, cur);
            encodeRow(writer, cur.data(), ref.data(), width);
            std::swap(cur, ref);
        }
        writer.put(kEndOfLine); // end of facsimile block: two end-of-line codes
        writer.put(kEndOfLine);
        writer.finish();
    } catch (const std::bad_alloc&) {
        out.clear();
        return false;
    }
    return true;
}

std::vector<RunCode> group4RunCodes(bool black)
{
    std::vector<RunCode> codes;
    const Code* terminating = black ? kBlackTerminating : kWhiteTerminating;
    const Code* makeUp = black ? kBlackMakeUp : kWhiteMakeUp;
    for (int run = 0; run < 64; ++run)
        codes.push_back({run, terminating[run].bits, terminating[run].length});
    for (int k = 1; k <= 27; ++k)
        codes.push_back({64 * k, makeUp[k - 1].bits, makeUp[k - 1].length});
    for (int k = 28; k <= 40; ++k)
        codes.push_back({64 * k, kSharedMakeUp[k - 28].bits, kSharedMakeUp[k - 28].length});
    return codes;
}

} // namespace folvane::codec
