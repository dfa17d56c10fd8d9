// The convert job: read and decode, debayer, write, for a range of frames. With overlap the
// three stages run on their own threads with two buffers between each pair, so the decode of
// the next frame runs while the engine works on the current one and the file of the previous
// one is written; without overlap they run one after another on the calling thread.
//
// With a processor share the decoder and a CPU engine never ask for more processors together
// than the share holds: each decode takes `decoderThreads` of them (it waits for the engine's
// strips in flight), the engine's workers one each per strip, so the engine runs on every
// processor the decoder is not using.
#pragma once

#include <functional>
#include <memory>

#include "support/framerange.h"
#include "tsr/framedecoder.h"
#include "tsr/media/clip.h"
#include "tsr/media/frames.h"
#include "tsr/media/processorshare.h"
#include "tsr/media/rgbaengine.h"

namespace tsr::tools {

class Progress;

struct ConvertTimings {
    int frames = 0;
    double decodeSeconds = 0;  // reading and decoding, summed over frames
    double debayerSeconds = 0; // the engine: upload, kernels and read-back, or the CPU engine
    double writeSeconds = 0;   // file encoding and writing
    double wallSeconds = 0;
};

struct ConvertJob {
    media::ClipReader* clip = nullptr;
    FrameRange range;
    int scaleIndex = 0;
    FrameDecoderHandle decoder = nullptr;
    media::RgbaEngine* session = nullptr;
    media::DebayerSettings debayer;
    bool overlap = true;
    std::shared_ptr<media::ProcessorShare> processors; // may be null: the stages share nothing
    int decoderThreads = 1;                            // the decoder's workers
    Progress* progress = nullptr;                      // may be null
    // Without it (null) a damaged frame stops the job; with it the job goes on past damaged
    // frames and notes them here, in frame order.
    std::vector<media::DamagedFrame>* damaged = nullptr;
    // Called for every frame in order, on the writing stage's thread.
    std::function<void(const media::RgbaFrame&)> write;
};

// Throws the first stage's ToolError after stopping the others.
ConvertTimings RunConvertJob(const ConvertJob& job);

} // namespace tsr::tools
