#pragma once
// Bounds-checked cursor over a file's bytes for the small format readers. Reading past the end
// yields zeros and sets a sticky failure flag, so a reader can parse a whole header and check
// ok() once.

#include <cstddef>
#include <cstdint>
#include <span>

namespace folvane::codec {

class ByteReader {
public:
    explicit ByteReader(std::span<const uint8_t> data, size_t pos = 0) : m_data(data), m_pos(pos)
    {
        if (pos > data.size())
            fail();
    }

    bool ok() const { return !m_failed; }
    void fail() { m_failed = true; }
    size_t pos() const { return m_pos; }
    size_t size() const { return m_data.size(); }
    size_t remaining() const { return m_pos < m_data.size() ? m_data.size() - m_pos : 0; }
    bool atEnd() const { return m_pos >= m_data.size(); }

    bool seek(size_t pos)
    {
        if (pos > m_data.size()) {
            fail();
            return false;
        }
        m_pos = pos;
        return true;
    }
    bool skip(size_t n)
    {
        if (n > remaining()) {
            fail();
            m_pos = m_data.size();
            return false;
        }
        m_pos += n;
        return true;
    }

    uint8_t u8()
    {
        if (m_pos >= m_data.size()) {
            fail();
            return 0;
        }
        return m_data[m_pos++];
    }
    uint16_t u16le() { uint16_t a = u8(); return static_cast<uint16_t>(a | (u8() << 8)); }
    uint16_t u16be() { uint16_t a = u8(); return static_cast<uint16_t>((a << 8) | u8()); }
    uint32_t u32le() { uint32_t a = u16le(); return a | (static_cast<uint32_t>(u16le()) << 16); }
    uint32_t u32be() { uint32_t a = u16be(); return (a << 16) | u16be(); }
    int32_t i32le() { return static_cast<int32_t>(u32le()); }

    // The next n bytes, or an empty span (and failure) when fewer remain.
    std::span<const uint8_t> bytes(size_t n)
    {
        if (n > remaining()) {
            fail();
            m_pos = m_data.size();
            return {};
        }
        auto out = m_data.subspan(m_pos, n);
        m_pos += n;
        return out;
    }

    std::span<const uint8_t> data() const { return m_data; }

private:
    std::span<const uint8_t> m_data;
    size_t m_pos = 0;
    bool m_failed = false;
};

} // namespace folvane::codec
