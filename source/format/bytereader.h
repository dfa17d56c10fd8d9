// Big-endian byte reader over a caller's buffer. Reading or skipping past the end sets a sticky
// error flag; reads past the end yield zero bytes.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tsr {

class ByteReader {
public:
    ByteReader() = default;
    ByteReader(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}

    size_t Position() const { return m_pos; }
    size_t size() const { return m_size; }
    const uint8_t* data() const { return m_data; }
    bool Failed() const { return m_failed; }

    uint8_t U8() {
        if (m_pos >= m_size) {
            m_failed = true;
            return 0;
        }
        return m_data[m_pos++];
    }
    uint16_t U16() {
        const unsigned hi = U8();
        return static_cast<uint16_t>(hi << 8 | U8());
    }
    uint32_t U32() {
        const uint32_t hi = U16();
        return hi << 16 | U16();
    }
    float F32();

    void Skip(size_t count) {
        if (count > m_size - m_pos) {
            m_failed = true;
            m_pos = m_size;
            return;
        }
        m_pos += count;
    }
    // Moves to an absolute position; past the end counts as a failed skip.
    void Seek(size_t position) {
        if (position > m_size) {
            m_failed = true;
            m_pos = m_size;
            return;
        }
        m_pos = position;
    }

private:
    const uint8_t* m_data = nullptr;
    size_t m_size = 0;
    size_t m_pos = 0;
    bool m_failed = false;
};

} // namespace tsr
