#include "format/bytereader.h"

#include <cstring>

namespace tsr {

float ByteReader::f32() {
    const uint32_t bits = u32();
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

} // namespace tsr
