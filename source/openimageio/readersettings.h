// The reader's settings and the configuration hints that choose them: ImageSpec attributes a
// caller passes to ImageInput::open (oiiotool --iconfig, Python's ImageInput.open(name, config)).
//
//   tesselraw:curve      0..8 or the colour space's name (lin_rec709, lin_rec2020, hlg_rec2020, ...)
//   tesselraw:engine     auto (OpenCL on a GPU when there is one, else the CPU engine), opencl, cpu
//   tesselraw:device     the OpenCL device: auto, gpu, cpu or P:D (implies opencl under auto)
//   tesselraw:downscale  1, 2, 4 or 8: the decoder decodes at that fraction of the size
//   tesselraw:type       half (default) or float: the engine's output, and so the native format
//   tesselraw:threads    worker threads of the decoder and the CPU engine (0: OIIO's "threads")
//   tesselraw:partial    1: frames with damaged slices are read with those areas black
//                        (default 0: such a frame is an error)
#pragma once

#include <string>

#include <OpenImageIO/imageio.h>

namespace tsr::oiio {

constexpr int kCurveCount = 9;

struct ReaderSettings {
    unsigned curve = 1; // linear BT.2020, the engine's default
    std::string engine = "auto";
    std::string device; // empty: the engine's choice
    int scaleIndex = 0; // log2 of the downscale factor
    bool floatOutput = false;
    int threads = 0;
    bool partialFrames = false;
};

// Reads the hints of `config` over the defaults. Returns false with a message naming the hint for
// a value out of range or of the wrong type.
bool ReadSettings(const OIIO::ImageSpec& config, ReaderSettings& settings, std::string& error);

// The colour space of curve `curve`'s pixels, named for the curve and the primaries: lin_rec709,
// lin_rec2020, hlg_rec2020, canonlog2_rec2020, nlog_rec2020, log1_rec2020 .. log4_rec2020 (the
// generic log curve's four tables).
const char* ColourSpaceName(unsigned curve);

} // namespace tsr::oiio
