// Options shared by `debayer`, `convert` and `demo`: the engine's settings, the device and
// the RGBA output.
#pragma once

#include <string>
#include <vector>

#include "pictures/dpxfiles.h"
#include "pictures/imagefiles.h"
#include "pipeline/framesink.h"
#include "support/commandline.h"
#include "support/outputnames.h"
#include "tsr/media/outputfile.h"
#include "tsr/media/rgbaengine.h"
#include "tsr/media/timecode.h"

namespace tsr::tools {

std::vector<OptionDefinition> DebayerOptionDefinitions();
extern const char kDebayerOptionsHelp[];

struct RgbaOutputOptions {
    PictureFormat format = PictureFormat::Exr;
    ExrCompression compression = ExrCompression::Piz;
    DpxFields dpx;                                      // bits and frame rate
    std::shared_ptr<const media::Timecode> dpxTimecode; // of frame 0; none leaves it out
};

media::DebayerSettings DebayerSettingsFrom(const CommandLine& args);
RgbaOutputOptions RgbaOutputOptionsFrom(const CommandLine& args, const std::string& firstName);
// Opens the engine of --engine, tuned by --tuning when given: OpenCL on the device of --device,
// or the CPU engine with --threads workers.
std::unique_ptr<media::RgbaEngine> OpenDebayerSession(const CommandLine& args);
// --threads, 0 (one per processor) when absent.
int ThreadsFrom(const CommandLine& args);

// Writes a sequence of RGBA frames: a file per frame, or raw frames back to back in one file.
class RgbaSequenceWriter : public FrameSink {
public:
    // `frameCount` -1: a stream's frames, as many as it holds.
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
