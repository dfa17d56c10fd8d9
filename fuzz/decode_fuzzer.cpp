// The decoder's C interface on untrusted frames. The first four bytes choose the call: scale index,
// worker count, row pitch and buffer slack, record size; the rest is the frame. Picture and record
// sit between guard bytes that must survive every call, and decoders are reused across inputs as
// a transform reuses its own.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "tsr/framedecoder.h"

namespace {

constexpr size_t kGuard = 32;
constexpr uint8_t kGuardByte = 0xA5;
constexpr int64_t kMaxPicture = 16 << 20; // larger claims get a small buffer: the answer must be -3

FrameDecoderHandle Decoder(int threads) {
    static FrameDecoderHandle decoders[2] = {frameDecoderCreate(1), frameDecoderCreate(2)};
    return decoders[threads - 1];
}

struct Guarded {
    std::vector<uint8_t> bytes;
    explicit Guarded(size_t size) : bytes(size + 2 * kGuard, kGuardByte) {}
    uint8_t* data() { return bytes.data() + kGuard; }
    void Check() const {
        for (size_t i = 0; i < kGuard; ++i)
            if (bytes[i] != kGuardByte || bytes[bytes.size() - 1 - i] != kGuardByte) std::abort();
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4) return 0;
    const int scale = (data[0] & 7) <= 3 ? data[0] & 3 : (data[0] & 1 ? 4 : -1); // mostly valid
    const int threads = 1 + ((data[0] >> 3) & 1);
    const int pitchSlack = static_cast<int>(data[1]) - 16;
    const int sizeSlack = static_cast<int>(data[2]) - 128;
    const int recordSize = data[3] & 1 ? TSR_FRAME_INFO_RECORD_SIZE : data[3] >> 1;
    const uint8_t* frame = data + 4;
    const size_t length = size - 4;

    const int width = length >= 20 ? frame[16] << 8 | frame[17] : 0;
    const int height = length >= 20 ? frame[18] << 8 | frame[19] : 0;
    const int shift = scale >= 1 && scale <= 3 ? scale : 0;
    int pitch = frameDecoderMinRowPitch(width, scale) + pitchSlack;
    int64_t room = int64_t(pitch) * (height >> shift) + sizeSlack;
    if (pitch < 0 || room < 0 || room > kMaxPicture) {
        pitch = 64;
        room = 4096;
    }
    Guarded picture(static_cast<size_t>(room));
    Guarded record(static_cast<size_t>(recordSize));
    const int result = frameDecoderDecode(Decoder(threads), frame, static_cast<int>(length), picture.data(),
                                          static_cast<int>(room), pitch, record.data(), recordSize, scale);
    picture.Check();
    record.Check();
    if (result < -3 || result > 0) std::abort();
    if (result == 0 && recordSize >= TSR_FRAME_INFO_RECORD_SIZE) {
        TsrFrameInfoRecord info;
        std::memcpy(&info, record.data(), sizeof info);
        if (info.width != width >> shift || info.height != height >> shift || info.rowPitch != pitch)
            std::abort();
    }
    TsrFrameMetadataRecord metadata;
    frameDecoderGetMetadata(frame, static_cast<int>(length), &metadata);
    return 0;
}
