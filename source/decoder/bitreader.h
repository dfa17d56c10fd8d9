// Bit reader for one slice component: a 64-bit window aligned to its most significant bit.
// While at least eight bytes remain, a refill is one big-endian 64-bit load that tops the window
// up to 56..63 valid bits; near the end, bytes are loaded one by one. Bits past the end of the
// component read as zero.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "format/bigendian.h"

namespace tsr {

// Zero bytes after a string that a reader without end tests may read: one that stops at an
// all-zero peek is at most 32 bits past the end, one codeword (at most 78 bits with its sign,
// damaged data included) and one refill (8 bytes) further.
constexpr size_t kStringPadding = 64;

class BitReader {
public:
    BitReader(const uint8_t* data, size_t size) : m_next(data), m_end(data + size) { Refill(); }
    // A reader in a given state: for decoders that keep the state in their own registers.
    BitReader(uint64_t window, int bits, const uint8_t* next, const uint8_t* end)
        : m_window(window), m_bits(bits), m_next(next), m_end(end) {}
    const uint8_t* Next() const { return m_next; }
    const uint8_t* End() const { return m_end; }

    // The window: its top 32 bits are the next 32 bits of the string after every refill.
    uint64_t Window() const { return m_window; }
    uint32_t Peek32() const { return static_cast<uint32_t>(m_window >> 32); }
    int ValidBits() const { return m_bits; }

    // Tops the window up to at least 56 valid bits (or zeros past the end).
    void Refill() {
        if (m_end - m_next >= 8) {
            m_window |= LoadBigEndian64(m_next) >> m_bits;
            m_next += (63 - m_bits) >> 3;
            m_bits |= 56;
        } else {
            RefillNearEnd();
        }
    }

    // Drops bits already checked to be in the window (at most the valid count).
    void Skip(unsigned count) {
        m_window <<= count;
        m_bits -= static_cast<int>(count);
    }

    // Reads up to 32 bits as an unsigned number; refills first.
    uint32_t Read(unsigned count) {
        Refill();
        if (count == 0) return 0;
        const uint32_t v = static_cast<uint32_t>(m_window >> (64 - count));
        Skip(count);
        return v;
    }

private:
    void RefillNearEnd() {
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
