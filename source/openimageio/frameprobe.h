// What a frame's bytes say without decoding them: its size, the metadata record of its header
// and the frame info record the decoder will write for it at a scale index. The slice size table
// is walked (the largest slice quantiser goes into the info record), so a frame whose table or
// slices run past its bytes is refused here as the decoder refuses it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "tsr/framerecords.h"

namespace tsr::oiio {

struct FrameProbe {
    int width = 0, height = 0; // photosites
    TsrFrameMetadataRecord metadata{};
    TsrFrameInfoRecord info{}; // as frameDecoderDecode fills it at the minimum row pitch
};

// False when the header breaks a rule, the slices do not fit the bytes, or the picture is empty
// at `scaleIndex` (0..3).
bool ProbeFrame(const uint8_t* bytes, size_t size, int scaleIndex, FrameProbe& probe);

} // namespace tsr::oiio
