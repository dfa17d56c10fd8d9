// Appends a bit string, most significant bit first, to a byte vector.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tsr {

class BitWriter {
public:
    explicit BitWriter(std::vector<uint8_t>& out) : m_out(out) {}

    // Appends the low `count` bits of `bits` (count 0..32).
    void Put(uint32_t bits, int count) {
        m_acc = (m_acc << count) | (bits & ((uint64_t{1} << count) - 1));
        m_pending += count;
        while (m_pending >= 8) {
            m_pending -= 8;
            m_out.push_back(static_cast<uint8_t>(m_acc >> m_pending));
        }
    }

    // Pads with zero bits up to the next byte boundary.
    void PadToByte() {
        if (m_pending > 0) Put(0, 8 - m_pending);
    }

    // Bits written so far, padding included.
    uint64_t BitCount() const { return 8 * static_cast<uint64_t>(m_out.size() - m_start) + m_pending; }

private:
    std::vector<uint8_t>& m_out;
    size_t m_start = m_out.size();
    uint64_t m_acc = 0;
    int m_pending = 0;
};

} // namespace tsr
