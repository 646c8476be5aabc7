#include "group4_check.h"

#include <algorithm>
#include <array>
#include <bit>
#include <utility>
#include <vector>

#include "group4_encoder.h"

namespace folvane::codec {

namespace {

constexpr int kLookupBits = 13; // the longest run-length code

// Run length and code length for every 13-bit prefix; length 0 for no code.
struct RunTable {
    std::array<int16_t, 1 << kLookupBits> run {};
    std::array<uint8_t, 1 << kLookupBits> length {};

    explicit RunTable(bool black)
    {
        for (const RunCode& code : group4RunCodes(black)) {
            const int free = kLookupBits - code.length;
            const int first = code.bits << free;
            for (int k = 0; k < (1 << free); ++k) {
                run[static_cast<size_t>(first + k)] = static_cast<int16_t>(code.run);
                length[static_cast<size_t>(first + k)] = code.length;
            }
        }
    }
};

// Reads the coded bits through a 64-bit window, most significant bit first.
class BitReader {
public:
    BitReader(const uint8_t* data, size_t size, bool lsbFirst) : m_data(data), m_size(size), m_lsb(lsbFirst)
    {
        refill();
    }

    // The next `count` bits (up to 16), zeros past the end.
    unsigned peek(int count) const { return static_cast<unsigned>(m_window >> (64 - count)); }
    void skip(int count)
    {
        m_window <<= count;
        m_filled -= count;
        m_consumed += static_cast<size_t>(count);
        if (m_filled < 32)
            refill();
    }
    bool exhausted() const { return m_consumed >= m_size * 8; }
    // How many of the next bits are ones, up to 32 (the window holds at least that many).
    int leadingOnes() const { return std::min(std::countl_one(m_window), 32); }

private:
    void refill()
    {
        if (!m_lsb && m_next + 8 <= m_size) {
            // Eight bytes at once; the window takes the whole bytes that fit after its bits.
            uint64_t word = 0;
            for (int k = 0; k < 8; ++k)
                word = word << 8 | m_data[m_next + static_cast<size_t>(k)];
            m_window |= word >> m_filled;
            m_next += static_cast<size_t>((63 - m_filled) >> 3);
            m_filled |= 56;
            return;
        }
        while (m_filled <= 56) {
            uint64_t byte = m_next < m_size ? m_data[m_next] : 0;
            if (m_lsb)
                byte = reversed(static_cast<uint8_t>(byte));
            m_window |= byte << (56 - m_filled);
            m_filled += 8;
            ++m_next;
        }
    }
    static uint8_t reversed(uint8_t b)
    {
        b = static_cast<uint8_t>((b & 0xF0) >> 4 | (b & 0x0F) << 4);
        b = static_cast<uint8_t>((b & 0xCC) >> 2 | (b & 0x33) << 2);
        return static_cast<uint8_t>((b & 0xAA) >> 1 | (b & 0x55) << 1);
    }
    const uint8_t* m_data;
    size_t m_size;
    bool m_lsb;
    uint64_t m_window = 0;
    int m_filled = 0;
    size_t m_next = 0;
    size_t m_consumed = 0;
};

// A run of one colour: make-up codes, then one terminating code. -1 for an invalid code.
long readRun(BitReader& in, const RunTable& table)
{
    long total = 0;
    for (;;) {
        const unsigned prefix = in.peek(kLookupBits);
        const int length = table.length[prefix];
        if (length == 0 || in.exhausted())
            return -1;
        in.skip(length);
        total += table.run[prefix];
        if (table.run[prefix] < 64)
            return total;
    }
}

enum class Mode : uint8_t { Pass, Horizontal, Vertical, Invalid };

// The mode codes (at most 7 bits), looked up by the next 7 bits: mode, code length and b1's
// offset for the vertical modes. Everything else (extensions, an end of block inside a page, no
// code at all) is invalid.
struct ModeTable {
    struct Entry {
        Mode mode = Mode::Invalid;
        uint8_t length = 0;
        int8_t offset = 0;
    };
    std::array<Entry, 128> entries {};

    ModeTable()
    {
        struct Code {
            unsigned bits;
            int length;
            Mode mode;
            int offset;
        };
        const Code codes[] = {{0b1, 1, Mode::Vertical, 0},          {0b011, 3, Mode::Vertical, 1},
                              {0b010, 3, Mode::Vertical, -1},       {0b001, 3, Mode::Horizontal, 0},
                              {0b0001, 4, Mode::Pass, 0},           {0b000011, 6, Mode::Vertical, 2},
                              {0b000010, 6, Mode::Vertical, -2},    {0b0000011, 7, Mode::Vertical, 3},
                              {0b0000010, 7, Mode::Vertical, -3}};
        for (const Code& code : codes) {
            const int free = 7 - code.length;
            for (unsigned k = 0; k < (1u << free); ++k)
                entries[(code.bits << free) | k] = {code.mode, static_cast<uint8_t>(code.length),
                                                    static_cast<int8_t>(code.offset)};
        }
    }
};

const ModeTable kModes;

// The coding mode at the reader; `offset` is b1's offset for vertical modes.
Mode readMode(BitReader& in, int& offset)
{
    const ModeTable::Entry& entry = kModes.entries[in.peek(7)];
    if (entry.mode != Mode::Invalid) {
        in.skip(entry.length);
        offset = entry.offset;
    }
    return entry.mode;
}

const RunTable kWhiteRuns(false), kBlackRuns(true);

} // namespace

bool group4DataValid(const uint8_t* data, size_t size, uint32_t width, uint32_t height, bool lsbFirst)
{
    if (!data || size == 0 || width == 0)
        return false;
    BitReader in(data, size, lsbFirst);
    const long w = width;
    // Changing elements of the row above (all white before the first) and of this row, each
    // followed by sentinels at the width, so that b1 and b2 always exist and the search for b1
    // stops at the first sentinel. A row has at most w + 1 changes at increasing positions; a
    // row coding more (zero-length runs over and over) is refused, which only means its frame is
    // decoded and coded afresh.
    const size_t capacity = static_cast<size_t>(w) + 1;
    std::vector<long> rows(2 * (capacity + 3), w);
    long* above = rows.data();
    long* row = above + capacity + 3;
    for (uint32_t y = 0; y < height; ++y) {
        size_t count = 0;
        long a0 = -1;
        int colour = 0; // 0 white, 1 black
        size_t r = 0;
        while (a0 < w) {
            // Most codes of a scan are V0 (one bit, 1): a1 is b1 itself, which always lies right
            // of a0 and within the row. A run of them is taken at once.
            // After a V0 at change k of the row above, the next b1 is change k + 1 unless that
            // one repeats change k (a zero-length run); only then is it searched for.
            if (const int ones = in.leadingOnes(); ones > 0) {
                while (above[r] <= a0)
                    ++r;
                size_t k = r + ((r & 1) ^ static_cast<size_t>(colour));
                int taken = 0;
                for (;;) {
                    if (count + 1 > capacity)
                        return false;
                    a0 = above[k];
                    row[count++] = a0;
                    colour ^= 1;
                    if (++taken == ones || a0 >= w)
                        break;
                    if (above[k + 1] > a0) {
                        ++k;
                    } else {
                        for (r = k + 1; above[r] <= a0;)
                            ++r;
                        k = r + ((r & 1) ^ static_cast<size_t>(colour));
                    }
                }
                r = k;
                in.skip(taken);
                continue;
            }
            // b1: the first change on the row above right of a0 to the opposite colour; changes
            // at even indices turn black, at odd ones white. The changes of a row never go
            // left and neither does a0, so r, the first change right of a0, only moves right.
            while (above[r] <= a0)
                ++r;
            const size_t k = r + ((r & 1) ^ static_cast<size_t>(colour));
            const long b1 = above[k], b2 = above[k + 1];
            int offset = 0;
            switch (readMode(in, offset)) {
            case Mode::Pass:
                a0 = b2;
                break;
            case Mode::Horizontal: {
                long first = readRun(in, colour ? kBlackRuns : kWhiteRuns);
                long second = first < 0 ? -1 : readRun(in, colour ? kWhiteRuns : kBlackRuns);
                long start = a0 < 0 ? 0 : a0;
                if (second < 0 || start + first + second > w || count + 2 > capacity)
                    return false;
                row[count++] = start + first;
                row[count++] = start + first + second;
                a0 = start + first + second;
                break;
            }
            case Mode::Vertical: {
                // Right of a0 (so not left of the row's start, a0 being -1 there) and within it.
                long a1 = b1 + offset;
                if (a1 <= a0 || a1 > w || count + 1 > capacity)
                    return false;
                row[count++] = a1;
                a0 = a1;
                colour ^= 1;
                break;
            }
            case Mode::Invalid:
                return false;
            }
            // a0 never passes the width: changes are at most w, and so are b2 and the sentinels.
        }
        row[count] = row[count + 1] = row[count + 2] = w;
        std::swap(above, row);
    }
    return true;
}

} // namespace folvane::codec
