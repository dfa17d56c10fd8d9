// The frame sink of picture files: a file per frame in one of the picture formats
// (pictures/pictureformats.h), or raw frames back to back in one file.
#pragma once

#include <memory>
#include <string>

#include "pictures/pictureformats.h"
#include "streams/framesink.h"
#include "support/outputnames.h"
#include "tsr/media/outputfile.h"
#include "tsr/media/timecode.h"

namespace tsr::tools {

struct RgbaOutputOptions {
    PictureFormat format = PictureFormat::Exr;
    PictureWriteOptions picture;                        // EXR compression, DPX bits and frame rate
    std::shared_ptr<const media::Timecode> dpxTimecode; // of frame 0; none leaves it out
};

class RgbaSequenceWriter : public FrameSink {
public:
    // `frameCount` -1: a stream's frames, as many as it holds. `names` must outlive the writer.
    RgbaSequenceWriter(const OutputNames& names, const RgbaOutputOptions& options, int frameCount);
    void Write(const media::RgbaFrame& frame) override;
    void Finish() override;

private:
    const OutputNames& m_names;
    RgbaOutputOptions m_options;
    std::unique_ptr<media::OutputFile> m_joined;
    int m_written = 0;
};

} // namespace tsr::tools
