#include "slicedecoder.h"

#include <atomic>
#include <cstring>

#include "entropy.h"
#include "format/frameformat.h"

namespace tsr {

namespace {
inline unsigned U16At(const uint8_t* p) {
    return unsigned(p[0]) << 8 | p[1];
}
} // namespace

void DecodeSlice(const SliceDescriptor& slice, WorkerScratch& scratch) {
    const FrameContext& frame = *slice.frame;
    const uint8_t* data = slice.data;
    const size_t size = slice.size;
    if (size < kMinSliceHeaderSize) return;
    const size_t headerSize = data[0] >> 3;
    const int qScale = data[1];
    const size_t sizes[3] = {U16At(data + 2), U16At(data + 4), U16At(data + 6)};
    if (headerSize < kMinSliceHeaderSize || qScale == 0 || sizes[0] == 0 || sizes[1] == 0 || sizes[2] == 0 ||
        headerSize + sizes[0] + sizes[1] + sizes[2] >= size)
        return;

    const int log2Blocks = static_cast<int>(slice.log2Width);
    const int blocks = 1 << log2Blocks;
    const bool fullSize = frame.scaleIndex == 0;
    // The components in use go to the scratch, each followed by zero padding for the bit readers.
    const uint8_t* component = data + headerSize;
    const size_t componentSizes[4] = {sizes[0], sizes[1], sizes[2],
                                      size - headerSize - sizes[0] - sizes[1] - sizes[2]};
    const uint8_t* padded[4];
    size_t paddedSizes[4];
    int16_t* levels[4];
    int count = 0;
    uint8_t* bytes = scratch.bytes;
    for (int c = 0; c < 4; ++c) {
        if (c != 1 || fullSize) {
            std::memcpy(bytes, component, componentSizes[c]);
            std::memset(bytes + componentSizes[c], 0, kStringPadding);
            std::memset(scratch.levels[c], 0, sizeof(int16_t) * 64 * blocks);
            padded[count] = bytes;
            paddedSizes[count] = componentSizes[c];
            levels[count++] = scratch.levels[c];
            bytes += componentSizes[c] + kStringPadding;
        }
        component += componentSizes[c];
    }
    DecodePaddedComponents(padded, paddedSizes, count, log2Blocks, frame.log2Coefficients, levels);

    if (scratch.qScale != qScale) {
        for (int i = 0; i < 64; ++i) scratch.steps[i] = static_cast<int16_t>(frame.quantMatrix[i] * qScale);
        scratch.qScale = qScale;
    }

    const uint16_t* samples[4] = {scratch.samples[0], scratch.samples[1], scratch.samples[2],
                                  scratch.samples[3]};
    uint8_t* out = slice.output;
    for (int b = 0; b < blocks; ++b) {
        for (int c = 0; c < 4; ++c) {
            if (c != 1 || fullSize)
                frame.transform(scratch.levels[c] + 64 * b, scratch.steps, scratch.samples[c]);
        }
        frame.writer(samples, out, frame.rowPitch, static_cast<int>(slice.rows), frame.curve);
        out += frame.bytesPerMacroblock;
    }
}

void DecodeRow(const RowRecord& row, WorkerScratch& scratch) {
    if (row.sliceCount == 0 || row.firstSlice->rows == 0) return;
    scratch.qScale = 0;
    for (uint32_t i = 0; i < row.sliceCount; ++i) DecodeSlice(row.firstSlice[i], scratch);
    std::atomic_thread_fence(std::memory_order_release);
}

} // namespace tsr
