// Owns a frame decoder (and its worker threads) for the length of a command.
#pragma once

#include "support/toolerror.h"
#include "tsr/framedecoder.h"

namespace tsr::tools {

class FrameDecoderOwner {
public:
    // threads <= 0: one worker per usable processor.
    explicit FrameDecoderOwner(int threads) : m_decoder(frameDecoderCreate(threads)) {
        if (!m_decoder) throw ToolError("cannot start the frame decoder's worker threads");
    }
    FrameDecoderOwner(const FrameDecoderOwner&) = delete;
    FrameDecoderOwner& operator=(const FrameDecoderOwner&) = delete;
    ~FrameDecoderOwner() { frameDecoderDestroy(m_decoder); }
    FrameDecoderHandle Get() const { return m_decoder; }

private:
    FrameDecoderHandle m_decoder;
};

} // namespace tsr::tools
