#include "streams/picturesinks.h"

#include "support/mediaerrors.h"
#include "support/toolerror.h"

namespace tsr::tools {

RgbaSequenceWriter::RgbaSequenceWriter(const OutputNames& names, const RgbaOutputOptions& options,
                                       int frameCount)
    : m_names(names), m_options(options) {
    const bool joins = JoinsFrames(options.format);
    if (frameCount > 1 && !names.PerFrame() && !joins)
        throw UsageError("several frames need %d in the output name, e.g. out_%04d." +
                         std::string(PictureExtension(options.format)));
    if (joins && !names.PerFrame()) m_joined = std::make_unique<media::OutputFile>(names.Name(0));
}

void RgbaSequenceWriter::Write(const media::RgbaFrame& frame) {
    if (!m_joined && !m_names.PerFrame() && m_written++ > 0)
        throw SecondFrameError(PictureExtension(m_options.format));
    if (m_joined) {
        m_joined->Write(frame.bytes.data(), frame.bytes.size());
        return;
    }
    PictureWriteOptions options = m_options.picture;
    if (TakesDpxFields(m_options.format)) {
        options.dpx.hasTimecode = m_options.dpxTimecode != nullptr;
        if (options.dpx.hasTimecode) options.dpx.timecode = m_options.dpxTimecode->Smpte(frame.index);
    }
    WriteRgbaPicture(frame, m_options.format, m_names.Name(frame.index), options);
}

void RgbaSequenceWriter::Finish() {
    if (!m_joined) return;
    m_joined->Stream(); // no frame written (all refused under --keep-going) is an empty file
    m_joined->Commit();
}

} // namespace tsr::tools
