#include "format/bytereader.h"

#include <cstring>

namespace tsr {

float ByteReader::F32() {
    const uint32_t bits = U32();
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

} // namespace tsr
