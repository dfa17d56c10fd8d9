// Helpers for decoding frames into guarded buffers.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "tsr/framedecoder.h"

namespace tsr::test {

constexpr uint8_t kUntouched = 0xCD;
constexpr size_t kGuard = 64;

// An output image with guard bytes before and after it.
struct GuardedImage {
    std::vector<uint8_t> storage;
    int pitch = 0, height = 0;
    GuardedImage(int pitchBytes, int rows)
        : storage(2 * kGuard + size_t(pitchBytes) * rows, kUntouched), pitch(pitchBytes), height(rows) {}
    uint8_t* data() { return storage.data() + kGuard; }
    int size() const { return pitch * height; }
    bool GuardsIntact() const {
        for (size_t i = 0; i < kGuard; ++i)
            if (storage[i] != kUntouched || storage[storage.size() - 1 - i] != kUntouched) return false;
        return true;
    }
    uint16_t Sample(int row, int column) const {
        uint16_t v;
        std::memcpy(&v, storage.data() + kGuard + size_t(row) * pitch + 2 * column, 2);
        return v;
    }
};

struct DecoderHandle {
    FrameDecoderHandle handle;
    explicit DecoderHandle(int threads = 2) : handle(frameDecoderCreate(threads)) {}
    ~DecoderHandle() { frameDecoderDestroy(handle); }
    operator FrameDecoderHandle() const { return handle; }
};

inline int DecodeInto(FrameDecoderHandle decoder, const std::vector<uint8_t>& frame, GuardedImage& image,
                      int scaleIndex, void* record = nullptr, int recordSize = 0) {
    return frameDecoderDecode(decoder, frame.data(), int(frame.size()), image.data(), image.size(),
                              image.pitch, record, recordSize, scaleIndex);
}

} // namespace tsr::test
