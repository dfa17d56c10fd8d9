// Bit reader for one slice component: a 64-bit window aligned to its most significant bit,
// refilled 32 bits at a time with one big-endian load while at least four bytes remain.
// Bits past the end of the component read as zero.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace tsr {

inline uint32_t loadBigEndian32(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
#if defined(_MSC_VER) && !defined(__clang__)
    return _byteswap_ulong(v);
#else
    return __builtin_bswap32(v);
#endif
}

class BitReader {
public:
    BitReader(const uint8_t* data, size_t size) : m_next(data), m_end(data + size) { refill(); }

    // The next 32 bits of the string.
    uint32_t peek32() const { return static_cast<uint32_t>(m_window >> 32); }
    uint64_t window() const { return m_window; }

    // Drops up to 32 bits and keeps at least 32 valid bits in the window.
    void consume(unsigned count) {
        m_window <<= count;
        m_bits -= static_cast<int>(count);
        if (m_bits < 32) refill();
    }

    // Reads up to 32 bits as an unsigned number.
    uint32_t read(unsigned count) {
        if (count == 0) return 0;
        const uint32_t v = static_cast<uint32_t>(m_window >> (64 - count));
        consume(count);
        return v;
    }

private:
    void refill() {
        if (m_end - m_next >= 4) {
            m_window |= static_cast<uint64_t>(loadBigEndian32(m_next)) << (32 - m_bits);
            m_next += 4;
            m_bits += 32;
            return;
        }
        while (m_bits <= 56 && m_next < m_end) {
            m_window |= static_cast<uint64_t>(*m_next++) << (56 - m_bits);
            m_bits += 8;
        }
        if (m_next == m_end) m_bits = 64; // only zero bits remain: the window is always full
    }

    uint64_t m_window = 0;
    int m_bits = 0; // valid bits at the top of the window
    const uint8_t* m_next;
    const uint8_t* m_end;
};

} // namespace tsr
