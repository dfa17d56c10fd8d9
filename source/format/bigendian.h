// Big-endian stores and loads: every multi-byte value in a frame, a clip index or a slice's bit
// string is big-endian.
#pragma once

#include <cstdint>
#include <cstring>
#if defined(_MSC_VER) && !defined(__clang__)
#include <stdlib.h>
#endif

namespace tsr {

inline void StoreU16Be(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v >> 8);
    p[1] = static_cast<uint8_t>(v);
}

inline void StoreU32Be(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v >> 24);
    p[1] = static_cast<uint8_t>(v >> 16);
    p[2] = static_cast<uint8_t>(v >> 8);
    p[3] = static_cast<uint8_t>(v);
}

inline void StoreF32Be(uint8_t* p, float f) {
    uint32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    StoreU32Be(p, bits);
}

inline uint32_t LoadU16Be(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) << 8 | p[1];
}

inline uint32_t LoadU32Be(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 |
           static_cast<uint32_t>(p[2]) << 8 | p[3];
}

// Unaligned whole-word loads for the bit reader's hot path.
inline uint32_t LoadBigEndian32(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
#if defined(_MSC_VER) && !defined(__clang__)
    return _byteswap_ulong(v);
#else
    return __builtin_bswap32(v);
#endif
}

inline uint64_t LoadBigEndian64(const uint8_t* p) {
    uint64_t v;
    std::memcpy(&v, p, 8);
#if defined(_MSC_VER) && !defined(__clang__)
    return _byteswap_uint64(v);
#else
    return __builtin_bswap64(v);
#endif
}

} // namespace tsr
