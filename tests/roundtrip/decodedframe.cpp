#include "decodedframe.h"

#include <algorithm>
#include <cstring>

DecodedFrame DecodeFrame(FrameDecoderHandle decoder, const std::vector<uint8_t>& frame, int width, int height,
                         int scaleIndex) {
    constexpr size_t kGuard = 64;
    constexpr uint8_t kGuardByte = 0xC3;
    DecodedFrame out;
    out.width = width >> scaleIndex;
    out.height = height >> scaleIndex;
    const int channels = scaleIndex == 0 ? 1 : 4;
    const int pitch = frameDecoderMinRowPitch(width, scaleIndex);
    const size_t size = static_cast<size_t>(pitch) * static_cast<size_t>(out.height);
    std::vector<uint8_t> buffer(size + 2 * kGuard, kGuardByte);
    std::fill(buffer.begin() + kGuard, buffer.begin() + static_cast<ptrdiff_t>(kGuard + size),
              uint8_t{kFillValue & 0xFF});
    std::vector<uint8_t> info(TSR_FRAME_INFO_RECORD_SIZE + 8, kGuardByte);
    out.result = frameDecoderDecode(decoder, frame.data(), static_cast<int>(frame.size()), &buffer[kGuard],
                                    static_cast<int>(size), pitch, info.data(), TSR_FRAME_INFO_RECORD_SIZE,
                                    scaleIndex);
    for (size_t i = 0; i < kGuard; ++i)
        if (buffer[i] != kGuardByte || buffer[kGuard + size + i] != kGuardByte) out.guardsIntact = false;
    for (size_t i = TSR_FRAME_INFO_RECORD_SIZE; i < info.size(); ++i)
        if (info[i] != kGuardByte) out.guardsIntact = false;
    std::memcpy(&out.info, info.data(), sizeof out.info);
    out.samples.resize(static_cast<size_t>(out.width) * static_cast<size_t>(out.height) *
                       static_cast<size_t>(channels));
    const size_t rowValues = static_cast<size_t>(out.width) * static_cast<size_t>(channels);
    for (int y = 0; y < out.height; ++y)
        std::memcpy(&out.samples[static_cast<size_t>(y) * rowValues],
                    &buffer[kGuard + static_cast<size_t>(y) * static_cast<size_t>(pitch)], rowValues * 2);
    for (uint16_t v : out.samples) out.untouched += v == kFillValue;
    return out;
}
